// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "platform/Translation.h"

class OVNewFileActionGroup : public OVActionKind<OVNewFileActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVNewFileActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVNewFileActionModule", .defaultTitle = N_("Create new file"), .iconName = "icon-new-file"};
};
