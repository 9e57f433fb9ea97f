// SPDX-License-Identifier: GPL-3.0-or-later
// The bounded pool of tool processes: its width, its order, and runs that go through it.
#include "GatedToolSupport.h"

#include "platform/SystemResources.h"
#include "runner/OVToolRun.h"

#include <cerrno>

namespace {

constexpr std::uint64_t MiB = 1u << 20;

TEST(ToolPoolWidth, OnePerProcessorFewerWhenMemoryIsShortNeverNone)
{
    EXPECT_EQ(OVToolPool::widthFor(2, 8192 * MiB, 64 * MiB), 2u);
    EXPECT_EQ(OVToolPool::widthFor(16, 200 * MiB, 64 * MiB), 3u);
    EXPECT_EQ(OVToolPool::widthFor(4, 10 * MiB, 64 * MiB), 1u); // less than one peak free
    EXPECT_EQ(OVToolPool::widthFor(4, 0, 64 * MiB), 1u);
    EXPECT_EQ(OVToolPool::widthFor(4, std::nullopt, 64 * MiB), 4u);
    EXPECT_EQ(OVToolPool::widthFor(0, std::nullopt, 64 * MiB), 1u);
    EXPECT_EQ(OVToolPool::widthFor(3, 1 * MiB, 0), 3u);
}

TEST(ToolPoolWidth, AvailableMemoryIsReadOnlyFromAWellFormedLine)
{
    EXPECT_EQ(ov::availableMemoryFromMeminfo("MemTotal:       16303412 kB\nMemFree:          812436 kB\n"
                                             "MemAvailable:    9876543 kB\nBuffers:          421788 kB\n"),
              std::uint64_t(9876543) * 1024);
    EXPECT_EQ(ov::availableMemoryFromMeminfo("MemAvailable: 12 kB"), std::uint64_t(12) * 1024);
    for (const char* bad : {"", "MemFree: 100 kB\n", "MemAvailable:\n", "MemAvailable: -5 kB\n", "MemAvailable: 5 MB\n",
                            "MemAvailable: 5\n", "MemAvailable: 99999999999999999999999 kB\n", " MemAvailable: 5 kB\n"})
        EXPECT_EQ(ov::availableMemoryFromMeminfo(bad), std::nullopt) << bad;
    // This machine's own figure reads.
    EXPECT_TRUE(ov::availableMemoryBytes().has_value());
    EXPECT_GE(ov::processorCount(), 1u);
}

TEST(ToolPool, StartsInOrderWithinItsWidthAndWithdrawnTicketsNeverStart)
{
    OVToolPool pool(2);
    std::vector<int> started;
    std::vector<OVToolPool::Ticket> tickets;
    for (int i = 0; i < 5; ++i)
        tickets.push_back(pool.submit([&started, i] { started.push_back(i); }));
    EXPECT_EQ(started, (std::vector<int>{0, 1}));
    EXPECT_EQ(pool.running(), 2u);
    EXPECT_EQ(pool.waiting(), 3u);

    pool.release(tickets[2]); // withdrawn while waiting
    pool.release(tickets[0]);
    EXPECT_EQ(started, (std::vector<int>{0, 1, 3}));
    pool.release(tickets[0]); // twice: nothing more
    EXPECT_EQ(started, (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(pool.running(), 2u);

    pool.setWidth(3);
    EXPECT_EQ(started, (std::vector<int>{0, 1, 3, 4}));
    for (auto t : tickets)
        pool.release(t);
    EXPECT_EQ(pool.running(), 0u);
    EXPECT_EQ(pool.waiting(), 0u);

}

TEST_F(GatedToolRunTest, ARunStartsNoMoreThanThePoolsWidthAndStillCompletesOnce)
{
    auto action = convertAction();
    OVPaths paths = images(5);
    auto result = start(action, paths);
    OVToolPool& pool = OVToolPool::forTool("orvane-sips", 64 * MiB);
    EXPECT_EQ(pool.running(), 2u);
    EXPECT_EQ(pool.waiting(), 3u);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return startedCount() == 2; }));
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(300));
    EXPECT_EQ(names("started"), (std::vector<std::string>{"img0.png", "img1.png"}));

    let("img1.png");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return startedCount() == 3; }));
    EXPECT_EQ(names("started").back(), "img2.png"); // the next in order took the freed place
    let("all");
    ASSERT_TRUE(ovtest::pumpUntil([&] { return result->calls > 0; }, 20000));
    ASSERT_TRUE(ovtest::pumpPending());
    EXPECT_EQ(result->calls, 1);
    EXPECT_TRUE(result->success);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ovtest::readAll(home.path() + "/pics/img" + std::to_string(i) + ".jpg"), "image " + std::to_string(i));
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].informativeText, "Started converting 5 images");
    EXPECT_EQ(notifications[1].informativeText.rfind("Finished converting 'img", 0), 0u);
    EXPECT_EQ(pool.running(), 0u);
}

TEST_F(GatedToolRunTest, CancelStopsTheRunningItemsAndTheWaitingOnesNeverStart)
{
    auto action = convertAction();
    OVPaths paths = images(5);
    auto result = start(action, paths);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return startedCount() == 2 && running("img0.png") && running("img1.png"); }));

    auto run = OVToolRun::currentRun(*action);
    ASSERT_TRUE(run);
    run->cancelByUser();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return result->calls > 0; }));
    EXPECT_FALSE(result->success);
    ASSERT_TRUE(result->error);
    EXPECT_EQ(result->error->code, ECANCELED);
    EXPECT_FALSE(OVToolRun::currentRun(*action));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return !running("img0.png") && !running("img1.png"); }));

    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(300));
    EXPECT_EQ(startedCount(), 2u);
    EXPECT_EQ(result->calls, 1);
    // The names claimed for the outputs are free again; the inputs stay.
    std::vector<std::string> left = names("pics");
    EXPECT_EQ(left, (std::vector<std::string>{"img0.png", "img1.png", "img2.png", "img3.png", "img4.png"}));
    EXPECT_EQ(notifications.size(), 1u); // the start only: nothing finished
    OVToolPool& pool = OVToolPool::forTool("orvane-sips", 64 * MiB);
    EXPECT_EQ(pool.running(), 0u);
    EXPECT_EQ(pool.waiting(), 0u);
}

} // namespace
