// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"
#include "model/OVTypes.h"

class OVConvertImageAction : public OVActionKind<OVConvertImageAction> {
public:
    static constexpr const char* kClassName = "OVConvertImageAction";
    static constexpr OVKindTraits kKind{.iconName = "icon-image", .fileType = kUTTypeImage};

    const std::optional<std::string>& outputFormat() const { return outputFormat_; }
    void setOutputFormat(std::optional<std::string> v) { outputFormat_ = std::move(v); }
    const std::optional<std::string>& outputExtension() const { return outputExtension_; }
    void setOutputExtension(std::optional<std::string> v) { outputExtension_ = std::move(v); }

    static constexpr auto archivedFields() { return std::tuple{
            ovfield::string("outputFormat", &OVConvertImageAction::outputFormat_),
            ovfield::string("outputExtension", &OVConvertImageAction::outputExtension_),
        }; }

private:
    std::optional<std::string> outputFormat_;
    std::optional<std::string> outputExtension_;
};
