// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for copy tests: holding a copy at a chosen item, small file systems of our own, and
// running as a user whom permissions apply to.
#pragma once

#include "platform/TreeCopier.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Holds a copy on its queue, until released, just before it copies the first item whose source
// path ends with `suffix`, or the item after `count` items (the top item counts).
class CopyGate {
public:
    explicit CopyGate(std::string suffix)
    {
        install([suffix](const std::string& path, int) {
            return path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
        });
    }
    explicit CopyGate(int count)
    {
        install([count](const std::string&, int seen) { return seen == count; });
    }
    ~CopyGate()
    {
        release();
        ov::setFillCopyObserver(nullptr);
    }
    bool reached()
    {
        std::lock_guard lock(mutex_);
        return reached_;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        wake_.notify_all();
    }

private:
    void install(std::function<bool(const std::string&, int seen)> holdBefore)
    {
        ov::setFillCopyObserver([this, holdBefore](const std::string& path) {
            std::unique_lock lock(mutex_);
            if (reached_ || !holdBefore(path, seen_++))
                return;
            reached_ = true;
            g_main_context_wakeup(nullptr); // a test pumping the main context looks again now
            wake_.wait(lock, [this] { return open_; });
        });
    }

    int seen_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool reached_ = false;
    bool open_ = false;
};

// A tmpfs mounted on a folder for the life of the object; mounted() is false where this process
// may not mount.
class TmpfsMount {
public:
    TmpfsMount(const std::string& folder, const char* options, unsigned long flags = 0) : folder_(folder)
    {
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", flags, options) == 0;
    }
    ~TmpfsMount()
    {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

// Runs fn on a thread of its own as the user "nobody" when this process runs as root (the raw
// system calls change only that thread's credentials), so that permissions apply to it.
template <typename Fn>
void runWithPermissionsApplying(Fn fn)
{
    std::thread thread([&] {
        if (::geteuid() == 0) {
            constexpr long kNobody = 65534;
            if (::syscall(SYS_setgroups, 0, nullptr) != 0 || ::syscall(SYS_setresgid, kNobody, kNobody, kNobody) != 0
                || ::syscall(SYS_setresuid, kNobody, kNobody, kNobody) != 0) {
                ADD_FAILURE() << "cannot drop privileges";
                return;
            }
        }
        fn();
    });
    thread.join();
}
