#include "model/OVSendViaEmailAction.h"

#include "model/OVTypes.h"

std::optional<std::string> OVSendViaEmailAction::editorClassName() const { return std::string("OVResetAppModule"); }

void OVSendViaEmailAction::init()
{
    OVOpenWithAppAction::init();
    setTitle("Send via Email");
    setIcon(OVImage::named("icon-send-mail"));
    setActionDescription("Opens the default mail handler with the selected files");
    setIsDefault(true);
}
