// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVChangeSender.h"

#include "messaging/OVProtocol.h"

#include <mutex>

namespace {

std::mutex mutex;
OVChangeSender::Sender custom;

void postWormholeMessage(OVChange change)
{
    switch (change) {
    case OVChange::Actions:
        OVProtocol::postMessage(OVProtocol::kDidChangeNotification);
        break;
    case OVChange::Preferences:
        OVProtocol::postMessage(OVProtocol::kUserDefaultsDidChangeNotification);
        break;
    }
}

} // namespace

namespace OVChangeSender {

void set(Sender sender)
{
    std::lock_guard lock(mutex);
    custom = std::move(sender);
}

void send(OVChange change)
{
    Sender sender;
    {
        std::lock_guard lock(mutex);
        sender = custom;
    }
    if (sender)
        sender(change);
    else
        postWormholeMessage(change);
}

} // namespace OVChangeSender
