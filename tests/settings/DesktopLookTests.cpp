// SPDX-License-Identifier: GPL-3.0-or-later
// What the window shows of the desktop it runs on: icons of the icon theme for the stored bundled
// names, an add menu of items that each make an action, and the kind that cannot run here.
#include "SettingsTestSupport.h"

#include "model/OVActionKinds.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVThemeIcons.h"
#include "settings/OVAppleScriptModule.h"
#include "settings/OVEditorModule.h"
#include "settings/OVImageIcon.h"
#include "settings/OVMakeActionForAddCode.h"

#include <filesystem>
#include <set>

namespace {

using DesktopLook = settingstest::SettingsTest;

// The first name GTK looks an image's icon up by.
std::string shownIconName(GtkImage* image)
{
    GIcon* icon = gtk_image_get_gicon(image);
    if (!icon || !G_IS_THEMED_ICON(icon))
        return {};
    const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
    return names && names[0] ? names[0] : "";
}

bool bundledImageExists(const std::string& name)
{
    return g_resources_get_info((std::string(ov::kResourcePrefix) + "images/" + name + ".svg").c_str(),
                                G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr, nullptr, nullptr);
}

std::set<std::string> namesIn(const std::string& folder, const std::string& suffix)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.ends_with(suffix))
            names.insert(name.substr(0, name.size() - suffix.size()));
    }
    return names;
}

// Every icon an action can be stored with, by a kind, a built-in script (also under a name it had
// before) or a bundled image, is shown by the theme's name: one the installed theme has, or else
// one whose bundled image is there to fall back on.
TEST_F(DesktopLook, EveryStoredBundledIconIsShownByAThemeIconOrItsBundledFallback)
{
    std::set<std::string> stored;
    for (const auto& kind : OVActionKinds::all()) {
        auto action = kind.make();
        if (action->icon() && !action->icon()->serialized().empty())
            stored.insert(action->icon()->serialized());
    }
    EXPECT_GE(stored.size(), 10u);
    const std::set<std::string> scripts = namesIn(ov::resourcesPath() + "/Default Scripts", ".sh");
    EXPECT_GE(scripts.size(), 9u);
    for (const auto& script : scripts) {
        auto action = OVBundledScriptAction::actionWithBundledFileName(script);
        ASSERT_TRUE(action && action->icon()) << script;
        stored.insert(action->icon()->serialized());
    }
    for (const auto& image : namesIn(ov::resourcesPath() + "/images", ".svg"))
        if (image != "icon-orvane" && image != "icon-contextmenu") // the application's own
            stored.insert(image);
    for (const char* former : {"Show hidden files in Finder", "Hide hidden files in Finder", "New iTerm Tab Here",
                               "New iTerm Window Here"})
        stored.insert(former);

    GtkIconTheme* theme = gtk_icon_theme_get_for_display(gdk_display_get_default());
    GtkImage* image = GTK_IMAGE(g_object_ref_sink(gtk_image_new()));
    for (const auto& name : stored) {
        SCOPED_TRACE(name);
        const std::string themed = OVThemeIcons::themeName(name);
        ASSERT_FALSE(themed.empty()) << "no theme name";
        EXPECT_TRUE(themed.ends_with("-symbolic"));
        const std::string fallback = OVBundledScriptAction::currentBundledName(name);
        EXPECT_TRUE(gtk_icon_theme_has_icon(theme, themed.c_str()) || bundledImageExists(fallback))
            << themed << " is not in the theme and " << fallback << " is not bundled";
        if (name.starts_with("icon-") || scripts.contains(name) || scripts.contains(fallback)) {
            EXPECT_TRUE(bundledImageExists(fallback)) << "the fallback image";
        }

        ovsettings::setImage(image, OVImage::named(name));
        EXPECT_EQ(shownIconName(image), themed);
    }
    // Other icons are shown as they are stored.
    ovsettings::setImage(image, OVImage::named("folder-music"));
    EXPECT_EQ(shownIconName(image), "folder-music");
    g_object_unref(image);
}

// Every item of the add menu makes an action; kinds this system cannot make are not offered.
TEST_F(DesktopLook, TheAddMenuOffersOnlyItemsThatMakeAnAction)
{
    auto store = makeStore(0);
    auto editor = HLViewController::controller<OVEditorModule>(store, defaults_);
    showInWindow(editor->view());
    GMenuModel* menu = editor->addActionsMenu();
    ASSERT_TRUE(menu);
    std::vector<std::string> labels;
    for (int s = 0; s < g_menu_model_get_n_items(menu); ++s) {
        ov::GRef<GMenuModel> section(g_menu_model_get_item_link(menu, s, G_MENU_LINK_SECTION));
        ASSERT_TRUE(section);
        for (int i = 0; i < g_menu_model_get_n_items(section.get()); ++i) {
            gchar* label = nullptr;
            gint32 code = -1;
            ASSERT_TRUE(g_menu_model_get_item_attribute(section.get(), i, G_MENU_ATTRIBUTE_LABEL, "s", &label));
            labels.emplace_back(label);
            g_free(label);
            SCOPED_TRACE(labels.back());
            ASSERT_TRUE(g_menu_model_get_item_attribute(section.get(), i, G_MENU_ATTRIBUTE_TARGET, "i", &code));
            EXPECT_TRUE(OVMakeActionForAddCode(code)) << "code " << code;
        }
    }
    EXPECT_EQ(labels.size(), 11u);
}

// An AppleScript action in a stored list is read, shown with the reason it cannot run, and
// written back as it was.
TEST_F(DesktopLook, AStoredAppleScriptActionSaysItCannotRunHereAndIsSavedUnchanged)
{
    {
        auto writer = makeStore(1, false);
        auto apple = OVAction::action<OVAppleScriptAction>();
        apple->setTitle(std::string("Tag with comments"));
        apple->setScriptURL(std::string("/home/someone/scripts/tag.scpt"));
        apple->setEnabled(true);
        writer->updateActions({writer->actions()[0], apple});
        ASSERT_TRUE(writer->saveToFile());
    }
    const std::string before = ovtest::readAll(OVActionsManager::saveURL());
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->actions().size(), 2u);
    auto editor = HLViewController::controller<OVEditorModule>(store, defaults_);
    showInWindow(editor->view());
    editor->selectRows({1});
    auto shown = std::dynamic_pointer_cast<OVAppleScriptModule>(editor->currentModule());
    ASSERT_TRUE(shown);
    AdwStatusPage* page = ADW_STATUS_PAGE(shown->view());
    EXPECT_STREQ(adw_status_page_get_title(page), "AppleScripts cannot run here");
    const std::string description = adw_status_page_get_description(page);
    EXPECT_NE(description.find("cannot run on Linux"), std::string::npos) << description;
    EXPECT_EQ(description.find("macOS"), std::string::npos) << description;

    ASSERT_TRUE(store->saveToFile());
    EXPECT_EQ(ovtest::readAll(OVActionsManager::saveURL()), before);
}

} // namespace
