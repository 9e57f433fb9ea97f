// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLTimer.h"

#include "platform/Log.h"
#include "platform/Timer.h"

#include <climits>
#include <cmath>

namespace {

// The platform timers count whole milliseconds.
unsigned millisecondsFor(double interval, bool repeats)
{
    double ms = std::isfinite(interval) ? std::round(interval * 1000.0) : 0.0;
    if (std::isinf(interval) && interval > 0)
        ms = double(UINT_MAX);
    if (ms < 0)
        ms = 0;
    if (ms > double(UINT_MAX))
        ms = double(UINT_MAX);
    // A repeating timer of no length would spin the main context.
    if (repeats && ms < 1)
        ms = 1;
    return unsigned(ms);
}

std::string describe(const OVValue& value)
{
    struct Visitor {
        std::string operator()(std::monostate) const { return "(null)"; }
        std::string operator()(bool b) const { return b ? "1" : "0"; }
        std::string operator()(int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return ov::stringPrintf("%g", d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const OVData& d) const
        {
            std::string out = "<";
            for (size_t i = 0; i < d.bytes.size(); ++i) {
                if (i && i % 4 == 0)
                    out += ' ';
                out += ov::stringPrintf("%02x", unsigned(static_cast<unsigned char>(d.bytes[i])));
            }
            return out + ">";
        }
        std::string operator()(const OVValue::Array& a) const
        {
            std::string out = "(";
            for (size_t i = 0; i < a.size(); ++i)
                out += (i ? ", " : "") + describe(a[i]);
            return out + ")";
        }
        std::string operator()(const OVValue::Dictionary& d) const
        {
            std::string out = "{";
            for (const auto& [key, v] : d)
                out += key + " = " + describe(v) + "; ";
            return out + "}";
        }
    };
    return std::visit(Visitor{}, value.value);
}

} // namespace

std::shared_ptr<HLTimer> HLTimer::timerWithInterval(double interval, bool repeats, OVValue userInfo, Callback didFinishBlock)
{
    std::shared_ptr<HLTimer> timer(new HLTimer());
    timer->interval_ = interval;
    timer->repeats_ = repeats;
    timer->userInfo_ = std::move(userInfo);
    timer->didFinishBlock_ = std::move(didFinishBlock);
    timer->run();
    return timer;
}

std::shared_ptr<HLTimer> HLTimer::timerWithInterval(double interval, bool repeats, Callback didFinishBlock)
{
    return timerWithInterval(interval, repeats, OVValue(), std::move(didFinishBlock));
}

HLTimer::~HLTimer()
{
    ov::cancelTimer(source_);
}

void HLTimer::run()
{
    auto keep = shared_from_this();
    ov::cancelTimer(source_);
    source_ = 0;
    std::weak_ptr<HLTimer> weak = keep;
    source_ = ov::scheduleTimer(millisecondsFor(interval_, repeats_), repeats_, [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        if (!self->repeats_) {
            // The one-shot source removes itself after this call.
            self->source_ = 0;
            self->selfWhileScheduled_.reset();
        }
        self->timerDidFinish();
    });
    selfWhileScheduled_ = std::move(keep);
}

void HLTimer::invalidate()
{
    auto keep = weak_from_this().lock();
    invalidateTimerOnly();
    didFinishBlock_ = nullptr;
}

void HLTimer::invalidateTimerOnly()
{
    ov::cancelTimer(source_);
    source_ = 0;
    // Letting go of ourselves last: this may be the final reference.
    auto release = std::move(selfWhileScheduled_);
}

void HLTimer::timerDidFinish()
{
    if (!didFinishBlock_)
        return;
    // The callback may invalidate this timer, which drops the stored callback while it runs.
    auto keep = weak_from_this().lock();
    Callback callback = didFinishBlock_;
    callback(*this);
}

std::string HLTimer::description() const
{
    return ov::stringPrintf("<HLTimer %p, interval=%f, repeats=%s, userInfo=%s>", static_cast<const void*>(this), interval_,
                            repeats_ ? "YES" : "NO", describe(userInfo_).c_str());
}
