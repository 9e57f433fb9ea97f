#pragma once

#include "model/OVAction.h"

class OVConvertImageAction : public OVAction {
    OV_ACTION_KIND(OVConvertImageAction, "OVAction", "NSObject")
public:
    const std::optional<std::string>& outputFormat() const { return outputFormat_; }
    void setOutputFormat(std::optional<std::string> v) { outputFormat_ = std::move(v); }
    const std::optional<std::string>& outputExtension() const { return outputExtension_; }
    void setOutputExtension(std::optional<std::string> v) { outputExtension_ = std::move(v); }
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    void init() override;
    void copyFieldsTo(OVAction& other) const override;

private:
    std::optional<std::string> outputFormat_;
    std::optional<std::string> outputExtension_;
};
