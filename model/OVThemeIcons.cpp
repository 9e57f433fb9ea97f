// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVThemeIcons.h"

#include "model/OVBundledScriptAction.h"

#include <algorithm>
#include <iterator>

namespace {

struct ThemeIcon {
    std::string_view bundled;
    std::string_view theme;
};

// Standard freedesktop icon names that Adwaita has; the symbolic forms follow the text colour,
// in light and dark style alike.
constexpr ThemeIcon kThemeIcons[] = {
    {"icon-compress", "package-x-generic-symbolic"},
    {"icon-convert-images", "image-x-generic-symbolic"},
    {"icon-copy", "edit-copy-symbolic"},
    {"icon-image", "image-x-generic-symbolic"},
    {"icon-move", "folder-symbolic"},
    {"icon-new-file", "document-new-symbolic"},
    {"icon-open-faves", "folder-open-symbolic"},
    {"icon-open-with", "application-x-executable-symbolic"},
    {"icon-reset-app", "edit-clear-all-symbolic"},
    {"icon-secure-delete", "user-trash-symbolic"},
    {"icon-send-mail", "mail-send-symbolic"},
    {"icon-shell", "utilities-terminal-symbolic"},
    // Built-in scripts, under their current names.
    {"Copy paths to clipboard", "edit-paste-symbolic"},
    {"Edit with Emacs", "document-edit-symbolic"},
    {"Edit with Vim", "document-edit-symbolic"},
    {"Hide hidden files", "view-conceal-symbolic"},
    {"New Tab Here in Another Terminal", "tab-new-symbolic"},
    {"New Terminal Tab Here", "tab-new-symbolic"},
    {"New Terminal Window Here", "utilities-terminal-symbolic"},
    {"New Window Here in Another Terminal", "utilities-terminal-symbolic"},
    {"Show hidden files", "view-reveal-symbolic"},
};

} // namespace

std::string OVThemeIcons::themeName(std::string_view bundledName)
{
    const std::string current = OVBundledScriptAction::currentBundledName(std::string(bundledName));
    auto it = std::find_if(std::begin(kThemeIcons), std::end(kThemeIcons),
                           [&](const ThemeIcon& icon) { return icon.bundled == current; });
    return it == std::end(kThemeIcons) ? std::string() : std::string(it->theme);
}

std::string OVThemeIcons::exportedName(const std::string& serialized)
{
    std::string theme = themeName(serialized);
    return theme.empty() ? serialized : theme;
}

std::vector<std::string> OVThemeIcons::lookupNames(const std::string& serialized)
{
    std::string theme = themeName(serialized);
    if (theme.empty())
        return {};
    return {std::move(theme), OVBundledScriptAction::currentBundledName(serialized)};
}
