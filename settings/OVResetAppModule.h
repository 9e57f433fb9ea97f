// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of the kinds with nothing to set: it says what the action does.
#pragma once

#include "settings/OVActionModuleViewController.h"

class OVResetAppModule : public OVActionModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVResetAppModule", "OVActionModuleViewController", "HLModuleViewController", "HLViewController"};
    }
    void hl_viewDidLoad() override;
    GtkLabel* descriptionLabel() const { return outlet<GtkLabel>("descriptionLabel"); }

protected:
    OVResetAppModule() = default;
    friend class OVActionModuleViewController;
};
