#pragma once

#include "model/OVAction.h"

class OVCompressPasswordAction : public OVAction {
    OV_ACTION_KIND(OVCompressPasswordAction, "OVAction", "NSObject")
public:
    std::optional<std::string> editorClassName() const override;

    // Set by the password prompt on the copy the runner runs; never archived.
    const std::optional<std::string>& password() const { return password_; }
    void setPassword(std::optional<std::string> password) { password_ = std::move(password); }

protected:
    void init() override;

private:
    std::optional<std::string> password_;
};
