// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol between the three programs: the change messages and the wormhole they travel
// through, and the run request with which the extension hands a chosen action to the runner (a
// request file in the container and an "orvane:" URL naming the action and the file).
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class OVWormhole;

namespace OVProtocol {

// Passed with no message object after the action list was saved, and after a preference was
// written; the other programs then read the list or the preferences again.
inline constexpr const char* kDidChangeNotification = "OVDidChangeNotification";
inline constexpr const char* kUserDefaultsDidChangeNotification = "NSUserDefaultsDidChangeNotification";

// A wormhole on the shared container's folder "wormhole"; none when the container cannot be
// located.
std::shared_ptr<OVWormhole> wormhole();
// Passes the named message with no message object.
void postMessage(const std::string& name);
// A wormhole that calls the one or the other on the main context when another program saved the
// action list or wrote a preference; none when the container cannot be located.
std::shared_ptr<OVWormhole> listenForChanges(std::function<void()> actionsDidChange,
                                             std::function<void()> preferencesDidChange);
// The same, calling the given methods of target for as long as it lives.
template <class T>
std::shared_ptr<OVWormhole> listenForChanges(const std::weak_ptr<T>& target, void (T::*actionsDidChange)(),
                                             void (T::*preferencesDidChange)())
{
    const auto call = [target](void (T::*method)()) {
        return [target, method] {
            if (auto self = target.lock())
                ((*self).*method)();
        };
    };
    return listenForChanges(call(actionsDidChange), call(preferencesDidChange));
}

inline constexpr const char* kRunRequestURLFormat = "orvane://runaction?action=%s&file=%s";
inline constexpr const char* kRequestPathsMember = "paths";
// Optional: the folder the user clicked in. Older runners read only "paths".
inline constexpr const char* kRequestCurrentFolderMember = "currentFolder";
inline constexpr std::size_t kMaxRequestFileSize = 16u << 20;

// The URL of a request. Uids and request file names need no escaping; anything else is escaped
// so that a value read from a tampered store cannot add members to the query.
std::string runRequestURL(const std::string& uid, const std::string& fileName);

// The query split at every "&", each piece at every "=": the first part is the key, the second
// the value (empty without one), later parts are dropped, a later key replaces an earlier one.
// Nothing is decoded or trimmed.
std::map<std::string, std::string> parseQueryString(const std::string& query);

struct RunRequest {
    std::string action; // the action's uid
    std::string file;   // the request file's name
};
// The non-empty members "action" and "file" of a request URL, read from its query as written;
// the scheme and host are not examined. None when the URL is malformed (and *malformed is set)
// or lacks either member.
std::optional<RunRequest> parseRunRequestURL(const std::string& url, bool* malformed = nullptr);

// The request of a selection: an object whose member "paths" lists the paths, with
// "currentFolder" when one is given.
nlohmann::json requestDictionary(const std::vector<std::string>& paths,
                                 const std::optional<std::string>& currentFolder = std::nullopt);
// Writes the dictionary as a new file in the container: a fresh upper-case UUID name, mode
// 0600, never over a file that exists. Its name, or none (logged) on failure.
std::optional<std::string> writeRequestFile(const nlohmann::json& dictionary);
std::string requestFilePath(const std::string& fileName);
// Reads and removes a request file. Only a file the extension could have written is read: a
// canonical UUID name directly in the container, a regular file that is no link, at most
// kMaxRequestFileSize bytes. Its "paths", or none when the file is missing, empty, not a JSON
// object or without "paths"; a "paths" that is not a list of absolute paths refuses the request
// as a whole.
std::optional<std::vector<std::string>> readRequestFile(const std::string& fileName);
struct RequestContents {
    std::vector<std::string> paths;
    // None when the request has none (an older extension) or not an absolute path.
    std::optional<std::string> currentFolder;
};
// The same, with the current folder.
std::optional<RequestContents> readRunRequestFile(const std::string& fileName);
// Removes request files that were never read once they are older than maxAgeSeconds.
void removeStaleRequestFiles(double maxAgeSeconds);

} // namespace OVProtocol
