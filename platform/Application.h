// SPDX-License-Identifier: GPL-3.0-or-later
// The program shell of a background application: a unique GApplication that receives URIs,
// never quits by itself, exports "quit", "show", "open-output" and "stop-run" actions and sends desktop notifications.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ov {

struct AppNotification {
    std::string title;
    std::string body;
    std::optional<std::string> buttonTitle; // a button activating the "show" action
    std::optional<std::vector<std::string>> showTarget; // the paths handed to "show"
    // Instead of showTarget: the file handed to "open-output" (the button and a click open it).
    std::optional<std::string> outputTarget;
};

class Application {
public:
    struct Handlers {
        std::function<void()> startup;                                 // before anything arrives
        std::function<void()> launch;                                  // once, at the first activate/open
        std::function<void(const std::string& uri)> open;              // each opened URI, in order
        std::function<void(const std::vector<std::string>& paths)> show; // the "show" action
        std::function<void(const std::string& path)> openOutput; // the "open-output" action
        std::function<void(long long id)> stopRun;                // the "stop-run" action
        std::function<void()> activate; // every activation, after launch
        // The "quit" action: when set, it decides when to quit (by calling quit()).
        std::function<void()> quitRequested;
    };

    Application(const std::string& applicationId, Handlers handlers);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the application (command line as given to main); answers the exit status.
    int run(int argc, char** argv);
    void quit();
    void sendNotification(const AppNotification& notification);
    bool isLaunched() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The activation token (Wayland) or startup id (X11) that came with the latest activation of
// this program, kept for the first window it presents: the desktop gives focus to a window that
// shows it, because the user's click in another program asked for it. Main context only.
void rememberActivationToken(const std::string& token); // empty: the activation carried none
// Answers the token once, and only while it is fresh; then forgets it.
std::optional<std::string> takeActivationToken();

// Plays a sound file without waiting for it, through the first sound player found on the system;
// silently nothing without one.
void playSoundFile(const std::string& path);

} // namespace ov
