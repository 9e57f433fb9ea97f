#include "model/HLTaskHelper.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <stdexcept>

namespace {

struct Recorder : HLTaskHelperDelegate {
    struct Event {
        char kind; // 'o' output, 'e' error, 'f' finish
        std::string data;
        int64_t reason = 0;
    };
    std::vector<Event> events;
    std::shared_ptr<HLTaskHelper> held; // callers keep their runner and drop it when it ends
    bool throwOnOutput = false;

    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string& data) override
    {
        events.push_back({'o', data});
        if (throwOnOutput)
            throw std::runtime_error("delegate failure");
    }
    void taskHelperDidReceiveError(HLTaskHelper&, const std::string& data) override { events.push_back({'e', data}); }
    void taskHelperDidFinish(HLTaskHelper&, int64_t reason) override
    {
        events.push_back({'f', {}, reason});
        held.reset();
    }

    int finishes() const
    {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == 'f';
        return n;
    }
    std::string joined(char kind) const
    {
        std::string out;
        for (const auto& e : events)
            if (e.kind == kind)
                out += e.data;
        return out;
    }
    int count(char kind) const
    {
        int n = 0;
        for (const auto& e : events)
            n += e.kind == kind;
        return n;
    }
    bool waitForFinish(unsigned ms = 5000)
    {
        return ovtest::pumpUntil([&] { return finishes() > 0; }, ms);
    }
};

std::shared_ptr<HLTaskHelper> shell(const std::string& script, Recorder& delegate)
{
    auto helper = HLTaskHelper::taskHelperWithTask({"/bin/sh", {"-c", script}, std::nullopt});
    helper->setDelegate(&delegate);
    return helper;
}

// The child is reaped off the main context, which nothing then wakes: poll in slices.
bool waitUntilGone(int pid)
{
    for (int i = 0; i < 100; ++i) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        ovtest::pumpFor(50);
    }
    return false;
}

TEST(HLTaskHelper, OutputThenFinishAndTheRunnerLivesUntilItEnds)
{
    Recorder r;
    auto helper = HLTaskHelper::taskHelperWithTask({"/bin/echo", {"hello"}, std::nullopt});
    helper->setDelegate(&r);
    helper->launch();
    EXPECT_TRUE(helper->isRunning());
    EXPECT_GT(helper->pid(), 0);
    std::weak_ptr<HLTaskHelper> weak = helper;
    helper.reset();
    ASSERT_FALSE(weak.expired()) << "a launched runner keeps itself alive";

    ASSERT_TRUE(r.waitForFinish());
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[0].kind, 'o');
    EXPECT_EQ(r.events[0].data, "hello\n");
    EXPECT_EQ(r.events[1].kind, 'f');
    EXPECT_EQ(r.events[1].reason, HLTaskHelper::kTerminationReasonExit);
    EXPECT_TRUE(weak.expired());
}

TEST(HLTaskHelper, ErrorsAndExitStatus)
{
    Recorder r;
    r.held = shell("echo oops >&2; exit 3", r);
    r.held->launch();
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.joined('e'), "oops\n");
    EXPECT_EQ(r.count('o'), 0);
    EXPECT_EQ(r.events.back().kind, 'f');
    EXPECT_EQ(r.events.back().reason, 1) << "a non-zero exit status still ends normally";
    EXPECT_EQ(r.held, nullptr);
}

TEST(HLTaskHelper, DropsChunksWithoutVisibleTextOrValidUTF8)
{
    for (const char* script : {"printf '  \\n\\t\\r\\n'", "printf '\\377\\376\\n'", "printf '\\342\\200\\250 \\n'"}) {
        Recorder r;
        r.held = shell(script, r);
        r.held->launch();
        ASSERT_TRUE(r.waitForFinish()) << script;
        EXPECT_EQ(r.count('o'), 0) << script;
        EXPECT_EQ(r.events.back().reason, 1);
    }
}

TEST(HLTaskHelper, CharacterSplitBetweenReadsIsNotLost)
{
    Recorder r;
    r.held = shell("printf 'price \\342\\202'; sleep 0.3; printf '\\254\\n'", r);
    r.held->launch();
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.joined('o'), "price \xE2\x82\xAC\n");
}

TEST(HLTaskHelper, AllOutputArrivesBeforeFinish)
{
    Recorder r;
    r.held = shell("head -c 300000 /dev/zero | tr '\\0' a; head -c 100000 /dev/zero | tr '\\0' b >&2", r);
    r.held->launch();
    ASSERT_TRUE(r.waitForFinish(10000));
    EXPECT_EQ(r.joined('o'), std::string(300000, 'a'));
    EXPECT_EQ(r.joined('e'), std::string(100000, 'b'));
    EXPECT_EQ(r.events.back().kind, 'f');
}

TEST(HLTaskHelper, BackgroundChildHoldingThePipeDoesNotDelayTheEndForever)
{
    Recorder r;
    r.held = shell("echo started; sleep 6 &", r);
    r.held->launch();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(r.waitForFinish(4000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(r.joined('o'), "started\n");
}

TEST(HLTaskHelper, KilledBySignalEndsWithReasonTwo)
{
    Recorder r;
    r.held = shell("sleep 10", r);
    r.held->launch();
    const int pid = r.held->pid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.events.back().reason, HLTaskHelper::kTerminationReasonUncaughtSignal);
}

TEST(HLTaskHelper, CancelEndsTheProcessWithoutFinish)
{
    Recorder r;
    auto helper = shell("sleep 10", r);
    helper->launch();
    const int pid = helper->pid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(helper->suspend());
    EXPECT_TRUE(helper->resume());

    helper->cancel();
    EXPECT_FALSE(helper->isRunning());
    EXPECT_FALSE(helper->suspend());
    EXPECT_TRUE(waitUntilGone(pid));
    ovtest::pumpFor(200);
    EXPECT_EQ(r.finishes(), 0);

    std::weak_ptr<HLTaskHelper> weak = helper;
    helper->cancel(); // not running: left alone
    helper.reset();
    EXPECT_TRUE(weak.expired()) << "a cancelled runner no longer holds itself";
}

TEST(HLTaskHelper, LaunchWhileRunningDoesNothing)
{
    Recorder r;
    r.held = shell("echo run; sleep 0.2", r);
    r.held->launch();
    const int pid = r.held->pid();
    r.held->launch();
    EXPECT_EQ(r.held->pid(), pid);
    ASSERT_TRUE(r.waitForFinish());
    ovtest::pumpFor(300);
    EXPECT_EQ(r.joined('o'), "run\n");
    EXPECT_EQ(r.finishes(), 1);
}

TEST(HLTaskHelper, ArgumentsWithSpacesAndWorkingFolder)
{
    ovtest::TempHome home;
    const std::string folder = home.makeFolder("work dir");
    Recorder r;
    r.held = HLTaskHelper::taskHelperWithTask(
        {"/bin/sh", {"-c", "printf '%s|' \"$@\"; pwd", "sh", "a b", "$HOME; c", ""}, folder});
    r.held->setDelegate(&r);
    r.held->launch();
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.joined('o'), "a b|$HOME; c||" + folder + "\n");
}

TEST(HLTaskHelper, MissingProgramFinishesInsteadOfHanging)
{
    ovtest::LogCapture log;
    Recorder r;
    r.held = HLTaskHelper::taskHelperWithTask({"/nonexistent/orvane-tool", {"x"}, std::nullopt});
    r.held->setDelegate(&r);
    std::weak_ptr<HLTaskHelper> weak = r.held;
    r.held->launch();
    EXPECT_TRUE(r.held->isRunning());
    EXPECT_TRUE(r.events.empty()) << "nothing is reported before the next turn";
    ASSERT_TRUE(r.waitForFinish());
    ASSERT_EQ(r.events.size(), 2u);
    EXPECT_EQ(r.events[0].kind, 'e') << "the failure is visible to callers that watch errors";
    EXPECT_FALSE(r.events[0].data.empty());
    EXPECT_EQ(r.events[1].reason, 1);
    EXPECT_TRUE(log.contains("Couldn't launch /nonexistent/orvane-tool"));
    EXPECT_TRUE(weak.expired());

    // Cancelled before the next turn: no report at all.
    Recorder quiet;
    auto helper = HLTaskHelper::taskHelperWithTask({"/nonexistent/orvane-tool", {}, std::nullopt});
    helper->setDelegate(&quiet);
    helper->launch();
    helper->cancel();
    ovtest::pumpFor(100);
    EXPECT_TRUE(quiet.events.empty());
}

TEST(HLTaskHelper, ThrowingDelegateDoesNotStopTheRun)
{
    ovtest::LogCapture log;
    Recorder r;
    r.throwOnOutput = true;
    r.held = shell("echo one", r);
    r.held->launch();
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.joined('o'), "one\n");
    EXPECT_TRUE(log.contains("delegate failure"));
}

} // namespace
