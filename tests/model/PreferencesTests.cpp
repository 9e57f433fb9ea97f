// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/OVPropertyList.h"
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/HLUserDefaults.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "support/TestSupport.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr const char* kSuite = "app.orvane.Orvane.preferences";
constexpr const char* kChildModeVariable = "ORVANE_PREFERENCES_CHILD";
constexpr int kKeysPerWriter = 200;

std::string preferencesFile() { return ov::userConfigDir() + "/app.orvane.Orvane.preferences.plist"; }

OVValue::Dictionary storedDictionary(const std::string& path)
{
    auto value = ovplist::read(ovtest::readAll(path));
    auto* dict = value ? std::get_if<OVValue::Dictionary>(&value->value) : nullptr;
    return dict ? *dict : OVValue::Dictionary{};
}

// Preferences of any name in the shared suite, and the settings application's own domain.
class AnyKeyDefaults : public HLUserDefaults {
public:
    explicit AnyKeyDefaults(std::string suite) : suite_(std::move(suite)) { setUp({"SuppressQuitAlert"}); }
    std::string suiteName() const override { return suite_; }

private:
    std::string suite_;
};

struct Counter {
    int count = 0;
    OVWormhole::Listener listener()
    {
        return [this](const std::optional<OVValue>&) { ++count; };
    }
};

GSubprocess* spawnChild(const std::string& mode, std::optional<bool>* succeeded)
{
    return ovtest::spawnSelfAsChild("PreferencesChild.DISABLED_Run", kChildModeVariable, mode, succeeded);
}

void expectRegisteredDefaults(const OVUserDefaults& d)
{
    EXPECT_TRUE(d.useSubmenu());
    EXPECT_TRUE(d.showIconInToolbar());
    EXPECT_TRUE(d.showFileOnMoveCopyComplete());
    EXPECT_FALSE(d.overwriteDestinationFile());
    EXPECT_FALSE(d.disableActionNotifications());
    EXPECT_FALSE(d.playAlertOnCompletion());
    EXPECT_FALSE(d.didCreateDefaultActions());
    EXPECT_FALSE(d.didCreateDefaultActions2());
    EXPECT_FALSE(d.didCreateDefaultTemplates());
    EXPECT_FALSE(d.suppressActionDeletionAlert());
    EXPECT_FALSE(d.useBlackAndWhiteIcon());
}

} // namespace

TEST(Preferences, FreshSystemReadsTheRegisteredDefaults)
{
    ovtest::TempHome home;
    auto d = OVUserDefaults::create();
    expectRegisteredDefaults(*d);
    EXPECT_EQ(d->prefix(), std::string(kSuite));
    EXPECT_EQ(d->mapping().at("setUseSubmenu:"), "app.orvane.Orvane.preferences.useSubmenu");
    EXPECT_FALSE(ov::pathExists(preferencesFile())); // reading writes nothing
}

TEST(Preferences, SettingStoresTheKeyAndSendsOneChangeMessage)
{
    ovtest::TempHome home;
    auto observer = OVProtocol::wormhole();
    Counter changes, sentinel;
    observer->listenForMessageWithIdentifier(std::string(OVProtocol::kUserDefaultsDidChangeNotification), changes.listener());
    observer->listenForMessageWithIdentifier(std::string("sentinel"), sentinel.listener());
    auto d = OVUserDefaults::create();

    d->setUseSubmenu(false);

    const std::string xml = ovtest::readAll(preferencesFile());
    EXPECT_EQ(xml.rfind("<?xml", 0), 0u);
    auto stored = storedDictionary(preferencesFile());
    EXPECT_EQ(stored, (OVValue::Dictionary{{"app.orvane.Orvane.preferences.useSubmenu", OVValue(false)}}));
    EXPECT_FALSE(d->useSubmenu());
    EXPECT_EQ(changes.count, 0); // the message is delivered later, on the main loop

    // The same doorbells ring in order: a second change message would arrive before the sentinel.
    observer->passMessageObject(std::nullopt, std::string("sentinel"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return sentinel.count > 0; }));
    EXPECT_EQ(changes.count, 1);
}

TEST(Preferences, ObjectsShareTheSuite)
{
    ovtest::TempHome home;
    auto a = OVUserDefaults::create();
    auto b = OVUserDefaults::create();
    EXPECT_NE(a, b);
    b->setOverwriteDestinationFile(true);
    b->setDidCreateDefaultActions(true);
    EXPECT_TRUE(a->overwriteDestinationFile());
    EXPECT_TRUE(a->didCreateDefaultActions());
    a->setDidCreateDefaultActions(false); // written false reads false, not the default
    a->setShowIconInToolbar(false);
    EXPECT_FALSE(b->didCreateDefaultActions());
    EXPECT_FALSE(b->showIconInToolbar());
    EXPECT_TRUE(b->overwriteDestinationFile());

    auto shared = OVUserDefaults::standardUserDefaults();
    EXPECT_EQ(shared, OVUserDefaults::standardUserDefaults());
    EXPECT_NE(shared, a);

    std::vector<std::shared_ptr<OVUserDefaults>> seen(4);
    std::vector<std::thread> threads;
    for (auto& slot : seen)
        threads.emplace_back([&slot] { slot = OVUserDefaults::standardUserDefaults(); });
    for (auto& t : threads)
        t.join();
    for (const auto& s : seen)
        EXPECT_EQ(s, shared);
}

TEST(Preferences, OwnDomainUsesUnprefixedKeys)
{
    ovtest::TempHome home;
    AnyKeyDefaults own("");
    EXPECT_FALSE(own.prefix());
    own.setBoolForProperty("SuppressQuitAlert", true);
    auto stored = storedDictionary(ov::userConfigDir() + "/app.orvane.Orvane.plist");
    EXPECT_EQ(stored, (OVValue::Dictionary{{"SuppressQuitAlert", OVValue(true)}}));
    EXPECT_TRUE(AnyKeyDefaults("").boolForProperty("SuppressQuitAlert"));
    EXPECT_FALSE(ov::pathExists(preferencesFile()));
}

TEST(Preferences, CorruptOrHostileFileReadsAsDefaultsAndIsReplacedOnWrite)
{
    ovtest::TempHome home;
    ovtest::LogCapture log;
    const std::vector<std::string> hostile = {
        "",
        "not a property list at all",
        "<?xml version=\"1.0\"?><plist><dict><key>app.orvane.Orvane.preferences.useSubmenu</key>",
        "<?xml version=\"1.0\"?><plist><array><false/></array></plist>",
        "bplist00" + std::string(64, '\xff'),
        std::string(5u << 20, '<'),
        "<plist><dict>" + [] { std::string s; for (int i = 0; i < 5000; ++i) s += "<array>"; return s; }() + "</dict></plist>",
    };
    for (const auto& bytes : hostile) {
        ASSERT_TRUE(ov::writeFileAtomically(preferencesFile(), bytes));
        auto d = OVUserDefaults::create();
        expectRegisteredDefaults(*d);
    }

    // A well-formed file whose values have odd types: only real booleans and numbers count.
    ASSERT_TRUE(ov::writeFileAtomically(preferencesFile(), ovplist::writeXML(OVValue(OVValue::Dictionary{
        {"app.orvane.Orvane.preferences.useSubmenu", OVValue(OVValue::Array{})},
        {"app.orvane.Orvane.preferences.playAlertOnCompletion", OVValue(1)},
        {"app.orvane.Orvane.preferences.overwriteDestinationFile", OVValue("YES")},
    }))));
    auto d = OVUserDefaults::create();
    EXPECT_FALSE(d->useSubmenu());
    EXPECT_TRUE(d->playAlertOnCompletion());
    EXPECT_TRUE(d->overwriteDestinationFile());

    ASSERT_TRUE(ov::writeFileAtomically(preferencesFile(), "garbage"));
    d->setDisableActionNotifications(true);
    EXPECT_EQ(storedDictionary(preferencesFile()),
              (OVValue::Dictionary{{"app.orvane.Orvane.preferences.disableActionNotifications", OVValue(true)}}));
}

TEST(Preferences, AWriteInAnotherProcessIsSeenHere)
{
    ovtest::TempHome home;
    auto d = OVUserDefaults::create();
    ASSERT_FALSE(d->overwriteDestinationFile());
    Counter changes;
    auto observer = OVProtocol::wormhole();
    observer->listenForMessageWithIdentifier(std::string(OVProtocol::kUserDefaultsDidChangeNotification), changes.listener());

    std::optional<bool> succeeded;
    GSubprocess* child = spawnChild("overwrite", &succeeded);
    ASSERT_TRUE(child);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return succeeded.has_value(); }, 30000));
    EXPECT_EQ(succeeded, true);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return changes.count > 0; }));
    EXPECT_TRUE(d->overwriteDestinationFile());
    g_object_unref(child);
}

TEST(Preferences, ConcurrentWritersInTwoProcessesLoseNoKey)
{
    ovtest::TempHome home;
    std::optional<bool> first, second;
    GSubprocess* a = spawnChild("writer-a", &first);
    GSubprocess* b = spawnChild("writer-b", &second);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return first && second; }, 100000));
    EXPECT_EQ(first, true);
    EXPECT_EQ(second, true);

    auto stored = storedDictionary(preferencesFile());
    std::vector<std::string> lost;
    for (const char* writer : {"writer-a", "writer-b"})
        for (int i = 0; i < kKeysPerWriter; ++i)
            if (std::string key = ov::stringPrintf("%s.%s-%d", kSuite, writer, i); stored[key] != OVValue(int64_t(i)))
                lost.push_back(key);
    EXPECT_TRUE(lost.empty()) << lost.size() << " keys lost, the first " << lost.front();
    EXPECT_EQ(stored.size(), std::size_t(2 * kKeysPerWriter));
    g_object_unref(a);
    g_object_unref(b);
}

// The other side of the cross-process tests, run only as a child of them.
TEST(PreferencesChild, DISABLED_Run)
{
    const char* env = g_getenv(kChildModeVariable);
    ASSERT_TRUE(env);
    const std::string mode = env;
    if (mode == "overwrite") {
        OVUserDefaults::create()->setOverwriteDestinationFile(true);
        return;
    }
    ASSERT_EQ(mode.rfind("writer-", 0), 0u);
    AnyKeyDefaults writer(kSuite);
    for (int i = 0; i < kKeysPerWriter; ++i)
        writer.setObjectForProperty(ov::stringPrintf("%s-%d", mode.c_str(), i), OVValue(int64_t(i)));
}
