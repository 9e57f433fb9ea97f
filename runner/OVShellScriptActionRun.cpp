// SPDX-License-Identifier: GPL-3.0-or-later
// Script actions: a shell script with the selected paths as its arguments, and AppleScript, which
// this system cannot run.
#include "runner/OVRunBehaviours.h"

#include "archive/OVKeyedArchiver.h"
#include "model/HLTaskHelper.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/Log.h"
#include "platform/MainContext.h"

#include <cerrno>

namespace {

class ShellScriptRun : public HLTaskHelperDelegate, public std::enable_shared_from_this<ShellScriptRun> {
public:
    ShellScriptRun(OVActionPtr action, OVRunCompletion completion)
        : action_(std::move(action)), completion_(std::move(completion))
    {
    }

    void start(const std::string& script, const OVPaths& paths)
    {
        HLTask task;
        task.launchPath = "/bin/bash";
        task.arguments.reserve(paths.size() + 1);
        task.arguments.push_back(script);
        task.arguments.insert(task.arguments.end(), paths.begin(), paths.end());
        taskHelper_ = HLTaskHelper::taskHelperWithTask(std::move(task));
        taskHelper_->setDelegate(this);
        self_ = shared_from_this(); // until the process has finished
        taskHelper_->launch();
    }

    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string& data) override
    {
        ov::ovLog("Got output: %s", data.c_str());
    }

    void taskHelperDidReceiveError(HLTaskHelper&, const std::string& data) override
    {
        ov::ovLog("Got error: %s", data.c_str());
    }

    void taskHelperDidFinish(HLTaskHelper&, int64_t) override
    {
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
    OVActionPtr action_;
    ovrun::OnceCompletion completion_;
    std::shared_ptr<HLTaskHelper> taskHelper_;
    std::shared_ptr<ShellScriptRun> self_;
};

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
        auto run = std::make_shared<ShellScriptRun>(ovrun::retainAction(shell), std::move(completion));
        run->start(*script, paths);
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

std::shared_ptr<OVKindRunBehaviour<OVShellScriptAction>> OVMakeShellScriptRunBehaviour() { return std::make_shared<ShellScriptRunBehaviour>(); }
std::shared_ptr<OVKindRunBehaviour<OVAppleScriptAction>> OVMakeAppleScriptRunBehaviour() { return std::make_shared<AppleScriptRunBehaviour>(); }
