// SPDX-License-Identifier: GPL-3.0-or-later
// Deflates the files of an archive ahead of libzip, which then only encrypts and writes them (it
// would otherwise deflate on the closing thread, one core for everything). One thread reads the
// files in order and cuts them into blocks; worker threads deflate the blocks side by side. Each
// block is primed with the 32 KiB before it and ends on a byte boundary (a sync flush), so the
// blocks of a file joined in order are one deflate stream. Blocks in flight are bounded, so
// memory does not grow with file size.
#pragma once

#include "runner/ZipResult.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <zlib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zipwriting {

// An item by device and inode: the archive being written, which a folder being added may hold.
struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const Identity&) const = default;
};

ZipResult result(ZipStatus status, std::string error);
ZipResult failedWithErrno(const std::string& what, const std::string& path, int code);

// Opens a regular file for reading. Anything else is never opened, because opening a FIFO or a
// device can block or act on the device; O_NONBLOCK covers a swap between the check and the open.
ZipResult openRegularFile(const std::string& path, const Identity& archive, int* fd, struct stat* st);

class ParallelDeflater {
public:
    struct Event {
        enum Kind { Opened, Data, End, Failed } kind = Failed;
        std::size_t entry = 0;
        struct stat st {};                // Opened
        std::vector<unsigned char> bytes; // Data: the deflated bytes are its first `length`
        std::size_t length = 0;
        std::uint64_t inputBytes = 0;     // Data: how many bytes of the file they hold
        std::uint32_t crc = 0;            // End
        ZipResult failure;                // Failed
    };
    struct Source {
        std::size_t entry;
        std::string path;
    };

    ParallelDeflater(std::vector<Source> sources, Identity archive, const std::atomic<bool>* cancel);

    ~ParallelDeflater();

    ParallelDeflater(const ParallelDeflater&) = delete;
    ParallelDeflater& operator=(const ParallelDeflater&) = delete;

    // Hands back the bytes of a Data event once they are used.
    void recycle(std::vector<unsigned char> buffer);

    // The next event, in entry order. The reading thread ends every entry it starts with End or
    // Failed, and stops after a failure.
    Event next();

private:
    static constexpr std::size_t kBlock = 1 << 20;
    static constexpr std::size_t kWindow = 32 * 1024;

    struct Job {
        Event event;
        std::vector<unsigned char> input; // its first event.inputBytes
        std::vector<unsigned char> dictionary; // the input before this block, for matches across
        bool finish = false;                   // the empty last block that ends the stream
        bool ready = false;
    };

    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    // Buffers go round instead of being allocated and cleared for every block.
    std::vector<unsigned char> takeBuffer(std::size_t size);

    // False once stopped: the archive has failed or is finished.
    bool submit(std::unique_ptr<Job> job);

    bool fail(std::size_t entry, ZipResult failure);

    void readFiles();

    bool readFile(const Source& source);

    bool readBlocks(const Source& source, int fd);

    void deflateBlocks();

    bool deflateBlock(z_stream& z, Job& job);

    std::vector<Source> sources_;
    Identity archive_;
    const std::atomic<bool>* cancel_;
    std::size_t maxInFlight_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Job>> order_; // every event, in entry order
    std::deque<Job*> pending_;               // blocks waiting for a worker
    std::vector<std::vector<unsigned char>> spare_;
    std::size_t inFlight_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_; // last: they start once everything above exists
};

} // namespace zipwriting
