// SPDX-License-Identifier: GPL-3.0-or-later
// Why a menu looks as it does for a selection: the menu the host shows, and every stored action
// it leaves out with the menu's own reason. `orvane-menu --explain` prints it; the settings
// application shows it in a window.
#pragma once

#include "menus/FinderSync.h"

#include <string>
#include <vector>

struct OVMenuExplanation {
    struct LeftOut {
        std::string group; // the title of the group that holds it; empty at the top level
        std::string title;
        std::string reason;
        // "Group/Title", as --run names it.
        std::string qualifiedName() const { return group.empty() ? title : group + "/" + title; }
    };

    bool extensionOff = false; // then nothing else is worked out: it is the only reason
    OVMenu menu;               // as the host shows it for the kind
    bool nothingOffered = false;
    std::vector<LeftOut> leftOut; // in store order, a group's children after the group

    static OVMenuExplanation explain(FinderSync& finderSync, FIMenuKind kind);

    // The selection as the host would describe it: each path with whether it is a folder, looked
    // up now, so that working out the menu afterwards touches no disk. Slow for a large selection
    // on a slow disk: call it off the main context.
    static std::vector<FinderSync::Item> itemsOnDisk(const std::vector<std::string>& paths);

    // The text form: the outline, then a line on what is offered and each left-out action with
    // its reason.
    std::string text() const;
};
