// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunnerTestSupport.h"

#include "model/OVAppleScriptAction.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVOpenFavesAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/GuiAlert.h"

namespace {

using ScriptRunTest = RunBehaviourTest;

TEST_F(ScriptRunTest, EachPathIsOneArgument)
{
    std::string out = home.path() + "/args.txt";
    std::string script = write("my script.sh", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out + "'\necho done\n");
    auto action = OVAction::action<OVShellScriptAction>();
    action->setScriptURL(script);
    auto result = run(*action, {"/a b/c d.txt", "/plain", "/x'y"});
    EXPECT_TRUE(result.success);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(ovtest::readAll(out), "/a b/c d.txt\n/plain\n/x'y\n");
    // The script is logged as its file URL.
    EXPECT_TRUE(log.contains("Run with script: file:///"));
    EXPECT_TRUE(log.contains("/my%20script.sh"));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return log.contains("Got output: done"); }));
}

TEST_F(ScriptRunTest, WhitespaceOutputIsNotLoggedAndErrorsAre)
{
    std::string script = write("blank.sh", "printf '  \\n\\n'\necho oops >&2\nexit 3\n");
    auto action = OVAction::action<OVBundledScriptAction>(); // the same behaviour as its parent kind
    action->setScriptURL(script);
    EXPECT_TRUE(run(*action, {"/x"}).success);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return log.contains("Got error: oops"); }));
    EXPECT_FALSE(log.contains("Got output"));
}

// A store written before a built-in script was renamed names the old file: the script runs under
// its new name, from the resources folder only, and a user's own missing script is not replaced.
TEST_F(ScriptRunTest, ABuiltInScriptStoredUnderItsFormerNameRunsUnderItsNewOne)
{
    const std::string out = home.path() + "/ran.txt";
    write("resources/Default Scripts/New Window Here in Another Terminal.sh",
          "printf '%s\\n' \"$@\" > '" + out + "'\n");
    ovtest::ScopedEnv resources("ORVANE_RESOURCES_DIR", home.path() + "/resources");

    // Where the older version was installed; the file is gone with it.
    const std::string stored = home.path() + "/old/Default Scripts/New iTerm Window Here.sh";
    auto action = OVAction::action<OVBundledScriptAction>();
    action->setScriptURL(stored);
    EXPECT_TRUE(run(*action, {"/a b"}).success);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return ovtest::readAll(out) == "/a b\n"; }));
    EXPECT_EQ(action->scriptURL(), stored) << "the action itself is not changed";

    // The same file name outside a scripts folder, or as a script of the user's own, stays missing.
    auto elsewhere = OVAction::action<OVBundledScriptAction>();
    elsewhere->setScriptURL(home.path() + "/New iTerm Window Here.sh");
    EXPECT_EQ(elsewhere->scriptToRun(), elsewhere->scriptURL());
    auto own = OVAction::action<OVShellScriptAction>();
    own->setScriptURL(stored);
    EXPECT_EQ(own->scriptToRun(), stored);
}

TEST_F(ScriptRunTest, NoScriptReportsFailure)
{
    auto action = OVAction::action<OVShellScriptAction>();
    auto result = run(*action, {"/x"});
    EXPECT_FALSE(result.success);
    EXPECT_TRUE(result.error);
    EXPECT_TRUE(log.contains("Run with script: (null)"));
}

TEST_F(ScriptRunTest, AppleScriptCannotRunHere)
{
    auto action = OVAction::action<OVAppleScriptAction>();
    action->setScriptURL("/somewhere/script.scpt");
    auto result = run(*action, {"/x"});
    EXPECT_FALSE(result.success);
    EXPECT_FALSE(result.error);
    EXPECT_TRUE(log.contains("Could not init task with error: "));
    EXPECT_TRUE(log.contains("AppleScript"));
}

using ToolRunTest = RunBehaviourTest;

TEST_F(ToolRunTest, OpenFolderIgnoresTheSelection)
{
    auto action = OVAction::action<OVOpenFavesAction>();
    action->setDestinationURL("/home/someone/Documents");
    EXPECT_TRUE(run(*action, {"/a", "/b"}).success);
    EXPECT_EQ(calls("showFolder"), (std::vector<std::vector<std::string>>{{"/home/someone/Documents"}}));
}

TEST_F(ToolRunTest, MailCommandsKeepEveryPathWhole)
{
    OVPaths paths = {"/a b/x,y.pdf", "/q'uote&and.txt"};
    EXPECT_EQ(OVMailComposeCommand("/usr/share/applications/org.mozilla.Thunderbird.desktop", paths),
              (std::vector<std::string>{"thunderbird", "-compose",
                                        "attachment='file:///a%20b/x%2Cy.pdf,file:///q%27uote%26and.txt'"}));
    EXPECT_EQ(OVMailComposeCommand("org.gnome.Evolution.desktop", paths),
              (std::vector<std::string>{"evolution", "mailto:?attach=file:///a%20b/x%2Cy.pdf&attach=file:///q%27uote%26and.txt"}));
    EXPECT_EQ(OVMailComposeCommand("/usr/share/applications/geary.desktop", {"/a b", "-x"}),
              (std::vector<std::string>{"xdg-email", "--attach", "/a b", "--attach", "./-x"}));
}

TEST_F(ToolRunTest, NoMailApplicationShowsTheAlertAndCancels)
{
    if (ov::defaultApplicationForScheme("mailto"))
        GTEST_SKIP() << "this machine has a mail application";
    std::vector<ov::AlertRequest> alerts;
    ov::setAlertPresenter([&](const ov::AlertRequest& request, std::function<void(int)> done) {
        alerts.push_back(request);
        done(0);
    });
    ovtest::Restore noPresenter([] { ov::setAlertPresenter(std::nullopt); });
    int enables = 0, disables = 0;
    OVActivationCenter::setObservers([&] { ++enables; }, [&] { ++disables; });
    ovtest::Restore noObservers([] { OVActivationCenter::setObservers(nullptr, nullptr); });
    auto action = OVAction::action<OVSendViaEmailAction>();
    std::optional<bool> cancelled;
    OVBeforeRunAction(*action, {"/a"}, [&](bool c) { cancelled = c; });
    EXPECT_TRUE(ovtest::pumpUntil([&] { return cancelled.has_value(); }));

    EXPECT_EQ(cancelled, true);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "No Default Mail Handler Detected");
    EXPECT_EQ(alerts[0].informativeText, "Orvane could not find an application to open.");
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"Okay"});
    EXPECT_EQ(enables, 1);
    EXPECT_EQ(disables, 1);
}

} // namespace
