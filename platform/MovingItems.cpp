// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MovingItems.h"

#include "platform/FileSteps.h"
#include "platform/Files.h"
#include "platform/Replacing.h"
#include "platform/TreeCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <utility>

namespace ov {

using namespace filesteps;

namespace {

std::mutex moveAcrossHookMutex; // set from a test, called on the queue that moves
std::function<void(const std::string&)>& moveAcrossHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

void callMoveAcrossHook(const std::string& src)
{
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(moveAcrossHookMutex);
        hook = moveAcrossHook();
    }
    if (hook)
        hook(src);
}

bool needsExchange(int e) { return e == EISDIR || e == ENOTDIR || e == ENOTEMPTY || e == EEXIST; }

// Puts the item at `incoming` (a sibling of dst) at dst. The old item at dst goes only once the
// new one is in place; on failure both stay where they were.
bool installReplacing(const std::string& incoming, const std::string& dst, MoveResult* result)
{
    if (::rename(incoming.c_str(), dst.c_str()) == 0)
        return true; // files, or nothing (or an empty folder) at dst
    int e = errno;
    if (!needsExchange(e)) {
        result->error = makeError(e, "Cannot move to " + dst);
        return false;
    }
    if (::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, dst.c_str(), RENAME_EXCHANGE) == 0) {
        FileError removeError;
        if (!removeAt(AT_FDCWD, incoming.c_str(), incoming, false, &removeError))
            result->oldItemError = removeError;
        return true;
    }
    e = errno;
    if (e == ENOENT) { // the old item went away meanwhile
        if (renameNoReplace(incoming, dst))
            return true;
        result->error = makeError(errno, "Cannot move to " + dst);
        return false;
    }
    if (e != EINVAL && e != ENOSYS && e != EOPNOTSUPP) {
        result->error = makeError(e, "Cannot move to " + dst);
        return false;
    }
    // No atomic exchange on this file system: park the old item beside it first.
    std::string parked;
    for (int i = 0; i < kTemporaryNameAttempts; ++i) {
        parked = temporarySibling(dst, kUsersItemParked);
        if (::rename(dst.c_str(), parked.c_str()) == 0)
            break;
        if (errno != EEXIST && errno != ENOTEMPTY) {
            result->error = makeError(errno, "Cannot move away " + dst);
            return false;
        }
        parked.clear();
    }
    if (parked.empty()) {
        result->error = makeError(EEXIST, "Cannot move away " + dst);
        return false;
    }
    if (::rename(incoming.c_str(), dst.c_str()) != 0) {
        result->error = makeError(errno, "Cannot move to " + dst);
        (void)::rename(parked.c_str(), dst.c_str());
        return false;
    }
    FileError removeError;
    if (!removeAt(AT_FDCWD, parked.c_str(), parked, false, &removeError))
        result->oldItemError = removeError;
    return true;
}

// Puts the finished item at `incoming` at dst where nothing is yet; an errno value, 0 when done.
int installNoReplace(const std::string& incoming, const std::string& dst)
{
    if (renameNoReplace(incoming, dst))
        return 0;
    int e = errno;
    if (e != EINVAL && e != ENOSYS && e != EOPNOTSUPP)
        return e;
    // No RENAME_NOREPLACE here: a hard link claims the name of a file atomically; a folder gets
    // a check just before the rename.
    struct stat st;
    if (::lstat(incoming.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode)) {
        if (::link(incoming.c_str(), dst.c_str()) == 0) {
            (void)::unlink(incoming.c_str());
            return 0;
        }
        if (errno == EEXIST)
            return EEXIST;
    }
    if (::lstat(dst.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(incoming.c_str(), dst.c_str()) == 0 ? 0 : errno;
}

// Flushes the file system that holds path: what was copied there is on the disk.
int flushFileSystemOf(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int e = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return e;
}

// Records a rename in the folder on the disk.
int flushFolder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int e = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return e;
}

// The copy is made under a hidden name beside dst and takes the name only once it is complete
// and on the disk, so that nothing half-made ever carries the final name. The source goes only
// after that.
MoveResult moveAcross(const std::string& src, const std::string& dst, bool noReplace)
{
    struct stat existing;
    if (noReplace && ::lstat(dst.c_str(), &existing) == 0)
        return destinationExists(dst);
    const std::string folder = deletingLastPathComponent(dst).empty() ? "." : deletingLastPathComponent(dst);
    TreeCopier copier(true, true);
    MoveResult result;
    std::string incoming;
    for (int i = 0; i < kTemporaryNameAttempts; ++i) {
        incoming = temporarySibling(dst);
        result = copier.copy(src, incoming);
        if (result.outcome != FileOutcome::DestinationExists)
            break;
    }
    if (result.outcome != FileOutcome::Done) {
        result.outcome = FileOutcome::Failed;
        return result;
    }
    auto discard = [&](MoveResult failure) {
        FileError ignored;
        removeAt(AT_FDCWD, incoming.c_str(), incoming, true, &ignored);
        return failure;
    };
    if (int e = flushFileSystemOf(folder))
        return discard(failed(e, "Cannot write " + dst));
    if (noReplace) {
        if (int e = installNoReplace(incoming, dst))
            return discard(e == EEXIST ? destinationExists(dst) : failed(e, "Cannot move to " + dst));
    } else if (!installReplacing(incoming, dst, &result)) {
        result.outcome = FileOutcome::Failed;
        return discard(result);
    }
    result.outcome = FileOutcome::Done;
    callMoveAcrossHook(src);
    FileError removeError;
    if (int e = flushFolder(folder)) {
        // In place, but perhaps not on the disk yet: the source stays.
        result.outcome = FileOutcome::Failed;
        result.error = makeError(e, "Cannot write " + dst);
        result.destinationKept = true;
        return result;
    }
    if (!copier.removeSource(&removeError)) {
        result.outcome = FileOutcome::Failed;
        result.error = removeError;
        result.destinationKept = true;
    }
    return result;
}

// For file systems without RENAME_NOREPLACE: a hard link claims the name atomically; folders
// (and file systems without links) fall back to a check just before the rename.
MoveResult moveWithoutRenameFlags(const std::string& src, const std::string& dst)
{
    struct stat st;
    if (::lstat(src.c_str(), &st) != 0)
        return failed(errno, "Cannot move " + src);
    if (!S_ISDIR(st.st_mode)) {
        if (::link(src.c_str(), dst.c_str()) == 0) {
            if (::unlink(src.c_str()) == 0)
                return done();
            int e = errno;
            (void)::unlink(dst.c_str());
            return failed(e, "Cannot move " + src);
        }
        if (errno == EEXIST)
            return destinationExists(dst);
        if (errno == EXDEV)
            return moveAcross(src, dst, true);
    }
    struct stat existing;
    if (::lstat(dst.c_str(), &existing) == 0)
        return destinationExists(dst);
    if (::rename(src.c_str(), dst.c_str()) == 0)
        return done();
    if (errno == EXDEV)
        return moveAcross(src, dst, true);
    return failed(errno, "Cannot move " + src + " to " + dst);
}

// Replacing within one file system when a plain rename cannot: bring the new item in under a
// temporary name, then exchange.
MoveResult swapIn(const std::string& src, const std::string& dst)
{
    std::string incoming;
    for (int i = 0; i < kTemporaryNameAttempts && incoming.empty(); ++i) {
        std::string candidate = temporarySibling(dst, kUsersItemMoving);
        if (renameNoReplace(src, candidate))
            incoming = candidate;
        else if (errno != EEXIST)
            return failed(errno, "Cannot move " + src + " to " + dst);
    }
    if (incoming.empty())
        return failed(EEXIST, "Cannot move " + src + " to " + dst);
    MoveResult result;
    if (installReplacing(incoming, dst, &result)) {
        result.outcome = FileOutcome::Done;
        return result;
    }
    if (!renameNoReplace(incoming, src))
        result.error.message += " (the item is at " + incoming + ")";
    result.outcome = FileOutcome::Failed;
    return result;
}

} // namespace

MoveResult moveItem(const std::string& src, const std::string& dst, bool noReplace)
{
    if (noReplace) {
        if (renameNoReplace(src, dst))
            return done();
        int e = errno;
        if (e == EEXIST)
            return destinationExists(dst);
        if (e == EXDEV)
            return moveAcross(src, dst, true);
        if (e == EINVAL || e == ENOSYS || e == EOPNOTSUPP)
            return moveWithoutRenameFlags(src, dst);
        return failed(e, "Cannot move " + src + " to " + dst);
    }
    FileError refusal;
    if (judgeReplacing(src, dst, &refusal) == Replacing::Refused) {
        MoveResult r;
        r.error = refusal;
        return r;
    }
    if (::rename(src.c_str(), dst.c_str()) == 0)
        return done();
    int e = errno;
    if (e == EXDEV)
        return moveAcross(src, dst, false);
    if (needsExchange(e))
        return swapIn(src, dst);
    return failed(e, "Cannot move " + src + " to " + dst);
}

MoveResult copyItem(const std::string& src, const std::string& dst)
{
    TreeCopier copier(false, false);
    return copier.copy(src, dst, true);
}

MoveResult replaceItem(const std::string& incoming, const std::string& dst)
{
    MoveResult result;
    result.outcome = installReplacing(incoming, dst, &result) ? FileOutcome::Done : FileOutcome::Failed;
    return result;
}

ScopedMoveAcrossHook::ScopedMoveAcrossHook(std::function<void(const std::string& src)> hook)
{
    std::lock_guard lock(moveAcrossHookMutex);
    moveAcrossHook() = std::move(hook);
}

ScopedMoveAcrossHook::~ScopedMoveAcrossHook()
{
    std::lock_guard lock(moveAcrossHookMutex);
    moveAcrossHook() = nullptr;
}

} // namespace ov
