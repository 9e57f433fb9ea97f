// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLBundleResources.h"

#include "archive/OVPropertyList.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/ProductPaths.h"

namespace {

constexpr std::size_t kMaxResourceBytes = 4u << 20;

std::string resourcePath(const std::string& name) { return ov::pathByAppending(ov::resourcesPath(), name + ".plist"); }

std::optional<OVValue> propertyListAtPath(const std::string& path)
{
    auto data = ov::readFile(path, kMaxResourceBytes);
    if (!data)
        return std::nullopt;
    return ovplist::read(*data);
}

} // namespace

std::optional<OVValue::Array> hl_arrayFromPropertyListWithName(const std::string& name)
{
    const std::string path = resourcePath(name);
    if (name.empty() || name.find('/') != std::string::npos || !ov::pathExists(path))
        return std::nullopt;
    return hl_arrayFromPropertyListAtPath(path);
}

std::optional<OVValue::Array> hl_arrayFromPropertyListAtPath(const std::string& path)
{
    auto value = propertyListAtPath(path);
    if (!value)
        return std::nullopt;
    if (auto* array = std::get_if<OVValue::Array>(&value->value))
        return std::move(*array);
    ov::ovLog("Property list isn't an array");
    return std::nullopt;
}

std::optional<OVValue::Dictionary> hl_dictionaryFromPropertyListWithName(const std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
        return std::nullopt;
    auto value = propertyListAtPath(resourcePath(name));
    if (!value)
        return std::nullopt;
    if (auto* dictionary = std::get_if<OVValue::Dictionary>(&value->value))
        return std::move(*dictionary);
    return std::nullopt;
}
