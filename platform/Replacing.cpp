// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Replacing.h"

#include "platform/FileSteps.h"
#include "platform/Files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace ov {

using namespace filesteps;

namespace {

bool sameIdentity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `item` is the item at the resolved path or one of the folders above it.
bool isOrHolds(const struct stat& item, std::string resolved)
{
    while (true) {
        struct stat st;
        if (::stat(resolved.c_str(), &st) == 0 && sameIdentity(st, item))
            return true;
        std::string up = deletingLastPathComponent(resolved);
        if (up.empty() || up == resolved)
            return false;
        resolved = std::move(up);
    }
}

} // namespace

Replacing judgeReplacing(const std::string& src, const std::string& dst, FileError* why)
{
    struct stat target;
    if (::lstat(dst.c_str(), &target) != 0)
        return Replacing::Allowed;
    struct stat source;
    const bool hasSource = ::lstat(src.c_str(), &source) == 0;
    if (hasSource && sameIdentity(source, target))
        return Replacing::SameItem;
    auto refuse = [why](std::string message) {
        if (why)
            *why = {EINVAL, std::move(message)};
        return Replacing::Refused;
    };
    if (S_ISDIR(target.st_mode)) {
        const std::string folder = deletingLastPathComponent(src);
        if (isOrHolds(target, realPathOf(folder.empty() ? "." : folder)))
            return refuse("Cannot replace " + dst + ", which holds " + src);
    }
    if (hasSource && S_ISLNK(source.st_mode)) {
        // The link would take the place of what it leads to.
        char* resolved = ::realpath(src.c_str(), nullptr);
        const bool leadsThere = resolved && isOrHolds(target, resolved);
        std::free(resolved);
        if (leadsThere)
            return refuse("Cannot replace " + dst + " by " + src + ", a link to it");
    }
    return Replacing::Allowed;
}

} // namespace ov
