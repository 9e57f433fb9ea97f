// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Files.h"
#include "platform/Process.h"
#include "settings/OVStatusHelper.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const std::string kPluginKit = ORVANE_BINARY_DIR "/tools/orvane-pluginkit";
const std::string kExtension = "app.orvane.Orvane.extension";
const std::string kRunner = "app.orvane.Orvanehelper";

class StatusHelperTest : public ::testing::Test {
protected:
    // Everything the helper does to the outside, in order: "run -e use", "quit ID", "open ID".
    std::vector<std::string> calls;
    ovtest::TempHome home;

    OVStatusHelper::Environment environment(const std::string& tool)
    {
        OVStatusHelper::Environment env;
        env.registryTool = tool;
        env.extensionIdentifier = kExtension;
        env.runnerIdentifier = kRunner;
        env.runCommand = [this](const std::vector<std::string>& argv) {
            calls.push_back("run " + argv[1] + " " + argv[2]);
            ov::runAndWait(argv);
        };
        env.openApplication = [this](const std::string& id) { calls.push_back("open " + id); };
        env.terminateApplications = [this](const std::string& id) { calls.push_back("quit " + id); };
        env.delay = 0.05;
        return env;
    }

    // A registry that prints the given answer to every query.
    std::string fakeRegistry(const std::string& answer)
    {
        const std::string answerFile = home.writeFile("answer", answer);
        const std::string tool = home.writeFile(
            "fake-pluginkit", "#!/bin/bash\n[ \"$1\" = -m ] && cat '" + answerFile + "'\nexit 0\n");
        ::chmod(tool.c_str(), 0755);
        return tool;
    }

    // Waits for the answer of a fresh query; answers how often observers heard of it.
    int query(OVStatusHelper& helper)
    {
        int notified = 0;
        bool ended = false;
        unsigned token = helper.addIsEnabledObserver([&](bool) { ++notified; });
        helper.checkEnabledWithCompletionHandler([&] { ended = true; });
        EXPECT_TRUE(ovtest::pumpUntil([&] { return ended; }));
        helper.removeIsEnabledObserver(token);
        return notified;
    }

    // Every quit has been followed by its start: no start is still waiting.
    bool lastCallIsOpen() const { return !calls.empty() && calls.back() == "open " + kRunner; }

    bool calledSince(std::size_t from, const std::string& call)
    {
        return std::find(calls.begin() + std::ptrdiff_t(from), calls.end(), call) != calls.end();
    }
};

TEST_F(StatusHelperTest, TheFirstElectionMarkOfTheAnswerDecides)
{
    struct Case {
        const char* answer;
        bool enabled;
    };
    const Case cases[] = {
        {"+    app.orvane.Orvane.extension(0.1.0)\n", true},
        {"!    app.orvane.Orvane.extension(0.1.0)\n", true},
        {"-    app.orvane.Orvane.extension(0.1.0)\n", false},
        {"     app.orvane.Orvane.extension(0.1.0)\n", false}, // no mark: trimming leaves the identifier
        {"\n+    app.orvane.Orvane.extension(2.0)\n-    app.orvane.Orvane.extension(1.0)\n", true},
        {"-    app.orvane.Orvane.extension(2.0)\n+    app.orvane.Orvane.extension(1.0)", false},
        // The deciding line is the last and has no line end: it is read once the registry ends.
        {"+    app.orvane.Orvane.extension(0.1.0)", true},
        {"  \n\t\n-    app.orvane.Orvane.extension(0.1.0)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        auto helper = OVStatusHelper::create(environment(fakeRegistry(c.answer)));
        helper->setIsEnabled(!c.enabled);
        EXPECT_EQ(query(*helper), 1);
        EXPECT_EQ(helper->isEnabled(), c.enabled);
    }
}

TEST_F(StatusHelperTest, BlankOrMissingAnswersChangeNothingButTheQueryStillEnds)
{
    for (const char* answer : {"", "  \n\t\n"}) {
        auto helper = OVStatusHelper::create(environment(fakeRegistry(answer)));
        helper->setIsEnabled(true);
        // The runner's start follows the quit a moment later; a loaded machine may take longer
        // than that to answer the query below.
        ASSERT_TRUE(ovtest::pumpUntil([&] { return lastCallIsOpen(); }));
        const std::size_t before = calls.size();
        EXPECT_EQ(query(*helper), 0);
        EXPECT_TRUE(helper->isEnabled());
        EXPECT_EQ(calls.size(), before);
    }
    // A registry that cannot even start ends the query too.
    auto missing = OVStatusHelper::create(environment(home.path() + "/no-such-tool"));
    EXPECT_EQ(query(*missing), 0);
    EXPECT_FALSE(missing->isEnabled());
}

TEST_F(StatusHelperTest, EveryAnswerNotifiesAndKeepsTheRunnerInStep)
{
    auto helper = OVStatusHelper::create(environment(fakeRegistry("+    app.orvane.Orvane.extension(0.1.0)\n")));
    EXPECT_EQ(query(*helper), 1);
    EXPECT_EQ(query(*helper), 1); // the same state again still notifies
    // A report of an enabled extension asks the runner to quit, and starts it a moment later.
    // One start after the last quit (two when the second answer came after the first start).
    ASSERT_TRUE(ovtest::pumpUntil([&] { return lastCallIsOpen(); }));
    EXPECT_EQ(calls.front(), "quit " + kRunner);

    fakeRegistry("-    app.orvane.Orvane.extension(0.1.0)\n");
    const std::size_t before = calls.size();
    EXPECT_EQ(query(*helper), 1);
    EXPECT_EQ(std::vector<std::string>(calls.begin() + std::ptrdiff_t(before), calls.end()),
              std::vector<std::string>{"quit " + kRunner});
}

TEST_F(StatusHelperTest, ANewQueryTakesOverThePendingHandler)
{
    auto helper = OVStatusHelper::create(environment(fakeRegistry("+ x\n")));
    int first = 0, second = 0;
    helper->checkEnabledWithCompletionHandler([&] { ++first; });
    helper->checkEnabledWithCompletionHandler([&] { ++second; });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return second > 0; }));
    EXPECT_EQ(query(*helper), 1); // a later query ends without calling the old handlers again
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(StatusHelperTest, SwitchingThroughTheRegistryTool)
{
    auto helper = OVStatusHelper::create(environment(kPluginKit));
    query(*helper);
    EXPECT_TRUE(helper->isEnabled()); // registered and never elected: in use

    helper->disable();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return !helper->isEnabled(); }));
    helper->enable();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return helper->isEnabled(); }));

    // Two quick toggles read the state before the first answer: both elect "ignore".
    const std::size_t before = calls.size();
    helper->toggleEnabled();
    helper->toggleEnabled();
    EXPECT_EQ(std::count(calls.begin() + std::ptrdiff_t(before), calls.end(), "run -e ignore"), 2);
    query(*helper);
    EXPECT_FALSE(helper->isEnabled());
}

TEST_F(StatusHelperTest, AForcedRestartOfADisabledExtensionEndsEnabled)
{
    ASSERT_EQ(ov::runAndWait({kPluginKit, "-e", "ignore", "-i", kExtension}), 0);
    auto helper = OVStatusHelper::create(environment(kPluginKit));
    query(*helper);
    ASSERT_FALSE(helper->isEnabled());

    const std::size_t before = calls.size();
    helper->forceRestart();
    ASSERT_TRUE(ovtest::pumpUntil([&] { return helper->isEnabled(); }));
    // The runner follows each answer on the way; the restart itself is these steps, in order.
    std::vector<std::string> restart(calls.begin() + std::ptrdiff_t(before), calls.end());
    std::erase_if(restart, [](const std::string& call) { return call.ends_with(kRunner); });
    ASSERT_GE(restart.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(restart.begin(), restart.begin() + 3),
              (std::vector<std::string>{"run -e ignore", "quit " + kExtension, "run -e use"}));
}

TEST_F(StatusHelperTest, QuittingWithinTheRestartSecondStillElectsUse)
{
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "told of the end");
        auto env = environment(kPluginKit);
        env.delay = 600; // never reached by the test
        auto helper = OVStatusHelper::create(env);
        const std::size_t before = calls.size();
        helper->forceRestart();
        ASSERT_TRUE(ovtest::pumpUntil([&] { return calledSince(before, "quit " + kExtension); }));
        if (destroy)
            helper.reset();
        else
            helper->applicationWillTerminate();
        EXPECT_EQ(calls.back(), "run -e use");

        const auto listed = ovtest::runTool({kPluginKit, "-m", "-i", kExtension});
        EXPECT_EQ(listed.out.substr(0, 1), "+") << listed.out;
    }
}

} // namespace
