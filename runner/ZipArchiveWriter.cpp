// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ZipArchiveWriter.h"

#include "archive/UTF8.h"
#include "platform/Files.h"
#include "platform/MovingItems.h"
#include "runner/NextAvailable.h"
#include "runner/ParallelDeflater.h"

#include <zip.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <random>
#include <unordered_set>
#include <vector>

using zipwriting::failedWithErrno;
using zipwriting::Identity;
using zipwriting::openRegularFile;
using zipwriting::ParallelDeflater;
using zipwriting::result;

namespace {

// zlib's default level (Z_DEFAULT_COMPRESSION), which ParallelDeflater uses; libzip, told the
// same method, leaves its bytes as they are.
constexpr zip_uint32_t kDeflateLevel = 6;
constexpr std::uint64_t kProgressStep = 1u << 20;
constexpr unsigned kUnixRegularFile = 0100000;

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Relative, "/" between non-empty levels, no "." or ".." a reader could follow out of its folder.
bool isValidEntryName(const std::string& name)
{
    if (name.empty() || name.size() > 0xFFFF || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos)
            slash = name.size();
        std::string_view level(name.data() + start, slash - start);
        if (level.empty() || level == "." || level == ".." || level.find('\0') != std::string_view::npos)
            return false;
        start = slash + 1;
    }
    return true;
}

// The DOS time fields hold 1980 to 2107; readers check the encryption header against the stored
// time, so the time handed to libzip must already be one it can store.
time_t dosRepresentable(time_t t)
{
    struct tm local {};
    if (!localtime_r(&t, &local))
        return t;
    if (local.tm_year >= 80 && local.tm_year <= 207)
        return t;
    struct tm bound {};
    bound.tm_isdst = -1;
    if (local.tm_year < 80) {
        bound.tm_year = 80, bound.tm_mday = 1;
    } else {
        bound.tm_year = 207, bound.tm_mon = 11, bound.tm_mday = 31;
        bound.tm_hour = 23, bound.tm_min = 59, bound.tm_sec = 58;
    }
    return mktime(&bound);
}

std::string folderOf(const std::string& path)
{
    std::string folder = ov::deletingLastPathComponent(path);
    return folder.empty() ? "." : folder;
}

std::vector<std::string> nameLevels(const std::string& name)
{
    std::vector<std::string> levels;
    std::size_t start = 0;
    for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1)
        levels.push_back(name.substr(start, slash - start));
    levels.push_back(name.substr(start));
    return levels;
}

} // namespace

struct ZipArchiveWriter::Impl {
    // One added file, as libzip reads it through entryCallback while the archive is closed: the
    // bytes ParallelDeflater has made of it.
    struct Entry {
        Impl* writer = nullptr;
        std::string sourcePath;
        std::string name;
        std::size_t index = 0;
        bool live = false; // in the archive
        bool opened = false;
        bool ended = false;
        struct stat st {};
        std::uint32_t crc = 0;
        std::vector<unsigned char> chunk;
        std::size_t chunkLength = 0;
        std::size_t offset = 0;
        std::uint64_t done = 0;
        std::uint64_t reported = 0;
        zip_error_t error;
    };

    std::string path;
    std::string tempPath;
    int fd = -1;
    Identity tempIdentity;
    std::uint64_t position = 0;
    std::uint64_t length = 0;
    zip_t* archive = nullptr;
    zip_error_t archiveError;
    bool committed = false;
    bool takesNextFreeName = false;
    ZipEncryption encryption = ZipEncryption::Traditional;

    std::deque<Entry> sources; // stable addresses for libzip's callbacks
    std::size_t entries = 0;
    std::unordered_set<std::string> fileNames;
    std::unordered_set<std::string> folderNames;
    std::uint64_t archiveBytes = 0;
    std::uint64_t archiveBytesDone = 0;

    std::unique_ptr<ParallelDeflater> deflater;
    const ZipProgressHandler* progress = nullptr;
    const std::atomic<bool>* cancel = nullptr;
    ZipResult failure; // the first failure inside close(), with the reason libzip does not know

    Impl() { zip_error_init(&archiveError); }

    void fail(ZipResult r)
    {
        if (failure.ok())
            failure = std::move(r);
    }

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }

    void startDeflating()
    {
        std::vector<ParallelDeflater::Source> work;
        for (const Entry& e : sources)
            if (e.live)
                work.push_back({e.index, e.sourcePath});
        deflater = std::make_unique<ParallelDeflater>(std::move(work), tempIdentity, cancel);
    }

    void report(Entry& e)
    {
        e.reported = e.done;
        if (!progress || !*progress)
            return;
        ZipProgress p;
        p.entryIndex = e.index;
        p.entryName = e.name;
        p.entryBytesDone = e.done;
        p.entryBytes = std::uint64_t(e.st.st_size);
        p.entryFinished = e.ended;
        p.archiveBytesDone = archiveBytesDone;
        p.archiveBytes = archiveBytes;
        (*progress)(p);
    }

    // Takes the entry's next event; false (with the reason kept) on a failure.
    bool advance(Entry& e)
    {
        if (!deflater) {
            // libzip reads entries only while the archive is closed.
            zip_error_set(&e.error, ZIP_ER_INTERNAL, 0);
            return false;
        }
        ParallelDeflater::Event event = deflater->next();
        if (event.entry != e.index) {
            fail(result(ZipStatus::Failed, "Internal error: entries read out of order"));
            zip_error_set(&e.error, ZIP_ER_INTERNAL, 0);
            return false;
        }
        switch (event.kind) {
        case ParallelDeflater::Event::Opened:
            e.st = event.st;
            e.opened = true;
            break;
        case ParallelDeflater::Event::Data:
            deflater->recycle(std::move(e.chunk));
            e.chunk = std::move(event.bytes);
            e.chunkLength = event.length;
            e.offset = 0;
            e.done += event.inputBytes;
            archiveBytesDone += event.inputBytes;
            if (e.done - e.reported >= kProgressStep)
                report(e);
            break;
        case ParallelDeflater::Event::End:
            // Every byte has been read by now; the entry keeps no buffer.
            deflater->recycle(std::move(e.chunk));
            e.chunk = {};
            e.chunkLength = e.offset = 0;
            e.ended = true;
            e.crc = event.crc;
            report(e);
            break;
        case ParallelDeflater::Event::Failed:
            zip_error_set(&e.error, event.failure.status == ZipStatus::Cancelled ? ZIP_ER_CANCELLED : ZIP_ER_READ, 0);
            fail(std::move(event.failure));
            return false;
        }
        return true;
    }

    bool awaitOpened(Entry& e)
    {
        while (!e.opened)
            if (!advance(e))
                return false;
        return true;
    }

    zip_int64_t readEntry(Entry& e, void* data, zip_uint64_t len)
    {
        if (cancelled()) {
            fail(result(ZipStatus::Cancelled, "Cancelled"));
            zip_error_set(&e.error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        while (e.offset == e.chunkLength) {
            if (e.ended)
                return 0;
            if (!advance(e))
                return -1;
        }
        std::size_t n = std::min<std::size_t>(len, e.chunkLength - e.offset);
        std::memcpy(data, e.chunk.data() + e.offset, n);
        e.offset += n;
        return zip_int64_t(n);
    }

    // One command of a libzip source: none (unhandled) is refused, and no exception unwinds into
    // libzip (the progress handler is the caller's code).
    template <typename Handle>
    zip_int64_t sourceCommand(zip_error_t& error, const std::string& what, void* data, zip_uint64_t len,
                              zip_source_cmd_t cmd, Handle handle)
    {
        if (cmd == ZIP_SOURCE_ERROR)
            return zip_error_to_data(&error, data, len);
        try {
            if (std::optional<zip_int64_t> handled = handle())
                return *handled;
            zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0);
        } catch (...) {
            fail(result(ZipStatus::Failed, "Internal error while writing \"" + what + "\""));
            zip_error_set(&error, ZIP_ER_INTERNAL, 0);
        }
        return -1;
    }

    static zip_int64_t entryCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        auto& e = *static_cast<Entry*>(userdata);
        Impl& w = *e.writer;
        return w.sourceCommand(e.error, e.name, data, len, cmd, [&]() -> std::optional<zip_int64_t> {
            switch (cmd) {
            case ZIP_SOURCE_SUPPORTS:
                return ZIP_SOURCE_SUPPORTS_READABLE | zip_source_make_command_bitmap(ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
            case ZIP_SOURCE_STAT: {
                auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &e.error);
                if (!st || !w.awaitOpened(e))
                    return -1;
                // Already deflated: libzip copies the bytes, encrypting them with a password.
                zip_stat_init(st);
                st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD;
                st->size = e.ended ? e.done : zip_uint64_t(e.st.st_size);
                st->mtime = dosRepresentable(e.st.st_mtime);
                st->comp_method = ZIP_CM_DEFLATE;
                if (e.ended) {
                    st->valid |= ZIP_STAT_CRC;
                    st->crc = e.crc;
                }
                return sizeof(*st);
            }
            case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
                auto* attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, len, &e.error);
                if (!attributes || !w.awaitOpened(e))
                    return -1;
                // Made on Unix, so that readers apply the mode; only the permission bits of the
                // file itself, never those of a link to it or its set-id bits.
                attributes->valid |= ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
                attributes->host_system = ZIP_OPSYS_UNIX;
                attributes->external_file_attributes = zip_uint32_t(kUnixRegularFile | (e.st.st_mode & 0777)) << 16;
                return 0;
            }
            case ZIP_SOURCE_OPEN:
                if (!w.awaitOpened(e))
                    return -1;
                w.report(e);
                return 0;
            case ZIP_SOURCE_READ:
                return w.readEntry(e, data, len);
            case ZIP_SOURCE_CLOSE:
            case ZIP_SOURCE_FREE:
                return 0;
            default:
                return std::nullopt;
            }
        });
    }

    zip_int64_t writeArchive(const void* data, zip_uint64_t len)
    {
        auto* bytes = static_cast<const char*>(data);
        zip_uint64_t left = len;
        while (left > 0) {
            ssize_t n = ::pwrite(fd, bytes, left, off_t(position));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                int e = n < 0 ? errno : ENOSPC;
                fail(failedWithErrno("Couldn't write", path, e));
                zip_error_set(&archiveError, ZIP_ER_WRITE, e);
                return -1;
            }
            bytes += n;
            left -= zip_uint64_t(n);
            position += zip_uint64_t(n);
            length = std::max(length, position);
        }
        return zip_int64_t(len);
    }

    // Flushed to disk first, then given its name: a crash leaves no half archive at `path`.
    bool commit()
    {
        if (::fsync(fd) != 0) {
            fail(failedWithErrno("Couldn't write", path, errno));
            return false;
        }
        int closing = fd;
        fd = -1;
        if (::close(closing) != 0) {
            fail(failedWithErrno("Couldn't write", path, errno));
            return false;
        }
        ov::MoveResult moved;
        if (takesNextFreeName) {
            std::string placed;
            moved = hl_placeAtNextAvailablePath(
                path, [&](const std::string& target) { return ov::moveItem(tempPath, target, true); }, &placed);
            if (moved.outcome == ov::FileOutcome::Done)
                path = placed;
        } else {
            moved = ov::moveItem(tempPath, path, true);
        }
        if (moved.outcome == ov::FileOutcome::DestinationExists) {
            fail(result(ZipStatus::DestinationExists, "\"" + path + "\" already exists"));
            return false;
        }
        if (moved.outcome != ov::FileOutcome::Done) {
            fail(failedWithErrno("Couldn't create", path, moved.error.code));
            return false;
        }
        committed = true;
        int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            // The archive is complete and named; a folder that cannot be flushed changes neither.
            (void)::fsync(folder);
            (void)::close(folder);
        }
        return true;
    }

    static zip_int64_t archiveCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        Impl& w = *static_cast<Impl*>(userdata);
        return w.sourceCommand(w.archiveError, w.path, data, len, cmd, [&]() -> std::optional<zip_int64_t> {
            switch (cmd) {
            case ZIP_SOURCE_SUPPORTS:
                return ZIP_SOURCE_SUPPORTS_WRITABLE;
            case ZIP_SOURCE_STAT:
                // Always a new archive: libzip reads nothing of an old one.
                zip_error_set(&w.archiveError, ZIP_ER_READ, ENOENT);
                return -1;
            case ZIP_SOURCE_BEGIN_WRITE:
                w.position = w.length = 0;
                return 0;
            case ZIP_SOURCE_WRITE:
                return w.writeArchive(data, len);
            case ZIP_SOURCE_TELL_WRITE:
                return zip_int64_t(w.position);
            case ZIP_SOURCE_SEEK_WRITE: {
                zip_int64_t to = zip_source_seek_compute_offset(w.position, w.length, data, len, &w.archiveError);
                if (to < 0)
                    return -1;
                w.position = zip_uint64_t(to);
                return 0;
            }
            case ZIP_SOURCE_COMMIT_WRITE:
                if (!w.commit()) {
                    zip_error_set(&w.archiveError, ZIP_ER_WRITE, 0);
                    return -1;
                }
                return 0;
            case ZIP_SOURCE_ROLLBACK_WRITE:
            case ZIP_SOURCE_REMOVE:
            case ZIP_SOURCE_FREE:
                return 0; // the temporary file is removed by the writer
            default:
                return std::nullopt;
            }
        });
    }

    // libzip writes nothing for an archive without entries; a valid empty one is just the
    // 22-byte end of central directory record.
    bool writeEmptyArchive()
    {
        static const char endRecord[22] = {'P', 'K', 5, 6};
        return writeArchive(endRecord, sizeof endRecord) >= 0 && commit();
    }

    void discard()
    {
        if (archive) {
            zip_discard(archive);
            archive = nullptr;
        }
        if (fd >= 0) {
            (void)::close(fd); // the file is removed next
            fd = -1;
        }
        if (!tempPath.empty() && !committed)
            (void)::unlink(tempPath.c_str());
        tempPath.clear();
    }
};

ZipArchiveWriter::ZipArchiveWriter(std::string path)
    : impl_(std::make_unique<Impl>())
{
    impl_->path = std::move(path);
}

ZipArchiveWriter::~ZipArchiveWriter() { impl_->discard(); }

const std::string& ZipArchiveWriter::path() const { return impl_->path; }

void ZipArchiveWriter::setTakesNextFreeName(bool takes) { impl_->takesNextFreeName = takes; }

void ZipArchiveWriter::setEncryption(ZipEncryption encryption) { impl_->encryption = encryption; }

std::size_t ZipArchiveWriter::entryCount() const { return impl_->entries; }

ZipResult ZipArchiveWriter::open()
{
    Impl& w = *impl_;
    if (w.archive || w.committed)
        return result(ZipStatus::Failed, "\"" + w.path + "\" is already open");
    if (!w.takesNextFreeName && ov::pathExists(w.path))
        return result(ZipStatus::DestinationExists, "\"" + w.path + "\" already exists");

    // A hidden name of fixed length, so that a long archive name cannot make it too long.
    std::random_device random;
    std::string folder = folderOf(w.path);
    for (int attempt = 0; w.fd < 0; ++attempt) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, "%08x", unsigned(random()));
        w.tempPath = ov::pathByAppending(folder, std::string(".orvane-zip-") + suffix);
        w.fd = ::open(w.tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (w.fd < 0 && (errno != EEXIST || attempt == 100)) {
            int e = errno;
            w.tempPath.clear();
            return failedWithErrno("Couldn't create a file in", folder, e);
        }
    }
    struct stat st;
    if (::fstat(w.fd, &st) != 0) {
        int e = errno;
        w.discard();
        return failedWithErrno("Couldn't create", w.path, e);
    }
    w.tempIdentity = {st.st_dev, st.st_ino};

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(&Impl::archiveCallback, &w, &error);
    if (source)
        w.archive = zip_open_from_source(source, ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!w.archive) {
        if (source)
            zip_source_free(source);
        ZipResult r = result(ZipStatus::Failed, "Couldn't create \"" + w.path + "\": " + zip_error_strerror(&error));
        zip_error_fini(&error);
        w.discard();
        return r;
    }
    zip_error_fini(&error);
    return {};
}

bool ZipArchiveWriter::isEntryNameTaken(const std::string& name) const
{
    const Impl& w = *impl_;
    if (w.fileNames.count(name) || w.folderNames.count(name))
        return true;
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        if (w.fileNames.count(name.substr(0, slash)))
            return true;
    return false;
}

std::string ZipArchiveWriter::availableEntryName(const std::string& wanted) const
{
    const Impl& w = *impl_;
    std::vector<std::string> levels = nameLevels(wanted);
    std::string prefix;
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        std::string candidate = prefix + levels[i];
        for (long n = 2; w.fileNames.count(candidate); ++n)
            candidate = prefix + hl_numberedName(levels[i], n);
        prefix = candidate + "/";
    }
    std::string candidate = prefix + levels.back();
    for (long n = 2; w.fileNames.count(candidate) || w.folderNames.count(candidate); ++n)
        candidate = prefix + hl_numberedName(levels.back(), n);
    return candidate;
}

ZipResult ZipArchiveWriter::writeFileAtPath(const std::string& sourcePath, const std::string& fileName,
                                            const std::string& password)
{
    Impl& w = *impl_;
    if (!w.archive)
        return result(ZipStatus::Failed, "\"" + w.path + "\" is not open");
    std::string name = fileName.empty() ? ov::lastPathComponent(sourcePath) : fileName;
    if (!isValidEntryName(name))
        return result(ZipStatus::Failed, "\"" + name + "\" is not a valid entry name");
    if (password.find('\0') != std::string::npos)
        return result(ZipStatus::Failed, "The password contains a NUL character");
    if (isEntryNameTaken(name))
        return result(ZipStatus::NameTaken, "The archive already has an entry \"" + name + "\"");

    // Checked now so that the caller learns at once which files cannot be added; read later.
    int fd = -1;
    struct stat st;
    if (ZipResult r = openRegularFile(sourcePath, w.tempIdentity, &fd, &st); !r.ok())
        return r;
    (void)::close(fd); // only read from

    Impl::Entry& e = w.sources.emplace_back();
    e.writer = &w;
    e.sourcePath = sourcePath;
    e.name = name;
    e.index = w.entries;
    zip_error_init(&e.error);

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(&Impl::entryCallback, &e, &error);
    zip_error_fini(&error);
    if (!source)
        return result(ZipStatus::Failed, "Couldn't add \"" + name + "\": out of memory");
    // Bit 11 marks a UTF-8 name; other bytes are stored as they are, without the flag.
    zip_flags_t encoding = !isAscii(name) && ovutf8::isValid(name) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_RAW;
    zip_int64_t index = zip_file_add(w.archive, name.c_str(), source, encoding);
    if (index < 0) {
        zip_source_free(source);
        return result(ZipStatus::Failed, "Couldn't add \"" + name + "\": " + zip_strerror(w.archive));
    }
    auto entryIndex = zip_uint64_t(index);
    bool configured = zip_set_file_compression(w.archive, entryIndex, ZIP_CM_DEFLATE, kDeflateLevel) == 0 &&
                      (password.empty() ||
                       zip_file_set_encryption(w.archive, entryIndex,
                                               w.encryption == ZipEncryption::Aes256 ? ZIP_EM_AES_256 : ZIP_EM_TRAD_PKWARE,
                                               password.c_str()) == 0);
    if (!configured) {
        ZipResult r = result(ZipStatus::Failed, "Couldn't add \"" + name + "\": " + zip_strerror(w.archive));
        (void)zip_delete(w.archive, entryIndex); // an entry added a moment ago can always go
        return r;
    }

    e.live = true;
    ++w.entries;
    w.archiveBytes += std::uint64_t(st.st_size);
    w.fileNames.insert(name);
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
        w.folderNames.insert(name.substr(0, slash));
    return {};
}

ZipResult ZipArchiveWriter::close(const ZipProgressHandler& progress, const std::atomic<bool>* cancel)
{
    Impl& w = *impl_;
    if (!w.archive)
        return result(ZipStatus::Failed, "\"" + w.path + "\" is not open");
    w.progress = &progress;
    w.cancel = cancel;
    w.failure = {};

    bool written;
    if (w.cancelled()) {
        w.fail(result(ZipStatus::Cancelled, "Cancelled"));
        written = false;
    } else if (w.entries == 0) {
        written = w.writeEmptyArchive();
    } else {
        w.startDeflating();
        written = zip_close(w.archive) == 0;
        w.deflater.reset(); // stops it: done, or the archive has failed
        if (written)
            w.archive = nullptr; // freed by a successful zip_close
        else
            w.fail(result(ZipStatus::Failed, "Couldn't write \"" + w.path + "\": " + zip_strerror(w.archive)));
    }
    written = written && w.committed;
    if (!written)
        w.fail(result(ZipStatus::Failed, "Couldn't write \"" + w.path + "\""));
    w.progress = nullptr;
    w.cancel = nullptr;
    ZipResult r = written ? ZipResult{} : w.failure;
    w.discard();
    return r;
}
