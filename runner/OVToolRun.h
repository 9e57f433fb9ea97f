// SPDX-License-Identifier: GPL-3.0-or-later
// The run shared by the kinds that do their work through one of the system tools: one process per
// item, run through the tool's bounded pool (a few at a time, the rest waiting); once the last has
// finished, the kind's final step runs on the main context and the run completes. A run that
// lasts shows a progress window whose Cancel stops what is running and what has not started.
#pragma once

#include "model/HLTaskHelper.h"
#include "model/OVAction.h"
#include "runner/OVToolPool.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HLTimer;
class OVToolProgressWindowController;

class OVToolRun : public HLTaskHelperDelegate, public std::enable_shared_from_this<OVToolRun> {
public:
    struct Item {
        HLTask task;
        std::string userInfo; // the path that names the item in the final notification
        // Set when the item must not be started at all; it then counts as failed.
        std::optional<std::string> refusal;
    };

    struct Outcome {
        std::string lastFinished;             // userInfo of the process that finished last
        std::optional<std::string> lastFailed; // userInfo of the item that failed last
        bool hasError = false;                // some item failed
        std::size_t failedCount = 0;
        std::size_t itemCount = 0;
    };

    // What the runs of a kind share: the tool (whose pool they use), about the most memory one of
    // its processes takes, and the title of the progress window.
    struct Kind {
        std::string tool;
        std::uint64_t peakBytes = 64u << 20;
        std::string progressTitle;
    };

    // A run of this many items shows its progress window at once; a shorter one only once it has
    // lasted kProgressDelaySeconds.
    static constexpr std::size_t kManyItems = 50;
    static constexpr double kProgressDelaySeconds = 1.0;

    // Error output is logged after errorLogPrefix ("[DEBUG] Delete task got error: ").
    OVToolRun(OVActionPtr action, OVRunCompletion completion, std::string errorLogPrefix, Kind kind);
    ~OVToolRun() override;

    // Starts every item. With nothing to start the run completes at once with failure.
    void start(std::vector<Item> items);
    // Ends a run of the same action that is still going: its processes are stopped, the waiting
    // ones never start, and it completes with failure.
    void cancel();
    // The same for the user's Cancel.
    void cancelByUser();

    // The run going on for an action object, if any (main context only).
    static std::shared_ptr<OVToolRun> currentRun(const OVAction& action);
    // None until the run has lasted (or has many items), and again once it is over.
    const std::shared_ptr<OVToolProgressWindowController>& progressWindow() const { return progressWindow_; }
    std::size_t doneCount() const { return doneCount_; }

    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string&) override {}
    void taskHelperDidReceiveError(HLTaskHelper& helper, const std::string& data) override;
    void taskHelperDidFinish(HLTaskHelper& helper, int64_t terminationReason) override;

protected:
    // Called as each item ends (or is stopped), before the final step.
    virtual void itemDidFinish(const std::string& /*userInfo*/, bool /*failed*/) {}
    // The kind's final step: notifications and the like. The completion follows it.
    virtual void finalStep(const Outcome& outcome) = 0;
    // The error the run completes with when an item failed.
    virtual OVError failureError(const Outcome& outcome) const;

    const OVActionPtr& action() const { return action_; }
    // The final notification, with the default sound; one that tells a failure is delivered even
    // with action notifications off.
    static void deliverFinalNotification(const std::string& text, bool hasActionButton = true, bool isError = false);

private:
    struct Pending {
        std::shared_ptr<HLTaskHelper> helper;
        OVToolPool::Ticket ticket = 0;
    };

    void itemFailed(const std::string& userInfo);
    void itemEnded();
    void stop(const std::string& why);
    void showProgressWindow();
    void closeProgressWindow();
    void forget();
    void finish();

    OVActionPtr action_;
    OVRunCompletion completion_;
    std::string errorLogPrefix_;
    Kind kind_;
    OVToolPool* pool_ = nullptr;
    std::vector<Pending> pendingTasks_;
    Outcome outcome_;
    std::size_t doneCount_ = 0;
    bool finished_ = false;
    std::shared_ptr<HLTimer> progressTimer_;
    std::shared_ptr<OVToolProgressWindowController> progressWindow_;
    std::shared_ptr<OVToolRun> self_; // alive until the final step has run
};
