#pragma once

#include "model/OVAction.h"

class OVAppleScriptAction : public OVAction {
    OV_ACTION_KIND(OVAppleScriptAction, "OVAction", "NSObject")
public:
    const std::optional<std::string>& scriptURL() const { return scriptURL_; } // a file path
    void setScriptURL(std::optional<std::string> path) { scriptURL_ = std::move(path); }
    std::optional<std::string> editorClassName() const override;
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    void copyFieldsTo(OVAction& other) const override;

private:
    std::optional<std::string> scriptURL_;
};
