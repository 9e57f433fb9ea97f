// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"

class OVOpenWithAppAction : public OVActionKind<OVOpenWithAppAction> {
public:
    static constexpr const char* kClassName = "OVOpenWithAppAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVOpenWithAppModule", .targetField = "applicationURL"};

    const std::optional<std::string>& applicationURL() const { return applicationURL_; } // a file path
    void setApplicationURL(std::optional<std::string> v) { applicationURL_ = std::move(v); }

    static constexpr auto archivedFields() { return std::tuple{ovfield::url("applicationURL", &OVOpenWithAppAction::applicationURL_)}; }

private:
    std::optional<std::string> applicationURL_;
};
