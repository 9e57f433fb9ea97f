// SPDX-License-Identifier: GPL-3.0-or-later
// The extension offers nothing while the user has elected it to be ignored, and reads everything
// again when asked to quit.
#include "extension/ExtensionTestSupport.h"

#include "platform/PluginRegistry.h"
#include "platform/ProductPaths.h"
#include "platform/RunningApplications.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ovtest;

namespace {

ToolResult orvaneMenu(std::vector<std::string> args)
{
    args.insert(args.begin(), ORVANE_BINARY_DIR "/extension/orvane-menu");
    return runTool(args);
}

class ElectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeStore({makeGroup("Move to a folder", {makeAction("Documents")})});
        file = home.writeFile("work/a.txt", "a");
    }

    void elect(ov::PluginElection election) { ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, election)); }

    TempHome home;
    std::string file;
};

TEST_F(ElectionTest, AnIgnoredExtensionOffersNoItemsFromTheNextMenuOn)
{
    auto sync = FinderSync::create();
    sync->setSelection({file}, std::nullopt);
    const auto kinds = {FIMenuKind::ContextualMenuForItems, FIMenuKind::ContextualMenuForContainer,
                        FIMenuKind::ContextualMenuForSidebar, FIMenuKind::ToolbarItemMenu};
    for (auto kind : kinds)
        EXPECT_FALSE(sync->menuForMenuKind(kind).empty()); // never elected: in use

    elect(ov::PluginElection::Ignore);
    for (auto kind : kinds)
        EXPECT_TRUE(sync->menuForMenuKind(kind).empty());

    elect(ov::PluginElection::Use);
    EXPECT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ContextualMenuForItems)),
              (std::vector<std::string>{"Orvane", "Orvane>Move to a folder", "Orvane>Move to a folder>Documents"}));
}

TEST_F(ElectionTest, TheCommandLineHostHonoursItToo)
{
    elect(ov::PluginElection::Ignore);
    auto outline = orvaneMenu({file});
    EXPECT_EQ(outline.status, 0);
    EXPECT_EQ(outline.out, "");
    EXPECT_EQ(orvaneMenu({"--json", file}).out, "[]\n");
    auto run = orvaneMenu({"--run", "Move to a folder/Documents", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("turned off"), std::string::npos) << run.err;

    elect(ov::PluginElection::Use);
    EXPECT_NE(orvaneMenu({file}).out.find("Documents"), std::string::npos);
}

TEST_F(ElectionTest, AQuitRequestMakesItReadEverythingAgain)
{
    auto sync = FinderSync::create();
    ASSERT_EQ(sync->actionsArray().size(), 1u);
    // A store written without the change message: only a fresh start would see it.
    writeStore({makeAction("One"), makeAction("Two")});
    ASSERT_TRUE(ov::requestTermination(ov::kExtensionId));
    EXPECT_TRUE(pumpUntil([&] { return sync->actionsArray().size() == 2; }));
}

} // namespace
