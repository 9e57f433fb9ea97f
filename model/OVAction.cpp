// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVAction.h"

#include "archive/OVKeyedArchiver.h"
#include "archive/OVKeyedUnarchiver.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Translation.h"

#include <typeinfo>

std::string OVError::description() const
{
    return ov::stringPrintf("Error Domain=%s Code=%d \"%s\"", domain.c_str(), code, message.c_str());
}

namespace {

// The icon is left out when empty and reads back as the empty image, never as none.
struct IconArchive {
    static void encode(OVKeyedArchiver& c, const char* key, const std::optional<OVImage>& icon)
    {
        if (icon)
            icon->encodeWithCoder(c, key);
    }
    static std::optional<OVImage> decode(OVKeyedUnarchiver& c, const char* key)
    {
        return OVImage::imageWithCoder(c, key).value_or(OVImage());
    }
    static void copy(const std::optional<OVImage>& from, std::optional<OVImage>& to) { to = from.value_or(OVImage()); }
    // No icon and the empty one are stored alike.
    static bool equal(const std::optional<OVImage>& a, const std::optional<OVImage>& b)
    {
        return a.value_or(OVImage()) == b.value_or(OVImage());
    }
};

// An empty uid is not written; reading makes a new one afterwards.
struct UIDArchive {
    static void encode(OVKeyedArchiver& c, const char* key, const std::string& uid)
    {
        c.encodeString(key, uid.empty() ? std::nullopt : std::optional<std::string>(uid));
    }
    static std::string decode(OVKeyedUnarchiver& c, const char* key) { return c.decodeString(key).value_or(""); }
};

// A selection bound, added after the format was settled: written only when set, so an action
// without one archives as older releases wrote it. A bound out of range reads as none.
struct SelectionBoundArchive {
    static void encode(OVKeyedArchiver& c, const char* key, const std::optional<int>& v)
    {
        if (v)
            c.encodeInteger(key, *v);
    }
    static std::optional<int> decode(OVKeyedUnarchiver& c, const char* key)
    {
        return OVSelectionCounts::sanitized(c.decodeInteger(key), std::nullopt).minimum;
    }
};

} // namespace

OVSelectionCounts OVSelectionCounts::sanitized(std::optional<int64_t> minimum, std::optional<int64_t> maximum)
{
    auto bound = [](std::optional<int64_t> v) -> std::optional<int> {
        if (v && *v >= 1 && *v <= kMaxBound)
            return int(*v);
        return std::nullopt;
    };
    OVSelectionCounts counts{bound(minimum), bound(maximum)};
    if (counts.minimum && counts.maximum && *counts.minimum > *counts.maximum)
        return {};
    return counts;
}

void OVAction::setSelectionCounts(const OVSelectionCounts& counts)
{
    const OVSelectionCounts sane = OVSelectionCounts::sanitized(counts.minimum, counts.maximum);
    minimumSelection_ = sane.minimum;
    maximumSelection_ = sane.maximum;
}

auto OVAction::recordFields()
{
    return std::tuple{
        ovfield::boolean("enabled", &OVAction::enabled_),
        ovfield::string("title", &OVAction::title_),
        ovfield::field<IconArchive>("icon", &OVAction::icon_),
        ovfield::field<UIDArchive>("uid", &OVAction::uid_),
        ovfield::boolean("isDefault", &OVAction::isDefault_),
        ovfield::stringList("fileTypes", &OVAction::fileTypes_),
        ovfield::string("actionDescription", &OVAction::actionDescription_),
        ovfield::field<SelectionBoundArchive>("minimumSelectionCount", &OVAction::minimumSelection_),
        ovfield::field<SelectionBoundArchive>("maximumSelectionCount", &OVAction::maximumSelection_),
    };
}

void OVAction::init()
{
    isNew_ = true;
    title_ = defaultTitle();
    if (title_)
        title_ = ov::translate(title_->c_str());
    enabled_ = true;
    generateUID();
}

void OVAction::generateUID()
{
    std::string u = ov::newUUIDString();
    std::erase(u, '-');
    uid_ = std::move(u);
}

void OVAction::setIcon(const std::optional<OVImage>& image)
{
    icon_ = image.value_or(OVImage());
}

void OVAction::encodeWithCoder(OVKeyedArchiver& coder) const { ovfield::encodeAll(recordFields(), *this, coder); }

void OVAction::initWithCoder(OVKeyedUnarchiver& coder)
{
    ovfield::decodeAll(recordFields(), *this, coder);
    setSelectionCounts(selectionCounts());
    if (uid_.empty())
        generateUID();
}

OVActionPtr OVAction::copy() const
{
    OVActionPtr other = newEmptyInstance();
    copyFieldsTo(*other);
    return other;
}

void OVAction::copyFieldsTo(OVAction& other) const { ovfield::copyAll(recordFields(), *this, other); }

bool OVAction::isEqual(const OVAction& other) const
{
    return typeid(*this) == typeid(other) && classHierarchy() == other.classHierarchy() && fieldsEqual(other);
}

bool OVAction::fieldsEqual(const OVAction& other) const { return ovfield::equalAll(recordFields(), *this, other); }

std::string OVAction::description() const
{
    return ov::stringPrintf("<%s: %p title=%s>", className(), static_cast<const void*>(this),
                            title_ ? title_->c_str() : "(null)");
}
