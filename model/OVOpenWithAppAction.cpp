#include "model/OVOpenWithAppAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVTypes.h"

std::optional<std::string> OVOpenWithAppAction::editorClassName() const { return std::string("OVOpenWithAppModule"); }

void OVOpenWithAppAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("applicationURL", applicationURL_);
}

void OVOpenWithAppAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    applicationURL_ = coder.decodeURL("applicationURL");
}

void OVOpenWithAppAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    static_cast<OVOpenWithAppAction&>(other).applicationURL_ = applicationURL_;
}
