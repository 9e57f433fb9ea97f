// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionGroup.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenFavesActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVTypes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <glib.h>

#include <regex>

namespace {

std::string iconName(const OVAction& a) { return a.icon() ? a.icon()->serialized() : "(none)"; }

TEST(Action, NormalCreationDefaults)
{
    auto a = OVAction::action<OVMoveToAction>();
    EXPECT_TRUE(std::regex_match(a->uid(), std::regex("[0-9A-F]{32}"))) << a->uid();
    EXPECT_TRUE(a->enabled());
    EXPECT_TRUE(a->isNew());
    EXPECT_FALSE(a->isDefault());
    EXPECT_FALSE(a->fileTypes());
    EXPECT_FALSE(a->title()) << "a kind without a default title starts untitled";
    EXPECT_FALSE(a->icon());
    EXPECT_NE(a->uid(), OVAction::action<OVMoveToAction>()->uid());

    auto old = a->uid();
    a->generateUID();
    EXPECT_NE(old, a->uid());
}

TEST(Action, IconSetterNeverLeavesTheIconAbsent)
{
    auto a = OVAction::action<OVMoveToAction>();
    a->setIcon(std::nullopt);
    ASSERT_TRUE(a->icon());
    EXPECT_TRUE(a->icon()->isEmpty());
    a->setIcon(OVImage::named("icon-move"));
    EXPECT_EQ("icon-move", iconName(*a));
}

TEST(Action, CopyIsAnotherObjectWithTheSameIdentifier)
{
    auto a = OVAction::action<OVConvertImageAction>();
    a->setTitle("PNG");
    a->setOutputFormat("png");
    auto c = std::dynamic_pointer_cast<OVConvertImageAction>(a->copy());
    ASSERT_TRUE(c);
    EXPECT_NE(a, c);
    EXPECT_EQ(a->uid(), c->uid());
    EXPECT_FALSE(c->isNew()) << "copies are never new, even of a new action";
    EXPECT_EQ("png", c->outputFormat().value_or(""));
    c->setTitle("changed");
    EXPECT_EQ("PNG", a->title().value_or("")) << "strings are held by value";

    // An action that lost its icon is copied with the empty one, like a stored action is read.
    auto bare = OVAction::emptyInstanceOfClass("OVMoveToAction");
    ASSERT_FALSE(bare->icon());
    auto copied = bare->copy();
    ASSERT_TRUE(copied->icon());
    EXPECT_TRUE(copied->icon()->isEmpty());
}

TEST(Action, DescriptionNamesKindAddressAndTitle)
{
    auto a = OVAction::action<OVSecureRemoveAction>();
    char expected[128];
    g_snprintf(expected, sizeof expected, "<OVSecureRemoveAction: %p title=Secure Delete>", static_cast<const void*>(a.get()));
    EXPECT_EQ(expected, a->description());
}

struct KindDefaults {
    OVActionPtr action;
    std::optional<std::string> title;
    std::string icon;
    std::optional<std::string> description;
    bool isDefault;
    std::optional<OVStringList> fileTypes;
    std::optional<std::string> editor;
};

TEST(Action, EveryKindStartsWithItsOwnDefaults)
{
    const std::vector<KindDefaults> kinds = {
        {OVAction::action<OVOpenWithActionGroup>(), "Open With", "icon-open-with", std::nullopt, false, std::nullopt, "OVMoveToActionModule"},
        {OVAction::action<OVCopyActionGroup>(), "Copy to a folder", "icon-copy", std::nullopt, false, std::nullopt, "OVMoveToActionModule"},
        {OVAction::action<OVMoveActionGroup>(), "Move to a folder", "icon-move", std::nullopt, false, std::nullopt, "OVMoveToActionModule"},
        {OVAction::action<OVNewFileActionGroup>(), "Create new file", "icon-new-file", std::nullopt, false, std::nullopt, "OVNewFileActionModule"},
        {OVAction::action<OVOpenFavesActionGroup>(), "Open new window", "icon-open-faves",
         "Opens a new file manager window at the chosen folder", true, std::nullopt, "OVMoveToActionModule"},
        {OVAction::action<OVConvertImageActionGroup>(), "Convert Image", "icon-convert-images",
         "Converts an image to the selected format", true, OVStringList{kUTTypeImage}, "OVResetAppModule"},
        {OVAction::action<OVCompressPasswordAction>(), "Compress with password", "icon-compress",
         "Create a protected zip file with the selected paths", true, std::nullopt, "OVCompressPasswordModule"},
        {OVAction::action<OVShellScriptAction>(), "Run Script", "icon-shell", std::nullopt, false, std::nullopt, "OVShellScriptModule"},
        {OVAction::action<OVBundledScriptAction>(), "Run Script", "icon-shell", std::nullopt, true, std::nullopt, "OVResetAppModule"},
        {OVAction::action<OVConvertImageAction>(), std::nullopt, "icon-image", std::nullopt, false, OVStringList{kUTTypeImage}, std::nullopt},
        {OVAction::action<OVSecureRemoveAction>(), "Secure Delete", "icon-secure-delete",
         "Securely and permanently removes the selected files", true, std::nullopt, "OVResetAppModule"},
        {OVAction::action<OVResetAppPreferencesAction>(), "Reset App Preferences", "icon-reset-app", std::nullopt, true,
         OVStringList{kUTTypeApplication}, "OVResetAppModule"},
        {OVAction::action<OVOpenWithAppAction>(), std::nullopt, "(none)", std::nullopt, false, std::nullopt, "OVOpenWithAppModule"},
        {OVAction::action<OVSendViaEmailAction>(), "Send via Email", "icon-send-mail",
         "Opens the default mail handler with the selected files", true, std::nullopt, "OVResetAppModule"},
        {OVAction::action<OVNewFileAction>(), std::nullopt, "(none)", std::nullopt, false, std::nullopt, "OVMoveToActionModule"},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.action->className());
        EXPECT_EQ(k.title, k.action->title());
        EXPECT_EQ(k.icon, iconName(*k.action));
        EXPECT_EQ(k.description, k.action->actionDescription());
        EXPECT_EQ(k.isDefault, k.action->isDefault());
        EXPECT_EQ(k.fileTypes, k.action->fileTypes());
        EXPECT_EQ(k.editor, k.action->editorClassName());
    }
    auto script = OVAction::action<OVShellScriptAction>();
    EXPECT_TRUE(script->isEditable());
    EXPECT_FALSE(OVAction::action<OVBundledScriptAction>()->isEditable());
    EXPECT_FALSE(OVAction::action<OVNewFileAction>()->executable());
    EXPECT_TRUE(OVAction::action<OVMoveActionGroup>()->actions().empty());
}

TEST(ActionGroup, BaseGroupHasNoEditorAndSaysSo)
{
    ovtest::LogCapture log;
    EXPECT_FALSE(OVAction::action<OVActionGroup>()->editorClassName());
    EXPECT_TRUE(log.contains("Subclasses need to overwrite editorClassName - OVActionGroup"));
}

TEST(ActionGroup, ChildListEditingUsesIdentity)
{
    auto group = OVAction::action<OVMoveActionGroup>();
    auto a = OVAction::action<OVMoveToAction>();
    auto b = OVAction::action<OVMoveToAction>();
    group->addAction(a);
    group->addAction(nullptr);
    group->addAction(b);
    group->addAction(a);
    ASSERT_EQ(3u, group->actions().size());
    group->removeAction(nullptr);
    group->removeAction(a->copy());
    EXPECT_EQ(3u, group->actions().size());
    group->removeAction(a);
    ASSERT_EQ(1u, group->actions().size());
    EXPECT_EQ(b, group->actions()[0]);
    group->updateActions({a, b});
    EXPECT_EQ(a, group->actions()[0]);
}

TEST(ActionGroup, CopySharesChildrenButNotTheList)
{
    auto group = OVAction::action<OVMoveActionGroup>();
    auto child = OVAction::action<OVMoveToAction>();
    child->setTitle("Documents");
    group->addAction(child);
    auto copy = std::dynamic_pointer_cast<OVActionGroup>(group->copy());
    ASSERT_TRUE(copy);
    copy->actions()[0]->setTitle("Renamed");
    EXPECT_EQ("Renamed", group->actions()[0]->title().value_or(""));
    copy->addAction(OVAction::action<OVMoveToAction>());
    EXPECT_EQ(1u, group->actions().size());
    EXPECT_EQ(2u, copy->actions().size());
}

class BundledScriptTest : public ::testing::Test {
protected:
    ovtest::TempHome home;
    std::string resources;

    void SetUp() override
    {
        resources = home.makeFolder("resources");
        home.writeFile("resources/Default Scripts/Edit with Vim.sh", "#!/bin/bash\nvim \"$@\"\n");
        home.writeFile("resources/Default Scripts/Plain.sh", "#!/bin/bash\n");
        home.writeFile("resources/images/Edit with Vim.svg", "<svg/>");
        home.writeFile("resources/BundledDescriptions.plist",
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Edit with Vim</key>"
                       "<string>Opens the files in Vim</string></dict></plist>");
        resourcesDir.emplace("ORVANE_RESOURCES_DIR", resources);
    }
    std::optional<ovtest::ScopedEnv> resourcesDir;
};

TEST_F(BundledScriptTest, MadeFromAScriptName)
{
    auto a = OVBundledScriptAction::actionWithBundledFileName("Edit with Vim");
    ASSERT_TRUE(a);
    EXPECT_EQ("Edit with Vim", a->title().value_or(""));
    EXPECT_EQ("Run Script", a->defaultTitle().value_or("")) << "the kind's constant still answers";
    EXPECT_EQ("Opens the files in Vim", a->actionDescription().value_or(""));
    EXPECT_EQ(resources + "/Default Scripts/Edit with Vim.sh", a->scriptURL().value_or(""));
    EXPECT_EQ("Edit with Vim", iconName(*a));
    EXPECT_TRUE(a->isDefault());
    EXPECT_FALSE(a->isEditable());

    auto plain = OVBundledScriptAction::actionWithBundledFileName("Plain");
    ASSERT_TRUE(plain);
    EXPECT_EQ("icon-shell", iconName(*plain)) << "no image of its own";
    EXPECT_FALSE(plain->actionDescription()) << "not in the descriptions table";
}

TEST_F(BundledScriptTest, MissingOrEscapingNamesMakeNoAction)
{
    ovtest::LogCapture log;
    EXPECT_FALSE(OVBundledScriptAction::actionWithBundledFileName("Nonexistent"));
    EXPECT_TRUE(log.contains("Couldn't find file: Nonexistent"));
    home.writeFile("outside.sh", "#!/bin/bash\n");
    EXPECT_FALSE(OVBundledScriptAction::actionWithBundledFileName("../../outside"));
}

TEST_F(BundledScriptTest, DescriptionsThatAreNotATableAreIgnored)
{
    home.writeFile("resources/BundledDescriptions.plist",
                   "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
    auto a = OVBundledScriptAction::actionWithBundledFileName("Edit with Vim");
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->actionDescription());
}

} // namespace
