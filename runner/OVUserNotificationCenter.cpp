// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/OVUserNotificationCenter.h"

#include "platform/MainContext.h"

namespace {
OVUserNotificationCenter::Sink& sink()
{
    static OVUserNotificationCenter::Sink s; // set once at start-up, used on the main context
    return s;
}
OVActivationCenter::Observer& enableObserver()
{
    static OVActivationCenter::Observer o;
    return o;
}
OVActivationCenter::Observer& disableObserver()
{
    static OVActivationCenter::Observer o;
    return o;
}
} // namespace

void OVUserNotificationCenter::deliverNotification(const OVUserNotification& notification)
{
    ov::invokeOnMain([notification] {
        if (sink())
            sink()(notification);
    });
}

void OVUserNotificationCenter::setSink(Sink s) { sink() = std::move(s); }

void OVActivationCenter::postEnableActivation()
{
    if (enableObserver())
        enableObserver()();
}

void OVActivationCenter::postDisableActivation()
{
    if (disableObserver())
        disableObserver()();
}

void OVActivationCenter::setObservers(Observer enable, Observer disable)
{
    enableObserver() = std::move(enable);
    disableObserver() = std::move(disable);
}
