// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVImage.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"

void OVImage::encodeWithCoder(OVKeyedArchiver& coder, const char* key) const
{
    if (isEmpty())
        return;
    if (!png_.empty())
        coder.encodeData(key, png_);
    else
        coder.encodeString(key, serialized_);
}

std::optional<OVImage> OVImage::imageWithCoder(OVKeyedUnarchiver& coder, const char* key)
{
    if (auto png = coder.decodeData(key))
        return fromPNGData(std::move(*png));
    // Objects of the platform's image class are not readable.
    if (auto serialized = coder.decodeString(key))
        return fromSerialized(std::move(*serialized));
    return std::nullopt;
}
