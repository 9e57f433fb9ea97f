// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RunningApplications.h"

#include "platform/Doorbell.h"
#include "platform/GRef.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"

#include <gio/gio.h>

namespace ov {
namespace {

constexpr const char* kApplicationInterface = "org.freedesktop.Application";
constexpr int kCallTimeoutMs = 25000;

std::string terminationDoorbell(const std::string& applicationId) { return applicationId + ".terminate"; }

struct ApplicationCall {
    std::function<void(bool, const std::string&)> done;
};

void applicationCallDone(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<ApplicationCall> call(static_cast<ApplicationCall*>(data));
    GError* raw = nullptr;
    GVariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw));
    GErrorPtr error(raw);
    const std::string message = error ? error->message : "";
    guarded("application call", [&] {
        if (call->done)
            call->done(bool(reply), message);
    });
}

// An org.freedesktop.Application method on the identifier's bus name.
void callApplication(const std::string& applicationId, const char* method, GVariant* args, GDBusCallFlags flags,
                     std::function<void(bool, const std::string&)> done)
{
    GError* raw = nullptr;
    GRef<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    GErrorPtr error(raw);
    if (!bus) {
        g_variant_unref(g_variant_ref_sink(args));
        std::string message = error ? error->message : "no session bus";
        if (done)
            runOnNextTurn([done = std::move(done), message] { done(false, message); });
        return;
    }
    const std::string path = applicationObjectPath(applicationId);
    g_dbus_connection_call(bus.get(), applicationId.c_str(), path.c_str(), kApplicationInterface, method, args, nullptr,
                           flags, kCallTimeoutMs, nullptr, applicationCallDone,
                           new ApplicationCall{std::move(done)});
}

GVariant* emptyPlatformData() { return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0); }

} // namespace

std::string applicationObjectPath(const std::string& applicationId)
{
    std::string path = "/" + applicationId;
    for (char& c : path) {
        if (c == '.')
            c = '/';
        else if (c == '-')
            c = '_';
    }
    return path;
}

void activateApplication(const std::string& applicationId, std::function<void(bool ok, const std::string& error)> done)
{
    invokeOnMain([applicationId, done = std::move(done)]() mutable {
        callApplication(applicationId, "Activate", g_variant_new("(@a{sv})", emptyPlatformData()),
                        G_DBUS_CALL_FLAGS_NONE, [applicationId, done = std::move(done)](bool ok, const std::string& error) {
                            if (!ok)
                                ovLog("Could not start %s: %s", applicationId.c_str(), error.c_str());
                            if (done)
                                done(ok, error);
                        });
    });
}

void terminateApplications(const std::string& applicationId)
{
    invokeOnMain([applicationId] {
        // A copy that isn't running has nothing to quit: the call must not start one.
        GVariant* noParameter = g_variant_new_array(G_VARIANT_TYPE_VARIANT, nullptr, 0);
        callApplication(applicationId, "ActivateAction",
                        g_variant_new("(s@av@a{sv})", "quit", noParameter, emptyPlatformData()),
                        G_DBUS_CALL_FLAGS_NO_AUTO_START, {});
        if (!requestTermination(applicationId))
            ovLog("Could not ask the copies of %s to quit", applicationId.c_str());
    });
}

bool requestTermination(const std::string& applicationId)
{
    return ringDoorbell(containerPath(), terminationDoorbell(applicationId));
}

struct TerminationRequestListener::Impl {
    std::unique_ptr<DoorbellListener> doorbells;
};

std::unique_ptr<TerminationRequestListener> TerminationRequestListener::create(const std::string& applicationId,
                                                                               std::function<void()> callback)
{
    auto impl = std::make_unique<Impl>();
    impl->doorbells = DoorbellListener::create(containerPath());
    if (!impl->doorbells)
        return nullptr;
    impl->doorbells->listen(terminationDoorbell(applicationId), std::move(callback));
    return std::unique_ptr<TerminationRequestListener>(new TerminationRequestListener(std::move(impl)));
}

TerminationRequestListener::TerminationRequestListener(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TerminationRequestListener::~TerminationRequestListener() = default;

} // namespace ov
