// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVStatusHelper.h"

#include "model/HLTimer.h"
#include "platform/Log.h"
#include "platform/Process.h"
#include "platform/ProductPaths.h"
#include "platform/RunningApplications.h"

#include <mutex>

namespace {

constexpr std::size_t kMaxAnswerBytes = 64u << 10;
constexpr const char* kBlanks = " \t\r\n\v\f";

std::string trimmed(const std::string& s)
{
    auto first = s.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

} // namespace

OVStatusHelper::Environment OVStatusHelper::platformEnvironment()
{
    Environment env;
    env.registryTool = ov::libexecProgramPath("orvane-pluginkit");
    env.extensionIdentifier = ov::kExtensionId;
    env.runnerIdentifier = ov::kRunnerId;
    env.runCommand = [](const std::vector<std::string>& argv) {
        std::string error;
        if (ov::runAndWait(argv, &error) < 0)
            ov::ovLog("Could not run %s: %s", argv.front().c_str(), error.c_str());
    };
    env.openApplication = [](const std::string& identifier) { ov::activateApplication(identifier); };
    env.terminateApplications = [](const std::string& identifier) { ov::terminateApplications(identifier); };
    return env;
}

std::shared_ptr<OVStatusHelper> OVStatusHelper::sharedInstance()
{
    static std::once_flag once;
    static std::shared_ptr<OVStatusHelper> shared;
    std::call_once(once, [] { shared = create(platformEnvironment()); });
    return shared;
}

std::shared_ptr<OVStatusHelper> OVStatusHelper::create(Environment environment)
{
    std::shared_ptr<OVStatusHelper> helper(new OVStatusHelper(std::move(environment)));
    helper->checkUsingPluginKit();
    return helper;
}

OVStatusHelper::~OVStatusHelper()
{
    applicationWillTerminate();
    if (launchTimer_)
        launchTimer_->invalidate();
    if (taskHelper_) {
        taskHelper_->setDelegate(nullptr);
        taskHelper_->cancel();
    }
}

void OVStatusHelper::setIsEnabled(bool enabled)
{
    isEnabled_ = enabled;
    if (enabled)
        launchHelperApp();
    else
        killHelperApp();
    auto observers = observers_; // an observer may remove itself
    for (auto& [token, observer] : observers)
        observer(enabled);
}

unsigned OVStatusHelper::addIsEnabledObserver(Observer observer)
{
    observers_.emplace(nextObserver_, std::move(observer));
    return nextObserver_++;
}

void OVStatusHelper::removeIsEnabledObserver(unsigned token) { observers_.erase(token); }

void OVStatusHelper::checkUsingPluginKit()
{
    if (taskHelper_) {
        taskHelper_->setDelegate(nullptr);
        taskHelper_->cancel();
    }
    output_.clear();
    answered_ = false;
    HLTask task;
    task.launchPath = env_.registryTool;
    task.arguments = {"-m", "-A", "-i", env_.extensionIdentifier};
    taskHelper_ = HLTaskHelper::taskHelperWithTask(std::move(task));
    taskHelper_->setDelegate(this);
    taskHelper_->launch();
}

void OVStatusHelper::checkEnabledWithCompletionHandler(std::function<void()> handler)
{
    completionHandler_ = std::move(handler);
    checkUsingPluginKit();
}

void OVStatusHelper::runCommandWithStatus(const std::string& status)
{
    env_.runCommand({env_.registryTool, "-e", status, "-i", env_.extensionIdentifier});
}

void OVStatusHelper::toggleEnabled()
{
    runCommandWithStatus(isEnabled_ ? kIgnore : kUse);
    checkUsingPluginKit();
}

void OVStatusHelper::enable()
{
    runCommandWithStatus(kUse);
    checkUsingPluginKit();
}

void OVStatusHelper::disable()
{
    runCommandWithStatus(kIgnore);
    checkUsingPluginKit();
}

void OVStatusHelper::forceRestart()
{
    std::weak_ptr<OVStatusHelper> weak = weak_from_this();
    checkEnabledWithCompletionHandler([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->runCommandWithStatus(kIgnore);
        self->killAllAppsWithBundle(self->env_.extensionIdentifier);
        if (self->restartTimer_)
            self->restartTimer_->invalidate();
        self->restartTimer_ = HLTimer::timerWithInterval(self->env_.delay, false, [weak](HLTimer&) {
            if (auto self = weak.lock())
                self->finishForcedRestart();
        });
    });
}

void OVStatusHelper::finishForcedRestart()
{
    restartTimer_.reset();
    runCommandWithStatus(kUse);
    checkUsingPluginKit();
}

void OVStatusHelper::applicationWillTerminate()
{
    if (!restartTimer_)
        return;
    restartTimer_->invalidate();
    restartTimer_.reset();
    runCommandWithStatus(kUse);
}

void OVStatusHelper::launchHelperApp()
{
    killHelperApp();
    std::weak_ptr<OVStatusHelper> weak = weak_from_this();
    // Several reports in a row start the runner once, a delay after the last quit request.
    if (launchTimer_)
        launchTimer_->invalidate();
    launchTimer_ = HLTimer::timerWithInterval(env_.delay, false, [weak](HLTimer&) {
        auto self = weak.lock();
        if (!self)
            return;
        self->launchTimer_.reset();
        self->env_.openApplication(self->env_.runnerIdentifier);
    });
}

void OVStatusHelper::killHelperApp()
{
    // A start still waiting would undo this quit.
    if (launchTimer_) {
        launchTimer_->invalidate();
        launchTimer_.reset();
    }
    killAllAppsWithBundle(env_.runnerIdentifier);
}

void OVStatusHelper::killAllAppsWithBundle(const std::string& identifier) { env_.terminateApplications(identifier); }

void OVStatusHelper::taskHelperDidReceiveOutput(HLTaskHelper& helper, const std::string& data)
{
    if (answered_ || &helper != taskHelper_.get())
        return;
    if (output_.size() < kMaxAnswerBytes)
        output_.append(data, 0, kMaxAnswerBytes - output_.size());
    readAnswer(false);
}

void OVStatusHelper::taskHelperDidReceiveError(HLTaskHelper&, const std::string&) {}

void OVStatusHelper::taskHelperDidFinish(HLTaskHelper& helper, int64_t)
{
    if (&helper != taskHelper_.get())
        return;
    if (!answered_)
        readAnswer(true);
    // An observer told of the answer may have started the next query already.
    if (&helper == taskHelper_.get())
        taskHelper_.reset();
    if (auto handler = std::move(completionHandler_)) {
        completionHandler_ = nullptr;
        handler();
    }
}

// The first line that is not blank decides: "+" (elected for use) or "!" mean enabled, any other
// mark disabled. Lines are read whole, however the pipe splits them; a last line without its end
// counts once the registry has ended.
void OVStatusHelper::readAnswer(bool ended)
{
    std::size_t start = 0;
    while (start < output_.size()) {
        auto end = output_.find('\n', start);
        if (end == std::string::npos && !ended)
            return;
        std::string line = trimmed(output_.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (!line.empty()) {
            answered_ = true;
            output_.clear();
            setIsEnabled(line.front() == '+' || line.front() == '!');
            return;
        }
        if (end == std::string::npos)
            return;
        start = end + 1;
    }
}
