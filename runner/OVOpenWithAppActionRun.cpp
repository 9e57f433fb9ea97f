// SPDX-License-Identifier: GPL-3.0-or-later
// "Open With": hands the selection to the chosen application.
#include "runner/OVRunBehaviours.h"

#include "model/OVOpenWithAppAction.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

#include <cerrno>

namespace {

class OpenWithAppRunBehaviour : public OVKindRunBehaviour<OVOpenWithAppAction> {
public:
    void runKind(OVOpenWithAppAction& openWith, const OVPaths& paths, OVRunCompletion completion) override
    {
        ovrun::OnceCompletion done(std::move(completion));
        const auto& application = openWith.applicationURL();
        if (!application || application->empty()) {
            done(false, OVError{ovrun::kOrvaneErrorDomain, ENOENT, "This action has no application to open with"});
            return;
        }
        std::string error;
        if (ov::launchApplication(*application, paths, &error))
            done(true, std::nullopt);
        else
            done(false, OVError{ovrun::kOrvaneErrorDomain, ENOEXEC, error});
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVOpenWithAppAction>> OVMakeOpenWithAppRunBehaviour() { return std::make_shared<OpenWithAppRunBehaviour>(); }
