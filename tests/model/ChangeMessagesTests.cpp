// SPDX-License-Identifier: GPL-3.0-or-later
// The store and the preferences announce their changes to the other programs with the protocol's
// wormhole messages, from any process, without the program connecting anything first.
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionsManager.h"
#include "model/OVChangeSender.h"
#include "model/OVUserDefaults.h"
#include "support/TestSupport.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace {

constexpr const char* kChildModeVariable = "ORVANE_CHANGE_MESSAGES_CHILD";

struct Received {
    int saves = 0;
    int preferences = 0;
    int sentinels = 0;
};

std::shared_ptr<OVWormhole> observe(Received& received)
{
    auto observer = OVProtocol::wormhole();
    observer->listenForMessageWithIdentifier(std::string(OVProtocol::kDidChangeNotification),
                                             [&](const std::optional<OVValue>&) { ++received.saves; });
    observer->listenForMessageWithIdentifier(std::string(OVProtocol::kUserDefaultsDidChangeNotification),
                                             [&](const std::optional<OVValue>&) { ++received.preferences; });
    observer->listenForMessageWithIdentifier(std::string("sentinel"),
                                             [&](const std::optional<OVValue>&) { ++received.sentinels; });
    return observer;
}

void saveAndWritePreference()
{
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    store->addAction(OVAction::action<OVAction>());
    store->actuallySave();
    OVUserDefaults::create()->setUseSubmenu(false);
}

// Restores the wormhole messages however the test ends.
struct SenderGuard {
    ~SenderGuard() { OVChangeSender::set({}); }
};

} // namespace

TEST(ChangeMessages, ASaveAndAPreferenceWriteInAnotherProcessArriveByName)
{
    ovtest::TempHome home;
    Received received;
    auto observer = observe(received);

    std::optional<bool> succeeded;
    GSubprocess* child =
        ovtest::spawnSelfAsChild("ChangeMessagesChild.DISABLED_Run", kChildModeVariable, "save", &succeeded);
    ASSERT_TRUE(child);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return succeeded.has_value(); }, 30000));
    EXPECT_EQ(succeeded, true);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return received.saves > 0 && received.preferences > 0; }));
    g_object_unref(child);
}

TEST(ChangeMessages, ASenderOfTheProgramTakesTheirPlaceUntilItIsCleared)
{
    ovtest::TempHome home;
    Received received;
    auto observer = observe(received);
    SenderGuard guard;
    std::vector<OVChange> sent;
    OVChangeSender::set([&](OVChange change) { sent.push_back(change); });

    saveAndWritePreference();
    EXPECT_EQ(sent, (std::vector<OVChange>{OVChange::Actions, OVChange::Preferences}));
    observer->passMessageObject(std::nullopt, std::string("sentinel"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return received.sentinels == 1; }));
    EXPECT_EQ(received.saves + received.preferences, 0);

    OVChangeSender::set({});
    saveAndWritePreference();
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return received.saves == 1 && received.preferences == 1; }));
}

TEST(ChangeMessagesChild, DISABLED_Run)
{
    ASSERT_STREQ(g_getenv(kChildModeVariable), "save");
    saveAndWritePreference();
}
