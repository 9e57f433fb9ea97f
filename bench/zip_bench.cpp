// SPDX-License-Identifier: GPL-3.0-or-later
// Compresses 200 MiB of mixed files (text-like and random) with a password through
// ZipArchiveWriter and through Info-ZIP's `zip -r -P`, both at the default level, in interleaved
// rounds; prints the throughput ratio and the peak resident memory of each. The same rounds
// compare its AES-256 archives with `7z a -tzip -mem=AES256 -p`, at 7-Zip's default level. Throughput is given
// per second of wall time and per second of CPU time: on a machine busy with other work the wall
// time says more about the other work than about either tool.
#include "BenchSupport.h"
#include "runner/ZipArchiveWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 3;
constexpr std::uint64_t kMiB = 1 << 20;
const char* const kPassword = "bench password";

// Words drawn at random compress roughly like prose and source code at deflate's default level.
void writeTextFile(const std::string& path, std::uint64_t size, std::mt19937& generator)
{
    static const char* words[] = {"the", "archive", "of", "folder", "and", "a", "report", "for", "int", "return",
                                  "password", "to", "with", "static", "void", "compress", "file", "in", "is", "this",
                                  "const", "std::string", "if", "else", "progress", "window", "entry", "name"};
    std::ofstream out(path, std::ios::binary);
    std::string chunk;
    for (std::uint64_t written = 0; written < size;) {
        chunk.clear();
        while (chunk.size() < 64 * 1024) {
            chunk += words[generator() % std::size(words)];
            chunk += generator() % 11 == 0 ? (generator() % 3 == 0 ? ".\n" : ",\n") : " ";
        }
        std::uint64_t n = std::min<std::uint64_t>(chunk.size(), size - written);
        out.write(chunk.data(), std::streamsize(n));
        written += n;
    }
}

void writeRandomFile(const std::string& path, std::uint64_t size, std::mt19937& generator)
{
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint32_t> chunk(16 * 1024);
    for (std::uint64_t written = 0; written < size;) {
        for (auto& word : chunk)
            word = generator();
        std::uint64_t n = std::min<std::uint64_t>(chunk.size() * 4, size - written);
        out.write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(n));
        written += n;
    }
}

// Half text, half random, from a few large files down to many small ones.
std::uint64_t makeData(const std::string& folder)
{
    std::mt19937 generator(20240601);
    std::uint64_t total = 0;
    struct Group {
        const char* kind;
        int count;
        std::uint64_t size;
    };
    for (const Group& g : {Group{"text", 4, 16 * kMiB}, Group{"text", 32, kMiB}, Group{"text", 400, 10 * 1024},
                           Group{"random", 4, 16 * kMiB}, Group{"random", 32, kMiB}, Group{"random", 400, 10 * 1024}}) {
        std::string sub = folder + "/" + g.kind + "-" + std::to_string(g.size);
        fs::create_directories(sub);
        for (int i = 0; i < g.count; ++i) {
            std::string path = sub + "/file " + std::to_string(i) + (g.kind[0] == 't' ? ".txt" : ".bin");
            if (g.kind[0] == 't')
                writeTextFile(path, g.size, generator);
            else
                writeRandomFile(path, g.size, generator);
            total += g.size;
        }
    }
    return total;
}

// The child side of a measured run of our writer: every regular file below `data`, named as
// zip -r names them.
int writeArchive(const std::string& archive, const std::string& root, const std::string& data, bool aes)
{
    ZipArchiveWriter writer(archive);
    writer.setEncryption(aes ? ZipEncryption::Aes256 : ZipEncryption::Traditional);
    if (ZipResult r = writer.open(); !r.ok()) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        return 1;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root + "/" + data)) {
        if (!entry.is_regular_file())
            continue;
        std::string name = fs::relative(entry.path(), root).string();
        if (ZipResult r = writer.writeFileAtPath(entry.path().string(), name, kPassword); !r.ok()) {
            std::fprintf(stderr, "%s\n", r.error.c_str());
            return 1;
        }
    }
    ZipResult r = writer.close();
    if (!r.ok())
        std::fprintf(stderr, "%s\n", r.error.c_str());
    return r.ok() ? 0 : 1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if ((argc == 5 || argc == 6) && std::string(argv[1]) == "--write")
        return writeArchive(argv[2], argv[3], argv[4], argc == 6 && std::string(argv[5]) == "aes");

    std::string root = fs::temp_directory_path() / ("orvane-bench-zip-" + std::to_string(getpid()));
    fs::create_directories(root);
    std::uint64_t bytes = makeData(root + "/data");
    sync();
    std::string self = fs::read_symlink("/proc/self/exe");

    // 0: ours, traditional; 1: zip -P; 2: ours, AES-256; 3: 7z AES-256.
    constexpr int kTools = 4;
    std::vector<double> seconds[kTools], cpuSeconds[kTools];
    long peakKiB[kTools] = {0, 0, 0, 0};
    std::uintmax_t archiveSize[kTools] = {0, 0, 0, 0};
    const std::string password = kPassword;
    for (int round = 0; round < kRounds; ++round) {
        for (int which = 0; which < kTools; ++which) {
            // Rotate who goes first so no one always meets a warmer cache.
            int tool = (which + round) % kTools;
            std::string archive = root + "/" + std::to_string(tool) + ".zip";
            fs::remove(archive);
            bench::CommandCost m;
            switch (tool) {
            case 0: m = bench::runCommand({self, "--write", archive, root, "data"}, false, root); break;
            case 1: m = bench::runCommand({"zip", "-q", "-r", "-P", kPassword, archive, "data"}, false, root); break;
            case 2: m = bench::runCommand({self, "--write", archive, root, "data", "aes"}, false, root); break;
            default:
                m = bench::runCommand({"7z", "a", "-bd", "-bso0", "-tzip", "-mem=AES256", "-p" + password, archive, "data"},
                                      false, root);
            }
            seconds[tool].push_back(m.seconds);
            cpuSeconds[tool].push_back(m.cpuSeconds);
            peakKiB[tool] = std::max(peakKiB[tool], m.peakKiB);
            archiveSize[tool] = fs::exists(archive) ? fs::file_size(archive) : 0;
        }
    }
    fs::remove_all(root);

    double mib = double(bytes) / double(kMiB);
    double ours = mib / median(cpuSeconds[0]), zip = mib / median(cpuSeconds[1]);
    double oursWall = mib / median(seconds[0]), zipWall = mib / median(seconds[1]);
    std::printf("zip archive of %.0f MiB (half text, half random), password, default level, median of %d rounds\n", mib, kRounds);
    std::printf("  ZipArchiveWriter %6.1f MiB per CPU second  %6.1f MiB/s wall  peak RSS %5.1f MiB  archive %6.1f MiB\n", ours,
                oursWall, peakKiB[0] / 1024.0, double(archiveSize[0]) / double(kMiB));
    std::printf("  zip -r -P        %6.1f MiB per CPU second  %6.1f MiB/s wall  peak RSS %5.1f MiB  archive %6.1f MiB\n", zip,
                zipWall, peakKiB[1] / 1024.0, double(archiveSize[1]) / double(kMiB));
    std::printf("  ratio (ours/zip throughput) %.2f per CPU second %s, %.2f wall; our peak RSS %s 50 MiB\n", ours / zip,
                ours / zip >= 1.0 ? "" : "(below 1.0)", oursWall / zipWall, peakKiB[0] < 50 * 1024 ? "under" : "OVER");
    bench::tableRow("zip with password, per CPU second", bench::format("%.1f MiB/s", ours),
                    bench::format("zip -r -P %.1f MiB/s", zip), ours / zip, "ratio >= 1");
    bench::tableRow("zip with password, wall", bench::format("%.1f MiB/s", oursWall),
                    bench::format("zip -r -P %.1f MiB/s", zipWall), oursWall / zipWall);
    bench::tableRow("zip with password, peak RSS", bench::format("%.1f MiB", peakKiB[0] / 1024.0),
                    bench::format("zip -r -P %.1f MiB", peakKiB[1] / 1024.0), 0, "< 50 MiB");

    double aes = mib / median(cpuSeconds[2]), sevenZip = mib / median(cpuSeconds[3]);
    double aesWall = mib / median(seconds[2]), sevenZipWall = mib / median(seconds[3]);
    std::printf("zip archive of %.0f MiB, AES-256, median of %d rounds\n", mib, kRounds);
    std::printf("  ZipArchiveWriter %6.1f MiB per CPU second  %6.1f MiB/s wall  peak RSS %5.1f MiB  archive %6.1f MiB\n", aes,
                aesWall, peakKiB[2] / 1024.0, double(archiveSize[2]) / double(kMiB));
    std::printf("  7z -mem=AES256   %6.1f MiB per CPU second  %6.1f MiB/s wall  peak RSS %5.1f MiB  archive %6.1f MiB\n",
                sevenZip, sevenZipWall, peakKiB[3] / 1024.0, double(archiveSize[3]) / double(kMiB));
    std::printf("  ratio (ours/7z throughput) %.2f per CPU second, %.2f wall\n", aes / sevenZip, aesWall / sevenZipWall);
    bench::tableRow("zip with AES-256, per CPU second", bench::format("%.1f MiB/s", aes),
                    bench::format("7z -mem=AES256 %.1f MiB/s", sevenZip), aes / sevenZip);
    bench::tableRow("zip with AES-256, wall", bench::format("%.1f MiB/s", aesWall),
                    bench::format("7z -mem=AES256 %.1f MiB/s", sevenZipWall), aesWall / sevenZipWall);
    return 0;
}
