// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVToolRun.h"

#include "model/HLTimer.h"
#include "model/OVUserDefaults.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "runner/OVRunBehaviours.h"
#include "runner/OVToolProgressWindowController.h"
#include "runner/OVUserNotificationCenter.h"

#include <algorithm>
#include <cerrno>

namespace {

// The run going on for each action object, so that running the same object again stops the
// former run first. Main context only.
std::map<const OVAction*, std::weak_ptr<OVToolRun>>& currentRuns()
{
    static std::map<const OVAction*, std::weak_ptr<OVToolRun>> runs;
    return runs;
}

} // namespace

OVToolRun::OVToolRun(OVActionPtr action, OVRunCompletion completion, std::string errorLogPrefix, Kind kind)
    : action_(std::move(action)), completion_(std::move(completion)), errorLogPrefix_(std::move(errorLogPrefix)),
      kind_(std::move(kind))
{
}

OVToolRun::~OVToolRun()
{
    if (progressTimer_)
        progressTimer_->invalidate();
    for (auto& pending : pendingTasks_) {
        pending.helper->setDelegate(nullptr);
        pending.helper->cancel();
        if (pool_)
            pool_->release(pending.ticket);
    }
}

std::shared_ptr<OVToolRun> OVToolRun::currentRun(const OVAction& action)
{
    auto& runs = currentRuns();
    auto it = runs.find(&action);
    return it == runs.end() ? nullptr : it->second.lock();
}

void OVToolRun::start(std::vector<Item> items)
{
    self_ = shared_from_this();
    if (action_) {
        if (auto former = currentRun(*action_); former && former.get() != this)
            former->cancel(); // which takes it off the list
        currentRuns()[action_.get()] = weak_from_this();
    }
    outcome_.itemCount = items.size();
    if (items.empty()) {
        // Nothing would ever end, so nothing would complete the run: fail it instead.
        finished_ = true;
        forget();
        ovrun::OnceCompletion(std::move(completion_))(
            false, OVError{ovrun::kOrvaneErrorDomain, EINVAL, "There is nothing to run this action on"});
        ov::runOnNextTurn([self = std::move(self_)] {});
        return;
    }

    for (auto& item : items) {
        if (item.refusal) {
            ov::ovLog("Not started for %s: %s", item.userInfo.c_str(), item.refusal->c_str());
            outcome_.lastFinished = item.userInfo;
            itemFailed(item.userInfo);
            ++doneCount_;
            continue;
        }
        auto helper = HLTaskHelper::taskHelperWithTask(std::move(item.task));
        helper->setDelegate(this);
        helper->setUserInfo(item.userInfo);
        pendingTasks_.push_back({std::move(helper), 0});
    }
    if (pendingTasks_.empty()) {
        ov::runOnNextTurn([self = self_] { self->finish(); });
        return;
    }

    // Every item is listed before the first starts; ends arrive on later turns.
    pool_ = &OVToolPool::forTool(kind_.tool, kind_.peakBytes);
    for (auto& pending : pendingTasks_) {
        std::weak_ptr<HLTaskHelper> weak = pending.helper;
        pending.ticket = pool_->submit([weak] {
            // A stopped item keeps no delegate; its place may still come up before it is withdrawn.
            if (auto helper = weak.lock(); helper && helper->delegate())
                helper->launch();
        });
    }

    if (pendingTasks_.size() >= kManyItems) {
        showProgressWindow();
    } else {
        std::weak_ptr<OVToolRun> weak = weak_from_this();
        progressTimer_ = HLTimer::timerWithInterval(kProgressDelaySeconds, false, [weak](HLTimer&) {
            if (auto run = weak.lock())
                run->showProgressWindow();
        });
    }
}

void OVToolRun::cancel() { stop("The action was started again before it had finished"); }

void OVToolRun::cancelByUser()
{
    // Once the last item has ended the run is over; only its final step is still to come.
    if (pendingTasks_.empty())
        return;
    ov::ovLog("Cancelled: %zu of %zu items had ended", doneCount_, outcome_.itemCount);
    stop("The action was cancelled");
}

void OVToolRun::stop(const std::string& why)
{
    if (finished_)
        return;
    finished_ = true;
    auto pending = std::move(pendingTasks_);
    pendingTasks_.clear();
    for (auto& p : pending) {
        p.helper->setDelegate(nullptr);
        p.helper->cancel();
    }
    for (auto& p : pending) {
        if (pool_)
            pool_->release(p.ticket);
        ov::guarded("the end of an item", [&] { itemDidFinish(p.helper->userInfo(), true); });
    }
    closeProgressWindow();
    forget();
    ovrun::OnceCompletion(std::move(completion_))(false, OVError{ovrun::kOrvaneErrorDomain, ECANCELED, why});
    ov::runOnNextTurn([self = std::move(self_)] {});
}

void OVToolRun::taskHelperDidReceiveError(HLTaskHelper&, const std::string& data)
{
    // Only logged: the tools print warnings too, and an item is judged by how its tool ended.
    ov::ovLogLine(errorLogPrefix_ + data);
}

void OVToolRun::taskHelperDidFinish(HLTaskHelper& helper, int64_t terminationReason)
{
    const std::string userInfo = helper.userInfo();
    bool failed = false;
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

    auto it = std::find_if(pendingTasks_.begin(), pendingTasks_.end(), [&](const auto& p) { return p.helper.get() == &helper; });
    if (it == pendingTasks_.end())
        return;
    const OVToolPool::Ticket ticket = it->ticket;
    auto keep = std::move(it->helper);
    pendingTasks_.erase(it);
    helper.setDelegate(nullptr);
    ++doneCount_;
    if (progressWindow_)
        progressWindow_->setDone(doneCount_);
    // The place goes to the next waiting item, of this run or another.
    if (pool_)
        pool_->release(ticket);
    if (pendingTasks_.empty() && !finished_)
        ov::runOnNextTurn([self = self_] { self->finish(); });
}

void OVToolRun::itemFailed(const std::string& userInfo)
{
    outcome_.hasError = true;
    outcome_.lastFailed = userInfo;
    ++outcome_.failedCount;
}

void OVToolRun::showProgressWindow()
{
    if (finished_ || progressWindow_)
        return;
    progressWindow_ = OVToolProgressWindowController::controllerWithTitle(kind_.progressTitle, outcome_.itemCount);
    progressWindow_->setDone(doneCount_);
    std::weak_ptr<OVToolRun> weak = weak_from_this();
    progressWindow_->setCancelBlock([weak] {
        if (auto run = weak.lock())
            run->cancelByUser();
    });
    progressWindow_->showWindow();
}

void OVToolRun::closeProgressWindow()
{
    if (progressTimer_)
        progressTimer_->invalidate();
    progressTimer_.reset();
    if (auto window = std::move(progressWindow_)) {
        window->setCancelBlock(nullptr);
        window->close();
    }
}

void OVToolRun::forget()
{
    if (!action_)
        return;
    auto& runs = currentRuns();
    if (auto it = runs.find(action_.get()); it != runs.end() && it->second.lock().get() == this)
        runs.erase(it);
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
    closeProgressWindow();
    forget();
    ov::guarded("the final step of a run", [&] { finalStep(outcome_); });
    ovrun::OnceCompletion done(std::move(completion_));
    if (outcome_.failedCount == 0)
        done(true, std::nullopt);
    else
        done(false, failureError(outcome_));
}
