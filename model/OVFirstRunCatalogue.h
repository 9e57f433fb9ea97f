// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in catalogue for the very first menu: whichever program reads the store first (the
// Nautilus module, orvane-menu, the runner or the settings application) writes it when there is
// no store yet, so a right-click before Orvane was ever opened already offers its actions.
#pragma once

#include "model/OVActionsManager.h"

#include <memory>
#include <string>

class OVFirstRunCatalogue {
public:
    enum class Outcome {
        Found,   // a store exists (an empty list too: the user emptied it); it stays untouched
        Written, // this call wrote the catalogue
        Failed,  // the catalogue was due and could not be written
    };
    // Writes the catalogue when no store exists, once even when several programs start together.
    static Outcome writeIfNoStore();
    // The store as the menus read it: writeIfNoStore first. None when the store cannot be read.
    static std::shared_ptr<OVActionsManager> loadStore();
    // Held while the catalogue is written; beside the store.
    static std::string lockPath();
};
