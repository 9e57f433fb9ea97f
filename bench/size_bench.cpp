// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the size of a tree of 100,000 files with the copy windows' size calculator and with
// du -sb, from a cold page cache (where it can be emptied) and a warm one, and prints the ratio.
#include "BenchSupport.h"
#include "runner/HLFileSizeCalculator.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const int kRounds = std::getenv("ORVANE_BENCH_ROUNDS") ? std::atoi(std::getenv("ORVANE_BENCH_ROUNDS")) : 3;
const int kFiles = std::getenv("ORVANE_BENCH_SIZE_FILES") ? std::atoi(std::getenv("ORVANE_BENCH_SIZE_FILES")) : 100000;

void makeTree(const std::string& root)
{
    // 10 folders of 100 folders of 100 files, with some hidden ones and links among them.
    for (int i = 0; i < kFiles; ++i) {
        std::string folder = root + "/" + std::to_string(i / 10000) + "/" + std::to_string(i / 100);
        if (i % 100 == 0)
            std::filesystem::create_directories(folder);
        std::string name = (i % 50 == 0 ? ".hidden-" : "file-") + std::to_string(i);
        if (i % 100 == 99)
            std::filesystem::create_symlink("file-" + std::to_string(i - 1), folder + "/" + name);
        else
            std::ofstream(folder + "/" + name, std::ios::binary) << std::string(std::size_t(i % 97), 'x');
    }
}

void compare(const char* label, const std::string& tree, bool flushFirst)
{
    std::int64_t measured = 0;
    auto best = bench::bestOfInterleaved(kRounds, [&](int tool) {
        if (flushFirst)
            bench::flushFileSystems();
        if (tool == 1)
            return bench::timeCommand({"du", "-sb", tree}, true);
        auto start = bench::Clock::now();
        measured = HLFileSizeCalculator().fileSizeForPath(tree);
        return bench::secondsSince(start);
    });
    std::printf("%-22s ours %8.1f ms   du -sb %8.1f ms   ratio (du time / ours) %.2f %s  (%lld bytes)\n", label,
                best[0] * 1000, best[1] * 1000, best[1] / best[0], best[1] / best[0] >= 1.0 ? "" : "(below 1.0)",
                static_cast<long long>(measured));
    bench::tableRow(std::string("folder size, ") + label, bench::format("%.1f ms", best[0] * 1000),
                    bench::format("du -sb %.1f ms", best[1] * 1000), best[1] / best[0], "ratio >= 1");
}

} // namespace

int main()
{
    std::string root = bench::makeTemporaryFolder(bench::diskFolder(), "size");
    makeTree(root + "/tree");
    sync();
    std::printf("%d files, best of %d rounds each\n", kFiles, kRounds);
    if (bench::flushFileSystems())
        compare("cold page cache", root + "/tree", true);
    else
        std::printf("cold page cache: skipped (emptying it needs root)\n");
    compare("warm page cache", root + "/tree", false);
    std::filesystem::remove_all(root);
    return 0;
}
