#pragma once

#include "model/OVAction.h"

class OVShellScriptAction : public OVAction {
    OV_ACTION_KIND(OVShellScriptAction, "OVAction", "NSObject")
public:
    const std::optional<std::string>& scriptURL() const { return scriptURL_; } // a file path
    void setScriptURL(std::optional<std::string> path) { scriptURL_ = std::move(path); }
    bool isEditable() const { return isEditable_; }
    void setIsEditable(bool v) { isEditable_ = v; }
    std::optional<std::string> defaultTitle() const override { return std::string("Run Script"); }
    std::optional<std::string> editorClassName() const override;
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    void init() override;
    void copyFieldsTo(OVAction& other) const override;

private:
    std::optional<std::string> scriptURL_;
    bool isEditable_ = false;
};
