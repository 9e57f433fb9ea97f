// SPDX-License-Identifier: GPL-3.0-or-later
// Demonstrates the shared store: creates a few actions, saves them, loads them back through a
// fresh store and prints what was read.
#include "model/OVActionGroup.h"
#include "model/OVActionsManager.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/Files.h"
#include "platform/MainContext.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
void print(const OVActionList& list, int depth)
{
    for (const auto& a : list) {
        std::printf("%*s%s %-28s %s%s\n", depth * 2, "", a->uid().c_str(), a->className(),
                    a->title().value_or("(untitled)").c_str(), a->enabled() ? "" : "  [disabled]");
        if (auto g = std::dynamic_pointer_cast<OVActionGroup>(a))
            print(g->actions(), depth + 1);
    }
}
} // namespace

int main()
{
    auto store = OVActionsManager::create();
    if (!store) {
        std::fprintf(stderr, "The action store could not be loaded.\n");
        return 1;
    }

    auto move = OVAction::action<OVMoveActionGroup>();
    move->setTitle("Move to a folder");
    for (const char* folder : {"Documents", "Pictures", "Desktop"}) {
        auto child = OVAction::action<OVMoveToAction>();
        child->setTitle(folder);
        child->setDestinationURL(ov::pathByAppending(std::string(getenv("HOME") ? getenv("HOME") : "/"), folder));
        move->addAction(child);
    }
    store->addAction(move);

    auto convert = OVAction::action<OVConvertImageActionGroup>();
    auto png = OVAction::action<OVConvertImageAction>();
    png->setTitle("PNG");
    png->setOutputFormat("png");
    png->setOutputExtension("png");
    convert->addAction(png);
    store->addAction(convert);

    auto remove = OVAction::action<OVSecureRemoveAction>();
    remove->setEnabled(false);
    store->addAction(remove);
    if (auto script = OVBundledScriptAction::actionWithBundledFileName("Copy paths to clipboard"))
        store->addAction(script);

    bool saved = false;
    store->save();
    // The save is coalesced on a timer: run the loop until it has happened.
    ov::iterateMainUntil([&] { return saved = ov::isRegularFile(OVActionsManager::saveURL()); }, 2000);
    ov::iterateMainUntil([] { return false; }, 150);
    if (!saved) {
        std::fprintf(stderr, "The store was not saved.\n");
        return 1;
    }

    auto reloaded = OVActionsManager::create();
    if (!reloaded) {
        std::fprintf(stderr, "The saved store could not be read back.\n");
        return 1;
    }
    std::printf("Saved and read back %s:\n", OVActionsManager::saveURL().c_str());
    print(reloaded->actions(), 1);
    return 0;
}
