// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/RZAboutModule.h"

#include "platform/Files.h"
#include "platform/GRef.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"
#include "platform/Workspace.h"
#include "settings/OVRichText.h"
#include "settings/OVWeakSignal.h"

#include <ctime>

namespace {
constexpr const char* kApplicationName = "Orvane";
// More would not be a credits page.
constexpr std::size_t kMaxCreditsBytes = 256u << 10;
} // namespace

RZAboutModule::RZAboutModule()
{
    setModuleTitle(_("About"));
    setModuleImage(OVImage::named("help-about-symbolic"));
    setModuleIsResizable(false);
    setViewMinSize({480, 400});
}

void RZAboutModule::hl_viewDidLoad()
{
    setAppNameAndVersion();
    setCopyright();
    showCredits();
    if (GObject* button = outlet("creditsButton")) {
        gtk_widget_set_visible(GTK_WIDGET(button), creditsPath().has_value());
        const std::weak_ptr<RZAboutModule> weak = std::static_pointer_cast<RZAboutModule>(shared_from_this());
        ovsettings::connectWeak(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            ovsettings::withTarget<RZAboutModule>(data, "the credits button", [](RZAboutModule& m) { m.openCredits(); });
        }), weak);
    }
}

void RZAboutModule::setAppNameAndVersion()
{
    gtk_label_set_text(appNameLabel(), kApplicationName);
    gtk_label_set_text(appVersionLabel(), ov::stringPrintf(_("Version %s"), ORVANE_VERSION).c_str());
}

void RZAboutModule::setCopyright()
{
    gtk_label_set_text(copyrightLabel(), copyrightText(gtk_label_get_text(copyrightLabel()), year()).c_str());
}

long RZAboutModule::year()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return long(local.tm_year) + 1900;
}

std::string RZAboutModule::copyrightText(std::string designed, long year)
{
    static const std::string placeholder = "CURRENT_YEAR";
    const std::string replacement = ov::stringPrintf("%ld", year);
    for (std::size_t at = designed.find(placeholder); at != std::string::npos;
         at = designed.find(placeholder, at + replacement.size()))
        designed.replace(at, placeholder.size(), replacement);
    return designed;
}

std::optional<std::string> RZAboutModule::creditsPath()
{
    // The package ships rich text; a plain file beside it (a local build's) is read as well.
    for (const char* name : {"Credits.rtf", "Credits", "Credits.txt"}) {
        const std::string path = ov::pathByAppending(ov::resourcesPath(), name);
        if (ov::isRegularFile(path))
            return path;
    }
    return std::nullopt;
}

void RZAboutModule::showCredits()
{
    std::string text = _(kLibrariesCredits);
    if (auto path = creditsPath()) {
        if (auto data = ov::readFile(*path, kMaxCreditsBytes)) {
            if (OVRichText::looksLikeRichText(*data))
                *data = OVRichText::plainText(*data);
            // The file is shown as text whatever it holds.
            ov::GCharPtr valid(g_utf8_make_valid(data->data(), gssize(data->size())));
            ov::GCharPtr trimmed(g_strstrip(g_strdup(valid.get())));
            if (*trimmed)
                text = trimmed.get();
        }
    }
    gtk_label_set_text(creditsLabel(), text.c_str());
}

void RZAboutModule::openCredits()
{
    auto path = creditsPath();
    if (!path) {
        gtk_widget_error_bell(view());
        return;
    }
    ov::GCharPtr uri(g_filename_to_uri(path->c_str(), nullptr, nullptr));
    if (uri)
        ov::openURI(uri.get());
}
