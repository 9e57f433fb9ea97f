// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"

class OVSecureRemoveAction : public OVActionKind<OVSecureRemoveAction> {
public:
    static constexpr const char* kClassName = "OVSecureRemoveAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = "Secure Delete",
                                      .iconName = "icon-secure-delete",
                                      .description = "Securely and permanently removes the selected files",
                                      .isDefault = true};
};
