// SPDX-License-Identifier: GPL-3.0-or-later
// Messages as files in the application-group container: "<identifier>.archive" in the message
// folder, holding a keyed archive of the message object.
#pragma once

#include "messaging/OVWormholeTransiting.h"

#include <optional>
#include <string>

class OVWormholeFileTransiting : public OVWormholeTransiting {
public:
    OVWormholeFileTransiting(const std::string& applicationGroupIdentifier, const std::optional<std::string>& directory);

    // Identifiers become file names: one that is empty, contains '/' or NUL, is "." or "..", or
    // is too long for a file name counts as absent, so nothing lands outside the message folder.
    static bool isUsableIdentifier(const std::optional<std::string>& identifier);

    const std::string& applicationGroupIdentifier() const { return applicationGroupIdentifier_; }
    const std::optional<std::string>& directory() const { return directory_; }

    // The container folder, followed by the directory when one is given; created on each call.
    std::string messagePassingDirectoryPath() const;
    std::optional<std::string> filePathForIdentifier(const std::optional<std::string>& identifier) const;

    bool writeMessageObject(const std::optional<OVValue>& message, const std::optional<std::string>& identifier) override;
    std::optional<OVValue> messageObjectForIdentifier(const std::optional<std::string>& identifier) override;
    void deleteContentForIdentifier(const std::optional<std::string>& identifier) override;
    // Only with a directory: empties the message folder. The container's root is never emptied.
    void deleteContentForAllMessages() override;

protected:
    virtual bool writeMessageData(const std::string& path, const std::string& data);
    virtual std::optional<std::string> readMessageData(const std::string& path);

private:
    std::string applicationGroupIdentifier_;
    std::optional<std::string> directory_;
};
