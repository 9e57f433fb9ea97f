#include "support/TestSupport.h"

#include "platform/Log.h"
#include "platform/MainContext.h"

#include <gio/gio.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include <sys/wait.h>

namespace ovtest {

TempHome::TempHome()
{
    char* dir = g_dir_make_tmp("orvane-test-XXXXXX", nullptr);
    root_ = dir;
    g_free(dir);
    if (const char* d = g_getenv("XDG_DATA_HOME")) {
        hadData_ = true;
        oldData_ = d;
    }
    if (const char* c = g_getenv("XDG_CONFIG_HOME")) {
        hadConfig_ = true;
        oldConfig_ = c;
    }
    std::filesystem::create_directories(dataHome());
    std::filesystem::create_directories(configHome());
    g_setenv("XDG_DATA_HOME", dataHome().c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", configHome().c_str(), TRUE);
}

TempHome::~TempHome()
{
    if (hadData_)
        g_setenv("XDG_DATA_HOME", oldData_.c_str(), TRUE);
    else
        g_unsetenv("XDG_DATA_HOME");
    if (hadConfig_)
        g_setenv("XDG_CONFIG_HOME", oldConfig_.c_str(), TRUE);
    else
        g_unsetenv("XDG_CONFIG_HOME");
    removeTree(root_);
}

std::string TempHome::dataHome() const { return root_ + "/data"; }
std::string TempHome::configHome() const { return root_ + "/config"; }

std::string TempHome::makeFolder(const std::string& relative) const
{
    std::string p = root_ + "/" + relative;
    std::filesystem::create_directories(p);
    return p;
}

std::string TempHome::writeFile(const std::string& relative, const std::string& content) const
{
    std::string p = root_ + "/" + relative;
    std::filesystem::create_directories(std::filesystem::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

struct LogCapture::State {
    std::mutex mutex;
    std::vector<std::string> lines;
};

LogCapture::LogCapture() : state_(new State)
{
    ov::setLogSink([s = state_](const std::string& line) {
        std::lock_guard lock(s->mutex);
        s->lines.push_back(line);
    });
}

LogCapture::~LogCapture()
{
    ov::setLogSink(nullptr);
    delete state_;
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard lock(state_->mutex);
    return state_->lines;
}

bool LogCapture::contains(const std::string& fragment) const
{
    for (const auto& l : lines())
        if (l.find(fragment) != std::string::npos)
            return true;
    return false;
}

bool pumpUntil(const std::function<bool()>& pred, unsigned timeoutMs) { return ov::iterateMainUntil(pred, timeoutMs); }

void pumpFor(unsigned ms)
{
    bool done = false;
    ov::runAfter(ms, [&] { done = true; });
    ov::iterateMainUntil([&] { return done; }, ms + 1000);
}

GSubprocess* spawnSelfAsChild(const std::string& disabledTest, const char* envVariable, const std::string& mode,
                              std::optional<bool>* succeeded)
{
    GSubprocessLauncher* launcher = g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_SILENCE);
    g_subprocess_launcher_setenv(launcher, envVariable, mode.c_str(), TRUE);
    const std::string filter = "--gtest_filter=" + disabledTest;
    const char* argv[] = {"/proc/self/exe", filter.c_str(), "--gtest_also_run_disabled_tests", nullptr};
    GError* error = nullptr;
    GSubprocess* child = g_subprocess_launcher_spawnv(launcher, argv, &error);
    g_object_unref(launcher);
    if (!child) {
        ADD_FAILURE() << error->message;
        g_error_free(error);
        return nullptr;
    }
    g_subprocess_wait_check_async(child, nullptr, [](GObject* source, GAsyncResult* result, gpointer data) {
        *static_cast<std::optional<bool>*>(data) = bool(g_subprocess_wait_check_finish(G_SUBPROCESS(source), result, nullptr));
    }, succeeded);
    return child;
}

ToolResult runTool(const std::vector<std::string>& args, const std::optional<std::vector<std::string>>& env,
                   const std::string& cwd)
{
    std::vector<std::string> a = args, e = env.value_or(std::vector<std::string>{});
    std::vector<char*> argv, envp;
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
    if (!g_spawn_sync(cwd.empty() ? nullptr : cwd.c_str(), argv.data(), env ? envp.data() : nullptr, G_SPAWN_DEFAULT,
                      nullptr, nullptr, &out, &err, &wait, &error)) {
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

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void removeTree(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

} // namespace ovtest
