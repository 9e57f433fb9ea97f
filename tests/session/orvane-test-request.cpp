// SPDX-License-Identifier: GPL-3.0-or-later
// Makes run requests the way the extension does, for session tests written in Python, so that a
// change of the request format breaks the build instead of a test's copy of it.
// Usage: orvane-test-request [--folder DIR] UID PATH...   writes the request file, prints the URL
//        (with DIR as the folder the user clicked in)
//        orvane-test-request --format      prints the URL format (two %s: uid, file name)
#include "messaging/OVProtocol.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::optional<std::string> folder;
    if (argc > 2 && std::string(argv[1]) == "--folder") {
        folder = argv[2];
        argc -= 2;
        argv += 2;
    }
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && first == "--format") {
        std::cout << OVProtocol::kRunRequestURLFormat << "\n";
        return 0;
    }
    if (argc < 3 || first.starts_with("-")) {
        std::cerr << "usage: orvane-test-request [--folder DIR] UID PATH... | --format\n";
        return 2;
    }
    const std::vector<std::string> paths(argv + 2, argv + argc);
    auto name = OVProtocol::writeRequestFile(OVProtocol::requestDictionary(paths, folder));
    if (!name)
        return 1;
    std::cout << OVProtocol::runRequestURL(first, *name) << "\n";
    return 0;
}
