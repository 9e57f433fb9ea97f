// Adds an action to the store of the current XDG folders and prints its uid (session tests and
// benchmarks).  Usage: orvane-test-store move|copy FOLDER TITLE | shell SCRIPT TITLE
#include "model/OVActionsManager.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveToAction.h"
#include "model/OVShellScriptAction.h"

#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: orvane-test-store move|copy FOLDER TITLE | shell SCRIPT TITLE\n";
        return 2;
    }
    const std::string kind = argv[1];
    OVActionPtr action;
    if (kind == "move") {
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
    } else {
        std::cerr << "unknown kind " << kind << "\n";
        return 2;
    }
    action->setTitle(std::string(argv[3]));
    action->setEnabled(true);
    auto store = OVActionsManager::create();
    if (!store) {
        std::cerr << "the store cannot be read\n";
        return 1;
    }
    store->addAction(action);
    if (!store->saveToFile())
        return 1;
    std::cout << action->uid() << "\n";
    return 0;
}
