// SPDX-License-Identifier: GPL-3.0-or-later
// How much the Nautilus module adds to its host's memory: resident size before loading it, and
// after it has loaded a catalogue of the default size and answered a menu. The comparison is
// `du` of the same folder, what a user's own look at it costs.
#include "BenchSupport.h"
#include "extension_module/NautilusHost.h"
#include "model/OVActionsManager.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/MainContext.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {
// Nineteen top-level entries with groups of three, the size of the first-run catalogue.
void writeCatalogue()
{
    auto store = OVActionsManager::create();
    OVActionList list;
    for (int g = 0; g < 4; ++g) {
        std::shared_ptr<OVActionGroup> group = g % 2 ? std::shared_ptr<OVActionGroup>(OVAction::action<OVCopyActionGroup>())
                                                     : std::shared_ptr<OVActionGroup>(OVAction::action<OVMoveActionGroup>());
        bench::addFolderChildren(*group);
        list.push_back(group);
    }
    list.push_back(OVAction::action<OVSecureRemoveAction>());
    list.push_back(OVAction::action<OVCompressPasswordAction>());
    list.push_back(OVAction::action<OVSendViaEmailAction>());
    for (int i = 0; list.size() < 19; ++i) {
        auto script = OVAction::action<OVShellScriptAction>();
        script->setTitle("Script " + std::to_string(i));
        script->setScriptURL("/usr/share/orvane/Default Scripts/Script.sh");
        list.push_back(script);
    }
    store->updateActions(list);
    store->saveToFile();
}
} // namespace

int main()
{
    const std::string home = bench::makePrivateHome();
    writeCatalogue();

    // What a host has touched before the module arrives: GIO's own machinery.
    GFile* folder = g_file_new_for_path(home.c_str());
    g_object_unref(g_file_query_info(folder, "standard::*", G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    const long before = bench::residentKiB();

    GType type = nautilushost::loadedProviderType(ORVANE_NAUTILUS_MODULE);
    if (!type) {
        std::fprintf(stderr, "could not load %s\n", ORVANE_NAUTILUS_MODULE);
        return 1;
    }
    auto* provider = NAUTILUS_MENU_PROVIDER(g_object_new(type, nullptr));
    NautilusFileInfo* current = nautilushost::localInfo(home, true);
    auto t0 = std::chrono::steady_clock::now();
    GList* items = nautilus_menu_provider_get_background_items(provider, current);
    const double firstMenu = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    g_list_free_full(items, g_object_unref);
    ov::iterateMainUntil([] { return false; }, 100);
    const long after = bench::residentKiB();

    t0 = std::chrono::steady_clock::now();
    std::string du = "du -s '" + home + "' > /dev/null";
    if (std::system(du.c_str()) != 0)
        return 1;
    const double duMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

    std::printf("Nautilus module with a 19-entry catalogue\n");
    std::printf("  RSS added: %.2f MiB (target < 5 MiB)\n", (after - before) / 1024.0);
    std::printf("  first menu, store read included: %.2f ms  ratio to du of the folder %.2f\n", firstMenu, firstMenu / duMs);
    bench::tableRow("Nautilus module, RSS added", bench::format("%.2f MiB", (after - before) / 1024.0), "", 0, "< 5 MiB");
    bench::tableRow("Nautilus module, first menu", bench::format("%.2f ms", firstMenu), bench::format("du -s %.2f ms", duMs),
                    duMs / firstMenu);
    g_object_unref(current);
    g_object_unref(provider);
    g_object_unref(folder);
    std::string rm = "rm -rf '" + home + "'";
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
