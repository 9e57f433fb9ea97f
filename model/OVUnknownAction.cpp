// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVUnknownAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"

#include <algorithm>

bool OVUnknownAction::isActionClassChain(const std::vector<std::string>& classChain)
{
    return std::find(classChain.begin(), classChain.end(), OVAction::kClassName) != classChain.end();
}

OVActionPtr OVUnknownAction::withClass(const std::string& className, const std::vector<std::string>& classChain)
{
    // Names are written as C strings.
    const std::string name = className.substr(0, className.find('\0'));
    return OVActionPtr(new OVUnknownAction(std::make_shared<const OVOpaqueClass>(OVOpaqueClass{name, classChain})));
}

void OVUnknownAction::encodeWithCoder(OVKeyedArchiver& coder) const
{
    for (const auto& [key, value] : record_.members)
        coder.encodeAsRead(key, value);
}

void OVUnknownAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    // The base fields give the uid and the title the newer version knows it by; they are never
    // written, the record is.
    OVAction::initWithCoder(coder);
    record_ = coder.decodeObjectAsRead();
    record_.objectClass.reset();
    // Never offered, whatever the record says, and always removable.
    setEnabled(false);
    setIsDefault(false);
}

OVActionPtr OVUnknownAction::newEmptyInstance() const { return OVActionPtr(new OVUnknownAction(class_)); }

void OVUnknownAction::copyFieldsTo(OVAction& other) const
{
    OVAction::copyFieldsTo(other);
    static_cast<OVUnknownAction&>(other).record_ = record_;
}
