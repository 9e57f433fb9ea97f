// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "platform/Translation.h"

class OVOpenFavesActionGroup : public OVActionKind<OVOpenFavesActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVOpenFavesActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule",
                                      .title = N_("Open new window"),
                                      .iconName = "icon-open-faves",
                                      .description = N_("Opens a new file manager window at the chosen folder"),
                                      .isDefault = true,
                                      .childKind = "OVOpenFavesAction"};
};
