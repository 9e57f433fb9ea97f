// SPDX-License-Identifier: GPL-3.0-or-later
// The settings application's own defaults (not the shared suite): $XDG_CONFIG_HOME/app.orvane.Orvane.plist.
#pragma once

#include "model/HLUserDefaults.h"

#include <memory>

class OVAppDefaults : public HLUserDefaults {
public:
    static std::shared_ptr<OVAppDefaults> standardUserDefaults();

    bool suppressQuitAlert() const { return boolForProperty("SuppressQuitAlert"); }
    void setSuppressQuitAlert(bool v) { setBoolForProperty("SuppressQuitAlert", v); }

private:
    OVAppDefaults() = default;
};
