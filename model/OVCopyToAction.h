#pragma once

#include "model/OVAction.h"

class OVCopyToAction : public OVAction {
    OV_ACTION_KIND(OVCopyToAction, "OVAction", "NSObject")
public:
    const std::optional<std::string>& destinationURL() const { return destinationURL_; } // a file path
    void setDestinationURL(std::optional<std::string> path) { destinationURL_ = std::move(path); }
    std::optional<std::string> editorClassName() const override;
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    void copyFieldsTo(OVAction& other) const override;

private:
    std::optional<std::string> destinationURL_;
};
