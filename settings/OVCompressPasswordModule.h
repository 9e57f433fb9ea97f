// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of "Compress with password": what it does, and whether its zips use AES-256.
#pragma once

#include "settings/OVResetAppModule.h"

class OVCompressPasswordModule : public OVResetAppModule {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"OVCompressPasswordModule", "OVResetAppModule", "OVActionModuleViewController", "HLModuleViewController",
                "HLViewController"};
    }
    void hl_viewDidLoad() override;
    GtkSwitch* strongEncryptionSwitch() const { return outlet<GtkSwitch>("strongEncryptionSwitch"); }

private:
    void strongEncryptionDidChange();

    OVCompressPasswordModule() = default;
    friend class OVActionModuleViewController;
};
