// SPDX-License-Identifier: GPL-3.0-or-later
// A shell-script action whose script ships with the application ("Default Scripts").
#pragma once

#include "model/OVShellScriptAction.h"

class OVBundledScriptAction : public OVActionKind<OVBundledScriptAction, OVShellScriptAction> {
public:
    static constexpr const char* kClassName = "OVBundledScriptAction";
    static constexpr OVKindTraits kKind{.editorClassName = "OVResetAppModule", .isDefault = true};
    static void setInitialValues(OVBundledScriptAction& action) { action.setIsEditable(false); }

    // Reads the resources folder (platform resourcesPath()); none when the script is missing.
    static std::shared_ptr<OVBundledScriptAction> actionWithBundledFileName(const std::string& name);

    // The name a built-in script (and its image) has now, for one it had in an older version;
    // any other name is returned as it is.
    static std::string currentBundledName(const std::string& name);
    // The stored script, or where a store written before its script was renamed points at the
    // old file, the script under its current name in the resources folder.
    std::optional<std::string> scriptToRun() const override;
};
