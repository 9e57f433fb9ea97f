// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVOpenWithAppAction.h"
#include "platform/Translation.h"

class OVSendViaEmailAction : public OVActionKind<OVSendViaEmailAction, OVOpenWithAppAction> {
public:
    static constexpr const char* kClassName = "OVSendViaEmailAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = N_("Send via Email"),
                                      .iconName = "icon-send-mail",
                                      .description = N_("Opens the default mail handler with the selected files"),
                                      .isDefault = true};
};
