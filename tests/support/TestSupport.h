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
    std::string makeFolder(const std::string& relative) const;
    std::string writeFile(const std::string& relative, const std::string& content) const;

private:
    std::string root_;
    std::string oldData_, oldConfig_;
    bool hadData_ = false, hadConfig_ = false;
};

// Collects log lines while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(const std::string& fragment) const;

private:
    struct State;
    State* state_;
};

// Pumps the default main context until pred is true, at most timeoutMs; returns pred().
bool pumpUntil(const std::function<bool()>& pred, unsigned timeoutMs = 5000);
// Pumps the default main context for the given time.
void pumpFor(unsigned ms);

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

} // namespace ovtest
