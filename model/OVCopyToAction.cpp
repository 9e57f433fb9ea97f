#include "model/OVCopyToAction.h"

#include "model/OVKeyedArchiver.h"
#include "model/OVKeyedUnarchiver.h"
#include "model/OVTypes.h"

std::optional<std::string> OVCopyToAction::editorClassName() const { return std::string("OVMoveToActionModule"); }

void OVCopyToAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("destinationURL", destinationURL_);
}

void OVCopyToAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    destinationURL_ = coder.decodeURL("destinationURL");
}

void OVCopyToAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    static_cast<OVCopyToAction&>(other).destinationURL_ = destinationURL_;
}
