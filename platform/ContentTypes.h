// SPDX-License-Identifier: GPL-3.0-or-later
// Content types of the model (MIME types of shared-mime-info) and their conformance.
#pragma once

#include <string>
#include <string_view>

namespace ov {

struct GuessedContentType {
    // Never empty: unknown names get "application/octet-stream". The string lives as long as
    // the process, so equal types share one address.
    const std::string* type = nullptr;
    bool uncertain = true; // the name matched no known pattern
};

// The type of a file judged by its name alone (no disk access). Results are cached per name:
// the guess depends on the whole name ("CMakeLists.txt", "x.tar.gz"), not only its extension.
GuessedContentType contentTypeForFileName(std::string_view name);

// The same interned string for a type given by name.
const std::string* internedContentType(std::string_view type);

// Whether type is the same as or a subtype of supertype ("image/png" is an "image/*").
bool contentTypeConformsTo(const std::string& type, const std::string& supertype);

} // namespace ov
