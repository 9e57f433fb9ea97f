// SPDX-License-Identifier: GPL-3.0-or-later
// Load and save of a store with 1,000 actions (100 groups of 9 children plus 100 plain actions),
// and the resident memory of a process that holds that store and listens on the wormhole.
// The comparison is `cp` of the same file: the least a user's copy of the list costs.
#include "BenchSupport.h"
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionsManager.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/Files.h"
#include "platform/MainContext.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

OVActionList makeCatalogue()
{
    OVActionList list;
    for (int g = 0; g < 100; ++g) {
        auto group = OVAction::action<OVMoveActionGroup>();
        group->setTitle("Group " + std::to_string(g));
        for (int c = 0; c < 9; ++c) {
            auto child = OVAction::action<OVMoveToAction>();
            child->setTitle("Folder " + std::to_string(c));
            child->setDestinationURL("/home/user/Folder " + std::to_string(g) + "/" + std::to_string(c));
            child->setFileTypes(OVStringList{"image/*", "text/plain"});
            group->addAction(child);
        }
        list.push_back(group);
    }
    for (int p = 0; p < 100; ++p) {
        auto script = OVAction::action<OVShellScriptAction>();
        script->setTitle("Script " + std::to_string(p));
        script->setScriptURL("/home/user/.local/share/scripts/script " + std::to_string(p) + ".sh");
        script->setActionDescription("Runs a script on the selected paths");
        list.push_back(script);
    }
    return list;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string home = bench::makePrivateHome();

    if (argc > 1 && std::string(argv[1]) == "--rss-child") {
        // A process that has loaded the store and listens on the wormhole, as the runner does.
        auto store = OVActionsManager::create();
        auto hole = OVProtocol::wormhole();
        hole->listenForMessageWithIdentifier(std::string("OVDidChangeNotification"), [](const auto&) {});
        std::printf("%ld\n", bench::residentKiB());
        return 0;
    }

    auto store = OVActionsManager::create();
    store->updateActions(makeCatalogue());
    const std::string path = OVActionsManager::saveURL();
    const std::string copy = home + "/copy.plist";

    std::vector<double> saves, loads, cps;
    for (int i = 0; i < 30; ++i) {
        auto t0 = Clock::now();
        store->saveToFile();
        saves.push_back(ms(Clock::now() - t0));
        t0 = Clock::now();
        auto loaded = OVActionsManager::create();
        loads.push_back(ms(Clock::now() - t0));
        if (!loaded || loaded->actions().size() != 200) {
            std::fprintf(stderr, "reload failed\n");
            return 1;
        }
        t0 = Clock::now();
        std::string cmd = "cp '" + path + "' '" + copy + "'";
        if (std::system(cmd.c_str()) != 0)
            return 1;
        cps.push_back(ms(Clock::now() - t0));
    }
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::printf("store of 1,000 actions (%lld bytes)\n", static_cast<long long>(f.tellg()));
    std::printf("  save  median %.2f ms (target < 20 ms)  ratio to cp %.2f\n", median(saves), median(saves) / median(cps));
    std::printf("  load  median %.2f ms (target < 20 ms)  ratio to cp %.2f\n", median(loads), median(loads) / median(cps));
    std::printf("  cp    median %.2f ms\n", median(cps));
    const std::string cp = bench::format("cp %.2f ms", median(cps));
    bench::tableRow("store of 1,000 actions, save", bench::format("%.2f ms", median(saves)), cp,
                    median(cps) / median(saves), "< 20 ms");
    bench::tableRow("store of 1,000 actions, load", bench::format("%.2f ms", median(loads)), cp,
                    median(cps) / median(loads), "< 20 ms");

    // RSS is measured in a fresh process so this one's benchmark garbage does not count.
    std::string cmd = std::string("'") + argv[0] + "' --rss-child";
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        long kib = 0;
        if (std::fscanf(p, "%ld", &kib) == 1) {
            std::printf("  RSS of a process holding the store and listening: %.1f MiB (target < 10 MiB)\n", kib / 1024.0);
            bench::tableRow("RSS holding the store and listening", bench::format("%.1f MiB", kib / 1024.0), "", 0, "< 10 MiB");
        }
        ::pclose(p);
    }
    std::string rm = "rm -rf '" + home + "'";
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
