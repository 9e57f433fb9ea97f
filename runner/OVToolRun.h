// The run shared by the kinds that do their work through one of the system tools: one process per
// item, all started at once and running side by side; once the last has finished, the kind's
// final step runs on the main context and the run completes.
#pragma once

#include "model/HLTaskHelper.h"
#include "model/OVAction.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
        bool hasError = false;                // some item reported errors or failed
        std::size_t failedCount = 0;
        std::size_t itemCount = 0;
    };

    // Error output is logged after errorLogPrefix ("[DEBUG] Delete task got error: ").
    OVToolRun(OVActionPtr action, OVRunCompletion completion, std::string errorLogPrefix);
    ~OVToolRun() override;

    // Starts every item. With nothing to start the run completes at once with failure.
    void start(std::vector<Item> items);
    // Ends a run of the same action that is still going: its processes are stopped and it
    // completes with failure.
    void cancel();

    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string&) override {}
    void taskHelperDidReceiveError(HLTaskHelper& helper, const std::string& data) override;
    void taskHelperDidFinish(HLTaskHelper& helper, int64_t terminationReason) override;

protected:
    // Called as each started item ends, before the final step.
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
    void itemFailed(const std::string& userInfo);
    void finish();

    OVActionPtr action_;
    OVRunCompletion completion_;
    std::string errorLogPrefix_;
    std::vector<std::shared_ptr<HLTaskHelper>> pendingTasks_;
    std::vector<const HLTaskHelper*> reportedErrors_;
    Outcome outcome_;
    bool finished_ = false;
    std::shared_ptr<OVToolRun> self_; // alive until the final step has run
};
