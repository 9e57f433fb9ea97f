// The run behaviours of the action kinds that the runner carries out.
#pragma once

#include "model/OVAction.h"

#include <memory>
#include <string>
#include <vector>

// Installs every behaviour below for its kind (subkinds without their own inherit it).
void OVRegisterRunBehaviours();

std::shared_ptr<OVRunBehaviour> OVMakeMoveToRunBehaviour();
std::shared_ptr<OVRunBehaviour> OVMakeNewFileRunBehaviour();
std::shared_ptr<OVRunBehaviour> OVMakeShellScriptRunBehaviour();
std::shared_ptr<OVRunBehaviour> OVMakeAppleScriptRunBehaviour();
std::shared_ptr<OVRunBehaviour> OVMakeOpenWithAppRunBehaviour();
std::shared_ptr<OVRunBehaviour> OVMakeSendViaEmailRunBehaviour();
std::shared_ptr<OVRunBehaviour> OVMakeOpenFavesRunBehaviour();

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
