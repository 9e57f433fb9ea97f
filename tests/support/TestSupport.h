// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by every test program: private XDG folders per test, log capture and loop pumping.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

typedef struct _GSubprocess GSubprocess;

namespace ovtest {

// Makes a fresh temporary home with its own XDG_DATA_HOME and XDG_CONFIG_HOME, removed again
// when the object goes away.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::string& path() const { return root_; }
    std::string dataHome() const;
    std::string configHome() const;
    std::string cacheHome() const;
    std::string makeFolder(const std::string& relative) const;
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::string root_;
    std::string oldData_, oldConfig_, oldCache_;
    bool hadData_ = false, hadConfig_ = false, hadCache_ = false;
};

// Collects log lines while alive. Captures nest: an inner one passes its lines on to the outer
// one and hands the log back to it when it goes.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;

    struct State;

private:
    State* state_;
};

// Runs an undo step when it goes away, however the test ends: for hooks, sinks and seams that a
// test installs in global state.
class Restore {
public:
    explicit Restore(std::function<void()> undo) : undo_(std::move(undo)) {}
    ~Restore()
    {
        if (undo_)
            undo_();
    }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    std::function<void()> undo_;
};

// Sets (or with none, removes) an environment variable and puts back what was there before.
class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Pumps the default main context until pred is true, at most timeoutMs; returns pred(). pred is
// also checked every few milliseconds, so it may watch what does not wake the loop (another
// process, a worker thread, a child being reaped).
bool pumpUntil(const std::function<bool()>& pred, unsigned timeoutMs = 5000);

// Pumps until everything already queued on the default main context has run, and whatever that
// queued in turn: a marker at the lowest priority runs only in a turn where nothing else is ready.
bool pumpPending(unsigned timeoutMs = 5000);

// Bounds a check that a timer does NOT fire: pumps until a marker timer due ms from now has run.
// The loop dispatches every timer that is due in the turn it notices them, and the marker yields
// to all of them, so each timer due by then (and what it queued) has run first.
bool pumpPastTimersDueWithin(unsigned ms);

// Calls fn on the main context after ms, ahead of everything of default priority that is due in
// the same turn. For steps that must happen before a timer under test can fire, however late the
// loop wakes.
void runFirstAfter(unsigned ms, std::function<void()> fn);

// Runs this test program again as a child that runs only the given (disabled) test, with
// envVariable=mode in its environment and the same XDG folders; *succeeded is set when it ends.
// Returns the child (unref it) or none after reporting a failure.
GSubprocess* spawnSelfAsChild(const std::string& disabledTest, const char* envVariable, const std::string& mode,
                              std::optional<bool>* succeeded);

// What a program printed and how it ended (its exit status, -1 when killed or not started).
struct ToolResult {
    int status = -1;
    std::string out, err;
};
// Runs a program and waits for it; env, when given, replaces the environment; cwd, when not
// empty, is where it starts.
ToolResult runTool(const std::vector<std::string>& argv, const std::optional<std::vector<std::string>>& env = {},
                   const std::string& cwd = {});

std::string readAll(const std::string& path);
void removeTree(const std::string& path);
// The pieces of text between the separators (one piece more than there are separators).
std::vector<std::string> splitText(const std::string& text, char separator = '\n');

// While it lives, this program and the programs it starts speak German (LANGUAGE=de in a UTF-8
// locale, the catalogues of the build tree); the language before it comes back after it.
class GermanLanguage {
public:
    GermanLanguage();
    ~GermanLanguage();
    GermanLanguage(const GermanLanguage&) = delete;
    GermanLanguage& operator=(const GermanLanguage&) = delete;
    // Why German cannot be spoken here (no UTF-8 locale, no compiled catalogue), or empty.
    const std::string& unavailable() const { return unavailable_; }

private:
    std::optional<std::string> language_, lcAll_;
    std::string locale_;
    std::string unavailable_;
};

// The texts among these that are English left untranslated: equal to a message of the German
// catalogue whose German differs from it, or written from one with its %s, %ld... filled in.
std::vector<std::string> englishLeft(const std::vector<std::string>& texts);

} // namespace ovtest
