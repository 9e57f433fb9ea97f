// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/HLUserDefaults.h"

#include "archive/OVPropertyList.h"
#include "platform/PreferencesSuite.h"

#include <cctype>

namespace {
HLPreferencesSuite::Format propertyListFormat()
{
    return {
        [](std::string_view bytes) -> std::optional<OVValue::Dictionary> {
            auto root = ovplist::read(bytes);
            if (!root)
                return std::nullopt;
            auto* dict = std::get_if<OVValue::Dictionary>(&root->value);
            if (!dict)
                return std::nullopt;
            return std::move(*dict);
        },
        [](const OVValue::Dictionary& dict) { return ovplist::writeXML(OVValue(dict)); },
    };
}

std::string setterName(const std::string& property)
{
    std::string name = "set" + property + ":";
    name[3] = char(std::toupper(static_cast<unsigned char>(name[3])));
    return name;
}
} // namespace

HLUserDefaults::HLUserDefaults() = default;
HLUserDefaults::~HLUserDefaults() = default;

std::string HLUserDefaults::transformKey(const std::string& property) const
{
    return prefix_ ? *prefix_ + "." + property : property;
}

void HLUserDefaults::setUp(const std::vector<std::string>& properties)
{
    const std::string suite = suiteName();
    userDefaults_ = std::make_unique<HLPreferencesSuite>(suite, propertyListFormat());
    if (!suite.empty())
        prefix_ = suite;
    std::map<std::string, OVValue> registered;
    for (const auto& [property, value] : setupDefaults())
        registered[transformKey(property)] = value;
    userDefaults_->registerDefaults(registered);
    for (const auto& property : properties) {
        if (property.empty())
            continue;
        mapping_[property] = transformKey(property);
        mapping_[setterName(property)] = transformKey(property);
    }
}

namespace {
std::string keyFor(const std::map<std::string, std::string>& mapping, const std::string& accessor,
                   const std::string& fallback)
{
    auto it = mapping.find(accessor);
    return it != mapping.end() ? it->second : fallback;
}
} // namespace

bool HLUserDefaults::boolForProperty(const std::string& property) const
{
    return userDefaults_->boolForKey(keyFor(mapping_, property, transformKey(property)));
}

std::optional<OVValue> HLUserDefaults::objectForProperty(const std::string& property) const
{
    return userDefaults_->objectForKey(keyFor(mapping_, property, transformKey(property)));
}

void HLUserDefaults::setBoolForProperty(const std::string& property, bool value)
{
    setObjectForProperty(property, OVValue(value));
}

void HLUserDefaults::setObjectForProperty(const std::string& property, const std::optional<OVValue>& value)
{
    const std::string key = keyFor(mapping_, setterName(property), transformKey(property));
    userDefaults_->setObjectForKey(key, value);
    userDefaults_->synchronize();
    // Sent even when the write failed: listeners then read the values that are really there.
    didChangeValueForKey(key);
}

void HLUserDefaults::didChangeValueForKey(const std::string&) {}
