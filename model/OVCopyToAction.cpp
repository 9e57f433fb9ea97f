#include "model/OVCopyToAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
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
