#include "model/OVConvertImageAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "model/OVTypes.h"

void OVConvertImageAction::init()
{
    OVAction::init();
    setIcon(OVImage::named("icon-image"));
    setFileTypes(OVStringList{kUTTypeImage});
}

void OVConvertImageAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeString("outputFormat", outputFormat_);
    coder.encodeString("outputExtension", outputExtension_);
}

void OVConvertImageAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    outputFormat_ = coder.decodeString("outputFormat");
    outputExtension_ = coder.decodeString("outputExtension");
}

void OVConvertImageAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    auto& o = static_cast<OVConvertImageAction&>(other);
    o.outputFormat_ = outputFormat_;
    o.outputExtension_ = outputExtension_;
}
