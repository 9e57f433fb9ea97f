// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSteps.h"

#include "platform/Files.h"

#include <glib.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace ov::filesteps {

FileError makeError(int code, const std::string& what)
{
    return {code, what + ": " + g_strerror(code)};
}

MoveResult failed(int code, const std::string& what)
{
    MoveResult r;
    r.outcome = FileOutcome::Failed;
    r.error = makeError(code, what);
    return r;
}

MoveResult done()
{
    MoveResult r;
    r.outcome = FileOutcome::Done;
    return r;
}

MoveResult destinationExists(const std::string& dst)
{
    MoveResult r;
    r.outcome = FileOutcome::DestinationExists;
    r.error = makeError(EEXIST, "Cannot create " + dst);
    return r;
}

std::string temporarySibling(const std::string& dst, const char* prefix)
{
    static std::atomic<unsigned> counter{0};
    std::string folder = deletingLastPathComponent(dst);
    char name[96];
    std::snprintf(name, sizeof name, "%s%08x%08x-%u", prefix, g_random_int(), g_random_int(), ++counter);
    return pathByAppending(folder.empty() ? "." : folder, name);
}

bool isInside(const std::string& path, const std::string& folder)
{
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    return path.size() > f.size() && path.compare(0, f.size(), f) == 0 && (f == "/" || path[f.size()] == '/');
}

bool readEntryNames(DIR* dir, std::vector<std::string>* names, std::vector<unsigned char>* types)
{
    struct Entry {
        ino_t ino;
        unsigned char type;
        std::string name;
    };
    std::vector<Entry> entries;
    errno = 0;
    while (struct dirent* entry = ::readdir(dir)) {
        std::string n = entry->d_name;
        if (n != "." && n != "..")
            entries.push_back({entry->d_ino, entry->d_type, std::move(n)});
        errno = 0;
    }
    const int failure = errno;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.ino < b.ino; });
    for (auto& e : entries) {
        names->push_back(std::move(e.name));
        if (types)
            types->push_back(e.type);
    }
    errno = failure;
    return failure == 0;
}

bool removeAt(int dirFd, const char* name, const std::string& path, bool force, FileError* error)
{
    if (::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR && errno != EPERM) {
        if (error)
            *error = makeError(errno, "Cannot remove " + path);
        return false;
    }
    int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = makeError(errno, "Cannot remove " + path);
        return false;
    }
    if (force) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && (st.st_mode & 0700) != 0700)
            (void)::fchmod(fd, (st.st_mode & 07777) | 0700);
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        int e = errno;
        ::close(fd);
        if (error)
            *error = makeError(e, "Cannot remove " + path);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    if (!readEntryNames(dir, &names)) {
        ok = false;
        if (error)
            *error = makeError(errno, "Cannot read " + path);
    }
    for (const auto& n : names)
        if (!removeAt(::dirfd(dir), n.c_str(), path + "/" + n, force, ok ? error : nullptr))
            ok = false;
    ::closedir(dir);
    if (!ok)
        return false;
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT) {
        if (error)
            *error = makeError(errno, "Cannot remove " + path);
        return false;
    }
    return true;
}

bool renameNoReplace(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

std::string realPathOf(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string out = resolved;
    std::free(resolved);
    return out;
}

} // namespace ov::filesteps
