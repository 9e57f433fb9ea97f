// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of an AppleScript action: such scripts are kept with the action list but cannot run
// on this system, which the editor says plainly.
#pragma once

#include "settings/OVActionModuleViewController.h"

class OVAppleScriptModule : public OVActionModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVAppleScriptModule", "OVActionModuleViewController", "HLModuleViewController", "HLViewController"};
    }
    void hl_viewDidLoad() override;

protected:
    OVAppleScriptModule() = default;
    friend class OVActionModuleViewController;
};
