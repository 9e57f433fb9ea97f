// A shell-script action whose script ships with the application ("Default Scripts").
#pragma once

#include "model/OVShellScriptAction.h"

class OVBundledScriptAction : public OVShellScriptAction {
    OV_ACTION_KIND(OVBundledScriptAction, "OVShellScriptAction", "OVAction", "NSObject")
public:
    // Reads the resources folder (platform resourcesPath()); none when the script is missing.
    static std::shared_ptr<OVBundledScriptAction> actionWithBundledFileName(const std::string& name);
    std::optional<std::string> editorClassName() const override;

protected:
    void init() override;
};
