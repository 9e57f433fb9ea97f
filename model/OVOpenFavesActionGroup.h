// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"

class OVOpenFavesActionGroup : public OVActionKind<OVOpenFavesActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVOpenFavesActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule",
                                      .title = "Open new window",
                                      .iconName = "icon-open-faves",
                                      .description = "Opens a new file manager window at the chosen folder",
                                      .isDefault = true,
                                      .childKind = "OVOpenFavesAction"};
};
