// SPDX-License-Identifier: GPL-3.0-or-later
// A callback timer on the main context.
#pragma once

#include "platform/OVValue.h"

#include <functional>
#include <memory>
#include <string>

class HLTimer : public std::enable_shared_from_this<HLTimer> {
public:
    using Callback = std::function<void(HLTimer&)>;

    // Makes a timer, starts it and answers it. While scheduled, the main context keeps it alive.
    static std::shared_ptr<HLTimer> timerWithInterval(double interval, bool repeats, OVValue userInfo, Callback didFinishBlock);
    static std::shared_ptr<HLTimer> timerWithInterval(double interval, bool repeats, Callback didFinishBlock);
    ~HLTimer();

    void run();                 // (re)starts the countdown from zero
    void invalidate();          // stops it and drops the callback
    void invalidateTimerOnly(); // stops it, keeps the callback
    void timerDidFinish();

    double interval() const { return interval_; }
    bool repeats() const { return repeats_; }
    const OVValue& userInfo() const { return userInfo_; }
    bool isScheduled() const { return source_ != 0; }
    std::string description() const;

private:
    HLTimer() = default;
    double interval_ = 0;
    bool repeats_ = false;
    OVValue userInfo_;
    Callback didFinishBlock_;
    unsigned source_ = 0;
    std::shared_ptr<HLTimer> selfWhileScheduled_;
};
