// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "platform/Translation.h"

class OVMoveActionGroup : public OVActionKind<OVMoveActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVMoveActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule", .defaultTitle = N_("Move to a folder"), .iconName = "icon-move",
                                      .childKind = "OVMoveToAction"};
};
