#include "model/OVNewFileAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"

std::optional<std::string> OVNewFileAction::editorClassName() const { return std::string("OVMoveToActionModule"); }

void OVNewFileAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("templateURL", templateURL_);
    coder.encodeBool("executable", executable_);
    coder.encodeString("fileName", fileName_);
    coder.encodeString("extension", extension_);
}

void OVNewFileAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    templateURL_ = coder.decodeURL("templateURL");
    executable_ = coder.decodeBool("executable");
    fileName_ = coder.decodeString("fileName");
    extension_ = coder.decodeString("extension");
}

void OVNewFileAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    auto& o = static_cast<OVNewFileAction&>(other);
    o.templateURL_ = templateURL_;
    o.executable_ = executable_;
    o.fileName_ = fileName_;
    o.extension_ = extension_;
}
