// Shared by the settings tests: running a program and reading what it printed.
#pragma once

#include <gtest/gtest.h>

#include <glib.h>
#include <sys/wait.h>

#include <optional>
#include <string>
#include <vector>

namespace ovtest {

struct ToolResult {
    int status = -1;
    std::string out, err;
};

// Runs argv and waits; env, when given, replaces the environment.
inline ToolResult runTool(const std::vector<std::string>& args, const std::optional<std::vector<std::string>>& env = {})
{
    std::vector<char*> argv, envp;
    std::vector<std::string> a = args, e = env.value_or(std::vector<std::string>{});
    for (auto& s : a)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (auto& s : e)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    ToolResult r;
    gchar *out = nullptr, *err = nullptr;
    gint wait = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, argv.data(), env ? envp.data() : nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err,
                      &wait, &error)) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return r;
    }
    r.out = out ? out : "";
    r.err = err ? err : "";
    g_free(out);
    g_free(err);
    r.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return r;
}

} // namespace ovtest
