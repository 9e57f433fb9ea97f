// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ZipArchiveWriter.h"

#include "support/TestSupport.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace {

const std::string kPassword = "pässwörd 7";

struct ToolRun {
    bool exitedZero = false;
    std::string output;
};

ToolRun runTool(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    GError* error = nullptr;
    ToolRun run;
    // Readers convert UTF-8 names to the locale's character set.
    gchar** env = g_environ_setenv(g_get_environ(), "LC_ALL", "C.UTF-8", TRUE);
    auto flags = GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL); // never a password prompt
    gboolean spawned = g_spawn_sync(nullptr, argv.data(), env, flags, nullptr, nullptr, &out, &err, &status, &error);
    g_strfreev(env);
    if (!spawned) {
        ADD_FAILURE() << "cannot run " << args.front() << ": " << error->message;
        g_error_free(error);
        return run;
    }
    run.exitedZero = g_spawn_check_wait_status(status, nullptr);
    run.output = std::string(out ? out : "") + (err ? err : "");
    g_free(out);
    g_free(err);
    return run;
}

std::string sha256(const std::string& data)
{
    gchar* sum = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(data.data()), data.size());
    std::string s = sum;
    g_free(sum);
    return s;
}

void setModificationTime(const std::string& path, time_t t, bool ofLink = false)
{
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, ofLink ? AT_SYMLINK_NOFOLLOW : 0), 0);
}

std::uint32_t dosDateTime(time_t t)
{
    struct tm tm {};
    localtime_r(&t, &tm);
    std::uint32_t date = tm.tm_mday + 32 * (tm.tm_mon + 1) + 512 * (tm.tm_year - 80);
    std::uint32_t time = tm.tm_sec / 2 + 32 * tm.tm_min + 2048 * tm.tm_hour;
    return date << 16 | time;
}

std::set<std::string> folderListing(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// The records of an archive as a reader sees them, read straight from its bytes.
struct ZipEntryBytes {
    std::string name;
    unsigned madeBy = 0, needed = 0, flags = 0, method = 0;
    std::uint32_t dosTime = 0, crc = 0, compressedSize = 0, size = 0, external = 0;
    unsigned localNeeded = 0, localFlags = 0, localMethod = 0;
    std::uint32_t localDosTime = 0;
    std::string localName;
    std::string extra, localExtra;
    bool hasDataDescriptor = false;
    std::uint32_t descriptorCrc = 0;
    std::string data; // as stored: encryption header and deflated bytes
};

unsigned u16(const std::string& b, std::size_t at) { return std::uint8_t(b.at(at)) | std::uint8_t(b.at(at + 1)) << 8; }
std::uint32_t u32(const std::string& b, std::size_t at) { return u16(b, at) | std::uint32_t(u16(b, at + 2)) << 16; }

std::vector<ZipEntryBytes> parseArchive(const std::string& bytes)
{
    std::vector<ZipEntryBytes> entries;
    EXPECT_GE(bytes.size(), 22u);
    if (bytes.size() < 22)
        return entries;
    std::size_t end = bytes.size() - 22; // written without an archive comment
    EXPECT_EQ(u32(bytes, end), 0x06054b50u);
    unsigned count = u16(bytes, end + 10);
    std::size_t at = u32(bytes, end + 16);
    for (unsigned i = 0; i < count; ++i) {
        ZipEntryBytes e;
        EXPECT_EQ(u32(bytes, at), 0x02014b50u);
        e.madeBy = u16(bytes, at + 4);
        e.needed = u16(bytes, at + 6);
        e.flags = u16(bytes, at + 8);
        e.method = u16(bytes, at + 10);
        e.dosTime = u16(bytes, at + 14) << 16 | u16(bytes, at + 12);
        e.crc = u32(bytes, at + 16);
        e.compressedSize = u32(bytes, at + 20);
        e.size = u32(bytes, at + 24);
        unsigned nameLength = u16(bytes, at + 28), extraLength = u16(bytes, at + 30), commentLength = u16(bytes, at + 32);
        e.external = u32(bytes, at + 38);
        std::size_t local = u32(bytes, at + 42);
        e.name = bytes.substr(at + 46, nameLength);
        e.extra = bytes.substr(at + 46 + nameLength, extraLength);
        at += 46 + nameLength + extraLength + commentLength;

        EXPECT_EQ(u32(bytes, local), 0x04034b50u);
        e.localNeeded = u16(bytes, local + 4);
        e.localFlags = u16(bytes, local + 6);
        e.localMethod = u16(bytes, local + 8);
        e.localDosTime = u16(bytes, local + 12) << 16 | u16(bytes, local + 10);
        unsigned localNameLength = u16(bytes, local + 26), localExtraLength = u16(bytes, local + 28);
        e.localName = bytes.substr(local + 30, localNameLength);
        e.localExtra = bytes.substr(local + 30 + localNameLength, localExtraLength);
        std::size_t data = local + 30 + localNameLength + localExtraLength;
        e.data = bytes.substr(data, e.compressedSize);
        std::size_t descriptor = data + e.compressedSize;
        e.hasDataDescriptor = u32(bytes, descriptor) == 0x08074b50u;
        if (e.hasDataDescriptor)
            e.descriptorCrc = u32(bytes, descriptor + 4);
        entries.push_back(e);
    }
    return entries;
}

// The data of the extra field with the id, or nothing.
std::optional<std::string> extraField(const std::string& extra, unsigned id)
{
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        unsigned fieldId = u16(extra, at), size = u16(extra, at + 2);
        if (at + 4 + size > extra.size())
            break;
        if (fieldId == id)
            return extra.substr(at + 4, size);
        at += 4 + size;
    }
    return std::nullopt;
}

// Traditional PKWARE decryption of the 12-byte encryption header; returns its last byte.
std::uint8_t decryptedCheckByte(const std::string& header, const std::string& password)
{
    auto crcByte = [](std::uint32_t crc, std::uint8_t b) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        return crc;
    };
    std::uint32_t keys[3] = {0x12345678u, 0x23456789u, 0x34567890u};
    auto update = [&](std::uint8_t b) {
        keys[0] = crcByte(keys[0], b);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
        keys[2] = crcByte(keys[2], std::uint8_t(keys[1] >> 24));
    };
    for (char c : password)
        update(std::uint8_t(c));
    std::uint8_t plain = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        // Unsigned 32-bit: a 16-bit value would be promoted to int and the product overflow.
        const std::uint32_t t = (keys[2] | 2) & 0xFFFFu;
        plain = std::uint8_t(header.at(i)) ^ std::uint8_t((t * (t ^ 1)) >> 8);
        update(plain);
    }
    return plain;
}

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = char(generator());
    return s;
}

std::string textBytes(std::size_t n)
{
    static const char* words[] = {"archive ", "folder ", "report ", "the ", "of ", "compress\n", "password ", "zip "};
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i)
        s += words[(i * 7 + i / 3) % 8];
    s.resize(n);
    return s;
}

struct Expected {
    std::string source;
    std::string content;
    unsigned mode = 0;
    time_t mtime = 0;
};

class ZipArchiveWriterTest : public ::testing::Test {
protected:
    ovtest::TempHome home;
    std::string src = home.makeFolder("src");
    std::string out = home.makeFolder("out");
    std::string archivePath = out + "/Archive.zip";
    std::map<std::string, Expected> expected; // by entry name
    std::vector<ZipProgress> progress;        // entry names not kept: views into the writer

    std::string file(const std::string& relative, const std::string& content, unsigned mode, time_t mtime)
    {
        std::string path = home.writeFile("src/" + relative, content);
        EXPECT_EQ(chmod(path.c_str(), mode), 0);
        setModificationTime(path, mtime);
        return path;
    }

    void add(ZipArchiveWriter& writer, const std::string& path, const std::string& name, const std::string& password)
    {
        std::string entry = writer.availableEntryName(name);
        ZipResult r = writer.writeFileAtPath(path, entry, password);
        ASSERT_TRUE(r.ok()) << r.error;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        expected[entry] = {path, ovtest::readAll(path), unsigned(st.st_mode & 07777), st.st_mtime};
    }

    // Every kind of entry the compress action produces, in one archive.
    void writeSampleArchive(const std::string& password, ZipEncryption encryption = ZipEncryption::Traditional)
    {
        const time_t june = 1623764730; // 2021-06-15, an even second
        file("empty.txt", "", 0600, june);
        file("large.bin", randomBytes(2 << 20, 7) + textBytes(1 << 20), 0644, june + 60);
        file("R\xc3\xa9sum\xc3\xa9.txt", "CV", 0644, june + 120);      // composed é
        file("Cafe\xcc\x81.txt", "coffee", 0644, june + 180);            // e + combining accent
        file("raw-\xff\xfe.txt", "latin-1 name", 0644, june + 240);      // not UTF-8
        file("tool.sh", "#!/bin/sh\necho hi\n", 04750, june + 300);      // set-id bit must not travel
        ASSERT_EQ(symlink("tool.sh", (src + "/link.sh").c_str()), 0);
        setModificationTime(src + "/link.sh", june + 999, true);
        file("A/Report.pdf", "first report", 0640, june + 360);
        file("B/Report.pdf", "second report", 0640, june + 420);
        home.makeFolder("src/Photos/Empty/Nested");
        file("Photos/Trip/day 1.jpg", textBytes(5000), 0644, june + 480);

        ZipArchiveWriter writer(archivePath);
        writer.setEncryption(encryption);
        ASSERT_TRUE(writer.open().ok());
        for (const char* name : {"empty.txt", "large.bin", "R\xc3\xa9sum\xc3\xa9.txt", "Cafe\xcc\x81.txt", "raw-\xff\xfe.txt", "link.sh"})
            add(writer, src + "/" + name, name, password);
        add(writer, src + "/A/Report.pdf", "Report.pdf", password);
        add(writer, src + "/B/Report.pdf", "Report.pdf", password);
        add(writer, src + "/Photos/Trip/day 1.jpg", "Photos/Trip/day 1.jpg", password);
        ASSERT_EQ(writer.entryCount(), expected.size());
        ZipResult closed = writer.close([this](const ZipProgress& p) { progress.push_back(p); });
        ASSERT_TRUE(closed.ok()) << closed.error;
    }

    void expectBsdtarExtractsEveryEntry()
    {
        // bsdtar extracts, applying the stored modes; contents compare with the sources. It composes
        // the UTF-8 names it extracts (NFC); the bytes stored are checked with the headers.
        std::string extracted = home.makeFolder("bsdtar");
        ToolRun bsdtar = runTool({"bsdtar", "--passphrase", kPassword, "-xf", archivePath, "-C", extracted});
        EXPECT_TRUE(bsdtar.exitedZero) << bsdtar.output;
        std::set<std::string> composedNames;
        for (const auto& [name, e] : expected) {
            gchar* composed = g_utf8_validate(name.c_str(), -1, nullptr) ? g_utf8_normalize(name.c_str(), -1, G_NORMALIZE_NFC) : g_strdup(name.c_str());
            std::string path = extracted + "/" + composed;
            composedNames.insert(std::string(composed).substr(0, std::string(composed).find('/')));
            g_free(composed);
            struct stat st;
            ASSERT_EQ(lstat(path.c_str(), &st), 0) << name;
            EXPECT_TRUE(S_ISREG(st.st_mode)) << name << ": a link is archived as the file it points at";
            EXPECT_EQ(st.st_mode & 0777, e.mode & 0777) << name;
            EXPECT_EQ(st.st_mtime, e.mtime - e.mtime % 2) << name;
            EXPECT_EQ(sha256(ovtest::readAll(path)), sha256(e.content)) << name;
        }
        EXPECT_EQ(folderListing(extracted), composedNames);
    }
};

TEST_F(ZipArchiveWriterTest, EveryReaderExtractsEveryEntryWithThePassword)
{
    writeSampleArchive(kPassword);
    ASSERT_TRUE(expected.count("Report 2.pdf")) << "the second equal name is numbered";
    EXPECT_EQ(folderListing(out), std::set<std::string>{"Archive.zip"});

    ToolRun unzip = runTool({"unzip", "-P", kPassword, "-t", archivePath});
    EXPECT_TRUE(unzip.exitedZero) << unzip.output;
    EXPECT_NE(unzip.output.find("No errors detected"), std::string::npos) << unzip.output;
    ToolRun wrong = runTool({"unzip", "-P", "wrong", "-t", archivePath});
    EXPECT_FALSE(wrong.exitedZero) << "the entries are encrypted: " << wrong.output;

    ToolRun sevenZip = runTool({"7z", "t", "-p" + kPassword, archivePath});
    EXPECT_TRUE(sevenZip.exitedZero) << sevenZip.output;
    EXPECT_NE(sevenZip.output.find("Everything is Ok"), std::string::npos) << sevenZip.output;

    expectBsdtarExtractsEveryEntry();

    // Python's zipfile decrypts and checks the CRC of every entry; names come back as their bytes.
    const char* script = R"(
import sys, zipfile, hashlib
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        raw = i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
        print(raw.hex(), i.file_size, hashlib.sha256(z.read(i, pwd=sys.argv[2].encode())).hexdigest())
)";
    ToolRun python = runTool({"/usr/bin/python3", "-c", script, archivePath, kPassword});
    ASSERT_TRUE(python.exitedZero) << python.output;
    std::set<std::string> lines;
    for (const auto& [name, e] : expected) {
        std::string hex;
        for (unsigned char c : name) {
            char digits[3];
            snprintf(digits, sizeof digits, "%02x", c);
            hex += digits;
        }
        lines.insert(hex + " " + std::to_string(e.content.size()) + " " + sha256(e.content));
    }
    std::set<std::string> printed;
    std::istringstream stream(python.output);
    for (std::string line; std::getline(stream, line);)
        printed.insert(line);
    EXPECT_EQ(printed, lines);

    // Progress: every entry starts and finishes in order, the large one reports on its way.
    std::size_t finished = 0, largeReports = 0;
    for (const ZipProgress& p : progress) {
        EXPECT_EQ(p.entryIndex, finished);
        if (p.entryBytes == (3u << 20))
            ++largeReports;
        if (p.entryFinished) {
            EXPECT_EQ(p.entryBytesDone, p.entryBytes);
            ++finished;
        }
    }
    EXPECT_EQ(finished, expected.size());
    EXPECT_GE(largeReports, 4u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().archiveBytesDone, progress.back().archiveBytes);
}

TEST_F(ZipArchiveWriterTest, HeadersCarryWhatReadersRelyOn)
{
    writeSampleArchive(kPassword);
    std::vector<ZipEntryBytes> entries = parseArchive(ovtest::readAll(archivePath));
    ASSERT_EQ(entries.size(), expected.size());
    for (const ZipEntryBytes& e : entries) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(expected.count(e.name));
        const Expected& source = expected[e.name];
        bool utf8 = e.name.find("\xc3\xa9") != std::string::npos || e.name.find("\xcc\x81") != std::string::npos;

        EXPECT_EQ(e.localName, e.name);
        EXPECT_EQ(e.flags, e.localFlags);
        EXPECT_EQ(e.flags, 0x0001u | 0x0008u | (utf8 ? 0x0800u : 0u)) << "encrypted, data descriptor, level bits clear";
        EXPECT_EQ(e.method, 8u);
        EXPECT_EQ(e.localMethod, 8u);
        EXPECT_EQ(e.needed, 20u);
        EXPECT_EQ(e.localNeeded, 20u);
        EXPECT_EQ(e.madeBy >> 8, 3u) << "made on Unix, so readers apply the mode";
        EXPECT_EQ(e.external, (0100000u | (source.mode & 0777)) << 16);
        EXPECT_EQ(e.dosTime, dosDateTime(source.mtime));
        EXPECT_EQ(e.localDosTime, e.dosTime);
        EXPECT_EQ(e.size, source.content.size());
        EXPECT_TRUE(e.hasDataDescriptor);
        EXPECT_EQ(e.descriptorCrc, e.crc);
        ASSERT_GE(e.data.size(), 12u) << "even an empty file has the encryption header";
        EXPECT_EQ(decryptedCheckByte(e.data, kPassword), std::uint8_t(e.dosTime >> 8)) << "the check byte is the time's";
        EXPECT_FALSE(extraField(e.localExtra, 0x9901)) << "traditional encryption unless AES is chosen";
    }
    // The link entry above was checked against the file it points at, not the link itself.
    struct stat link;
    ASSERT_EQ(lstat((src + "/link.sh").c_str(), &link), 0);
    EXPECT_NE(link.st_mtime, expected["link.sh"].mtime);
    EXPECT_EQ(expected["link.sh"].mode, 04750u);

    // Without a password nothing is encrypted and no header precedes the data.
    std::string plainPath = out + "/Plain.zip";
    ZipArchiveWriter plain(plainPath);
    ASSERT_TRUE(plain.open().ok());
    ASSERT_TRUE(plain.writeFileAtPath(src + "/empty.txt").ok());
    ASSERT_TRUE(plain.close().ok());
    std::vector<ZipEntryBytes> plainEntries = parseArchive(ovtest::readAll(plainPath));
    ASSERT_EQ(plainEntries.size(), 1u);
    EXPECT_EQ(plainEntries[0].name, "empty.txt");
    EXPECT_EQ(plainEntries[0].flags & 0x0001u, 0u);
    EXPECT_LT(plainEntries[0].data.size(), 12u);
}

TEST_F(ZipArchiveWriterTest, AesArchivesOpenWithThePasswordAndCarryTheWinZipField)
{
    writeSampleArchive(kPassword, ZipEncryption::Aes256);
    EXPECT_EQ(folderListing(out), std::set<std::string>{"Archive.zip"});

    ToolRun sevenZip = runTool({"7z", "t", "-p" + kPassword, archivePath});
    EXPECT_TRUE(sevenZip.exitedZero) << sevenZip.output;
    EXPECT_NE(sevenZip.output.find("Everything is Ok"), std::string::npos) << sevenZip.output;
    ToolRun wrong = runTool({"7z", "t", "-pwrong", archivePath});
    EXPECT_FALSE(wrong.exitedZero) << "the entries are encrypted: " << wrong.output;
    ToolRun listing = runTool({"7z", "l", "-slt", "-p" + kPassword, archivePath});
    EXPECT_NE(listing.output.find("AES-256"), std::string::npos) << listing.output;
    expectBsdtarExtractsEveryEntry();

    std::vector<ZipEntryBytes> entries = parseArchive(ovtest::readAll(archivePath));
    ASSERT_EQ(entries.size(), expected.size());
    for (const ZipEntryBytes& e : entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.flags & 0x0001u, 1u);
        EXPECT_EQ(e.localFlags & 0x0001u, 1u);
        EXPECT_EQ(e.method, 99u) << "WinZip AES marks the method as 99";
        EXPECT_EQ(e.localMethod, 99u);
        EXPECT_EQ(e.madeBy >> 8, 3u);
        EXPECT_EQ(e.size, expected[e.name].content.size());
        // Vendor version, "AE", strength 3 (256 bits), then the real method: deflate.
        for (const std::string* extra : {&e.extra, &e.localExtra}) {
            std::optional<std::string> aes = extraField(*extra, 0x9901);
            ASSERT_TRUE(aes);
            ASSERT_EQ(aes->size(), 7u);
            EXPECT_TRUE(u16(*aes, 0) == 1 || u16(*aes, 0) == 2);
            EXPECT_EQ(aes->substr(2, 2), "AE");
            EXPECT_EQ(std::uint8_t((*aes)[4]), 3u);
            EXPECT_EQ(u16(*aes, 5), 8u);
        }
        // Salt (16 bytes at strength 3), password check (2) and authentication code (10).
        EXPECT_GE(e.data.size(), 28u);
    }
}

TEST_F(ZipArchiveWriterTest, FilesThatCannotBeAddedAreRefusedAndTheArchiveStaysUsable)
{
    std::string good = file("good.txt", "good", 0644, 1623764730);
    std::string fifo = src + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(symlink("pipe", (src + "/link-to-pipe").c_str()), 0);

    ZipArchiveWriter writer(archivePath);
    ASSERT_TRUE(writer.open().ok());
    // A FIFO with no writer would block an ordinary open forever: it is refused without one.
    EXPECT_EQ(writer.writeFileAtPath(fifo).status, ZipStatus::NotRegularFile);
    EXPECT_EQ(writer.writeFileAtPath(src + "/link-to-pipe").status, ZipStatus::NotRegularFile);
    EXPECT_EQ(writer.writeFileAtPath(src).status, ZipStatus::NotRegularFile);
    ZipResult missing = writer.writeFileAtPath(src + "/missing.txt");
    EXPECT_EQ(missing.status, ZipStatus::Failed);
    EXPECT_NE(missing.error.find("missing.txt"), std::string::npos) << missing.error;
    for (const char* bad : {"/etc/passwd", "../good.txt", "a/../../good.txt", "a//b", "a/", "./a"})
        EXPECT_EQ(writer.writeFileAtPath(good, bad).status, ZipStatus::Failed) << bad;

    // The archive's own folder may be in the selection: the file being written is never an entry.
    std::string temporary;
    for (const std::string& name : folderListing(out))
        temporary = out + "/" + name;
    ASSERT_NE(temporary.find(".orvane-zip-"), std::string::npos) << temporary;
    EXPECT_EQ(writer.writeFileAtPath(temporary).status, ZipStatus::IsOwnArchive);
    ASSERT_EQ(link(temporary.c_str(), (src + "/hard link").c_str()), 0); // another name, one file
    EXPECT_EQ(writer.writeFileAtPath(src + "/hard link").status, ZipStatus::IsOwnArchive);
    ASSERT_EQ(unlink((src + "/hard link").c_str()), 0);

    // Equal names, and a name that needs a file entry to be a folder, are refused; the caller
    // learns a free one.
    ASSERT_TRUE(writer.writeFileAtPath(good, "Report.pdf", kPassword).ok());
    ASSERT_TRUE(writer.writeFileAtPath(good, "Photos/Trip/a.jpg", kPassword).ok());
    EXPECT_EQ(writer.writeFileAtPath(good, "Report.pdf", kPassword).status, ZipStatus::NameTaken);
    EXPECT_EQ(writer.writeFileAtPath(good, "Report.pdf/x.txt", kPassword).status, ZipStatus::NameTaken);
    EXPECT_EQ(writer.writeFileAtPath(good, "Photos/Trip", kPassword).status, ZipStatus::NameTaken);
    EXPECT_EQ(writer.availableEntryName("Report.pdf"), "Report 2.pdf");
    EXPECT_EQ(writer.availableEntryName("Report.pdf/x.txt"), "Report 2.pdf/x.txt");
    EXPECT_EQ(writer.availableEntryName("Photos/Trip"), "Photos/Trip 2");
    EXPECT_EQ(writer.availableEntryName("Photos/Trip/b.jpg"), "Photos/Trip/b.jpg");
    ASSERT_TRUE(writer.writeFileAtPath(good, writer.availableEntryName("Report.pdf"), kPassword).ok());
    EXPECT_EQ(writer.availableEntryName("Report.pdf"), "Report 3.pdf");
    EXPECT_EQ(writer.entryCount(), 3u);

    ASSERT_TRUE(writer.close().ok());
    ToolRun list = runTool({"unzip", "-P", kPassword, "-t", archivePath});
    EXPECT_TRUE(list.exitedZero) << list.output;
    EXPECT_EQ(parseArchive(ovtest::readAll(archivePath)).size(), 3u);
}

TEST_F(ZipArchiveWriterTest, AnArchiveOfEmptyFoldersIsAValidEmptyArchive)
{
    ZipArchiveWriter writer(archivePath);
    ASSERT_TRUE(writer.open().ok());
    ASSERT_TRUE(writer.close().ok());
    EXPECT_EQ(ovtest::readAll(archivePath).size(), 22u);
    EXPECT_EQ(folderListing(out), std::set<std::string>{"Archive.zip"});
    ToolRun python = runTool({"/usr/bin/python3", "-c", "import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).namelist()))", archivePath});
    EXPECT_TRUE(python.exitedZero) << python.output;
    EXPECT_EQ(python.output, "0\n");
    EXPECT_TRUE(runTool({"bsdtar", "-tf", archivePath}).exitedZero);
}

TEST_F(ZipArchiveWriterTest, NothingIsReplacedAndNothingIsLeftBehind)
{
    std::string good = file("good.txt", "good", 0644, 1623764730);

    // Something at the archive's path already: the caller must pick the next free name.
    std::string existing = home.writeFile("out/Existing.zip", "keep me");
    ZipArchiveWriter atExisting(existing);
    EXPECT_EQ(atExisting.open().status, ZipStatus::DestinationExists);

    // A file that turns up at the path while the archive is written is not replaced either.
    {
        ZipArchiveWriter writer(archivePath);
        ASSERT_TRUE(writer.open().ok());
        ASSERT_TRUE(writer.writeFileAtPath(good).ok());
        home.writeFile("out/Archive.zip", "arrived meanwhile");
        ZipResult r = writer.close();
        EXPECT_EQ(r.status, ZipStatus::DestinationExists) << r.error;
        EXPECT_EQ(ovtest::readAll(archivePath), "arrived meanwhile");
        ASSERT_EQ(unlink(archivePath.c_str()), 0);
    }
    // A source that is gone, or no longer a regular file, when the archive is written.
    for (const char* change : {"removed", "fifo"}) {
        ZipArchiveWriter writer(archivePath);
        ASSERT_TRUE(writer.open().ok());
        std::string changing = file("changing.txt", "soon gone", 0644, 1623764730);
        ASSERT_TRUE(writer.writeFileAtPath(good).ok());
        ASSERT_TRUE(writer.writeFileAtPath(changing).ok());
        ASSERT_EQ(unlink(changing.c_str()), 0);
        if (std::string(change) == "fifo") {
            ASSERT_EQ(mkfifo(changing.c_str(), 0644), 0);
        }
        ZipResult r = writer.close();
        EXPECT_FALSE(r.ok()) << change;
        EXPECT_NE(r.error.find("changing.txt"), std::string::npos) << r.error;
        EXPECT_EQ(folderListing(out), std::set<std::string>{"Existing.zip"}) << change;
        (void)unlink(changing.c_str());
    }
    // Never closed: the partial file goes with the writer.
    {
        ZipArchiveWriter writer(archivePath);
        ASSERT_TRUE(writer.open().ok());
        ASSERT_TRUE(writer.writeFileAtPath(good).ok());
        EXPECT_EQ(folderListing(out).size(), 2u);
    }
    EXPECT_EQ(folderListing(out), std::set<std::string>{"Existing.zip"});
    EXPECT_EQ(ovtest::readAll(existing), "keep me");
}

TEST_F(ZipArchiveWriterTest, AFailedWriteOrACancelLeavesNoFile)
{
    std::string large = file("large.bin", randomBytes(4 << 20, 3), 0644, 1623764730);

    // The file size limit stands in for a full disk: writes fail part-way with EFBIG.
    {
        ZipArchiveWriter writer(archivePath);
        ASSERT_TRUE(writer.open().ok());
        ASSERT_TRUE(writer.writeFileAtPath(large, {}, kPassword).ok());
        struct rlimit old;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        struct rlimit small = old;
        small.rlim_cur = 1 << 20;
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        ZipResult r = writer.close();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(r.status, ZipStatus::Failed);
        EXPECT_NE(r.error.find("File too large"), std::string::npos) << r.error;
        EXPECT_TRUE(folderListing(out).empty());
    }
    // Cancelled inside an entry, once its first MiB is through.
    {
        ZipArchiveWriter writer(archivePath);
        ASSERT_TRUE(writer.open().ok());
        ASSERT_TRUE(writer.writeFileAtPath(large, {}, kPassword).ok());
        ASSERT_TRUE(writer.writeFileAtPath(large, "second.bin", kPassword).ok());
        std::atomic<bool> cancel = false;
        std::uint64_t lastDone = 0;
        ZipResult r = writer.close(
            [&](const ZipProgress& p) {
                lastDone = p.archiveBytesDone;
                if (p.entryBytesDone > 0)
                    cancel = true;
            },
            &cancel);
        EXPECT_EQ(r.status, ZipStatus::Cancelled) << r.error;
        EXPECT_LT(lastDone, 2u << 20);
        EXPECT_TRUE(folderListing(out).empty());
    }
    // Cancelled before anything was written.
    {
        ZipArchiveWriter writer(archivePath);
        ASSERT_TRUE(writer.open().ok());
        std::atomic<bool> cancel = true;
        EXPECT_EQ(writer.close({}, &cancel).status, ZipStatus::Cancelled);
        EXPECT_TRUE(folderListing(out).empty());
    }
}

// Two runs on one selection start with the same free name and are written side by side: the one
// finished second moves on to the next free name instead of failing after all its work.
TEST_F(ZipArchiveWriterTest, WritersStartedTogetherOnOneNameBothFinish)
{
    std::string big = file("big.bin", randomBytes(3 << 20, 5), 0644, 1623764730);
    std::string small = file("small.txt", "small", 0644, 1623764730);
    home.writeFile("out/Report 2.zip", "a name already used");

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::unique_ptr<ZipArchiveWriter>> writers;
        for (const std::string& source : {big, small}) {
            auto& writer = writers.emplace_back(std::make_unique<ZipArchiveWriter>(out + "/Report.zip"));
            writer->setTakesNextFreeName(true);
            ASSERT_TRUE(writer->open().ok());
            ASSERT_TRUE(writer->writeFileAtPath(source, {}, kPassword).ok());
        }
        ZipResult results[2];
        std::thread first([&] { results[0] = writers[0]->close(); });
        std::thread second([&] { results[1] = writers[1]->close(); });
        first.join();
        second.join();
        ASSERT_TRUE(results[0].ok()) << results[0].error;
        ASSERT_TRUE(results[1].ok()) << results[1].error;

        // The used name is skipped; each writer tells where its archive went.
        std::set<std::string> names{writers[0]->path(), writers[1]->path()};
        EXPECT_EQ(names, (std::set<std::string>{out + "/Report.zip", out + "/Report 3.zip"}));
        EXPECT_EQ(parseArchive(ovtest::readAll(writers[0]->path()))[0].name, "big.bin");
        EXPECT_EQ(parseArchive(ovtest::readAll(writers[1]->path()))[0].name, "small.txt");
        EXPECT_EQ(folderListing(out), (std::set<std::string>{"Report.zip", "Report 2.zip", "Report 3.zip"}));
        EXPECT_EQ(ovtest::readAll(out + "/Report 2.zip"), "a name already used");
        for (const char* name : {"Report.zip", "Report 3.zip"})
            ASSERT_EQ(unlink((out + "/" + name).c_str()), 0);
    }
}

} // namespace
