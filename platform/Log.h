// SPDX-License-Identifier: GPL-3.0-or-later
// The system log of every program. Tests can capture lines with a sink.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace ov {

void ovLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ovLogLine(const std::string& line);

// Replaces the destination of log lines (none restores the default, GLib's message log).
void setLogSink(std::function<void(const std::string&)> sink);

// Runs fn and logs any exception it throws: every callback from GLib, GTK or Nautilus into our
// code goes through this, so no C++ exception unwinds into C.
template <typename Fn>
void guarded(const char* what, Fn&& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        ovLog("Uncaught exception in %s: %s", what, e.what());
    } catch (...) {
        ovLog("Uncaught exception in %s", what);
    }
}

std::string stringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace ov
