// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MainContext.h"

#include "platform/Log.h"

#include <glib.h>
#include <glib-unix.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <sys/syscall.h>
#include <thread>
#include <vector>
#include <utility>
#include <unistd.h>

namespace ov {
namespace {

struct Block {
    std::function<void()> fn;
};

gboolean runBlockOnce(gpointer data)
{
    auto* block = static_cast<Block*>(data);
    guarded("a block on the main context", block->fn);
    return G_SOURCE_REMOVE;
}

void destroyBlock(gpointer data) { delete static_cast<Block*>(data); }

// The process's first thread iterates the default context in every program that links this.
bool onMainThread() { return ::syscall(SYS_gettid) == ::getpid(); }

} // namespace

void runOnNextTurn(std::function<void()> fn)
{
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, runBlockOnce, new Block{std::move(fn)}, destroyBlock);
    g_source_attach(source, nullptr);
    g_source_unref(source);
}

void invokeOnMain(std::function<void()> fn)
{
    // Not g_main_context_invoke: it runs the block on the calling thread whenever the main thread
    // is not iterating at that moment. An attached source wakes the context and waits its turn.
    if (onMainThread())
        guarded("a block on the main context", fn);
    else
        runOnNextTurn(std::move(fn));
}

unsigned runAfter(unsigned milliseconds, std::function<void()> fn)
{
    return g_timeout_add_full(G_PRIORITY_DEFAULT, milliseconds, runBlockOnce, new Block{std::move(fn)}, destroyBlock);
}

bool iterateMainUntil(const std::function<bool()>& pred, unsigned timeoutMilliseconds)
{
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMilliseconds) * 1000;
    bool timedOut = false;
    guint timer = g_timeout_add(timeoutMilliseconds, [](gpointer p) -> gboolean {
        *static_cast<bool*>(p) = true;
        return G_SOURCE_REMOVE;
    }, &timedOut);
    while (!pred()) {
        if (timedOut || g_get_monotonic_time() > deadline) {
            if (!timedOut)
                g_source_remove(timer);
            return pred();
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    if (!timedOut)
        g_source_remove(timer);
    return true;
}

namespace {
GMainLoop* terminableLoop = nullptr; // main context only
} // namespace

void endMainUntilTerminated()
{
    if (terminableLoop)
        g_main_loop_quit(terminableLoop);
}

void runMainUntilTerminated()
{
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    GMainLoop* outer = std::exchange(terminableLoop, loop);
    auto quit = [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_CONTINUE;
    };
    const guint sources[] = {g_unix_signal_add(SIGINT, quit, loop), g_unix_signal_add(SIGTERM, quit, loop),
                             g_unix_signal_add(SIGHUP, quit, loop)};
    g_main_loop_run(loop);
    terminableLoop = outer;
    for (guint source : sources)
        g_source_remove(source);
    g_main_loop_unref(loop);
}

struct TerminationSignalWatch::State {
    std::function<void()> fn;
    std::vector<guint> sources;
};

TerminationSignalWatch::TerminationSignalWatch(std::function<void()> fn) : state_(std::make_unique<State>())
{
    state_->fn = std::move(fn);
    auto handler = [](gpointer data) -> gboolean {
        guarded("a termination signal", static_cast<State*>(data)->fn);
        return G_SOURCE_CONTINUE;
    };
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        state_->sources.push_back(g_unix_signal_add(signal, handler, state_.get()));
}

TerminationSignalWatch::~TerminationSignalWatch()
{
    for (guint source : state_->sources)
        g_source_remove(source);
}

struct SerialQueue::State {
    std::string label;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> blocks;
    bool released = false;
    bool threadRunning = false;
};

SerialQueue::SerialQueue(std::shared_ptr<State> s) : state_(std::move(s)) {}

std::shared_ptr<SerialQueue> SerialQueue::create(const std::string& label)
{
    auto state = std::make_shared<State>();
    state->label = label;
    return std::shared_ptr<SerialQueue>(new SerialQueue(state));
}

SerialQueue::~SerialQueue()
{
    std::lock_guard lock(state_->mutex);
    state_->released = true;
    state_->wake.notify_all();
}

const std::string& SerialQueue::label() const { return state_->label; }

void SerialQueue::async(std::function<void()> block)
{
    std::lock_guard lock(state_->mutex);
    state_->blocks.push_back(std::move(block));
    if (state_->threadRunning) {
        state_->wake.notify_all();
        return;
    }
    state_->threadRunning = true;
    std::thread([state = state_] {
        // Thread names are limited to 15 characters; keep the end of the label, which differs.
        std::string name = state->label.size() > 15 ? state->label.substr(state->label.size() - 15) : state->label;
        pthread_setname_np(pthread_self(), name.c_str());
        std::unique_lock lock(state->mutex);
        for (;;) {
            state->wake.wait(lock, [&] { return !state->blocks.empty() || state->released; });
            if (state->blocks.empty()) {
                state->threadRunning = false;
                return;
            }
            auto fn = std::move(state->blocks.front());
            state->blocks.pop_front();
            lock.unlock();
            guarded(state->label.c_str(), fn);
            lock.lock();
        }
    }).detach();
}

} // namespace ov
