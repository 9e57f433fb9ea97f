#include "runner/OVToolRun.h"

#include "model/OVUserDefaults.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "runner/OVRunBehaviours.h"
#include "runner/OVUserNotificationCenter.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace {

// The run going on for each action object, so that running the same object again stops the
// former run first. Main context only.
std::map<const OVAction*, std::weak_ptr<OVToolRun>>& currentRuns()
{
    static std::map<const OVAction*, std::weak_ptr<OVToolRun>> runs;
    return runs;
}

} // namespace

OVToolRun::OVToolRun(OVActionPtr action, OVRunCompletion completion, std::string errorLogPrefix)
    : action_(std::move(action)), completion_(std::move(completion)), errorLogPrefix_(std::move(errorLogPrefix))
{
}

OVToolRun::~OVToolRun()
{
    for (auto& task : pendingTasks_) {
        task->setDelegate(nullptr);
        task->cancel();
    }
}

void OVToolRun::start(std::vector<Item> items)
{
    self_ = shared_from_this();
    if (action_) {
        auto& slot = currentRuns()[action_.get()];
        if (auto former = slot.lock(); former && former.get() != this)
            former->cancel();
        slot = weak_from_this();
    }
    outcome_.itemCount = items.size();
    if (items.empty()) {
        // Nothing would ever end, so nothing would complete the run: fail it instead.
        finished_ = true;
        ovrun::OnceCompletion(std::move(completion_))(
            false, OVError{ovrun::kOrvaneErrorDomain, EINVAL, "There is nothing to run this action on"});
        ov::runOnNextTurn([self = std::move(self_)] {});
        return;
    }

    std::vector<std::shared_ptr<HLTaskHelper>> started;
    for (auto& item : items) {
        if (item.refusal) {
            ov::ovLog("Not started for %s: %s", item.userInfo.c_str(), item.refusal->c_str());
            outcome_.lastFinished = item.userInfo;
            itemFailed(item.userInfo);
            continue;
        }
        auto helper = HLTaskHelper::taskHelperWithTask(std::move(item.task));
        helper->setDelegate(this);
        helper->setUserInfo(item.userInfo);
        pendingTasks_.push_back(helper);
        started.push_back(std::move(helper));
    }
    // Every process starts before any can be reported as ended: ends arrive on later turns.
    for (auto& helper : started)
        helper->launch();
    if (pendingTasks_.empty())
        ov::runOnNextTurn([self = self_] { self->finish(); });
}

void OVToolRun::cancel()
{
    if (finished_)
        return;
    auto pending = std::move(pendingTasks_);
    pendingTasks_.clear();
    for (auto& task : pending) {
        task->setDelegate(nullptr);
        task->cancel();
        ov::guarded("the end of an item", [&] { itemDidFinish(task->userInfo(), true); });
    }
    finished_ = true;
    ovrun::OnceCompletion(std::move(completion_))(
        false, OVError{ovrun::kOrvaneErrorDomain, ECANCELED, "The action was started again before it had finished"});
    ov::runOnNextTurn([self = std::move(self_)] {});
}

void OVToolRun::taskHelperDidReceiveError(HLTaskHelper&, const std::string& data)
{
    outcome_.hasError = true;
    ov::ovLogLine(errorLogPrefix_ + data);
}

void OVToolRun::taskHelperDidFinish(HLTaskHelper& helper, int64_t terminationReason)
{
    const std::string userInfo = helper.userInfo();
    bool failed = helper.receivedErrorOutput();
    if (terminationReason != HLTaskHelper::kTerminationReasonExit) {
        ov::ovLog("The tool for %s was ended by signal %d", userInfo.c_str(), helper.terminationStatus());
        failed = true;
    } else if (helper.terminationStatus() != 0) {
        ov::ovLog("The tool for %s exited with status %d", userInfo.c_str(), helper.terminationStatus());
        failed = true;
    }
    outcome_.lastFinished = userInfo;
    if (failed)
        itemFailed(userInfo);
    ov::guarded("the end of an item", [&] { itemDidFinish(userInfo, failed); });

    auto& list = pendingTasks_;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const auto& t) { return t.get() == &helper; }), list.end());
    helper.setDelegate(nullptr);
    if (list.empty() && !finished_)
        ov::runOnNextTurn([self = self_] { self->finish(); });
}

void OVToolRun::itemFailed(const std::string& userInfo)
{
    outcome_.hasError = true;
    outcome_.lastFailed = userInfo;
    ++outcome_.failedCount;
}

void OVToolRun::deliverFinalNotification(const std::string& text, bool hasActionButton, bool isError)
{
    auto defaults = OVUserDefaults::create();
    if (!isError && defaults && defaults->disableActionNotifications())
        return;
    OVUserNotification notification;
    notification.informativeText = text;
    notification.hasActionButton = hasActionButton;
    notification.isError = isError;
    notification.playsDefaultSound = true;
    OVUserNotificationCenter::deliverNotification(notification);
}

OVError OVToolRun::failureError(const Outcome& outcome) const
{
    return {ovrun::kOrvaneErrorDomain, EIO,
            ov::stringPrintf("%ld of %ld items failed", long(outcome.failedCount), long(outcome.itemCount))};
}

void OVToolRun::finish()
{
    if (finished_)
        return;
    finished_ = true;
    auto keep = std::move(self_);
    if (action_) {
        auto& runs = currentRuns();
        if (auto it = runs.find(action_.get()); it != runs.end() && it->second.lock().get() == this)
            runs.erase(it);
    }
    ov::guarded("the final step of a run", [&] { finalStep(outcome_); });
    ovrun::OnceCompletion done(std::move(completion_));
    if (outcome_.failedCount == 0)
        done(true, std::nullopt);
    else
        done(false, failureError(outcome_));
}
