// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/OVAppDefaults.h"

std::shared_ptr<OVAppDefaults> OVAppDefaults::standardUserDefaults()
{
    // No suite name: the application's own domain, whose keys carry no prefix. The file is
    // looked up on every read, so one object serves the whole process.
    static const std::shared_ptr<OVAppDefaults> shared = [] {
        std::shared_ptr<OVAppDefaults> defaults(new OVAppDefaults());
        defaults->setUp({"SuppressQuitAlert"});
        return defaults;
    }();
    return shared;
}
