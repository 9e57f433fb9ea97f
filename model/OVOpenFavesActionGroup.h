// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"

class OVOpenFavesActionGroup : public OVActionKind<OVOpenFavesActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVOpenFavesActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule",
                                      .title = "Open new Finder window",
                                      .iconName = "icon-open-faves",
                                      .description = "Opens a new Finder window/tab to the selected location",
                                      .isDefault = true,
                                      .childKind = "OVOpenFavesAction"};
};
