// SPDX-License-Identifier: GPL-3.0-or-later
// "Open new window": shows the action's folder in the file manager; the selection is not used.
#include "runner/OVRunBehaviours.h"

#include "model/OVOpenFavesAction.h"
#include "platform/Log.h"
#include "platform/Workspace.h"

#include <cerrno>

namespace {

class OpenFavesRunBehaviour : public OVKindRunBehaviour<OVOpenFavesAction> {
public:
    void runKind(OVOpenFavesAction& faves, const OVPaths&, OVRunCompletion completion) override
    {
        ovrun::OnceCompletion done(std::move(completion));
        const auto& folder = faves.destinationURL();
        if (!folder || folder->empty()) {
            done(false, OVError{ovrun::kOrvaneErrorDomain, ENOENT, "This action has no folder to open"});
            return;
        }
        ov::showFolder(*folder);
        done(true, std::nullopt);
    }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVOpenFavesAction>> OVMakeOpenFavesRunBehaviour() { return std::make_shared<OpenFavesRunBehaviour>(); }
