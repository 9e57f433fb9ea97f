// Signal handlers of the settings window reach their controller through a weak reference: a
// widget that outlives its controller (still inside a window) then calls nothing.
#pragma once

#include "platform/Log.h"

#include <glib-object.h>

#include <memory>

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

} // namespace ovsettings
