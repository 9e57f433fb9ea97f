// SPDX-License-Identifier: GPL-3.0-or-later
// Preferences bound to keys of a preferences suite: the base of OVUserDefaults.
#pragma once

#include "platform/OVValue.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HLPreferencesSuite; // platform: a property-list file read through on every get

class HLUserDefaults {
public:
    virtual ~HLUserDefaults();

    // The suite name, or empty for the process's own domain (keys then get no prefix).
    virtual std::string suiteName() const { return {}; }
    // Registered defaults keyed by property name.
    virtual std::map<std::string, OVValue> setupDefaults() const { return {}; }

    const std::optional<std::string>& prefix() const { return prefix_; }
    std::string transformKey(const std::string& property) const;
    const std::map<std::string, std::string>& mapping() const { return mapping_; }

    bool boolForProperty(const std::string& property) const;
    void setBoolForProperty(const std::string& property, bool value);
    std::optional<OVValue> objectForProperty(const std::string& property) const;
    void setObjectForProperty(const std::string& property, const std::optional<OVValue>& value);

protected:
    HLUserDefaults();
    // Opens the suite, registers the defaults and records the accessor mapping of the given
    // properties; subclasses call it from their own creation.
    void setUp(const std::vector<std::string>& properties);
    // Called after every write with the stored key.
    virtual void didChangeValueForKey(const std::string& key);

    std::unique_ptr<HLPreferencesSuite> userDefaults_;

private:
    std::optional<std::string> prefix_;
    std::map<std::string, std::string> mapping_;
};
