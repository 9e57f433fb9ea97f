// The system log of every program. Tests can capture lines with a sink.
#pragma once

#include <functional>
#include <string>

namespace ov {

void ovLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ovLogLine(const std::string& line);

// Replaces the destination of log lines (none restores the default, GLib's message log).
void setLogSink(std::function<void(const std::string&)> sink);

std::string stringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace ov
