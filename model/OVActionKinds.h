// SPDX-License-Identifier: GPL-3.0-or-later
// Every action kind this program knows, listed once: as a type list for what is checked when
// building (the runner's behaviours) and as a runtime list (reading archives, the settings app).
#pragma once

#include "model/OVAction.h"
#include "model/OVActionGroup.h"
#include "model/OVAppleScriptAction.h"
#include "model/OVBundledScriptAction.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVConvertImageActionGroup.h"
#include "model/OVCopyActionGroup.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVNewFileActionGroup.h"
#include "model/OVOpenFavesAction.h"
#include "model/OVOpenFavesActionGroup.h"
#include "model/OVOpenWithActionGroup.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVShellScriptAction.h"

#include <concepts>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

template <class... Kinds>
struct OVTypeList {
    static constexpr std::size_t size = sizeof...(Kinds);
};

using OVActionKindTypes =
    OVTypeList<OVAction, OVActionGroup, OVOpenWithActionGroup, OVCopyActionGroup, OVMoveActionGroup,
               OVNewFileActionGroup, OVOpenFavesActionGroup, OVConvertImageActionGroup, OVMoveToAction,
               OVCopyToAction, OVOpenFavesAction, OVNewFileAction, OVConvertImageAction, OVAppleScriptAction,
               OVSecureRemoveAction, OVResetAppPreferencesAction, OVCompressPasswordAction, OVOpenWithAppAction,
               OVSendViaEmailAction, OVShellScriptAction, OVBundledScriptAction>;

template <class Kind>
inline constexpr bool kIsGroupKind = std::derived_from<Kind, OVActionGroup>;
// A kind with work of its own: neither the bare record nor a group.
template <class Kind>
inline constexpr bool kIsRunnableKind = !std::is_same_v<Kind, OVAction> && !kIsGroupKind<Kind>;

struct OVActionKindEntry {
    const char* className;
    const std::type_info* type;
    bool isGroup;
    bool isRunnable;
    OVActionPtr (*makeEmpty)(); // zero-filled, to be read into
    OVActionPtr (*make)();      // with the kind's first values
};

namespace OVActionKinds {

// In the order of OVActionKindTypes.
const std::vector<OVActionKindEntry>& all();
const OVActionKindEntry* named(std::string_view className);
// The position in OVActionKindTypes of the action's own kind; none for a kind outside the table.
std::optional<std::size_t> indexOf(const OVAction& action);
// A new action of the named kind with its first values; none for a name outside the table.
OVActionPtr make(std::string_view className);

} // namespace OVActionKinds
