#pragma once

#include "model/OVAction.h"

class OVSecureRemoveAction : public OVAction {
    OV_ACTION_KIND(OVSecureRemoveAction, "OVAction", "NSObject")
public:
    std::optional<std::string> editorClassName() const override;

protected:
    void init() override;
};
