#include "runner/OVRunBehaviours.h"

#include "platform/MainContext.h"

void OVRegisterRunBehaviours()
{
    OVAction::setRunBehaviour("OVMoveToAction", OVMakeMoveToRunBehaviour());
    OVAction::setRunBehaviour("OVNewFileAction", OVMakeNewFileRunBehaviour());
    OVAction::setRunBehaviour("OVShellScriptAction", OVMakeShellScriptRunBehaviour()); // and bundled scripts
    OVAction::setRunBehaviour("OVAppleScriptAction", OVMakeAppleScriptRunBehaviour());
    OVAction::setRunBehaviour("OVOpenWithAppAction", OVMakeOpenWithAppRunBehaviour());
    OVAction::setRunBehaviour("OVSendViaEmailAction", OVMakeSendViaEmailRunBehaviour());
    OVAction::setRunBehaviour("OVOpenFavesAction", OVMakeOpenFavesRunBehaviour());
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
