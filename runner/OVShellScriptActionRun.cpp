// SPDX-License-Identifier: GPL-3.0-or-later
// Script actions: a shell script with the selected paths as its arguments, and AppleScript, which
// this system cannot run.
#include "runner/OVRunBehaviours.h"

#include "archive/OVKeyedArchiver.h"
#include "model/HLTaskHelper.h"
#include "model/HLTimer.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Process.h"
#include "platform/Translation.h"
#include "runner/OVScriptOutput.h"
#include "runner/OVScriptRuns.h"
#include "runner/OVScriptRunsWindowController.h"
#include "runner/OVUserNotificationCenter.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <map>

namespace {

class ShellScriptRun;

// Main context only.
std::map<long long, std::weak_ptr<ShellScriptRun>>& runningScripts()
{
    static std::map<long long, std::weak_ptr<ShellScriptRun>> runs;
    return runs;
}

std::shared_ptr<OVScriptRunsWindowController>& sharedWindow()
{
    static std::shared_ptr<OVScriptRunsWindowController> window;
    return window;
}

std::optional<std::string>& requestedFolder()
{
    static std::optional<std::string> folder;
    return folder;
}

class ShellScriptRun : public HLTaskHelperDelegate, public std::enable_shared_from_this<ShellScriptRun> {
public:
    ShellScriptRun(OVActionPtr action, std::string title, OVRunCompletion completion)
        : action_(std::move(action)), title_(std::move(title)), completion_(std::move(completion))
    {
    }

    void start(const std::string& script, const OVPaths& paths, const std::string& currentFolder)
    {
        HLTask task;
        task.launchPath = "/bin/bash";
        task.arguments.reserve(paths.size() + 1);
        task.arguments.push_back(script);
        task.arguments.insert(task.arguments.end(), paths.begin(), paths.end());
        task.environment = OVScriptRuns::environmentFor(paths, currentFolder);
        // What the script starts goes with it when the user stops it.
        task.ownProcessGroup = true;
        taskHelper_ = HLTaskHelper::taskHelperWithTask(std::move(task));
        taskHelper_->setDelegate(this);
        self_ = shared_from_this(); // until the process has finished
        started_ = OVScriptRunsWindowController::Clock::now();
        taskHelper_->launch();
        groupId_ = taskHelper_->pid();
        if (groupId_ <= 1)
            return; // it did not start; it finishes on the next turn
        runningScripts()[groupId_] = weak_from_this();
        std::weak_ptr<ShellScriptRun> weak = weak_from_this();
        windowTimer_ = HLTimer::timerWithInterval(OVScriptRuns::timing().windowDelaySeconds, false, [weak](HLTimer&) {
            if (auto run = weak.lock())
                run->showInWindow();
        });
    }

    void stop()
    {
        if (stopped_ || finished_)
            return;
        stopped_ = true;
        ov::ovLog("Stopping script process group %lld", groupId_);
        ov::signalProcessGroup(int(groupId_), SIGTERM);
        // Held until then: a script that ignores SIGTERM, or what it started, may outlive it.
        auto self = shared_from_this();
        killTimer_ = HLTimer::timerWithInterval(OVScriptRuns::timing().killDelaySeconds, false, [self](HLTimer&) {
            if (ov::signalProcessGroup(int(self->groupId_), SIGKILL))
                ov::ovLog("Killed what was left of script process group %lld", self->groupId_);
            self->killTimer_.reset();
        });
    }

    void taskHelperDidReceiveBytes(HLTaskHelper&, const std::string& data, bool isError) override
    {
        output_.append(data, isError);
    }

    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string& data) override
    {
        ov::ovLog("Got output: %s", data.c_str());
    }

    void taskHelperDidReceiveError(HLTaskHelper&, const std::string& data) override
    {
        ov::ovLog("Got error: %s", data.c_str());
    }

    void taskHelperDidFinish(HLTaskHelper& helper, int64_t reason) override
    {
        finished_ = true;
        const auto took = OVScriptRunsWindowController::Clock::now() - started_;
        leaveWindow();
        report(reason, helper.terminationStatus(), took);
        completion_(true, std::nullopt);
        // Let go on a later turn: the task runner is still on the stack, and output read just
        // before the end may still be on its way to us.
        ov::runOnNextTurn([self = std::move(self_)] {
            if (self->taskHelper_)
                self->taskHelper_->setDelegate(nullptr);
            self->taskHelper_.reset();
        });
    }

private:
    void showInWindow()
    {
        windowTimer_.reset();
        if (finished_)
            return;
        auto& window = sharedWindow();
        if (!window)
            window = OVScriptRunsWindowController::controllerForRuns();
        std::weak_ptr<ShellScriptRun> weak = weak_from_this();
        window->addRun(groupId_, title_, started_, [weak] {
            if (auto run = weak.lock())
                run->stop();
        });
        window->showWindow();
    }

    void leaveWindow()
    {
        if (windowTimer_)
            windowTimer_->invalidate();
        windowTimer_.reset();
        runningScripts().erase(groupId_);
        auto& window = sharedWindow();
        if (!window)
            return;
        window->removeRun(groupId_);
        if (!window->hasRuns()) {
            auto last = std::move(window);
            last->close();
        }
    }

    void report(int64_t reason, int status, std::chrono::steady_clock::duration took)
    {
        const bool failed = reason == HLTaskHelper::kTerminationReasonUncaughtSignal || status != 0;
        const bool slow = took > std::chrono::duration<double>(OVScriptRuns::timing().quietSeconds);
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        std::optional<std::string> saved = output_.save(OVScriptOutput::folder(), now);
        if (!failed && !slow)
            return;

        OVUserNotification notification;
        notification.hasActionButton = saved.has_value();
        if (saved) {
            notification.outputPath = saved;
            notification.actionButtonTitle = _("Show Output");
        }
        if (failed) {
            ov::ovLog("Script '%s' failed: %s %d", title_.c_str(), reason == HLTaskHelper::kTerminationReasonUncaughtSignal ? "signal" : "exit status", status);
            // Told even with notifications off: nothing else shows that the work is not done.
            notification.isError = true;
            notification.title = ov::stringPrintf(_("'%s' failed"), title_.c_str());
            std::string body;
            for (const auto& line : OVLastLines(output_.errorTail(), 3))
                body += (body.empty() ? "" : "\n") + line;
            if (body.empty())
                body = reason == HLTaskHelper::kTerminationReasonUncaughtSignal
                           ? ov::stringPrintf(_("The script was ended by signal %d."), status)
                           : ov::stringPrintf(_("The script ended with exit status %d."), status);
            notification.informativeText = std::move(body);
        } else {
            notification.informativeText = ov::stringPrintf(_("Finished '%s'"), title_.c_str());
        }
        OVUserNotificationCenter::deliverNotification(notification);
    }

    OVActionPtr action_;
    std::string title_;
    ovrun::OnceCompletion completion_;
    std::shared_ptr<HLTaskHelper> taskHelper_;
    std::shared_ptr<ShellScriptRun> self_;
    OVScriptOutput output_;
    OVScriptRunsWindowController::Clock::time_point started_;
    long long groupId_ = 0;
    bool stopped_ = false;
    bool finished_ = false;
    std::shared_ptr<HLTimer> windowTimer_;
    std::shared_ptr<HLTimer> killTimer_;
};

std::string titleOf(const OVAction& action, const std::string& script)
{
    if (action.title() && !action.title()->empty())
        return *action.title();
    if (auto fallback = action.defaultTitle(); fallback && !fallback->empty())
        return *fallback;
    return ov::lastPathComponent(script);
}

class ShellScriptRunBehaviour : public OVKindRunBehaviour<OVShellScriptAction> {
public:
    void runKind(OVShellScriptAction& shell, const OVPaths& paths, OVRunCompletion completion) override
    {
        const auto script = shell.scriptToRun();
        ov::ovLog("Run with script: %s", script ? OVKeyedArchiver::fileURLStringWithPath(*script).c_str() : "(null)");
        if (!script || script->empty()) {
            // Nothing to launch: say so instead of leaving the request open for ever.
            ovrun::OnceCompletion(std::move(completion))(
                false, OVError{ovrun::kOrvaneErrorDomain, ENOENT, "This action has no script to run"});
            return;
        }
        auto run = std::make_shared<ShellScriptRun>(ovrun::retainAction(shell), titleOf(shell, *script), std::move(completion));
        run->start(*script, paths, OVScriptRuns::currentFolderFor(paths, OVScriptRuns::requestedCurrentFolder()));
    }
};

class AppleScriptRunBehaviour : public OVKindRunBehaviour<OVAppleScriptAction> {
protected:
    void runKind(OVAppleScriptAction&, const OVPaths&, OVRunCompletion completion) override
    {
        OVError error{ovrun::kOrvaneErrorDomain, ENOSYS, "AppleScript is not available on this system"};
        ov::ovLog("Could not init task with error: %s", error.description().c_str());
        if (completion)
            completion(false, std::nullopt);
    }
};

} // namespace

namespace OVScriptRuns {

Timing& timing()
{
    static Timing t;
    return t;
}

std::string currentFolderFor(const OVPaths& paths, const std::optional<std::string>& requested)
{
    if (requested && !requested->empty())
        return *requested;
    if (paths.empty())
        return {};
    return ov::deletingLastPathComponent(paths.front());
}

std::vector<std::pair<std::string, std::string>> environmentFor(const OVPaths& paths, const std::string& currentFolder)
{
    std::string list;
    for (const auto& path : paths) {
        if (path.find('\n') != std::string::npos) {
            ov::ovLog("A selected path holds a line break; it is left out of %s", kSelectedPathsVariable);
            continue;
        }
        list += path;
        list += '\n';
    }
    return {{kSelectedPathsVariable, list}, {kCurrentFolderVariable, currentFolder}};
}

ScopedCurrentFolder::ScopedCurrentFolder(std::optional<std::string> folder) : previous_(std::move(requestedFolder()))
{
    requestedFolder() = std::move(folder);
}

ScopedCurrentFolder::~ScopedCurrentFolder() { requestedFolder() = std::move(previous_); }

std::optional<std::string> requestedCurrentFolder() { return requestedFolder(); }

std::vector<long long> runIds()
{
    std::vector<long long> ids;
    for (const auto& [id, run] : runningScripts())
        if (!run.expired())
            ids.push_back(id);
    return ids;
}

bool stop(long long id)
{
    auto it = runningScripts().find(id);
    if (it == runningScripts().end())
        return false;
    auto run = it->second.lock();
    if (!run)
        return false;
    // Through the window when it shows the run, so that its line says so.
    if (auto window = sharedWindow())
        window->stop(id);
    run->stop();
    return true;
}

std::shared_ptr<OVScriptRunsWindowController> window() { return sharedWindow(); }

} // namespace OVScriptRuns

std::shared_ptr<OVKindRunBehaviour<OVShellScriptAction>> OVMakeShellScriptRunBehaviour() { return std::make_shared<ShellScriptRunBehaviour>(); }
std::shared_ptr<OVKindRunBehaviour<OVAppleScriptAction>> OVMakeAppleScriptRunBehaviour() { return std::make_shared<AppleScriptRunBehaviour>(); }
