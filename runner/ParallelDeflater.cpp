// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ParallelDeflater.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace zipwriting {
namespace {

std::string errnoText(int code) { return std::generic_category().message(code); }

} // namespace

ZipResult result(ZipStatus status, std::string error) { return ZipResult{status, std::move(error)}; }

ZipResult failedWithErrno(const std::string& what, const std::string& path, int code)
{
    return result(ZipStatus::Failed, what + " \"" + path + "\": " + errnoText(code));
}

ZipResult openRegularFile(const std::string& path, const Identity& archive, int* fd, struct stat* st)
{
    if (::stat(path.c_str(), st) != 0)
        return failedWithErrno("Couldn't read", path, errno);
    if (!S_ISREG(st->st_mode))
        return result(ZipStatus::NotRegularFile, "\"" + path + "\" is not a regular file");
    int opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (opened < 0)
        return failedWithErrno("Couldn't open", path, errno);
    if (::fstat(opened, st) != 0) {
        int e = errno;
        ::close(opened);
        return failedWithErrno("Couldn't read", path, e);
    }
    if (!S_ISREG(st->st_mode)) {
        ::close(opened);
        return result(ZipStatus::NotRegularFile, "\"" + path + "\" is not a regular file");
    }
    // The archive's own folder may be among the ones being compressed.
    if (Identity{st->st_dev, st->st_ino} == archive) {
        ::close(opened);
        return result(ZipStatus::IsOwnArchive, "\"" + path + "\" is the archive being written");
    }
    *fd = opened;
    return {};
}

ParallelDeflater::ParallelDeflater(std::vector<Source> sources, Identity archive, const std::atomic<bool>* cancel)
    : sources_(std::move(sources)), archive_(archive), cancel_(cancel)
{
    std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    maxInFlight_ = 2 * workers + 1;
    for (std::size_t i = 0; i < workers; ++i)
        threads_.emplace_back([this] { deflateBlocks(); });
    threads_.emplace_back([this] { readFiles(); });
}

ParallelDeflater::~ParallelDeflater()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (auto& t : threads_)
        t.join();
}

void ParallelDeflater::recycle(std::vector<unsigned char> buffer)
{
    std::lock_guard lock(mutex_);
    if (!buffer.empty() && spare_.size() < 2 * maxInFlight_ + 2)
        spare_.push_back(std::move(buffer));
}

ParallelDeflater::Event ParallelDeflater::next()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !order_.empty() && order_.front()->ready; });
    std::unique_ptr<Job> job = std::move(order_.front());
    order_.pop_front();
    if (job->event.kind == Event::Data)
        --inFlight_;
    lock.unlock();
    changed_.notify_all();
    return std::move(job->event);
}

std::vector<unsigned char> ParallelDeflater::takeBuffer(std::size_t size)
{
    std::vector<unsigned char> buffer;
    {
        std::lock_guard lock(mutex_);
        if (!spare_.empty()) {
            buffer = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (buffer.size() < size)
        buffer.resize(size);
    return buffer;
}

bool ParallelDeflater::submit(std::unique_ptr<Job> job)
{
    std::unique_lock lock(mutex_);
    bool deflating = job->event.kind == Event::Data;
    changed_.wait(lock, [&] { return stop_ || !deflating || inFlight_ < maxInFlight_; });
    if (stop_)
        return false;
    job->ready = !deflating;
    if (deflating) {
        ++inFlight_;
        pending_.push_back(job.get());
    }
    order_.push_back(std::move(job));
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool ParallelDeflater::fail(std::size_t entry, ZipResult failure)
{
    auto job = std::make_unique<Job>();
    job->event.entry = entry;
    job->event.failure = std::move(failure);
    (void)submit(std::move(job));
    return false;
}

void ParallelDeflater::readFiles()
{
    std::size_t entry = 0;
    // Nothing may escape the thread.
    try {
        for (const Source& source : sources_) {
            entry = source.entry;
            if (!readFile(source))
                return;
        }
    } catch (...) {
        (void)fail(entry, result(ZipStatus::Failed, "Internal error while compressing"));
    }
}

bool ParallelDeflater::readFile(const Source& source)
{
    auto opened = std::make_unique<Job>();
    opened->event.kind = Event::Opened;
    opened->event.entry = source.entry;
    int fd = -1;
    if (ZipResult r = openRegularFile(source.path, archive_, &fd, &opened->event.st); !r.ok())
        return fail(source.entry, std::move(r));
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); // only advice
    bool ok = submit(std::move(opened)) && readBlocks(source, fd);
    (void)::close(fd); // only read from: nothing can be lost
    return ok;
}

bool ParallelDeflater::readBlocks(const Source& source, int fd)
{
    std::uint32_t crc = std::uint32_t(crc32_z(0, nullptr, 0));
    std::vector<unsigned char> window;
    for (;;) {
        if (cancelled())
            return fail(source.entry, result(ZipStatus::Cancelled, "Cancelled"));
        auto job = std::make_unique<Job>();
        job->event.kind = Event::Data;
        job->event.entry = source.entry;
        job->input = takeBuffer(kBlock);
        std::size_t filled = 0;
        while (filled < kBlock) {
            ssize_t n = ::read(fd, job->input.data() + filled, kBlock - filled);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail(source.entry, failedWithErrno("Couldn't read", source.path, errno));
            if (n == 0)
                break;
            filled += std::size_t(n);
        }
        job->finish = filled == 0;
        job->event.inputBytes = filled;
        crc = std::uint32_t(crc32_z(crc, job->input.data(), filled));
        if (filled > 0)
            job->dictionary = window;
        auto end = job->input.begin() + std::ptrdiff_t(filled);
        if (filled >= kWindow)
            window.assign(end - kWindow, end);
        else if (filled > 0) {
            window.insert(window.end(), job->input.begin(), end);
            if (window.size() > kWindow)
                window.erase(window.begin(), window.end() - std::ptrdiff_t(kWindow));
        }
        if (!submit(std::move(job)))
            return false;
        if (filled == 0)
            break;
    }
    auto end = std::make_unique<Job>();
    end->event.kind = Event::End;
    end->event.entry = source.entry;
    end->event.crc = crc;
    return submit(std::move(end));
}

void ParallelDeflater::deflateBlocks()
{
    z_stream z {};
    // The raw deflate stream of a zip entry, at zlib's default level and memory.
    bool started = deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return stop_ || !pending_.empty(); });
        if (stop_)
            break;
        Job* job = pending_.front();
        pending_.pop_front();
        lock.unlock();

        bool ok = false;
        try {
            ok = started && deflateBlock(z, *job);
        } catch (...) {
        }
        if (!ok) {
            std::size_t entry = job->event.entry;
            job->event = Event{};
            job->event.entry = entry;
            job->event.failure = result(ZipStatus::Failed, "Couldn't compress a file");
        }
        recycle(std::move(job->input));
        job->dictionary = {};
        lock.lock();
        job->ready = true;
        lock.unlock();
        changed_.notify_all();
    }
    if (started)
        deflateEnd(&z);
}

bool ParallelDeflater::deflateBlock(z_stream& z, Job& job)
{
    if (deflateReset(&z) != Z_OK)
        return false;
    if (!job.dictionary.empty() &&
        deflateSetDictionary(&z, job.dictionary.data(), uInt(job.dictionary.size())) != Z_OK)
        return false;
    std::vector<unsigned char>& out = job.event.bytes;
    // Room for the block and its flush marker; grown below should zlib ever need more.
    out = takeBuffer(deflateBound(&z, uLong(job.event.inputBytes)) + 16);
    z.next_in = job.input.data();
    z.avail_in = uInt(job.event.inputBytes);
    std::size_t produced = 0;
    int flush = job.finish ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        z.next_out = out.data() + produced;
        z.avail_out = uInt(out.size() - produced);
        int status = deflate(&z, flush);
        if (status == Z_STREAM_ERROR)
            return false;
        produced = out.size() - z.avail_out;
        bool done = job.finish ? status == Z_STREAM_END : z.avail_in == 0 && z.avail_out > 0;
        if (done)
            break;
        out.resize(out.size() * 2);
    }
    job.event.length = produced;
    return true;
}

} // namespace zipwriting
