// SPDX-License-Identifier: GPL-3.0-or-later
// The main-context discipline of every program: model work and callbacks on the GLib default
// main context, long work on named serial queues whose results come back to the main context.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace ov {

// Runs fn on the next turn of the default main context (g_idle_add). Safe from any thread.
void runOnNextTurn(std::function<void()> fn);

// Runs fn on the main thread: at once when called there, else on a later turn of the default main
// context, whether or not the main thread is iterating it at the moment of the call.
void invokeOnMain(std::function<void()> fn);

// Runs fn after the given delay on the main context; returns the GLib source id.
unsigned runAfter(unsigned milliseconds, std::function<void()> fn);

// Iterates the default main context until pred() is true or the timeout passes.
// For tests and for short command-line hosts only; never called from a GLib callback.
bool iterateMainUntil(const std::function<bool()>& pred, unsigned timeoutMilliseconds);

// Runs the default main context until the process is asked to end (SIGINT, SIGTERM, SIGHUP), for
// command-line hosts that stay and listen.
void runMainUntilTerminated();
// Ends runMainUntilTerminated as a termination request would; from the main context.
void endMainUntilTerminated();

// While alive, calls fn on the main context each time the process is asked to end (SIGINT,
// SIGTERM, SIGHUP) instead of letting the signal end it at once.
class TerminationSignalWatch {
public:
    explicit TerminationSignalWatch(std::function<void()> fn);
    ~TerminationSignalWatch();
    TerminationSignalWatch(const TerminationSignalWatch&) = delete;
    TerminationSignalWatch& operator=(const TerminationSignalWatch&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A serial dispatch queue: one worker thread named after the label, running blocks in order.
// The thread ends once the queue has been released and its blocks are done.
class SerialQueue {
public:
    static std::shared_ptr<SerialQueue> create(const std::string& label);
    ~SerialQueue();
    void async(std::function<void()> block);
    const std::string& label() const;

private:
    struct State;
    explicit SerialQueue(std::shared_ptr<State> s);
    std::shared_ptr<State> state_;
};

} // namespace ov
