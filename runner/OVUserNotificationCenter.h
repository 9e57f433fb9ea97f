// SPDX-License-Identifier: GPL-3.0-or-later
// User notifications delivered by actions in the runner, and the in-process activation messages
// that actions post around their alerts and windows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct OVUserNotification {
    std::string title = "Orvane";
    std::string informativeText;
    bool hasActionButton = true;
    std::string actionButtonTitle; // "Show" where the notification reveals something
    bool playsDefaultSound = false;
    // A failure is told even with action notifications off: nothing else shows the user that
    // the work is not done.
    bool isError = false;
    std::optional<std::string> path;               // user info "path"
    std::optional<std::vector<std::string>> paths; // user info "paths"
    // A script run's saved output, opened in the text editor (instead of revealing paths).
    std::optional<std::string> outputPath;
};

class OVUserNotificationCenter {
public:
    using Sink = std::function<void(const OVUserNotification&)>;
    // Delivers a notification; safe from any thread (delivery happens on the main context).
    static void deliverNotification(const OVUserNotification& notification);
    // The runner installs the real delivery; tests install a recorder.
    static void setSink(Sink sink);
};

// "OVEnableActivationNotification" / "OVDisableActivationNotification", in process, no object.
class OVActivationCenter {
public:
    using Observer = std::function<void()>;
    static void postEnableActivation();
    static void postDisableActivation();
    static void setObservers(Observer enable, Observer disable);
};
