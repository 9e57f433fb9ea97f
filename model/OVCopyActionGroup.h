// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "platform/Translation.h"

class OVCopyActionGroup : public OVActionKind<OVCopyActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVCopyActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule", .defaultTitle = N_("Copy to a folder"), .iconName = "icon-copy",
                                      .childKind = "OVCopyToAction"};
};
