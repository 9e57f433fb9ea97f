// The run behaviours of the action kinds that the runner carries out.
#pragma once

#include "model/OVAction.h"
#include "platform/Log.h"

#include <memory>
#include <string>
#include <vector>

class OVAppleScriptAction;
class OVCompressPasswordAction;
class OVConvertImageAction;
class OVMoveToAction;
class OVNewFileAction;
class OVOpenFavesAction;
class OVOpenWithAppAction;
class OVResetAppPreferencesAction;
class OVSecureRemoveAction;
class OVSendViaEmailAction;
class OVShellScriptAction;

// The behaviour of one kind. The cast to the kind is made here once; an action of another kind
// still finishes its run, with failure.
template <typename Kind>
class OVKindRunBehaviour : public OVRunBehaviour {
public:
    using ActionKind = Kind;

    void beforeRun(OVAction& action, const OVPaths& paths, OVBeforeRunCompletion completion) final
    {
        if (auto* kind = dynamic_cast<Kind*>(&action))
            beforeRunKind(*kind, paths, std::move(completion));
        else if (completion)
            completion(false); // the run then reports the failure
    }

    void run(OVAction& action, const OVPaths& paths, OVRunCompletion completion) final
    {
        if (auto* kind = dynamic_cast<Kind*>(&action)) {
            runKind(*kind, paths, std::move(completion));
            return;
        }
        ov::ovLog("Subclasses should override this");
        OVAction::finishWithoutRunBehaviour(action, completion, "cannot be run by this program");
    }

protected:
    virtual void beforeRunKind(Kind&, const OVPaths&, OVBeforeRunCompletion completion) { completion(false); }
    virtual void runKind(Kind& action, const OVPaths& paths, OVRunCompletion completion) = 0;
};

// Installs the behaviour of every kind this program knows, keyed by the kind the behaviour was
// written for; kinds whose work this runner cannot do yet finish with failure.
void OVRegisterRunBehaviours();

std::shared_ptr<OVKindRunBehaviour<OVMoveToAction>> OVMakeMoveToRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVNewFileAction>> OVMakeNewFileRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVShellScriptAction>> OVMakeShellScriptRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVAppleScriptAction>> OVMakeAppleScriptRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVOpenWithAppAction>> OVMakeOpenWithAppRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVSendViaEmailAction>> OVMakeSendViaEmailRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVOpenFavesAction>> OVMakeOpenFavesRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVCompressPasswordAction>> OVMakeCompressPasswordRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVConvertImageAction>> OVMakeConvertImageRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVSecureRemoveAction>> OVMakeSecureRemoveRunBehaviour();
std::shared_ptr<OVKindRunBehaviour<OVResetAppPreferencesAction>> OVMakeResetAppPreferencesRunBehaviour();

// The informative text of the secure-delete confirmation: the first ten paths, one line each
// with control characters escaped, how many more there are, and what to type.
std::string OVSecureRemoveConfirmationText(const OVPaths& paths);

// The application id (desktop-file id) of a selected .desktop file, or none.
std::optional<std::string> OVBundleIDForPath(const std::string& path);

// The command that opens a new message with the files attached in the given mail application
// (its desktop file or id; empty for the desktop's default).
std::vector<std::string> OVMailComposeCommand(const std::string& mailApplication, const OVPaths& paths);

// Shared by the behaviours.
namespace ovrun {

inline constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* kOrvaneErrorDomain = "app.orvane.Orvane";

// Calls a run completion at most once, on the main context.
class OnceCompletion {
public:
    explicit OnceCompletion(OVRunCompletion completion) : completion_(std::move(completion)) {}
    void operator()(bool success, std::optional<OVError> error);

private:
    OVRunCompletion completion_;
};

// The action kept alive for the length of a run (none when it is not shared-owned).
inline OVActionPtr retainAction(OVAction& action) { return action.weak_from_this().lock(); }

} // namespace ovrun
