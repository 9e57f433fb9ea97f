#include "runner/OVRunBehaviours.h"

#include "model/OVAppleScriptAction.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveToAction.h"
#include "model/OVNewFileAction.h"
#include "model/OVOpenFavesAction.h"
#include "model/OVOpenWithAppAction.h"
#include "model/OVResetAppPreferencesAction.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVSendViaEmailAction.h"
#include "model/OVShellScriptAction.h"
#include "platform/MainContext.h"

namespace {

// A kind whose work is not part of this runner: its runs end at once with failure.
template <typename Kind>
class UnavailableRunBehaviour : public OVKindRunBehaviour<Kind> {
protected:
    void runKind(Kind& action, const OVPaths&, OVRunCompletion completion) override
    {
        OVAction::finishWithoutRunBehaviour(action, completion, "cannot be run by this version of Orvane");
    }
};

template <typename Kind>
void install(std::shared_ptr<OVKindRunBehaviour<Kind>> behaviour)
{
    OVAction::setRunBehaviour(Kind::kClassName, std::move(behaviour));
}

template <typename... Kinds>
void installUnavailable()
{
    (install<Kinds>(std::make_shared<UnavailableRunBehaviour<Kinds>>()), ...);
}

} // namespace

void OVRegisterRunBehaviours()
{
    install(OVMakeMoveToRunBehaviour());
    install(OVMakeNewFileRunBehaviour());
    install(OVMakeShellScriptRunBehaviour()); // and bundled scripts
    install(OVMakeAppleScriptRunBehaviour());
    install(OVMakeOpenWithAppRunBehaviour());
    install(OVMakeSendViaEmailRunBehaviour());
    install(OVMakeOpenFavesRunBehaviour());
    install(OVMakeConvertImageRunBehaviour());
    install(OVMakeSecureRemoveRunBehaviour());
    install(OVMakeResetAppPreferencesRunBehaviour());
    install(OVMakeCompressPasswordRunBehaviour());
    installUnavailable<OVCopyToAction>();
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
