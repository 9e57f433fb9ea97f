// Moves 10,000 small files into a folder with the "Move to a folder" run and with mv, on one file
// system and across file systems (a tmpfs and the disk), and prints the throughput ratio.
#include "model/OVMoveToAction.h"
#include "model/OVUserDefaults.h"
#include "platform/MainContext.h"
#include "platform/Workspace.h"
#include "runner/OVRunBehaviours.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const int kFiles = std::getenv("ORVANE_BENCH_FILES") ? std::atoi(std::getenv("ORVANE_BENCH_FILES")) : 10000;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

std::string makeTemporaryFolder(const std::string& parent, const char* tag)
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
    bool done = false, success = false;
    auto start = Clock::now();
    action->runWithFilePaths(paths, [&](bool ok, std::optional<OVError>) {
        done = true;
        success = ok;
    });
    ov::iterateMainUntil([&] { return done; }, 600000);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!success) {
        std::fprintf(stderr, "the move run failed\n");
        std::exit(1);
    }
    return seconds;
}

double moveWithMv(const std::vector<std::string>& paths, const std::string& destination)
{
    std::vector<std::string> args = {"mv", "-t", destination};
    args.insert(args.end(), paths.begin(), paths.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    auto start = Clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, "mv", nullptr, nullptr, argv.data(), environ) != 0) {
        std::perror("mv");
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "mv failed\n");
        std::exit(1);
    }
    return seconds;
}

void compare(const char* label, const std::string& sourceRoot, const std::string& destinationRoot)
{
    double best[2] = {1e9, 1e9};
    // Ours, mv, ours, mv...: a slow spell of the machine falls on both tools alike.
    for (int round = 0; round < kRounds; ++round) {
        for (int tool = 0; tool < 2; ++tool) {
            std::string src = makeTemporaryFolder(sourceRoot, "src");
            std::string dst = makeTemporaryFolder(destinationRoot, "dst");
            auto paths = makeFiles(src + "/files");
            flushFileSystems(sourceRoot, destinationRoot);
            double t = tool == 0 ? moveWithAction(paths, dst) : moveWithMv(paths, dst);
            if (t < best[tool])
                best[tool] = t;
            std::filesystem::remove_all(src);
            std::filesystem::remove_all(dst);
        }
    }
    std::printf("%-28s ours %8.1f ms   mv %8.1f ms   ratio (ours/mv throughput) %.2f %s\n", label, best[0] * 1000,
                best[1] * 1000, best[1] / best[0], best[1] / best[0] >= 0.9 ? "" : "(below 0.9)");
}

} // namespace

int main()
{
    // Private preferences: no notifications, no file-manager windows.
    std::string home = makeTemporaryFolder("/var/tmp", "home");
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    std::filesystem::create_directories(home + "/config");
    std::filesystem::create_directories(home + "/data");
    ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[](const std::string&, const std::vector<std::string>&) {}});
    {
        auto defaults = OVUserDefaults::create();
        defaults->setDisableActionNotifications(true);
        defaults->setShowFileOnMoveCopyComplete(false);
    }
    OVRegisterRunBehaviours();

    std::string disk = "/var/tmp";
    if (access(disk.c_str(), W_OK) != 0)
        disk = std::filesystem::current_path().string();
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
