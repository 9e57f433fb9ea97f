#include "settings/OVMakeActionForAddCode.h"

#include "model/OVBundledScriptAction.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVTypes.h"
#include "platform/Log.h"

OVActionPtr OVMakeActionForAddCode(int code)
{
    OVActionPtr added;
    const auto bundled = [](const char* name, bool folderOnly) -> OVActionPtr {
        auto action = OVBundledScriptAction::actionWithBundledFileName(name);
        if (action && folderOnly)
            action->setFileTypes(OVStringList{kUTTypeFolder});
        return action;
    };
    switch (code) {
    case kAddMove: added = OVAction::action<OVMoveActionGroup>(); break;
    case kAddCopy: added = OVAction::action<OVCopyActionGroup>(); break;
    case kAddShellScript: added = OVAction::action<OVShellScriptAction>(); break;
    case kAddOpenWith: added = OVAction::action<OVOpenWithActionGroup>(); break;
    case kAddResetPreferences: added = OVAction::action<OVResetAppPreferencesAction>(); break;
    case kAddCopyPaths: added = bundled("Copy paths to clipboard", false); break;
    case kAddTerminalTab: added = bundled("New Terminal Tab Here", true); break;
    case kAddTerminalWindow: added = bundled("New Terminal Window Here", true); break;
    case kAddEditWithVim: added = bundled("Edit with Vim", false); break;
    case kAddShowHiddenFiles: added = bundled("Show hidden files in Finder", false); break;
    case kAddHideHiddenFiles: added = bundled("Hide hidden files in Finder", false); break;
    default: ov::ovLog("Not handled: %ld", long(code)); break;
    }
    return added;
}
