// SPDX-License-Identifier: GPL-3.0-or-later
// A stored archive as plist XML text and back, so tests can read and edit keys by name.
#pragma once

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <string>

namespace ovtest {

inline std::string xmlOf(const std::string& binary)
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

inline std::string binaryOf(const std::string& xml)
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

} // namespace ovtest
