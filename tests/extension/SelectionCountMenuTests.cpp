// SPDX-License-Identifier: GPL-3.0-or-later
// How many items an action is for: the menu, --explain and --run, and the three exports.
#include "extension/ExtensionTestSupport.h"
#include "extension/OVMenuCommand.h"
#include "menus/OVMenuExport.h"

#include "model/OVUserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace ovtest;
using Titles = std::vector<std::string>;

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

OVActionPtr limited(OVActionPtr action, std::optional<int> minimum, std::optional<int> maximum)
{
    action->setSelectionCounts({minimum, maximum});
    return action;
}

class SelectionCountTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeStore({
            limited(makeAction("One"), 1, 1),
            limited(makeAction("Several"), 2, std::nullopt),
            limited(makeAction("Two or three"), 2, 3),
            limited(makeAction("At most two"), std::nullopt, 2),
            makeAction("Any"),
            limited(makeGroup("Pair", {makeAction("Join")}), 2, 2),
            // A child's own counts are not consulted: the group's are.
            makeGroup("Open", {limited(makeAction("Only alone"), 1, 1)}),
        });
        for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
            files.push_back(home.writeFile(std::string("work/") + name, "x"));
    }

    Titles menuFor(std::size_t count)
    {
        auto sync = FinderSync::create();
        sync->userDefaults()->setUseSubmenu(false);
        sync->setSelection(OVPaths(files.begin(), files.begin() + std::ptrdiff_t(count)), std::nullopt);
        return flatTitles(sync->actionMenu());
    }

    TempHome home;
    OVPaths files;
};

TEST_F(SelectionCountTest, TheMenuOffersOnlyActionsForThatManyItems)
{
    EXPECT_EQ(menuFor(1), (Titles{"One", "At most two", "Any", "Open", "Open>Only alone"}));
    EXPECT_EQ(menuFor(2), (Titles{"Several", "Two or three", "At most two", "Any", "Pair", "Pair>Join", "Open",
                                  "Open>Only alone"}));
    EXPECT_EQ(menuFor(3), (Titles{"Several", "Two or three", "Any", "Open", "Open>Only alone"}));
    EXPECT_EQ(menuFor(4), (Titles{"Several", "Any", "Open", "Open>Only alone"}));

    // A folder's background is one item, the folder, as the action receives it.
    auto sync = FinderSync::create();
    sync->userDefaults()->setUseSubmenu(false);
    sync->setSelection({}, home.path() + "/work");
    EXPECT_EQ(flatTitles(sync->actionMenu()), (Titles{"One", "At most two", "Any", "Open", "Open>Only alone"}));
}

TEST_F(SelectionCountTest, ExplainAndRunGiveTheCountAsTheReason)
{
    const Outcome two = menuCommand({"--explain", files[0], files[1]});
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_TRUE(two.out.ends_with("Left out:\n"
                                  "  'One': 2 items are selected, and the action is only for 1 item\n"))
        << two.out;

    const Outcome one = menuCommand({"--explain", files[0]});
    EXPECT_TRUE(one.out.ends_with("Left out:\n"
                                  "  'Several': 1 item is selected, and the action is only for 2 or more items\n"
                                  "  'Two or three': 1 item is selected, and the action is only for 2 to 3 items\n"
                                  "  'Pair': 1 item is selected, and the action is only for 2 items\n"
                                  "  'Pair/Join': 1 item is selected, and the action is only for 2 items\n"))
        << one.out;

    const Outcome three = menuCommand({"--explain", files[0], files[1], files[2]});
    EXPECT_NE(three.out.find("  'At most two': 3 items are selected, and the action is only for at most 2 items\n"),
              std::string::npos)
        << three.out;

    // The exported entries all run through --run, which refuses what their format let through.
    const Outcome refused = menuCommand({"--run", "Two or three", files[0], files[1], files[2], files[3]});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "orvane-menu: the action 'Two or three' is not offered for these files: 4 items are "
                           "selected, and the action is only for 2 to 3 items\n");
    const Outcome child = menuCommand({"--run", "Pair/Join", files[0]});
    EXPECT_EQ(child.status, 1);
    EXPECT_NE(child.err.find("1 item is selected, and the action is only for 2 items"), std::string::npos) << child.err;
}

// What each format can say is said there; the rest is left to --run (above).
TEST(SelectionCountExport, EachFormatCarriesWhatItCanSay)
{
    auto one = limited(makeAction("One"), 1, 1);
    auto three = limited(makeAction("Three"), 3, 3);
    auto several = limited(makeAction("Several"), 2, std::nullopt);
    auto range = limited(makeAction("Range"), 2, 5);
    auto atMost = limited(makeAction("At most"), std::nullopt, 4);
    auto any = makeAction("Any");
    auto join = makeAction("Join");
    auto pair = limited(makeGroup("Pair", {join}), 2, 2);
    const OVExportMenu menu = exportMenu({one, three, several, range, atMost, any, pair}, true, "/usr/bin/orvane-menu");

    std::map<std::string, std::string> nemo;
    for (const auto& file : nemoActionFiles(menu))
        nemo[file.name] = file.contents;
    auto nemoFile = [&](const OVActionPtr& action, const char* suffix) {
        for (const auto& [name, contents] : nemo)
            if (name.ends_with(action->uid() + suffix))
                return contents;
        return std::string();
    };
    const std::pair<OVActionPtr, std::string> selections[] = {
        {one, "s"}, {three, "3"}, {several, "m"}, {range, "m"}, {atMost, "notnone"}, {any, "notnone"}, {join, "2"},
    };
    for (const auto& [action, selection] : selections) {
        SCOPED_TRACE(action->title().value_or(""));
        EXPECT_NE(nemoFile(action, ".nemo_action").find("\nSelection=" + selection + "\n"), std::string::npos)
            << nemoFile(action, ".nemo_action");
    }
    // The background entry stands for one item: only actions that take one get it.
    for (const auto& action : {one, atMost, any})
        EXPECT_FALSE(nemoFile(action, "-background.nemo_action").empty()) << action->title().value_or("");
    for (const auto& action : {three, several, range, join})
        EXPECT_TRUE(nemoFile(action, "-background.nemo_action").empty()) << action->title().value_or("");

    std::map<std::string, std::string> dolphin;
    for (const auto& file : dolphinServiceMenus(menu))
        dolphin[file.name] = file.contents;
    auto dolphinFile = [&](const OVActionPtr& action) {
        for (const auto& [name, contents] : dolphin)
            if (name.ends_with(action->uid() + ".desktop"))
                return contents;
        return std::string();
    };
    auto has = [](const std::string& text, const std::string& line) { return text.find("\n" + line + "\n") != std::string::npos; };
    EXPECT_TRUE(has(dolphinFile(one), "X-KDE-MinNumberOfUrls=1") && has(dolphinFile(one), "X-KDE-MaxNumberOfUrls=1"));
    EXPECT_TRUE(has(dolphinFile(range), "X-KDE-MinNumberOfUrls=2") && has(dolphinFile(range), "X-KDE-MaxNumberOfUrls=5"));
    EXPECT_TRUE(has(dolphinFile(several), "X-KDE-MinNumberOfUrls=2"));
    EXPECT_EQ(dolphinFile(several).find("MaxNumberOfUrls"), std::string::npos);
    EXPECT_TRUE(has(dolphinFile(atMost), "X-KDE-MaxNumberOfUrls=4"));
    EXPECT_EQ(dolphinFile(atMost).find("MinNumberOfUrls"), std::string::npos);
    EXPECT_TRUE(has(dolphinFile(pair), "X-KDE-MinNumberOfUrls=2") && has(dolphinFile(pair), "X-KDE-MaxNumberOfUrls=2"));
    // The keys belong to the [Desktop Entry] group, before the first action.
    EXPECT_LT(dolphinFile(pair).find("MinNumberOfUrls"), dolphinFile(pair).find("[Desktop Action"));
    EXPECT_EQ(dolphinFile(any).find("NumberOfUrls"), std::string::npos);

    const std::string thunar = thunarActionElements(menu);
    auto thunarRange = [&](const OVActionPtr& action) {
        const auto at = thunar.find(action->uid() + "</unique-id>");
        const auto end = thunar.find("</action>", at);
        const auto range = thunar.find("<range>", at);
        if (at == std::string::npos || range > end)
            return std::string("(none)");
        return thunar.substr(range + 7, thunar.find("</range>", range) - range - 7);
    };
    EXPECT_EQ(thunarRange(one), "1-1");
    EXPECT_EQ(thunarRange(three), "3-3");
    EXPECT_EQ(thunarRange(several), "2-" + std::to_string(OVSelectionCounts::kMaxBound));
    EXPECT_EQ(thunarRange(range), "2-5");
    EXPECT_EQ(thunarRange(atMost), "1-4");
    EXPECT_EQ(thunarRange(join), "2-2");
    EXPECT_EQ(thunarRange(any), "(none)");
}

} // namespace
