// SPDX-License-Identifier: GPL-3.0-or-later
// Icons of the desktop's icon theme for the images the application ships. Stored actions keep
// the bundled name they were written with ("icon-move", a built-in script's name); whatever
// shows or exports an action's icon asks here for the theme's name first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct OVThemeIcons {
    // The theme's name for a bundled image's name (also one a built-in script had in an older
    // version); empty for any other name.
    static std::string themeName(std::string_view bundledName);
    // A serialized icon as other programs should name it: a bundled name becomes the theme's
    // name, anything else is returned as it is.
    static std::string exportedName(const std::string& serialized);
    // The names to look an icon up by, best first: the theme's name, then the bundled image as
    // the fallback where the theme has nothing. Empty for icons that are not bundled names.
    static std::vector<std::string> lookupNames(const std::string& serialized);
};
