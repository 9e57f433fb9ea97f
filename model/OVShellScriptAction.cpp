#include "model/OVShellScriptAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"

std::optional<std::string> OVShellScriptAction::editorClassName() const { return std::string("OVShellScriptModule"); }

void OVShellScriptAction::init()
{
    OVAction::init();
    setIcon(OVImage::named("icon-shell"));
    isEditable_ = true;
}

void OVShellScriptAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    OVAction::encodeWithCoder(coder);
    coder.encodeURL("scriptURL", scriptURL_);
    coder.encodeBool("isEditable", isEditable_);
}

void OVShellScriptAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    OVAction::initWithCoder(coder);
    scriptURL_ = coder.decodeURL("scriptURL");
    isEditable_ = coder.decodeBool("isEditable");
}

void OVShellScriptAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    auto& o = static_cast<OVShellScriptAction&>(other);
    o.scriptURL_ = scriptURL_;
    o.isEditable_ = isEditable_;
}
