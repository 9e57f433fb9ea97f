// SPDX-License-Identifier: GPL-3.0-or-later
// The plain text of a rich-text (RTF) document, for showing shipped documents such as the
// credits in a label.
#pragma once

#include <string>
#include <string_view>

namespace OVRichText {

// True when the bytes start like an RTF document ("{\rtf").
bool looksLikeRichText(std::string_view bytes);

// The document's text: paragraphs and line breaks become "\n", tabs "\t", escaped and
// code-page characters UTF-8; formatting, font and colour tables, pictures and ignorable
// destinations are left out. Any bytes are taken (unbalanced groups, cut escapes); bytes that
// are not ASCII outside escapes are passed through as they are.
std::string plainText(std::string_view rtf);

} // namespace OVRichText
