// SPDX-License-Identifier: GPL-3.0-or-later
// The Nautilus module loaded the way Nautilus loads it, driven through the menu-provider
// interface with stand-in file-info objects.
#include "extension/ExtensionTestSupport.h"
#include "extension_module/NautilusHost.h"

#include "messaging/OVProtocol.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <sys/stat.h>

#include <optional>

using namespace ovtest;
using namespace nautilushost;

namespace {

// --- Reading the items back ----------------------------------------------------------------

struct Node {
    std::string label;
    bool sensitive = true;
    std::vector<Node> children;
    NautilusMenuItem* item = nullptr; // borrowed from the list the test holds
};

std::vector<Node> readItems(GList* items)
{
    std::vector<Node> nodes;
    for (GList* l = items; l; l = l->next) {
        auto* item = NAUTILUS_MENU_ITEM(l->data);
        Node node;
        node.item = item;
        gchar* label = nullptr;
        gboolean sensitive = TRUE;
        NautilusMenu* submenu = nullptr;
        g_object_get(item, "label", &label, "sensitive", &sensitive, "menu", &submenu, nullptr);
        node.label = label ? label : "";
        node.sensitive = sensitive;
        g_free(label);
        if (submenu) {
            GList* children = nautilus_menu_get_items(submenu);
            node.children = readItems(children);
            nautilus_menu_item_list_free(children); // the submenu keeps its own references
            g_object_unref(submenu);
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

constexpr const char* kChildSelectionVariable = "ORVANE_MODULE_CHILD_SELECTION";

// The item under the root item and the group, for a selection of path and a remote file.
std::vector<Node> fileItemsFor(NautilusMenuProvider* provider, const std::string& path, GList** items)
{
    GList* files = nullptr;
    files = g_list_append(files, localInfo(path));
    files = g_list_append(files, fileInfo(g_file_new_for_uri("sftp://host/remote.txt"), false));
    *items = nautilus_menu_provider_get_file_items(provider, files);
    g_list_free_full(files, g_object_unref);
    return readItems(*items);
}

class NautilusModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        providerType = loadedProviderType(ORVANE_NAUTILUS_MODULE);
        ASSERT_NE(providerType, GType(0)) << g_module_error();
        provider = NAUTILUS_MENU_PROVIDER(g_object_new(providerType, nullptr));

        docs = makeAction("Docs_2024");
        writeStore({makeGroup("Move to a folder", {docs}), makeAction("Folders only", OVStringList{kUTTypeFolder})});
        file = home.writeFile("work/a.txt", "a");
        folder = home.path() + "/work";
    }
    void TearDown() override
    {
        if (items)
            nautilus_menu_item_list_free(items);
        g_clear_object(&provider);
        // The module keeps its extension object for the process; each test has its own home.
        gpointer shutdown = nullptr;
        if (gLibrary && g_module_symbol(gLibrary, "nautilus_module_shutdown", &shutdown))
            reinterpret_cast<void (*)()>(shutdown)();
    }

    // The items of a right-click on the work folder's background.
    std::vector<Node> backgroundItems()
    {
        NautilusFileInfo* current = localInfo(folder, true);
        items = nautilus_menu_provider_get_background_items(provider, current);
        g_object_unref(current);
        return readItems(items);
    }

    TempHome home;
    GType providerType = 0;
    NautilusMenuProvider* provider = nullptr;
    GList* items = nullptr;
    OVActionPtr docs;
    std::string file, folder;
};

TEST(NautilusModuleExportsTest, ExportsOnlyTheModuleEntryPoints)
{
    ASSERT_NE(loadedProviderType(ORVANE_NAUTILUS_MODULE), GType(0));
    gpointer symbol = nullptr;
    for (const char* name : {"nautilus_module_initialize", "nautilus_module_shutdown", "nautilus_module_list_types"})
        EXPECT_TRUE(g_module_symbol(gLibrary, name, &symbol)) << name;
    EXPECT_FALSE(g_module_symbol(gLibrary, "_ZN10FinderSync6createEv", &symbol));
    EXPECT_TRUE(g_type_is_a(loadedProviderType(ORVANE_NAUTILUS_MODULE), NAUTILUS_TYPE_MENU_PROVIDER));
}

TEST_F(NautilusModuleTest, FileItemsForLocalSelectionActivateTheRunner)
{
    // A stand-in runner that notes the URL it is handed.
    const std::string handled = home.path() + "/handled.txt";
    const std::string script = home.writeFile("handler.sh", "#!/bin/sh\nprintf '%s' \"$1\" > '" + handled + "'\n");
    ::chmod(script.c_str(), 0755);
    home.writeFile("data/applications/orvane-test-runner.desktop",
                   "[Desktop Entry]\nType=Application\nName=Runner\nExec=" + script + " %u\nMimeType=x-scheme-handler/orvane;\n");
    home.writeFile("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/orvane=orvane-test-runner.desktop\n");

    auto nodes = fileItemsFor(provider, file, &items);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].label, "Orvane");
    ASSERT_EQ(nodes[0].children.size(), 1u);
    const Node& group = nodes[0].children[0];
    EXPECT_EQ(group.label, "Move to a folder");
    ASSERT_EQ(group.children.size(), 1u);
    EXPECT_EQ(group.children[0].label, "Docs__2024"); // not a mnemonic
    EXPECT_TRUE(group.children[0].sensitive);

    // GLib reads the user's folders and its list of applications once per process, so the item
    // is chosen in a fresh one that sees this home's handler. The remote file is not part of the
    // request.
    std::optional<bool> childSucceeded;
    GSubprocess* child = spawnSelfAsChild("NautilusModuleChild.DISABLED_ChooseTheFirstFileItem",
                                          kChildSelectionVariable, file, &childSucceeded);
    ASSERT_TRUE(child);
    EXPECT_TRUE(pumpUntil([&] { return childSucceeded.has_value(); }, 20000));
    g_object_unref(child);
    ASSERT_EQ(childSucceeded, true);
    const std::string url = readAll(handled);
    const std::string prefix = OVProtocol::runRequestURL(docs->uid(), "");
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    const std::string request = ov::containerPath() + "/" + url.substr(prefix.size());
    EXPECT_EQ(nlohmann::json::parse(readAll(request)), nlohmann::json({{"paths", {file}}}));
}

// Run by the test above in a child process, in the parent's home: chooses the first item of the
// selection's submenu and waits until the handler has the URL.
TEST(NautilusModuleChild, DISABLED_ChooseTheFirstFileItem)
{
    const char* path = g_getenv(kChildSelectionVariable);
    ASSERT_TRUE(path);
    const GType type = loadedProviderType(ORVANE_NAUTILUS_MODULE);
    ASSERT_NE(type, GType(0)) << g_module_error();
    auto* provider = NAUTILUS_MENU_PROVIDER(g_object_new(type, nullptr));
    GList* items = nullptr;
    auto nodes = fileItemsFor(provider, path, &items);
    ASSERT_EQ(nodes.size(), 1u);
    ASSERT_EQ(nodes[0].children.size(), 1u);
    ASSERT_EQ(nodes[0].children[0].children.size(), 1u);
    nautilus_menu_item_activate(nodes[0].children[0].children[0].item);
    // The parent's home holds the handler's note beside its data folder.
    const std::string handled = std::string(g_getenv("XDG_DATA_HOME")) + "/../handled.txt";
    EXPECT_TRUE(waitForContent(handled));
    nautilus_menu_item_list_free(items);
    g_object_unref(provider);
    gpointer shutdown = nullptr;
    if (g_module_symbol(gLibrary, "nautilus_module_shutdown", &shutdown))
        reinterpret_cast<void (*)()>(shutdown)();
}

TEST_F(NautilusModuleTest, BackgroundItemsAreForTheOpenFolder)
{
    OVUserDefaults::create()->setUseSubmenu(false);
    auto nodes = backgroundItems();
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].label, "Move to a folder");
    EXPECT_EQ(nodes[1].label, "Folders only");
}

TEST_F(NautilusModuleTest, AFreshHomeShowsTheBuiltInActions)
{
    // Orvane never ran: the first menu writes the built-in list and shows it.
    ASSERT_EQ(::unlink(OVActionsManager::saveURL().c_str()), 0);
    auto nodes = backgroundItems();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].label, "Orvane");
    EXPECT_GT(nodes[0].children.size(), 3u);
    EXPECT_EQ(OVActionsManager::create()->actions().size(), 19u);
}

TEST_F(NautilusModuleTest, NothingToOfferGivesNoOrvaneItem)
{
    writeStore({makeAction("Off", std::nullopt, false), makeAction("Folders only", OVStringList{kUTTypeFolder})});
    GList* files = g_list_append(nullptr, localInfo(file));
    items = nautilus_menu_provider_get_file_items(provider, files);
    g_list_free_full(files, g_object_unref);
    EXPECT_EQ(items, nullptr);
}

TEST_F(NautilusModuleTest, RemoteOnlySelectionGetsNoItems)
{
    GList* files = g_list_append(nullptr, fileInfo(g_file_new_for_uri("sftp://host/x.txt"), false));
    items = nautilus_menu_provider_get_file_items(provider, files);
    g_list_free_full(files, g_object_unref);
    EXPECT_EQ(items, nullptr);
}

} // namespace
