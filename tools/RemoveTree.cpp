// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/RemoveTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace ovtool {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    void reset(int fd)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

bool sameItem(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Fresh pseudo-random bytes for the overwrite: not a repeated block, so that a file system that
// compresses or deduplicates cannot keep the pass from reaching every block.
class NoiseSource {
public:
    NoiseSource()
    {
        if (::getrandom(state_, sizeof state_, 0) != ssize_t(sizeof state_)) {
            uint64_t seed = uint64_t(::getpid()) * 0x9E3779B97F4A7C15ull ^ uint64_t(::time(nullptr));
            for (auto& s : state_)
                s = seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        }
    }

    void fill(unsigned char* out, size_t size)
    {
        size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            uint64_t v = next();
            std::memcpy(out + i, &v, 8);
        }
        if (i < size) {
            uint64_t v = next();
            std::memcpy(out + i, &v, size - i);
        }
    }

private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    uint64_t next() // xoshiro256**
    {
        const uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    uint64_t state_[4];
};

constexpr size_t kOverwriteBlock = 1u << 20;

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

void raiseOpenFileLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

TreeRemover::TreeRemover(std::string programName, RemoveOptions options)
    : program_(std::move(programName)), options_(options)
{
}

void TreeRemover::report(const std::string& path, const std::string& message)
{
    reported_ = true;
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s: %s\n", program_.c_str(), path.c_str(), message.c_str());
}

void TreeRemover::reportErrno(const std::string& path, int err) { report(path, std::strerror(err)); }

void TreeRemover::removed(const std::string& shownPath)
{
    if (options_.verbose)
        std::printf("%s\n", shownPath.c_str());
}

bool TreeRemover::removeOperand(std::string path)
{
    if (path.empty()) {
        if (options_.force)
            return true;
        reportErrno(path, ENOENT);
        return false;
    }
    path = withoutTrailingSlashes(path);
    if (path == "/") {
        report(path, "the root folder may not be removed");
        return false;
    }
    std::string parent = ".";
    std::string name = path;
    if (auto slash = path.rfind('/'); slash != std::string::npos) {
        parent = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
    if (name == "." || name == "..") {
        report(path, "\".\" and \"..\" may not be removed");
        return false;
    }
    // Only search permission is needed on the folder that holds the item.
    FileDescriptor parentfd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!parentfd) {
        int err = errno;
        if (err == ENOENT && options_.force)
            return true;
        reportErrno(path, err == ENOTDIR ? ENOTDIR : err);
        return false;
    }
    return removeEntry(parentfd.get(), name, path);
}

bool TreeRemover::removeEntry(int dirfd, const std::string& name, const std::string& shownPath)
{
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        int err = errno;
        if (err == ENOENT && options_.force)
            return true;
        reportErrno(shownPath, err);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        if (!options_.recursive) {
            reportErrno(shownPath, EISDIR);
            return false;
        }
        return removeFolder(dirfd, name, st, shownPath);
    }
    if (S_ISREG(st.st_mode) && options_.overwrite) {
        if (overwriteFile(dirfd, name, st, shownPath) == 0)
            return false;
    }
    if (::unlinkat(dirfd, name.c_str(), 0) != 0) {
        int err = errno;
        if (err == ENOENT && options_.force)
            return true;
        reportErrno(shownPath, err);
        return false;
    }
    removed(shownPath);
    return true;
}

bool TreeRemover::removeFolder(int parentfd, const std::string& name, const struct stat& st, const std::string& shownPath)
{
    bool ok = true;
    FileDescriptor fd(::openat(parentfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        int err = errno;
        if (err == ENOENT && options_.force)
            return true;
        // An empty folder that cannot be read can still be removed.
        if (::unlinkat(parentfd, name.c_str(), AT_REMOVEDIR) == 0) {
            removed(shownPath);
            return true;
        }
        reportErrno(shownPath, err);
        return false;
    }
    struct stat opened;
    if (::fstat(fd.get(), &opened) != 0 || !sameItem(opened, st)) {
        report(shownPath, "changed while it was being removed; left alone");
        return false;
    }
    ok = removeContents(fd.get(), shownPath);
    if (::unlinkat(parentfd, name.c_str(), AT_REMOVEDIR) != 0) {
        int err = errno;
        if (err == ENOENT && options_.force)
            return ok;
        // Whatever could not be removed inside was reported already.
        if (ok || err != ENOTEMPTY)
            reportErrno(shownPath, err);
        return false;
    }
    removed(shownPath);
    return ok;
}

bool TreeRemover::removeContents(int dirfd, const std::string& shownPath)
{
    // Names are read first and removed afterwards: removing while reading may skip entries.
    std::vector<std::string> names;
    {
        int listfd = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = listfd >= 0 ? ::fdopendir(listfd) : nullptr;
        if (!dir) {
            int err = errno;
            if (listfd >= 0)
                ::close(listfd);
            reportErrno(shownPath, err);
            return false;
        }
        std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
        errno = 0;
        while (struct dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
            errno = 0;
        }
        if (errno != 0) {
            reportErrno(shownPath, errno);
            return false;
        }
    }
    bool ok = true;
    const std::string prefix = shownPath == "/" ? shownPath : shownPath + "/";
    for (const auto& name : names)
        ok = removeEntry(dirfd, name, prefix + name) && ok;
    return ok;
}

int TreeRemover::overwriteFile(int dirfd, const std::string& name, const struct stat& st, const std::string& shownPath)
{
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    FileDescriptor fd(::openat(dirfd, name.c_str(), kFlags));
    if (!fd && errno == EACCES && st.st_uid == ::geteuid()) {
        // A read-only file of one's own: give it write permission for the pass, reached through
        // a descriptor of the very file so that no link can redirect the change.
        FileDescriptor pathfd(::openat(dirfd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat held;
        if (pathfd && ::fstat(pathfd.get(), &held) == 0 && sameItem(held, st) && S_ISREG(held.st_mode)) {
            std::string viaDescriptor = "/proc/self/fd/" + std::to_string(pathfd.get());
            if (::chmod(viaDescriptor.c_str(), (held.st_mode & 07777) | S_IWUSR) == 0)
                fd.reset(::openat(dirfd, name.c_str(), kFlags));
        }
        if (!fd)
            errno = EACCES;
    }
    if (!fd) {
        report(shownPath, std::string("cannot be overwritten, not removed: ") + std::strerror(errno));
        return 0;
    }
    struct stat opened;
    if (::fstat(fd.get(), &opened) != 0 || !sameItem(opened, st) || !S_ISREG(opened.st_mode)) {
        report(shownPath, "changed while it was being removed; left alone");
        return 0;
    }
    if (opened.st_nlink > 1) {
        // Its content stays reachable through the other names: overwriting would destroy
        // another name's file while this removal only takes away one name.
        report(shownPath, "not overwritten: the file has other hard links; only this name is removed");
        return -1;
    }

    static NoiseSource noise;
    static std::vector<unsigned char> block(kOverwriteBlock);
    off_t offset = 0;
    const off_t size = opened.st_size;
    while (offset < size) {
        size_t chunk = size_t(std::min<off_t>(size - offset, off_t(block.size())));
        noise.fill(block.data(), chunk);
        size_t written = 0;
        while (written < chunk) {
            ssize_t n = ::pwrite(fd.get(), block.data() + written, chunk - written, offset + off_t(written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                report(shownPath, std::string("overwriting failed, not removed: ") + std::strerror(n < 0 ? errno : EIO));
                return 0;
            }
            written += size_t(n);
        }
        offset += off_t(chunk);
    }
    if (::fdatasync(fd.get()) != 0) {
        report(shownPath, std::string("overwriting could not be flushed to disk, not removed: ") + std::strerror(errno));
        return 0;
    }
    return 1;
}

} // namespace ovtool
