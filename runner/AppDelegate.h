// SPDX-License-Identifier: GPL-3.0-or-later
// The runner's application delegate: receives run-request URLs, finds the action, runs a private
// copy of it on the requested paths, and answers the clicks on the notifications actions deliver.
#pragma once

#include "messaging/OVProtocol.h"
#include "model/OVAction.h"
#include "runner/OVRunBehaviours.h"
#include "runner/OVUserNotificationCenter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HLTimer;
class OVUserDefaults;
class OVWormhole;

enum class OVActivationPolicy { Regular = 0, Accessory = 1, Prohibited = 2 };

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
public:
    using Presenter = std::function<void(const OVUserNotification&)>;
    using SoundPlayer = std::function<void(const std::string& soundFile)>;

    static std::shared_ptr<AppDelegate> create();
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Platform entry points.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // A get-URL event: its direct-object string, queued until launch has finished.
    void handleAppleEvent(const std::optional<std::string>& directObject);
    void handleURL(const std::string& url) { handleAppleEvent(url); }
    // A quit request: quits at once when no action is running, else once the last one has
    // finished (a copy or a secure delete must not be cut off). Requests that arrive meanwhile
    // still run; an activation (a restart's start) keeps the runner.
    void applicationShouldTerminate();
    void applicationDidBecomeActive();
    // The process is asked to end (a signal, the session's logout): every running copy, move and
    // archive is cancelled as its Cancel would, new requests are refused, and the runner quits
    // once the work has cleaned up, or after kStopWaitSeconds at the latest.
    void applicationShouldTerminateNow();
    bool isStopping() const { return stopping_; }
    void setStopWaitSeconds(double seconds) { stopWaitSeconds_ = seconds; }
    bool isTerminationPending() const { return terminationPending_; }
    // What quitting is (the application's quit).
    void setTerminator(std::function<void()> terminator) { terminator_ = std::move(terminator); }
    bool shouldPresentNotification(const OVUserNotification& notification) const;
    void didActivateNotification(const OVUserNotification& notification);

    // Request dispatch.
    void handleURLString(const std::string& urlString);
    static std::map<std::string, std::string> parseQueryString(const std::string& query);
    // The stored action a request names; an action of a kind this version does not know is
    // never one.
    OVActionPtr actionWithUID(const std::string& uid) const;
    std::optional<OVPaths> readPathsWithFileName(const std::string& fileName);
    void handleActionCompletion(const OVActionPtr& action, bool success, const std::optional<OVError>& error);

    void enableActivation();
    void disableActivation();
    void reloadData();
    void preferencesDidChange();

    // Removes request files that were never read (unknown action, runner not running) once they
    // are older than maxAgeSeconds.
    void removeStaleRequests(double maxAgeSeconds = kStaleRequestAge);

    // Properties.
    const std::shared_ptr<OVWormhole>& wormhole() const { return wormhole_; }
    const OVActionList& actionsArray() const { return actionsArray_; }
    void setActionsArray(const OVActionList& actions) { actionsArray_ = actions; }
    const OVActionList& processingActions() const { return processingActions_; }
    const std::shared_ptr<OVUserDefaults>& userDefaults() const { return userDefaults_; }
    std::int64_t activationCount() const { return activationCount_; }
    bool didFinishLaunching() const { return didFinishLaunching_; }
    const std::optional<std::vector<std::string>>& pendingUrls() const { return pendingUrls_; }
    OVActivationPolicy activationPolicy() const { return activationPolicy_; }

    // Where presented notifications go (the application's notification service); where the
    // completion sound is played.
    void setPresenter(Presenter presenter) { presenter_ = std::move(presenter); }
    void setSoundPlayer(SoundPlayer player) { soundPlayer_ = std::move(player); }
    // Behaviours chosen before the runner's own (tests run kinds of their own through it).
    void setRunBehaviourLookup(OVRunBehaviourLookup lookup) { runBehaviourLookup_ = std::move(lookup); }
    // The bundled "done" sound, for completions and for notifications that ask for a sound.
    void playSound();

    static constexpr std::size_t kMaxRequestFileSize = OVProtocol::kMaxRequestFileSize;
    static constexpr double kStaleRequestAge = 24 * 60 * 60;
    static constexpr double kStaleRequestSweepInterval = 60 * 60;
    static constexpr double kStopWaitSeconds = 5;

private:
    AppDelegate() = default;
    void setActivationPolicy(OVActivationPolicy policy) { activationPolicy_ = policy; }
    // currentFolder: the folder the request names as clicked in, for scripts.
    void runAction(const OVActionPtr& action, const OVPaths& paths, const std::optional<std::string>& currentFolder = std::nullopt);
    void finishProcessing(const OVActionPtr& action);

    std::shared_ptr<OVWormhole> wormhole_;
    OVActionList actionsArray_;
    OVActionList processingActions_;
    std::shared_ptr<OVUserDefaults> userDefaults_;
    std::int64_t activationCount_ = 0;
    bool didFinishLaunching_ = false;
    std::optional<std::vector<std::string>> pendingUrls_;
    OVActivationPolicy activationPolicy_ = OVActivationPolicy::Regular;

    Presenter presenter_;
    SoundPlayer soundPlayer_;
    OVRunBehaviourLookup runBehaviourLookup_;
    std::shared_ptr<HLTimer> staleRequestTimer_;
    std::function<void()> terminator_;
    bool terminationPending_ = false;
    bool stopping_ = false;
    std::shared_ptr<HLTimer> stopTimer_;
    double stopWaitSeconds_ = kStopWaitSeconds;
};
