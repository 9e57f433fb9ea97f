// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/OVAction.h"
#include "platform/Translation.h"

class OVCompressPasswordAction : public OVActionKind<OVCompressPasswordAction> {
public:
    static constexpr const char* kClassName = "OVCompressPasswordAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVCompressPasswordModule",
                                      .title = N_("Compress with password"),
                                      .iconName = "icon-compress",
                                      .description = N_("Create a protected zip file with the selected paths"),
                                      .isDefault = true};

    // WinZip AES-256 rather than traditional encryption, as set in the editor; where the prompt
    // starts unless a choice made there since is remembered (OVUserDefaults).
    bool strongEncryption() const { return strongEncryption_; }
    void setStrongEncryption(bool v) { strongEncryption_ = v; }

    static constexpr auto archivedFields()
    {
        return std::tuple{ovfield::flagWhenSet("strongEncryption", &OVCompressPasswordAction::strongEncryption_)};
    }

    // Set by the password prompt on the copy the runner runs; never archived.
    const std::optional<std::string>& password() const { return password_; }
    void setPassword(std::optional<std::string> password) { password_ = std::move(password); }

private:
    bool strongEncryption_ = false;
    std::optional<std::string> password_;
};
