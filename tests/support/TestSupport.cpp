// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestSupport.h"

#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/ProductPaths.h"
#include "platform/Translation.h"

#include <gio/gio.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <libintl.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
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
    if (const char* c = g_getenv("XDG_CACHE_HOME")) {
        hadCache_ = true;
        oldCache_ = c;
    }
    std::filesystem::create_directories(dataHome());
    std::filesystem::create_directories(configHome());
    g_setenv("XDG_DATA_HOME", dataHome().c_str(), TRUE);
    g_setenv("XDG_CONFIG_HOME", configHome().c_str(), TRUE);
    // What the programs keep in the cache stays in the test's folder too.
    g_setenv("XDG_CACHE_HOME", cacheHome().c_str(), TRUE);
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
    if (hadCache_)
        g_setenv("XDG_CACHE_HOME", oldCache_.c_str(), TRUE);
    else
        g_unsetenv("XDG_CACHE_HOME");
    removeTree(root_);
}

std::string TempHome::dataHome() const { return root_ + "/data"; }
std::string TempHome::configHome() const { return root_ + "/config"; }
std::string TempHome::cacheHome() const { return root_ + "/cache"; }

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
    State* outer = nullptr;
};

namespace {
LogCapture::State* innermostCapture = nullptr; // captures are made and dropped on the main thread

void sendLogTo(LogCapture::State* state)
{
    if (!state) {
        ov::setLogSink(nullptr);
        return;
    }
    ov::setLogSink([state](const std::string& line) {
        for (auto* s = state; s; s = s->outer) {
            std::lock_guard lock(s->mutex);
            s->lines.push_back(line);
        }
    });
}
} // namespace

LogCapture::LogCapture() : state_(new State)
{
    state_->outer = innermostCapture;
    innermostCapture = state_;
    sendLogTo(state_);
}

LogCapture::~LogCapture()
{
    // Swapping the sink waits for a line being written, so no one uses this state afterwards.
    innermostCapture = state_->outer;
    sendLogTo(innermostCapture);
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

ScopedEnv::ScopedEnv(const std::string& name, const std::optional<std::string>& value) : name_(name)
{
    if (const char* old = g_getenv(name.c_str()))
        old_ = old;
    if (value)
        g_setenv(name.c_str(), value->c_str(), TRUE);
    else
        g_unsetenv(name.c_str());
}

ScopedEnv::~ScopedEnv()
{
    if (old_)
        g_setenv(name_.c_str(), old_->c_str(), TRUE);
    else
        g_unsetenv(name_.c_str());
}

namespace {
constexpr unsigned kPollMs = 5;

gboolean keepPolling(gpointer) { return G_SOURCE_CONTINUE; }

gboolean setFlag(gpointer data)
{
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}

// Pumps until the source, which sets the flag, has run.
bool pumpUntilSourceRuns(GSource* source, bool* flag, unsigned timeoutMs)
{
    g_source_set_callback(source, setFlag, flag, nullptr);
    g_source_attach(source, nullptr);
    const bool ran = pumpUntil([flag] { return *flag; }, timeoutMs);
    g_source_destroy(source);
    g_source_unref(source);
    return ran;
}
} // namespace

bool pumpUntil(const std::function<bool()>& pred, unsigned timeoutMs)
{
    // The loop wakes at least this often, so pred is seen soon after it holds.
    const guint poll = g_timeout_add(kPollMs, keepPolling, nullptr);
    const bool held = ov::iterateMainUntil(pred, timeoutMs);
    g_source_remove(poll);
    return held;
}

bool pumpPending(unsigned timeoutMs)
{
    bool ran = false;
    GSource* marker = g_idle_source_new();
    g_source_set_priority(marker, G_PRIORITY_LOW);
    return pumpUntilSourceRuns(marker, &ran, timeoutMs);
}

bool pumpPastTimersDueWithin(unsigned ms)
{
    bool ran = false;
    GSource* marker = g_timeout_source_new(ms);
    g_source_set_priority(marker, G_PRIORITY_LOW);
    return pumpUntilSourceRuns(marker, &ran, ms + 10000);
}

namespace {
struct FirstBlock {
    std::function<void()> fn;
};
} // namespace

void runFirstAfter(unsigned ms, std::function<void()> fn)
{
    g_timeout_add_full(G_PRIORITY_HIGH, ms, [](gpointer data) -> gboolean {
        ov::guarded("a test step", static_cast<FirstBlock*>(data)->fn);
        return G_SOURCE_REMOVE;
    }, new FirstBlock{std::move(fn)}, [](gpointer data) { delete static_cast<FirstBlock*>(data); });
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

namespace {

std::optional<std::string> environmentValue(const char* name)
{
    const char* value = g_getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void restoreEnvironment(const char* name, const std::optional<std::string>& value)
{
    if (value)
        g_setenv(name, value->c_str(), TRUE);
    else
        g_unsetenv(name);
}

std::string germanCatalogue() { return ov::localePath() + "/de/LC_MESSAGES/orvane.mo"; }

// gettext remembers its answers per locale name, and the name (C.UTF-8) may stay the same while
// LANGUAGE changes: setting the same text domain again is its way of being told to forget them.
void forgetTranslations()
{
    const std::string domain = textdomain(nullptr);
    textdomain(domain.c_str());
}

// The English messages of the German catalogue that German says differently, read from the
// compiled catalogue itself: msgids (with their plural), without context.
std::vector<std::string> englishMessages()
{
    std::vector<std::string> english;
    const std::string data = readAll(germanCatalogue());
    auto word = [&](std::size_t at) -> std::uint32_t {
        std::uint32_t v = 0;
        if (at + 4 <= data.size())
            std::memcpy(&v, data.data() + at, 4);
        return v;
    };
    if (word(0) != 0x950412deu)
        return english;
    const std::uint32_t count = word(8), originals = word(12), translations = word(16);
    auto text = [&](std::uint32_t table, std::uint32_t i) {
        const std::uint32_t length = word(table + 8 * i), offset = word(table + 8 * i + 4);
        return offset + std::size_t(length) <= data.size() ? data.substr(offset, length) : std::string();
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string original = text(originals, i);
        if (original.empty())
            continue; // the header
        if (auto context = original.find('\x04'); context != std::string::npos)
            original.erase(0, context + 1);
        const auto german = splitText(text(translations, i), '\0');
        for (const auto& form : splitText(original, '\0'))
            if (std::find(german.begin(), german.end(), form) == german.end())
                english.push_back(form);
    }
    return english;
}

} // namespace

std::vector<std::string> splitText(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

GermanLanguage::GermanLanguage()
    : language_(environmentValue("LANGUAGE")), lcAll_(environmentValue("LC_ALL"))
{
    const char* current = setlocale(LC_ALL, nullptr);
    locale_ = current ? current : "C";
    // glibc honours LANGUAGE in any locale but "C": C.UTF-8 is there on every Debian system.
    g_setenv("LANGUAGE", "de", TRUE);
    g_setenv("LC_ALL", "C.UTF-8", TRUE);
    if (!setlocale(LC_ALL, ""))
        unavailable_ = "no C.UTF-8 locale";
    else if (!std::filesystem::exists(germanCatalogue()))
        unavailable_ = "no German catalogue at " + germanCatalogue();
    ov::setUpModuleTranslations();
    forgetTranslations();
}

GermanLanguage::~GermanLanguage()
{
    restoreEnvironment("LANGUAGE", language_);
    restoreEnvironment("LC_ALL", lcAll_);
    setlocale(LC_ALL, locale_.c_str());
    forgetTranslations();
}

std::vector<std::string> englishLeft(const std::vector<std::string>& texts)
{
    static const auto patterns = [] {
        std::vector<std::pair<std::string, std::optional<std::regex>>> out;
        static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
        static const std::regex conversion(R"(%(l|z)?[sdu])");
        for (const auto& message : englishMessages()) {
            std::optional<std::regex> filled;
            if (message.find('%') != std::string::npos) {
                const std::string escaped = std::regex_replace(message, special, R"(\$&)");
                filled.emplace(std::regex_replace(escaped, conversion, R"([^\n]*)"));
            }
            out.emplace_back(message, std::move(filled));
        }
        return out;
    }();
    std::vector<std::string> left;
    for (const auto& text : texts) {
        for (const auto& [message, filled] : patterns) {
            if (text == message || (filled && std::regex_match(text, *filled))) {
                left.push_back(text);
                break;
            }
        }
    }
    return left;
}

} // namespace ovtest
