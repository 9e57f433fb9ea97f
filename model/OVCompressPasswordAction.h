#pragma once

#include "model/OVAction.h"

class OVCompressPasswordAction : public OVAction {
    OV_ACTION_KIND(OVCompressPasswordAction, "OVAction", "NSObject")
public:
    std::optional<std::string> editorClassName() const override;

protected:
    void init() override;
};
