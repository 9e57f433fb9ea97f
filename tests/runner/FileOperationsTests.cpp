#include "platform/FileOperations.h"

#include "support/TestSupport.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// A fresh folder on /dev/shm, a file system of its own, removed again however the test ends.
// Empty when there is none or when it shares a file system with the temporary homes.
struct SharedMemoryFolder {
    std::string path;
    SharedMemoryFolder()
    {
        if (access("/dev/shm", W_OK) != 0)
            return;
        char tmpl[] = "/dev/shm/orvane-fileops-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        path = tmpl;
        struct stat shm, home;
        if (stat(path.c_str(), &shm) != 0 || stat(g_get_tmp_dir(), &home) != 0 || shm.st_dev == home.st_dev) {
            ovtest::removeTree(path);
            path.clear();
        }
    }
    ~SharedMemoryFolder()
    {
        if (!path.empty())
            ovtest::removeTree(path);
    }
};

TEST(FileOperations, MoveWithoutReplacingNeverTouchesAnExistingItem)
{
    ovtest::TempHome home;
    std::string src = home.writeFile("a.txt", "new");
    // Appeared at the chosen name after the name was checked.
    std::string dst = home.writeFile("dest/a.txt", "someone else's");
    auto r = ov::moveItem(src, dst, true);
    EXPECT_EQ(r.outcome, ov::FileOutcome::DestinationExists);
    EXPECT_EQ(ovtest::readAll(dst), "someone else's");
    EXPECT_EQ(ovtest::readAll(src), "new");
}

TEST(FileOperations, AcrossFileSystemsWithoutReplacingLeavesBothAlone)
{
    SharedMemoryFolder other;
    if (other.path.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    const std::string& shm = other.path;
    ovtest::TempHome home;
    std::string src = home.writeFile("tree/a.txt", "new");
    std::string dst = shm + "/tree";
    std::filesystem::create_directories(dst);
    auto r = ov::moveItem(home.path() + "/tree", dst, true);
    EXPECT_EQ(r.outcome, ov::FileOutcome::DestinationExists);
    EXPECT_TRUE(std::filesystem::is_empty(dst));
    EXPECT_EQ(ovtest::readAll(src), "new");
}

TEST(FileOperations, ReplacingAcrossFileSystemsSwapsFolders)
{
    SharedMemoryFolder other;
    if (other.path.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    const std::string& shm = other.path;
    ovtest::TempHome home;
    home.writeFile("tree/new.txt", "new");
    std::filesystem::create_directories(shm + "/tree");
    std::ofstream(shm + "/tree/old.txt") << "old";
    auto r = ov::moveItem(home.path() + "/tree", shm + "/tree", false);
    EXPECT_EQ(r.outcome, ov::FileOutcome::Done) << r.error.message;
    EXPECT_FALSE(r.oldItemError);
    EXPECT_EQ(ovtest::readAll(shm + "/tree/new.txt"), "new");
    EXPECT_FALSE(exists(shm + "/tree/old.txt"));
    EXPECT_FALSE(exists(home.path() + "/tree"));
}

TEST(FileOperations, FailedCopyAcrossFileSystemsRemovesThePartialCopy)
{
    SharedMemoryFolder other;
    if (other.path.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    const std::string& shm = other.path;
    ovtest::TempHome home;
    // Deep enough that the copy runs out of descriptors halfway down.
    std::string deep = home.path() + "/tree";
    for (int i = 0; i < 40; ++i)
        deep += "/d";
    std::filesystem::create_directories(deep);
    std::ofstream(deep + "/leaf.txt") << "leaf";
    std::ofstream(home.path() + "/tree/top.txt") << "top";

    std::size_t open = 0;
    for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        ++open;
    }
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit tight = old;
    tight.rlim_cur = open + 20;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    auto r = ov::moveItem(home.path() + "/tree", shm + "/tree", true);
    setrlimit(RLIMIT_NOFILE, &old);

    EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
    EXPECT_EQ(r.error.code, EMFILE);
    EXPECT_FALSE(exists(shm + "/tree"));
    EXPECT_EQ(ovtest::readAll(deep + "/leaf.txt"), "leaf");
    EXPECT_EQ(ovtest::readAll(home.path() + "/tree/top.txt"), "top");
}

TEST(FileOperations, AcrossFileSystemsASourceThatChangedDuringTheCopyIsKept)
{
    SharedMemoryFolder other;
    if (other.path.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    ovtest::TempHome home;

    // Written to after it was copied: the move fails, the copy and the newer source both stay.
    home.writeFile("tree/a.txt", "copied");
    {
        ov::ScopedMoveAcrossHook hook([](const std::string& src) { std::ofstream(src + "/a.txt", std::ios::app) << " and then some"; });
        auto r = ov::moveItem(home.path() + "/tree", other.path + "/tree", true);
        EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
        EXPECT_EQ(r.error.code, EBUSY) << r.error.message;
        EXPECT_TRUE(r.destinationKept);
    }
    EXPECT_EQ(ovtest::readAll(home.path() + "/tree/a.txt"), "copied and then some");
    EXPECT_EQ(ovtest::readAll(other.path + "/tree/a.txt"), "copied");

    // Replaced by another file of the same size and time while replacing at the destination.
    const std::string src = home.writeFile("b.txt", "first");
    const std::string stranger = home.writeFile("c.txt", "again");
    struct stat st;
    ASSERT_EQ(stat(src.c_str(), &st), 0);
    std::ofstream(other.path + "/b.txt") << "old";
    {
        ov::ScopedMoveAcrossHook hook([&](const std::string& from) {
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            utimensat(AT_FDCWD, stranger.c_str(), times, 0);
            std::rename(stranger.c_str(), from.c_str());
        });
        auto r = ov::moveItem(src, other.path + "/b.txt", false);
        EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
        EXPECT_EQ(r.error.code, EBUSY) << r.error.message;
        EXPECT_TRUE(r.destinationKept);
    }
    EXPECT_EQ(ovtest::readAll(src), "again");
    EXPECT_EQ(ovtest::readAll(other.path + "/b.txt"), "first");
}

TEST(FileOperations, CopyNeverOverwritesAndDropsSetIdBits)
{
    ovtest::TempHome home;
    std::string src = home.writeFile("template", "T");
    ASSERT_EQ(chmod(src.c_str(), 04755), 0);
    std::string dst = home.writeFile("taken", "mine");
    EXPECT_EQ(ov::copyItem(src, dst).outcome, ov::FileOutcome::DestinationExists);
    EXPECT_EQ(ovtest::readAll(dst), "mine");

    std::string fresh = home.path() + "/fresh";
    ASSERT_EQ(ov::copyItem(src, fresh).outcome, ov::FileOutcome::Done);
    struct stat st;
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(ovtest::readAll(fresh), "T");
}

} // namespace
