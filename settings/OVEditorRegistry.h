// The kind editors by class name: the action editor shows the one an action's editorClassName
// names. Editors register a factory under their class name; a name without one gets the empty
// editor.
#pragma once

#include "model/OVAction.h"
#include "ui/HLModuleViewController.h"

#include <functional>
#include <memory>
#include <string>

class OVEditorRegistry {
public:
    using Factory = std::function<std::shared_ptr<HLModuleViewController>(const OVActionPtr& action)>;

    static void registerEditor(const std::string& className, Factory factory);
    static void unregisterEditor(const std::string& className);
    static bool hasEditor(const std::string& className);

    // A new editor for the action (controllerWithAction), or a new OVEmptyModule when its
    // editorClassName names no registered editor.
    static std::shared_ptr<HLModuleViewController> viewControllerForAction(const OVActionPtr& action);
};
