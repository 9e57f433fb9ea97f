// "Open With": hands the selection to the chosen application.
#include "runner/OVRunBehaviours.h"

#include "model/OVOpenWithAppAction.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

#include <cerrno>

namespace {

class OpenWithAppRunBehaviour : public OVRunBehaviour {
public:
    void run(OVAction& action, const OVPaths& paths, OVRunCompletion completion) override
    {
        auto* openWith = dynamic_cast<OVOpenWithAppAction*>(&action);
        if (!openWith) {
            ov::ovLog("Subclasses should override this");
            return;
        }
        ovrun::OnceCompletion done(std::move(completion));
        const auto& application = openWith->applicationURL();
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

std::shared_ptr<OVRunBehaviour> OVMakeOpenWithAppRunBehaviour() { return std::make_shared<OpenWithAppRunBehaviour>(); }
