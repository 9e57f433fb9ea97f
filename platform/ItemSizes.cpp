// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ItemSizes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace ov {
namespace {

// Large reads of directory entries: one call returns hundreds of names.
constexpr std::size_t kEntryBufferSize = 64 * 1024;
// Deeper folders than this are not entered.
constexpr int kMaxDepth = 4096;
// A large tree is walked by this many threads: with a cold cache most of the time is spent
// waiting for the disk, and several waits at once shorten it.
constexpr int kWalkers = 4;
// Helpers start only once the walk has seen this many folders; small trees (the progress of a
// copy is measured every second) stay on one thread.
constexpr int kFoldersBeforeHelpers = 32;

bool isDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')); }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Walks a tree with folders taken from one shared stack, never following links. Every folder is
// entered once even when it shows up twice (a tree mounted inside itself).
class FolderWalk {
public:
    explicit FolderWalk(const std::atomic<bool>* cancelled) : cancelled_(cancelled) {}

    std::uint64_t sumBelow(int fd)
    {
        pending_.push_back({std::make_shared<Descriptor>(fd), std::string(), 0});
        walk();
        for (auto& helper : helpers_)
            helper.join();
        return total_;
    }

private:
    struct Folder {
        std::shared_ptr<Descriptor> parent; // the folder itself when name is empty
        std::string name;
        int depth;
    };

    bool isCancelled() const { return cancelled_ && cancelled_->load(std::memory_order_relaxed); }

    void walk()
    {
        std::vector<char> buffer(kEntryBufferSize);
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !pending_.empty() || busy_ == 0; });
            if (pending_.empty())
                break; // nothing left and nobody to add more
            Folder folder = std::move(pending_.back());
            pending_.pop_back();
            ++busy_;
            lock.unlock();
            std::vector<Folder> found;
            const std::uint64_t sum = isCancelled() ? 0 : readFolder(folder, buffer, &found);
            lock.lock();
            --busy_;
            total_ += sum;
            for (auto& f : found)
                pending_.push_back(std::move(f));
            if (++seen_ == kFoldersBeforeHelpers && !pending_.empty())
                startHelpers();
            wake_.notify_all();
        }
        wake_.notify_all();
    }

    void startHelpers()
    {
        try {
            for (int i = 1; i < kWalkers; ++i)
                helpers_.emplace_back([this] { walk(); });
        } catch (const std::system_error&) {
            // Fewer threads only make the walk slower.
        }
    }

    // The sum of the sizes of the folder's own entries; its subfolders go into *found.
    std::uint64_t readFolder(const Folder& folder, std::vector<char>& buffer, std::vector<Folder>* found)
    {
        std::shared_ptr<Descriptor> self = folder.parent;
        if (!folder.name.empty()) {
            int fd = ::openat(folder.parent->get(), folder.name.c_str(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0)
                return 0; // a folder that cannot be read adds nothing
            self = std::make_shared<Descriptor>(fd);
        }
        const int fd = self->get();
        struct stat st;
        if (::fstat(fd, &st) != 0 || !firstVisit(st))
            return 0;

        std::uint64_t sum = 0;
        std::vector<std::string> folders;
        for (;;) {
            if (isCancelled())
                return sum;
            ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
            if (n <= 0)
                break; // the end, or a folder that cannot be read further
            for (ssize_t offset = 0; offset < n;) {
                const auto* entry = reinterpret_cast<const struct dirent64*>(buffer.data() + offset);
                offset += entry->d_reclen;
                if (isDotOrDotDot(entry->d_name))
                    continue;
                if (entry->d_type == DT_DIR) {
                    folders.emplace_back(entry->d_name);
                    continue;
                }
                struct stat entrySt;
                if (::fstatat(fd, entry->d_name, &entrySt, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISDIR(entrySt.st_mode))
                    folders.emplace_back(entry->d_name); // a file system without entry types
                else
                    sum += std::uint64_t(entrySt.st_size);
            }
        }
        if (folder.depth + 1 < kMaxDepth)
            for (auto& name : folders)
                found->push_back({self, std::move(name), folder.depth + 1});
        return sum;
    }

    bool firstVisit(const struct stat& st)
    {
        std::lock_guard lock(visitedMutex_);
        return visited_.emplace(st.st_dev, st.st_ino).second;
    }

    const std::atomic<bool>* cancelled_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Folder> pending_;
    int busy_ = 0;
    int seen_ = 0;
    std::uint64_t total_ = 0;
    std::vector<std::thread> helpers_;
    std::mutex visitedMutex_;
    std::set<std::pair<dev_t, ino_t>> visited_;
};

} // namespace

std::optional<ItemKind> itemKind(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    ItemKind kind;
    kind.isDirectory = S_ISDIR(st.st_mode);
    kind.size = kind.isDirectory ? 0 : std::uint64_t(st.st_size);
    return kind;
}

std::uint64_t sizeOfFolderContents(const std::string& folder, const std::atomic<bool>* cancelled)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    return FolderWalk(cancelled).sumBelow(fd);
}

} // namespace ov
