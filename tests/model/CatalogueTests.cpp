// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLBundleResources.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVCopyToAction.h"
#include "model/OVDefaultCatalogue.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenFavesAction.h"
#include "archive/OVPropertyList.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "platform/UserFolders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <gio/gio.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

struct Entry {
    const char* kind;
    const char* title;
    bool enabled;
    std::optional<OVStringList> fileTypes;
};

const OVStringList kFolders{kUTTypeFolder};

// What a first run must produce, in this order.
const std::vector<Entry> kFirstRun = {
    {"OVNewFileActionGroup", "Create new file", true, std::nullopt},
    {"OVMoveActionGroup", "Move to a folder", true, std::nullopt},
    {"OVCopyActionGroup", "Copy to a folder", true, std::nullopt},
    {"OVOpenFavesActionGroup", "Open new window", true, std::nullopt},
    {"OVOpenWithActionGroup", "Open With", true, std::nullopt},
    {"OVSecureRemoveAction", "Secure Delete", false, std::nullopt},
    {"OVCompressPasswordAction", "Compress with password", true, std::nullopt},
    {"OVSendViaEmailAction", "Send via Email", true, std::nullopt},
    {"OVConvertImageActionGroup", "Convert Image", true, OVStringList{kUTTypeImage}},
    {"OVResetAppPreferencesAction", "Reset App Preferences", true, OVStringList{kUTTypeApplication}},
    {"OVBundledScriptAction", "Copy paths to clipboard", true, std::nullopt},
    {"OVBundledScriptAction", "New Terminal Tab Here", false, kFolders},
    {"OVBundledScriptAction", "New Terminal Window Here", true, kFolders},
    {"OVBundledScriptAction", "Edit with Vim", true, std::nullopt},
    {"OVBundledScriptAction", "Show hidden files", false, std::nullopt},
    {"OVBundledScriptAction", "Hide hidden files", false, std::nullopt},
    {"OVBundledScriptAction", "Edit with Emacs", false, std::nullopt},
    {"OVBundledScriptAction", "New Tab Here in Another Terminal", false, kFolders},
    {"OVBundledScriptAction", "New Window Here in Another Terminal", false, kFolders},
};

std::optional<std::string> destinationOf(const OVAction& action)
{
    if (auto* move = dynamic_cast<const OVMoveToAction*>(&action))
        return move->destinationURL();
    if (auto* copy = dynamic_cast<const OVCopyToAction*>(&action))
        return copy->destinationURL();
    if (auto* faves = dynamic_cast<const OVOpenFavesAction*>(&action))
        return faves->destinationURL();
    return std::nullopt;
}

std::vector<std::string> titlesOf(const OVActionList& actions)
{
    std::vector<std::string> titles;
    for (const auto& a : actions)
        titles.push_back(a->title().value_or("(none)"));
    return titles;
}

// A copy of the data folder that a test may damage; the programs read it while this lives.
class ResourcesCopy {
public:
    explicit ResourcesCopy(const std::string& root) : path_(root + "/resources")
    {
        std::filesystem::copy(ov::resourcesPath(), path_, std::filesystem::copy_options::recursive);
        g_setenv("ORVANE_RESOURCES_DIR", path_.c_str(), TRUE);
    }
    ~ResourcesCopy() { g_unsetenv("ORVANE_RESOURCES_DIR"); }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

class CatalogueTest : public ::testing::Test {
protected:
    // One launch of the settings application: the store as it is on disk, the catalogue run,
    // and the coalesced save waited for.
    std::shared_ptr<OVActionsManager> launch()
    {
        auto store = OVActionsManager::create();
        EXPECT_TRUE(store);
        ::unlink(OVActionsManager::saveURL().c_str());
        OVDefaultCatalogue(store, OVUserDefaults::create()).generateDefaultsIfNeeded();
        EXPECT_TRUE(ovtest::pumpUntil([] { return ov::isRegularFile(OVActionsManager::saveURL()); }));
        return store;
    }

    // Replaces the stored list, as the settings application's editor would.
    void rewrite(const std::function<void(OVActionList&)>& edit)
    {
        auto store = OVActionsManager::create();
        ASSERT_TRUE(store);
        OVActionList list = store->actions();
        edit(list);
        store->updateActions(list);
        ASSERT_TRUE(store->saveToFile());
    }

    static void removeTitled(OVActionList& list, const std::string& title)
    {
        std::erase_if(list, [&](const OVActionPtr& a) { return a->title() == title; });
    }

    ovtest::TempHome home;
};

TEST_F(CatalogueTest, FirstRunWritesTheNineteenEntriesInOrderAndBothFlags)
{
    auto store = launch();
    const OVActionList actions = OVActionsManager::create()->actions();
    ASSERT_EQ(actions.size(), kFirstRun.size()) << ::testing::PrintToString(titlesOf(actions));
    for (std::size_t i = 0; i < kFirstRun.size(); ++i) {
        SCOPED_TRACE(kFirstRun[i].title);
        EXPECT_STREQ(actions[i]->className(), kFirstRun[i].kind);
        EXPECT_EQ(actions[i]->title(), kFirstRun[i].title);
        EXPECT_EQ(actions[i]->enabled(), kFirstRun[i].enabled);
        EXPECT_EQ(actions[i]->fileTypes(), kFirstRun[i].fileTypes);
        EXPECT_TRUE(actions[i]->isDefault());
    }
    auto defaults = OVUserDefaults::create();
    EXPECT_TRUE(defaults->didCreateDefaultActions());
    EXPECT_TRUE(defaults->didCreateDefaultActions2());
    EXPECT_TRUE(std::dynamic_pointer_cast<OVActionGroup>(actions[4])->actions().empty()); // Open With
}

TEST_F(CatalogueTest, FolderGroupsTargetTheUserFoldersTitledByTheirOwnNames)
{
    launch();
    const OVActionList actions = OVActionsManager::create()->actions();
    const std::vector<std::string> folders = {ov::userDirectory(ov::UserDirectory::Documents),
                                              ov::userDirectory(ov::UserDirectory::Pictures),
                                              ov::userDirectory(ov::UserDirectory::Desktop)};
    for (std::size_t g = 1; g <= 3; ++g) {
        auto children = std::dynamic_pointer_cast<OVActionGroup>(actions[g])->actions();
        ASSERT_EQ(children.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(folders[i]);
            const char* expectedKind = g == 1 ? "OVMoveToAction" : g == 2 ? "OVCopyToAction" : "OVOpenFavesAction";
            EXPECT_STREQ(children[i]->className(), expectedKind);
            EXPECT_EQ(destinationOf(*children[i]), folders[i]);
            EXPECT_EQ(children[i]->title(), ov::lastPathComponent(folders[i]));
            EXPECT_TRUE(children[i]->enabled());
            ASSERT_TRUE(children[i]->icon());
            EXPECT_FALSE(children[i]->icon()->isEmpty());
        }
    }
}

TEST_F(CatalogueTest, NewFileEntriesComeFromDefaultFilesWithValidTemplates)
{
    launch();
    auto group = std::dynamic_pointer_cast<OVActionGroup>(OVActionsManager::create()->actions()[0]);
    auto entries = hl_arrayFromPropertyListWithName("DefaultFiles");
    ASSERT_TRUE(entries);
    ASSERT_GE(entries->size(), 5u);
    ASSERT_LE(entries->size(), 7u);
    const auto children = group->actions();
    ASSERT_EQ(children.size(), entries->size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        const auto& entry = std::get<OVValue::Dictionary>((*entries)[i].value);
        auto* action = dynamic_cast<const OVNewFileAction*>(children[i].get());
        ASSERT_TRUE(action);
        SCOPED_TRACE(*action->title());
        EXPECT_EQ(action->title(), std::get<std::string>(entry.at("title").value));
        EXPECT_EQ(action->fileName(), std::get<std::string>(entry.at("fileName").value));
        EXPECT_EQ(action->extension(), std::get<std::string>(entry.at("extension").value));
        EXPECT_EQ(action->enabled(), std::get<bool>(entry.at("enabled").value));
        EXPECT_TRUE(action->isDefault());
        ASSERT_TRUE(action->templateURL());
        ASSERT_TRUE(action->icon());
        EXPECT_FALSE(action->icon()->serialized().empty());

        // Each template is a file of the type its extension names: its content says so too.
        const std::string data = ovtest::readAll(*action->templateURL());
        const std::string name = "x." + *action->extension();
        gchar* byName = g_content_type_guess(name.c_str(), nullptr, 0, nullptr);
        gboolean uncertain = TRUE;
        gchar* byBoth = g_content_type_guess(name.c_str(), reinterpret_cast<const guchar*>(data.data()), data.size(),
                                             &uncertain);
        EXPECT_TRUE(g_content_type_is_a(byBoth, byName)) << byBoth << " is not " << byName;
        g_free(byName);
        g_free(byBoth);
        if (*action->extension() == "odt") {
            gchar* sniffed = g_content_type_guess(nullptr, reinterpret_cast<const guchar*>(data.data()), data.size(), nullptr);
            EXPECT_STREQ(sniffed, "application/vnd.oasis.opendocument.text");
            g_free(sniffed);
        }
        if (*action->extension() == "sh") {
            const std::string check = "/bin/bash -n '" + *action->templateURL() + "'";
            EXPECT_EQ(std::system(check.c_str()), 0);
        }
    }
}

TEST_F(CatalogueTest, BuiltInScriptsCarryTheirScriptDescriptionAndIcon)
{
    launch();
    auto descriptions = hl_dictionaryFromPropertyListWithName("BundledDescriptions");
    ASSERT_TRUE(descriptions);
    for (const auto& action : OVActionsManager::create()->actions()) {
        auto* script = dynamic_cast<const OVBundledScriptAction*>(action.get());
        if (!script)
            continue;
        SCOPED_TRACE(*script->title());
        ASSERT_TRUE(script->scriptURL());
        EXPECT_TRUE(ov::isRegularFile(*script->scriptURL()));
        EXPECT_FALSE(script->isEditable());
        ASSERT_TRUE(script->actionDescription());
        EXPECT_EQ(*script->actionDescription(), std::get<std::string>(descriptions->at(*script->title()).value));
        EXPECT_EQ(script->icon(), OVImage::named(*script->title()));
    }
}

TEST_F(CatalogueTest, SecondLaunchAddsNothingAndStillSaves)
{
    launch();
    const auto before = OVActionsManager::create()->actions();
    launch(); // waits for the file that launch() removed to be written again
    const auto after = OVActionsManager::create()->actions();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i]->uid(), before[i]->uid());
}

TEST_F(CatalogueTest, MissingDefaultGroupsAreAppendedButBuiltInScriptsAreNotRetried)
{
    launch();
    // A list with the move group but no copy group, and without "Edit with Vim".
    rewrite([](OVActionList& list) {
        removeTitled(list, "Copy to a folder");
        removeTitled(list, "Edit with Vim");
    });
    launch();
    const auto titles = titlesOf(OVActionsManager::create()->actions());
    ASSERT_EQ(titles.size(), kFirstRun.size() - 1);
    EXPECT_EQ(titles.back(), "Copy to a folder");
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Edit with Vim"), 0);
}

TEST_F(CatalogueTest, ASecureDeleteThatIsNoLongerDefaultGetsADefaultOneDisabled)
{
    launch();
    rewrite([](OVActionList& list) {
        for (auto& a : list)
            if (dynamic_cast<OVSecureRemoveAction*>(a.get()))
                a->setIsDefault(false);
    });
    launch();
    const auto actions = OVActionsManager::create()->actions();
    ASSERT_EQ(actions.size(), kFirstRun.size() + 1);
    EXPECT_STREQ(actions[5]->className(), "OVSecureRemoveAction");
    EXPECT_FALSE(actions[5]->isDefault());
    EXPECT_STREQ(actions.back()->className(), "OVSecureRemoveAction");
    EXPECT_TRUE(actions.back()->isDefault());
    EXPECT_FALSE(actions.back()->enabled());
}

TEST_F(CatalogueTest, AnUpgradeWithoutTheSecondBatchGetsItAtTheEnd)
{
    launch();
    rewrite([](OVActionList& list) {
        for (const char* title : {"Edit with Emacs", "New Tab Here in Another Terminal", "New Window Here in Another Terminal"})
            removeTitled(list, title);
        // The user's own entry, after which the new ones must come.
        auto mine = OVAction::action<OVMoveToAction>();
        mine->setTitle("Mine");
        list.push_back(mine);
    });
    OVUserDefaults::create()->setDidCreateDefaultActions2(false);
    launch();
    const auto actions = OVActionsManager::create()->actions();
    const auto titles = titlesOf(actions);
    ASSERT_EQ(titles.size(), kFirstRun.size() + 1);
    EXPECT_EQ(std::vector<std::string>(titles.end() - 4, titles.end()),
              (std::vector<std::string>{"Mine", "Edit with Emacs", "New Tab Here in Another Terminal", "New Window Here in Another Terminal"}));
    for (auto it = actions.end() - 3; it != actions.end(); ++it)
        EXPECT_FALSE((*it)->enabled());
    EXPECT_TRUE(OVUserDefaults::create()->didCreateDefaultActions2());
}

// A store an older version wrote holds the built-in entries under the titles and script file
// names of that time: the top-up keys on kinds and flags, so they stay as the user has them, and
// the scripts still run under their current names.
TEST_F(CatalogueTest, AnOlderStoreKeepsItsTitlesAndItsRenamedScriptsStillRun)
{
    const std::map<std::string, std::string> older = {
        {"Open new window", "Open new Finder window"},
        {"Show hidden files", "Show hidden files in Finder"},
        {"Hide hidden files", "Hide hidden files in Finder"},
        {"New Tab Here in Another Terminal", "New iTerm Tab Here"},
        {"New Window Here in Another Terminal", "New iTerm Window Here"},
    };
    launch();
    const std::string scripts = ov::resourcesPath() + "/Default Scripts/";
    rewrite([&](OVActionList& list) {
        for (auto& action : list) {
            auto it = older.find(action->title().value_or(""));
            if (it == older.end())
                continue;
            action->setTitle(it->second);
            if (auto* script = dynamic_cast<OVBundledScriptAction*>(action.get())) {
                script->setDefaultTitle(it->second);
                script->setScriptURL(scripts + it->second + ".sh");
                script->setIcon(OVImage::named(it->second));
            }
        }
    });
    const auto before = titlesOf(OVActionsManager::create()->actions());
    ASSERT_EQ(std::count(before.begin(), before.end(), "New iTerm Tab Here"), 1);
    launch();
    const auto after = OVActionsManager::create()->actions();
    EXPECT_EQ(titlesOf(after), before);

    std::size_t renamed = 0;
    for (const auto& action : after) {
        auto* script = dynamic_cast<const OVBundledScriptAction*>(action.get());
        if (!script || OVBundledScriptAction::currentBundledName(*script->title()) == *script->title())
            continue;
        SCOPED_TRACE(*script->title());
        ++renamed;
        EXPECT_FALSE(ov::isRegularFile(*script->scriptURL())) << "the old file is gone";
        const std::string current = OVBundledScriptAction::currentBundledName(*script->title());
        EXPECT_EQ(script->scriptToRun(), scripts + current + ".sh");
        EXPECT_TRUE(ov::isRegularFile(*script->scriptToRun()));
    }
    EXPECT_EQ(renamed, 4u);
}

TEST_F(CatalogueTest, MissingResourcesLeaveTheirEntriesOutOrEmpty)
{
    ResourcesCopy resources(home.path());
    ::unlink((resources / "Default Templates/Untitled.md").c_str());
    ::unlink((resources / "Default Scripts/Edit with Vim.sh").c_str());
    ::unlink((resources / "BundledDescriptions.plist").c_str());
    ovtest::LogCapture log;
    launch();
    const auto actions = OVActionsManager::create()->actions();
    const auto titles = titlesOf(actions);
    EXPECT_EQ(titles.size(), kFirstRun.size() - 1);
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Edit with Vim"), 0);
    EXPECT_TRUE(log.contains("Couldn't find file: Edit with Vim"));
    EXPECT_TRUE(OVUserDefaults::create()->didCreateDefaultActions());

    for (const auto& child : std::dynamic_pointer_cast<OVActionGroup>(actions[0])->actions()) {
        auto* entry = static_cast<const OVNewFileAction*>(child.get());
        EXPECT_EQ(!entry->templateURL().has_value(), entry->title() == "Markdown File") << *entry->title();
    }
    for (const auto& action : actions) {
        if (dynamic_cast<const OVBundledScriptAction*>(action.get())) {
            EXPECT_FALSE(action->actionDescription()) << *action->title();
        }
    }
}

TEST_F(CatalogueTest, DefaultFilesThatIsNotAListGivesAnEmptyGroup)
{
    ResourcesCopy resources(home.path());
    std::ofstream(resources / "DefaultFiles.plist") << ovplist::writeXML(OVValue(OVValue::Dictionary{{"title", "x"}}));
    ovtest::LogCapture log;
    launch();
    auto group = std::dynamic_pointer_cast<OVActionGroup>(OVActionsManager::create()->actions()[0]);
    EXPECT_EQ(group->title(), "Create new file");
    EXPECT_TRUE(group->actions().empty());
    EXPECT_TRUE(log.contains("Property list isn't an array"));

    ::unlink((resources / "DefaultFiles.plist").c_str());
    EXPECT_FALSE(hl_arrayFromPropertyListWithName("DefaultFiles"));
}

TEST(BundleResources, PropertyListsOfEitherFormatAndBooleansAsPreferencesReadThem)
{
    ovtest::TempHome home;
    const OVValue::Array list{OVValue("a"), OVValue(int64_t(2))};
    plist_t node = ovplist::fromValue(list);
    const std::string binary = ovplist::toBinary(node);
    plist_free(node);
    EXPECT_EQ(hl_arrayFromPropertyListAtPath(home.writeFile("b.plist", binary)), list);
    EXPECT_EQ(hl_arrayFromPropertyListAtPath(home.writeFile("x.plist", ovplist::writeXML(list))), list);
    EXPECT_FALSE(hl_arrayFromPropertyListAtPath(home.writeFile("g.plist", "<plist><array><string>")));
    EXPECT_FALSE(hl_arrayFromPropertyListAtPath(home.path() + "/none.plist"));
    EXPECT_FALSE(hl_dictionaryFromPropertyListWithName("../../etc/passwd"));

    for (const char* yes : {"YES", "true", "Yes", " 1", "+7", "007"})
        EXPECT_TRUE(OVBoolValue(OVValue(yes))) << yes;
    for (const char* no : {"NO", "false", "0", "", "-0", " ", "maybe"})
        EXPECT_FALSE(OVBoolValue(OVValue(no))) << no;
    EXPECT_TRUE(OVBoolValue(OVValue(int64_t(1))));
    EXPECT_FALSE(OVBoolValue(OVValue(0.0)));
    EXPECT_FALSE(OVBoolValue(OVValue(OVData{"1"})));
}

} // namespace
