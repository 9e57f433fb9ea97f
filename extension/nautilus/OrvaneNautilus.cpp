// SPDX-License-Identifier: GPL-3.0-or-later
// The Nautilus module: the extension's context menus for items and for a folder's background.
#include "menus/FinderSync.h"
#include "platform/Log.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"

#include <gdk/gdk.h>
#include <gio/gio.h>
#include <glib-object.h>
#include <gmodule.h>
// The header declares the module entry points without C linkage.
extern "C" {
#include <nautilus-extension.h>
}

#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

// Made on the first menu request: loading the module must not read the store.
std::shared_ptr<FinderSync>* gFinderSync = nullptr;

std::shared_ptr<FinderSync> finderSync()
{
    if (!gFinderSync)
        gFinderSync = new std::shared_ptr<FinderSync>();
    if (!*gFinderSync)
        *gFinderSync = FinderSync::create();
    return *gFinderSync;
}

// The runner is opened from Nautilus's own display: GIO then asks it for an activation token of
// the click, and the runner's window comes up focused by the desktop's rule.
GAppLaunchContext* fileManagerLaunchContext()
{
    GdkDisplay* display = gdk_display_get_default();
    return display ? G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display)) : nullptr;
}

void logFailure(const char* where, const std::exception* e)
{
    try {
        ov::ovLog("Orvane menu failed in %s: %s", where, e ? e->what() : "unknown error");
    } catch (...) {
    }
}

// The selection a menu was built for, kept by its items until one is chosen.
struct Selection {
    std::vector<FinderSync::Item> selected;
    std::optional<FinderSync::Item> targeted;
};

struct Activation {
    std::shared_ptr<const Selection> selection;
    std::string selector;
};

void onActivate(NautilusMenuItem*, gpointer data)
{
    try {
        auto* activation = static_cast<Activation*>(data);
        auto sync = finderSync();
        sync->setSelectionItems(activation->selection->selected, activation->selection->targeted);
        sync->performSelector(activation->selector);
    } catch (const std::exception& e) {
        logFailure("activate", &e);
    } catch (...) {
        logFailure("activate", nullptr);
    }
}

void freeActivation(gpointer data, GClosure*) { delete static_cast<Activation*>(data); }

std::optional<FinderSync::Item> itemForFileInfo(NautilusFileInfo* info)
{
    if (!info)
        return std::nullopt;
    GFile* location = nautilus_file_info_get_location(info);
    if (!location)
        return std::nullopt;
    char* path = g_file_get_path(location); // none for files that are not local
    g_object_unref(location);
    if (!path)
        return std::nullopt;
    FinderSync::Item item{path, bool(nautilus_file_info_is_directory(info))};
    g_free(path);
    return item;
}

// Titles come from the store as bytes; GTK wants UTF-8 and reads "_" as a mnemonic mark.
std::string menuLabel(const std::string& title)
{
    gchar* valid = g_utf8_make_valid(title.data(), gssize(title.size()));
    std::string label;
    label.reserve(title.size());
    for (const char* c = valid; *c; ++c) {
        label.push_back(*c);
        if (*c == '_')
            label.push_back('_');
    }
    g_free(valid);
    return label;
}

GList* nautilusItems(const OVMenu& menu, const std::shared_ptr<const Selection>& selection, const std::string& prefix)
{
    GList* items = nullptr;
    int index = 0;
    for (const auto& entry : menu.items) {
        // Names must be unique; one action may be listed in two groups.
        std::string name = prefix + "-" + std::to_string(index++);
        if (entry.hasAction())
            name += "-" + entry.identifier;
        const std::string label = menuLabel(entry.title);
        NautilusMenuItem* item = nautilus_menu_item_new(name.c_str(), label.c_str(), nullptr, nullptr);
        if (!entry.enabled)
            g_object_set(item, "sensitive", FALSE, nullptr);
        if (entry.submenu) {
            NautilusMenu* submenu = nautilus_menu_new();
            GList* children = nautilusItems(*entry.submenu, selection, name);
            for (GList* l = children; l; l = l->next)
                nautilus_menu_append_item(submenu, NAUTILUS_MENU_ITEM(l->data));
            g_list_free_full(children, g_object_unref);
            nautilus_menu_item_set_submenu(item, submenu);
            g_object_unref(submenu);
        }
        if (entry.hasAction()) {
            g_signal_connect_data(item, "activate", G_CALLBACK(onActivate), new Activation{selection, entry.identifier},
                                  freeActivation, GConnectFlags(0));
        }
        items = g_list_append(items, item);
    }
    return items;
}

GList* menuItemsFor(std::shared_ptr<Selection> selection, FIMenuKind kind)
{
    auto sync = finderSync();
    sync->setSelectionItems(selection->selected, selection->targeted);
    OVMenu menu = sync->menuForMenuKind(kind);
    // Nautilus makes one action per item name for both menus at once: the names of the item menu
    // and of the background menu must never meet, or a choice runs on the other menu's selection.
    const char* prefix = kind == FIMenuKind::ContextualMenuForContainer ? "Orvane::background" : "Orvane::items";
    return nautilusItems(menu, selection, prefix);
}

} // namespace

struct OrvaneMenuProvider {
    GObject parent_instance;
};

struct OrvaneMenuProviderClass {
    GObjectClass parent_class;
};

static void orvane_menu_provider_iface_init(NautilusMenuProviderInterface* iface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(OrvaneMenuProvider, orvane_menu_provider, G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER,
                                                             orvane_menu_provider_iface_init))

static void orvane_menu_provider_init(OrvaneMenuProvider*) {}
static void orvane_menu_provider_class_init(OrvaneMenuProviderClass*) {}
static void orvane_menu_provider_class_finalize(OrvaneMenuProviderClass*) {}

static GList* orvane_menu_provider_get_file_items(NautilusMenuProvider*, GList* files)
{
    try {
        auto selection = std::make_shared<Selection>();
        for (GList* l = files; l; l = l->next) {
            if (auto item = itemForFileInfo(NAUTILUS_FILE_INFO(l->data)))
                selection->selected.push_back(std::move(*item));
        }
        // Only remote files selected: nothing here can act on them.
        if (selection->selected.empty())
            return nullptr;
        return menuItemsFor(std::move(selection), FIMenuKind::ContextualMenuForItems);
    } catch (const std::exception& e) {
        logFailure("get_file_items", &e);
    } catch (...) {
        logFailure("get_file_items", nullptr);
    }
    return nullptr;
}

static GList* orvane_menu_provider_get_background_items(NautilusMenuProvider*, NautilusFileInfo* currentFolder)
{
    try {
        auto selection = std::make_shared<Selection>();
        selection->targeted = itemForFileInfo(currentFolder);
        if (!selection->targeted)
            return nullptr;
        return menuItemsFor(std::move(selection), FIMenuKind::ContextualMenuForContainer);
    } catch (const std::exception& e) {
        logFailure("get_background_items", &e);
    } catch (...) {
        logFailure("get_background_items", nullptr);
    }
    return nullptr;
}

static void orvane_menu_provider_iface_init(NautilusMenuProviderInterface* iface)
{
    iface->get_file_items = orvane_menu_provider_get_file_items;
    iface->get_background_items = orvane_menu_provider_get_background_items;
}

static GType gProviderTypes[1];

extern "C" G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module)
{
    try {
        // Inside Nautilus: its locale and text domain stay; ours is looked up by name.
        ov::setUpModuleTranslations();
        orvane_menu_provider_register_type(module);
        ov::setLaunchContextSource(fileManagerLaunchContext);
        gProviderTypes[0] = orvane_menu_provider_get_type();
    } catch (...) {
        logFailure("nautilus_module_initialize", nullptr);
    }
}

extern "C" G_MODULE_EXPORT void nautilus_module_shutdown(void)
{
    try {
        ov::setLaunchContextSource(nullptr);
        if (gFinderSync) {
            delete gFinderSync;
            gFinderSync = nullptr;
        }
    } catch (...) {
        logFailure("nautilus_module_shutdown", nullptr);
    }
}

extern "C" G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* num_types)
{
    *types = gProviderTypes;
    *num_types = gProviderTypes[0] ? 1 : 0;
}
