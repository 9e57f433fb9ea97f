// SPDX-License-Identifier: GPL-3.0-or-later
// An advisory lock (flock) held for the lifetime of the object, shared with other processes.
#pragma once

#include <string>

namespace ov {

class FileLock {
public:
    enum class Mode { Shared, Exclusive };
    // Locks a folder, or a lock file that is created when missing (a link is refused).
    // Blocks until the lock is granted (or, without wait, gives up at once when another holds
    // it); locked() is false when the path could not be opened or the lock was not granted.
    FileLock(const std::string& path, Mode mode, bool wait = true);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace ov
