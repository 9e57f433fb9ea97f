// SPDX-License-Identifier: GPL-3.0-or-later
// Copies a 1 GiB file and a tree of 10,000 small files into a folder with the "Copy to a folder"
// run and with cp -r, the page cache emptied before each round, and prints the throughput ratio.
#include "RunBenchSupport.h"
#include "model/OVCopyToAction.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

int setting(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

const int kRounds = setting("ORVANE_BENCH_ROUNDS", 3);
const int kFiles = setting("ORVANE_BENCH_FILES", 10000);
const long kLargeMiB = setting("ORVANE_BENCH_LARGE_MIB", 1024);

void makeLargeFile(const std::string& path)
{
    std::vector<char> block(1 << 20);
    std::mt19937 random(42);
    for (auto& c : block)
        c = char(random());
    std::ofstream out(path, std::ios::binary);
    for (long i = 0; i < kLargeMiB; ++i) {
        block[0] = char(i); // no two blocks alike
        out.write(block.data(), std::streamsize(block.size()));
    }
}

void makeTree(const std::string& root)
{
    const int perFolder = 100;
    for (int i = 0; i < kFiles; ++i) {
        std::string folder = root + "/folder-" + std::to_string(i / perFolder);
        if (i % perFolder == 0)
            std::filesystem::create_directories(folder);
        std::ofstream(folder + "/file-" + std::to_string(i) + ".txt", std::ios::binary)
            << std::string(std::size_t(200 + (i * 37) % 3800), 'x');
    }
}

std::uintmax_t treeBytes(const std::string& path)
{
    if (!std::filesystem::is_directory(path))
        return std::filesystem::file_size(path);
    std::uintmax_t total = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(path))
        if (e.is_regular_file())
            total += e.file_size();
    return total;
}

void compare(const char* label, const std::string& source, const std::string& disk, bool* flushed)
{
    const std::uintmax_t bytes = treeBytes(source);
    auto best = bench::bestOfInterleaved(kRounds, [&](int tool) {
        std::string dst = bench::makeTemporaryFolder(disk, "dst");
        *flushed = bench::flushFileSystems();
        double t;
        if (tool == 0) {
            auto action = OVAction::action<OVCopyToAction>();
            action->setDestinationURL(dst);
            t = bench::timeRun(*action, {source});
        } else {
            t = bench::timeCommand({"cp", "-r", source, dst + "/"});
        }
        std::string copy = dst + "/" + std::filesystem::path(source).filename().string();
        if (treeBytes(copy) != bytes) {
            std::fprintf(stderr, "%s: the copy is incomplete\n", tool == 0 ? "ours" : "cp");
            std::exit(1);
        }
        std::filesystem::remove_all(dst);
        return t;
    });
    const double mb = double(bytes) / 1e6;
    std::printf("%-28s ours %8.1f ms (%7.1f MB/s)   cp -r %8.1f ms (%7.1f MB/s)   ratio (ours/cp throughput) %.2f %s\n",
                label, best[0] * 1000, mb / best[0], best[1] * 1000, mb / best[1], best[1] / best[0],
                best[1] / best[0] >= 0.95 ? "" : "(below 0.95)");
    bench::tableRow(std::string("copy, ") + label, bench::format("%.1f MB/s", mb / best[0]),
                    bench::format("cp -r %.1f MB/s", mb / best[1]), best[1] / best[0], "ratio >= 0.95");
}

} // namespace

int main()
{
    std::string home = bench::makeQuietRunnerHome();
    std::string disk = bench::diskFolder();

    std::string sources = bench::makeTemporaryFolder(disk, "src");
    makeLargeFile(sources + "/large.bin");
    makeTree(sources + "/tree");
    sync();

    bool flushed = false;
    std::printf("best of %d rounds each, on %s\n", kRounds, disk.c_str());
    compare(("one file of " + std::to_string(kLargeMiB) + " MiB").c_str(), sources + "/large.bin", disk, &flushed);
    compare((std::to_string(kFiles) + " small files").c_str(), sources + "/tree", disk, &flushed);
    std::printf(flushed ? "the page cache was emptied before every round\n"
                        : "only synced before every round (emptying the page cache needs root)\n");
    std::filesystem::remove_all(sources);
    std::filesystem::remove_all(home);
    return 0;
}
