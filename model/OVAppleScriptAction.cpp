#include "model/OVAppleScriptAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVTypes.h"

std::optional<std::string> OVAppleScriptAction::editorClassName() const { return std::string("OVAppleScriptModule"); }

void OVAppleScriptAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("scriptURL", scriptURL_);
}

void OVAppleScriptAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    scriptURL_ = coder.decodeURL("scriptURL");
}

void OVAppleScriptAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    static_cast<OVAppleScriptAction&>(other).scriptURL_ = scriptURL_;
}
