#pragma once

#include "model/OVActionGroup.h"

OV_GROUP_KIND(OVConvertImageActionGroup)
