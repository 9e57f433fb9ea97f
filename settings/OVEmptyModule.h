// SPDX-License-Identifier: GPL-3.0-or-later
// The editor shown when nothing is selected or the selected kind has no editor: it shows nothing.
#pragma once

#include "ui/HLModuleViewController.h"

class OVEmptyModule : public HLModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVEmptyModule", "HLModuleViewController", "HLViewController"};
    }

protected:
    OVEmptyModule() = default;
    friend class HLViewController;
};
