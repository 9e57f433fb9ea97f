// SPDX-License-Identifier: GPL-3.0-or-later
// Writes one zip archive of regular files for "Compress with password": every entry deflated at
// zlib's default level and, with a password, protected by traditional PKWARE encryption, the one
// that every unzip tool can open, or by WinZip AES-256 when asked for.
#pragma once

#include "runner/ZipResult.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Progress of close(), which is where the files are read and compressed.
struct ZipProgress {
    std::size_t entryIndex = 0; // counts the entries in the order they were added
    std::string_view entryName;
    std::uint64_t entryBytesDone = 0;
    std::uint64_t entryBytes = 0;        // the file's size when close() opened it
    bool entryFinished = false;          // the whole file has been read
    std::uint64_t archiveBytesDone = 0;  // over all entries so far
    std::uint64_t archiveBytes = 0;      // the sizes found when the entries were added
};
using ZipProgressHandler = std::function<void(const ZipProgress&)>;

// How entries with a password are protected. Traditional opens everywhere and is weak; AES-256
// (WinZip's extra field 0x9901) is sound but some readers, Info-ZIP unzip 6 and Windows' own
// among them, cannot open it.
enum class ZipEncryption { Traditional, Aes256 };

// One writer per archive, used from one thread. Entries are checked when added and written by
// close(), which streams the files through deflate on worker threads of its own, one block of
// a file per core (memory does not grow with file size). The archive is written under a temporary name beside `path` and appears at `path`
// only complete; whatever fails, is cancelled or is never closed leaves no file behind.
class ZipArchiveWriter {
public:
    explicit ZipArchiveWriter(std::string path);
    ~ZipArchiveWriter();
    ZipArchiveWriter(const ZipArchiveWriter&) = delete;
    ZipArchiveWriter& operator=(const ZipArchiveWriter&) = delete;

    // Where the archive is, or will be; after close() the name it was given.
    const std::string& path() const;

    // With it on, the archive takes the next free name ("Archive 2.zip") when `path` is taken by
    // the time it is complete, rather than failing: runs started together on one selection all
    // finish. Set before open(), which then does not refuse a taken `path`.
    void setTakesNextFreeName(bool takes);

    // The protection of the entries added with a password from now on; Traditional until set.
    void setEncryption(ZipEncryption encryption);

    // Creates the temporary file in the archive's folder. DestinationExists when something is
    // at `path` already (unless the next free name is taken at the end).
    ZipResult open();

    // Adds the regular file at sourcePath (a final symbolic link is followed: the entry holds
    // the file it points at, with that file's mode and time) as the entry `fileName`, the
    // source's last path component when empty. Entry names are the bytes of the names on disk
    // with "/" between levels. An empty password stores the entry unencrypted. A failure
    // leaves the archive usable for other entries. The writer's own temporary file, which sits
    // in a folder that may be added, is recognised by device and inode (IsOwnArchive).
    ZipResult writeFileAtPath(const std::string& sourcePath, const std::string& fileName = {},
                              const std::string& password = {});

    // Whether an entry has the name, or a name inside it, or a file entry is one of its folders.
    bool isEntryNameTaken(const std::string& name) const;
    // `wanted` when free, else the first free "<base> <N><.ext>" from 2. A folder level that a
    // file entry already holds is numbered instead, the same way for every entry inside it.
    std::string availableEntryName(const std::string& wanted) const;

    std::size_t entryCount() const;

    // Writes every entry and the central directory, flushes the file to disk and renames it to
    // `path` without replacing anything. Any failed read or write, a file that is no longer a
    // regular file, a name that turned up at `path` (DestinationExists, unless the next free
    // name is taken) or the cancel flag (looked at between and inside entries) fails the whole
    // archive and removes it. progress is called on this thread at the start and end of every
    // entry and every MiB in between. An archive without entries is a valid empty archive.
    ZipResult close(const ZipProgressHandler& progress = {}, const std::atomic<bool>* cancel = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
