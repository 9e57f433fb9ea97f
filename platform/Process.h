// SPDX-License-Identifier: GPL-3.0-or-later
// A child process whose standard output and standard error are read in pieces on the main
// context, and whose end is reported there.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ov {

class ChildProcess {
public:
    static constexpr int kReasonExit = 1;
    static constexpr int kReasonSignal = 2;

    struct Handlers {
        std::function<void(const std::string& chunk)> output;
        std::function<void(const std::string& chunk)> error;
        // reason is kReasonExit (status: exit status) or kReasonSignal (status: the signal).
        std::function<void(int reason, int status)> exit;
    };

    // After the child has ended, its pipes are read until they close, but no longer than this:
    // a background grandchild may keep them open for its whole life.
    static constexpr unsigned kDrainMilliseconds = 500;

    struct Options {
        std::optional<std::string> cwd;
        // Set in the child's environment on top of ours.
        std::vector<std::pair<std::string, std::string>> environment;
        // The child leads a session and process group of its own (its pid is the group's id), so
        // that what it starts can be stopped with it.
        bool ownProcessGroup = false;
    };

    // Starts argv[0] with argv as its arguments (searched in PATH when it holds no slash), in cwd
    // when given, standard input from /dev/null. Answers none and *error if it cannot start.
    // Handlers run on the main context; exit runs once, after every chunk read before it.
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv, const std::optional<std::string>& cwd,
                                               Handlers handlers, std::string* error = nullptr);
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& argv, const Options& options,
                                               Handlers handlers, std::string* error = nullptr);

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Stops reading and reporting; a child still running is left to run.
    ~ChildProcess();

    // Sends SIGTERM to a running child, then stops reading and reporting at once.
    void cancel();
    bool suspend(); // SIGSTOP; false when the child has ended
    bool resume();  // SIGCONT; false when the child has ended
    bool hasExited() const;
    int pid() const;

    struct State;

private:
    explicit ChildProcess(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

// Sends a signal to every process of a process group; false when none is left (or the group id
// is not one: 0, 1 and negative ids would reach far more than the group).
bool signalProcessGroup(int groupId, int signal);

// Runs argv (searched in PATH when argv[0] holds no slash) with its arguments as given, no shell,
// standard input from /dev/null, and waits for it to end. Answers its exit status, or -1 (and
// *error) when it could not start or was killed.
int runAndWait(const std::vector<std::string>& argv, std::string* error = nullptr);

// Starts argv (searched in PATH when argv[0] holds no slash) and lets it run on its own: not a
// child of this process (nothing to reap), standard input, output and error on /dev/null, so it
// holds no pipe of ours open. False (and *error) when it could not start.
bool startDetached(const std::vector<std::string>& argv, std::string* error = nullptr);

} // namespace ov
