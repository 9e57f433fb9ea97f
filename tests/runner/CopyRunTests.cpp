// SPDX-License-Identifier: GPL-3.0-or-later
#include "CopyTestSupport.h"
#include "RunnerTestSupport.h"

#include "model/OVCopyToAction.h"
#include "runner/OVCopyReservation.h"
#include "runner/OVFileActionWindowController.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A thread that opens a FIFO for writing and so waits until someone opens it for reading.
class BlockedWriter {
public:
    explicit BlockedWriter(const std::string& fifo) : fifo_(fifo)
    {
        thread_ = std::thread([this] {
            tid_ = pid_t(::syscall(SYS_gettid));
            int fd = ::open(fifo_.c_str(), O_WRONLY | O_CLOEXEC);
            released_ = true;
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~BlockedWriter()
    {
        // Lets it go: a reader of our own.
        int fd = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        thread_.join();
        if (fd >= 0)
            ::close(fd);
    }
    // Whether the thread is inside its open call now.
    bool waiting() const
    {
        if (tid_ == 0)
            return false;
        std::ifstream in("/proc/self/task/" + std::to_string(tid_) + "/syscall");
        long number = -1;
        in >> number;
        return number == SYS_openat || number == SYS_open;
    }
    bool released() const { return released_; }

private:
    std::string fifo_;
    std::atomic<pid_t> tid_{0};
    std::atomic<bool> released_{false};
    std::thread thread_;
};

class CopyRunTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        RunBehaviourTest::SetUp();
        OVActivationCenter::setObservers([this] { ++activations; }, [this] { --activations; });
    }
    void TearDown() override
    {
        OVActivationCenter::setObservers({}, {});
        RunBehaviourTest::TearDown();
    }

    std::shared_ptr<OVCopyToAction> copyAction(const std::string& destination)
    {
        auto action = OVAction::action<OVCopyToAction>();
        action->setDestinationURL(destination);
        return action;
    }
    void setOverwrite(bool on) { OVUserDefaults::create()->setOverwriteDestinationFile(on); }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto& n : notifications)
            out.push_back(n.informativeText);
        return out;
    }

    int activations = 0;
};

const char* kCopyError = "An error occurred while copying this file.";

TEST_F(CopyRunTest, CopiesFilesFoldersAndLinksAsTheyAre)
{
    std::string dest = folder("dest");
    std::string file = write("src/notes.txt", "notes");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 250}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    std::string tree = folder("src/tree");
    write("src/tree/.hidden", "h");
    write("src/tree/sub/data.bin", std::string(300000, 'd'));
    ASSERT_EQ(symlink("sub/data.bin", (tree + "/link").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent/target", (tree + "/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0600), 0);
    std::string link = home.path() + "/src/link-to-tree";
    ASSERT_EQ(symlink("tree", link.c_str()), 0);
    OVUserDefaults::create()->setShowFileOnMoveCopyComplete(true);

    auto result = run(*copyAction(dest), {file, tree, link});
    EXPECT_TRUE(result.success) << (result.error ? result.error->description() : "");
    EXPECT_EQ(activations, 0);

    struct stat st;
    ASSERT_EQ(stat((dest + "/notes.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 250);
    EXPECT_EQ(ovtest::readAll(dest + "/notes.txt"), "notes");
    EXPECT_EQ(ovtest::readAll(dest + "/tree/.hidden"), "h");
    EXPECT_EQ(ovtest::readAll(dest + "/tree/sub/data.bin"), std::string(300000, 'd'));
    EXPECT_EQ(std::filesystem::read_symlink(dest + "/tree/link"), "sub/data.bin");
    EXPECT_EQ(std::filesystem::read_symlink(dest + "/tree/dangling"), "/nonexistent/target");
    EXPECT_FALSE(exists(dest + "/tree/fifo")); // left out, and the copy did not wait on it
    EXPECT_EQ(std::filesystem::read_symlink(dest + "/link-to-tree"), "tree");
    EXPECT_EQ(entries(dest), (std::vector<std::string>{"link-to-tree", "notes.txt", "tree"})); // nothing temporary left
    EXPECT_EQ(ovtest::readAll(file), "notes");

    std::vector<std::string> finished = texts();
    std::sort(finished.begin(), finished.end());
    EXPECT_EQ(finished, (std::vector<std::string>{"Finished copying link-to-tree", "Finished copying notes.txt",
                                                  "Finished copying tree"}));
    for (const auto& n : notifications) {
        EXPECT_EQ(n.title, "Orvane");
        EXPECT_EQ(n.actionButtonTitle, "Show");
        ASSERT_TRUE(n.path);
        EXPECT_EQ(*n.path, dest + "/" + n.informativeText.substr(std::string("Finished copying ").size()));
    }
    EXPECT_EQ(calls("revealFiles").size(), 3u);
}

TEST_F(CopyRunTest, ADeepFolderIsCopiedWithinFewDescriptors)
{
    // Every level holds files that are opened ahead of their copy while the level below is
    // copied (made first, the folder comes first in disk order); the levels share a budget.
    std::string level = folder("src/deep");
    for (int depth = 0; depth < 40; ++depth) {
        std::filesystem::create_directory(level + "/d");
        for (int i = 0; i < 12; ++i)
            std::ofstream(level + "/f" + std::to_string(i)) << i;
        level += "/d";
    }
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = std::min<rlim_t>(old.rlim_cur, 256);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    auto result = run(*copyAction(folder("dest")), {home.path() + "/src/deep"});
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_TRUE(result.success) << (result.error ? result.error->description() : "");
    std::string deepest = home.path() + "/dest/deep";
    for (int depth = 1; depth < 40; ++depth)
        deepest += "/d";
    EXPECT_EQ(ovtest::readAll(deepest + "/f11"), "11");
}

TEST_F(CopyRunTest, ItemsOfOneNameGetFreeNamesOfTheirOwn)
{
    std::string dest = folder("dest");
    write("dest/Report.pdf", "already there");
    std::string a = write("a/Report.pdf", "from a");
    std::string b = write("b/Report.pdf", "from b");
    auto result = run(*copyAction(dest), {a, b});
    EXPECT_TRUE(result.success);
    EXPECT_EQ(ovtest::readAll(dest + "/Report.pdf"), "already there");
    EXPECT_EQ(ovtest::readAll(dest + "/Report 2.pdf"), "from a");
    EXPECT_EQ(ovtest::readAll(dest + "/Report 3.pdf"), "from b");
    EXPECT_EQ(entries(dest).size(), 3u);

    // An item that already lies in the folder is copied beside itself.
    EXPECT_TRUE(run(*copyAction(dest), {dest + "/Report.pdf"}).success);
    EXPECT_EQ(ovtest::readAll(dest + "/Report 4.pdf"), "already there");
}

TEST_F(CopyRunTest, OverwriteReplacesOnlyOnceTheCopyIsComplete)
{
    std::string dest = folder("dest");
    write("dest/item/old.txt", "old folder");
    write("dest/file", "old file");
    std::string item = write("src/item", "new file over a folder");
    std::string tree = write("src/file/inside.txt", "new folder over a file");
    setOverwrite(true);
    auto result = run(*copyAction(dest), {item, home.path() + "/src/file"});
    EXPECT_TRUE(result.success);
    EXPECT_EQ(ovtest::readAll(dest + "/item"), "new file over a folder");
    EXPECT_EQ(ovtest::readAll(dest + "/file/inside.txt"), "new folder over a file");
    EXPECT_EQ(entries(dest), (std::vector<std::string>{"file", "item"}));

}

TEST_F(CopyRunTest, SkippedItemsOpenNoWindowAndTheRunEndsAtOnce)
{
    std::string dest = folder("dest");
    std::string inside = write("dest/Report.txt", "R");
    setOverwrite(true);
    auto result = run(*copyAction(dest), {dest, inside});
    EXPECT_TRUE(result.success);
    EXPECT_TRUE(log.contains("Skipping: " + dest));
    EXPECT_TRUE(log.contains("Skipping: " + inside));
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(activations, 0);
    EXPECT_EQ(entries(dest), (std::vector<std::string>{"Report.txt"}));
}

TEST_F(CopyRunTest, AFolderIsNeverCopiedIntoItselfNorReplacedByWhatItHolds)
{
    std::string outer = folder("outer/inner");
    auto result = run(*copyAction(outer), {home.path() + "/outer"});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, EINVAL);
    EXPECT_EQ(texts(), (std::vector<std::string>{kCopyError}));
    EXPECT_TRUE(std::filesystem::is_empty(outer));

    // Replacing dest/item by a copy of dest/item/item would remove the source with it.
    std::string nested = write("dest/item/item", "inner");
    setOverwrite(true);
    notifications.clear();
    result = run(*copyAction(home.path() + "/dest"), {nested});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(ovtest::readAll(nested), "inner");
    EXPECT_EQ(texts(), (std::vector<std::string>{kCopyError}));
    EXPECT_EQ(activations, 0);
}

TEST_F(CopyRunTest, AFullFolderFailsTheCopyAndKeepsNothingOfIt)
{
    std::string small = folder("small");
    TmpfsMount mount(small, "size=1m");
    if (!mount.mounted())
        GTEST_SKIP() << "mounting a file system is not permitted here";
    std::string fits = write("src/fits.txt", "fits");
    std::string big = write("src/big.bin", std::string(2 << 20, 'b'));
    write("src/tree/one", std::string(600 << 10, '1'));
    write("src/tree/two", std::string(600 << 10, '2'));
    std::ofstream(small + "/big.bin") << "old";
    EXPECT_TRUE(run(*copyAction(small), {fits}).success);
    setOverwrite(true); // a copy that fails leaves the item it was to replace as it was
    auto result = run(*copyAction(small), {big, home.path() + "/src/tree"});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENOSPC);
    EXPECT_EQ(entries(small), (std::vector<std::string>{"big.bin", "fits.txt"}));
    EXPECT_EQ(ovtest::readAll(small + "/big.bin"), "old");
    std::vector<std::string> sorted = texts();
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{kCopyError, kCopyError, "Finished copying fits.txt"}));
    EXPECT_EQ(ovtest::readAll(big).size(), std::size_t(2 << 20));
    EXPECT_EQ(activations, 0);
}

TEST_F(CopyRunTest, AReadOnlyFolderFailsEveryItem)
{
    std::string closed = folder("closed");
    std::optional<TmpfsMount> mount;
    if (geteuid() == 0) {
        mount.emplace(closed, "size=64k", MS_RDONLY);
        if (!mount->mounted())
            GTEST_SKIP() << "mounting a file system is not permitted here";
    } else {
        ASSERT_EQ(chmod(closed.c_str(), 0555), 0);
    }
    OVUserDefaults::create()->setDisableActionNotifications(true);
    std::string a = write("src/a.txt", "A");
    auto result = run(*copyAction(closed), {a, home.path() + "/src"});
    EXPECT_FALSE(result.success);
    EXPECT_TRUE(std::filesystem::is_empty(closed));
    // The error is told even with action notifications off.
    EXPECT_EQ(texts(), (std::vector<std::string>{kCopyError, kCopyError}));
    EXPECT_TRUE(log.contains("Could not copy because of error: "));
    EXPECT_EQ(activations, 0);
    chmod(closed.c_str(), 0755);
}

TEST_F(CopyRunTest, NotificationsCanBeTurnedOffForFinishedCopies)
{
    std::string dest = folder("dest");
    OVUserDefaults::create()->setDisableActionNotifications(true);
    EXPECT_TRUE(run(*copyAction(dest), {write("src/a.txt", "A")}).success);
    EXPECT_TRUE(notifications.empty());
    EXPECT_TRUE(exists(dest + "/a.txt"));
}

TEST_F(CopyRunTest, ACancelledCopyRemovesWhatItMadeAndKeepsTheSource)
{
    std::string dest = folder("dest");
    write("dest/tree", "holds the name");
    write("src/tree/a/first", std::string(5000, 'f'));
    write("src/tree/gate", "g");
    write("src/tree/z/last", "l");
    std::string source = home.path() + "/src/tree";

    // Halfway: something is copied, the copy waits at "gate".
    CopyGate gate("/tree/gate");
    auto controller = OVFileActionWindowController::controllerWithSourceFile(source, dest + "/tree 2");
    std::optional<OVFileActionWindowController::Outcome> outcome;
    controller->setCompletionBlock([&](OVFileActionWindowController& c) { outcome = c.outcome(); });
    controller->showWindow();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return gate.reached(); }, 10000));
    EXPECT_EQ(controller->fileSize(), 5002u);
    EXPECT_EQ(entries(dest).size(), 3u); // the held name, the growing copy beside it, the old item

    controller->cancel();
    gate.release();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return outcome.has_value(); }, 10000));
    EXPECT_EQ(*outcome, OVFileActionWindowController::Outcome::Cancelled);
    EXPECT_EQ(entries(dest), (std::vector<std::string>{"tree"}));
    EXPECT_EQ(ovtest::readAll(dest + "/tree"), "holds the name");
    EXPECT_EQ(ovtest::readAll(source + "/a/first"), std::string(5000, 'f'));
    EXPECT_EQ(ovtest::readAll(source + "/z/last"), "l");
    EXPECT_TRUE(ovtest::pumpPending()); // a notification sent with the outcome would show now
    EXPECT_TRUE(notifications.empty());

    // Before the copy begins there is only the held name to let go of.
    auto early = OVFileActionWindowController::controllerWithSourceFile(source, dest + "/tree 2");
    outcome.reset();
    early->setCompletionBlock([&](OVFileActionWindowController& c) { outcome = c.outcome(); });
    early->cancel();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return outcome.has_value(); }));
    EXPECT_EQ(*outcome, OVFileActionWindowController::Outcome::Cancelled);
    EXPECT_EQ(entries(dest), (std::vector<std::string>{"tree"}));
}

TEST_F(CopyRunTest, AFifoInACopiedFolderIsNeitherOpenedNorCopied)
{
    std::string dest = folder("dest");
    write("src/tree/a.txt", "A");
    std::string fifo = home.path() + "/src/tree/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    write("src/tree/z.txt", "Z");
    BlockedWriter writer(fifo);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return writer.waiting(); }));

    auto result = run(*copyAction(dest), {home.path() + "/src/tree"});
    EXPECT_TRUE(result.success);
    EXPECT_EQ(entries(dest + "/tree"), (std::vector<std::string>{"a.txt", "z.txt"}));
    EXPECT_TRUE(writer.waiting());
    EXPECT_FALSE(writer.released());
}

TEST_F(CopyRunTest, AFileThatTookTheHeldNameIsKept)
{
    std::string dest = folder("dest");
    std::string source = write("src/report.txt", "copy");
    std::string aside = folder("aside");
    // The user's file comes in place of the empty one that holds the name: moved there over it,
    // or written after it was removed (it may then get the removed file's number).
    for (bool removed : {false, true}) {
        SCOPED_TRACE(removed ? "removed and written" : "moved over");
        CopyGate gate(0); // before the top item
        auto controller = OVFileActionWindowController::controllerWithSourceFile(source, dest + "/report.txt");
        std::optional<OVFileActionWindowController::Outcome> outcome;
        controller->setCompletionBlock([&](OVFileActionWindowController& c) { outcome = c.outcome(); });
        controller->showWindow();
        const bool held = ovtest::pumpUntil([&] { return gate.reached(); }, 10000);
        if (removed) {
            EXPECT_EQ(unlink((dest + "/report.txt").c_str()), 0);
            std::ofstream(dest + "/report.txt") << "mine";
        } else {
            std::ofstream(aside + "/report.txt") << "mine";
            EXPECT_EQ(rename((aside + "/report.txt").c_str(), (dest + "/report.txt").c_str()), 0);
        }
        gate.release();
        ASSERT_TRUE(held);
        ASSERT_TRUE(ovtest::pumpUntil([&] { return outcome.has_value(); }, 10000));
        EXPECT_EQ(*outcome, OVFileActionWindowController::Outcome::Failed);
        ASSERT_TRUE(controller->error());
        EXPECT_EQ(controller->error()->code, EEXIST);
        EXPECT_EQ(ovtest::readAll(dest + "/report.txt"), "mine");
        EXPECT_EQ(entries(dest), (std::vector<std::string>{"report.txt"}));
        EXPECT_EQ(ovtest::readAll(source), "copy");
        ASSERT_EQ(unlink((dest + "/report.txt").c_str()), 0);
    }
}

TEST_F(CopyRunTest, OverwriteNeverReplacesTheSourceReachedThroughALink)
{
    std::string dest = folder("T");
    std::string special = write("T/S", "set-id");
    ASSERT_EQ(chmod(special.c_str(), 04755), 0);
    ASSERT_EQ(mkfifo((dest + "/F").c_str(), 0600), 0);
    std::string work = folder("work");
    ASSERT_EQ(symlink(dest.c_str(), (work + "/link").c_str()), 0);
    ASSERT_EQ(symlink((dest + "/S").c_str(), (work + "/S").c_str()), 0);
    setOverwrite(true);

    // The very item by another name: skipped like the item itself.
    auto result = run(*copyAction(dest), {work + "/link/S", work + "/link/F"});
    EXPECT_TRUE(result.success);
    EXPECT_TRUE(log.contains("Skipping: " + work + "/link/S"));
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(activations, 0);
    struct stat st;
    ASSERT_EQ(lstat(special.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 04755u);
    ASSERT_EQ(lstat((dest + "/F").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    OVCopyReservation reservation;
    EXPECT_EQ(OVCopyReservation::reserve(work + "/link/S", special, true, &reservation).outcome, ov::FileOutcome::Failed);

    // A link to the item would take its place: refused.
    result = run(*copyAction(dest), {work + "/S"});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, EINVAL);
    EXPECT_EQ(texts(), (std::vector<std::string>{kCopyError}));
    EXPECT_EQ(ovtest::readAll(special), "set-id");
    EXPECT_EQ(entries(dest), (std::vector<std::string>{"F", "S"}));
}

} // namespace
