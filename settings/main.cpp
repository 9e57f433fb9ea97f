// SPDX-License-Identifier: GPL-3.0-or-later
// orvane: the settings application.
#include "model/OVActionsManager.h"
#include "model/OVFirstRunCatalogue.h"
#include "model/OVUserDefaults.h"
#include "platform/GRef.h"
#include "platform/GuiResources.h"
#include "platform/Translation.h"
#include "settings/AppDelegate.h"
#include "settings/OVStatusHelper.h"

#include <adwaita.h>
#include <glib-unix.h>

namespace {
// Logging out or a plain kill still goes through the quit path, which saves.
gboolean quitOnSignal(gpointer application)
{
    g_application_quit(G_APPLICATION(application));
    return G_SOURCE_CONTINUE;
}
} // namespace

int main(int argc, char** argv)
{
    ov::setUpProgramTranslations();
    ov::registerResources();
    ov::GRef<AdwApplication> application(adw_application_new("app.orvane.Orvane", G_APPLICATION_DEFAULT_FLAGS));
    // Another program may be writing the built-in actions right now: they are read once written.
    auto store = [] {
        OVFirstRunCatalogue::writeIfNoStore();
        return OVActionsManager::sharedInstance();
    };
    auto delegate = ovsettings::AppDelegate::create(GTK_APPLICATION(application.get()), store,
                                                    OVUserDefaults::standardUserDefaults(), &OVStatusHelper::sharedInstance);
    g_unix_signal_add(SIGTERM, quitOnSignal, application.get());
    g_unix_signal_add(SIGINT, quitOnSignal, application.get());
    return g_application_run(G_APPLICATION(application.get()), argc, argv);
}
