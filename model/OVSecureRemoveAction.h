// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"
#include "platform/Translation.h"

class OVSecureRemoveAction : public OVActionKind<OVSecureRemoveAction> {
public:
    static constexpr const char* kClassName = "OVSecureRemoveAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = N_("Secure Delete"),
                                      .iconName = "icon-secure-delete",
                                      .description = N_("Securely and permanently removes the selected files"),
                                      .isDefault = true};
};
