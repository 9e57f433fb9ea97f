// SPDX-License-Identifier: GPL-3.0-or-later
// Adds an action to the store of the current XDG folders and prints its uid (session tests and
// benchmarks).  Usage: orvane-test-store KIND TARGET TITLE, where KIND TARGET is move FOLDER,
// copy FOLDER, move-group FOLDER, shell SCRIPT, convert FORMAT:EXTENSION, secureremove -, resetprefs - or
// compress -.
// "move-group" adds a "Move to a folder" group holding one move action, as the settings application
// makes them, and prints the action's uid; "move-into" adds one more move action to the last such
// group. An optional last argument MIN-MAX ("1-1", "2-") sets how many selected items the action
// (or its group) is for.
#include "model/OVActionsManager.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVShellScriptAction.h"

#include <iostream>
#include <optional>
#include <string>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::cerr << "usage: orvane-test-store move FOLDER | copy FOLDER | move-group FOLDER | move-into FOLDER | shell SCRIPT | convert FORMAT:EXTENSION "
                     "| secureremove - | resetprefs - | compress -, then TITLE [MIN-MAX]\n";
        return 2;
    }
    const std::string kind = argv[1];
    OVActionPtr action;
    OVActionPtr listed; // what the store's top level gets: the action, or its group
    if (kind == "move" || kind == "move-group" || kind == "move-into") {
        auto move = OVAction::action<OVMoveToAction>();
        move->setDestinationURL(std::string(argv[2]));
        action = move;
    } else if (kind == "copy") {
        auto copy = OVAction::action<OVCopyToAction>();
        copy->setDestinationURL(std::string(argv[2]));
        action = copy;
    } else if (kind == "shell") {
        auto shell = OVAction::action<OVShellScriptAction>();
        shell->setScriptURL(std::string(argv[2]));
        action = shell;
    } else if (kind == "convert") {
        const std::string target = argv[2];
        auto colon = target.find(':');
        if (colon == std::string::npos) {
            std::cerr << "convert needs FORMAT:EXTENSION\n";
            return 2;
        }
        auto convert = OVAction::action<OVConvertImageAction>();
        convert->setOutputFormat(target.substr(0, colon));
        convert->setOutputExtension(target.substr(colon + 1));
        action = convert;
    } else if (kind == "secureremove") {
        action = OVAction::action<OVSecureRemoveAction>();
    } else if (kind == "compress") {
        action = OVAction::action<OVCompressPasswordAction>();
    } else if (kind == "resetprefs") {
        action = OVAction::action<OVResetAppPreferencesAction>();
    } else {
        std::cerr << "unknown kind " << kind << "\n";
        return 2;
    }
    action->setTitle(std::string(argv[3]));
    action->setEnabled(true);
    listed = action;
    if (kind == "move-group") {
        auto group = OVAction::action<OVMoveActionGroup>();
        group->setEnabled(true);
        group->addAction(action);
        listed = group;
    }
    if (argc == 5) {
        const std::string counts = argv[4];
        const auto dash = counts.find('-');
        auto bound = [](const std::string& text) {
            return text.empty() ? std::nullopt : std::optional<int>(std::stoi(text));
        };
        if (dash == std::string::npos) {
            std::cerr << "counts are MIN-MAX\n";
            return 2;
        }
        listed->setSelectionCounts({bound(counts.substr(0, dash)), bound(counts.substr(dash + 1))});
    }
    auto store = OVActionsManager::create();
    if (!store) {
        std::cerr << "the store cannot be read\n";
        return 1;
    }
    if (kind == "move-into") {
        std::shared_ptr<OVMoveActionGroup> last;
        for (const auto& existing : store->actions()) {
            if (auto group = std::dynamic_pointer_cast<OVMoveActionGroup>(existing))
                last = group;
        }
        if (!last) {
            std::cerr << "move-into needs a move group in the store\n";
            return 1;
        }
        last->addAction(action);
        if (!store->saveToFile())
            return 1;
        std::cout << action->uid() << "\n";
        return 0;
    }
    store->addAction(listed);
    if (!store->saveToFile())
        return 1;
    std::cout << action->uid() << "\n";
    return 0;
}
