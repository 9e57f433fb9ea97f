// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionArchive.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVSecureRemoveAction.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <string>

namespace {

std::string xmlOf(const std::string& binary)
{
    plist_t root = nullptr;
    plist_from_bin(binary.data(), uint32_t(binary.size()), &root);
    EXPECT_TRUE(root);
    if (!root)
        return {};
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::string text(xml, length);
    std::free(xml);
    plist_free(root);
    return text;
}

std::string binaryOf(const std::string& xml)
{
    plist_t root = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &root);
    EXPECT_TRUE(root);
    if (!root)
        return {};
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    std::string bytes(bin, length);
    std::free(bin);
    plist_free(root);
    return bytes;
}

void replaceAll(std::string& s, const std::string& from, const std::string& to)
{
    for (auto at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

} // namespace

TEST(CompressPasswordAction, StrongEncryptionIsStoredAndReadBack)
{
    auto strong = OVAction::action<OVCompressPasswordAction>();
    strong->setStrongEncryption(true);
    auto traditional = OVAction::action<OVCompressPasswordAction>();
    auto read = OVActionArchive::unarchiveActions(OVActionArchive::archivedDataWithRootActions({strong, traditional}));
    ASSERT_TRUE(read && read->size() == 2);
    auto* first = dynamic_cast<OVCompressPasswordAction*>((*read)[0].get());
    auto* second = dynamic_cast<OVCompressPasswordAction*>((*read)[1].get());
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->strongEncryption());
    EXPECT_FALSE(second->strongEncryption());
    auto copy = strong->copy();
    EXPECT_TRUE(copy->isEqual(*strong));
    dynamic_cast<OVCompressPasswordAction&>(*copy).setStrongEncryption(false);
    EXPECT_FALSE(copy->isEqual(*strong)) << "a changed choice is a change to save";
}

// Without the choice an action is written as before the choice existed: the record of a kind
// with no fields of its own, and no key an older reader would have to skip.
TEST(CompressPasswordAction, WithoutStrongEncryptionTheArchiveIsTheOldOne)
{
    auto plain = OVAction::action<OVSecureRemoveAction>();
    plain->setTitle("Zip it");
    std::string old = xmlOf(OVActionArchive::archivedDataWithRootActions({plain}));
    replaceAll(old, OVSecureRemoveAction::kClassName, OVCompressPasswordAction::kClassName);
    ASSERT_EQ(old.find("strongEncryption"), std::string::npos);

    auto read = OVActionArchive::unarchiveActions(binaryOf(old));
    ASSERT_TRUE(read && read->size() == 1);
    ASSERT_TRUE(dynamic_cast<OVCompressPasswordAction*>(read->front().get()));
    EXPECT_EQ(xmlOf(OVActionArchive::archivedDataWithRootActions(*read)), old);

    auto* action = dynamic_cast<OVCompressPasswordAction*>(read->front().get());
    action->setStrongEncryption(true);
    EXPECT_NE(xmlOf(OVActionArchive::archivedDataWithRootActions(*read)).find("strongEncryption"), std::string::npos);
}
