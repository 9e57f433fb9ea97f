// SPDX-License-Identifier: GPL-3.0-or-later
// The kinds that run the system tools, end to end with the real tools of the build tree (and,
// for failures the real tools cannot show at will, stand-in tools).
#include "RunnerTestSupport.h"

#include "model/OVConvertImageAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "platform/GuiAlert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// A 2x2 RGB PNG and a 1x1 GIF, small enough to keep here.
const unsigned char kPng[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
                              0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd, 0xd4, 0x9a,
                              0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xc0,
                              0x00, 0xc2, 0x0c, 0xff, 0x81, 0x00, 0x00, 0x1f, 0xee, 0x05, 0xfb, 0x0b, 0xd9, 0x68, 0x8b, 0x00,
                              0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0xff, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
                              0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

std::string bytes(const unsigned char* data, std::size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

bool isJpeg(const std::string& path)
{
    std::string data = ovtest::readAll(path);
    return data.size() > 3 && static_cast<unsigned char>(data[0]) == 0xFF && static_cast<unsigned char>(data[1]) == 0xD8;
}

class SystemToolRunTest : public RunBehaviourTest {
protected:
    void SetUp() override
    {
        RunBehaviourTest::SetUp();
        ::setenv("ORVANE_TOOLS_DIR", ORVANE_BINARY_DIR "/tools", 1);
    }

    void TearDown() override
    {
        ::unsetenv("ORVANE_TOOLS_DIR");
        ov::setAlertPresenter(std::nullopt);
        OVActivationCenter::setObservers(nullptr, nullptr);
        RunBehaviourTest::TearDown();
    }

    // Tools that fail in ways the real ones do not on request: scripts named like them.
    void useStandInTool(const std::string& name, const std::string& script)
    {
        std::string dir = folder("stand-ins");
        std::string path = write("stand-ins/" + name, "#!/bin/sh\n" + script + "\n");
        ::chmod(path.c_str(), 0755);
        ::setenv("ORVANE_TOOLS_DIR", dir.c_str(), 1);
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto& n : notifications)
            out.push_back(n.informativeText);
        return out;
    }

    // Confirms through the alert the way a user does, typing the given text into its field.
    std::optional<bool> confirm(OVAction& action, const OVPaths& paths, const std::string& typed,
                                ov::AlertRequest* shown = nullptr)
    {
        ov::setAlertPresenter([&](const ov::AlertRequest& request, std::function<void(int)> done) {
            if (shown)
                *shown = request;
            bool enabled = request.textField && request.textField->enablesFirstButton(typed);
            done(enabled ? 0 : 1);
        });
        std::optional<bool> cancelled;
        OVBeforeRunAction(action, paths, [&](bool c) { cancelled = c; });
        EXPECT_TRUE(ovtest::pumpUntil([&] { return cancelled.has_value(); }));
        ov::setAlertPresenter(std::nullopt);
        return cancelled;
    }
};

// Convert image

TEST_F(SystemToolRunTest, ConvertingOneImageAnnouncesItRevealsTheOutputAndSucceeds)
{
    std::string input = write("pics/photo one.png", bytes(kPng, sizeof kPng));
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("jpeg");
    action->setOutputExtension("jpg");
    auto result = run(*action, {input});
    EXPECT_TRUE(result.success);
    std::string output = home.path() + "/pics/photo one.jpg";
    EXPECT_TRUE(isJpeg(output));
    EXPECT_EQ(texts(), (std::vector<std::string>{"Started converting 'photo one.png'", "Finished converting 'photo one.jpg'"}));
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_FALSE(notifications[0].playsDefaultSound);
    EXPECT_TRUE(notifications[1].playsDefaultSound);
    EXPECT_FALSE(notifications[1].path);
    EXPECT_EQ(calls("revealFiles"), (std::vector<std::vector<std::string>>{{output}}));
}

TEST_F(SystemToolRunTest, ImagesConvertedSideBySideNeverShareAnOutputName)
{
    std::string png = write("pics/a.png", bytes(kPng, sizeof kPng));
    std::string gif = write("pics/a.gif", bytes(kGif, sizeof kGif));
    std::string again = write("pics/a.PNG", bytes(kPng, sizeof kPng));
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("jpeg");
    action->setOutputExtension("jpg");
    auto result = run(*action, {png, gif, again});
    EXPECT_TRUE(result.success);
    for (const char* name : {"a.jpg", "a 2.jpg", "a 3.jpg"})
        EXPECT_TRUE(isJpeg(home.path() + "/pics/" + name)) << name;
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].informativeText, "Started converting 3 images");
    EXPECT_EQ(notifications[1].informativeText.rfind("Finished converting 'a", 0), 0u);
    EXPECT_EQ(calls("revealFiles").size(), 1u);
}

TEST_F(SystemToolRunTest, ConvertingIntoTheSameFormatKeepsTheInput)
{
    std::string input = write("pics/b.png", bytes(kPng, sizeof kPng));
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("png");
    action->setOutputExtension("png");
    EXPECT_TRUE(run(*action, {home.path() + "/pics/./sub/../b.png"}).success);
    EXPECT_EQ(ovtest::readAll(input), bytes(kPng, sizeof kPng));
    EXPECT_EQ(texts().back(), "Finished converting 'b 2.png'");
    EXPECT_TRUE(exists(home.path() + "/pics/b 2.png"));
}

TEST_F(SystemToolRunTest, AFailedConversionIsReportedAndLeavesNoEmptyOutput)
{
    std::string good = write("pics/good.png", bytes(kPng, sizeof kPng));
    std::string bad = write("pics/bad.png", "not an image at all");
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("gif");
    action->setOutputExtension("gif");
    auto result = run(*action, {good, bad});
    EXPECT_FALSE(result.success);
    ASSERT_TRUE(result.error);
    EXPECT_NE(result.error->message.find("1 of 2"), std::string::npos);
    EXPECT_EQ(texts().back(), "Could not convert 'bad.png'");
    EXPECT_FALSE(exists(home.path() + "/pics/bad.gif"));
    EXPECT_TRUE(exists(home.path() + "/pics/good.gif"));
    EXPECT_EQ(calls("revealFiles"), (std::vector<std::vector<std::string>>{{home.path() + "/pics/good.gif"}}));
    EXPECT_TRUE(log.contains("[DEBUG] Convert task got error: "));

    // With action notifications off the failure is still told; a success is not.
    OVUserDefaults::create()->setDisableActionNotifications(true);
    notifications.clear();
    EXPECT_FALSE(run(*action, {bad}).success);
    EXPECT_EQ(texts(), std::vector<std::string>{"Could not convert 'bad.png'"});
    EXPECT_TRUE(notifications.back().isError);
    notifications.clear();
    EXPECT_TRUE(run(*action, {good}).success);
    EXPECT_TRUE(notifications.empty());
}

TEST_F(SystemToolRunTest, AnItemIsJudgedByHowItsToolEndedNotByItsErrorOutput)
{
    std::string input = write("pics/c.png", bytes(kPng, sizeof kPng));
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("jpeg");
    action->setOutputExtension("jpg");

    useStandInTool("orvane-sips", "exit 3");
    auto result = run(*action, {input});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(texts().back(), "Could not convert 'c.png'");

    useStandInTool("orvane-sips", "kill -KILL $$");
    EXPECT_FALSE(run(*action, {input}).success);

    EXPECT_FALSE(exists(home.path() + "/pics/c.jpg"));

    // A tool that warns (a truncated photograph still converts) and exits 0 has done its work.
    useStandInTool("orvane-sips", "cp \"$4\" \"$6\"; echo 'warning: premature end of JPEG file' >&2; exit 0");
    EXPECT_TRUE(run(*action, {input}).success);
    EXPECT_EQ(texts().back(), "Finished converting 'c.jpg'");
    EXPECT_TRUE(exists(home.path() + "/pics/c.jpg"));
    EXPECT_TRUE(log.contains("[DEBUG] Convert task got error: warning: premature end of JPEG file"));

    std::string doomed = write("box/warned.txt", "x");
    auto remove = OVAction::action<OVSecureRemoveAction>();
    ASSERT_EQ(confirm(*remove, {doomed}, "DELETE"), false);
    useStandInTool("orvane-rm", "rm -f \"$5\"; echo 'note: nothing to overwrite' >&2");
    EXPECT_TRUE(run(*remove, {doomed}).success);
    EXPECT_EQ(texts().back(), "Successfully removed 'warned.txt' ");
}

TEST_F(SystemToolRunTest, RunningTheSameActionAgainStopsTheFormerRun)
{
    std::string input = write("pics/e.png", bytes(kPng, sizeof kPng));
    std::string marker = write("slow", "");
    useStandInTool("orvane-sips", "if [ -e '" + marker + "' ]; then exec sleep 30; fi");
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("jpeg");
    action->setOutputExtension("jpg");
    std::optional<OVError> firstError;
    int firstCalls = 0;
    OVRunAction(*action, {input}, [&](bool success, std::optional<OVError> error) {
        ++firstCalls;
        EXPECT_FALSE(success);
        firstError = std::move(error);
    });
    ::unlink(marker.c_str());
    auto second = run(*action, {input});
    EXPECT_TRUE(second.success);
    EXPECT_EQ(firstCalls, 1);
    ASSERT_TRUE(firstError);
    EXPECT_EQ(firstError->code, ECANCELED);
    EXPECT_FALSE(exists(home.path() + "/pics/e.jpg")); // the stopped run's claimed name is free again
}

TEST_F(SystemToolRunTest, ConvertWithoutNotificationsStillRevealsAndRunsWithNothingFail)
{
    OVUserDefaults::create()->setDisableActionNotifications(true);
    std::string input = write("pics/d.gif", bytes(kGif, sizeof kGif));
    auto action = OVAction::action<OVConvertImageAction>();
    action->setOutputFormat("png");
    action->setOutputExtension("png");
    EXPECT_TRUE(run(*action, {input}).success);
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(calls("revealFiles").size(), 1u);

    EXPECT_FALSE(run(*action, {}).success);
    action->setOutputExtension(std::string("../x"));
    EXPECT_FALSE(run(*action, {input}).success);
    EXPECT_TRUE(notifications.empty());
}

// Secure delete

TEST(SecureRemoveConfirmation, ListsTenPathsOneLineEachWithControlCharactersEscaped)
{
    OVPaths ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back("/f/" + std::to_string(i));
    std::string text = OVSecureRemoveConfirmationText(ten);
    EXPECT_EQ(text, "/f/0\n/f/1\n/f/2\n/f/3\n/f/4\n/f/5\n/f/6\n/f/7\n/f/8\n/f/9\n\n"
                    "Please confirm this action by typing DELETE in the field below.");
    ten.push_back("/f/10");
    ten.push_back("/f/11");
    text = OVSecureRemoveConfirmationText(ten);
    EXPECT_NE(text.find("/f/9\n ... and 2 other files/folders\n\nPlease confirm"), std::string::npos);
    EXPECT_EQ(text.find("/f/10"), std::string::npos);

    text = OVSecureRemoveConfirmationText({"/home/me/a\n/etc\tb\\c", "/x/\xff\xc3(", "/x/evil\u202Etxt.exe", "/x/café"});
    EXPECT_EQ(text, "/home/me/a\\n/etc\\tb\\\\c\n/x/\\xff\\xc3(\n/x/evil\\u{202E}txt.exe\n/x/café\n\n"
                    "Please confirm this action by typing DELETE in the field below.");
}

TEST_F(SystemToolRunTest, TheConfirmationEnablesDeleteForeverOnlyForDELETE)
{
    ov::AlertRequest shown;
    int enables = 0, disables = 0;
    OVActivationCenter::setObservers([&] { ++enables; }, [&] { ++disables; });
    auto action = OVAction::action<OVSecureRemoveAction>();
    EXPECT_EQ(confirm(*action, {"/nowhere/x"}, "DELETE", &shown), false);
    EXPECT_EQ(enables, 1);
    EXPECT_EQ(disables, 1);
    EXPECT_EQ(shown.messageText, "Are you sure you want to delete the following:");
    EXPECT_EQ(shown.buttons, (std::vector<std::string>{"Delete Forever", "Cancel"}));
    ASSERT_TRUE(shown.textField);
    const auto& rule = shown.textField->enablesFirstButton;
    EXPECT_TRUE(rule("DELETE"));
    for (const char* typed : {"", "delete", "Delete", "DELETE ", " DELETE", "DELETEX", "DELET"})
        EXPECT_FALSE(rule(typed)) << typed;
}

TEST_F(SystemToolRunTest, NothingIsRemovedWithoutConfirmation)
{
    std::string keep = write("box/keep.txt", "data");
    auto action = OVAction::action<OVSecureRemoveAction>();

    // The dialog closed without a button (Escape, its close button) answers -1: that is no.
    ov::setAlertPresenter([](const ov::AlertRequest&, std::function<void(int)> done) { done(-1); });
    std::optional<bool> cancelled;
    OVBeforeRunAction(*action, {keep}, [&](bool c) { cancelled = c; });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return cancelled.has_value(); }));
    ov::setAlertPresenter(std::nullopt);
    EXPECT_EQ(cancelled, true);
    EXPECT_FALSE(run(*action, {keep}).success);
    EXPECT_EQ(ovtest::readAll(keep), "data");

    EXPECT_EQ(confirm(*action, {keep}, "delete"), true);
    EXPECT_FALSE(run(*action, {keep}).success);
    EXPECT_EQ(ovtest::readAll(keep), "data");

    // Confirmed for other paths than the run's.
    EXPECT_EQ(confirm(*action, {home.path() + "/box/other"}, "DELETE"), false);
    EXPECT_FALSE(run(*action, {keep}).success);
    EXPECT_EQ(ovtest::readAll(keep), "data");
}

TEST_F(SystemToolRunTest, SecureDeleteRemovesTreesAndLinksButNeverWhatLinksPointTo)
{
    std::string precious = write("precious/file.txt", "precious");
    write("box/tree/sub/-dash name.txt", "one");
    write("box/tree/two words.txt", "two");
    ASSERT_EQ(::symlink((home.path() + "/precious").c_str(), (home.path() + "/box/tree/link").c_str()), 0);
    ASSERT_EQ(::symlink(precious.c_str(), (home.path() + "/box/top-link").c_str()), 0);
    const OVPaths paths = {home.path() + "/box/tree", home.path() + "/box/top-link", home.path() + "/box/missing"};
    auto action = OVAction::action<OVSecureRemoveAction>();
    ASSERT_EQ(confirm(*action, paths, "DELETE"), false);
    auto result = run(*action, paths);
    EXPECT_TRUE(result.success);
    EXPECT_FALSE(exists(home.path() + "/box/tree"));
    EXPECT_FALSE(exists(home.path() + "/box/top-link"));
    EXPECT_EQ(ovtest::readAll(precious), "precious");
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].informativeText.rfind("Successfully removed '", 0), 0u);
    EXPECT_EQ(notifications[0].informativeText.back(), ' ');
    EXPECT_FALSE(notifications[0].hasActionButton);
    EXPECT_TRUE(notifications[0].playsDefaultSound);
}

TEST_F(SystemToolRunTest, APathThatChangesAfterConfirmationIsLeftAlone)
{
    std::string precious = write("precious/item/file.txt", "precious");
    write("box/item/file.txt", "to go");
    write("box2/item/file.txt", "to go too");
    const std::string item = home.path() + "/box/item";
    const std::string item2 = home.path() + "/box2/item";
    auto action = OVAction::action<OVSecureRemoveAction>();
    ASSERT_EQ(confirm(*action, {item, item2}, "DELETE"), false);

    // The confirmed item turns into a link; the folder above the second one is swapped for a link.
    ovtest::removeTree(item);
    ASSERT_EQ(::symlink((home.path() + "/precious/item").c_str(), item.c_str()), 0);
    ASSERT_EQ(::rename((home.path() + "/box2").c_str(), (home.path() + "/box2-old").c_str()), 0);
    ASSERT_EQ(::symlink((home.path() + "/precious").c_str(), (home.path() + "/box2").c_str()), 0);

    auto result = run(*action, {item, item2});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(ovtest::readAll(precious), "precious");
    EXPECT_TRUE(exists(item)); // the link that took its place stays too
    EXPECT_FALSE(exists(home.path() + "/box2-old/item")); // the confirmed folder's item went
    EXPECT_EQ(texts(), std::vector<std::string>{"Could not remove 'item' "});
}

TEST_F(SystemToolRunTest, PathsWithDotDotAreNeverRemoved)
{
    std::string precious = write("precious/x.txt", "precious");
    folder("box");
    const std::string sneaky = home.path() + "/box/../precious/x.txt";
    auto action = OVAction::action<OVSecureRemoveAction>();
    ASSERT_EQ(confirm(*action, {sneaky}, "DELETE"), false);
    EXPECT_FALSE(run(*action, {sneaky}).success);
    EXPECT_EQ(ovtest::readAll(precious), "precious");
    EXPECT_EQ(texts(), std::vector<std::string>{"Could not remove 'x.txt' "});
}

TEST_F(SystemToolRunTest, SecureDeleteFailuresNameTheFailedItem)
{
    std::string first = write("box/first.txt", "1");
    std::string second = write("box/second.txt", "2");
    ASSERT_EQ(::link(second.c_str(), (home.path() + "/second-link.txt").c_str()), 0);
    auto action = OVAction::action<OVSecureRemoveAction>();
    ASSERT_EQ(confirm(*action, {first, second}, "DELETE"), false);
    auto result = run(*action, {first, second});
    // A file with another hard link is unlinked but cannot be overwritten: that is a failure.
    EXPECT_FALSE(result.success);
    EXPECT_FALSE(exists(first));
    EXPECT_FALSE(exists(second));
    EXPECT_EQ(ovtest::readAll(home.path() + "/second-link.txt"), "2");
    EXPECT_EQ(texts(), std::vector<std::string>{"Could not remove 'second.txt' "});
    EXPECT_TRUE(log.contains("[DEBUG] Delete task got error: "));

    std::string third = write("box/third.txt", "3");
    ASSERT_EQ(confirm(*action, {third}, "DELETE"), false);
    useStandInTool("orvane-rm", "kill -TERM $$");
    EXPECT_FALSE(run(*action, {third}).success);
    EXPECT_EQ(texts().back(), "Could not remove 'third.txt' ");
}

// Reset app preferences

class ResetPreferencesTest : public SystemToolRunTest {
protected:
    void SetUp() override
    {
        SystemToolRunTest::SetUp();
        schemaDir_ = folder("schemas");
        write("schemas/app.orvane.TestApp.gschema.xml", R"(<schemalist>
  <schema id="app.orvane.TestApp" path="/app/orvane/TestApp/">
    <key name="greeting" type="s"><default>'hello'</default></key>
    <child name="window" schema="app.orvane.TestApp.window"/>
  </schema>
  <schema id="app.orvane.TestApp.window" path="/app/orvane/TestApp/window/">
    <key name="width" type="i"><default>600</default></key>
  </schema>
  <schema id="app.orvane.TestApp.Helper" path="/app/orvane/TestApp/Helper/">
    <key name="mode" type="i"><default>0</default></key>
  </schema>
  <schema id="app.orvane.TestApp.Profile">
    <key name="colour" type="s"><default>'grey'</default></key>
  </schema>
  <schema id="app.orvane.orvanetestvendorwide" path="/app/orvane/orvanetestvendorwide/">
    <key name="setting" type="i"><default>1</default></key>
  </schema>
</schemalist>
)");
        ASSERT_EQ(std::system(("glib-compile-schemas '" + schemaDir_ + "'").c_str()), 0);
        ::setenv("GSETTINGS_SCHEMA_DIR", schemaDir_.c_str(), 1);
        saved_ = std::getenv("GSETTINGS_BACKEND") ? std::optional<std::string>(std::getenv("GSETTINGS_BACKEND")) : std::nullopt;
        ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
        app_ = write("data/applications/app.orvane.TestApp.desktop", "[Desktop Entry]\nType=Application\nName=Test\nExec=true\n");
        write("data/applications/app.orvane.desktop", "[Desktop Entry]\nType=Application\nName=Vendor\nExec=true\n");
        write("data/applications/app.orvane.TestApp.Helper.desktop", "[Desktop Entry]\nType=Application\nName=H\nExec=true\n");
    }

    void TearDown() override
    {
        ::unsetenv("GSETTINGS_SCHEMA_DIR");
        if (saved_)
            ::setenv("GSETTINGS_BACKEND", saved_->c_str(), 1);
        else
            ::unsetenv("GSETTINGS_BACKEND");
        SystemToolRunTest::TearDown();
    }

    std::string gsettings(const std::string& args)
    {
        std::string out;
        if (FILE* p = ::popen(("gsettings " + args + " 2>&1").c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, p))
                out += buffer;
            ::pclose(p);
        }
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }

    std::string schemaDir_;
    std::string app_;
    std::optional<std::string> saved_;
};

TEST_F(ResetPreferencesTest, ResetsTheApplicationsSchemasRecursively)
{
    gsettings("set app.orvane.TestApp greeting 'bye'");
    gsettings("set app.orvane.TestApp.window width 99");
    gsettings("set app.orvane.orvanetestvendorwide setting 5");
    gsettings("set app.orvane.TestApp.Profile:/app/orvane/TestApp/ colour 'red'");
    gsettings("set app.orvane.TestApp.Helper mode 2");
    ASSERT_EQ(gsettings("get app.orvane.TestApp greeting"), "'bye'");
    ASSERT_EQ(gsettings("get app.orvane.TestApp.Profile:/app/orvane/TestApp/ colour"), "'red'");

    std::string other = write("elsewhere/other.desktop", "[Desktop Entry]\nType=Application\nName=O\nExec=true\n");
    auto action = OVAction::action<OVResetAppPreferencesAction>();
    auto result = run(*action, {app_, other});
    EXPECT_TRUE(result.success);
    EXPECT_EQ(gsettings("get app.orvane.TestApp greeting"), "'hello'");
    EXPECT_EQ(gsettings("get app.orvane.TestApp.window width"), "600");
    EXPECT_EQ(gsettings("get app.orvane.TestApp.Profile:/app/orvane/TestApp/ colour"), "'grey'"); // relocatable, at the application's path
    EXPECT_EQ(gsettings("get app.orvane.orvanetestvendorwide setting"), "5");
    EXPECT_EQ(gsettings("get app.orvane.TestApp.Helper mode"), "2"); // another installed application's
    EXPECT_EQ(texts(), std::vector<std::string>{"Preferences for app.orvane.TestApp.desktop have been reset."});
    EXPECT_TRUE(log.contains("Found bundle 'app.orvane.TestApp' for path " + app_));
}

TEST_F(ResetPreferencesTest, AVendorPrefixOrAnUninstalledApplicationResetsNothing)
{
    gsettings("set app.orvane.orvanetestvendorwide setting 5");
    auto action = OVAction::action<OVResetAppPreferencesAction>();
    // "app.orvane.desktop" names the id "app.orvane": a vendor's prefix, not an application.
    auto result = run(*action, {home.path() + "/data/applications/app.orvane.desktop"});
    EXPECT_FALSE(result.success);
    EXPECT_EQ(gsettings("get app.orvane.orvanetestvendorwide setting"), "5");
    EXPECT_EQ(texts(), std::vector<std::string>{"Preferences for app.orvane.desktop could not be reset."});
    EXPECT_TRUE(log.contains("Domain (app.orvane) not found."));

    std::string notInstalled = write("elsewhere/app.orvane.TestApp2.desktop", "[Desktop Entry]\nType=Application\nName=T\nExec=true\n");
    EXPECT_FALSE(run(*action, {notInstalled}).success);
    EXPECT_EQ(texts().back(), "Preferences for app.orvane.TestApp2.desktop could not be reset.");
}

TEST_F(ResetPreferencesTest, WithoutAnApplicationIdNothingStartsAndTheRunFails)
{
    auto action = OVAction::action<OVResetAppPreferencesAction>();
    EXPECT_FALSE(run(*action, {write("notes.txt", "x")}).success);
    EXPECT_FALSE(run(*action, {}).success);
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(OVBundleIDForPath(app_), "app.orvane.TestApp");
    std::string nested = write("data/applications/vendor/tool.desktop", "[Desktop Entry]\nType=Application\nName=V\nExec=true\n");
    EXPECT_EQ(OVBundleIDForPath(nested), "vendor-tool");
    EXPECT_EQ(OVBundleIDForPath(write("link.desktop", "[Desktop Entry]\nType=Link\nURL=x\n")), std::nullopt);
}

} // namespace
