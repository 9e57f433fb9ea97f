// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the benchmarks: resident memory, a private home for the shared container, catalogue-like
// actions.
#pragma once

#include "model/OVActionGroup.h"
#include "model/OVMoveToAction.h"

#include <glib.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

inline long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// A fresh folder with its own XDG_DATA_HOME and XDG_CONFIG_HOME, so nothing of the user's is read.
inline std::string makePrivateHome()
{
    char* tmp = g_dir_make_tmp("orvane-bench-XXXXXX", nullptr);
    std::string home = tmp;
    g_free(tmp);
    g_setenv("XDG_DATA_HOME", (home + "/data").c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), TRUE);
    return home;
}

// The children of a catalogue folder group: Documents, Pictures and Desktop.
inline void addFolderChildren(OVActionGroup& group)
{
    for (const char* folder : {"Documents", "Pictures", "Desktop"}) {
        auto child = OVAction::action<OVMoveToAction>();
        child->setTitle(folder);
        child->setDestinationURL(std::string("/home/user/") + folder);
        group.addAction(child);
    }
}

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A new folder under parent; ends the benchmark when it cannot be made.
inline std::string makeTemporaryFolder(const std::string& parent, const char* tag)
{
    std::string tmpl = parent + "/orvane-bench-" + tag + "-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) {
        std::perror(("mkdtemp in " + parent).c_str());
        std::exit(1);
    }
    return name.data();
}

// What a finished program cost: wall time, CPU time of it and its children, and peak memory.
struct CommandCost {
    double seconds = 0;
    double cpuSeconds = 0; // the fair figure on a machine shared with other work
    long peakKiB = 0;
};

// Runs a program found on PATH (its output thrown away when quiet, in cwd when given) and answers
// what it cost; ends the benchmark when it fails.
inline CommandCost runCommand(std::vector<std::string> args, bool quiet = false, const std::string& cwd = {})
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    auto start = Clock::now();
    pid_t pid;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    const auto cpu = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    CommandCost cost{secondsSince(start), cpu(usage.ru_utime) + cpu(usage.ru_stime), usage.ru_maxrss};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return cost;
}

// The seconds a program took (see runCommand).
inline double timeCommand(std::vector<std::string> args, bool quiet = false)
{
    return runCommand(std::move(args), quiet).seconds;
}

// A folder on the disk to work in: /var/tmp, else the current folder.
inline std::string diskFolder()
{
    return access("/var/tmp", W_OK) == 0 ? std::string("/var/tmp") : std::filesystem::current_path().string();
}

// Runs two contenders (0: ours, 1: the peer tool) for the given rounds, alternating which goes
// first so that neither always meets the other's leftovers, and answers the best time of each.
template <typename Run>
std::array<double, 2> bestOfInterleaved(int rounds, Run run)
{
    std::array<double, 2> best = {1e9, 1e9};
    for (int round = 0; round < rounds; ++round)
        for (int which = 0; which < 2; ++which) {
            const int contender = round % 2 == 0 ? which : 1 - which;
            best[contender] = std::min(best[contender], double(run(contender)));
        }
    return best;
}

// Writes everything out and, where permitted (root), empties the page cache, so that each round
// starts from the disk. Answers whether the cache was emptied.
inline bool flushFileSystems()
{
    sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    if (!drop)
        return false;
    drop << "3\n";
    drop.flush();
    return bool(drop);
}

inline std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline std::string format(const char* fmt, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

// One row of the table that bench/run prints from every benchmark: our figure, the peer tool's
// figure from the same run, their ratio as the peer's time over ours (above 1 we are faster; 0
// when nothing is compared) and the target. The mark lets the script pick the row out of the
// benchmark's own text.
inline void tableRow(const std::string& measure, const std::string& ours, const std::string& peer = {},
                     double speedRatio = 0, const std::string& target = {})
{
    std::printf("@row\t%s\t%s\t%s\t%s\t%s\n", measure.c_str(), ours.c_str(), peer.c_str(),
                speedRatio > 0 ? format("%.2f", speedRatio).c_str() : "", target.c_str());
}

} // namespace bench
