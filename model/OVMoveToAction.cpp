#include "model/OVMoveToAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVTypes.h"

std::optional<std::string> OVMoveToAction::editorClassName() const { return std::string("OVMoveToActionModule"); }

void OVMoveToAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("destinationURL", destinationURL_);
}

void OVMoveToAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    destinationURL_ = coder.decodeURL("destinationURL");
}

void OVMoveToAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    static_cast<OVMoveToAction&>(other).destinationURL_ = destinationURL_;
}
