// SPDX-License-Identifier: GPL-3.0-or-later
// The kind editors by class name: the action editor shows the one an action's editorClassName
// names. The built-in editors are known from the start; a factory registered under a class name
// takes its place until it is unregistered. A name without either gets the empty editor.
#pragma once

#include "model/OVAction.h"
#include "ui/HLModuleViewController.h"

#include <functional>
#include <memory>
#include <string>

class OVActionsManager;

class OVEditorRegistry {
public:
    using Factory = std::function<std::shared_ptr<HLModuleViewController>(const OVActionPtr& action)>;

    static void registerEditor(const std::string& className, Factory factory);
    static void unregisterEditor(const std::string& className);
    static bool hasEditor(const std::string& className);

    // A new editor for the action (controllerWithAction) saving through store (the shared store
    // when none), or a new OVEmptyModule when its editorClassName names no editor.
    static std::shared_ptr<HLModuleViewController> viewControllerForAction(const OVActionPtr& action,
                                                                         std::shared_ptr<OVActionsManager> store = nullptr);
};
