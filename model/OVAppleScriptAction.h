// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"

class OVAppleScriptAction : public OVActionKind<OVAppleScriptAction> {
public:
    static constexpr const char* kClassName = "OVAppleScriptAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVAppleScriptModule"};

    const std::optional<std::string>& scriptURL() const { return scriptURL_; } // a file path
    void setScriptURL(std::optional<std::string> v) { scriptURL_ = std::move(v); }

    static constexpr auto archivedFields() { return std::tuple{ovfield::url("scriptURL", &OVAppleScriptAction::scriptURL_)}; }

private:
    std::optional<std::string> scriptURL_;
};
