// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLTaskHelper.h"

#include "archive/UTF8.h"
#include "platform/Log.h"
#include "platform/MainContext.h"
#include "platform/Process.h"

#include <algorithm>
#include <string_view>

struct HLTaskHelper::Impl {
    std::unique_ptr<ov::ChildProcess> process;
    // The readers hold the task runner until its process ends or it is cancelled.
    std::shared_ptr<HLTaskHelper> selfWhileRunning;
    bool failedStartPending = false;
    unsigned launchCount = 0;
    int lastPid = 0;
    int terminationStatus = 0;
    bool receivedErrorOutput = false;
    // A character split between two reads is put back together before decoding.
    std::string outputCarry;
    std::string errorCarry;
};

namespace {

bool isWhitespace(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A)
        || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Whether bytes are valid UTF-8 holding something besides whitespace and line ends.
bool hasVisibleText(std::string_view bytes)
{
    bool visible = false;
    for (size_t i = 0; i < bytes.size();) {
        auto c = ovutf8::decode(bytes, i);
        if (!c)
            return false;
        if (!isWhitespace(c->value))
            visible = true;
        i += c->length;
    }
    return visible;
}

// How many bytes at the end start a multi-byte character that the next read completes.
size_t incompleteTail(std::string_view bytes)
{
    size_t n = bytes.size();
    for (size_t back = 1; back <= 3 && back <= n; ++back) {
        auto b = static_cast<unsigned char>(bytes[n - back]);
        if ((b & 0xC0) == 0x80)
            continue;
        size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
        return back < length ? back : 0;
    }
    return 0;
}

} // namespace

HLTaskHelper::HLTaskHelper() : impl_(std::make_unique<Impl>()) {}

HLTaskHelper::~HLTaskHelper() = default;

std::shared_ptr<HLTaskHelper> HLTaskHelper::taskHelperWithTask(HLTask task)
{
    std::shared_ptr<HLTaskHelper> helper(new HLTaskHelper());
    helper->task_ = std::move(task);
    return helper;
}

bool HLTaskHelper::isRunning() const
{
    return impl_->process || impl_->failedStartPending;
}

int HLTaskHelper::pid() const
{
    return impl_->process ? impl_->process->pid() : impl_->lastPid;
}

void HLTaskHelper::launch()
{
    if (isRunning())
        return;
    auto self = shared_from_this();
    std::weak_ptr<HLTaskHelper> weak = self;
    std::vector<std::string> argv;
    argv.reserve(task_.arguments.size() + 1);
    argv.push_back(task_.launchPath);
    argv.insert(argv.end(), task_.arguments.begin(), task_.arguments.end());

    ov::ChildProcess::Handlers handlers;
    handlers.output = [weak](const std::string& chunk) {
        if (auto helper = weak.lock())
            helper->receiveChunk(chunk, false);
    };
    handlers.error = [weak](const std::string& chunk) {
        if (auto helper = weak.lock())
            helper->receiveChunk(chunk, true);
    };
    handlers.exit = [weak](int reason, int status) {
        if (auto helper = weak.lock())
            helper->taskCompleted(reason, status);
    };

    impl_->outputCarry.clear();
    impl_->errorCarry.clear();
    impl_->terminationStatus = 0;
    impl_->receivedErrorOutput = false;
    const unsigned launchNumber = ++impl_->launchCount;
    std::string error;
    ov::ChildProcess::Options options;
    options.cwd = task_.currentDirectoryPath;
    options.environment = task_.environment;
    options.ownProcessGroup = task_.ownProcessGroup;
    impl_->process = ov::ChildProcess::start(argv, options, std::move(handlers), &error);
    impl_->selfWhileRunning = self;
    if (impl_->process) {
        impl_->lastPid = impl_->process->pid();
        return;
    }

    // Callers wait for the end of every process they start, so a failed start must end too.
    ov::ovLog("Couldn't launch %s: %s", task_.launchPath.c_str(), error.c_str());
    impl_->lastPid = 0;
    impl_->failedStartPending = true;
    ov::runOnNextTurn([weak, launchNumber, error] {
        auto helper = weak.lock();
        if (!helper || !helper->impl_->failedStartPending || helper->impl_->launchCount != launchNumber)
            return;
        if (helper->delegate_)
            helper->delegate_->taskHelperDidReceiveBytes(*helper, error + "\n", true);
        if (helper->delegate_)
            helper->delegate_->taskHelperDidReceiveError(*helper, error + "\n");
        if (helper->impl_->failedStartPending && helper->impl_->launchCount == launchNumber)
            helper->taskCompleted(kTerminationReasonExit, 127); // as a shell says of a missing program
    });
}

void HLTaskHelper::receiveChunk(const std::string& chunk, bool isError)
{
    if (isError && chunk.find_first_not_of(" \t\r\n\v\f") != std::string::npos)
        impl_->receivedErrorOutput = true;
    if (delegate_)
        delegate_->taskHelperDidReceiveBytes(*this, chunk, isError);
    std::string& carry = isError ? impl_->errorCarry : impl_->outputCarry;
    std::string data = carry + chunk;
    carry.clear();
    size_t tail = incompleteTail(data);
    if (tail) {
        carry = data.substr(data.size() - tail);
        data.resize(data.size() - tail);
    }
    if (!hasVisibleText(data)) {
        // Stray bytes held back from the last read must not spoil a sound chunk.
        std::string_view alone(chunk.data(), chunk.size() - std::min(tail, chunk.size()));
        if (data.size() == alone.size() || !hasVisibleText(alone))
            return;
        data.assign(alone);
    }
    if (!delegate_)
        return;
    if (isError)
        delegate_->taskHelperDidReceiveError(*this, data);
    else
        delegate_->taskHelperDidReceiveOutput(*this, data);
}

int HLTaskHelper::terminationStatus() const { return impl_->terminationStatus; }

bool HLTaskHelper::receivedErrorOutput() const { return impl_->receivedErrorOutput; }

void HLTaskHelper::taskCompleted(int64_t terminationReason, int status)
{
    impl_->terminationStatus = status;
    // Cleaned up before the delegate hears of it, so the delegate may launch again or let go.
    auto keep = std::move(impl_->selfWhileRunning);
    auto ended = std::move(impl_->process);
    cleanup();
    if (delegate_)
        delegate_->taskHelperDidFinish(*this, terminationReason);
}

void HLTaskHelper::cancel()
{
    if (!isRunning())
        return;
    auto keep = std::move(impl_->selfWhileRunning);
    if (impl_->process)
        impl_->process->cancel();
    cleanup();
}

bool HLTaskHelper::suspend()
{
    return impl_->process && impl_->process->suspend();
}

bool HLTaskHelper::resume()
{
    return impl_->process && impl_->process->resume();
}

void HLTaskHelper::cleanup()
{
    auto keep = std::move(impl_->selfWhileRunning);
    impl_->process.reset();
    impl_->failedStartPending = false;
    impl_->outputCarry.clear();
    impl_->errorCarry.clear();
}
