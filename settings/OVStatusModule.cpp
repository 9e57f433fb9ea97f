#include "settings/OVStatusModule.h"

OVStatusModule::OVStatusModule()
{
    setModuleTitle("Orvane");
    setModuleImage(OVImage::named("icon-orvane"));
    setModuleIsResizable(false);
    setViewMinSize({480, 400});
}
