// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVActionGroup.h"
#include "model/OVTypes.h"

class OVConvertImageActionGroup : public OVActionKind<OVConvertImageActionGroup, OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVConvertImageActionGroup";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule",
                                      .title = "Convert Image",
                                      .iconName = "icon-convert-images",
                                      .description = "Converts an image to the selected format",
                                      .isDefault = true,
                                      .fileType = kUTTypeImage};
};
