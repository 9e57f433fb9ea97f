// SPDX-License-Identifier: GPL-3.0-or-later
// What an ending runner leaves: running copies and moves stop and remove what they made, and
// what a runner killed outright leaves is swept by the next start, in the folders it noted, and
// nothing else.
#include "CopyTestSupport.h"
#include "RunnerTestSupport.h"

#include "model/OVMoveToAction.h"
#include "platform/Files.h"
#include "runner/OVFileActionWindowController.h"
#include "runner/OVRunningWork.h"
#include "runner/OVWorkJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct timespec now()
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t;
}

// Sets an item's times back, as a leftover of an earlier run would have them.
void age(const std::string& path)
{
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, AT_SYMLINK_NOFOLLOW), 0) << path;
}

class LeftoverSweepTest : public RunBehaviourTest {
protected:
    void noteHeld(const std::string& path)
    {
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        OVWorkJournal::noteHeldName(path, st.st_dev, st.st_ino);
    }
};

TEST_F(LeftoverSweepTest, OnlyOurLeftoversInNotedFoldersGo)
{
    const std::string dest = folder("dest");
    const std::string other = folder("other");
    // Ours: a copied file, a copied folder with a read-only folder inside, an archive.
    write("dest/.orvane-0123456789abcdef-1", "half a file");
    write("dest/.orvane-fedcba9876543210-22/sub/data", "half a folder");
    ASSERT_EQ(chmod((dest + "/.orvane-fedcba9876543210-22/sub").c_str(), 0500), 0);
    write("dest/.orvane-zip-0badf00d", "PK");
    // The user's own, named like ours but not in our pattern, or in a folder never noted.
    write("dest/.orvane-notes", "mine");
    write("dest/.orvane-0123456789abcdef-", "mine");
    write("dest/.orvane-0123456789abcdeg-1", "mine");
    write("dest/.orvane-zip-0badf00d1", "mine");
    write("dest/photo.jpg", "mine");
    write("other/.orvane-0123456789abcdef-1", "not noted");
    for (const auto& name : entries(dest))
        age(dest + "/" + name);
    age(other + "/.orvane-0123456789abcdef-1");
    // Written to after the sweep's start (its time set ahead: file times come from a coarser
    // clock than now()).
    const std::string going = write("dest/.orvane-1111111111111111-3", "still being written");
    struct timespec ahead[2] = {now(), now()};
    ahead[1].tv_sec += 60;
    ASSERT_EQ(utimensat(AT_FDCWD, going.c_str(), ahead, 0), 0);
    const struct timespec start = now();

    OVWorkJournal::noteFolder(dest);
    OVWorkJournal::noteFolder("relative/folder"); // never noted: not a place
    auto swept = OVWorkJournal::sweep(start);
    EXPECT_EQ(swept.temporaries, 3);
    EXPECT_EQ(entries(dest), (std::vector<std::string>{".orvane-0123456789abcdef-", ".orvane-0123456789abcdeg-1",
                                                       ".orvane-1111111111111111-3", ".orvane-notes",
                                                       ".orvane-zip-0badf00d1", "photo.jpg"}));
    EXPECT_EQ(entries(other), (std::vector<std::string>{".orvane-0123456789abcdef-1"}));
    // The folder with work still going on stays noted for the next start.
    EXPECT_EQ(OVWorkJournal::read().folders, (std::vector<std::string>{dest}));
    ASSERT_EQ(unlink((dest + "/.orvane-1111111111111111-3").c_str()), 0);
    EXPECT_EQ(OVWorkJournal::sweep(now()).temporaries, 0);
    EXPECT_TRUE(OVWorkJournal::read().folders.empty());
}

TEST_F(LeftoverSweepTest, AHeldNameGoesOnlyWhileItIsStillOurEmptyFile)
{
    const std::string kept = write("dest/written.txt", "");
    const std::string ours = write("dest/held.txt", "");
    const std::string swapped = write("dest/swapped.txt", "");
    noteHeld(kept);
    noteHeld(ours);
    noteHeld(swapped);
    // The user wrote to one; another was replaced by an empty file of the user's own.
    { std::ofstream(kept) << "the user's words"; }
    write("dest/other", ""); // made first: it cannot reuse the held file's inode
    ASSERT_EQ(rename((home.path() + "/dest/other").c_str(), swapped.c_str()), 0);

    auto swept = OVWorkJournal::sweep(now());
    EXPECT_EQ(swept.heldNames, 1);
    EXPECT_FALSE(exists(ours));
    EXPECT_EQ(ovtest::readAll(kept), "the user's words");
    EXPECT_TRUE(exists(swapped));
    EXPECT_TRUE(OVWorkJournal::read().heldNames.empty());
}

TEST_F(LeftoverSweepTest, AJournalNotWrittenByUsRemovesNothing)
{
    const std::string dest = folder("dest");
    const std::string held = write("dest/held.txt", "");
    write("dest/.orvane-0123456789abcdef-1", "x");
    age(dest + "/.orvane-0123456789abcdef-1");
    struct stat st;
    ASSERT_EQ(lstat(held.c_str(), &st), 0);
    // Relative paths would be taken from wherever the runner happens to be.
    char* cwd = getcwd(nullptr, 0);
    ASSERT_EQ(chdir("/"), 0);
    ovtest::Restore back([cwd] {
        (void)chdir(cwd);
        free(cwd);
    });
    const std::string base = "{\"folders\": [\"" + dest.substr(1) + "\", 7, {\"a\": 1}], \"heldNames\": [";
    for (const std::string& journal :
         {std::string("not json"), std::string("[\"" + dest + "\"]"),
          base + "{\"path\": \"" + held + "\", \"dev\": -1, \"ino\": " + std::to_string(st.st_ino) + "}]}",
          base + "{\"path\": \"" + held + "\", \"dev\": \"" + std::to_string(st.st_dev) + "\", \"ino\": 1}]}",
          base + "{\"path\": \"" + held.substr(1) + "\", \"dev\": " + std::to_string(st.st_dev)
              + ", \"ino\": " + std::to_string(st.st_ino) + "}]}"}) {
        ASSERT_TRUE(ov::writeFileAtomically(OVWorkJournal::defaultPath(), journal, 0600));
        OVWorkJournal::sweep(now());
        EXPECT_TRUE(exists(held)) << journal;
        EXPECT_TRUE(exists(dest + "/.orvane-0123456789abcdef-1")) << journal;
    }
}

class StoppedWorkTest : public RunBehaviourTest {
protected:
    void TearDown() override
    {
        OVRunningWork::resume();
        RunBehaviourTest::TearDown();
    }
};

TEST_F(StoppedWorkTest, AStoppedCopyRemovesItsTemporaryAndHeldNameAndForgetsThem)
{
    const std::string dest = folder("dest");
    write("src/tree/a/first", std::string(5000, 'f'));
    write("src/tree/gate", "g");
    const std::string source = home.path() + "/src/tree";

    CopyGate gate("/tree/gate");
    auto controller = OVFileActionWindowController::controllerWithSourceFile(source, dest + "/tree");
    std::optional<OVFileActionWindowController::Outcome> outcome;
    controller->setCompletionBlock([&](OVFileActionWindowController& c) { outcome = c.outcome(); });
    controller->showWindow();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return gate.reached(); }, 10000));
    EXPECT_EQ(entries(dest).size(), 2u); // the held name and the copy growing beside it
    EXPECT_EQ(OVWorkJournal::read().heldNames.size(), 1u);
    EXPECT_EQ(OVWorkJournal::read().folders, (std::vector<std::string>{dest}));

    OVRunningWork::cancelAll();
    gate.release();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(*outcome, OVFileActionWindowController::Outcome::Cancelled);
    EXPECT_TRUE(entries(dest).empty());
    EXPECT_EQ(ovtest::readAll(source + "/a/first"), std::string(5000, 'f'));
    EXPECT_TRUE(OVWorkJournal::read().heldNames.empty());
}

TEST_F(StoppedWorkTest, AStoppedMoveAcrossFileSystemsKeepsTheSourceAndLeavesNothing)
{
    if (access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/shm";
    char tmpl[] = "/dev/shm/orvane-stop-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    const std::string dest = tmpl;
    ovtest::Restore removeDest([dest] { ovtest::removeTree(dest); });
    write("src/tree/a/first", std::string(300000, 'f'));
    write("src/tree/z/last", "l");
    const std::string source = home.path() + "/src/tree";

    auto action = OVAction::action<OVMoveToAction>();
    action->setDestinationURL(dest);
    // The runner is ending: a move that begins now stops at its first piece.
    OVRunningWork::cancelAll();
    Result result;
    OVRunAction(*action, {source}, [&](bool success, std::optional<OVError> error) {
        ++result.calls;
        result.success = success;
        result.error = std::move(error);
    });
    EXPECT_EQ(OVWorkJournal::read().folders, (std::vector<std::string>{dest}));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return result.calls > 0; }, 10000));
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ECANCELED);
    EXPECT_TRUE(entries(dest).empty());
    EXPECT_EQ(ovtest::readAll(source + "/a/first"), std::string(300000, 'f'));
    EXPECT_EQ(ovtest::readAll(source + "/z/last"), "l");
}

} // namespace
