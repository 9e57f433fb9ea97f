// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/AppDelegate.h"

#include "messaging/OVWormhole.h"
#include "model/HLTimer.h"
#include "model/OVActionGroup.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVUserDefaults.h"
#include "platform/Application.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/Workspace.h"
#include "runner/OVRunningWork.h"
#include "runner/OVScriptOutput.h"
#include "runner/OVScriptRuns.h"
#include "runner/OVWorkJournal.h"

#include <algorithm>
#include <ctime>

using ov::ovLog;

namespace {

std::string soundFilePath()
{
    std::string folder = ov::pathByAppending(ov::resourcesPath(), "sounds");
    for (const char* name : {"done_sound.oga", "done_sound.wav"}) {
        std::string candidate = ov::pathByAppending(folder, name);
        if (ov::isRegularFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace

std::shared_ptr<AppDelegate> AppDelegate::create() { return std::shared_ptr<AppDelegate>(new AppDelegate()); }

AppDelegate::~AppDelegate()
{
    if (staleRequestTimer_)
        staleRequestTimer_->invalidate();
    if (stopTimer_)
        stopTimer_->invalidate();
    if (wormhole_) {
        wormhole_->stopListeningForMessageWithIdentifier(std::string(OVProtocol::kDidChangeNotification));
        wormhole_->stopListeningForMessageWithIdentifier(std::string(OVProtocol::kUserDefaultsDidChangeNotification));
    }
}

void AppDelegate::applicationWillFinishLaunching()
{
    // URL events are routed to handleAppleEvent by the application from its start; until the
    // launch sequence is done they only queue.
    didFinishLaunching_ = false;
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (didFinishLaunching_)
        return;
    std::weak_ptr<AppDelegate> weak = weak_from_this();

    OVUserNotificationCenter::setSink([weak](const OVUserNotification& notification) {
        auto self = weak.lock();
        if (!self || !self->shouldPresentNotification(notification))
            return;
        if (self->presenter_)
            self->presenter_(notification);
        // The desktop's notification servers take no sound from GNotification: play it here.
        if (notification.playsDefaultSound)
            self->playSound();
    });
    setActivationPolicy(OVActivationPolicy::Prohibited);
    processingActions_.clear();
    // The runner is unique: nothing of ours is being written now, so whatever an earlier runner
    // left unfinished can go before the first request runs.
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    OVWorkJournal::sweep(now);
    preferencesDidChange();
    reloadData();

    wormhole_ = OVProtocol::listenForChanges(weak, &AppDelegate::reloadData, &AppDelegate::preferencesDidChange);

    OVActivationCenter::setObservers(
        [weak] {
            if (auto self = weak.lock())
                self->enableActivation();
        },
        [weak] {
            if (auto self = weak.lock())
                self->disableActivation();
        });

    didFinishLaunching_ = true;

    if (pendingUrls_) {
        auto urls = std::move(*pendingUrls_);
        pendingUrls_->clear();
        for (const auto& url : urls)
            handleURLString(url);
    }

    removeStaleRequests();
    staleRequestTimer_ = HLTimer::timerWithInterval(kStaleRequestSweepInterval, true, [weak](HLTimer&) {
        if (auto self = weak.lock())
            self->removeStaleRequests();
    });
}

void AppDelegate::handleAppleEvent(const std::optional<std::string>& directObject)
{
    if (!directObject)
        return;
    if (didFinishLaunching_) {
        handleURLString(*directObject);
        return;
    }
    if (!pendingUrls_)
        pendingUrls_.emplace();
    pendingUrls_->push_back(*directObject);
}

void AppDelegate::handleURLString(const std::string& urlString)
{
    bool malformed = false;
    auto request = OVProtocol::parseRunRequestURL(urlString, &malformed);
    if (malformed) {
        ovLog("Invalid URL");
        return;
    }
    if (!request)
        return;
    if (stopping_) {
        ovLog("Ending: the request is not run");
        return;
    }

    auto found = actionWithUID(request->action);
    if (!found)
        return;
    auto copy = found->copy();
    auto contents = OVProtocol::readRunRequestFile(request->file);
    if (!contents || contents->paths.empty())
        return;
    runAction(copy, contents->paths, contents->currentFolder);
}

void AppDelegate::runAction(const OVActionPtr& copy, const OVPaths& paths, const std::optional<std::string>& currentFolder)
{
    processingActions_.push_back(copy);
    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    // The copy lives in processingActions; its own callbacks hold it weakly so a kind that keeps
    // its completion does not keep itself alive.
    std::weak_ptr<OVAction> weakCopy = copy;
    OVBeforeRunAction(*copy, paths, [weakSelf, weakCopy, paths, currentFolder](bool cancelled) {
        ovLog("Action was cancelled? %d", cancelled ? 1 : 0);
        auto action = weakCopy.lock();
        if (!action)
            return;
        if (cancelled) {
            // No completion follows a cancelled run; let go of the copy here.
            if (auto self = weakSelf.lock())
                self->finishProcessing(action);
            return;
        }
        auto owner = weakSelf.lock();
        OVScriptRuns::ScopedCurrentFolder folder(currentFolder);
        OVRunAction(*action, paths, [weakSelf, weakCopy](bool success, std::optional<OVError> error) {
            auto self = weakSelf.lock();
            auto finished = weakCopy.lock();
            if (self && finished)
                self->handleActionCompletion(finished, success, error);
        }, owner ? owner->runBehaviourLookup_ : OVRunBehaviourLookup());
    }, runBehaviourLookup_);
}

std::map<std::string, std::string> AppDelegate::parseQueryString(const std::string& query)
{
    return OVProtocol::parseQueryString(query);
}

OVActionPtr AppDelegate::actionWithUID(const std::string& uid) const
{
    OVActionPtr match;
    for (const auto& action : actionsArray_) {
        if (!action)
            continue;
        if (action->isGroup()) {
            auto group = std::dynamic_pointer_cast<OVActionGroup>(action);
            if (!group)
                continue;
            for (const auto& child : group->actions()) {
                if (child && !child->isUnknown() && child->uid() == uid)
                    match = child;
            }
        } else if (!action->isUnknown() && action->uid() == uid) {
            match = action;
        }
    }
    return match;
}

std::optional<OVPaths> AppDelegate::readPathsWithFileName(const std::string& fileName)
{
    return OVProtocol::readRequestFile(fileName);
}

void AppDelegate::handleActionCompletion(const OVActionPtr& action, bool success, const std::optional<OVError>& error)
{
    ovLog("Action complete: %s %d - %s", action ? action->description().c_str() : "(null)", success ? 1 : 0,
          error ? error->description().c_str() : "(null)");
    if (userDefaults_ && userDefaults_->playAlertOnCompletion())
        playSound();
    finishProcessing(action);
}

void AppDelegate::finishProcessing(const OVActionPtr& action)
{
    processingActions_.erase(std::remove(processingActions_.begin(), processingActions_.end(), action),
                             processingActions_.end());
    if (terminationPending_ && processingActions_.empty()) {
        ovLog("The last running action has finished: quitting");
        terminationPending_ = false;
        if (terminator_)
            terminator_();
    }
}

void AppDelegate::applicationShouldTerminate()
{
    if (processingActions_.empty()) {
        terminationPending_ = false;
        if (terminator_)
            terminator_();
        return;
    }
    ovLog("Quitting once %zu running actions have finished", processingActions_.size());
    terminationPending_ = true;
}

void AppDelegate::applicationShouldTerminateNow()
{
    if (!stopping_) {
        stopping_ = true;
        ovLog("Asked to end: cancelling %zu running actions", processingActions_.size());
        OVRunningWork::cancelAll();
    }
    if (processingActions_.empty()) {
        terminationPending_ = false;
        if (terminator_)
            terminator_();
        return;
    }
    terminationPending_ = true;
    if (stopTimer_)
        return;
    // A prompt still open, or a queue stuck in a slow file system: what it leaves is swept at
    // the next start.
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    stopTimer_ = HLTimer::timerWithInterval(stopWaitSeconds_, false, [weak](HLTimer&) {
        auto self = weak.lock();
        if (!self || !self->terminationPending_)
            return;
        ovLog("Quitting with %zu actions still ending", self->processingActions_.size());
        self->terminationPending_ = false;
        if (self->terminator_)
            self->terminator_();
    });
}

void AppDelegate::applicationDidBecomeActive()
{
    if (!terminationPending_ || stopping_)
        return;
    ovLog("Started again: no longer quitting");
    terminationPending_ = false;
}

void AppDelegate::playSound()
{
    std::string sound = soundFilePath();
    if (sound.empty())
        return;
    if (soundPlayer_)
        soundPlayer_(sound);
    else
        ov::playSoundFile(sound);
}

void AppDelegate::enableActivation()
{
    ++activationCount_;
    setActivationPolicy(OVActivationPolicy::Accessory);
}

void AppDelegate::disableActivation()
{
    --activationCount_;
    if (activationCount_ < 1)
        setActivationPolicy(OVActivationPolicy::Prohibited);
}

void AppDelegate::reloadData()
{
    auto manager = OVFirstRunCatalogue::loadStore();
    setActionsArray(manager ? manager->actions() : OVActionList{});
}

void AppDelegate::preferencesDidChange() { userDefaults_ = OVUserDefaults::create(); }

bool AppDelegate::shouldPresentNotification(const OVUserNotification& notification) const
{
    if (notification.isError)
        return true;
    return !(userDefaults_ && userDefaults_->disableActionNotifications());
}

void AppDelegate::didActivateNotification(const OVUserNotification& notification)
{
    // The action is open to any program on the session bus: only our own output files open.
    if (notification.outputPath) {
        if (OVScriptOutput::isOutputFile(*notification.outputPath))
            ov::openInTextEditor(*notification.outputPath);
        else
            ovLog("Not opening %s: not a script output file", notification.outputPath->c_str());
    }
    if (notification.path)
        ov::revealFiles({*notification.path});
    if (notification.paths)
        ov::revealFiles(*notification.paths);
}

void AppDelegate::removeStaleRequests(double maxAgeSeconds) { OVProtocol::removeStaleRequestFiles(maxAgeSeconds); }
