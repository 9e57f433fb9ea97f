// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HLModuleViewController.h"

#include "ui/HLNavigationController.h"

void HLModuleViewController::setModuleIsVisible(bool visible)
{
    moduleIsVisible_ = visible;
    if (auto nav = navigationController())
        nav->setIsVisible(visible);
}
