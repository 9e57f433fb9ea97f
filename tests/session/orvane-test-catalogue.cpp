// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application's first run, for session tests: writes the default catalogue into the
// store of the current XDG folders and prints the store as JSON; "enable" switches entries on as
// the user would in the settings window; "show" prints the store as it is.
// Usage: orvane-test-catalogue first-run | show | enable TITLE|GROUP/TITLE...
#include "model/OVActionGroup.h"
#include "model/OVActionsManager.h"
#include "model/OVDefaultCatalogue.h"
#include "model/OVUserDefaults.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <string>

namespace {

nlohmann::json describe(const OVActionList& actions)
{
    auto list = nlohmann::json::array();
    for (const auto& action : actions) {
        nlohmann::json entry = {{"uid", action->uid()},
                                {"kind", action->className()},
                                {"title", action->title().value_or("")},
                                {"enabled", action->enabled()}};
        if (auto* group = dynamic_cast<const OVActionGroup*>(action.get()))
            entry["children"] = describe(group->actions());
        list.push_back(std::move(entry));
    }
    return list;
}

bool enable(const OVActionList& actions, const std::string& name)
{
    for (const auto& action : actions) {
        const std::string title = action->title().value_or("");
        if (title == name) {
            action->setEnabled(true);
            return true;
        }
        auto* group = dynamic_cast<const OVActionGroup*>(action.get());
        if (group && name.starts_with(title + "/") && enable(group->actions(), name.substr(title.size() + 1)))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    auto store = OVActionsManager::create();
    if (!store) {
        std::cerr << "the store cannot be read\n";
        return 1;
    }
    if (command == "show") {
        std::cout << describe(store->actions()).dump(1) << "\n";
        return 0;
    }
    if (command == "first-run") {
        OVDefaultCatalogue(store, OVUserDefaults::create()).generateDefaultsIfNeeded();
    } else if (command == "enable") {
        for (int i = 2; i < argc; ++i) {
            if (!enable(store->actions(), argv[i])) {
                std::cerr << "no entry " << argv[i] << "\n";
                return 1;
            }
        }
    } else {
        std::cerr << "usage: orvane-test-catalogue first-run | show | enable TITLE|GROUP/TITLE...\n";
        return 2;
    }
    // The coalesced save would come a moment later; this program ends now.
    if (!store->saveToFile())
        return 1;
    std::cout << describe(store->actions()).dump(1) << "\n";
    return 0;
}
