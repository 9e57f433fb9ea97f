// SPDX-License-Identifier: GPL-3.0-or-later
// How the runner picks what runs an action: the behaviour of the action's own kind from its
// table; groups, the bare record and kinds of a newer version never run and still finish.
#include "model/OVActionKinds.h"
#include "model/OVUnknownAction.h"
#include "runner/OVRunBehaviours.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace {

struct Counting : OVRunBehaviour {
    int before = 0, runs = 0;
    bool hasBeforeRun() const override { return true; }
    void beforeRun(OVAction&, const OVPaths&, OVBeforeRunCompletion completion) override
    {
        ++before;
        completion(false);
    }
    void run(OVAction&, const OVPaths&, OVRunCompletion completion) override
    {
        ++runs;
        completion(true, std::nullopt);
    }
};

using Results = std::vector<std::pair<bool, std::optional<OVError>>>;

TEST(RunDispatch, BaseRecordAndGroupsLogAndFinishWithFailure)
{
    ovtest::LogCapture log;
    Results results;
    auto record = [&](bool ok, std::optional<OVError> error) { results.emplace_back(ok, std::move(error)); };
    auto group = OVAction::action<OVMoveActionGroup>();
    OVRunAction(*group, {"/tmp"}, record);
    EXPECT_TRUE(log.contains("Group actions can't be run"));
    auto plain = OVAction::action<OVAction>();
    plain->setTitle("Plain");
    OVRunAction(*plain, {"/tmp"}, record);
    EXPECT_TRUE(log.contains("Subclasses should override this"));
    // A run that cannot happen still ends, once, with an error that names the action.
    ASSERT_EQ(results.size(), 2u);
    for (const auto& [ok, error] : results) {
        EXPECT_FALSE(ok);
        ASSERT_TRUE(error);
    }
    EXPECT_NE(results[0].second->message.find("is a group and cannot be run"), std::string::npos);
    EXPECT_NE(results[1].second->message.find("\"Plain\" (OVAction)"), std::string::npos) << results[1].second->message;

    bool cancelled = true;
    OVBeforeRunAction(*plain, {"/tmp"}, [&](bool c) { cancelled = c; });
    EXPECT_FALSE(cancelled) << "the base before-run step answers at once";
}

TEST(RunDispatch, UnknownKindsAndGroupsNeverReachABehaviourEvenWhenOneIsOffered)
{
    Counting counting;
    const OVRunBehaviourLookup everything = [&](const OVAction&) -> OVRunBehaviour* { return &counting; };
    OVActionPtr unknown = ovtest::unknownAction("From the future");
    ASSERT_TRUE(unknown && unknown->isUnknown());
    OVActionPtr group = OVAction::action<OVCopyActionGroup>();
    for (const OVActionPtr& action : {unknown->copy(), group}) {
        std::optional<bool> cancelled, succeeded;
        std::optional<OVError> error;
        OVBeforeRunAction(*action, {"/tmp/x"}, [&](bool c) { cancelled = c; }, everything);
        OVRunAction(*action, {"/tmp/x"}, [&](bool ok, std::optional<OVError> e) {
            succeeded = ok;
            error = std::move(e);
        }, everything);
        EXPECT_EQ(cancelled, false);
        EXPECT_EQ(succeeded, false);
        ASSERT_TRUE(error);
    }
    EXPECT_EQ(counting.before, 0);
    EXPECT_EQ(counting.runs, 0);

    // The bare record does take an offered behaviour, before-run step included.
    auto plain = OVAction::action<OVAction>();
    std::optional<bool> succeeded;
    OVBeforeRunAction(*plain, {"/tmp/x"}, [](bool) {}, everything);
    OVRunAction(*plain, {"/tmp/x"}, [&](bool ok, std::optional<OVError>) { succeeded = ok; }, everything);
    EXPECT_EQ(counting.before, 1);
    EXPECT_EQ(counting.runs, 1);
    EXPECT_EQ(succeeded, true);
}

TEST(RunDispatch, EveryRunnableKindOfTheTableHasItsBehaviourAndNoOtherHasOne)
{
    ASSERT_FALSE(OVActionKinds::all().empty());
    for (const OVActionKindEntry& kind : OVActionKinds::all()) {
        SCOPED_TRACE(kind.className);
        OVActionPtr action = kind.makeEmpty();
        EXPECT_EQ(bool(OVRunBehaviourFor(*action)), kind.isRunnable);
    }
    // A bundled script runs as the shell script it is.
    OVRunBehaviour* bundled = OVRunBehaviourFor(*OVAction::emptyInstance<OVBundledScriptAction>());
    OVRunBehaviour* shell = OVRunBehaviourFor(*OVAction::emptyInstance<OVShellScriptAction>());
    ASSERT_TRUE(bundled && shell);
    EXPECT_EQ(typeid(*bundled), typeid(*shell));
    EXPECT_FALSE(OVRunBehaviourFor(*ovtest::unknownAction("x")));
}

} // namespace
