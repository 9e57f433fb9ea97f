#pragma once

#include "model/OVOpenWithAppAction.h"

class OVSendViaEmailAction : public OVOpenWithAppAction {
    OV_ACTION_KIND(OVSendViaEmailAction, "OVOpenWithAppAction", "OVAction", "NSObject")
public:
    std::optional<std::string> editorClassName() const override;

protected:
    void init() override;
};
