// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue of actions a fresh installation holds: whichever program first finds no store
// writes it (OVFirstRunCatalogue); at every launch the settings application appends whatever part
// of it the store lacks, then saves.
#pragma once

#include "model/OVAction.h"
#include "model/OVActionsManager.h"
#include "model/OVImage.h"

#include <memory>
#include <string>

class OVUserDefaults;

class OVDefaultCatalogue {
public:
    OVDefaultCatalogue(std::shared_ptr<OVActionsManager> store, std::shared_ptr<OVUserDefaults> defaults);

    void generateDefaultsIfNeeded();
    // The same without the save, for a caller that writes the store itself.
    void addMissingDefaults();

    // Whether a top-level action of the kind (or a subkind) has isDefault set.
    template <typename Kind>
    bool hasDefaultActionForClass() const
    {
        for (const auto& action : store_->actions()) {
            if (action && action->isDefault() && dynamic_cast<const Kind*>(action.get()))
                return true;
        }
        return false;
    }

private:
    void addNewFileGroup();
    template <typename Group, typename Child>
    void addFolderGroup(const std::optional<std::string>& title);
    void addConvertImageGroup();
    void addFirstBuiltInBatch();
    void addSecondBuiltInBatch();
    void addBundledScript(const std::string& title, bool enabled, bool foldersOnly);

    std::shared_ptr<OVActionsManager> store_;
    std::shared_ptr<OVUserDefaults> defaults_;
};

// A 16-point icon for a file: its cached thumbnail, else the file manager's icon of it.
OVImage hl_iconWithURL(const std::string& path);
