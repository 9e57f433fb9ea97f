#pragma once

#include "model/OVAction.h"

class OVOpenWithAppAction : public OVAction {
    OV_ACTION_KIND(OVOpenWithAppAction, "OVAction", "NSObject")
public:
    const std::optional<std::string>& applicationURL() const { return applicationURL_; } // a file path
    void setApplicationURL(std::optional<std::string> path) { applicationURL_ = std::move(path); }
    std::optional<std::string> editorClassName() const override;
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    void copyFieldsTo(OVAction& other) const override;

private:
    std::optional<std::string> applicationURL_;
};
