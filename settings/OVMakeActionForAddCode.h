// SPDX-License-Identifier: GPL-3.0-or-later
// The add menu's kind codes and the new action each one makes.
#pragma once

#include "model/OVAction.h"

// Kind codes of the add menu (the targets of its items in OVEditorModule.ui).
enum OVAddCode : int {
    kAddApplication = 0,
    kAddMove = 1,
    kAddCopy = 2,
    kAddAppleScript = 3,
    kAddShellScript = 4,
    kAddOpenWith = 6,
    kAddResetPreferences = 7,
    kAddCopyPaths = 8,
    kAddTerminalTab = 9,
    kAddTerminalWindow = 10,
    kAddEditWithVim = 11,
    kAddShowHiddenFiles = 12,
    kAddHideHiddenFiles = 13,
};

// A new action of the code's kind, not yet enabled nor in the store; none (and a log line) for a
// code without a case, and none when a built-in script is missing.
OVActionPtr OVMakeActionForAddCode(int code);
