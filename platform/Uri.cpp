// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Uri.h"

#include "platform/GRef.h"

#include <glib.h>

namespace ov::uri {

std::string escape(std::string_view text, const char* keep)
{
    // GLib stops at a NUL; escape the pieces between them.
    std::string out;
    out.reserve(text.size());
    for (std::size_t start = 0;;) {
        const std::size_t nul = text.find('\0', start);
        const std::string piece(text.substr(start, nul == std::string_view::npos ? nul : nul - start));
        GCharPtr escaped(g_uri_escape_string(piece.c_str(), keep, FALSE));
        out += escaped.get();
        if (nul == std::string_view::npos)
            return out;
        out += "%00";
        start = nul + 1;
    }
}

std::optional<std::string> unescape(std::string_view text)
{
    GBytes* bytes = g_uri_unescape_bytes(text.empty() ? "" : text.data(), gssize(text.size()), nullptr, nullptr);
    if (!bytes)
        return std::nullopt;
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string out(data ? data : "", data ? size : 0);
    g_bytes_unref(bytes);
    return out;
}

std::string fileURI(std::string_view path, const char* keep) { return "file://" + escape(path, keep); }

std::optional<std::string> resolve(std::string_view base, std::string_view reference)
{
    if (base.find('\0') != std::string_view::npos || reference.find('\0') != std::string_view::npos)
        return std::nullopt;
    GCharPtr resolved(g_uri_resolve_relative(std::string(base).c_str(), std::string(reference).c_str(),
                                             G_URI_FLAGS_ENCODED, nullptr));
    if (!resolved)
        return std::nullopt;
    return std::string(resolved.get());
}

namespace {

std::optional<std::string> localPathOfFileURI(const std::string& uri)
{
    char* userinfo = nullptr;
    char* host = nullptr;
    char* path = nullptr;
    gint port = -1;
    if (!g_uri_split(uri.c_str(), G_URI_FLAGS_ENCODED, nullptr, &userinfo, &host, &port, &path, nullptr, nullptr,
                     nullptr))
        return std::nullopt;
    GCharPtr ownUserinfo(userinfo), ownHost(host), ownPath(path);
    if (userinfo || port != -1 || (host && *host && g_ascii_strcasecmp(host, "localhost") != 0))
        return std::nullopt;
    return unescape(path ? path : "");
}

} // namespace

std::optional<std::string> filePath(std::string_view uri, std::string_view base)
{
    if (uri.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string full(uri);
    if (!base.empty()) {
        auto resolved = resolve(base, uri);
        if (!resolved)
            return std::nullopt;
        full = std::move(*resolved);
    }
    std::optional<std::string> path;
    if (const char* scheme = g_uri_peek_scheme(full.c_str())) {
        if (std::string_view(scheme) != "file")
            return std::nullopt;
        path = localPathOfFileURI(full);
    } else {
        // A plain path may hold a percent sign that is not an escape.
        path = unescape(full);
        if (!path)
            path = full;
    }
    if (!path || path->empty() || path->find('\0') != std::string::npos)
        return std::nullopt;
    while (path->size() > 1 && path->back() == '/')
        path->pop_back();
    return path;
}

bool isWellFormed(std::string_view s)
{
    static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=";
    if (s.empty())
        return false;
    std::size_t hashes = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '%') {
            if (i + 2 >= s.size() || !g_ascii_isxdigit(s[i + 1]) || !g_ascii_isxdigit(s[i + 2]))
                return false;
            i += 2;
            continue;
        }
        if (!g_ascii_isalnum(c) && allowed.find(c) == std::string_view::npos)
            return false;
        if (c == '#' && ++hashes > 1)
            return false;
    }
    return true;
}

// GLib's parser hands back the query with escapes of unreserved characters decoded; a request
// reads its query exactly as written.
std::optional<std::string> query(std::string_view uri)
{
    const auto fragment = uri.find('#');
    const auto mark = uri.find('?');
    if (mark == std::string_view::npos || (fragment != std::string_view::npos && mark > fragment))
        return std::nullopt;
    const auto end = fragment == std::string_view::npos ? uri.size() : fragment;
    return std::string(uri.substr(mark + 1, end - mark - 1));
}

} // namespace ov::uri
