// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVProtocol.h"

#include "messaging/OVWormhole.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/Uri.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <exception>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using ov::ovLog;

namespace OVProtocol {

namespace {

constexpr const char* kWormholeDirectory = "wormhole";

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

bool isAbsolutePathString(const nlohmann::json& value)
{
    if (!value.is_string())
        return false;
    const auto& path = value.get_ref<const std::string&>();
    return !path.empty() && path.front() == '/' && path.find('\0') == std::string::npos;
}

// Absent when the member is absent; a "paths" that is not a list of absolute path strings
// refuses the request rather than run it on part of the selection.
std::optional<RequestContents> contentsOfRequest(const std::string& data)
{
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(data, nullptr, false);
    } catch (...) {
        return std::nullopt;
    }
    if (json.is_discarded() || !json.is_object() || json.empty())
        return std::nullopt;
    auto it = json.find(kRequestPathsMember);
    if (it == json.end())
        return std::nullopt;
    if (!it->is_array()) {
        ovLog("Ignoring request: \"paths\" is not a list");
        return std::nullopt;
    }
    RequestContents contents;
    auto& paths = contents.paths;
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
    // Only a help to scripts: one that is not a path is left out rather than refusing the run.
    auto folder = json.find(kRequestCurrentFolderMember);
    if (folder != json.end() && isAbsolutePathString(*folder))
        contents.currentFolder = folder->get<std::string>();
    return contents;
}

} // namespace

std::shared_ptr<OVWormhole> wormhole()
{
    return OVWormhole::create(ov::kApplicationGroupIdentifier, std::string(kWormholeDirectory));
}

void postMessage(const std::string& name)
{
    if (auto messenger = wormhole())
        messenger->passMessageObject(std::nullopt, name);
}

std::shared_ptr<OVWormhole> listenForChanges(std::function<void()> actionsDidChange,
                                             std::function<void()> preferencesDidChange)
{
    auto listener = wormhole();
    if (!listener)
        return nullptr;
    listener->listenForMessageWithIdentifier(std::string(kDidChangeNotification),
                                             [call = std::move(actionsDidChange)](const auto&) { call(); });
    listener->listenForMessageWithIdentifier(std::string(kUserDefaultsDidChangeNotification),
                                             [call = std::move(preferencesDidChange)](const auto&) { call(); });
    return listener;
}

std::string runRequestURL(const std::string& uid, const std::string& fileName)
{
    return ov::stringPrintf(kRunRequestURLFormat, ov::uri::escape(uid).c_str(), ov::uri::escape(fileName).c_str());
}

std::map<std::string, std::string> parseQueryString(const std::string& query)
{
    std::map<std::string, std::string> members;
    for (const auto& piece : split(query, '&')) {
        auto parts = split(piece, '=');
        members[parts[0]] = parts.size() >= 2 ? parts[1] : std::string();
    }
    return members;
}

std::optional<RunRequest> parseRunRequestURL(const std::string& url, bool* malformed)
{
    const bool wellFormed = ov::uri::isWellFormed(url);
    if (malformed)
        *malformed = !wellFormed;
    if (!wellFormed)
        return std::nullopt;
    auto query = ov::uri::query(url);
    if (!query)
        return std::nullopt;
    auto members = parseQueryString(*query);
    auto action = members.find("action");
    auto file = members.find("file");
    if (action == members.end() || action->second.empty() || file == members.end() || file->second.empty())
        return std::nullopt;
    return RunRequest{action->second, file->second};
}

nlohmann::json requestDictionary(const std::vector<std::string>& paths, const std::optional<std::string>& currentFolder)
{
    nlohmann::json dictionary = nlohmann::json::object();
    dictionary[kRequestPathsMember] = paths;
    if (currentFolder)
        dictionary[kRequestCurrentFolderMember] = *currentFolder;
    return dictionary;
}

std::optional<std::string> writeRequestFile(const nlohmann::json& dictionary)
{
    std::string data;
    try {
        data = dictionary.dump(2);
    } catch (const std::exception& e) {
        // Paths that are not valid UTF-8 cannot be carried by JSON text.
        ovLog("Could not convert to JSON: %s", e.what());
        return std::nullopt;
    }
    if (data.empty())
        return std::nullopt;

    const std::string container = ov::containerPath();
    std::string error;
    // A fresh random name practically never exists; a file that does is never written over.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string name = ov::newUUIDString();
        const std::string path = ov::pathByAppending(container, name);
        if (ov::pathExists(path))
            continue;
        if (ov::createNewFile(path, data, 0600, &error))
            return name;
        break;
    }
    ovLog("Could not write the run request in %s: %s", container.c_str(), error.c_str());
    return std::nullopt;
}

std::string requestFilePath(const std::string& fileName) { return ov::pathByAppending(ov::containerPath(), fileName); }

std::optional<std::vector<std::string>> readRequestFile(const std::string& fileName)
{
    auto contents = readRunRequestFile(fileName);
    if (!contents)
        return std::nullopt;
    return std::move(contents->paths);
}

std::optional<RequestContents> readRunRequestFile(const std::string& fileName)
{
    if (!ov::isCanonicalUUIDString(fileName)) {
        ovLog("Ignoring request with an invalid file name");
        return std::nullopt;
    }
    const std::string path = requestFilePath(fileName);
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
    return contentsOfRequest(*data);
}

void removeStaleRequestFiles(double maxAgeSeconds)
{
    const std::string container = ov::containerPath();
    std::error_code ec;
    std::filesystem::directory_iterator it(container, ec);
    if (ec)
        return;
    const std::time_t now = std::time(nullptr);
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string name = it->path().filename().string();
        if (!ov::isCanonicalUUIDString(name))
            continue;
        const std::string path = ov::pathByAppending(container, name);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (double(now - st.st_mtime) <= maxAgeSeconds)
            continue;
        if (::unlink(path.c_str()) == 0)
            ovLog("Removed unread request %s", name.c_str());
    }
}

} // namespace OVProtocol
