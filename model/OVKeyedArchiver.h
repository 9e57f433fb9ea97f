// Writes the keyed-archive form of actions and values: a binary property list with "$archiver",
// "$version", "$top" and "$objects", each object under its class name.
#pragma once

#include "model/OVAction.h"
#include "model/OVValue.h"

#include <memory>
#include <optional>
#include <string>

class OVKeyedArchiver {
public:
    OVKeyedArchiver();
    ~OVKeyedArchiver();
    OVKeyedArchiver(const OVKeyedArchiver&) = delete;
    OVKeyedArchiver& operator=(const OVKeyedArchiver&) = delete;

    // Used by encodeWithCoder of the kinds; absent values are left out.
    void encodeBool(const char* key, bool value);
    void encodeString(const char* key, const std::optional<std::string>& value);
    void encodeStringList(const char* key, const std::optional<OVStringList>& value);
    void encodeURL(const char* key, const std::optional<std::string>& filePath);
    void encodeImage(const char* key, const std::optional<OVImage>& value);
    void encodeActions(const char* key, const OVActionList& actions);

    // Whole archives, as bytes of a binary property list.
    static std::string archivedDataWithRootActions(const OVActionList& actions);
    static std::string archivedDataWithRootValue(const OVValue& value);

    // "file://" and the path with every byte outside the unreserved and path characters
    // percent-encoded; a relative path gives a relative reference.
    static std::string fileURLStringWithPath(const std::string& path);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    friend struct Impl;
};
