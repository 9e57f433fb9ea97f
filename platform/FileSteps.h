// SPDX-License-Identifier: GPL-3.0-or-later
// The steps that the file operations share: results, hidden temporary names, reading and removing
// folders. For the operations in platform/ only.
#pragma once

#include "platform/FileOutcome.h"

#include <dirent.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace ov::filesteps {

inline constexpr int kTemporaryNameAttempts = 100;

FileError makeError(int code, const std::string& what);
MoveResult failed(int code, const std::string& what);
MoveResult done();
MoveResult destinationExists(const std::string& dst);

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

// Hidden names for items on their way in or out. Copies we make carry the first kind, which a
// runner's start sweeps after an interruption; the user's own items moved aside carry one of the
// others, which no sweep matches, so an interruption can hide them but never lose them.
inline constexpr const char* kOurCopy = ".orvane-";
inline constexpr const char* kUsersItemMoving = ".orvane-moving-";
inline constexpr const char* kUsersItemParked = ".orvane-parked-";

// A hidden, unused name in the folder of dst.
std::string temporarySibling(const std::string& dst, const char* prefix = kOurCopy);

// Whether path is below folder, judged by the names alone.
bool isInside(const std::string& path, const std::string& folder);

// The names in a folder, without "." and ".."; false with errno set when it cannot be read.
// They come in the order of their inode numbers: on most file systems that is the order of the
// items on the disk, so a walk through a folder that is not cached reads ahead instead of seeking.
// types, when given, gets the d_type of each name (DT_UNKNOWN where the file system does not say).
bool readEntryNames(DIR* dir, std::vector<std::string>* names, std::vector<unsigned char>* types = nullptr);

// Removes an item below dirFd. With force, folders that we may not change are opened up first
// (only for copies we made ourselves).
bool removeAt(int dirFd, const char* name, const std::string& path, bool force, FileError* error);

bool renameNoReplace(const std::string& from, const std::string& to);

// The path with every link and folder on the way resolved; the path itself when it cannot be.
std::string realPathOf(const std::string& path);

} // namespace ov::filesteps
