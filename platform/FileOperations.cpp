#include "platform/FileOperations.h"

#include "platform/Files.h"

#include <glib.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace ov {
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

constexpr std::size_t kBufferSize = 128 * 1024;
// Kernel copies go in pieces of this size, so that a stopped copy stops soon.
constexpr std::size_t kKernelCopyChunk = 64 * 1024 * 1024;
constexpr int kTemporaryNameAttempts = 100;

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

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens the next files of a folder ahead of their copy and asks for their contents: a folder that
// is not cached is then read with several requests at the disk at once, not one file after another.
// The folders of one copy share a budget of descriptors, so deep trees do not run out of them.
class ReadAhead {
public:
    static constexpr int kBudget = 64;

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

std::atomic<bool>& everyCopyStopped()
{
    static std::atomic<bool> stopped{false};
    return stopped;
}

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Hidden names for items on their way in or out. Copies we make carry the first kind, which a
// runner's start sweeps after an interruption; the user's own items moved aside carry one of the
// others, which no sweep matches, so an interruption can hide them but never lose them.
constexpr const char* kOurCopy = ".orvane-";
constexpr const char* kUsersItemMoving = ".orvane-moving-";
constexpr const char* kUsersItemParked = ".orvane-parked-";

// A hidden, unused name in the folder of dst.
std::string temporarySibling(const std::string& dst, const char* prefix = kOurCopy)
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

// Removes an item below dirFd. With force, folders that we may not change are opened up first
// (only for copies we made ourselves).
// The names in a folder, without "." and ".."; false with errno set when it cannot be read.
// They come in the order of their inode numbers: on most file systems that is the order of the
// items on the disk, so a walk through a folder that is not cached reads ahead instead of seeking.
// types, when given, gets the d_type of each name (DT_UNKNOWN where the file system does not say).
bool readEntryNames(DIR* dir, std::vector<std::string>* names, std::vector<unsigned char>* types = nullptr)
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

// What a cross-file-system move copied, so that exactly that is removed at the source.
struct CopiedEntry {
    std::string path;
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime;
    bool isDirectory;
};

class TreeCopier {
public:
    // Without preserveOwner the copy belongs to the current user and loses set-id bits. With
    // skipSpecial, FIFOs, sockets and devices inside folders are left out.
    TreeCopier(bool keepManifest, bool preserveOwner, const std::atomic<bool>* cancelled = nullptr,
               bool skipSpecial = false)
        : keepManifest_(keepManifest), preserveOwner_(preserveOwner), skipSpecial_(skipSpecial), cancelled_(cancelled)
    {
    }

    // Copies src to dst, which must not exist. A failure removes whatever was created.
    MoveResult copy(const std::string& given, const std::string& dst, bool followTopLink = false)
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

    // Copies a source into the item reserved for it. A failure leaves what was made in place.
    MoveResult fill(const ReservedCopy& reserved)
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

    // Removes the copied source items, each only if it is still the item that was copied.
    bool removeSource(FileError* error) const
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

private:
    bool created(bool top)
    {
        if (top)
            createdTop_ = true;
        return true;
    }

    bool createFailed(bool top, const std::string& path, FileError* error)
    {
        int e = errno;
        if (top && e == EEXIST)
            existed_ = true;
        *error = makeError(e, "Cannot create " + path);
        return false;
    }

    void record(const std::string& path, const struct stat& st)
    {
        if (keepManifest_)
            manifest_.push_back({path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, S_ISDIR(st.st_mode)});
    }

    bool stopped(const std::string& srcPath, FileError* error) const
    {
        if ((!cancelled_ || !cancelled_->load(std::memory_order_relaxed)) && !everyCopyStopped().load())
            return false;
        *error = makeError(ECANCELED, "The copy of " + srcPath + " was stopped");
        return true;
    }

    // The reserved top item, opened for filling; -1 with *error when it is no longer ours.
    int openReserved(int dstDir, const char* dstName, int flags, FileError* error) const
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

    // opened: the source, already opened (taken over), or -1.
    bool copyEntry(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                   const char* dstName, const std::string& dstPath, bool top, FileError* error, int opened = -1)
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

    // Shares the blocks of the source where the file system offers it (btrfs, XFS): no data moves.
    bool cloned(int in, int out)
    {
        if (cloneUnsupported_)
            return false;
        if (::ioctl(out, FICLONE, in) == 0)
            return true;
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV || errno == ENOSYS || errno == EINVAL)
            cloneUnsupported_ = true; // the same answer for every file of this copy
        return false;
    }

    bool copyData(int in, int out, off_t expected, const std::string& srcPath, off_t* copied, FileError* error)
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

    bool copyFile(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
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

    bool copyLink(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
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

    bool copySpecial(const std::string& srcPath, const struct stat& st, int dstDir, const char* dstName,
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

    bool copyFolder(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
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

    mode_t modeMask() const { return preserveOwner_ ? 07777 : 01777; }

    bool keepManifest_;
    bool preserveOwner_;
    bool skipSpecial_;
    const std::atomic<bool>* cancelled_;
    const ReservedCopy* reserved_ = nullptr;
    bool cloneUnsupported_ = false;
    int readAheadBudget_ = ReadAhead::kBudget;
    bool createdTop_ = false;
    bool existed_ = false;
    dev_t rootDev_ = 0;
    ino_t rootIno_ = 0;
    std::vector<char> buffer_;
    std::map<std::pair<dev_t, ino_t>, std::string> links_;
    std::vector<CopiedEntry> manifest_;
};

bool renameNoReplace(const std::string& from, const std::string& to)
{
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
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

MoveResult createEmptyFile(const std::string& path)
{
    MoveResult result;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        int err = errno;
        result.outcome = err == EEXIST ? FileOutcome::DestinationExists : FileOutcome::Failed;
        result.error = {err, std::strerror(err)};
        return result;
    }
    ::close(fd);
    result.outcome = FileOutcome::Done;
    return result;
}

bool removeEmptyFile(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0)
        return false;
    return ::unlink(path.c_str()) == 0;
}

namespace {

std::string realPathOf(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string out = resolved;
    std::free(resolved);
    return out;
}

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

bool isItemInside(const std::string& item, const std::string& folder)
{
    return isInside(locationOf(item), locationOf(folder));
}

namespace {

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

MoveResult replaceItem(const std::string& incoming, const std::string& dst)
{
    MoveResult result;
    result.outcome = installReplacing(incoming, dst, &result) ? FileOutcome::Done : FileOutcome::Failed;
    return result;
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

void stopEveryCopy(bool stop) { everyCopyStopped().store(stop); }

void setFillCopyObserver(std::function<void(const std::string& sourcePath)> observer)
{
    FillObserver& o = fillObserver();
    std::lock_guard lock(o.mutex);
    o.isSet = bool(observer);
    o.observer = std::move(observer);
}

bool touchItem(const std::string& path) { return ::utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0; }

bool removeItem(const std::string& path, FileError* error) { return removeAt(AT_FDCWD, path.c_str(), path, false, error); }

bool isWritableFolder(const std::string& path) { return ::access(path.c_str(), W_OK | X_OK) == 0; }

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
