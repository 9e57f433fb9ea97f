#include "model/OVSecureRemoveAction.h"

#include "model/OVTypes.h"

std::optional<std::string> OVSecureRemoveAction::editorClassName() const { return std::string("OVResetAppModule"); }

void OVSecureRemoveAction::init()
{
    OVAction::init();
    setTitle("Secure Delete");
    setIcon(OVImage::named("icon-secure-delete"));
    setActionDescription("Securely and permanently removes the selected files");
    setIsDefault(true);
}
