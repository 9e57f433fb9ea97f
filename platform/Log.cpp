// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Log.h"

#include <glib.h>

#include <cstdarg>
#include <mutex>

namespace ov {
namespace {
std::mutex sinkMutex; // log lines come from the serial queues too
std::function<void(const std::string&)>& sink()
{
    static std::function<void(const std::string&)> s;
    return s;
}

std::string vformat(const char* format, va_list args)
{
    char* text = g_strdup_vprintf(format, args);
    std::string out = text ? text : "";
    g_free(text);
    return out;
}
} // namespace

std::string stringPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = vformat(format, args);
    va_end(args);
    return out;
}

void ovLogLine(const std::string& line)
{
    std::lock_guard lock(sinkMutex);
    if (sink())
        sink()(line);
    else
        g_log("Orvane", G_LOG_LEVEL_MESSAGE, "%s", line.c_str());
}

void ovLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string line = vformat(format, args);
    va_end(args);
    ovLogLine(line);
}

void setLogSink(std::function<void(const std::string&)> s)
{
    std::lock_guard lock(sinkMutex);
    sink() = std::move(s);
}

} // namespace ov
