// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVProtocol.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "platform/Uri.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>
#include <sys/stat.h>

namespace {

std::string randomText(std::mt19937& random, bool utf8)
{
    static const std::string pieces[] = {"&", "=", "#", "?", "%", "%41", " ", "/", "..", "\"", "\\", "\n",
                                         "action=X", "file=Y", "ü", "😀", "\t", "A", "-"};
    std::string s;
    for (int i = int(random() % 10); i >= 0; --i)
        s += !utf8 && random() % 4 == 0 ? std::string(1, char(random() % 256)) : pieces[random() % std::size(pieces)];
    return s;
}

} // namespace

TEST(Protocol, RunRequestURLsCarryAnyValueWithoutAddingMembers)
{
    std::mt19937 random(3);
    for (int n = 0; n < 500; ++n) {
        const std::string uid = randomText(random, false), file = randomText(random, false);
        const std::string url = OVProtocol::runRequestURL(uid, file);
        bool malformed = true;
        auto request = OVProtocol::parseRunRequestURL(url, &malformed);
        EXPECT_FALSE(malformed) << url;
        ASSERT_TRUE(request) << url;
        // Read as written, so the values come back escaped and decode to what was sent.
        EXPECT_EQ(ov::uri::unescape(request->action), uid) << url;
        EXPECT_EQ(ov::uri::unescape(request->file), file) << url;
        EXPECT_EQ(OVProtocol::parseQueryString(*ov::uri::query(url)).size(), 2u) << url;
    }
    const std::string uid = "0123456789ABCDEF0123456789ABCDEF", name = ov::newUUIDString();
    auto plain = OVProtocol::parseRunRequestURL(OVProtocol::runRequestURL(uid, name));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->action, uid);
    EXPECT_EQ(plain->file, name);

    bool malformed = false;
    EXPECT_FALSE(OVProtocol::parseRunRequestURL("orvane://runaction?action=A B&file=F", &malformed));
    EXPECT_TRUE(malformed);
    for (const char* incomplete : {"orvane://runaction", "orvane://runaction?action=A",
                                   "orvane://runaction?action=&file=F", "orvane://runaction?file=F&action",
                                   "orvane://runaction#?action=A&file=F"}) {
        EXPECT_FALSE(OVProtocol::parseRunRequestURL(incomplete, &malformed)) << incomplete;
        EXPECT_FALSE(malformed) << incomplete;
    }
}

TEST(Protocol, RequestFilesRoundTripOnceAndPrivately)
{
    ovtest::TempHome home;
    std::mt19937 random(5);
    std::vector<std::string> paths;
    for (int n = 0; n < 200; ++n)
        paths.push_back("/" + randomText(random, true));
    paths.push_back("/" + std::string(100000, 'x'));

    auto name = OVProtocol::writeRequestFile(OVProtocol::requestDictionary(paths));
    ASSERT_TRUE(name);
    EXPECT_TRUE(ov::isCanonicalUUIDString(*name));
    const std::string path = OVProtocol::requestFilePath(*name);
    EXPECT_EQ(ov::deletingLastPathComponent(path), ov::containerPath());
    struct stat st;
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(nlohmann::json::parse(ovtest::readAll(path)), nlohmann::json({{"paths", paths}}));

    EXPECT_EQ(OVProtocol::readRequestFile(*name), paths);
    EXPECT_FALSE(ov::pathExists(path));
    EXPECT_EQ(OVProtocol::readRequestFile(*name), std::nullopt);

    // Paths JSON text cannot carry are refused before anything is written.
    ovtest::LogCapture log;
    EXPECT_FALSE(OVProtocol::writeRequestFile(OVProtocol::requestDictionary({"/a\xff"})));
    EXPECT_TRUE(log.contains("Could not convert to JSON"));

    // A pipe under a request name is not opened: reading it would wait for a writer forever.
    const std::string pipeName = ov::newUUIDString();
    ASSERT_EQ(::mkfifo(OVProtocol::requestFilePath(pipeName).c_str(), 0600), 0);
    EXPECT_EQ(OVProtocol::readRequestFile(pipeName), std::nullopt);
    EXPECT_TRUE(ov::pathExists(OVProtocol::requestFilePath(pipeName)));
}

// The clicked folder is a member of its own: a reader that knows only "paths" reads the same
// selection, and a folder that is not an absolute path is left out, not the run.
TEST(Protocol, RequestsCarryTheCurrentFolderBesideThePaths)
{
    ovtest::TempHome home;
    const std::vector<std::string> paths{"/home/u/a.txt", "/home/u/b c"};
    auto dictionary = OVProtocol::requestDictionary(paths, std::string("/home/u"));
    EXPECT_EQ(dictionary, nlohmann::json({{"paths", paths}, {"currentFolder", "/home/u"}}));
    EXPECT_EQ(OVProtocol::requestDictionary(paths), nlohmann::json({{"paths", paths}})) << "none: as before";

    auto name = OVProtocol::writeRequestFile(dictionary);
    ASSERT_TRUE(name);
    auto contents = OVProtocol::readRunRequestFile(*name);
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->paths, paths);
    EXPECT_EQ(contents->currentFolder, "/home/u");
    name = OVProtocol::writeRequestFile(dictionary);
    EXPECT_EQ(OVProtocol::readRequestFile(*name), paths);

    for (const nlohmann::json& folder : {nlohmann::json("relative/x"), nlohmann::json(""), nlohmann::json(7),
                                         nlohmann::json::array({"/a"}), nlohmann::json(std::string("/a\0b", 4))}) {
        nlohmann::json hostile{{"paths", paths}, {"currentFolder", folder}};
        name = OVProtocol::writeRequestFile(hostile);
        ASSERT_TRUE(name);
        contents = OVProtocol::readRunRequestFile(*name);
        ASSERT_TRUE(contents) << folder.dump();
        EXPECT_EQ(contents->paths, paths);
        EXPECT_FALSE(contents->currentFolder) << folder.dump();
    }
}
