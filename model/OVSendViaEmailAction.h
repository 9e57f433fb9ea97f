// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVOpenWithAppAction.h"

class OVSendViaEmailAction : public OVActionKind<OVSendViaEmailAction, OVOpenWithAppAction> {
public:
    static constexpr const char* kClassName = "OVSendViaEmailAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = "Send via Email",
                                      .iconName = "icon-send-mail",
                                      .description = "Opens the default mail handler with the selected files",
                                      .isDefault = true};
};
