// SPDX-License-Identifier: GPL-3.0-or-later
// Copies a tree of items: files (cloned where the file system can), folders, links and, when
// asked, FIFOs, sockets and devices, with modes, times and extended attributes. Copies made for a
// move keep a record of what they copied, so that exactly that is removed at the source.
#pragma once

#include "platform/FileOutcome.h"
#include "platform/FileSteps.h"
#include "platform/ReservedCopy.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ov {

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
    MoveResult copy(const std::string& given, const std::string& dst, bool followTopLink = false);

    // Copies a source into the item reserved for it. A failure leaves what was made in place.
    MoveResult fill(const ReservedCopy& reserved);

    // Removes the copied source items, each only if it is still the item that was copied.
    bool removeSource(FileError* error) const;

private:
    bool created(bool top)
    {
        if (top)
            createdTop_ = true;
        return true;
    }

    bool createFailed(bool top, const std::string& path, FileError* error);

    void record(const std::string& path, const struct stat& st);

    bool stopped(const std::string& srcPath, FileError* error) const;

    // The reserved top item, opened for filling; -1 with *error when it is no longer ours.
    int openReserved(int dstDir, const char* dstName, int flags, FileError* error) const;

    // opened: the source, already opened (taken over), or -1.
    bool copyEntry(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                   const char* dstName, const std::string& dstPath, bool top, FileError* error, int opened = -1);

    // Shares the blocks of the source where the file system offers it (btrfs, XFS): no data moves.
    bool cloned(int in, int out);

    bool copyData(int in, int out, off_t expected, const std::string& srcPath, off_t* copied, FileError* error);

    bool copyFile(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                  const char* dstName, const std::string& dstPath, bool top, FileError* error, filesteps::FdCloser& opened);

    bool copyLink(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                  const char* dstName, const std::string& dstPath, bool top, FileError* error);

    bool copySpecial(const std::string& srcPath, const struct stat& st, int dstDir, const char* dstName,
                     const std::string& dstPath, bool top, FileError* error);

    bool copyFolder(int srcDir, const char* srcName, const std::string& srcPath, const struct stat& st, int dstDir,
                    const char* dstName, const std::string& dstPath, bool top, FileError* error);

    mode_t modeMask() const { return preserveOwner_ ? 07777 : 01777; }

    bool keepManifest_;
    bool preserveOwner_;
    bool skipSpecial_;
    const std::atomic<bool>* cancelled_;
    const ReservedCopy* reserved_ = nullptr;
    bool cloneUnsupported_ = false;
    // The descriptors that the folders of one copy may hold open ahead, so deep trees do not run
    // out of them.
    static constexpr int kReadAheadBudget = 64;
    int readAheadBudget_ = kReadAheadBudget;
    bool createdTop_ = false;
    bool existed_ = false;
    dev_t rootDev_ = 0;
    ino_t rootIno_ = 0;
    std::vector<char> buffer_;
    std::map<std::pair<dev_t, ino_t>, std::string> links_;
    std::vector<CopiedEntry> manifest_;
};

// Test hook: called on the copying thread before each item that fillCopy or a move across file
// systems copies.
void setFillCopyObserver(std::function<void(const std::string& sourcePath)> observer);

} // namespace ov
