#include "model/OVScratchAction.h"
#include "runner/OVRunBehaviours.h"

namespace {

class ScratchRunBehaviour : public OVKindRunBehaviour<OVScratchAction> {
protected:
    void runKind(OVScratchAction&, const OVPaths&, OVRunCompletion completion) override { completion(true, std::nullopt); }
};

} // namespace

std::shared_ptr<OVKindRunBehaviour<OVScratchAction>> OVMakeScratchRunBehaviour() { return std::make_shared<ScratchRunBehaviour>(); }
