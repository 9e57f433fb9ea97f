// SPDX-License-Identifier: GPL-3.0-or-later
// Well-formedness of XML text read from another program's files, checked with GLib's parser.
#pragma once

#include <string>

namespace ov {

// Whether the text is one well-formed XML document (UTF-8, balanced elements, proper escapes);
// *error says why not.
bool isWellFormedMarkup(const std::string& text, std::string* error = nullptr);

} // namespace ov
