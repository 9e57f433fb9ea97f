// SPDX-License-Identifier: GPL-3.0-or-later
// An action that holds an ordered list of child actions and shows as a submenu.
#pragma once

#include "model/OVAction.h"

// Children are archived as a list of actions and compared child by child; a copy holds the
// same children in a list of its own.
struct OVActionListArchive {
    static void encode(OVKeyedArchiver& coder, const char* key, const OVActionList& actions);
    static OVActionList decode(OVKeyedUnarchiver& coder, const char* key);
    static bool equal(const OVActionList& a, const OVActionList& b);
};

class OVActionGroup : public OVActionKind<OVActionGroup> {
public:
    static constexpr const char* kClassName = "OVActionGroup";
    static constexpr OVKindTraits kKind{};

    OVActionList actions() const { return workingActionsArray_; }
    void addAction(const OVActionPtr& action);
    void removeAction(const OVActionPtr& action);
    void updateActions(const OVActionList& actions) { workingActionsArray_ = actions; }

    bool isGroup() const override { return true; }
    std::optional<std::string> editorClassName() const override;

    static constexpr auto archivedFields()
    {
        return std::tuple{ovfield::field<OVActionListArchive>("actions", &OVActionGroup::workingActionsArray_)};
    }

private:
    OVActionList workingActionsArray_;
};
