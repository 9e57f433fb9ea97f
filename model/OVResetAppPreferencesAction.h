// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"
#include "model/OVTypes.h"
#include "platform/Translation.h"

class OVResetAppPreferencesAction : public OVActionKind<OVResetAppPreferencesAction> {
public:
    static constexpr const char* kClassName = "OVResetAppPreferencesAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = N_("Reset App Preferences"),
                                      .iconName = "icon-reset-app",
                                      .isDefault = true,
                                      .fileType = kUTTypeApplication};
};
