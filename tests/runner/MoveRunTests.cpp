// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunnerTestSupport.h"

#include "model/OVMoveToAction.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

class MoveRunTest : public RunBehaviourTest {
protected:
    std::shared_ptr<OVMoveToAction> moveAction(const std::string& destination)
    {
        auto action = OVAction::action<OVMoveToAction>();
        action->setDestinationURL(destination);
        return action;
    }
    void setOverwrite(bool on) { OVUserDefaults::create()->setOverwriteDestinationFile(on); }
};

TEST_F(MoveRunTest, MovesItemsAndAnnouncesThemWithAShowButton)
{
    std::string dest = folder("dest");
    std::string a = write("src/a.txt", "A");
    std::string b = write("src/b.txt", "B");
    OVUserDefaults::create()->setShowFileOnMoveCopyComplete(true);

    auto result = run(*moveAction(dest), {a, b});
    EXPECT_TRUE(result.success);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(ovtest::readAll(dest + "/a.txt"), "A");
    EXPECT_EQ(ovtest::readAll(dest + "/b.txt"), "B");
    EXPECT_FALSE(exists(a));
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].title, "Orvane");
    EXPECT_EQ(notifications[0].informativeText, "Finished moving 2 files");
    EXPECT_EQ(notifications[0].actionButtonTitle, "Show");
    EXPECT_TRUE(notifications[0].playsDefaultSound);
    EXPECT_EQ(notifications[0].paths, (std::vector<std::string>{dest + "/a.txt", dest + "/b.txt"}));
    EXPECT_EQ(calls("revealFiles"), (std::vector<std::vector<std::string>>{{dest + "/a.txt", dest + "/b.txt"}}));
}

TEST_F(MoveRunTest, DestinationItselfIsSkipped)
{
    std::string dest = folder("dest");
    auto result = run(*moveAction(dest), {dest});
    EXPECT_TRUE(result.success);
    EXPECT_TRUE(log.contains("Skipping: " + dest));
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "Finished moving 0 files");
    EXPECT_TRUE(exists(dest));
}

TEST_F(MoveRunTest, ItemAlreadyInTheFolderWithOverwriteCountsAsMoved)
{
    std::string dest = folder("dest");
    std::string report = write("dest/Report.txt", "R");
    setOverwrite(true);
    auto result = run(*moveAction(dest), {report});
    EXPECT_TRUE(result.success);
    EXPECT_TRUE(log.contains("Skipping: " + report));
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "Finished moving 'Report.txt'");
    EXPECT_EQ(notifications[0].path, report);
    EXPECT_EQ(ovtest::readAll(report), "R");
}

TEST_F(MoveRunTest, ItemAlreadyInTheFolderWithoutOverwriteGetsTheNextName)
{
    std::string dest = folder("dest");
    std::string report = write("dest/Report.txt", "R");
    auto result = run(*moveAction(dest), {report});
    EXPECT_TRUE(result.success);
    EXPECT_FALSE(exists(report));
    EXPECT_EQ(ovtest::readAll(dest + "/Report 2.txt"), "R");
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "Finished moving 'Report 2.txt'");
}

TEST_F(MoveRunTest, ExistingItemIsKeptOrReplacedByThePreference)
{
    std::string dest = folder("dest");
    write("dest/a.txt", "old");
    std::string a = write("src/a.txt", "new");
    EXPECT_TRUE(run(*moveAction(dest), {a}).success);
    EXPECT_EQ(ovtest::readAll(dest + "/a.txt"), "old");
    EXPECT_EQ(ovtest::readAll(dest + "/a 2.txt"), "new");

    setOverwrite(true);
    a = write("src/a.txt", "newer");
    EXPECT_TRUE(run(*moveAction(dest), {a}).success);
    EXPECT_EQ(ovtest::readAll(dest + "/a.txt"), "newer");
    EXPECT_FALSE(exists(a));
}

TEST_F(MoveRunTest, OverwriteReplacesAFolderWithAFileAndBack)
{
    std::string dest = folder("dest");
    write("dest/item/inside.txt", "old folder");
    std::string file = write("src/item", "file");
    setOverwrite(true);
    ASSERT_TRUE(run(*moveAction(dest), {file}).success);
    EXPECT_EQ(ovtest::readAll(dest + "/item"), "file");

    write("src2/item/deep/x.txt", "folder");
    ASSERT_TRUE(run(*moveAction(dest), {home.path() + "/src2/item"}).success);
    EXPECT_EQ(ovtest::readAll(dest + "/item/deep/x.txt"), "folder");
    // No temporary names are left behind.
    std::size_t entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dest)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST_F(MoveRunTest, OverwriteKeepsTheOldItemWhenTheMoveFails)
{
    std::string dest = folder("dest");
    write("dest/a.txt", "old");
    setOverwrite(true);
    auto result = run(*moveAction(dest), {home.path() + "/src/a.txt"}); // gone before the move
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENOENT);
    EXPECT_EQ(ovtest::readAll(dest + "/a.txt"), "old");
    EXPECT_TRUE(log.contains("Could not move because of error: "));
}

TEST_F(MoveRunTest, DeletedDestinationFailsSilently)
{
    std::string a = write("src/a.txt", "A");
    auto result = run(*moveAction(home.path() + "/gone"), {a});
    EXPECT_FALSE(result.success);
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(notifications.empty());
    EXPECT_TRUE(exists(a));
}

TEST_F(MoveRunTest, FailureStopsAtTheFailingItem)
{
    std::string dest = folder("dest");
    std::string first = write("src/1.txt", "1");
    std::string third = write("src/3.txt", "3");
    OVUserDefaults::create()->setShowFileOnMoveCopyComplete(true);
    auto result = run(*moveAction(dest), {first, home.path() + "/src/2.txt", third});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_TRUE(exists(dest + "/1.txt"));
    EXPECT_TRUE(exists(third));
    EXPECT_FALSE(exists(dest + "/3.txt"));
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "An error occurred while moving these files.");
    EXPECT_FALSE(notifications[0].hasActionButton);
    EXPECT_FALSE(notifications[0].path);
    EXPECT_FALSE(notifications[0].paths);
    // The item moved before the failure is still revealed.
    EXPECT_EQ(calls("revealFiles"), (std::vector<std::vector<std::string>>{{dest + "/1.txt"}}));
}

TEST_F(MoveRunTest, NotificationsCanBeTurnedOffForFinishedMovesNotForFailures)
{
    std::string dest = folder("dest");
    OVUserDefaults::create()->setDisableActionNotifications(true);
    EXPECT_TRUE(run(*moveAction(dest), {write("src/a.txt", "A")}).success);
    EXPECT_TRUE(notifications.empty());
    EXPECT_FALSE(run(*moveAction(dest), {home.path() + "/missing"}).success);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "An error occurred while moving these files.");
    EXPECT_TRUE(notifications[0].isError);
}

TEST_F(MoveRunTest, FolderCannotMoveIntoItself)
{
    std::string outer = folder("outer/inner");
    auto result = run(*moveAction(outer), {home.path() + "/outer"});
    EXPECT_FALSE(result.success);
    EXPECT_TRUE(exists(outer));
}

TEST_F(MoveRunTest, OverwriteNeverRemovesTheFolderThatHoldsTheSource)
{
    std::string top = folder("T");
    std::string inner = write("T/photos/photos/a.jpg", "a");
    write("T/photos/important.txt", "important");
    write("T/photos/more/b.jpg", "b");
    setOverwrite(true);

    auto result = run(*moveAction(top), {top + "/photos/photos"});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, EINVAL);
    EXPECT_TRUE(log.contains("Could not move because of error: "));
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText, "An error occurred while moving these files.");
    EXPECT_EQ(ovtest::readAll(inner), "a");
    EXPECT_EQ(ovtest::readAll(top + "/photos/important.txt"), "important");
    EXPECT_EQ(ovtest::readAll(top + "/photos/more/b.jpg"), "b");
}

TEST_F(MoveRunTest, AcrossFileSystemsKeepsModesTimesAndLinks)
{
    if (access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/shm";
    char tmpl[] = "/dev/shm/orvane-move-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    std::string dest = tmpl;
    ovtest::Restore removeDest([dest] { ovtest::removeTree(dest); });

    std::string tree = folder("src/tree");
    write("src/tree/sub/data.bin", std::string(300000, 'x')); // large enough for the kernel path
    std::string script = write("src/tree/run.sh", "#!/bin/sh\n");
    ASSERT_EQ(chmod(script.c_str(), 0751), 0);
    ASSERT_EQ(symlink("sub/data.bin", (tree + "/link").c_str()), 0);
    ASSERT_EQ(link(script.c_str(), (tree + "/hard").c_str()), 0);
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 500}};
    ASSERT_EQ(utimensat(AT_FDCWD, script.c_str(), old, 0), 0);
    ASSERT_EQ(chmod((tree + "/sub").c_str(), 0750), 0);
    std::string single = write("src/single.txt", "single");

    auto result = run(*moveAction(dest), {tree, single});
    EXPECT_TRUE(result.success) << (result.error ? result.error->description() : "");
    EXPECT_FALSE(exists(tree));
    EXPECT_FALSE(exists(single));
    EXPECT_EQ(ovtest::readAll(dest + "/single.txt"), "single");
    EXPECT_EQ(ovtest::readAll(dest + "/tree/sub/data.bin"), std::string(300000, 'x'));
    struct stat st;
    ASSERT_EQ(stat((dest + "/tree/run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_nlink, 2u);
    ASSERT_EQ(stat((dest + "/tree/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    char target[64] = {};
    ASSERT_GT(readlink((dest + "/tree/link").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "sub/data.bin");
}

} // namespace
