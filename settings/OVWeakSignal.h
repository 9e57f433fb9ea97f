// SPDX-License-Identifier: GPL-3.0-or-later
// Signal handlers of the settings window reach their controller through a weak reference: a
// widget that outlives its controller (still inside a window) then calls nothing.
#pragma once

#include "platform/Log.h"

#include <gio/gio.h>
#include <glib-object.h>

#include <memory>
#include <string>

namespace ovsettings {

template <typename T>
gulong connectWeak(gpointer instance, const char* signal, GCallback callback, const std::weak_ptr<T>& target,
                   GConnectFlags flags = GConnectFlags(0))
{
    return g_signal_connect_data(instance, signal, callback, new std::weak_ptr<T>(target),
                                 [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<T>*>(data); }, flags);
}

// The controller behind a handler's data, or null once it is gone.
template <typename T>
std::shared_ptr<T> weakTarget(gpointer data)
{
    return static_cast<std::weak_ptr<T>*>(data)->lock();
}

// Runs fn(controller) when the controller still exists; no exception leaves the handler.
template <typename T, typename Fn>
void withTarget(gpointer data, const char* what, Fn&& fn)
{
    if (auto target = weakTarget<T>(data))
        ov::guarded(what, [&] { fn(*target); });
}

// Adds a parameterless action named `name` whose activation runs (target.*run)().
template <typename T>
void addCommand(GActionMap* map, const char* name, const std::weak_ptr<T>& target, void (T::*run)())
{
    struct Binding {
        std::weak_ptr<T> target;
        void (T::*run)();
        std::string name;
    };
    GSimpleAction* action = g_simple_action_new(name, nullptr);
    g_signal_connect_data(action, "activate", G_CALLBACK(+[](GSimpleAction*, GVariant*, gpointer data) {
        auto* binding = static_cast<Binding*>(data);
        if (auto t = binding->target.lock())
            ov::guarded(binding->name.c_str(), [&] { ((*t).*(binding->run))(); });
    }), new Binding{target, run, name}, [](gpointer data, GClosure*) { delete static_cast<Binding*>(data); },
                          GConnectFlags(0));
    g_action_map_add_action(map, G_ACTION(action));
    g_object_unref(action);
}

} // namespace ovsettings
