// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"

class OVCopyActionGroup : public OVActionKind<OVCopyActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVCopyActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule", .defaultTitle = "Copy to a folder", .iconName = "icon-copy",
                                      .childKind = "OVCopyToAction"};
};
