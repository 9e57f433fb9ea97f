// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLTaskHelper.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>

namespace {

struct Recorder : HLTaskHelperDelegate {
    std::string output, error, order; // order: 'o', 'e' and 'f' per callback
    std::vector<int64_t> reasons;
    std::shared_ptr<HLTaskHelper> held; // callers keep their runner and drop it when it ends
    bool throwOnOutput = false;

    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string& data) override
    {
        output += data, order += 'o';
        if (throwOnOutput)
            throw std::runtime_error("delegate failure");
    }
    void taskHelperDidReceiveError(HLTaskHelper&, const std::string& data) override { error += data, order += 'e'; }
    void taskHelperDidFinish(HLTaskHelper&, int64_t reason) override
    {
        reasons.push_back(reason), order += 'f';
        held.reset();
    }
    bool waitForFinish(unsigned ms = 5000) { return ovtest::pumpUntil([&] { return !reasons.empty(); }, ms); }

    void run(HLTask task)
    {
        held = HLTaskHelper::taskHelperWithTask(std::move(task));
        held->setDelegate(this);
        held->launch();
    }
    void runShell(const std::string& script) { run({"/bin/sh", {"-c", script}, std::nullopt}); }
};

// The child is reaped off the main context, which nothing then wakes: pumpUntil polls.
bool waitUntilGone(int pid)
{
    return ovtest::pumpUntil([pid] { return ::kill(pid, 0) != 0 && errno == ESRCH; });
}

TEST(HLTaskHelper, OutputThenFinishAndTheRunnerLivesUntilItEnds)
{
    Recorder r;
    auto helper = HLTaskHelper::taskHelperWithTask({"/bin/echo", {"hello"}, std::nullopt});
    helper->setDelegate(&r);
    helper->launch();
    EXPECT_TRUE(helper->isRunning());
    std::weak_ptr<HLTaskHelper> weak = helper;
    helper.reset();
    ASSERT_FALSE(weak.expired()) << "a launched runner keeps itself alive";

    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.order, "of");
    EXPECT_EQ(r.output, "hello\n");
    EXPECT_EQ(r.reasons, std::vector<int64_t>{HLTaskHelper::kTerminationReasonExit});
    EXPECT_TRUE(weak.expired());

    Recorder failing;
    failing.runShell("echo oops >&2; exit 3");
    ASSERT_TRUE(failing.waitForFinish());
    EXPECT_EQ(failing.order, "ef");
    EXPECT_EQ(failing.error, "oops\n");
    EXPECT_EQ(failing.reasons.front(), 1) << "an exit status is not a termination reason";
}

TEST(HLTaskHelper, ChunksWithoutVisibleTextOrValidUTF8AreDropped)
{
    for (const char* script : {"printf '  \\n\\t\\r\\n'", "printf '\\377\\376\\n'", "printf '\\342\\200\\250 \\n'"}) {
        Recorder r;
        r.runShell(script);
        ASSERT_TRUE(r.waitForFinish()) << script;
        EXPECT_EQ(r.order, "f") << script;
    }

    // A character split between two reads is valid once put back together.
    Recorder split;
    split.runShell("printf 'price \\342\\202'; sleep 0.3; printf '\\254\\n'");
    ASSERT_TRUE(split.waitForFinish());
    EXPECT_EQ(split.output, "price \xE2\x82\xAC\n");
}

TEST(HLTaskHelper, EveryChunkArrivesBeforeFinishButAnOpenPipeDoesNotHoldItBack)
{
    Recorder r;
    r.runShell("head -c 300000 /dev/zero | tr '\\0' a; head -c 100000 /dev/zero | tr '\\0' b >&2");
    ASSERT_TRUE(r.waitForFinish(10000));
    EXPECT_EQ(r.output, std::string(300000, 'a'));
    EXPECT_EQ(r.error, std::string(100000, 'b'));
    EXPECT_EQ(r.order.back(), 'f');

    // A background child keeps the pipes open long after the process itself has ended.
    Recorder background;
    background.runShell("echo started; sleep 6 &");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(background.waitForFinish(4000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(background.output, "started\n");
}

TEST(HLTaskHelper, SignalsCancelAndLaunchWhileRunning)
{
    Recorder killed;
    killed.runShell("sleep 10");
    ASSERT_GT(killed.held->pid(), 0);
    ASSERT_EQ(::kill(killed.held->pid(), SIGKILL), 0);
    ASSERT_TRUE(killed.waitForFinish());
    EXPECT_EQ(killed.reasons.front(), HLTaskHelper::kTerminationReasonUncaughtSignal);

    Recorder r;
    auto helper = HLTaskHelper::taskHelperWithTask({"/bin/sleep", {"10"}, std::nullopt});
    helper->setDelegate(&r);
    helper->launch();
    const int pid = helper->pid();
    helper->launch();
    EXPECT_EQ(helper->pid(), pid) << "launch while running does nothing";
    EXPECT_TRUE(helper->suspend());
    EXPECT_TRUE(helper->resume());

    helper->cancel();
    EXPECT_FALSE(helper->isRunning());
    EXPECT_FALSE(helper->suspend());
    EXPECT_TRUE(waitUntilGone(pid));
    // Ends are reaped and reported one after another: once a later process has been reported,
    // the cancelled one would have been too.
    Recorder later;
    later.runShell("exit 0");
    ASSERT_TRUE(later.waitForFinish());
    ASSERT_TRUE(ovtest::pumpPending());
    EXPECT_EQ(r.order, "") << "a cancelled process is not reported";
    std::weak_ptr<HLTaskHelper> weak = helper;
    helper.reset();
    EXPECT_TRUE(weak.expired());
}

TEST(HLTaskHelper, ArgumentsStayWholeAndTheWorkingFolderIsUsed)
{
    ovtest::TempHome home;
    const std::string folder = home.makeFolder("work dir");
    Recorder r;
    r.run({"/bin/sh", {"-c", "printf '%s|' \"$@\"; pwd", "sh", "a b", "$HOME; c", ""}, folder});
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.output, "a b|$HOME; c||" + folder + "\n");
}

TEST(HLTaskHelper, MissingProgramFinishesInsteadOfHanging)
{
    ovtest::LogCapture log;
    Recorder r;
    r.run({"/nonexistent/orvane-tool", {"x"}, std::nullopt});
    std::weak_ptr<HLTaskHelper> weak = r.held;
    EXPECT_TRUE(r.held->isRunning());
    EXPECT_EQ(r.order, "") << "nothing is reported before the next turn";
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.order, "ef") << "the failure is visible to callers that watch errors";
    EXPECT_EQ(r.reasons.front(), 1);
    EXPECT_TRUE(log.contains("Couldn't launch /nonexistent/orvane-tool"));
    EXPECT_TRUE(weak.expired());

    Recorder cancelled;
    cancelled.run({"/nonexistent/orvane-tool", {}, std::nullopt});
    cancelled.held->cancel();
    ASSERT_TRUE(ovtest::pumpPending()); // the failure is reported on the next turn, if at all
    EXPECT_EQ(cancelled.order, "");
}

TEST(HLTaskHelper, ThrowingDelegateDoesNotStopTheRun)
{
    ovtest::LogCapture log;
    Recorder r;
    r.throwOnOutput = true;
    r.runShell("echo one");
    ASSERT_TRUE(r.waitForFinish());
    EXPECT_EQ(r.order, "of");
    EXPECT_TRUE(log.contains("delegate failure"));
}

} // namespace

// What callers judge failure by: the exit status or signal, and any error output at all.
struct EndRecorder : HLTaskHelperDelegate {
    std::optional<int> status;
    bool errorOutput = false;
    int64_t reason = 0;
    void taskHelperDidReceiveOutput(HLTaskHelper&, const std::string&) override {}
    void taskHelperDidReceiveError(HLTaskHelper&, const std::string&) override {}
    void taskHelperDidFinish(HLTaskHelper& helper, int64_t r) override
    {
        reason = r;
        status = helper.terminationStatus();
        errorOutput = helper.receivedErrorOutput();
    }
};

TEST(HLTaskHelper, ExitStatusSignalAndAnyErrorOutputAreKept)
{
    struct Case {
        const char* script;
        int64_t reason;
        int status;
        bool errorOutput;
    };
    for (const Case& c : {Case{"exit 0", 1, 0, false}, Case{"exit 3", 1, 3, false}, Case{"kill -TERM $$", 2, SIGTERM, false},
                          Case{"printf '\\377\\376' >&2", 1, 0, true}, Case{"printf '  \\n' >&2", 1, 0, false}}) {
        SCOPED_TRACE(c.script);
        EndRecorder r;
        auto helper = HLTaskHelper::taskHelperWithTask({"/bin/sh", {"-c", c.script}, std::nullopt});
        helper->setDelegate(&r);
        helper->launch();
        ASSERT_TRUE(ovtest::pumpUntil([&] { return r.status.has_value(); }));
        EXPECT_EQ(r.reason, c.reason);
        EXPECT_EQ(*r.status, c.status);
        EXPECT_EQ(r.errorOutput, c.errorOutput);
    }
}
