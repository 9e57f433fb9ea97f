// SPDX-License-Identifier: GPL-3.0-or-later
// UTF-8 read one character at a time, and text checked or repaired into well-formed UTF-8: what
// the archive writes, what the task runner passes on, the menus' titles and the names in a zip
// must be text every reader takes. The one decoder of the programs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ovutf8 {

struct Character {
    char32_t value;
    std::size_t length; // in bytes
};

// The character that starts at text[at]; none when the bytes there are not a well-formed
// sequence (overlong forms, surrogates and values beyond U+10FFFF are not).
std::optional<Character> decode(std::string_view text, std::size_t at);

// Whether the whole text is well-formed UTF-8 (by decode).
bool isValid(std::string_view text);

// The text with every byte that is not part of well-formed UTF-8 replaced by U+FFFD. libplist
// writes other strings as binary that it cannot read back.
std::string repaired(std::string_view text);

} // namespace ovutf8
