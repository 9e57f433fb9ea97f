// The Nautilus module loaded the way Nautilus loads it, driven through the menu-provider
// interface with stand-in file-info objects.
#include "extension/ExtensionTestSupport.h"

#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <gio/gio.h>
#include <gmodule.h>
extern "C" {
#include <nautilus-extension.h>
}

#include <sys/stat.h>

using namespace ovtest;

namespace {

// --- A file info backed by a GFile ---------------------------------------------------------

struct TestFileInfo {
    GObject parent;
    GFile* location;
    gboolean directory;
};
struct TestFileInfoClass {
    GObjectClass parent_class;
};

GFile* testFileInfoGetLocation(NautilusFileInfo* info)
{
    return G_FILE(g_object_ref(reinterpret_cast<TestFileInfo*>(info)->location));
}
gboolean testFileInfoIsDirectory(NautilusFileInfo* info) { return reinterpret_cast<TestFileInfo*>(info)->directory; }

void testFileInfoIfaceInit(gpointer g_iface, gpointer)
{
    auto* iface = static_cast<NautilusFileInfoInterface*>(g_iface);
    iface->get_location = testFileInfoGetLocation;
    iface->is_directory = testFileInfoIsDirectory;
}

GType testFileInfoGetType();
void testFileInfoInit(GTypeInstance*, gpointer) {}
void testFileInfoFinalize(GObject* object)
{
    g_clear_object(&reinterpret_cast<TestFileInfo*>(object)->location);
    G_OBJECT_CLASS(g_type_class_peek_parent(G_OBJECT_GET_CLASS(object)))->finalize(object);
}
void testFileInfoClassInit(gpointer klass, gpointer) { G_OBJECT_CLASS(klass)->finalize = testFileInfoFinalize; }

GType testFileInfoGetType()
{
    static GType type = [] {
        GType t = g_type_register_static_simple(G_TYPE_OBJECT, "OrvaneTestFileInfo", sizeof(TestFileInfoClass),
                                                testFileInfoClassInit,
                                                sizeof(TestFileInfo),
                                                testFileInfoInit, GTypeFlags(0));
        const GInterfaceInfo info = {testFileInfoIfaceInit, nullptr, nullptr};
        g_type_add_interface_static(t, NAUTILUS_TYPE_FILE_INFO, &info);
        return t;
    }();
    return type;
}

NautilusFileInfo* fileInfo(GFile* location, bool directory)
{
    auto* info = static_cast<TestFileInfo*>(g_object_new(testFileInfoGetType(), nullptr));
    info->location = location;
    info->directory = directory;
    return NAUTILUS_FILE_INFO(info);
}
NautilusFileInfo* localInfo(const std::string& path, bool directory = false)
{
    return fileInfo(g_file_new_for_path(path.c_str()), directory);
}

// --- Loading the module like Nautilus ----------------------------------------------------

using InitializeFn = void (*)(GTypeModule*);
using ListTypesFn = void (*)(const GType**, int*);

GModule* gLibrary = nullptr;

gboolean testModuleLoad(GTypeModule* module)
{
    gpointer initialize = nullptr;
    if (!g_module_symbol(gLibrary, "nautilus_module_initialize", &initialize))
        return FALSE;
    reinterpret_cast<InitializeFn>(initialize)(module);
    return TRUE;
}
void testModuleUnload(GTypeModule*) {}
void testModuleClassInit(gpointer g_class, gpointer)
{
    auto* klass = static_cast<GTypeModuleClass*>(g_class);
    klass->load = testModuleLoad;
    klass->unload = testModuleUnload;
}

GType loadedProviderType()
{
    static GType provider = [] {
        gLibrary = g_module_open(ORVANE_NAUTILUS_MODULE, G_MODULE_BIND_LOCAL);
        if (!gLibrary)
            return GType(0);
        GType moduleType = g_type_register_static_simple(G_TYPE_TYPE_MODULE, "OrvaneTestTypeModule",
                                                         sizeof(GTypeModuleClass),
                                                         testModuleClassInit,
                                                         sizeof(GTypeModule), nullptr, GTypeFlags(0));
        auto* module = G_TYPE_MODULE(g_object_new(moduleType, nullptr));
        if (!g_type_module_use(module))
            return GType(0);
        gpointer listTypes = nullptr;
        if (!g_module_symbol(gLibrary, "nautilus_module_list_types", &listTypes))
            return GType(0);
        const GType* types = nullptr;
        int count = 0;
        reinterpret_cast<ListTypesFn>(listTypes)(&types, &count);
        return count == 1 ? types[0] : GType(0);
    }();
    return provider;
}

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

class NautilusModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        providerType = loadedProviderType();
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

    TempHome home;
    GType providerType = 0;
    NautilusMenuProvider* provider = nullptr;
    GList* items = nullptr;
    OVActionPtr docs;
    std::string file, folder;
};

TEST(NautilusModuleExportsTest, ExportsOnlyTheModuleEntryPoints)
{
    ASSERT_NE(loadedProviderType(), GType(0));
    gpointer symbol = nullptr;
    for (const char* name : {"nautilus_module_initialize", "nautilus_module_shutdown", "nautilus_module_list_types"})
        EXPECT_TRUE(g_module_symbol(gLibrary, name, &symbol)) << name;
    EXPECT_FALSE(g_module_symbol(gLibrary, "_ZN10FinderSync6createEv", &symbol));
    EXPECT_TRUE(g_type_is_a(loadedProviderType(), NAUTILUS_TYPE_MENU_PROVIDER));
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

    GList* files = nullptr;
    files = g_list_append(files, localInfo(file));
    files = g_list_append(files, fileInfo(g_file_new_for_uri("sftp://host/remote.txt"), false));
    items = nautilus_menu_provider_get_file_items(provider, files);
    g_list_free_full(files, g_object_unref);

    auto nodes = readItems(items);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].label, "Orvane");
    ASSERT_EQ(nodes[0].children.size(), 1u);
    const Node& group = nodes[0].children[0];
    EXPECT_EQ(group.label, "Move to a folder");
    ASSERT_EQ(group.children.size(), 1u);
    EXPECT_EQ(group.children[0].label, "Docs__2024"); // not a mnemonic
    EXPECT_TRUE(group.children[0].sensitive);

    // The remote file is not part of the request.
    nautilus_menu_item_activate(group.children[0].item);
    ASSERT_TRUE(waitForContent(handled));
    const std::string url = readAll(handled);
    const std::string prefix = "orvane://runaction?action=" + docs->uid() + "&file=";
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    const std::string request = ov::containerPath() + "/" + url.substr(prefix.size());
    EXPECT_EQ(nlohmann::json::parse(readAll(request)), nlohmann::json({{"paths", {file}}}));
}

TEST_F(NautilusModuleTest, BackgroundItemsAreForTheOpenFolder)
{
    OVUserDefaults::create()->setUseSubmenu(false);
    NautilusFileInfo* current = localInfo(folder, true);
    items = nautilus_menu_provider_get_background_items(provider, current);
    g_object_unref(current);
    auto nodes = readItems(items);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].label, "Move to a folder");
    EXPECT_EQ(nodes[1].label, "Folders only");
}

TEST_F(NautilusModuleTest, RemoteOnlySelectionGetsNoItems)
{
    GList* files = g_list_append(nullptr, fileInfo(g_file_new_for_uri("sftp://host/x.txt"), false));
    items = nautilus_menu_provider_get_file_items(provider, files);
    g_list_free_full(files, g_object_unref);
    EXPECT_EQ(items, nullptr);
}

} // namespace
