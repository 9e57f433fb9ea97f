// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "model/OVTypes.h"
#include "platform/Translation.h"

class OVConvertImageActionGroup : public OVActionKind<OVConvertImageActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVConvertImageActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = N_("Convert Image"),
                                      .iconName = "icon-convert-images",
                                      .description = N_("Converts an image to the selected format"),
                                      .isDefault = true,
                                      .fileType = kUTTypeImage};
};
