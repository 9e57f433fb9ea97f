// SPDX-License-Identifier: GPL-3.0-or-later
// Storage strategies of the wormhole.
#pragma once

#include "platform/OVValue.h"

#include <optional>
#include <string>

class OVWormholeTransiting {
public:
    virtual ~OVWormholeTransiting() = default;
    // An absent identifier fails; an absent message succeeds without touching any file.
    virtual bool writeMessageObject(const std::optional<OVValue>& message, const std::optional<std::string>& identifier) = 0;
    virtual std::optional<OVValue> messageObjectForIdentifier(const std::optional<std::string>& identifier) = 0;
    virtual void deleteContentForIdentifier(const std::optional<std::string>& identifier) = 0;
    virtual void deleteContentForAllMessages() = 0;
};

class OVWormholeTransitingDelegate {
public:
    virtual ~OVWormholeTransitingDelegate() = default;
    virtual void notifyListenerForMessageWithIdentifier(const std::string& identifier, const std::optional<OVValue>& message) = 0;
};
