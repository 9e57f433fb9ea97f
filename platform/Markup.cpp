// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Markup.h"

#include <glib.h>

namespace ov {

bool isWellFormedMarkup(const std::string& text, std::string* error)
{
    // No XML holds a NUL, and GLib's parser stops reading at one as if the text ended there.
    if (text.find('\0') != std::string::npos) {
        if (error)
            *error = "a NUL byte";
        return false;
    }
    struct Depth {
        int open = 0;
        int roots = 0;
    } depth;
    // GLib's parser passes declarations and processing instructions through unchecked.
    if (!g_utf8_validate(text.data(), gssize(text.size()), nullptr)) {
        if (error)
            *error = "not valid UTF-8";
        return false;
    }
    GMarkupParser parser{};
    parser.start_element = [](GMarkupParseContext*, const gchar*, const gchar**, const gchar**, gpointer data, GError**) {
        auto* d = static_cast<Depth*>(data);
        if (d->open++ == 0)
            ++d->roots;
    };
    parser.end_element = [](GMarkupParseContext*, const gchar*, gpointer data, GError**) { --static_cast<Depth*>(data)->open; };
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, GMarkupParseFlags(0), &depth, nullptr);
    GError* failure = nullptr;
    bool ok = g_markup_parse_context_parse(context, text.data(), gssize(text.size()), &failure) &&
              g_markup_parse_context_end_parse(context, &failure);
    g_markup_parse_context_free(context);
    if (!ok) {
        if (error)
            *error = failure ? failure->message : "not well-formed";
        g_clear_error(&failure);
        return false;
    }
    if (depth.roots != 1) {
        if (error)
            *error = "not one root element";
        return false;
    }
    return true;
}

} // namespace ov
