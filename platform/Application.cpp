// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Application.h"

#include "platform/GRef.h"
#include "platform/Log.h"

#include <gio/gio.h>

#include <chrono>

namespace ov {
namespace {

// A token older than this no longer stands for the click that asked for the window.
constexpr auto kActivationTokenLifetime = std::chrono::seconds(20);

struct PendingToken {
    std::string token;
    std::chrono::steady_clock::time_point received;
};

std::optional<PendingToken>& pendingToken()
{
    static std::optional<PendingToken> slot; // main context only
    return slot;
}

// GApplication hands the platform data of every activate, open and action call to before_emit
// only; a plain GApplication keeps no token, so this subclass takes it from there.
GApplicationClass* gParentClass = nullptr;

void beforeEmit(GApplication* app, GVariant* platformData)
{
    gParentClass->before_emit(app, platformData);
    const char* token = nullptr;
    if (platformData && !g_variant_lookup(platformData, "activation-token", "&s", &token))
        g_variant_lookup(platformData, "desktop-startup-id", "&s", &token);
    rememberActivationToken(token ? token : "");
}

void tokenApplicationClassInit(gpointer klass, gpointer)
{
    gParentClass = G_APPLICATION_CLASS(g_type_class_peek_parent(klass));
    G_APPLICATION_CLASS(klass)->before_emit = beforeEmit;
}

GType tokenApplicationType()
{
    static const GType type = g_type_register_static_simple(G_TYPE_APPLICATION, "OvTokenApplication",
        sizeof(GApplicationClass), tokenApplicationClassInit, sizeof(GApplication), nullptr, GTypeFlags(0));
    return type;
}

} // namespace

void rememberActivationToken(const std::string& token)
{
    if (token.empty())
        pendingToken().reset();
    else
        pendingToken() = PendingToken{token, std::chrono::steady_clock::now()};
}

std::optional<std::string> takeActivationToken()
{
    auto& slot = pendingToken();
    if (!slot)
        return std::nullopt;
    PendingToken taken = std::move(*slot);
    slot.reset();
    if (std::chrono::steady_clock::now() - taken.received > kActivationTokenLifetime)
        return std::nullopt;
    return taken.token;
}

struct Application::Impl {
    GRef<GApplication> app;
    Handlers handlers;
    bool launched = false;
    unsigned notificationCounter = 0;

    void ensureLaunched()
    {
        if (launched)
            return;
        launched = true;
        if (handlers.launch)
            handlers.launch();
    }

    static void onStartup(GApplication* app, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        // A background runner: it stays until asked to quit.
        g_application_hold(app);
        guarded("startup", [&] {
            if (self->handlers.startup)
                self->handlers.startup();
        });
    }

    static void onActivate(GApplication*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        guarded("activate", [&] {
            self->ensureLaunched();
            if (self->handlers.activate)
                self->handlers.activate();
        });
    }

    static void onOpen(GApplication*, GFile** files, gint count, gchar*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        guarded("open", [&] {
            // The URIs that caused the launch queue first and are handled at its end.
            for (gint i = 0; i < count; ++i) {
                GCharPtr uri(g_file_get_uri(files[i]));
                if (uri && self->handlers.open)
                    self->handlers.open(uri.get());
            }
            self->ensureLaunched();
        });
    }

    static void onQuit(GSimpleAction*, GVariant*, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        if (!self->handlers.quitRequested) {
            g_application_quit(self->app.get());
            return;
        }
        guarded("quit", [&] { self->handlers.quitRequested(); });
    }

    static void onShow(GSimpleAction*, GVariant* parameter, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        guarded("show", [&] {
            std::vector<std::string> paths;
            if (parameter && g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING_ARRAY)) {
                gsize n = 0;
                const gchar** strv = g_variant_get_strv(parameter, &n);
                for (gsize i = 0; i < n; ++i)
                    paths.emplace_back(strv[i]);
                g_free(strv);
            }
            self->ensureLaunched();
            if (self->handlers.show)
                self->handlers.show(paths);
        });
    }

    static void onOpenOutput(GSimpleAction*, GVariant* parameter, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        guarded("open-output", [&] {
            if (!parameter || !g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING))
                return;
            self->ensureLaunched();
            if (self->handlers.openOutput)
                self->handlers.openOutput(g_variant_get_string(parameter, nullptr));
        });
    }

    static void onStopRun(GSimpleAction*, GVariant* parameter, gpointer data)
    {
        auto* self = static_cast<Impl*>(data);
        guarded("stop-run", [&] {
            if (parameter && g_variant_is_of_type(parameter, G_VARIANT_TYPE_INT64) && self->handlers.stopRun)
                self->handlers.stopRun(g_variant_get_int64(parameter));
        });
    }
};

Application::Application(const std::string& applicationId, Handlers handlers) : impl_(std::make_unique<Impl>())
{
    impl_->handlers = std::move(handlers);
    // The desktop names a window's application by its application id (Wayland) or class (X11),
    // both taken from the program name: with the application id they find its desktop file, so
    // the windows carry the same name and icon as the notifications.
    g_set_prgname(applicationId.c_str());
    impl_->app.reset(G_APPLICATION(g_object_new(tokenApplicationType(), "application-id", applicationId.c_str(),
                                                "flags", G_APPLICATION_HANDLES_OPEN, nullptr)));
    GApplication* app = impl_->app.get();
    g_signal_connect(app, "startup", G_CALLBACK(&Impl::onStartup), impl_.get());
    g_signal_connect(app, "activate", G_CALLBACK(&Impl::onActivate), impl_.get());
    g_signal_connect(app, "open", G_CALLBACK(&Impl::onOpen), impl_.get());

    GRef<GSimpleAction> quitAction(g_simple_action_new("quit", nullptr));
    g_signal_connect(quitAction.get(), "activate", G_CALLBACK(&Impl::onQuit), impl_.get());
    g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(quitAction.get()));

    GRef<GSimpleAction> showAction(g_simple_action_new("show", G_VARIANT_TYPE_STRING_ARRAY));
    g_signal_connect(showAction.get(), "activate", G_CALLBACK(&Impl::onShow), impl_.get());
    g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(showAction.get()));

    GRef<GSimpleAction> openOutputAction(g_simple_action_new("open-output", G_VARIANT_TYPE_STRING));
    g_signal_connect(openOutputAction.get(), "activate", G_CALLBACK(&Impl::onOpenOutput), impl_.get());
    g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(openOutputAction.get()));

    GRef<GSimpleAction> stopRunAction(g_simple_action_new("stop-run", G_VARIANT_TYPE_INT64));
    g_signal_connect(stopRunAction.get(), "activate", G_CALLBACK(&Impl::onStopRun), impl_.get());
    g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(stopRunAction.get()));
}

Application::~Application()
{
    if (impl_->app)
        g_signal_handlers_disconnect_by_data(impl_->app.get(), impl_.get());
}

int Application::run(int argc, char** argv) { return g_application_run(impl_->app.get(), argc, argv); }

void Application::quit() { g_application_quit(impl_->app.get()); }

bool Application::isLaunched() const { return impl_->launched; }

void Application::sendNotification(const AppNotification& notification)
{
    GRef<GNotification> n(g_notification_new(notification.title.c_str()));
    g_notification_set_body(n.get(), notification.body.c_str());
    if (notification.outputTarget) {
        GVariant* target = g_variant_ref_sink(g_variant_new_string(notification.outputTarget->c_str()));
        if (notification.buttonTitle)
            g_notification_add_button_with_target_value(n.get(), notification.buttonTitle->c_str(), "app.open-output", target);
        g_notification_set_default_action_and_target_value(n.get(), "app.open-output", target);
        g_variant_unref(target);
    } else if (notification.showTarget) {
        std::vector<const char*> strv;
        for (const auto& p : *notification.showTarget)
            strv.push_back(p.c_str());
        GVariant* target = g_variant_ref_sink(g_variant_new_strv(strv.data(), gssize(strv.size())));
        if (notification.buttonTitle)
            g_notification_add_button_with_target_value(n.get(), notification.buttonTitle->c_str(), "app.show", target);
        g_notification_set_default_action_and_target_value(n.get(), "app.show", target);
        g_variant_unref(target);
    }
    std::string id = "notification-" + std::to_string(++impl_->notificationCounter);
    g_application_send_notification(impl_->app.get(), id.c_str(), n.get());
}

namespace {
void playerDone(GObject* source, GAsyncResult* result, gpointer)
{
    g_subprocess_wait_finish(G_SUBPROCESS(source), result, nullptr);
    g_object_unref(source);
}
} // namespace

void playSoundFile(const std::string& path)
{
    struct Player {
        const char* program;
        std::vector<const char*> options;
    };
    static const Player players[] = {{"canberra-gtk-play", {"-f"}}, {"paplay", {}}, {"pw-play", {}}};
    for (const auto& player : players) {
        GCharPtr program(g_find_program_in_path(player.program));
        if (!program)
            continue;
        std::vector<const char*> argv{program.get()};
        argv.insert(argv.end(), player.options.begin(), player.options.end());
        argv.push_back(path.c_str());
        argv.push_back(nullptr);
        GError* raw = nullptr;
        GSubprocess* process = g_subprocess_newv(argv.data(),
            GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_SILENCE | G_SUBPROCESS_FLAGS_STDERR_SILENCE), &raw);
        GErrorPtr error(raw);
        if (!process)
            continue;
        g_subprocess_wait_async(process, nullptr, playerDone, nullptr);
        return;
    }
}

} // namespace ov
