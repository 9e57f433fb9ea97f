// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the settings application's status logic on the session bus, for session tests.
// Usage: orvane-test-status launch | kill | force-restart [--exit-early]
//   launch         asks the runner to quit and starts it again a moment later; ends once started
//   kill           asks the runner to quit
//   force-restart  restarts the extension; ends once it is elected for use and the runner started,
//                  or, with --exit-early, as the settings application would quit within the restart
#include "platform/MainContext.h"
#include "platform/RunningApplications.h"
#include "settings/OVStatusHelper.h"

#include <gio/gio.h>

#include <iostream>
#include <string>

namespace {

constexpr unsigned kTimeoutMs = 60000;

// The quit requests go out asynchronously; they must leave before this process does.
void flushSessionBus()
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus) {
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        g_object_unref(bus);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    const bool exitEarly = argc > 2 && std::string(argv[2]) == "--exit-early";
    bool started = false;
    bool ignored = false;
    auto env = OVStatusHelper::platformEnvironment();
    env.openApplication = [&started](const std::string& id) {
        ov::activateApplication(id, [&started](bool ok, const std::string& error) {
            if (!ok)
                std::cerr << "could not start the runner: " << error << "\n";
            started = true;
        });
    };
    auto runCommand = env.runCommand;
    env.runCommand = [&ignored, runCommand](const std::vector<std::string>& argv) {
        runCommand(argv);
        if (argv.size() > 2 && argv[2] == OVStatusHelper::kIgnore)
            ignored = true;
    };
    if (exitEarly)
        env.delay = 600; // the settings application quits long before
    auto helper = OVStatusHelper::create(env);

    bool ok = true;
    if (command == "launch") {
        helper->launchHelperApp();
        ok = ov::iterateMainUntil([&] { return started; }, kTimeoutMs);
    } else if (command == "kill") {
        helper->killHelperApp();
    } else if (command == "force-restart") {
        helper->forceRestart();
        if (exitEarly) {
            ok = ov::iterateMainUntil([&] { return ignored; }, kTimeoutMs);
            helper->applicationWillTerminate();
        } else {
            ok = ov::iterateMainUntil([&] { return helper->isEnabled() && started; }, kTimeoutMs);
            std::cout << (helper->isEnabled() ? "enabled" : "disabled") << "\n";
        }
    } else {
        std::cerr << "usage: orvane-test-status launch | kill | force-restart [--exit-early]\n";
        return 2;
    }
    flushSessionBus();
    return ok ? 0 : 1;
}
