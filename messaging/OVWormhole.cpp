// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVWormhole.h"

#include "messaging/OVWormholeCoordinatedFileTransiting.h"
#include "messaging/OVWormholeFileTransiting.h"
#include "platform/Doorbell.h"
#include "platform/Log.h"
#include "platform/MainContext.h"

#include <sstream>

struct OVWormhole::Impl {
    OVWormholeFileTransiting* files = nullptr; // the messenger, as the file strategy it always is
    std::unique_ptr<ov::DoorbellListener> doorbells; // made on the first listen
};

namespace {
// The group and directory name folders of the container: neither may climb out of it.
bool isUsableGroup(const std::string& group) { return ov::isValidDoorbellName(group); }

bool isUsableDirectory(const std::string& directory)
{
    if (directory.front() == '/' || directory.find('\0') != std::string::npos)
        return false;
    std::istringstream parts(directory);
    for (std::string part; std::getline(parts, part, '/');)
        if (part == "..")
            return false;
    return true;
}
} // namespace

OVWormhole::OVWormhole() : impl_(std::make_unique<Impl>()) {}

OVWormhole::~OVWormhole() = default;

std::shared_ptr<OVWormhole> OVWormhole::create(const std::string& applicationGroupIdentifier,
                                               const std::optional<std::string>& directory, int transitingType)
{
    std::optional<std::string> folder = directory && !directory->empty() ? directory : std::nullopt;
    if (!isUsableGroup(applicationGroupIdentifier) || (folder && !isUsableDirectory(*folder)))
        return nullptr;
    std::shared_ptr<OVWormhole> wormhole(new OVWormhole());
    std::unique_ptr<OVWormholeFileTransiting> messenger;
    if (transitingType == 1)
        messenger = std::make_unique<OVWormholeCoordinatedFileTransiting>(applicationGroupIdentifier, folder);
    else
        messenger = std::make_unique<OVWormholeFileTransiting>(applicationGroupIdentifier, folder);
    wormhole->impl_->files = messenger.get();
    wormhole->wormholeMessenger_ = std::move(messenger);
    return wormhole;
}

void OVWormhole::passMessageObject(const std::optional<OVValue>& message, const std::optional<std::string>& identifier)
{
    if (!wormholeMessenger_->writeMessageObject(message, identifier))
        return;
    if (!ov::ringDoorbell(impl_->files->messagePassingDirectoryPath(), *identifier))
        ov::ovLog("Could not post %s", identifier->c_str());
}

std::optional<OVValue> OVWormhole::messageWithIdentifier(const std::string& identifier)
{
    return wormholeMessenger_->messageObjectForIdentifier(identifier);
}

void OVWormhole::clearMessageContentsForIdentifier(const std::string& identifier)
{
    wormholeMessenger_->deleteContentForIdentifier(identifier);
}

void OVWormhole::clearAllMessageContents() { wormholeMessenger_->deleteContentForAllMessages(); }

void OVWormhole::listenForMessageWithIdentifier(const std::optional<std::string>& identifier, Listener listener)
{
    if (!OVWormholeFileTransiting::isUsableIdentifier(identifier))
        return;
    listenerBlocks_[*identifier] = std::move(listener);
    if (!impl_->doorbells) {
        impl_->doorbells = ov::DoorbellListener::create(impl_->files->messagePassingDirectoryPath());
        if (!impl_->doorbells)
            return;
    }
    // The doorbells belong to this wormhole and go with it, so `this` outlives every ring.
    impl_->doorbells->listen(*identifier, [this, name = *identifier] {
        notifyListenerForMessageWithIdentifier(name, wormholeMessenger_->messageObjectForIdentifier(name));
    });
}

void OVWormhole::stopListeningForMessageWithIdentifier(const std::optional<std::string>& identifier)
{
    if (!identifier)
        return;
    listenerBlocks_.erase(*identifier);
    if (impl_->doorbells)
        impl_->doorbells->stopListening(*identifier);
}

void OVWormhole::notifyListenerForMessageWithIdentifier(const std::string& identifier, const std::optional<OVValue>& message)
{
    if (!listenerBlocks_.count(identifier))
        return;
    // The listener is looked up when it runs: one stopped meanwhile is not called, one replaced
    // meanwhile gives way to its successor.
    ov::runOnNextTurn([weak = weak_from_this(), identifier, message] {
        auto self = weak.lock();
        if (!self)
            return;
        auto it = self->listenerBlocks_.find(identifier);
        if (it == self->listenerBlocks_.end() || !it->second)
            return;
        Listener listener = it->second;
        listener(message);
    });
}
