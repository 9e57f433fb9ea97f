// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/UTF8.h"

namespace ovutf8 {

std::optional<Character> decode(std::string_view text, std::size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto cont = [&](std::size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
        return i < n && p[i] >= lo && p[i] <= hi;
    };
    auto bits = [&](std::size_t i) { return char32_t(p[i] & 0x3F); };
    if (at >= n)
        return std::nullopt;
    const unsigned char c = p[at];
    if (c < 0x80)
        return Character{c, 1};
    if (c >= 0xC2 && c <= 0xDF) {
        if (cont(at + 1))
            return Character{(char32_t(c & 0x1F) << 6) | bits(at + 1), 2};
    } else if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        if (cont(at + 1, lo, hi) && cont(at + 2))
            return Character{(char32_t(c & 0x0F) << 12) | (bits(at + 1) << 6) | bits(at + 2), 3};
    } else if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        if (cont(at + 1, lo, hi) && cont(at + 2) && cont(at + 3))
            return Character{(char32_t(c & 0x07) << 18) | (bits(at + 1) << 12) | (bits(at + 2) << 6) | bits(at + 3), 4};
    }
    return std::nullopt;
}

bool isValid(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = decode(text, i);
        if (!c)
            return false;
        i += c->length;
    }
    return true;
}

std::string repaired(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (auto c = decode(text, i)) {
            out.append(text.substr(i, c->length));
            i += c->length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

} // namespace ovutf8
