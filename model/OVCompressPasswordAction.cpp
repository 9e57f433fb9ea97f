#include "model/OVCompressPasswordAction.h"

#include "model/OVTypes.h"

std::optional<std::string> OVCompressPasswordAction::editorClassName() const { return std::string("OVResetAppModule"); }

void OVCompressPasswordAction::init()
{
    OVAction::init();
    setTitle("Compress with password");
    setIcon(OVImage::named("icon-compress"));
    setActionDescription("Create a protected zip file with the selected paths");
    setIsDefault(true);
}
