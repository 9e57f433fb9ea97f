// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"

class OVNewFileAction : public OVActionKind<OVNewFileAction> {
public:
    static constexpr const char* kClassName = "OVNewFileAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule"};

    const std::optional<std::string>& templateURL() const { return templateURL_; } // a file path
    void setTemplateURL(std::optional<std::string> v) { templateURL_ = std::move(v); }
    bool executable() const { return executable_; }
    void setExecutable(bool v) { executable_ = v; }
    const std::optional<std::string>& fileName() const { return fileName_; }
    void setFileName(std::optional<std::string> v) { fileName_ = std::move(v); }
    const std::optional<std::string>& extension() const { return extension_; }
    void setExtension(std::optional<std::string> v) { extension_ = std::move(v); }

    static constexpr auto archivedFields() { return std::tuple{
            ovfield::url("templateURL", &OVNewFileAction::templateURL_),
            ovfield::boolean("executable", &OVNewFileAction::executable_),
            ovfield::string("fileName", &OVNewFileAction::fileName_),
            ovfield::string("extension", &OVNewFileAction::extension_),
        }; }

private:
    std::optional<std::string> templateURL_;
    bool executable_ = false;
    std::optional<std::string> fileName_;
    std::optional<std::string> extension_;
};
