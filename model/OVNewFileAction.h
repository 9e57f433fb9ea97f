#pragma once

#include "model/OVAction.h"

class OVNewFileAction : public OVAction {
    OV_ACTION_KIND(OVNewFileAction, "OVAction", "NSObject")
public:
    const std::optional<std::string>& templateURL() const { return templateURL_; } // a file path
    void setTemplateURL(std::optional<std::string> path) { templateURL_ = std::move(path); }
    bool executable() const { return executable_; }
    void setExecutable(bool v) { executable_ = v; }
    const std::optional<std::string>& fileName() const { return fileName_; }
    void setFileName(std::optional<std::string> v) { fileName_ = std::move(v); }
    const std::optional<std::string>& extension() const { return extension_; }
    void setExtension(std::optional<std::string> v) { extension_ = std::move(v); }
    std::optional<std::string> editorClassName() const override;
    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    void copyFieldsTo(OVAction& other) const override;

private:
    std::optional<std::string> templateURL_;
    bool executable_ = false;
    std::optional<std::string> fileName_;
    std::optional<std::string> extension_;
};
