// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "messaging/OVWormholeCoordinatedFileTransiting.h"
#include "messaging/OVWormholeFileTransiting.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

constexpr const char* kGroup = "ORVANE.app.orvane.Orvane";
constexpr const char* kChildModeVariable = "ORVANE_WORMHOLE_CHILD";

struct Received {
    int count = 0;
    std::optional<OVValue> message;
    std::thread::id thread;
};

OVWormhole::Listener recordInto(Received& r)
{
    return [&r](const std::optional<OVValue>& message) {
        ++r.count;
        r.message = message;
        r.thread = std::this_thread::get_id();
    };
}

std::string messageFolder() { return ov::containerPathForGroup(kGroup) + "/wormhole"; }

std::vector<std::string> regularFilesUnder(const std::string& root)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec); !ec && it != decltype(it)(); it.increment(ec))
        if (it->is_regular_file())
            files.push_back(it->path().string());
    return files;
}

// Posts a sentinel and waits for it: doorbells ring in order, so whatever an earlier post was
// going to wake is queued on the main context once the sentinel arrives, through this watcher's
// monitor or another one; pumping what is pending then delivers it.
void drainEarlierPosts(OVWormhole& wormhole)
{
    auto watcher = OVWormhole::create(kGroup, std::string("wormhole"));
    Received sentinel;
    watcher->listenForMessageWithIdentifier(std::string("sentinel"), recordInto(sentinel));
    wormhole.passMessageObject(std::nullopt, std::string("sentinel"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return sentinel.count > 0; }));
    ASSERT_TRUE(ovtest::pumpPending());
}

// Runs this test program again as a child in the given mode (same XDG folders); *status is set
// when it has ended.
GSubprocess* spawnChild(const std::string& mode, std::optional<bool>* succeeded)
{
    return ovtest::spawnSelfAsChild("WormholeChild.DISABLED_Run", kChildModeVariable, mode, succeeded);
}

} // namespace

TEST(Wormhole, MessageWithoutObjectWakesEveryListenerAndWritesNoFile)
{
    ovtest::TempHome home;
    auto sender = OVWormhole::create(kGroup, std::string("wormhole"));
    auto first = OVWormhole::create(kGroup, std::string("wormhole"));
    auto second = OVWormhole::create(kGroup, std::string("wormhole"));
    ASSERT_TRUE(sender && first && second);
    Received a, b;
    a.message = OVValue("stale");
    first->listenForMessageWithIdentifier(std::string(OVProtocol::kDidChangeNotification), recordInto(a));
    second->listenForMessageWithIdentifier(std::string(OVProtocol::kDidChangeNotification), recordInto(b));

    sender->passMessageObject(std::nullopt, std::string(OVProtocol::kDidChangeNotification));

    ASSERT_TRUE(ovtest::pumpUntil([&] { return a.count > 0 && b.count > 0; }));
    EXPECT_FALSE(a.message);
    EXPECT_FALSE(b.message);
    EXPECT_FALSE(ov::pathExists(messageFolder() + "/" + OVProtocol::kDidChangeNotification + ".archive"));
    drainEarlierPosts(*sender);
    EXPECT_EQ(a.count, 1);
    EXPECT_EQ(b.count, 1);
}

TEST(Wormhole, MessageWithObjectIsStoredAndReachesTheListenerEqual)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received r;
    wormhole->listenForMessageWithIdentifier(std::string("greeting"), recordInto(r));
    OVValue message(OVValue::Dictionary{
        {"text", OVValue("héllo")},
        {"count", OVValue(42)},
        {"flag", OVValue(true)},
        {"list", OVValue(OVValue::Array{OVValue("a"), OVValue(2.5)})},
    });

    wormhole->passMessageObject(message, std::string("greeting"));

    EXPECT_TRUE(ov::isRegularFile(messageFolder() + "/greeting.archive"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return r.count > 0; }));
    ASSERT_TRUE(r.message);
    EXPECT_EQ(*r.message, message);
    EXPECT_EQ(wormhole->messageWithIdentifier("greeting"), message);

    wormhole->clearMessageContentsForIdentifier("greeting");
    EXPECT_FALSE(ov::pathExists(messageFolder() + "/greeting.archive"));
    EXPECT_FALSE(wormhole->messageWithIdentifier("greeting"));
}

TEST(Wormhole, CoordinatedStrategyStoresAndReadsTheSameWay)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"), 1);
    ASSERT_TRUE(dynamic_cast<OVWormholeCoordinatedFileTransiting*>(&wormhole->wormholeMessenger()));
    Received r;
    wormhole->listenForMessageWithIdentifier(std::string("note"), recordInto(r));
    wormhole->passMessageObject(OVValue("payload"), std::string("note"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return r.count > 0; }));
    EXPECT_EQ(r.message, OVValue("payload"));
}

TEST(Wormhole, AbsentOrEscapingIdentifiersDoNothing)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received r;
    const std::vector<std::optional<std::string>> bad = {
        std::nullopt, std::string(""), std::string("."), std::string(".."), std::string("../escape"),
        std::string("a/b"), std::string("ok\0/../x", 8), std::string(300, 'x')};
    for (const auto& id : bad) {
        wormhole->listenForMessageWithIdentifier(id, recordInto(r));
        wormhole->passMessageObject(OVValue("x"), id);
        wormhole->passMessageObject(std::nullopt, id);
        EXPECT_FALSE(wormhole->wormholeMessenger().writeMessageObject(std::nullopt, id));
    }
    EXPECT_TRUE(regularFilesUnder(home.path()).empty());

    // A message file just outside the folder is not reachable by climbing up.
    auto outside = OVWormhole::create(kGroup, std::nullopt);
    outside->passMessageObject(OVValue("secret"), std::string("secret"));
    ASSERT_TRUE(ov::isRegularFile(ov::containerPathForGroup(kGroup) + "/secret.archive"));
    EXPECT_FALSE(wormhole->messageWithIdentifier("../secret"));

    EXPECT_FALSE(OVWormhole::create("../elsewhere", std::string("wormhole")));
    EXPECT_FALSE(OVWormhole::create(kGroup, std::string("../../elsewhere")));
    EXPECT_FALSE(OVWormhole::create(kGroup, std::string("/tmp")));

    drainEarlierPosts(*wormhole);
    EXPECT_EQ(r.count, 0);
}

TEST(Wormhole, ListeningAgainReplacesAndStoppingSilences)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received first, second, stopped;
    wormhole->listenForMessageWithIdentifier(std::string("replace"), recordInto(first));
    wormhole->listenForMessageWithIdentifier(std::string("replace"), recordInto(second));
    wormhole->listenForMessageWithIdentifier(std::string("stop"), recordInto(stopped));
    wormhole->stopListeningForMessageWithIdentifier(std::string("stop"));

    wormhole->passMessageObject(std::nullopt, std::string("replace"));
    wormhole->passMessageObject(std::nullopt, std::string("stop"));
    drainEarlierPosts(*wormhole);

    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(second.count, 1);
    EXPECT_EQ(stopped.count, 0);
}

TEST(Wormhole, ListenerRunsLaterOnTheMainThreadAndNeverAfterItsWormhole)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received r;
    wormhole->listenForMessageWithIdentifier(std::string("async"), recordInto(r));

    wormhole->passMessageObject(std::nullopt, std::string("async"));
    wormhole->notifyListenerForMessageWithIdentifier("async", std::nullopt);
    EXPECT_EQ(r.count, 0); // not from inside the current main-thread work
    ASSERT_TRUE(ovtest::pumpUntil([&] { return r.count == 2; }));
    EXPECT_EQ(r.thread, std::this_thread::get_id());

    // A wake-up already queued when the wormhole goes away is dropped.
    Received late;
    wormhole->listenForMessageWithIdentifier(std::string("late"), recordInto(late));
    wormhole->passMessageObject(std::nullopt, std::string("late"));
    wormhole->notifyListenerForMessageWithIdentifier("late", std::nullopt);
    auto sender = OVWormhole::create(kGroup, std::string("wormhole"));
    wormhole.reset();
    drainEarlierPosts(*sender);
    EXPECT_EQ(late.count, 0);
}

TEST(Wormhole, ClearingAllMessages)
{
    ovtest::TempHome home;
    const std::string container = ov::containerPathForGroup(kGroup);
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "keep");
    home.writeFile("data/ORVANE.app.orvane.Orvane/keep.archive", "keep");

    // Without a directory the messages live at the container's root, which is never emptied.
    auto atRoot = OVWormhole::create(kGroup, std::nullopt);
    atRoot->clearAllMessageContents();
    EXPECT_TRUE(ov::isRegularFile(container + "/Actions.plist"));
    EXPECT_TRUE(ov::isRegularFile(container + "/keep.archive"));

    // With one, the messages go but the folder keeps waking its listeners.
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received r;
    wormhole->listenForMessageWithIdentifier(std::string("after"), recordInto(r));
    wormhole->passMessageObject(OVValue(1), std::string("one"));
    home.writeFile("data/ORVANE.app.orvane.Orvane/wormhole/sub/two.archive", "x");
    wormhole->clearAllMessageContents();
    EXPECT_FALSE(ov::pathExists(messageFolder() + "/one.archive"));
    EXPECT_FALSE(ov::pathExists(messageFolder() + "/sub"));
    EXPECT_TRUE(ov::isRegularFile(container + "/Actions.plist"));
    wormhole->passMessageObject(std::nullopt, std::string("after"));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return r.count == 1; }));
}

TEST(Wormhole, UnreadableMessageFileGivesNone)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    ovtest::LogCapture log;
    ov::makeDirectories(messageFolder());
    ASSERT_TRUE(ov::writeFileAtomically(messageFolder() + "/junk.archive", "bplist00 not really"));
    Received r;
    r.message = OVValue("stale");
    wormhole->listenForMessageWithIdentifier(std::string("junk"), recordInto(r));
    wormhole->passMessageObject(std::nullopt, std::string("junk"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return r.count == 1; }));
    EXPECT_FALSE(r.message);
}

TEST(Wormhole, WakesAndCarriesObjectsAcrossProcesses)
{
    ovtest::TempHome home;
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received ready, pong;
    wormhole->listenForMessageWithIdentifier(std::string("ready"), recordInto(ready));
    wormhole->listenForMessageWithIdentifier(std::string("pong"), recordInto(pong));

    std::optional<bool> childSucceeded;
    GSubprocess* child = spawnChild("echo", &childSucceeded);
    ASSERT_TRUE(child);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ready.count > 0 || childSucceeded; }, 30000));
    ASSERT_EQ(ready.count, 1) << "the child never listened";

    OVValue ping(OVValue::Dictionary{{"n", OVValue(7)}, {"from", OVValue("parent")}});
    wormhole->passMessageObject(ping, std::string("ping"));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return pong.count > 0; }, 10000));
    EXPECT_EQ(pong.message, ping);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return bool(childSucceeded); }, 10000));
    EXPECT_EQ(childSucceeded, true);
    g_object_unref(child);
}

// The other side of the cross-process test, run only as a child of it.
TEST(WormholeChild, DISABLED_Run)
{
    const char* mode = g_getenv(kChildModeVariable);
    ASSERT_TRUE(mode && std::string(mode) == "echo");
    auto wormhole = OVWormhole::create(kGroup, std::string("wormhole"));
    Received ping;
    wormhole->listenForMessageWithIdentifier(std::string("ping"), recordInto(ping));
    wormhole->passMessageObject(std::nullopt, std::string("ready"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return ping.count > 0; }, 10000));
    ASSERT_TRUE(ping.message);
    wormhole->passMessageObject(*ping.message, std::string("pong"));
}
