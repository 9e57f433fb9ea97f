// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Process.h"

#include "platform/GRef.h"
#include "platform/Log.h"

#include <gio/gio.h>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace ov {

struct ChildProcess::State {
    GRef<GSubprocess> process;
    GRef<GCancellable> cancellable{g_cancellable_new()};
    Handlers handlers;
    int pid = 0;
    bool stopped = false; // cancelled, destroyed or finished: nothing more is reported
    bool exited = false;
    bool outputClosed = false;
    bool errorClosed = false;
    int reason = 0;
    int status = 0;
    guint drainTimer = 0;
};

namespace {

using StatePtr = std::shared_ptr<ChildProcess::State>;
constexpr gsize kChunkSize = 64 * 1024;

// Every asynchronous operation holds the state until its callback has run.
struct ReadOp {
    StatePtr state;
    bool isError;
};

void stop(ChildProcess::State& s)
{
    s.stopped = true;
    g_cancellable_cancel(s.cancellable.get());
    if (s.drainTimer) {
        g_source_remove(s.drainTimer);
        s.drainTimer = 0;
    }
    s.handlers = {};
}

void finish(const StatePtr& state)
{
    if (state->stopped)
        return;
    auto exit = std::move(state->handlers.exit);
    stop(*state);
    if (exit)
        guarded("a process exit handler", [&] { exit(state->reason, state->status); });
}

void finishIfDone(const StatePtr& state)
{
    if (state->exited && state->outputClosed && state->errorClosed)
        finish(state);
}

void readNext(const StatePtr& state, bool isError);

void onRead(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<ReadOp> op(static_cast<ReadOp*>(data));
    GError* rawError = nullptr;
    GBytesPtr bytes(g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &rawError));
    GErrorPtr error(rawError);
    const StatePtr& state = op->state;
    if (state->stopped)
        return;
    gsize size = 0;
    const void* raw = bytes ? g_bytes_get_data(bytes.get(), &size) : nullptr;
    if (error || size == 0) {
        if (error && !g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))
            ovLog("Reading from process %d failed: %s", state->pid, error->message);
        (op->isError ? state->errorClosed : state->outputClosed) = true;
        guarded("a process reader", [&] { finishIfDone(state); });
        return;
    }
    // Copied: a handler may cancel, which clears the handlers while this one runs.
    auto handler = op->isError ? state->handlers.error : state->handlers.output;
    if (handler) {
        std::string chunk(static_cast<const char*>(raw), size);
        guarded("a process output handler", [&] { handler(chunk); });
    }
    if (!state->stopped)
        readNext(state, op->isError);
}

void readNext(const StatePtr& state, bool isError)
{
    GInputStream* stream = isError ? g_subprocess_get_stderr_pipe(state->process.get())
                                   : g_subprocess_get_stdout_pipe(state->process.get());
    g_input_stream_read_bytes_async(stream, kChunkSize, G_PRIORITY_DEFAULT, state->cancellable.get(), onRead,
                                    new ReadOp{state, isError});
}

gboolean onDrainTimeout(gpointer data)
{
    const StatePtr& state = *static_cast<StatePtr*>(data);
    state->drainTimer = 0;
    ovLog("Process %d ended but its output stays open; no longer reading it", state->pid);
    guarded("a process exit handler", [&] { finish(state); });
    return G_SOURCE_REMOVE;
}

void deleteStatePtr(gpointer data) { delete static_cast<StatePtr*>(data); }

void onWaited(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<StatePtr> holder(static_cast<StatePtr*>(data));
    const StatePtr& state = *holder;
    GError* rawError = nullptr;
    gboolean ok = g_subprocess_wait_finish(G_SUBPROCESS(source), result, &rawError);
    GErrorPtr error(rawError);
    if (state->stopped)
        return;
    GSubprocess* process = state->process.get();
    state->exited = true;
    if (!ok) {
        // Reported as an ordinary end rather than never.
        ovLog("Waiting for process %d failed: %s", state->pid, error ? error->message : "unknown error");
        state->reason = ChildProcess::kReasonExit;
    } else if (g_subprocess_get_if_signaled(process)) {
        state->reason = ChildProcess::kReasonSignal;
        state->status = g_subprocess_get_term_sig(process);
    } else {
        state->reason = ChildProcess::kReasonExit;
        state->status = g_subprocess_get_if_exited(process) ? g_subprocess_get_exit_status(process) : 0;
    }
    if (state->outputClosed && state->errorClosed) {
        guarded("a process exit handler", [&] { finish(state); });
        return;
    }
    state->drainTimer = g_timeout_add_full(G_PRIORITY_DEFAULT, ChildProcess::kDrainMilliseconds, onDrainTimeout,
                                           new StatePtr(state), deleteStatePtr);
}

} // namespace

ChildProcess::ChildProcess(std::shared_ptr<State> state) : state_(std::move(state)) {}

ChildProcess::~ChildProcess()
{
    stop(*state_);
}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv, const std::optional<std::string>& cwd,
                                                  Handlers handlers, std::string* error)
{
    Options options;
    options.cwd = cwd;
    return start(argv, options, std::move(handlers), error);
}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv, const Options& options,
                                                  Handlers handlers, std::string* error)
{
    if (argv.empty() || argv.front().empty()) {
        if (error)
            *error = "No program to run";
        return nullptr;
    }
    std::vector<const char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv)
        args.push_back(a.c_str());
    args.push_back(nullptr);

    GRef<GSubprocessLauncher> launcher(
        g_subprocess_launcher_new(GSubprocessFlags(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_PIPE)));
    if (options.cwd)
        g_subprocess_launcher_set_cwd(launcher.get(), options.cwd->c_str());
    for (const auto& [name, value] : options.environment)
        g_subprocess_launcher_setenv(launcher.get(), name.c_str(), value.c_str(), TRUE);
    if (options.ownProcessGroup)
        g_subprocess_launcher_set_child_setup(launcher.get(), [](gpointer) { setsid(); }, nullptr, nullptr);
    GError* rawError = nullptr;
    GRef<GSubprocess> process(g_subprocess_launcher_spawnv(launcher.get(), args.data(), &rawError));
    GErrorPtr spawnError(rawError);
    if (!process) {
        if (error)
            *error = spawnError ? spawnError->message : "unknown error";
        return nullptr;
    }

    auto state = std::make_shared<State>();
    state->process = std::move(process);
    state->handlers = std::move(handlers);
    if (const char* id = g_subprocess_get_identifier(state->process.get()))
        state->pid = std::atoi(id);
    readNext(state, false);
    readNext(state, true);
    g_subprocess_wait_async(state->process.get(), state->cancellable.get(), onWaited, new StatePtr(state));
    return std::unique_ptr<ChildProcess>(new ChildProcess(state));
}

void ChildProcess::cancel()
{
    if (!state_->exited)
        g_subprocess_send_signal(state_->process.get(), SIGTERM);
    stop(*state_);
}

bool ChildProcess::suspend()
{
    if (state_->exited || !g_subprocess_get_identifier(state_->process.get()))
        return false;
    g_subprocess_send_signal(state_->process.get(), SIGSTOP);
    return true;
}

bool ChildProcess::resume()
{
    if (state_->exited || !g_subprocess_get_identifier(state_->process.get()))
        return false;
    g_subprocess_send_signal(state_->process.get(), SIGCONT);
    return true;
}

bool ChildProcess::hasExited() const { return state_->exited; }

int ChildProcess::pid() const { return state_->pid; }

bool signalProcessGroup(int groupId, int signal)
{
    if (groupId <= 1)
        return false;
    return ::kill(-groupId, signal) == 0;
}

int runAndWait(const std::vector<std::string>& argv, std::string* error)
{
    if (argv.empty()) {
        if (error)
            *error = "nothing to run";
        return -1;
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    gint wait = 0;
    GError* raw = nullptr;
    const bool ran = g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                                  nullptr, &wait, &raw);
    GErrorPtr failure(raw);
    if (!ran) {
        if (error)
            *error = failure ? failure->message : "cannot start " + argv[0];
        return -1;
    }
    if (!WIFEXITED(wait)) {
        if (error)
            *error = argv[0] + " was killed";
        return -1;
    }
    return WEXITSTATUS(wait);
}

bool startDetached(const std::vector<std::string>& argv, std::string* error)
{
    if (argv.empty()) {
        if (error)
            *error = "nothing to run";
        return false;
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    GError* raw = nullptr;
    // Without DO_NOT_REAP_CHILD GLib starts it through an intermediate child that ends at once.
    const auto flags = GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL | G_SPAWN_STDOUT_TO_DEV_NULL |
                                   G_SPAWN_STDERR_TO_DEV_NULL);
    const bool started = g_spawn_async(nullptr, args.data(), nullptr, flags, nullptr, nullptr, nullptr, &raw);
    GErrorPtr failure(raw);
    if (!started && error)
        *error = failure ? failure->message : "cannot start " + argv[0];
    return started;
}

} // namespace ov
