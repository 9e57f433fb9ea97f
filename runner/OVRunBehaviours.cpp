// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVRunBehaviours.h"

#include "model/OVActionKinds.h"
#include "platform/MainContext.h"

void OVRunBehaviour::beforeRun(OVAction&, const OVPaths&, OVBeforeRunCompletion completion)
{
    completion(false);
}

// Each made in the file of its behaviour.
std::shared_ptr<OVKindRunBehaviour<OVMoveToAction>> OVMakeMoveToRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVCopyToAction>> OVMakeCopyToRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVNewFileAction>> OVMakeNewFileRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVShellScriptAction>> OVMakeShellScriptRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVAppleScriptAction>> OVMakeAppleScriptRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVOpenWithAppAction>> OVMakeOpenWithAppRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVSendViaEmailAction>> OVMakeSendViaEmailRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVOpenFavesAction>> OVMakeOpenFavesRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVConvertImageAction>> OVMakeConvertImageRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVSecureRemoveAction>> OVMakeSecureRemoveRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVResetAppPreferencesAction>> OVMakeResetAppPreferencesRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVCompressPasswordAction>> OVMakeCompressPasswordRunBehaviour();

namespace {

using Maker = std::shared_ptr<OVRunBehaviour> (*)();

template <class Kind, auto maker>
struct RunsWith {
    using ActionKind = Kind;
    static std::shared_ptr<OVRunBehaviour> make() { return maker(); }
};

// The behaviour each kind of the model runs with. A runnable kind missing here fails the build.
using RunTable = OVTypeList<RunsWith<OVMoveToAction, OVMakeMoveToRunBehaviour>,
                            RunsWith<OVCopyToAction, OVMakeCopyToRunBehaviour>,
                            RunsWith<OVNewFileAction, OVMakeNewFileRunBehaviour>,
                            RunsWith<OVShellScriptAction, OVMakeShellScriptRunBehaviour>,
                            // a shell script that ships with the app
                            RunsWith<OVBundledScriptAction, OVMakeShellScriptRunBehaviour>,
                            RunsWith<OVAppleScriptAction, OVMakeAppleScriptRunBehaviour>,
                            RunsWith<OVOpenWithAppAction, OVMakeOpenWithAppRunBehaviour>,
                            RunsWith<OVSendViaEmailAction, OVMakeSendViaEmailRunBehaviour>,
                            RunsWith<OVOpenFavesAction, OVMakeOpenFavesRunBehaviour>,
                            RunsWith<OVConvertImageAction, OVMakeConvertImageRunBehaviour>,
                            RunsWith<OVSecureRemoveAction, OVMakeSecureRemoveRunBehaviour>,
                            RunsWith<OVResetAppPreferencesAction, OVMakeResetAppPreferencesRunBehaviour>,
                            RunsWith<OVCompressPasswordAction, OVMakeCompressPasswordRunBehaviour>>;

template <class Kind, class... Entries>
constexpr Maker makerIn(OVTypeList<Entries...>)
{
    Maker found = nullptr;
    ((std::is_same_v<Kind, typename Entries::ActionKind> ? void(found = &Entries::make) : void()), ...);
    return found;
}

template <class Kind>
inline constexpr Maker kRunsWith = makerIn<Kind>(RunTable{});

// Decided by the types alone: comparing function addresses is not a constant expression under
// every compiler configuration.
template <class Kind, class... Entries>
constexpr bool listedIn(OVTypeList<Entries...>)
{
    return (std::is_same_v<Kind, typename Entries::ActionKind> || ...);
}

template <class... Kinds>
constexpr bool everyRunnableKindHasABehaviour(OVTypeList<Kinds...>)
{
    return ((!kIsRunnableKind<Kinds> || listedIn<Kinds>(RunTable{})) && ...);
}
static_assert(everyRunnableKindHasABehaviour(OVActionKindTypes{}), "a runnable kind has no run behaviour");

template <class Kind>
std::shared_ptr<OVRunBehaviour> behaviourOf()
{
    if constexpr (kIsRunnableKind<Kind>)
        return kRunsWith<Kind>();
    else
        return nullptr;
}

// Indexed like OVActionKindTypes; made once, on the main context.
template <class... Kinds>
std::vector<std::shared_ptr<OVRunBehaviour>> tableOf(OVTypeList<Kinds...>)
{
    return {behaviourOf<Kinds>()...};
}

OVRunBehaviour* lookUp(const OVAction& action, const OVRunBehaviourLookup& lookup)
{
    if (lookup)
        if (OVRunBehaviour* chosen = lookup(action))
            return chosen;
    return OVRunBehaviourFor(action);
}

} // namespace

OVRunBehaviour* OVRunBehaviourFor(const OVAction& action)
{
    static const std::vector<std::shared_ptr<OVRunBehaviour>> table = tableOf(OVActionKindTypes{});
    if (action.isUnknown())
        return nullptr;
    const auto index = OVActionKinds::indexOf(action);
    return index ? table[*index].get() : nullptr;
}

void OVBeforeRunAction(OVAction& action, const OVPaths& paths, OVBeforeRunCompletion completion,
                       const OVRunBehaviourLookup& lookup)
{
    // A kind this version does not know never reaches a behaviour, whatever its chain names.
    if (!action.isUnknown() && !action.isGroup())
        if (OVRunBehaviour* behaviour = lookUp(action, lookup); behaviour && behaviour->hasBeforeRun()) {
            behaviour->beforeRun(action, paths, std::move(completion));
            return;
        }
    if (completion)
        completion(false);
}

void OVRunAction(OVAction& action, const OVPaths& paths, OVRunCompletion completion, const OVRunBehaviourLookup& lookup)
{
    if (action.isUnknown()) {
        OVFinishWithoutRunning(action, completion, "is of a kind this version of Orvane does not know");
        return;
    }
    if (action.isGroup()) {
        ov::ovLog("Group actions can't be run");
        OVFinishWithoutRunning(action, completion, "is a group and cannot be run");
        return;
    }
    if (OVRunBehaviour* behaviour = lookUp(action, lookup)) {
        behaviour->run(action, paths, std::move(completion));
        return;
    }
    ov::ovLog("Subclasses should override this");
    OVFinishWithoutRunning(action, completion, "cannot be run by this program");
}

void OVFinishWithoutRunning(const OVAction& action, const OVRunCompletion& completion, const char* reason)
{
    if (!completion)
        return;
    const std::string title = action.title().value_or(action.className());
    completion(false, OVError{ovrun::kOrvaneErrorDomain, 1,
                              ov::stringPrintf("\"%s\" (%s) %s.", title.c_str(), action.className(), reason)});
}

namespace ovrun {

void OnceCompletion::operator()(bool success, std::optional<OVError> error)
{
    OVRunCompletion completion = std::move(completion_);
    completion_ = nullptr;
    if (!completion)
        return;
    ov::invokeOnMain([completion = std::move(completion), success, error = std::move(error)] { completion(success, error); });
}

} // namespace ovrun
