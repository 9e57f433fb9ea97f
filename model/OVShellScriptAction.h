// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"
#include "platform/Translation.h"

class OVShellScriptAction : public OVActionKind<OVShellScriptAction> {
public:
    static constexpr const char* kClassName = "OVShellScriptAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVShellScriptModule", .defaultTitle = N_("Run Script"), .iconName = "icon-shell"};
    static void setInitialValues(OVShellScriptAction& action) { action.isEditable_ = true; }

    const std::optional<std::string>& scriptURL() const { return scriptURL_; } // a file path
    void setScriptURL(std::optional<std::string> v) { scriptURL_ = std::move(v); }
    // The file the runner starts.
    virtual std::optional<std::string> scriptToRun() const { return scriptURL_; }
    bool isEditable() const { return isEditable_; }
    void setIsEditable(bool v) { isEditable_ = v; }

    static constexpr auto archivedFields() { return std::tuple{
            ovfield::url("scriptURL", &OVShellScriptAction::scriptURL_),
            ovfield::boolean("isEditable", &OVShellScriptAction::isEditable_),
        }; }

private:
    std::optional<std::string> scriptURL_;
    bool isEditable_ = false;
};
