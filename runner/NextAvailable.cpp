// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/NextAvailable.h"

#include "platform/Files.h"


namespace {

// Position of the dot that starts the extension in a component, or npos. A leading dot names a
// hidden file, not an extension; a trailing dot starts nothing.
std::string::size_type extensionDot(const std::string& component)
{
    auto dot = component.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == component.size())
        return std::string::npos;
    return dot;
}

std::vector<std::string> pathComponents(const std::string& path)
{
    std::vector<std::string> parts;
    if (!path.empty() && path.front() == '/')
        parts.emplace_back("/");
    std::string::size_type start = 0;
    while (start < path.size()) {
        auto slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        if (slash > start)
            parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

} // namespace

std::string hl_pathExtension(const std::string& path)
{
    std::string component = ov::lastPathComponent(path);
    auto dot = extensionDot(component);
    return dot == std::string::npos ? std::string() : component.substr(dot + 1);
}

std::string hl_nextAvailablePath(const std::string& path)
{
    if (!ov::pathExists(path))
        return path;

    std::string folder = ov::deletingLastPathComponent(path);
    std::string component = ov::lastPathComponent(path);
    for (long n = 2;; ++n) {
        std::string candidate = ov::pathByAppending(folder, hl_numberedName(component, n));
        if (!ov::pathExists(candidate))
            return candidate;
    }
}

std::string hl_numberedName(const std::string& component, long number)
{
    auto dot = extensionDot(component);
    if (dot == std::string::npos)
        return component + " " + std::to_string(number);
    return component.substr(0, dot) + " " + std::to_string(number) + component.substr(dot);
}

std::optional<std::string> hl_commonAncestorWithPaths(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return std::nullopt;
    if (paths.size() == 1) {
        std::string parent = ov::deletingLastPathComponent(paths.front());
        if (parent.empty())
            return std::nullopt;
        return parent;
    }

    std::vector<std::string> common = pathComponents(paths.front());
    for (std::size_t i = 1; i < paths.size() && !common.empty(); ++i) {
        std::vector<std::string> other = pathComponents(paths[i]);
        std::size_t n = 0;
        while (n < common.size() && n < other.size() && common[n] == other[n])
            ++n;
        common.resize(n);
    }
    if (common.empty())
        return std::nullopt;

    std::string joined;
    for (std::size_t i = common.front() == "/" ? 1 : 0; i < common.size(); ++i) {
        if (!joined.empty())
            joined += '/';
        joined += common[i];
    }
    if (joined.empty() || joined.front() != '/')
        joined.insert(joined.begin(), '/');
    return joined;
}

ov::MoveResult hl_placeAtNextAvailablePath(const std::string& wanted,
                                           const std::function<ov::MoveResult(const std::string& target)>& place,
                                           std::string* placedAt)
{
    // Far more than any folder holds of one name; only guards against a name that is claimed
    // again every time it is tried.
    constexpr int kMaxNameAttempts = 10000;
    std::string target = hl_nextAvailablePath(wanted);
    for (int attempt = 0;; ++attempt) {
        ov::MoveResult result = place(target);
        if (result.outcome != ov::FileOutcome::DestinationExists) {
            if (placedAt)
                *placedAt = target;
            return result;
        }
        if (attempt == kMaxNameAttempts) {
            result.outcome = ov::FileOutcome::Failed;
            return result;
        }
        target = hl_nextAvailablePath(wanted);
    }
}
