// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLTimer.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(HLTimer, OneShotFiresOnceWithItselfEvenWhenNobodyHoldsIt)
{
    int calls = 0;
    HLTimer* argument = nullptr;
    long long firedAfter = -1;
    const auto start = Clock::now();
    std::weak_ptr<HLTimer> weak = HLTimer::timerWithInterval(0.1, false, [&](HLTimer& t) {
        ++calls;
        argument = &t;
        firedAfter = msSince(start);
    });
    ASSERT_FALSE(weak.expired()) << "a scheduled timer must keep itself alive";
    HLTimer* expected = weak.lock().get();

    ASSERT_TRUE(ovtest::pumpUntil([&] { return calls > 0; }, 2000));
    EXPECT_EQ(argument, expected);
    EXPECT_GE(firedAfter, 95);
    EXPECT_LT(firedAfter, 1000);
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(250)); // past a second firing
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(weak.expired()) << "a fired one-shot timer lets go of itself";
}

TEST(HLTimer, RunRestartsTheCountdownFromZero)
{
    int calls = 0;
    Clock::time_point fired;
    auto timer = HLTimer::timerWithInterval(0.2, false, [&](HLTimer&) {
        ++calls;
        fired = Clock::now();
    });
    // Restarted 120 ms in, ahead of the timer even if the loop wakes after it was due.
    Clock::time_point rerun;
    int callsBeforeRerun = -1;
    ovtest::runFirstAfter(120, [&] {
        callsBeforeRerun = calls;
        rerun = Clock::now();
        timer->run();
    });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return calls > 0; }, 2000));
    EXPECT_EQ(callsBeforeRerun, 0);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(fired - rerun).count(), 195);
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(300));
    EXPECT_EQ(calls, 1);
}

TEST(HLTimer, RunFromItsOwnCallbackSchedulesItAgain)
{
    int calls = 0;
    std::weak_ptr<HLTimer> weak = HLTimer::timerWithInterval(0.02, false, [&](HLTimer& t) {
        if (++calls == 1)
            t.run();
    });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return calls >= 2; }, 2000));
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(100));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(weak.expired());
}

TEST(HLTimer, InvalidateDropsTheCallbackAndInvalidateTimerOnlyKeepsIt)
{
    int calls = 0;
    auto timer = HLTimer::timerWithInterval(0.05, false, [&](HLTimer&) { ++calls; });
    timer->invalidateTimerOnly();
    EXPECT_FALSE(timer->isScheduled());
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(150));
    EXPECT_EQ(calls, 0);
    timer->run();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return calls == 1; }, 2000));

    timer->run();
    timer->invalidate();
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(150));
    timer->run(); // schedules a timer that has nothing to call
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(150));
    timer->invalidate();
    EXPECT_EQ(calls, 1);

    std::weak_ptr<HLTimer> weak = timer;
    timer.reset();
    EXPECT_TRUE(weak.expired()) << "an invalidated timer is not kept alive";
}

TEST(HLTimer, RepeatingTimerFiresUntilInvalidatedFromItsCallback)
{
    int calls = 0;
    std::weak_ptr<HLTimer> weak = HLTimer::timerWithInterval(0.02, true, [&](HLTimer& t) {
        if (++calls == 3)
            t.invalidate();
    });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return calls >= 3; }, 2000));
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(100));
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(weak.expired());
}

TEST(HLTimer, Description)
{
    auto repeating = HLTimer::timerWithInterval(2, true, [](HLTimer&) {});
    EXPECT_TRUE(std::regex_match(repeating->description(),
                                 std::regex(R"(<HLTimer 0x[0-9a-f]+, interval=2\.000000, repeats=YES, userInfo=\(null\)>)")))
        << repeating->description();
    repeating->invalidate();

    auto oneShot = HLTimer::timerWithInterval(0.25, false, OVValue("/tmp/a b"), [](HLTimer&) {});
    EXPECT_NE(oneShot->description().find(", interval=0.250000, repeats=NO, userInfo=/tmp/a b>"), std::string::npos)
        << oneShot->description();
    EXPECT_EQ(oneShot->userInfo(), OVValue("/tmp/a b"));
    oneShot->invalidate();
}

} // namespace
