// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"

class OVCopyToAction : public OVActionKind<OVCopyToAction> {
public:
    static constexpr const char* kClassName = "OVCopyToAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVMoveToActionModule", .targetField = "destinationURL"};

    const std::optional<std::string>& destinationURL() const { return destinationURL_; } // a file path
    void setDestinationURL(std::optional<std::string> v) { destinationURL_ = std::move(v); }

    static constexpr auto archivedFields() { return std::tuple{ovfield::url("destinationURL", &OVCopyToAction::destinationURL_)}; }

private:
    std::optional<std::string> destinationURL_;
};
