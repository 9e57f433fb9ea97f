#include "model/OVOpenFavesAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVTypes.h"

std::optional<std::string> OVOpenFavesAction::editorClassName() const { return std::nullopt; }

void OVOpenFavesAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("destinationURL", destinationURL_);
}

void OVOpenFavesAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    destinationURL_ = coder.decodeURL("destinationURL");
}

void OVOpenFavesAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    static_cast<OVOpenFavesAction&>(other).destinationURL_ = destinationURL_;
}
