// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application's one authority on the file-manager extension and the runner: asks
// the plug-in registry whether the extension is elected for use, switches the election, restarts
// the extension, and keeps the runner in step (started while the extension is on, asked to quit
// while it is off).
#pragma once

#include "model/HLTaskHelper.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class HLTimer;

class OVStatusHelper : public HLTaskHelperDelegate, public std::enable_shared_from_this<OVStatusHelper> {
public:
    // What the helper drives; the platform's by default, stand-ins in tests.
    struct Environment {
        std::string registryTool;        // orvane-pluginkit
        std::string extensionIdentifier; // app.orvane.Orvane.extension
        std::string runnerIdentifier;    // app.orvane.Orvanehelper
        // Runs a command with its arguments as given (no shell) and waits for it.
        std::function<void(const std::vector<std::string>& argv)> runCommand;
        std::function<void(const std::string& identifier)> openApplication;
        std::function<void(const std::string& identifier)> terminateApplications;
        double delay = 1.0; // seconds between a quit and what follows it
    };
    static Environment platformEnvironment();

    // The one instance, made on first use; making it starts a query.
    static std::shared_ptr<OVStatusHelper> sharedInstance();
    static std::shared_ptr<OVStatusHelper> create(Environment environment);
    ~OVStatusHelper() override;
    OVStatusHelper(const OVStatusHelper&) = delete;
    OVStatusHelper& operator=(const OVStatusHelper&) = delete;

    bool isEnabled() const { return isEnabled_; }
    // Stores the value, starts or stops the runner, and tells every observer, changed or not.
    void setIsEnabled(bool enabled);
    using Observer = std::function<void(bool isEnabled)>;
    unsigned addIsEnabledObserver(Observer observer);
    void removeIsEnabledObserver(unsigned token);

    void checkUsingPluginKit();
    // The handler runs once, when the next query to end has ended (a pending one is replaced).
    void checkEnabledWithCompletionHandler(std::function<void()> handler);
    void runCommandWithStatus(const std::string& status); // "use" or "ignore"; waits
    void toggleEnabled();
    void enable();
    void disable();
    void forceRestart();

    void launchHelperApp();
    void killHelperApp();
    void killAllAppsWithBundle(const std::string& identifier);

    // Runs at once the "use" that a forced restart still owes: quitting in that second must not
    // leave the extension ignored for good.
    void applicationWillTerminate();

    void taskHelperDidReceiveOutput(HLTaskHelper& helper, const std::string& data) override;
    void taskHelperDidReceiveError(HLTaskHelper& helper, const std::string& data) override;
    void taskHelperDidFinish(HLTaskHelper& helper, int64_t terminationReason) override;

    static constexpr const char* kUse = "use";
    static constexpr const char* kIgnore = "ignore";

private:
    explicit OVStatusHelper(Environment environment) : env_(std::move(environment)) {}
    void readAnswer(bool ended);
    void finishForcedRestart();

    Environment env_;
    bool isEnabled_ = false;
    std::shared_ptr<HLTaskHelper> taskHelper_;
    std::function<void()> completionHandler_;
    std::string output_;    // of the query in progress
    bool answered_ = false; // its first line has been read
    std::map<unsigned, Observer> observers_;
    unsigned nextObserver_ = 1;
    std::shared_ptr<HLTimer> restartTimer_; // the "use" half of a forced restart
    std::shared_ptr<HLTimer> launchTimer_;  // the start of the runner after its quit
};
