// SPDX-License-Identifier: GPL-3.0-or-later
// Moves 10,000 small files into a folder with the "Move to a folder" run and with mv, on one file
// system and across file systems (a tmpfs and the disk), and prints the throughput ratio.
#include "RunBenchSupport.h"
#include "model/OVMoveToAction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int kFiles = std::getenv("ORVANE_BENCH_FILES") ? std::atoi(std::getenv("ORVANE_BENCH_FILES")) : 10000;
constexpr int kRounds = 3;

using bench::makeTemporaryFolder;

std::vector<std::string> makeFiles(const std::string& folder)
{
    std::filesystem::create_directories(folder);
    std::vector<std::string> paths;
    paths.reserve(kFiles);
    std::string body(512, 'x');
    for (int i = 0; i < kFiles; ++i) {
        std::string path = folder + "/file-" + std::to_string(i) + ".txt";
        std::ofstream(path, std::ios::binary) << body << i;
        paths.push_back(std::move(path));
    }
    return paths;
}

// Writes back everything pending on both file systems, so that no round pays for the one before.
void flushFileSystems(const std::string& sourceRoot, const std::string& destinationRoot)
{
    for (const std::string& root : {sourceRoot, destinationRoot}) {
        int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            syncfs(fd);
            close(fd);
        }
    }
    sync();
}

double moveWithAction(const std::vector<std::string>& paths, const std::string& destination)
{
    auto action = OVAction::action<OVMoveToAction>();
    action->setDestinationURL(destination);
    return bench::timeRun(*action, paths);
}

double moveWithMv(const std::vector<std::string>& paths, const std::string& destination)
{
    std::vector<std::string> args = {"mv", "-t", destination};
    args.insert(args.end(), paths.begin(), paths.end());
    return bench::timeCommand(std::move(args));
}

void compare(const char* label, const std::string& sourceRoot, const std::string& destinationRoot)
{
    auto best = bench::bestOfInterleaved(kRounds, [&](int tool) {
        std::string src = makeTemporaryFolder(sourceRoot, "src");
        std::string dst = makeTemporaryFolder(destinationRoot, "dst");
        auto paths = makeFiles(src + "/files");
        flushFileSystems(sourceRoot, destinationRoot); // no round pays for the one before
        double t = tool == 0 ? moveWithAction(paths, dst) : moveWithMv(paths, dst);
        std::filesystem::remove_all(src);
        std::filesystem::remove_all(dst);
        return t;
    });
    std::printf("%-28s ours %8.1f ms   mv %8.1f ms   ratio (ours/mv throughput) %.2f %s\n", label, best[0] * 1000,
                best[1] * 1000, best[1] / best[0], best[1] / best[0] >= 0.9 ? "" : "(below 0.9)");
    bench::tableRow(std::string("move, ") + label, bench::format("%.1f ms", best[0] * 1000),
                    bench::format("mv %.1f ms", best[1] * 1000), best[1] / best[0], "ratio >= 0.9");
}

} // namespace

int main()
{
    std::string home = bench::makeQuietRunnerHome();

    std::string disk = bench::diskFolder();
    std::printf("%d files of about 512 bytes, best of %d rounds each\n", kFiles, kRounds);
    compare("same file system (disk)", disk, disk);
    struct stat shm, diskStat;
    if (stat("/dev/shm", &shm) == 0 && stat(disk.c_str(), &diskStat) == 0 && shm.st_dev != diskStat.st_dev
        && access("/dev/shm", W_OK) == 0) {
        compare("same file system (tmpfs)", "/dev/shm", "/dev/shm");
        compare("disk -> tmpfs", disk, "/dev/shm");
        compare("tmpfs -> disk", "/dev/shm", disk);
    } else {
        std::printf("no separate tmpfs at /dev/shm: cross-file-system runs skipped\n");
    }
    std::filesystem::remove_all(home);
    return 0;
}
