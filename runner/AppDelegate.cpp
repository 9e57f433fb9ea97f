#include "runner/AppDelegate.h"

#include "messaging/OVWormhole.h"
#include "model/HLTimer.h"
#include "model/OVActionGroup.h"
#include "model/OVActionsManager.h"
#include "model/OVUserDefaults.h"
#include "platform/Application.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Uri.h"
#include "platform/Workspace.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using ov::ovLog;

namespace {

constexpr const char* kDidChangeMessage = "OVDidChangeNotification";
constexpr const char* kDefaultsDidChangeMessage = "NSUserDefaultsDidChangeNotification";

std::vector<std::string> split(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        auto at = s.find(separator, start);
        if (at == std::string::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
}


// The "paths" of a request: absent when the member is absent; a request whose "paths" is not a
// list of absolute path strings is refused as a whole rather than run on part of the selection.
std::optional<OVPaths> pathsFromRequest(const std::string& data)
{
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(data, nullptr, false);
    } catch (...) {
        return std::nullopt;
    }
    if (json.is_discarded() || !json.is_object() || json.empty())
        return std::nullopt;
    auto it = json.find("paths");
    if (it == json.end())
        return std::nullopt;
    if (!it->is_array()) {
        ovLog("Ignoring request: \"paths\" is not a list");
        return std::nullopt;
    }
    OVPaths paths;
    paths.reserve(it->size());
    for (const auto& element : *it) {
        if (!element.is_string()) {
            ovLog("Ignoring request: a path is not a string");
            return std::nullopt;
        }
        const auto& path = element.get_ref<const std::string&>();
        if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) {
            ovLog("Ignoring request: a path is not absolute");
            return std::nullopt;
        }
        paths.push_back(path);
    }
    return paths;
}

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
    if (wormhole_) {
        wormhole_->stopListeningForMessageWithIdentifier(std::string(kDidChangeMessage));
        wormhole_->stopListeningForMessageWithIdentifier(std::string(kDefaultsDidChangeMessage));
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
        if (self && self->presenter_ && self->shouldPresentNotification(notification))
            self->presenter_(notification);
    });
    setActivationPolicy(OVActivationPolicy::Prohibited);
    processingActions_.clear();
    preferencesDidChange();
    reloadData();

    wormhole_ = OVWormhole::create(ov::kApplicationGroupIdentifier, std::string("wormhole"));
    if (wormhole_) {
        wormhole_->listenForMessageWithIdentifier(std::string(kDidChangeMessage), [weak](const std::optional<OVValue>&) {
            if (auto self = weak.lock())
                self->reloadData();
        });
        wormhole_->listenForMessageWithIdentifier(std::string(kDefaultsDidChangeMessage), [weak](const std::optional<OVValue>&) {
            if (auto self = weak.lock())
                self->preferencesDidChange();
        });
    }

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
    if (!ov::uri::isWellFormed(urlString)) {
        ovLog("Invalid URL");
        return;
    }
    auto query = ov::uri::query(urlString);
    if (!query)
        return;
    auto members = parseQueryString(*query);
    auto action = members.find("action");
    auto file = members.find("file");
    if (action == members.end() || action->second.empty() || file == members.end() || file->second.empty())
        return;

    auto found = actionWithUID(action->second);
    if (!found)
        return;
    auto copy = found->copy();
    auto paths = readPathsWithFileName(file->second);
    if (!paths || paths->empty())
        return;
    runAction(copy, *paths);
}

void AppDelegate::runAction(const OVActionPtr& copy, const OVPaths& paths)
{
    processingActions_.push_back(copy);
    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    // The copy lives in processingActions; its own callbacks hold it weakly so a kind that keeps
    // its completion does not keep itself alive.
    std::weak_ptr<OVAction> weakCopy = copy;
    copy->beforeRunWithFilePaths(paths, [weakSelf, weakCopy, paths](bool cancelled) {
        ovLog("Action was cancelled? %d", cancelled ? 1 : 0);
        auto action = weakCopy.lock();
        if (!action)
            return;
        if (cancelled) {
            // No completion follows a cancelled run; let go of the copy here.
            if (auto self = weakSelf.lock()) {
                auto& list = self->processingActions_;
                list.erase(std::remove(list.begin(), list.end(), action), list.end());
            }
            return;
        }
        action->runWithFilePaths(paths, [weakSelf, weakCopy](bool success, std::optional<OVError> error) {
            auto self = weakSelf.lock();
            auto finished = weakCopy.lock();
            if (self && finished)
                self->handleActionCompletion(finished, success, error);
        });
    });
}

std::map<std::string, std::string> AppDelegate::parseQueryString(const std::string& query)
{
    std::map<std::string, std::string> members;
    for (const auto& piece : split(query, '&')) {
        auto parts = split(piece, '=');
        members[parts[0]] = parts.size() >= 2 ? parts[1] : std::string();
    }
    return members;
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
                if (child && child->uid() == uid)
                    match = child;
            }
        } else if (action->uid() == uid) {
            match = action;
        }
    }
    return match;
}

std::optional<OVPaths> AppDelegate::readPathsWithFileName(const std::string& fileName)
{
    // Only a request file the extension could have written: a UUID name directly in the container.
    if (!ov::isCanonicalUUIDString(fileName)) {
        ovLog("Ignoring request with an invalid file name");
        return std::nullopt;
    }
    std::string path = ov::pathByAppending(ov::containerPath(), fileName);
    if (!ov::pathExists(path))
        return std::nullopt;
    if (!ov::isRegularFile(path)) {
        ovLog("Ignoring request file that is not a regular file: %s", fileName.c_str());
        return std::nullopt;
    }
    auto data = ov::readFile(path, kMaxRequestFileSize, /*followLinks=*/false);
    ::unlink(path.c_str());
    if (!data) {
        ovLog("Could not read request file %s", fileName.c_str());
        return std::nullopt;
    }
    if (data->empty())
        return std::nullopt;
    return pathsFromRequest(*data);
}

void AppDelegate::handleActionCompletion(const OVActionPtr& action, bool success, const std::optional<OVError>& error)
{
    ovLog("Action complete: %s %d - %s", action ? action->description().c_str() : "(null)", success ? 1 : 0,
          error ? error->description().c_str() : "(null)");
    processingActions_.erase(std::remove(processingActions_.begin(), processingActions_.end(), action),
                             processingActions_.end());
    if (userDefaults_ && userDefaults_->playAlertOnCompletion()) {
        std::string sound = soundFilePath();
        if (sound.empty())
            return;
        if (soundPlayer_)
            soundPlayer_(sound);
        else
            ov::playSoundFile(sound);
    }
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
    auto manager = OVActionsManager::create();
    setActionsArray(manager ? manager->actions() : OVActionList{});
}

void AppDelegate::preferencesDidChange() { userDefaults_ = OVUserDefaults::create(); }

bool AppDelegate::shouldPresentNotification(const OVUserNotification&) const
{
    return !(userDefaults_ && userDefaults_->disableActionNotifications());
}

void AppDelegate::didActivateNotification(const OVUserNotification& notification)
{
    if (notification.path)
        ov::revealFiles({*notification.path});
    if (notification.paths)
        ov::revealFiles(*notification.paths);
}

void AppDelegate::removeStaleRequests(double maxAgeSeconds)
{
    std::string container = ov::containerPath();
    std::error_code ec;
    std::filesystem::directory_iterator it(container, ec);
    if (ec)
        return;
    const std::time_t now = std::time(nullptr);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::string name = it->path().filename().string();
        if (!ov::isCanonicalUUIDString(name))
            continue;
        std::string path = ov::pathByAppending(container, name);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (double(now - st.st_mtime) <= maxAgeSeconds)
            continue;
        if (::unlink(path.c_str()) == 0)
            ovLog("Removed unread request %s", name.c_str());
    }
}
