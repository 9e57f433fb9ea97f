#include "model/OVResetAppPreferencesAction.h"

#include "model/OVTypes.h"

std::optional<std::string> OVResetAppPreferencesAction::editorClassName() const { return std::string("OVResetAppModule"); }

void OVResetAppPreferencesAction::init()
{
    OVAction::init();
    setTitle("Reset App Preferences");
    setIcon(OVImage::named("icon-reset-app"));
    setIsDefault(true);
    setFileTypes(OVStringList{kUTTypeApplication});
}
