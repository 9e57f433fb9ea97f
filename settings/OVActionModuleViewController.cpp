// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVActionModuleViewController.h"

#include "model/OVActionsManager.h"

std::shared_ptr<OVActionsManager> OVActionModuleViewController::store() const
{
    return store_ ? store_ : OVActionsManager::sharedInstance();
}

void OVActionModuleViewController::saveStore()
{
    if (auto s = store())
        s->save();
}
