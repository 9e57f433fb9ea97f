// SPDX-License-Identifier: GPL-3.0-or-later
#include "extension/ExtensionTestSupport.h"
#include "menus/OVMenuExport.h"

#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>

using namespace ovtest;
using Titles = std::vector<std::string>;

namespace {

class MenuTest : public ::testing::Test {
protected:
    // Builds the store, then the extension, and answers the item menu without the root item.
    std::shared_ptr<FinderSync> finderSyncWith(const OVActionList& actions)
    {
        writeStore(actions);
        auto sync = FinderSync::create();
        sync->userDefaults()->setUseSubmenu(false);
        return sync;
    }

    TempHome home;
};

TEST_F(MenuTest, SelectionTypesDecideWhichActionsShow)
{
    auto sync = finderSyncWith({
        makeAction("Any"),
        makeAction("Folders", OVStringList{kUTTypeFolder}),
        makeAction("Images", OVStringList{kUTTypeImage}),
        makeAction("Empty types", OVStringList{}),
    });
    const std::string folder = home.makeFolder("Pictures");
    const std::string image = home.writeFile("Pictures/cat.png", "x");

    // A background click acts on the open folder.
    sync->setSelection({}, folder);
    EXPECT_EQ(sync->selectedFileUTIs(), OVStringList{kUTTypeFolder});
    EXPECT_EQ(flatTitles(sync->actionMenu()), (Titles{"Any", "Folders", "Empty types"}));

    sync->setSelection({image}, folder);
    EXPECT_EQ(flatTitles(sync->actionMenu()), (Titles{"Any", "Images", "Empty types"}));

    // Every selected type must conform.
    sync->setSelection({image, folder}, std::nullopt);
    EXPECT_EQ(flatTitles(sync->actionMenu()), (Titles{"Any", "Empty types"}));

    // Nothing at all: only actions without file types.
    sync->setSelection({}, std::nullopt);
    EXPECT_TRUE(sync->selectedFileUTIs().empty());
    EXPECT_EQ(flatTitles(sync->actionMenu()), (Titles{"Any"}));
}

TEST_F(MenuTest, TypesComeFromWholeNamesAndFoldersStayFolders)
{
    auto sync = finderSyncWith({});
    const std::string versioned = home.makeFolder("Photos 2023.05");
    const std::string plain = home.writeFile("Makefile", "all:\n");
    const std::string tarball = home.writeFile("x.tar.gz", "");
    const std::string cmake = home.writeFile("CMakeLists.txt", "");
    const std::string text = home.writeFile("notes.txt", "");

    sync->setSelection({versioned}, std::nullopt);
    EXPECT_EQ(sync->selectedFileUTIs(), OVStringList{kUTTypeFolder});
    sync->setSelection({plain}, std::nullopt);
    EXPECT_EQ(sync->selectedFileUTIs(), OVStringList{"text/x-makefile"});
    // Same extension, other types: a per-extension answer would depend on the order.
    sync->setSelection({tarball, cmake, text, home.path() + "/y.gz"}, std::nullopt);
    EXPECT_EQ(sync->selectedFileUTIs(),
              (OVStringList{"application/gzip", "application/x-compressed-tar", "text/plain", "text/x-cmake"}));
    // Duplicates collapse; the host's folder flag is taken as given.
    sync->setSelectionItems({FinderSync::Item{text, false}, FinderSync::Item{home.path() + "/other.txt", false},
                             FinderSync::Item{"/nowhere/Folder", true}},
                            std::nullopt);
    EXPECT_EQ(sync->selectedFileUTIs(), (OVStringList{kUTTypeFolder, "text/plain"}));
}

TEST(AllUTIsTest, EveryTypeMustConform)
{
    EXPECT_FALSE(FinderSync::allUTIs({}, {}));
    EXPECT_FALSE(FinderSync::allUTIs({}, {kUTTypeImage}));
    EXPECT_TRUE(FinderSync::allUTIs({"image/png"}, {}));
    EXPECT_TRUE(FinderSync::allUTIs({"image/png", "image/jpeg"}, {kUTTypeImage}));
    EXPECT_FALSE(FinderSync::allUTIs({"image/png", kUTTypeFolder}, {kUTTypeImage}));
    EXPECT_TRUE(FinderSync::allUTIs({"text/x-csrc"}, {"text/plain"}));
    EXPECT_FALSE(FinderSync::allUTIs({"text/plain"}, {"text/plain", kUTTypeImage}));
}

TEST_F(MenuTest, GroupsBecomeSubmenusOfTheirVisibleChildren)
{
    auto docs = makeAction("Documents");
    auto nested = makeGroup("Nested", {makeAction("Inner")});
    auto sync = finderSyncWith({
        makeAction("First"),
        makeGroup("Move to a folder", {docs, makeAction("Hidden", std::nullopt, false),
                                       makeAction("Own types ignored", OVStringList{kUTTypeFolder}), nested}),
        makeGroup("Disabled group", {makeAction("Child")}, std::nullopt, false),
        makeGroup("All children disabled", {makeAction("Off", std::nullopt, false)}),
        makeGroup("Empty group", {}),
        makeGroup("Images only", {makeAction("Convert")}, OVStringList{kUTTypeImage}),
        makeAction("Last"),
    });
    sync->setSelection({home.writeFile("a.txt", "")}, std::nullopt);
    OVMenu menu = sync->actionMenu();
    EXPECT_EQ(flatTitles(menu), (Titles{"First", "Move to a folder", "Move to a folder>Documents",
                                        "Move to a folder>Own types ignored", "Move to a folder>Nested", "Last"}));

    const OVMenuItem& group = menu.items[1];
    EXPECT_TRUE(group.identifier.empty());
    ASSERT_TRUE(group.image);
    EXPECT_EQ(*group.image, OVImage::named("icon-move"));
    EXPECT_EQ(group.submenu->items[0].identifier, "ov_" + docs->uid());
    // A group inside a group is an ordinary item.
    EXPECT_EQ(group.submenu->items[2].identifier, "ov_" + nested->uid());
    EXPECT_FALSE(group.submenu->items[2].submenu);
    EXPECT_FALSE(menu.items[0].image); // no icon of its own: no image
}

// An action of a kind from a newer version has no run behaviour here: it is left out of the menu
// and of the other file managers' exports even when something has turned it on.
TEST_F(MenuTest, UnknownKindsAreNeverOfferedNorExported)
{
    auto sync = finderSyncWith({
        makeAction("First"),
        unknownAction("Future"),
        makeGroup("Move to a folder", {unknownAction("Future child"), makeAction("Documents")}),
        makeGroup("Only the future", {unknownAction("Lone child")}),
    });
    sync->setSelection({home.writeFile("a.txt", "")}, std::nullopt);
    const OVActionList loaded = sync->actionsArray();
    ASSERT_EQ(loaded.size(), 4u);
    ASSERT_TRUE(loaded[1]->isUnknown());
    EXPECT_FALSE(loaded[1]->enabled()); // read as off, whatever the record says
    int unknown = 0;
    for (const auto& action : loaded) {
        OVActionList all{action};
        if (auto group = std::dynamic_pointer_cast<OVActionGroup>(action))
            all = group->actions();
        for (const auto& a : all)
            if (a->isUnknown()) {
                a->setEnabled(true);
                ++unknown;
            }
    }
    ASSERT_EQ(unknown, 3);

    const Titles offered{"First", "Move to a folder", "Move to a folder>Documents"};
    EXPECT_EQ(flatTitles(sync->actionMenu()), offered);

    const OVExportMenu exported = exportMenu(loaded, false, "/usr/bin/orvane-menu");
    Titles exportedTitles;
    for (const auto& item : exported.items) {
        exportedTitles.push_back(item.title);
        for (const auto& child : item.children)
            exportedTitles.push_back(item.title + ">" + child.title);
    }
    EXPECT_EQ(exportedTitles, offered);
}

TEST_F(MenuTest, ContextualMenusAreWrappedAndTheToolbarIsNot)
{
    writeStore({makeAction("Folders", OVStringList{kUTTypeFolder}), makeAction("Off", std::nullopt, false)});
    auto sync = FinderSync::create();
    sync->setSelection({}, home.path());
    for (auto kind : {FIMenuKind::ContextualMenuForItems, FIMenuKind::ContextualMenuForContainer,
                      FIMenuKind::ContextualMenuForSidebar}) {
        OVMenu menu = sync->menuForMenuKind(kind);
        ASSERT_EQ(menu.items.size(), 1u);
        EXPECT_EQ(menu.items[0].title, "Orvane");
        EXPECT_EQ(menu.items[0].image, OVImage::named("icon-contextmenu"));
        EXPECT_EQ(flatTitles(*menu.items[0].submenu), Titles{"Folders"});
    }

    // Nothing enabled fits a text file: no "Orvane" item that opens onto nothing.
    sync->setSelection({home.writeFile("a.txt", "")}, std::nullopt);
    for (auto kind : {FIMenuKind::ContextualMenuForItems, FIMenuKind::ContextualMenuForContainer,
                      FIMenuKind::ContextualMenuForSidebar})
        EXPECT_TRUE(sync->menuForMenuKind(kind).empty());
    OVMenu toolbar = sync->menuForMenuKind(FIMenuKind::ToolbarItemMenu);
    ASSERT_EQ(toolbar.items.size(), 1u);
    EXPECT_EQ(toolbar.items[0].title, "No Actions Enabled");
    EXPECT_FALSE(toolbar.items[0].enabled);
    EXPECT_TRUE(toolbar.items[0].identifier.empty());

    sync->userDefaults()->setUseSubmenu(false);
    EXPECT_TRUE(sync->menuForMenuKind(FIMenuKind::ContextualMenuForItems).empty());

    sync->setSelection({}, home.path());
    EXPECT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ToolbarItemMenu)), Titles{"Folders"});
    EXPECT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ContextualMenuForContainer)), Titles{"Folders"});
}

TEST_F(MenuTest, UnreadableStoreGivesEmptyMenus)
{
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "not an archive");
    LogCapture log;
    auto sync = FinderSync::create();
    EXPECT_TRUE(sync->actionsLoadFailed());
    EXPECT_TRUE(sync->actionsArray().empty());
    EXPECT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ToolbarItemMenu)), Titles{"No Actions Enabled"});
    EXPECT_TRUE(sync->menuForMenuKind(FIMenuKind::ContextualMenuForItems).empty());
}

TEST_F(MenuTest, AFreshHomeShowsTheBuiltInActions)
{
    auto sync = FinderSync::create();
    EXPECT_FALSE(sync->actionsLoadFailed());
    EXPECT_EQ(sync->actionsArray().size(), 19u);
    sync->setSelection({}, home.path());
    OVMenu menu = sync->menuForMenuKind(FIMenuKind::ContextualMenuForContainer);
    ASSERT_EQ(menu.items.size(), 1u);
    EXPECT_GT(menu.items[0].submenu->items.size(), 3u);
}

TEST_F(MenuTest, ReloadsWhenAnotherStoreSaves)
{
    writeStore({makeAction("Old")});
    auto sync = FinderSync::create();
    sync->setSelection({}, home.path());
    ASSERT_EQ(sync->actionsArray().size(), 1u);

    auto other = OVActionsManager::create();
    other->updateActions({makeAction("New"), makeAction("Newer")});
    other->actuallySave(); // writes and sends the change message
    // The list is a snapshot until the message arrives.
    EXPECT_EQ(sync->actionsArray().size(), 1u);
    EXPECT_TRUE(pumpUntil([&] { return sync->actionsArray().size() == 2; }));
    EXPECT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ToolbarItemMenu)), (Titles{"New", "Newer"}));

    // The listeners hold the extension weakly: once it is gone a message reaches nothing.
    std::weak_ptr<FinderSync> weak = sync;
    sync.reset();
    EXPECT_TRUE(weak.expired());
    auto watcher = OVProtocol::wormhole();
    ASSERT_TRUE(watcher);
    bool delivered = false;
    watcher->listenForMessageWithIdentifier(std::string(OVProtocol::kDidChangeNotification), [&](const auto&) { delivered = true; });
    other->actuallySave();
    // Once it reached a live listener, and what that queued has run, it reached the old one too.
    ASSERT_TRUE(pumpUntil([&] { return delivered; }));
    ASSERT_TRUE(pumpPending());
}

TEST_F(MenuTest, PreferenceChangeIsSeenByTheNextMenu)
{
    writeStore({makeAction("Only")});
    auto sync = FinderSync::create();
    sync->setSelection({}, home.path());
    auto before = sync->userDefaults();
    ASSERT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ContextualMenuForItems)), (Titles{"Orvane", "Orvane>Only"}));

    OVUserDefaults::create()->setUseSubmenu(false);
    EXPECT_TRUE(pumpUntil([&] { return sync->userDefaults() != before; }));
    EXPECT_EQ(flatTitles(sync->menuForMenuKind(FIMenuKind::ContextualMenuForItems)), Titles{"Only"});
}

TEST_F(MenuTest, ToolbarItemAndDirectories)
{
    auto sync = FinderSync::create();
    EXPECT_EQ(sync->toolbarItemName(), "Orvane");
    EXPECT_EQ(sync->toolbarItemToolTip(), "Click the toolbar item for a menu.");
    EXPECT_EQ(sync->toolbarItemImage(), OVImage::named("icon-orvane"));
    ASSERT_FALSE(sync->directoryURLs().empty());
    EXPECT_EQ(sync->directoryURLs().front(), "/");
}

} // namespace
