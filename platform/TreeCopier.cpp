// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TreeCopier.h"

#include "platform/CopyStop.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace ov {

using namespace filesteps;

namespace {

constexpr std::size_t kBufferSize = 128 * 1024;
// Kernel copies go in pieces of this size, so that a stopped copy stops soon.
constexpr std::size_t kKernelCopyChunk = 64 * 1024 * 1024;

struct FillObserver {
    std::atomic<bool> isSet{false};
    std::mutex mutex;
    std::function<void(const std::string&)> observer;
};

FillObserver& fillObserver()
{
    static FillObserver o;
    return o;
}

void observeFill(const std::string& srcPath)
{
    FillObserver& o = fillObserver();
    if (!o.isSet.load(std::memory_order_relaxed))
        return;
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard lock(o.mutex);
        observer = o.observer;
    }
    if (observer)
        observer(srcPath);
}

// Opens the next files of a folder ahead of their copy and asks for their contents: a folder that
// is not cached is then read with several requests at the disk at once, not one file after another.
// The folders of one copy share a budget of descriptors (TreeCopier::kReadAheadBudget).
class ReadAhead {
public:
    // types: the d_type of each name as the folder listed it.
    ReadAhead(int dirFd, const std::vector<std::string>& names, const std::vector<unsigned char>& types, int& budget)
        : dirFd_(dirFd), names_(names), types_(types), budget_(budget)
    {
    }
    ~ReadAhead()
    {
        for (std::size_t i = next_; i < opened_.size(); ++i)
            release(opened_[i]);
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The opened entry at index (the caller owns it), or -1; the entries after it are asked for
    // meanwhile. Indexes are taken in order.
    int take(std::size_t index)
    {
        while (opened_.size() < names_.size() && opened_.size() <= index + kDepth && budget_ > 0) {
            const std::size_t i = opened_.size();
            // Opening a FIFO would release a writer waiting on it, opening a device can act on it.
            int fd = isRegularFile(i) ? ::openat(dirFd_, names_[i].c_str(),
                                                 O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)
                                      : -1;
            if (fd >= 0) {
                --budget_;
                (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
            }
            opened_.push_back(fd);
        }
        for (; next_ < index && next_ < opened_.size(); ++next_)
            release(opened_[next_]);
        if (index >= opened_.size())
            return -1;
        next_ = index + 1;
        int fd = std::exchange(opened_[index], -1);
        if (fd >= 0)
            ++budget_; // the caller's now
        return fd;
    }

private:
    static constexpr std::size_t kDepth = 16;

    bool isRegularFile(std::size_t i) const
    {
        const unsigned type = i < types_.size() ? types_[i] : unsigned(DT_UNKNOWN);
        if (type != DT_UNKNOWN)
            return type == DT_REG;
        struct stat st;
        return ::fstatat(dirFd_, names_[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
    }

    void release(int& fd)
    {
        if (fd < 0)
            return;
        ::close(fd);
        fd = -1;
        ++budget_;
    }

    int dirFd_;
    const std::vector<std::string>& names_;
    const std::vector<unsigned char>& types_;
    int& budget_;
    std::vector<int> opened_;
    std::size_t next_ = 0;
};

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

void copyOwner(int fd, const struct stat& st)
{
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
        (void)::fchown(fd, st.st_uid, st.st_gid); // best effort, like mv
}

void copyExtendedAttributes(int in, int out)
{
    ssize_t length = ::flistxattr(in, nullptr, 0);
    if (length <= 0)
        return;
    std::vector<char> names(std::size_t(length) + 1, '\0');
    length = ::flistxattr(in, names.data(), names.size() - 1);
    if (length <= 0)
        return;
    std::vector<char> value;
    for (const char* name = names.data(); name < names.data() + length; name += std::strlen(name) + 1) {
        ssize_t size = ::fgetxattr(in, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(std::size_t(size) + 1);
        size = ::fgetxattr(in, name, value.data(), value.size());
        if (size >= 0)
            (void)::fsetxattr(out, name, value.data(), std::size_t(size), 0);
    }
}

} // namespace

MoveResult TreeCopier::copy(const std::string& given, const std::string& dst, bool followTopLink)
{
    createdTop_ = false;
    existed_ = false;
    std::string src = given;
    if (followTopLink) {
        char* resolved = ::realpath(given.c_str(), nullptr);
        if (!resolved)
            return failed(errno, "Cannot read " + given);
        src = resolved;
        std::free(resolved);
    }
    struct stat st;
    if (::lstat(src.c_str(), &st) != 0)
        return failed(errno, "Cannot read " + src);
    if (S_ISDIR(st.st_mode) && isInside(dst, src))
        return failed(EINVAL, "Cannot move " + src + " into itself");
    FileError error;
    if (copyEntry(AT_FDCWD, src.c_str(), src, st, AT_FDCWD, dst.c_str(), dst, true, &error))
        return done();
    if (createdTop_) {
        FileError ignored;
        removeAt(AT_FDCWD, dst.c_str(), dst, true, &ignored);
    }
    if (existed_)
        return destinationExists(dst);
    MoveResult r;
    r.outcome = FileOutcome::Failed;
    r.error = error;
    return r;
}

MoveResult TreeCopier::fill(const ReservedCopy& reserved)
{
    struct stat st;
    if (::lstat(reserved.source.c_str(), &st) != 0)
        return failed(errno, "Cannot read " + reserved.source);
    if ((st.st_mode & S_IFMT) != reserved.kind)
        return failed(EBUSY, reserved.source + " changed while it was copied");
    if (S_ISLNK(st.st_mode))
        return done(); // made whole when it was reserved
    reserved_ = &reserved;
    FileError error;
    if (copyEntry(AT_FDCWD, reserved.source.c_str(), reserved.source, st, AT_FDCWD, reserved.path.c_str(),
                  reserved.path, true, &error))
        return done();
    MoveResult r;
    r.outcome = FileOutcome::Failed;
    r.error = error;
    return r;
}

bool TreeCopier::removeSource(FileError* error) const
{
    for (const auto& e : manifest_) {
        struct stat now;
        if (::lstat(e.path.c_str(), &now) != 0) {
            *error = makeError(errno, "Cannot remove " + e.path);
            return false;
        }
        if (now.st_dev != e.dev || now.st_ino != e.ino
            || (!e.isDirectory && (now.st_size != e.size || !sameTime(now.st_mtim, e.mtime)))) {
            *error = makeError(EBUSY, e.path + " changed while it was moved; it was left in place");
            return false;
        }
        if (::unlinkat(AT_FDCWD, e.path.c_str(), e.isDirectory ? AT_REMOVEDIR : 0) != 0) {
            *error = makeError(errno, "Cannot remove " + e.path);
            return false;
        }
    }
    return true;
}

bool TreeCopier::createFailed(bool top, const std::string& path, FileError* error)
{
    int e = errno;
    if (top && e == EEXIST)
        existed_ = true;
    *error = makeError(e, "Cannot create " + path);
    return false;
}

void TreeCopier::record(const std::string& path, const struct stat& st)
{
    if (keepManifest_)
        manifest_.push_back({path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, S_ISDIR(st.st_mode)});
}

bool TreeCopier::stopped(const std::string& srcPath, FileError* error) const
{
    if ((!cancelled_ || !cancelled_->load(std::memory_order_relaxed)) && !isEveryCopyStopped())
        return false;
    *error = makeError(ECANCELED, "The copy of " + srcPath + " was stopped");
    return true;
}

int TreeCopier::openReserved(int dstDir, const char* dstName, int flags, FileError* error) const
{
    int fd = ::openat(dstDir, dstName, flags | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = makeError(errno, "Cannot open " + reserved_->path);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_dev != reserved_->dev || st.st_ino != reserved_->ino) {
        ::close(fd);
        *error = makeError(EBUSY, reserved_->path + " was replaced while it was copied");
        return -1;
    }
    return fd;
}

bool TreeCopier::copyEntry(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                           const char* dstName, const std::string& dstPath, bool top, FileError* error, int opened)
{
    FdCloser openedSource(opened);
    if (reserved_ || keepManifest_)
        observeFill(srcPath);
    if (stopped(srcPath, error))
        return false;
    if (S_ISREG(st.st_mode))
        return copyFile(srcDir, srcName, srcPath, st, dstDir, dstName, dstPath, top, error, openedSource);
    if (S_ISDIR(st.st_mode))
        return copyFolder(srcDir, srcName, srcPath, st, dstDir, dstName, dstPath, top, error);
    if (S_ISLNK(st.st_mode))
        return copyLink(srcDir, srcName, srcPath, st, dstDir, dstName, dstPath, top, error);
    if (skipSpecial_)
        return true;
    return copySpecial(srcPath, st, dstDir, dstName, dstPath, top, error);
}

bool TreeCopier::cloned(int in, int out)
{
    if (cloneUnsupported_)
        return false;
    if (::ioctl(out, FICLONE, in) == 0)
        return true;
    if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV || errno == ENOSYS || errno == EINVAL)
        cloneUnsupported_ = true; // the same answer for every file of this copy
    return false;
}

bool TreeCopier::copyData(int in, int out, off_t expected, const std::string& srcPath, off_t* copied, FileError* error)
{
    off_t total = 0;
    if (expected > 0 && cloned(in, out)) {
        *copied = expected;
        return true;
    }
    if (expected > off_t(kBufferSize)) {
        // Large files go through the kernel; small ones take one read and one write. Read
        // from start to end, a large file is read ahead further.
        (void)::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
        bool kernelCopy = true;
        while (kernelCopy) {
            if (stopped(srcPath, error))
                return false;
            ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kKernelCopyChunk, 0);
            if (n > 0) {
                total += n;
                continue;
            }
            if (n == 0)
                break;
            if (total == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
                kernelCopy = false;
                break;
            }
            *error = makeError(errno, "Cannot copy " + srcPath);
            return false;
        }
        if (!kernelCopy) {
            bool sent = true;
            while (true) {
                if (stopped(srcPath, error))
                    return false;
                ssize_t n = ::sendfile(out, in, nullptr, kKernelCopyChunk);
                if (n > 0) {
                    total += n;
                    continue;
                }
                if (n == 0)
                    break;
                if (total == 0 && (errno == EINVAL || errno == ENOSYS)) {
                    sent = false;
                    break;
                }
                *error = makeError(errno, "Cannot copy " + srcPath);
                return false;
            }
            if (sent) {
                *copied = total;
                return true;
            }
        } else {
            *copied = total;
            return true;
        }
    }
    if (buffer_.empty())
        buffer_.resize(kBufferSize);
    while (true) {
        if (total > 0 && stopped(srcPath, error))
            return false;
        ssize_t n = ::read(in, buffer_.data(), buffer_.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = makeError(errno, "Cannot read " + srcPath);
            return false;
        }
        if (n == 0)
            break;
        for (ssize_t written = 0; written < n;) {
            ssize_t w = ::write(out, buffer_.data() + written, std::size_t(n - written));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                *error = makeError(errno, "Cannot write a copy of " + srcPath);
                return false;
            }
            written += w;
        }
        total += n;
        // A file that filled its expected size is done; a later change shows in its status.
        if (total == expected && expected < off_t(buffer_.size()))
            break;
    }
    *copied = total;
    return true;
}

bool TreeCopier::copyFile(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                          const char* dstName, const std::string& dstPath, bool top, FileError* error, FdCloser& opened)
{
    if (st.st_nlink > 1) {
        auto it = links_.find({st.st_dev, st.st_ino});
        if (it != links_.end()) {
            if (::linkat(AT_FDCWD, it->second.c_str(), dstDir, dstName, 0) != 0)
                return createFailed(top, dstPath, error);
            created(top);
            record(srcPath, st);
            return true;
        }
    }
    // Without blocking: a FIFO put in the file's place must not stop the copy. (What was
    // opened ahead is checked against st like this, after the copy.)
    int in = opened.get() >= 0 ? opened.release()
                               : ::openat(srcDir, srcName, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        *error = makeError(errno, "Cannot read " + srcPath);
        return false;
    }
    FdCloser closeIn(in);
    int out;
    if (top && reserved_) {
        out = openReserved(dstDir, dstName, O_WRONLY, error);
        if (out < 0)
            return false;
    } else {
        out = ::openat(dstDir, dstName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0)
            return createFailed(top, dstPath, error);
        created(top);
    }
    FdCloser closeOut(out);

    off_t copied = 0;
    if (!copyData(in, out, st.st_size, srcPath, &copied, error))
        return false;
    struct stat after;
    if (::fstat(in, &after) != 0) {
        *error = makeError(errno, "Cannot read " + srcPath);
        return false;
    }
    if (after.st_ino != st.st_ino || after.st_size != st.st_size || !sameTime(after.st_mtim, st.st_mtim)) {
        *error = makeError(EBUSY, srcPath + " changed while it was copied");
        return false;
    }
    if (copied != st.st_size) {
        *error = makeError(EIO, "The copy of " + srcPath + " is incomplete");
        return false;
    }
    if (preserveOwner_)
        copyOwner(out, st);
    copyExtendedAttributes(in, out);
    if (::fchmod(out, st.st_mode & modeMask()) != 0) {
        *error = makeError(errno, "Cannot set the permissions of " + dstPath);
        return false;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(out, times);
    if (::close(closeOut.release()) != 0) {
        *error = makeError(errno, "Cannot write " + dstPath);
        return false;
    }
    if (st.st_nlink > 1)
        links_[{st.st_dev, st.st_ino}] = dstPath;
    record(srcPath, st);
    return true;
}

bool TreeCopier::copyLink(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                          const char* dstName, const std::string& dstPath, bool top, FileError* error)
{
    std::vector<char> target(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
    while (true) {
        ssize_t n = ::readlinkat(srcDir, srcName, target.data(), target.size());
        if (n < 0) {
            *error = makeError(errno, "Cannot read " + srcPath);
            return false;
        }
        if (std::size_t(n) < target.size()) {
            target[std::size_t(n)] = '\0';
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::symlinkat(target.data(), dstDir, dstName) != 0)
        return createFailed(top, dstPath, error);
    created(top);
    if (preserveOwner_ && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
        (void)::fchownat(dstDir, dstName, st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(dstDir, dstName, times, AT_SYMLINK_NOFOLLOW);
    record(srcPath, st);
    return true;
}

bool TreeCopier::copySpecial(const std::string& srcPath, const struct stat& st, int dstDir, const char* dstName,
                             const std::string& dstPath, bool top, FileError* error)
{
    if (::mknodat(dstDir, dstName, st.st_mode & (S_IFMT | 07777), st.st_rdev) != 0)
        return createFailed(top, dstPath, error);
    created(top);
    (void)::fchmodat(dstDir, dstName, st.st_mode & modeMask(), 0);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::utimensat(dstDir, dstName, times, AT_SYMLINK_NOFOLLOW);
    record(srcPath, st);
    return true;
}

bool TreeCopier::copyFolder(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                            const char* dstName, const std::string& dstPath, bool top, FileError* error)
{
    int in = ::openat(srcDir, srcName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        *error = makeError(errno, "Cannot read " + srcPath);
        return false;
    }
    DIR* dir = ::fdopendir(in);
    if (!dir) {
        *error = makeError(errno, "Cannot read " + srcPath);
        ::close(in);
        return false;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> closeDir(dir, ::closedir);

    int out;
    if (top && reserved_) {
        out = openReserved(dstDir, dstName, O_RDONLY | O_DIRECTORY, error);
        if (out < 0)
            return false;
    } else {
        // Owner-only until filled, so nobody sees or changes a half-made folder.
        if (::mkdirat(dstDir, dstName, 0700) != 0)
            return createFailed(top, dstPath, error);
        created(top);
        out = ::openat(dstDir, dstName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (out < 0) {
            *error = makeError(errno, "Cannot open " + dstPath);
            return false;
        }
    }
    FdCloser closeOut(out);
    if (top) {
        struct stat made;
        if (::fstat(out, &made) == 0) {
            rootDev_ = made.st_dev;
            rootIno_ = made.st_ino;
        }
    }

    std::vector<std::string> names;
    std::vector<unsigned char> types;
    if (!readEntryNames(dir, &names, &types)) {
        *error = makeError(errno, "Cannot read " + srcPath);
        return false;
    }
    ReadAhead ahead(::dirfd(dir), names, types, readAheadBudget_);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i];
        FdCloser opened(ahead.take(i));
        struct stat child;
        std::string childPath = srcPath + "/" + n;
        if (::fstatat(::dirfd(dir), n.c_str(), &child, AT_SYMLINK_NOFOLLOW) != 0) {
            *error = makeError(errno, "Cannot read " + childPath);
            return false;
        }
        if (child.st_dev == rootDev_ && child.st_ino == rootIno_)
            continue; // the copy itself, when it is made inside the folder being copied
        if (!copyEntry(::dirfd(dir), n.c_str(), childPath, child, out, n.c_str(), dstPath + "/" + n, false, error,
                       S_ISREG(child.st_mode) ? opened.release() : -1))
            return false;
    }

    if (preserveOwner_)
        copyOwner(out, st);
    copyExtendedAttributes(::dirfd(dir), out);
    if (::fchmod(out, st.st_mode & modeMask()) != 0) {
        *error = makeError(errno, "Cannot set the permissions of " + dstPath);
        return false;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(out, times);
    record(srcPath, st);
    return true;
}

void setFillCopyObserver(std::function<void(const std::string& sourcePath)> observer)
{
    FillObserver& o = fillObserver();
    std::lock_guard lock(o.mutex);
    o.isSet = bool(observer);
    o.observer = std::move(observer);
}

} // namespace ov
