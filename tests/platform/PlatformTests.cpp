// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Files.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>

namespace {

int entriesIn(const std::string& folder)
{
    int n = 0;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (auto* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                ++n;
        ::closedir(d);
    }
    return n;
}

TEST(Files, AtomicWriteReplacesWholeFileAndLeavesNoTemporaries)
{
    ovtest::TempHome home;
    std::string folder = home.makeFolder("w");
    std::string path = folder + "/file";
    ASSERT_TRUE(ov::writeFileAtomically(path, "first", 0600));
    ASSERT_TRUE(ov::writeFileAtomically(path, "second version", 0640));
    EXPECT_EQ("second version", ovtest::readAll(path));
    struct stat st;
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 0777);
    EXPECT_EQ(1, entriesIn(folder));

    std::string error;
    EXPECT_FALSE(ov::writeFileAtomically(folder + "/missing/file", "x", 0600, &error));
    EXPECT_NE(std::string::npos, error.find("missing"));
}

TEST(Files, CreateNewFileNeverReplaces)
{
    ovtest::TempHome home;
    std::string path = home.makeFolder("n") + "/req";
    ASSERT_TRUE(ov::createNewFile(path, "{}", 0600));
    EXPECT_FALSE(ov::createNewFile(path, "other", 0600));
    EXPECT_EQ("{}", ovtest::readAll(path));
    struct stat st;
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
}

TEST(Files, ReadFileIsBounded)
{
    ovtest::TempHome home;
    std::string path = home.writeFile("big", std::string(1000, 'x'));
    EXPECT_TRUE(ov::readFile(path, 1000));
    EXPECT_FALSE(ov::readFile(path, 999));
    EXPECT_FALSE(ov::readFile(home.path())) << "a folder is not a file";
    EXPECT_FALSE(ov::readFile(home.path() + "/nothing"));
}

TEST(Files, PathComponentsAndUUIDs)
{
    EXPECT_EQ("c", ov::lastPathComponent("/a/b/c/"));
    EXPECT_EQ("/a/b", ov::deletingLastPathComponent("/a/b/c"));
    EXPECT_EQ("/", ov::deletingLastPathComponent("/a"));
    EXPECT_EQ("/a/b", ov::pathByAppending("/a/", "/b"));

    std::string u = ov::newUUIDString();
    EXPECT_TRUE(ov::isCanonicalUUIDString(u)) << u;
    EXPECT_NE(u, ov::newUUIDString());
    EXPECT_FALSE(ov::isCanonicalUUIDString("../../../etc/passwd-aaaaaaaaaaaaaaaaaa"));
    EXPECT_FALSE(ov::isCanonicalUUIDString("a1b2c3d4-0000-4000-8000-000000000000")) << "lower case";
}

TEST(Files, ContainerFollowsXdgDataHome)
{
    ovtest::TempHome home;
    std::string c = ov::containerPath();
    EXPECT_EQ(home.dataHome() + "/ORVANE.app.orvane.Orvane", c);
    struct stat st;
    ASSERT_EQ(0, ::stat(c.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST(MainContext, SerialQueueRunsInOrderOffTheMainThreadAndHandsBack)
{
    auto queue = ov::SerialQueue::create("app.orvane.testqueue");
    std::vector<int> order;
    std::atomic<bool> offMain{true};
    const auto mainId = std::this_thread::get_id();
    bool done = false;
    for (int i = 0; i < 50; ++i)
        queue->async([&, i] {
            if (std::this_thread::get_id() == mainId)
                offMain = false;
            order.push_back(i);
        });
    queue->async([&] {
        ov::invokeOnMain([&] {
            EXPECT_EQ(mainId, std::this_thread::get_id());
            done = true;
        });
    });
    queue.reset(); // queued blocks still run after the last owner lets go
    ASSERT_TRUE(ovtest::pumpUntil([&] { return done; }));
    EXPECT_TRUE(offMain);
    ASSERT_EQ(50u, order.size());
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(i, order[std::size_t(i)]);
}

TEST(MainContext, InvokeOnMainRunsOnTheMainThreadEvenWhenItIsNotIterating)
{
    const auto mainId = std::this_thread::get_id();
    bool atOnce = false;
    ov::invokeOnMain([&] { atOnce = true; });
    EXPECT_TRUE(atOnce) << "a call made on the main thread runs at once";

    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    // The main thread waits in join, not in the loop: the context is free for anyone to take.
    std::thread worker([&] {
        ov::invokeOnMain([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    worker.join();
    EXPECT_FALSE(ran) << "ran on the posting thread";
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ran.load(); }));
    EXPECT_EQ(mainId, ranOn);
}

TEST(MainContext, NextTurnIsAsynchronous)
{
    bool ran = false;
    ov::runOnNextTurn([&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return ran; }));
}

} // namespace
