// SPDX-License-Identifier: GPL-3.0-or-later
// Menu construction for large lists and selections, the first menu of a file manager with and
// without an action list (the first writes the built-in one), and how soon a change saved by
// another process shows in the next menu. Run without arguments; the program starts copies of itself
// ("--child") as the saving process.
#include "BenchSupport.h"
#include "menus/FinderSync.h"
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionsManager.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVTypes.h"
#include "platform/Files.h"
#include "platform/MainContext.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kTarget100Ms = 1, kTarget10000Ms = 16, kTargetChangeMs = 50;
constexpr double kTargetFirstMenuMs = 10, kTargetFirstRunMs = 100;
constexpr int kChangeSamples = 20, kFirstMenuSamples = 15;

const char* const kTypes[] = {nullptr, kUTTypeImage, "text/plain", kUTTypeFolder, "application/pdf", nullptr};
const char* const kExtensions[] = {".png", ".jpg", ".txt", ".pdf", ".tar.gz", "", ".md", ".c", ".odt", ".mp3"};

OVActionPtr action(const std::string& title, int i)
{
    auto a = OVAction::action<OVMoveToAction>();
    a->setTitle(title);
    if (const char* type = kTypes[i % std::size(kTypes)])
        a->setFileTypes(OVStringList{type});
    return a;
}

// 20 groups of 9 children and 20 plain actions, with mixed file types.
OVActionList catalogue(int extra = 0)
{
    OVActionList list;
    for (int g = 0; g < 20; ++g) {
        auto group = OVAction::action<OVMoveActionGroup>();
        group->setTitle("Group " + std::to_string(g));
        if (g % 4 == 1)
            group->setFileTypes(OVStringList{kUTTypeImage});
        OVActionList children;
        for (int c = 0; c < 9; ++c)
            children.push_back(action("Child " + std::to_string(c), g + c));
        group->updateActions(children);
        list.push_back(group);
        list.push_back(action("Plain " + std::to_string(g), g));
    }
    for (int i = 0; i < extra; ++i)
        list.push_back(action("Extra " + std::to_string(i), 0));
    return list;
}

std::vector<FinderSync::Item> selection(int count)
{
    std::vector<FinderSync::Item> items;
    for (int i = 0; i < count; ++i) {
        const char* ext = kExtensions[i % std::size(kExtensions)];
        items.push_back({"/home/user/Documents/file " + std::to_string(i) + ext, std::string(ext).empty() && i % 20 == 5});
    }
    return items;
}

double ms(gint64 us) { return double(us) / 1000.0; }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void report(const char* what, double value, double target)
{
    std::printf("%-58s %9.3f ms  (target < %g ms: %s)\n", what, value, target, value < target ? "ok" : "MISSED");
    bench::tableRow(what, bench::format("%.3f ms", value), "", 0, bench::format("< %g ms", target));
}

double timeMenus(FinderSync& sync, int paths, int runs, double* first)
{
    sync.setSelectionItems(selection(paths), std::nullopt);
    std::vector<double> samples;
    for (int r = 0; r < runs; ++r) {
        gint64 t0 = g_get_monotonic_time();
        OVMenu menu = sync.menuForMenuKind(FIMenuKind::ContextualMenuForItems);
        samples.push_back(ms(g_get_monotonic_time() - t0));
        if (menu.empty())
            std::abort();
        if (r == 0 && first)
            *first = samples[0];
    }
    return median(samples);
}

// The saving process: writes a list one action longer, then announces it, and prints when.
int runChild(int extra)
{
    auto manager = OVActionsManager::create();
    auto wormhole = OVProtocol::wormhole();
    if (!manager || !wormhole)
        return 1;
    manager->updateActions(catalogue(extra));
    if (!manager->saveToFile())
        return 1;
    const gint64 posted = g_get_monotonic_time();
    wormhole->passMessageObject(std::nullopt, std::string("OVDidChangeNotification"));
    std::printf("%lld\n", static_cast<long long>(posted));
    return 0;
}

// The first menu of a freshly started file manager on a home of its own: with the built-in
// list already stored, or with none (the menu writes it first).
double timeFirstMenus(const std::string& root, bool stored, double* worst)
{
    std::vector<double> samples;
    for (int i = 0; i < kFirstMenuSamples; ++i) {
        const std::string home = root + "/" + (stored ? "stored-" : "fresh-") + std::to_string(i);
        const std::string data = home + "/data", config = home + "/config";
        g_mkdir_with_parents(data.c_str(), 0700);
        g_mkdir_with_parents(config.c_str(), 0700);
        g_setenv("XDG_DATA_HOME", data.c_str(), TRUE);
        g_setenv("XDG_CONFIG_HOME", config.c_str(), TRUE);
        if (stored && OVFirstRunCatalogue::writeIfNoStore() != OVFirstRunCatalogue::Outcome::Written)
            std::abort();
        const gint64 t0 = g_get_monotonic_time();
        auto sync = FinderSync::create();
        sync->setSelection({}, home);
        OVMenu menu = sync->menuForMenuKind(FIMenuKind::ContextualMenuForContainer);
        samples.push_back(ms(g_get_monotonic_time() - t0));
        if (menu.empty())
            std::abort();
    }
    *worst = *std::max_element(samples.begin(), samples.end());
    return median(samples);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return runChild(std::atoi(argv[2]));

    char* home = g_dir_make_tmp("orvane-menu-bench-XXXXXX", nullptr);
    const std::string data = std::string(home) + "/data", config = std::string(home) + "/config";
    g_mkdir_with_parents(data.c_str(), 0700);
    g_mkdir_with_parents(config.c_str(), 0700);
    g_setenv("XDG_DATA_HOME", data.c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", config.c_str(), TRUE);

    {
        auto manager = OVActionsManager::create();
        manager->updateActions(catalogue());
        manager->saveToFile();
    }
    auto sync = FinderSync::create();
    std::printf("menu construction, 200 actions (20 groups of 9 + 20 plain)\n");
    double cold = 0;
    report("100 selected paths, median of 200", timeMenus(*sync, 100, 200, &cold), kTarget100Ms);
    std::printf("%-58s %9.3f ms\n", "  first request (type cache cold)", cold);
    report("10,000 selected paths, median of 30", timeMenus(*sync, 10000, 30, &cold), kTarget10000Ms);
    std::printf("%-58s %9.3f ms\n", "  first request (type cache cold)", cold);

    // Change saved by another process -> next menu shows it.
    sync->setSelectionItems(selection(10), std::nullopt);
    std::vector<double> latencies;
    for (int i = 1; i <= kChangeSamples; ++i) {
        const size_t expected = sync->actionsArray().size() + 1;
        const std::string extra = std::to_string(i);
        char* childArgv[] = {argv[0], const_cast<char*>("--child"), const_cast<char*>(extra.c_str()), nullptr};
        gint out = -1;
        GPid pid;
        GError* error = nullptr;
        if (!g_spawn_async_with_pipes(nullptr, childArgv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &pid, nullptr, &out,
                                      nullptr, &error)) {
            std::fprintf(stderr, "cannot start the saving process: %s\n", error->message);
            return 1;
        }
        const bool seen = ov::iterateMainUntil([&] { return sync->actionsArray().size() == expected; }, 5000);
        OVMenu menu = sync->menuForMenuKind(FIMenuKind::ContextualMenuForItems);
        const gint64 shown = g_get_monotonic_time();
        char buffer[64] = {};
        FILE* stream = fdopen(out, "r");
        const bool read = stream && std::fgets(buffer, sizeof buffer, stream);
        if (stream)
            std::fclose(stream);
        g_spawn_close_pid(pid);
        if (!seen || !read) {
            std::fprintf(stderr, "change %d was not seen\n", i);
            return 1;
        }
        latencies.push_back(ms(shown - std::atoll(buffer)));
    }
    report("change message from another process -> next menu, median", median(latencies), kTargetChangeMs);
    std::printf("%-58s %9.3f ms\n", "  worst of 20", *std::max_element(latencies.begin(), latencies.end()));

    sync.reset();
    std::printf("first menu of a file manager, %d fresh homes each\n", kFirstMenuSamples);
    double worst = 0;
    report("first menu, built-in list stored, median", timeFirstMenus(home, true, &worst), kTargetFirstMenuMs);
    std::printf("%-58s %9.3f ms\n", "  worst", worst);
    report("first menu, no list yet (writes the built-in one), median", timeFirstMenus(home, false, &worst),
           kTargetFirstRunMs);
    std::printf("%-58s %9.3f ms\n", "  worst", worst);

    std::string rm = "rm -rf '" + std::string(home) + "'";
    if (std::system(rm.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", home);
    g_free(home);
    return 0;
}
