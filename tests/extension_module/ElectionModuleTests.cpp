// SPDX-License-Identifier: GPL-3.0-or-later
// The Nautilus module offers nothing, for items or a folder's background, while the extension is
// elected to be ignored.
#include "extension/ExtensionTestSupport.h"
#include "extension_module/NautilusHost.h"

#include "platform/PluginRegistry.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace nautilushost;

namespace {

TEST(NautilusModuleElection, IgnoredMeansNoItemsAndUseBringsThemBack)
{
    ovtest::TempHome home;
    ovtest::writeStore({ovtest::makeAction("Documents")});
    const std::string file = home.writeFile("work/a.txt", "a");
    GType providerType = loadedProviderType(ORVANE_NAUTILUS_MODULE);
    ASSERT_NE(providerType, GType(0)) << g_module_error();
    auto* provider = NAUTILUS_MENU_PROVIDER(g_object_new(providerType, nullptr));

    auto itemCount = [&] {
        GList* files = g_list_append(nullptr, localInfo(file));
        GList* items = nautilus_menu_provider_get_file_items(provider, files);
        g_list_free_full(files, g_object_unref);
        NautilusFileInfo* folder = localInfo(home.path() + "/work", true);
        GList* background = nautilus_menu_provider_get_background_items(provider, folder);
        g_object_unref(folder);
        const unsigned count = g_list_length(items) + g_list_length(background);
        nautilus_menu_item_list_free(items);
        nautilus_menu_item_list_free(background);
        return count;
    };
    EXPECT_EQ(itemCount(), 2u);
    ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, ov::PluginElection::Ignore));
    EXPECT_EQ(itemCount(), 0u);
    ASSERT_TRUE(ov::setPluginElection(ov::kExtensionId, ov::PluginElection::Use));
    EXPECT_EQ(itemCount(), 2u);

    g_object_unref(provider);
    gpointer shutdown = nullptr;
    if (gLibrary && g_module_symbol(gLibrary, "nautilus_module_shutdown", &shutdown))
        reinterpret_cast<void (*)()>(shutdown)();
}

} // namespace
