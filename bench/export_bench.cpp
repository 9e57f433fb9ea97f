// SPDX-License-Identifier: GPL-3.0-or-later
// Export of a 200-action store to Nemo, Thunar and Dolphin, against a plain `cp` of the files it
// produces (what a user keeping the three menus by hand would at best do), and how soon a saved
// change reaches the exported files through the watcher.
#include "BenchSupport.h"

#include "menus/OVMenuExporter.h"
#include "messaging/OVProtocol.h"
#include "model/OVActionsManager.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVTypes.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/MainContext.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kTargetExportMs = 20, kTargetChangeMedianMs = 100, kTargetChangeWorstMs = 1000;
constexpr int kRounds = 30, kChangeSamples = 20;

const char* const kTypes[] = {nullptr, kUTTypeImage, "text/plain", kUTTypeFolder, "application/pdf", nullptr};

OVActionPtr action(const std::string& title, int i)
{
    auto a = OVAction::action<OVMoveToAction>();
    a->setTitle(title);
    a->setEnabled(true);
    if (const char* type = kTypes[i % std::size(kTypes)])
        a->setFileTypes(OVStringList{type});
    return a;
}

// 20 groups of 9 children and 20 plain actions: 200 actions.
OVActionList store(const std::string& tag)
{
    OVActionList actions;
    for (int g = 0; g < 20; ++g) {
        auto group = OVAction::action<OVMoveActionGroup>();
        group->setTitle("Group " + std::to_string(g));
        group->setEnabled(true);
        for (int c = 0; c < 9; ++c)
            group->addAction(action(tag + " child " + std::to_string(c), c));
        actions.push_back(group);
        actions.push_back(action(tag + " plain " + std::to_string(g), g));
    }
    return actions;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char* what, double value, double target)
{
    std::printf("%-58s %9.3f ms  (target < %g ms: %s)\n", what, value, target, value < target ? "ok" : "MISSED");
}

void removeExports()
{
    for (auto fileManager : allFileManagers())
        std::filesystem::remove_all(OVMenuExporter::exportPath(fileManager));
}

double exportAllMs(const OVExportMenu& menu)
{
    auto start = bench::Clock::now();
    for (auto fileManager : allFileManagers()) {
        if (!OVMenuExporter::writeExport(fileManager, menu)) {
            std::fprintf(stderr, "the export to %s failed\n", fileManagerName(fileManager));
            std::exit(1);
        }
    }
    return bench::secondsSince(start) * 1000;
}

} // namespace

int main()
{
    const std::string home = bench::makePrivateHome();
    const OVExportMenu menu = exportMenu(store("A"), true, "/usr/bin/orvane-menu");
    const std::string copies = bench::makeTemporaryFolder(home, "cp");

    std::vector<double> fresh, unchanged;
    auto best = bench::bestOfInterleaved(kRounds, [&](int contender) {
        if (contender == 0) {
            removeExports();
            double ms = exportAllMs(menu);
            fresh.push_back(ms);
            unchanged.push_back(exportAllMs(menu));
            return ms;
        }
        std::filesystem::remove_all(copies);
        std::filesystem::create_directories(copies);
        return bench::timeCommand({"cp", "-r", OVMenuExporter::exportPath(OVFileManager::Nemo),
                                   OVMenuExporter::exportPath(OVFileManager::Thunar),
                                   OVMenuExporter::exportPath(OVFileManager::Dolphin), copies}) * 1000;
    });
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(copies))
        files += entry.is_regular_file();

    std::printf("export of 200 actions (20 groups of 9 + 20 plain) to Nemo, Thunar and Dolphin: %zu files\n", files);
    report("into empty folders, median of 30", median(fresh), kTargetExportMs);
    std::printf("%-58s %9.3f ms\n", "  best", best[0]);
    std::printf("%-58s %9.3f ms\n", "again with nothing changed, median of 30", median(unchanged));
    std::printf("%-58s %9.3f ms\n", "cp -r of the produced files, best of 30", best[1]);
    std::printf("%-58s %9.2fx\n", "ratio export / cp (best against best)", best[0] / best[1]);

    // A saved change through the watcher: the store's message, then the files.
    auto defaults = OVUserDefaults::create();
    for (auto fileManager : allFileManagers())
        defaults->setExportsMenuTo(fileManagerName(fileManager), true);
    auto manager = OVActionsManager::create();
    manager->updateActions(store("B"));
    manager->saveToFile();
    auto watcher = OVMenuExporter::Watcher::create();
    const std::string probe = OVMenuExporter::exportPath(OVFileManager::Thunar);
    std::vector<double> latencies;
    OVActionList actions = store("B");
    for (int i = 0; i < kChangeSamples; ++i) {
        // The usual edit: one action renamed in the settings application.
        const std::string title = "Renamed " + std::to_string(i);
        actions[std::size_t(2 * i + 1)]->setTitle(title);
        manager->updateActions(actions);
        manager->saveToFile();
        auto start = bench::Clock::now();
        OVProtocol::postMessage(OVProtocol::kDidChangeNotification);
        if (!ov::iterateMainUntil([&] { return ov::readFile(probe).value_or("").find(title) != std::string::npos; }, 5000)) {
            std::fprintf(stderr, "change %d did not reach the exported files\n", i);
            return 1;
        }
        latencies.push_back(bench::secondsSince(start) * 1000);
    }
    report("one action renamed -> exported files, median of 20", median(latencies), kTargetChangeMedianMs);
    report("  worst of 20", *std::max_element(latencies.begin(), latencies.end()), kTargetChangeWorstMs);
    std::filesystem::remove_all(home);
    return 0;
}
