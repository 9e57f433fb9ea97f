// SPDX-License-Identifier: GPL-3.0-or-later
// An action of a kind this version does not know (a store written by a newer one). It keeps the
// archived object as it was read and writes it back unchanged; it is never offered or run, and
// the user can only remove it.
#pragma once

#include "archive/OVOpaqueValue.h"
#include "model/OVAction.h"
#include "platform/Translation.h"

class OVUnknownAction final : public OVAction {
public:
    static constexpr const char* kDisplayTitle = N_("Unknown action (from a newer Orvane)");

    // Whether an archived class with this chain is an action at all: anything else in a list of
    // actions is corruption, not a newer kind.
    static bool isActionClassChain(const std::vector<std::string>& classChain);
    static OVActionPtr withClass(const std::string& className, const std::vector<std::string>& classChain);

    const char* className() const override { return class_->name.c_str(); }
    std::vector<std::string> classHierarchy() const override { return class_->chain; }
    bool classChainAsRead() const override { return true; }
    bool isUnknown() const override { return true; }
    std::optional<std::string> defaultTitle() const override { return std::nullopt; }
    std::optional<std::string> editorClassName() const override { return std::nullopt; }

    // The archived object: its members in order, "$class" left out.
    const OVOpaqueValue& record() const { return record_; }

    void encodeWithCoder(OVKeyedArchiver& coder) const override;
    void initWithCoder(OVKeyedUnarchiver& coder) override;

protected:
    OVActionPtr newEmptyInstance() const override;
    void copyFieldsTo(OVAction& other) const override;

private:
    explicit OVUnknownAction(std::shared_ptr<const OVOpaqueClass> cls) : class_(std::move(cls)) {}
    std::shared_ptr<const OVOpaqueClass> class_;
    OVOpaqueValue record_;
};
