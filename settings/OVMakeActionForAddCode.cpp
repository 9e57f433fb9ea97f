// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVMakeActionForAddCode.h"

#include "model/OVActionKinds.h"
#include "model/OVTypes.h"
#include "platform/Log.h"

namespace {

// What each code of the add menu makes: a new action of a kind of the model's table, or one of
// the built-in scripts.
struct AddMenuEntry {
    OVAddCode code;
    const char* kind;          // a class name of the kind table, or none for a script
    const char* bundledScript; // the built-in script's name
    bool folderOnly;           // the script is offered for folders only
};

constexpr AddMenuEntry kAddMenu[] = {
    {kAddMove, OVMoveActionGroup::kClassName, nullptr, false},
    {kAddCopy, OVCopyActionGroup::kClassName, nullptr, false},
    {kAddShellScript, OVShellScriptAction::kClassName, nullptr, false},
    {kAddOpenWith, OVOpenWithActionGroup::kClassName, nullptr, false},
    {kAddResetPreferences, OVResetAppPreferencesAction::kClassName, nullptr, false},
    {kAddCopyPaths, nullptr, "Copy paths to clipboard", false},
    {kAddTerminalTab, nullptr, "New Terminal Tab Here", true},
    {kAddTerminalWindow, nullptr, "New Terminal Window Here", true},
    {kAddEditWithVim, nullptr, "Edit with Vim", false},
    {kAddShowHiddenFiles, nullptr, "Show hidden files", false},
    {kAddHideHiddenFiles, nullptr, "Hide hidden files", false},
};

OVActionPtr makeEntry(const AddMenuEntry& entry)
{
    if (entry.kind)
        return OVActionKinds::make(entry.kind);
    auto action = OVBundledScriptAction::actionWithBundledFileName(entry.bundledScript);
    if (action && entry.folderOnly)
        action->setFileTypes(OVStringList{kUTTypeFolder});
    return action;
}

} // namespace

OVActionPtr OVMakeActionForAddCode(int code)
{
    for (const auto& entry : kAddMenu)
        if (entry.code == code)
            return makeEntry(entry);
    ov::ovLog("Not handled: %ld", long(code));
    return nullptr;
}
