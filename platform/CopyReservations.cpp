// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CopyReservations.h"

#include "platform/FileSteps.h"
#include "platform/Files.h"
#include "platform/MovingItems.h"
#include "platform/TreeCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ov {

using namespace filesteps;

namespace {

// Where a name is, with every folder on the way resolved but not the name itself.
std::string locationOf(const std::string& path)
{
    std::string folder = deletingLastPathComponent(path);
    return pathByAppending(realPathOf(folder.empty() ? "." : folder), lastPathComponent(path));
}

bool sameItem(const struct stat& st, const ReservedCopy& reserved)
{
    if (st.st_dev != reserved.dev || st.st_ino != reserved.ino)
        return false;
    // A held name is an empty file: a file of the user's put there after it was removed can have
    // its number and is not empty.
    return !reserved.source.empty() || (S_ISREG(st.st_mode) && st.st_size == 0);
}

// Whether item lies somewhere below folder, judged by where the two names really are (the folders
// on their way resolved, a link's own name not followed). item need not exist.
bool isItemInside(const std::string& item, const std::string& folder)
{
    return isInside(locationOf(item), locationOf(folder));
}

MoveResult reserveCopyAt(const std::string& src, const std::string& dst, ReservedCopy* reserved)
{
    struct stat st;
    if (::lstat(src.c_str(), &st) != 0)
        return failed(errno, "Cannot read " + src);
    if (S_ISDIR(st.st_mode) && isItemInside(dst, src))
        return failed(EINVAL, "Cannot copy " + src + " into itself");

    int fd = -1;
    if (S_ISREG(st.st_mode)) {
        fd = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } else if (S_ISDIR(st.st_mode)) {
        if (::mkdir(dst.c_str(), 0700) == 0)
            fd = ::open(dst.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } else if (S_ISLNK(st.st_mode)) {
        MoveResult link = TreeCopier(false, false).copy(src, dst);
        if (link.outcome != FileOutcome::Done)
            return link;
        fd = ::open(dst.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    } else {
        return failed(ENOTSUP, "Cannot copy " + src + ": only files, folders and links are copied");
    }
    if (fd < 0) {
        if (errno == EEXIST)
            return destinationExists(dst);
        return failed(errno, "Cannot create " + dst);
    }
    FdCloser closer(fd);
    struct stat made;
    if (::fstat(fd, &made) != 0)
        return failed(errno, "Cannot create " + dst);
    *reserved = ReservedCopy{src, dst, st.st_mode & S_IFMT, made.st_dev, made.st_ino};
    return done();
}

} // namespace

MoveResult reserveName(const std::string& dst, ReservedCopy* reserved)
{
    int fd = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? destinationExists(dst) : failed(errno, "Cannot create " + dst);
    FdCloser closer(fd);
    struct stat made;
    if (::fstat(fd, &made) != 0)
        return failed(errno, "Cannot create " + dst);
    *reserved = ReservedCopy{{}, dst, S_IFREG, made.st_dev, made.st_ino};
    return done();
}

MoveResult reserveCopyBeside(const std::string& src, const std::string& dst, ReservedCopy* reserved)
{
    for (int i = 0; i < kTemporaryNameAttempts; ++i) {
        MoveResult r = reserveCopyAt(src, temporarySibling(dst), reserved);
        if (r.outcome != FileOutcome::DestinationExists)
            return r;
    }
    return failed(EEXIST, "Cannot create a temporary item beside " + dst);
}

MoveResult fillCopy(const ReservedCopy& reserved, const std::atomic<bool>* cancelled)
{
    MoveResult r = TreeCopier(false, false, cancelled, true).fill(reserved);
    if (r.outcome != FileOutcome::Done) {
        FileError ignored;
        removeCopy(reserved, &ignored);
    }
    return r;
}

bool removeCopy(const ReservedCopy& reserved, FileError* error)
{
    struct stat st;
    if (::lstat(reserved.path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = makeError(errno, "Cannot remove " + reserved.path);
        return false;
    }
    if (!sameItem(st, reserved))
        return true; // someone else's item now: not ours to remove
    return removeAt(AT_FDCWD, reserved.path.c_str(), reserved.path, true, error);
}

MoveResult replaceReservation(const std::string& incoming, const ReservedCopy& name)
{
    if (::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, name.path.c_str(), RENAME_EXCHANGE) == 0) {
        // The reserved name's item is now at `incoming`: it goes if it is still ours.
        struct stat st;
        if (::lstat(incoming.c_str(), &st) == 0 && sameItem(st, name)) {
            (void)::unlink(incoming.c_str());
            return done();
        }
        (void)::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, name.path.c_str(), RENAME_EXCHANGE);
        return failed(EEXIST, name.path + " was taken while the copy was made");
    }
    int e = errno;
    if (e == ENOENT && renameNoReplace(incoming, name.path))
        return done(); // the reservation went away: the name is free all the same
    if (e == ENOENT)
        return failed(errno, "Cannot move to " + name.path);
    if (e != EINVAL && e != ENOSYS && e != EOPNOTSUPP)
        return failed(e, "Cannot move to " + name.path);
    // No atomic exchange on this file system: check the reservation just before replacing it.
    struct stat st;
    if (::lstat(name.path.c_str(), &st) != 0 || !sameItem(st, name))
        return failed(EEXIST, name.path + " was taken while the copy was made");
    return replaceItem(incoming, name.path);
}

} // namespace ov
