// SPDX-License-Identifier: GPL-3.0-or-later
// orvane-menu's logic run in-process: what it prints where, and its exit status.
#include "extension/ExtensionTestSupport.h"
#include "extension/OVMenuCommand.h"

#include "menus/OVMenuExporter.h"
#include "support/TestSupport.h"

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

} // namespace
