// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "platform/Translation.h"

class OVOpenWithActionGroup : public OVActionKind<OVOpenWithActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVOpenWithActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule", .defaultTitle = N_("Open With"), .iconName = "icon-open-with",
                                      .childKind = "OVOpenWithAppAction"};
};
