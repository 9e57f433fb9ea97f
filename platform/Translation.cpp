// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Translation.h"

#include "platform/ProductPaths.h"

#include <clocale>
#include <glib.h>
#include <libintl.h>
#include <mutex>

namespace ov {

// gettext answers the empty message with the catalogue's header.
const char* translate(const char* message) { return *message ? g_dgettext(kTextDomain, message) : message; }

const char* translateInContext(const char* context, const char* message)
{
    return g_dpgettext2(kTextDomain, context, message);
}

const char* translatePlural(const char* singular, const char* plural, unsigned long n)
{
    return g_dngettext(kTextDomain, singular, plural, n);
}

namespace {
void bindCatalogues()
{
    static std::once_flag once;
    std::call_once(once, [] {
        bindtextdomain(kTextDomain, localePath().c_str());
        // GTK and GLib want UTF-8 whatever the locale's own character set is.
        bind_textdomain_codeset(kTextDomain, "UTF-8");
    });
}
} // namespace

void setUpProgramTranslations()
{
    setlocale(LC_ALL, "");
    bindCatalogues();
    textdomain(kTextDomain);
}

void setUpModuleTranslations() { bindCatalogues(); }

} // namespace ov
