// SPDX-License-Identifier: GPL-3.0-or-later
#include "menus/OVMenuFormat.h"

#include "model/OVThemeIcons.h"
#include "platform/Translation.h"

#include <nlohmann/json.hpp>

namespace {

// A title is read from the store: it must not be able to start lines of its own.
std::string singleLine(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return out;
}

std::string base64(const std::string& bytes)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = unsigned(uint8_t(bytes[i])) << 16 | unsigned(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += alphabet[v >> 6 & 63];
        out += alphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = unsigned(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            v |= unsigned(uint8_t(bytes[i + 1])) << 8;
        out += alphabet[v >> 18 & 63];
        out += alphabet[v >> 12 & 63];
        out += i + 1 < bytes.size() ? alphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

void appendOutline(const OVMenu& menu, int depth, std::string& out)
{
    for (const auto& item : menu.items) {
        out.append(std::size_t(depth) * 2, ' ');
        out += singleLine(item.title);
        if (!item.enabled)
            out += std::string(" ") + _("(disabled)");
        out += '\n';
        if (item.submenu)
            appendOutline(*item.submenu, depth + 1, out);
    }
}

} // namespace

std::string imageDescription(const OVImage& image)
{
    if (!image.serialized().empty())
        return OVThemeIcons::exportedName(image.serialized());
    if (!image.pngData().empty())
        return "data:image/png;base64," + base64(image.pngData());
    return {};
}

std::string menuOutline(const OVMenu& menu)
{
    std::string out;
    appendOutline(menu, 0, out);
    return out;
}

nlohmann::json menuJSON(const OVMenu& menu)
{
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : menu.items) {
        nlohmann::json entry = nlohmann::json::object();
        entry["title"] = item.title;
        entry["identifier"] = item.identifier;
        std::string icon = item.image ? imageDescription(*item.image) : std::string();
        entry["icon"] = icon.empty() ? nlohmann::json(nullptr) : nlohmann::json(icon);
        entry["enabled"] = item.enabled;
        entry["submenu"] = item.submenu ? menuJSON(*item.submenu) : nlohmann::json(nullptr);
        items.push_back(std::move(entry));
    }
    return items;
}
