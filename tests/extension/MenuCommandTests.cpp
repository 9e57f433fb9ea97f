// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-menu's logic run in-process: what it prints where, and its exit status.
#include "extension/ExtensionTestSupport.h"
#include "extension/OVMenuCommand.h"

#include "menus/OVMenuExporter.h"
#include "platform/PluginRegistry.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <sstream>

using namespace ovtest;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome menuCommand(std::vector<std::string> args)
{
    args.insert(args.begin(), "orvane-menu");
    std::vector<const char*> argv;
    for (const auto& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    const int status = OVMenuCommand::run(int(args.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

class MenuCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        docs = makeAction("Documents");
        writeStore({makeGroup("Move to a folder", {docs, makeAction("Off", std::nullopt, false)}),
                    makeAction("Bad \xff title\twith a tab")});
        file = home.writeFile("work/report.txt", "r");
    }

    TempHome home;
    OVActionPtr docs;
    std::string file;
};

TEST_F(MenuCommandTest, BadUsageSaysWhyOnStandardErrorAndDoesNothing)
{
    const std::string hint = "Try 'orvane-menu --help' for more information.\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--kind"}, "--kind needs a value: items, container, sidebar or toolbar"},
        {{"--kind=dock", file}, "unknown menu kind 'dock': use items, container, sidebar or toolbar"},
        {{file, "--run"}, "--run needs an action"},
        {{"--run=", file}, "--run needs an action"},
        {{"--run", "Documents"}, "--run needs at least one PATH"},
        {{"--json", "--run", "Documents", file}, "--json and --run cannot be combined"},
        {{"--export"}, "--export needs a file manager: nemo, thunar, dolphin or all"},
        {{"--unexport", "konqueror"}, "unknown file manager 'konqueror': use nemo, thunar, dolphin or all"},
        {{"--export", "konqueror"}, "unknown file manager 'konqueror': use nemo, thunar, dolphin or all"},
        {{"-x"}, "unknown option '-x'"},
    };
    for (const auto& [args, message] : cases) {
        const Outcome outcome = menuCommand(args);
        SCOPED_TRACE(args.front());
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.err, "orvane-menu: " + message + "\n" + hint);
        EXPECT_EQ(outcome.out, "");
    }
    // Nothing was exported nor stored for the file manager it did not know.
    EXPECT_FALSE(OVMenuExporter::anyExportTurnedOn());
    EXPECT_FALSE(ov::pathExists(home.dataHome() + "/nemo"));

    const Outcome help = menuCommand({"-h", "--bogus"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: orvane-menu [--kind items|container|sidebar|toolbar]"));
    EXPECT_EQ(help.err, "");
}

TEST_F(MenuCommandTest, JSONIsAnIndentedArrayOfItemsOfFiveKeys)
{
    const Outcome outcome = menuCommand({"--json", "--kind", "toolbar", file});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    ASSERT_TRUE(outcome.out.starts_with("[\n  {\n    \"")) << "indented by two spaces";
    ASSERT_TRUE(outcome.out.ends_with("]\n"));
    const auto menu = nlohmann::json::parse(outcome.out);

    std::function<void(const nlohmann::json&)> checkItems = [&](const nlohmann::json& items) {
        ASSERT_TRUE(items.is_array());
        for (const auto& item : items) {
            ASSERT_TRUE(item.is_object());
            EXPECT_EQ(item.size(), 5u) << item.dump();
            EXPECT_TRUE(item["title"].is_string());
            EXPECT_TRUE(item["identifier"].is_string());
            EXPECT_TRUE(item["icon"].is_string() || item["icon"].is_null());
            EXPECT_TRUE(item["enabled"].is_boolean());
            if (!item["submenu"].is_null())
                checkItems(item["submenu"]);
        }
    };
    checkItems(menu);

    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0]["title"], "Move to a folder");
    EXPECT_EQ(menu[0]["identifier"], "");
    ASSERT_EQ(menu[0]["submenu"].size(), 1u) << "the action turned off is left out";
    EXPECT_EQ(menu[0]["submenu"][0]["identifier"], "ov_" + docs->uid());
    // A byte of the store that is not UTF-8 reaches the JSON as U+FFFD.
    const std::string title = menu[1]["title"];
    EXPECT_TRUE(title.starts_with("Bad ")) << title;
    EXPECT_NE(title.find("\xEF\xBF\xBD"), std::string::npos) << title;
    EXPECT_TRUE(menu[1]["identifier"].get<std::string>().starts_with("ov_"));
}

// --explain gives every reason the menu has for leaving an action out, in store order, with a
// group's children after it; the menu above the reasons is the one printed without --explain.
TEST_F(MenuCommandTest, ExplainNamesEveryActionLeftOutAndWhy)
{
    auto shrink = makeAction("Shrink");
    writeStore({makeGroup("Move to a folder", {docs, makeAction("Off", std::nullopt, false)}),
                makeGroup("Images", {shrink}, OVStringList{"image/*"}),
                makeGroup("Archive", {makeAction("Pack")}, std::nullopt, false),
                makeGroup("Empty", {makeAction("Gone", std::nullopt, false), unknownAction("Future")}),
                makeAction("Folders only", OVStringList{"inode/directory"}), unknownAction("Newer"),
                makeAction("Plain")});
    const std::string picture = home.writeFile("work/photo.png", "p");

    for (const std::string kind : {"items", "toolbar"}) {
        SCOPED_TRACE(kind);
        const Outcome plain = menuCommand({"--kind", kind, picture, file});
        const Outcome explained = menuCommand({"--kind", kind, "--explain", picture, file});
        ASSERT_EQ(explained.status, 0) << explained.err;
        EXPECT_EQ(explained.err, "");
        ASSERT_TRUE(explained.out.starts_with(plain.out)) << explained.out;
        const std::string unknown = "it is of a kind this version of Orvane does not know (from a newer Orvane)";
        const std::string notImage = "'" + file + "' is of type text/plain, and the action is only for image/*";
        EXPECT_EQ(explained.out.substr(plain.out.size()),
                  "Left out:\n"
                  "  'Move to a folder/Off': it is turned off\n"
                  "  'Images': " + notImage + "\n"
                  "  'Images/Shrink': " + notImage + "\n"
                  "  'Archive': it is turned off\n"
                  "  'Archive/Pack': its group 'Archive' is turned off\n"
                  "  'Empty': none of its actions can be shown\n"
                  "  'Empty/Gone': it is turned off\n"
                  "  'Empty/Future': " + unknown + "\n"
                  "  'Folders only': '" + picture + "' is of type image/png, and the action is only for inode/directory\n"
                  "  'Newer': " + unknown + "\n");
    }

    // The clicked folder of a background menu is what the types are checked against.
    const Outcome background = menuCommand({"--kind", "container", "--explain", home.path() + "/work"});
    ASSERT_EQ(background.status, 0) << background.err;
    EXPECT_NE(background.out.find("'Images': '" + home.path() + "/work' is of type inode/directory, and the action is only for image/*\n"),
              std::string::npos) << background.out;
    EXPECT_EQ(background.out.find("'Folders only'"), std::string::npos) << background.out;

    // --run refuses with the very reason --explain gives.
    const Outcome refused = menuCommand({"--run", "Images/Shrink", picture, file});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "orvane-menu: the action 'Images/Shrink' is not offered for these files: '" + file +
                               "' is of type text/plain, and the action is only for image/*\n");
}

TEST_F(MenuCommandTest, ExplainSaysWhenNothingIsShownOrLeftOut)
{
    writeStore({makeAction("Plain")});
    EXPECT_EQ(menuCommand({"--explain", file}).out, "Orvane\n  Plain\nNo action is left out.\n");

    writeStore({makeAction("Off", std::nullopt, false)});
    EXPECT_EQ(menuCommand({"--explain", file}).out, "No action is offered for these files.\nLeft out:\n  'Off': it is turned off\n");
    EXPECT_EQ(menuCommand({"--explain", "--kind", "toolbar", file}).out,
              "No Actions Enabled (disabled)\nNo action is offered for these files.\nLeft out:\n  'Off': it is turned off\n");

    // With the extension turned off, that is the only reason worth giving.
    ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, ov::PluginElection::Ignore));
    const Outcome off = menuCommand({"--explain", "--kind", "toolbar", file});
    EXPECT_EQ(off.status, 0);
    EXPECT_EQ(off.out, "Nothing is shown: the Orvane extension is turned off in Orvane.\n");

    const std::string hint = "Try 'orvane-menu --help' for more information.\n";
    for (const auto& args : {std::vector<std::string>{"--explain", "--json", file}, {"--run", "Plain", "--explain", file}}) {
        const Outcome refused = menuCommand(args);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err, "orvane-menu: --explain cannot be combined with --json or --run\n" + hint);
        EXPECT_EQ(refused.out, "");
    }
}

} // namespace
