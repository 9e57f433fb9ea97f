// SPDX-License-Identifier: GPL-3.0-or-later
// Named messages between the programs: an optional message file in the container, and a
// machine-wide wake-up by name. Listeners run asynchronously on the main context.
#pragma once

#include "messaging/OVWormholeTransiting.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class OVWormhole : public OVWormholeTransitingDelegate, public std::enable_shared_from_this<OVWormhole> {
public:
    using Listener = std::function<void(const std::optional<OVValue>& message)>;

    // None when the container cannot be located. transitingType 1: coordinated files.
    static std::shared_ptr<OVWormhole> create(const std::string& applicationGroupIdentifier,
                                              const std::optional<std::string>& directory,
                                              int transitingType = 0);
    ~OVWormhole() override;

    void passMessageObject(const std::optional<OVValue>& message, const std::optional<std::string>& identifier);
    std::optional<OVValue> messageWithIdentifier(const std::string& identifier);
    void clearMessageContentsForIdentifier(const std::string& identifier);
    void clearAllMessageContents();
    void listenForMessageWithIdentifier(const std::optional<std::string>& identifier, Listener listener);
    void stopListeningForMessageWithIdentifier(const std::optional<std::string>& identifier);
    void notifyListenerForMessageWithIdentifier(const std::string& identifier, const std::optional<OVValue>& message) override;

    OVWormholeTransiting& wormholeMessenger() { return *wormholeMessenger_; }

    struct Impl;

private:
    OVWormhole();
    std::unique_ptr<OVWormholeTransiting> wormholeMessenger_;
    std::map<std::string, Listener> listenerBlocks_;
    std::unique_ptr<Impl> impl_;
};
