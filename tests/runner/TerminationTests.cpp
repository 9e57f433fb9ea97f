// SPDX-License-Identifier: GPL-3.0-or-later
// A quit request must not cut off an action in progress: the runner quits once the running
// actions have finished, keeps taking requests meanwhile, and stays when it is started again.
#include "runner/AppDelegate.h"

#include "messaging/OVProtocol.h"
#include "model/OVNewFileAction.h"
#include "platform/Files.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "runner/OVRunningWork.h"
#include "runner/RunnerTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

// A kind whose runs last until the test completes them.
class HeldRunAction : public OVActionKind<HeldRunAction> {
public:
    static constexpr const char* kClassName = "HeldRunAction";
    static constexpr OVKindTraits kKind{};
};

class HoldingBehaviour : public OVRunBehaviour {
public:
    bool hasBeforeRun() const override { return cancelBeforeRun; }
    void beforeRun(OVAction&, const OVPaths&, OVBeforeRunCompletion completion) override { pendingBefore.push_back(completion); }
    void run(OVAction&, const OVPaths&, OVRunCompletion completion) override { held.push_back(std::move(completion)); }
    bool cancelBeforeRun = false;
    std::vector<OVBeforeRunCompletion> pendingBefore;
    std::vector<OVRunCompletion> held;
};

class TerminationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        behaviour = std::make_shared<HoldingBehaviour>();
        delegate = AppDelegate::create();
        delegate->setRunBehaviourLookup([this](const OVAction& action) -> OVRunBehaviour* {
            return dynamic_cast<const HeldRunAction*>(&action) ? behaviour.get() : nullptr;
        });
        delegate->setSoundPlayer([](const std::string&) {});
        delegate->setTerminator([this] { ++quits; });
        delegate->applicationWillFinishLaunching();
        delegate->applicationDidFinishLaunching();
        action = OVAction::action<HeldRunAction>();
        delegate->setActionsArray({action});
    }

    void TearDown() override
    {
        delegate.reset();
        OVActivationCenter::setObservers({}, {});
        OVUserNotificationCenter::setSink({});
    }

    void request()
    {
        const std::string name = ov::newUUIDString();
        std::ofstream(ov::pathByAppending(ov::containerPath(), name)) << R"({"paths":["/tmp"]})";
        delegate->handleURLString(OVProtocol::runRequestURL(action->uid(), name));
    }

    ovtest::TempHome home;
    std::shared_ptr<HoldingBehaviour> behaviour;
    std::shared_ptr<AppDelegate> delegate;
    OVActionPtr action;
    int quits = 0;
};

TEST_F(TerminationTest, AnIdleRunnerQuitsAtOnce)
{
    delegate->applicationShouldTerminate();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(delegate->isTerminationPending());
}

TEST_F(TerminationTest, ABusyRunnerQuitsWhenTheLastActionHasFinished)
{
    request();
    ASSERT_EQ(behaviour->held.size(), 1u);
    delegate->applicationShouldTerminate();
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(delegate->isTerminationPending());

    // A request that arrives meanwhile still runs, and is waited for as well.
    request();
    ASSERT_EQ(behaviour->held.size(), 2u);
    behaviour->held[0](true, std::nullopt);
    EXPECT_EQ(quits, 0);
    behaviour->held[1](false, OVError{"Test", 1, "failed"});
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(delegate->isTerminationPending());
}

TEST_F(TerminationTest, ACancelledRunCountsAsFinished)
{
    behaviour->cancelBeforeRun = true;
    request();
    ASSERT_EQ(behaviour->pendingBefore.size(), 1u);
    delegate->applicationShouldTerminate();
    EXPECT_EQ(quits, 0);
    behaviour->pendingBefore[0](true);
    EXPECT_EQ(quits, 1);
}

TEST_F(TerminationTest, StartingItAgainKeepsItRunning)
{
    request();
    delegate->applicationShouldTerminate();
    delegate->applicationDidBecomeActive();
    EXPECT_FALSE(delegate->isTerminationPending());
    behaviour->held[0](true, std::nullopt);
    EXPECT_EQ(quits, 0);
}

class MissingTemplateTest : public RunBehaviourTest {};

TEST_F(MissingTemplateTest, ACatalogueEntryWithoutItsTemplateFailsAndSaysSo)
{
    auto action = OVAction::action<OVNewFileAction>();
    action->setTitle("Markdown File");
    action->setFileName("Untitled");
    action->setExtension("md");
    const std::string docs = folder("docs");
    for (const std::optional<std::string>& path :
         {std::optional<std::string>(), std::optional<std::string>(home.path() + "/Default Templates/gone.md")}) {
        notifications.clear();
        action->setTemplateURL(path);
        auto result = run(*action, {docs});
        EXPECT_FALSE(result.success);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->code, ENOENT);
        EXPECT_NE(result.error->message.find("The template file of \"Markdown File\" is missing"), std::string::npos);
        ASSERT_EQ(notifications.size(), 1u);
        EXPECT_NE(notifications[0].informativeText.find("Couldn't create \"Untitled.md\""), std::string::npos);
        EXPECT_FALSE(exists(docs + "/Untitled.md"));
    }
}

} // namespace

namespace {

// Ending the process (a signal at logout): running work is cancelled as its Cancel would, and the
// runner quits once the work has reported back, or after the stop wait when it never does.
class InterruptedRunTest : public TerminationTest {
protected:
    void TearDown() override
    {
        OVRunningWork::resume();
        TerminationTest::TearDown();
    }

    // A run that registers its cancel, as copies and archives do, and finishes when cancelled.
    void cancellableRequest()
    {
        request();
        ASSERT_FALSE(behaviour->held.empty());
        auto token = std::make_shared<OVRunningWork::Token>();
        auto completion = behaviour->held.back();
        *token = OVRunningWork::add([this, token, completion] {
            ++cancels;
            OVRunningWork::remove(*token);
            ov::runOnNextTurn([completion] { completion(false, OVError{"Test", ECANCELED, "cancelled"}); });
        });
    }

    int cancels = 0;
};

TEST_F(InterruptedRunTest, RunningWorkIsCancelledAndTheRunnerQuitsOnceItHasCleanedUp)
{
    cancellableRequest();
    cancellableRequest();
    delegate->applicationShouldTerminateNow();
    EXPECT_EQ(cancels, 2);
    EXPECT_EQ(quits, 0); // the cancelled work reports back on a later turn
    EXPECT_TRUE(OVRunningWork::isStopping());

    // Requests that arrive meanwhile are not run, and starting again does not keep the runner.
    request();
    EXPECT_EQ(behaviour->held.size(), 2u);
    delegate->applicationDidBecomeActive();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return quits > 0; }, 5000));
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(OVRunningWork::count(), 0u);
}

TEST_F(InterruptedRunTest, WorkThatNeverReportsBackEndsTheWaitAfterABoundedTime)
{
    request(); // holds on and registers no cancel
    delegate->setStopWaitSeconds(0.2);
    delegate->applicationShouldTerminateNow();
    EXPECT_EQ(quits, 0);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return quits > 0; }, 5000));
    EXPECT_EQ(quits, 1);

    auto idle = AppDelegate::create();
    int idleQuits = 0;
    idle->setTerminator([&] { ++idleQuits; });
    idle->applicationShouldTerminateNow();
    EXPECT_EQ(idleQuits, 1);
}

} // namespace
