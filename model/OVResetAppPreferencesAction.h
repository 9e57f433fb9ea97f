#pragma once

#include "model/OVAction.h"

class OVResetAppPreferencesAction : public OVAction {
    OV_ACTION_KIND(OVResetAppPreferencesAction, "OVAction", "NSObject")
public:
    std::optional<std::string> editorClassName() const override;

protected:
    void init() override;
};
