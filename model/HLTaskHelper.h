// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one external process, hands its output and errors to a delegate in pieces on the main
// context, and reports its end with the termination reason (1 exited, 2 killed by a signal).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class HLTaskHelper;

class HLTaskHelperDelegate {
public:
    virtual ~HLTaskHelperDelegate() = default;
    virtual void taskHelperDidReceiveOutput(HLTaskHelper& helper, const std::string& data) = 0;
    virtual void taskHelperDidReceiveError(HLTaskHelper& helper, const std::string& data) = 0;
    virtual void taskHelperDidFinish(HLTaskHelper& helper, int64_t terminationReason) = 0;
    // Every piece as read, before any decoding or filtering: for a record of the whole output.
    virtual void taskHelperDidReceiveBytes(HLTaskHelper&, const std::string& /*data*/, bool /*isError*/) {}
};

// What the caller configures before launch (the platform process object).
struct HLTask {
    std::string launchPath;
    std::vector<std::string> arguments;
    std::optional<std::string> currentDirectoryPath;
    // Set on top of the inherited environment.
    std::vector<std::pair<std::string, std::string>> environment;
    // The process leads a process group of its own, whose id is its pid.
    bool ownProcessGroup = false;
};

class HLTaskHelper : public std::enable_shared_from_this<HLTaskHelper> {
public:
    static constexpr int64_t kTerminationReasonExit = 1;
    static constexpr int64_t kTerminationReasonUncaughtSignal = 2;

    static std::shared_ptr<HLTaskHelper> taskHelperWithTask(HLTask task);
    ~HLTaskHelper();

    // Does nothing while the process runs. A process that cannot start is logged, its reason
    // goes to the delegate as error output, and it finishes with reason 1 on the next turn.
    void launch();
    void cancel();   // terminates a running process; the delegate hears no finish
    bool suspend();
    bool resume();
    // From launch until the delegate is told of the end (or cancel or cleanup).
    bool isRunning() const;
    // Stops reading and watching the process (which is not stopped) and lets go of it.
    void cleanup();

    const HLTask& task() const { return task_; }
    HLTaskHelperDelegate* delegate() const { return delegate_; }
    void setDelegate(HLTaskHelperDelegate* d) { delegate_ = d; } // not held
    const std::string& userInfo() const { return userInfo_; }
    void setUserInfo(std::string v) { userInfo_ = std::move(v); }
    int pid() const;
    // After the end: the exit status (reason 1) or the signal (reason 2); 0 before.
    int terminationStatus() const;
    // Whether standard error carried anything besides blanks since launch, even bytes that are
    // not UTF-8 and so never reach the delegate.
    bool receivedErrorOutput() const;

    struct Impl;

private:
    HLTaskHelper();
    void receiveChunk(const std::string& chunk, bool isError);
    void taskCompleted(int64_t terminationReason, int status);

    HLTask task_;
    HLTaskHelperDelegate* delegate_ = nullptr;
    std::string userInfo_;
    std::unique_ptr<Impl> impl_;
};
