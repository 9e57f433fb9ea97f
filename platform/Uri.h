// SPDX-License-Identifier: GPL-3.0-or-later
// Percent escapes, file URIs and the parts of URIs, for every place that writes or reads one: the
// run-request URL, file URLs in archives, mail attachments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ov::uri {

// Every byte percent-encoded (upper-case hex) except the unreserved characters (letters, digits
// and "-._~") and those in keep. NUL bytes are encoded too.
std::string escape(std::string_view text, const char* keep = "");

// Percent escapes decoded; escaped NULs come out as NUL bytes. None for a malformed escape.
std::optional<std::string> unescape(std::string_view text);

// "file://" followed by the path escaped, keeping the characters in keep.
std::string fileURI(std::string_view path, const char* keep = "/");

// The reference resolved against an absolute base URI (RFC 3986); none when base is not absolute.
std::optional<std::string> resolve(std::string_view base, std::string_view reference);

// The local path of a file URI, or of a reference without scheme resolved against base; a plain
// path keeps a "%" that starts no escape. Trailing slashes are dropped ("/" stays). None for
// other schemes, remote hosts, user or port parts, bad escapes, NUL bytes and the empty path.
std::optional<std::string> filePath(std::string_view uri, std::string_view base = {});

// Whether the text holds only the characters a URI may hold as it is written (RFC 3986), with
// well-formed escapes and at most one "#".
bool isWellFormed(std::string_view uri);

// The query as written, not decoded: from the first "?" to the fragment. None without a "?"
// before the fragment.
std::optional<std::string> query(std::string_view uri);

} // namespace ov::uri
