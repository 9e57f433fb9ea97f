// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionArchive.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVShellScriptAction.h"

#include "support/PlistText.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <string>

using ovtest::binaryOf;
using ovtest::xmlOf;

namespace {

std::string replaced(std::string s, const std::string& from, const std::string& to)
{
    const auto at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        s.replace(at, from.size(), to);
    return s;
}

OVSelectionCounts countsOf(const std::string& archive)
{
    auto read = OVActionArchive::unarchiveActions(archive);
    EXPECT_TRUE(read && read->size() == 1) << "a damaged bound must not cost the store";
    if (!read || read->size() != 1)
        return {.minimum = -1, .maximum = -1};
    return read->front()->selectionCounts();
}

} // namespace

TEST(SelectionCounts, AreStoredCopiedAndComparedForActionsAndGroups)
{
    auto single = OVAction::action<OVShellScriptAction>();
    single->setSelectionCounts({1, 1});
    auto group = OVAction::action<OVMoveActionGroup>();
    group->setSelectionCounts({2, std::nullopt});
    auto upTo = OVAction::action<OVShellScriptAction>();
    upTo->setSelectionCounts({std::nullopt, 5});

    auto read = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions({single, group, upTo}));
    ASSERT_TRUE(read && read->size() == 3);
    EXPECT_EQ((*read)[0]->selectionCounts(), (OVSelectionCounts{1, 1}));
    EXPECT_EQ((*read)[1]->selectionCounts(), (OVSelectionCounts{2, std::nullopt}));
    EXPECT_EQ((*read)[2]->selectionCounts(), (OVSelectionCounts{std::nullopt, 5}));

    // Duplicating and pasting go through copy().
    auto copy = group->copy();
    EXPECT_EQ(copy->selectionCounts(), group->selectionCounts());
    EXPECT_TRUE(copy->isEqual(*group));
    copy->setSelectionCounts({});
    EXPECT_FALSE(copy->isEqual(*group)) << "a changed limit is a change to save";
}

// Without limits an action is written as before limits existed; clearing them gives those bytes back.
TEST(SelectionCounts, WithoutLimitsTheArchiveIsTheOldOne)
{
    auto action = OVAction::action<OVShellScriptAction>();
    action->setTitle("Script");
    const std::string before = OVActionArchive::archivedDataWithRootActions({action});
    EXPECT_EQ(xmlOf(before).find("SelectionCount"), std::string::npos);

    action->setSelectionCounts({1, 4});
    const std::string limited = xmlOf(OVActionArchive::archivedDataWithRootActions({action}));
    EXPECT_NE(limited.find("<key>minimumSelectionCount</key>"), std::string::npos);
    EXPECT_NE(limited.find("<key>maximumSelectionCount</key>"), std::string::npos);

    // A reader that does not know a key (an older release, here for the minimum) skips it.
    EXPECT_EQ(countsOf(binaryOf(replaced(limited, "<key>minimumSelectionCount</key>", "<key>laterKey</key>"))),
              (OVSelectionCounts{std::nullopt, 4}));

    action->setSelectionCounts({});
    EXPECT_EQ(OVActionArchive::archivedDataWithRootActions({action}), before);
}

// Bounds come from disk: each bad one is ignored, the action and the rest of the store load.
TEST(SelectionCounts, DamagedBoundsAreIgnoredAndTheActionStillLoads)
{
    auto action = OVAction::action<OVShellScriptAction>();
    action->setSelectionCounts({4321, 8765});
    const std::string xml = xmlOf(OVActionArchive::archivedDataWithRootActions({action}));
    const std::string minimum = "<integer>4321</integer>";
    const std::string maximum = "<integer>8765</integer>";
    ASSERT_NE(xml.find(minimum), std::string::npos) << xml;
    ASSERT_NE(xml.find(maximum), std::string::npos) << xml;
    EXPECT_EQ(countsOf(binaryOf(xml)), (OVSelectionCounts{4321, 8765}));

    const struct {
        const char* what;
        std::string from, to;
        OVSelectionCounts expected;
    } cases[] = {
        {"a negative minimum", minimum, "<integer>-3</integer>", {std::nullopt, 8765}},
        {"a zero minimum", minimum, "<integer>0</integer>", {std::nullopt, 8765}},
        {"a huge maximum", maximum, "<integer>1000000000000</integer>", {4321, std::nullopt}},
        {"a maximum past 64 bits", maximum, "<integer>18446744073709551615</integer>", {4321, std::nullopt}},
        {"a string", minimum, "<string>2</string>", {std::nullopt, 8765}},
        {"a boolean", maximum, "<true/>", {4321, std::nullopt}},
        {"a real", maximum, "<real>3.5</real>", {4321, std::nullopt}},
        {"a minimum above the maximum", minimum, "<integer>9000</integer>", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(countsOf(binaryOf(replaced(xml, c.from, c.to))), c.expected);
    }

    // The same rules hold for what the settings set.
    action->setSelectionCounts({3, 2});
    EXPECT_FALSE(action->selectionCounts().isLimited());
    action->setSelectionCounts({0, OVSelectionCounts::kMaxBound + 1});
    EXPECT_FALSE(action->selectionCounts().isLimited());
    action->setSelectionCounts({OVSelectionCounts::kMaxBound, OVSelectionCounts::kMaxBound});
    EXPECT_EQ(action->selectionCounts().minimum, OVSelectionCounts::kMaxBound);
}
