// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Leftovers.h"

#include "platform/CopyReservations.h"
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <vector>

namespace ov {
namespace {

bool allHex(std::string_view s)
{
    for (char c : s)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool allDigits(std::string_view s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return !s.empty();
}

bool earlier(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

bool isOurTemporaryName(std::string_view name)
{
    constexpr std::string_view zip = ".orvane-zip-";
    if (name.starts_with(zip))
        return name.size() == zip.size() + 8 && allHex(name.substr(zip.size()));
    constexpr std::string_view copy = ".orvane-";
    if (!name.starts_with(copy) || name.size() < copy.size() + 18)
        return false;
    std::string_view rest = name.substr(copy.size());
    return allHex(rest.substr(0, 16)) && rest[16] == '-' && allDigits(rest.substr(17));
}

TemporarySweep removeOurTemporaries(const std::string& folder, const struct timespec& before)
{
    TemporarySweep sweep;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return sweep;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (isOurTemporaryName(entry->d_name))
            names.emplace_back(entry->d_name);
    }
    const int dirFd = ::dirfd(dir);
    for (const auto& name : names) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!earlier(st.st_ctim, before) || !earlier(st.st_mtim, before)) {
            ++sweep.kept; // written to since: work that is still going on
            continue;
        }
        ReservedCopy item;
        item.path = pathByAppending(folder, name);
        item.source = item.path; // a copy of ours, not a held name: it need not be empty
        item.kind = st.st_mode & S_IFMT;
        item.dev = st.st_dev;
        item.ino = st.st_ino;
        FileError ignored;
        if (removeCopy(item, &ignored) && !pathExists(item.path))
            ++sweep.removed;
        else
            ++sweep.kept;
    }
    ::closedir(dir);
    return sweep;
}

bool removeHeldName(const std::string& path, dev_t dev, ino_t ino)
{
    // Never opened: the item at the name may be a device or a FIFO by now.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0 || st.st_dev != dev
        || st.st_ino != ino)
        return false;
    return ::unlink(path.c_str()) == 0;
}

} // namespace ov
