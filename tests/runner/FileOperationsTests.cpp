// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MovingItems.h"
#include "platform/Replacing.h"

#include "CopyTestSupport.h"
#include "support/TestSupport.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

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

// The hidden temporary items in a folder.
std::vector<std::string> temporaries(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind(".orvane-", 0) == 0)
            found.push_back(e.path().filename().string());
    return found;
}

// T/photos holding important.txt, more/b.jpg and the folder photos/a.jpg.
struct PhotosTree {
    explicit PhotosTree(const ovtest::TempHome& home)
        : top(home.makeFolder("T")), photos(top + "/photos"), inner(photos + "/photos")
    {
        home.writeFile("T/photos/photos/a.jpg", "a");
        home.writeFile("T/photos/important.txt", "important");
        home.writeFile("T/photos/more/b.jpg", "b");
    }
    void expectWhole() const
    {
        EXPECT_EQ(ovtest::readAll(inner + "/a.jpg"), "a");
        EXPECT_EQ(ovtest::readAll(photos + "/important.txt"), "important");
        EXPECT_EQ(ovtest::readAll(photos + "/more/b.jpg"), "b");
        EXPECT_TRUE(temporaries(top).empty());
    }
    std::string top, photos, inner;
};

TEST(FileOperations, ReplacingNeverRemovesTheSourceNorWhatHoldsIt)
{
    ovtest::TempHome home;
    PhotosTree tree(home);

    // The item to be replaced is the source's own parent.
    auto r = ov::moveItem(tree.inner, tree.photos, false);
    EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
    EXPECT_EQ(r.error.code, EINVAL);
    EXPECT_NE(r.error.message.find("holds"), std::string::npos) << r.error.message;
    tree.expectWhole();

    // Named through a link to the folder above it.
    ASSERT_EQ(symlink(tree.top.c_str(), (home.path() + "/link").c_str()), 0);
    r = ov::moveItem(home.path() + "/link/photos/photos", tree.photos, false);
    EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
    tree.expectWhole();

    // A link would take the place of what it leads to, or of the folder that holds it.
    ASSERT_EQ(symlink((tree.photos + "/important.txt").c_str(), (home.path() + "/important.txt").c_str()), 0);
    r = ov::moveItem(home.path() + "/important.txt", tree.photos + "/important.txt", false);
    EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
    ASSERT_EQ(symlink((tree.photos + "/more").c_str(), (home.path() + "/photos").c_str()), 0);
    r = ov::moveItem(home.path() + "/photos", tree.photos, false);
    EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
    tree.expectWhole();
    EXPECT_EQ(ov::judgeReplacing(home.path() + "/photos", tree.photos), ov::Replacing::Refused);

    // The same item by another name has nothing to replace; an unrelated one may be replaced.
    EXPECT_EQ(ov::judgeReplacing(home.path() + "/link/photos", tree.photos), ov::Replacing::SameItem);
    EXPECT_EQ(ov::judgeReplacing(tree.photos + "/more", tree.photos + "/photos"), ov::Replacing::Allowed);
    EXPECT_EQ(ov::judgeReplacing(tree.inner, tree.top + "/nothing"), ov::Replacing::Allowed);
}

TEST(FileOperations, ReplacingThroughABindMountSeesTheSameFolder)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "bind mounts need root";
    ovtest::TempHome home;
    PhotosTree tree(home);
    std::string view = home.makeFolder("view");
    if (::mount(tree.top.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "mounting is not permitted here";
    ovtest::Restore unmount([view] { ::umount2(view.c_str(), MNT_DETACH); });
    // Another mount: renaming fails with EXDEV and the move copies, but the folder that would be
    // replaced is still the one that holds the source.
    auto r = ov::moveItem(view + "/photos/photos", tree.photos, false);
    EXPECT_EQ(r.outcome, ov::FileOutcome::Failed);
    EXPECT_EQ(r.error.code, EINVAL);
    tree.expectWhole();
}

TEST(FileOperations, AMoveAcrossFileSystemsTakesItsNameOnlyWhenComplete)
{
    SharedMemoryFolder other;
    if (other.path.empty())
        GTEST_SKIP() << "no second file system at /dev/shm";
    for (bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "not replacing");
        ovtest::TempHome home;
        home.writeFile("tree/a", std::string(300000, 'a'));
        home.writeFile("tree/gate", "g");
        home.writeFile("tree/z", "z");
        const std::string dst = other.path + "/tree";
        if (replacing)
            std::ofstream(dst) << "old";

        CopyGate gate("/tree/gate");
        ov::MoveResult r;
        std::thread mover([&] { r = ov::moveItem(home.path() + "/tree", dst, !replacing); });
        const bool held = ovtest::pumpUntil([&] { return gate.reached(); }, 10000);
        if (held) {
            if (replacing)
                EXPECT_EQ(ovtest::readAll(dst), "old");
            else
                EXPECT_FALSE(exists(dst));
            EXPECT_EQ(temporaries(other.path).size(), 1u);
        }
        gate.release();
        mover.join();
        ASSERT_TRUE(held);

        EXPECT_EQ(r.outcome, ov::FileOutcome::Done) << r.error.message;
        EXPECT_EQ(ovtest::readAll(dst + "/a"), std::string(300000, 'a'));
        EXPECT_EQ(ovtest::readAll(dst + "/z"), "z");
        EXPECT_FALSE(exists(home.path() + "/tree"));
        EXPECT_TRUE(temporaries(other.path).empty());
        ovtest::removeTree(dst);
    }
}

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
    EXPECT_TRUE(temporaries(shm).empty());
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
