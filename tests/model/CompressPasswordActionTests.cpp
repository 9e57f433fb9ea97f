// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/OVActionArchive.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVActionsManager.h"
#include "model/OVSecureRemoveAction.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

#include "support/PlistText.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <cstdlib>
#include <string>

using ovtest::binaryOf;
using ovtest::xmlOf;

namespace {

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

// The prompt's choice is kept per action beside the store, and only while it differs from the
// action's own setting; the editor's setting takes over again once it is used.
TEST(CompressPasswordAction, ThePromptsChoiceIsRememberedPerActionBesideTheStore)
{
    ovtest::TempHome home;
    auto defaults = OVUserDefaults::create();
    auto first = OVAction::action<OVCompressPasswordAction>();
    auto second = OVAction::action<OVCompressPasswordAction>();
    const auto remembered = [&](const OVCompressPasswordAction& a) {
        return defaults->objectForProperty(OVUserDefaults::strongEncryptionProperty(a.uid()));
    };
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*first));

    defaults->rememberStrongEncryption(*first, true);
    EXPECT_TRUE(OVUserDefaults::create()->startsWithStrongEncryption(*first)) << "read back by another program";
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*second));
    EXPECT_TRUE(remembered(*first));

    // Back to the action's own setting: nothing is left to remember.
    defaults->rememberStrongEncryption(*first, false);
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*first));
    EXPECT_FALSE(remembered(*first));

    // An action set to AES in the editor, turned off in its prompt, then set again in the editor.
    second->setStrongEncryption(true);
    EXPECT_TRUE(defaults->startsWithStrongEncryption(*second));
    defaults->rememberStrongEncryption(*second, false);
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*second));
    defaults->forgetStrongEncryption(second->uid());
    EXPECT_TRUE(defaults->startsWithStrongEncryption(*second));

    // A value the prompt never writes does not decide.
    defaults->setObjectForProperty(OVUserDefaults::strongEncryptionProperty(first->uid()), OVValue("yes"));
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*first));
    second->setStrongEncryption(false);
    defaults->setObjectForProperty(OVUserDefaults::strongEncryptionProperty(second->uid()), OVValue(1));
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*second));
}

// The uid is read from the store: one that is missing or not of the usual shape keeps no choice,
// so it can neither stand for every such action nor bloat the preferences past being read.
TEST(CompressPasswordAction, OnlyAnActionWithAUsualUidKeepsAChoice)
{
    ovtest::TempHome home;
    auto defaults = OVUserDefaults::create();
    auto nameless = OVAction::emptyInstance<OVCompressPasswordAction>();
    auto other = OVAction::emptyInstance<OVCompressPasswordAction>();
    ASSERT_TRUE(nameless->uid().empty() && other->uid().empty());
    defaults->rememberStrongEncryption(*nameless, true);
    EXPECT_FALSE(defaults->startsWithStrongEncryption(*other));
    EXPECT_FALSE(defaults->objectForProperty(OVUserDefaults::strongEncryptionProperty("")));

    auto normal = OVAction::action<OVCompressPasswordAction>();
    const std::string xml = xmlOf(OVActionArchive::archivedDataWithRootActions({normal}));
    const auto withUID = [&](const std::string& uid) {
        std::string changed = xml;
        replaceAll(changed, normal->uid(), uid);
        auto read = OVActionArchive::unarchiveActions(binaryOf(changed));
        EXPECT_TRUE(read && read->size() == 1);
        auto action = read && !read->empty() ? std::dynamic_pointer_cast<OVCompressPasswordAction>(read->front()) : nullptr;
        EXPECT_TRUE(action && action->uid() == uid);
        return action;
    };
    defaults->rememberStrongEncryption(*withUID("9B3F1C2A-6D4E-4F0B-8C7D-2E1A5B6C7D8E"), true);
    EXPECT_TRUE(defaults->startsWithStrongEncryption(*withUID("9B3F1C2A-6D4E-4F0B-8C7D-2E1A5B6C7D8E")));

    const std::string preferences = home.configHome() + "/app.orvane.Orvane.preferences.plist";
    const auto before = ov::readFile(preferences);
    ASSERT_TRUE(before);
    for (const std::string& hostile : {std::string(1 << 20, 'A'), std::string("a.b"), std::string("a b\n")}) {
        auto action = withUID(hostile);
        ASSERT_TRUE(action);
        defaults->rememberStrongEncryption(*action, true);
        EXPECT_FALSE(defaults->startsWithStrongEncryption(*action));
    }
    EXPECT_EQ(ov::readFile(preferences), before);
}

// A store written with the strong encryption key, as it is shipped with the tests: this release
// reads it, keeps the choice per action and writes it back as it was.
TEST(CompressPasswordAction, AStoreWithStrongEncryptionLoads)
{
    ovtest::TempHome home;
    const auto fixture = ov::readFile(std::string(ORVANE_SOURCE_DIR) + "/tests/model/fixtures/StrongEncryption.plist", 1 << 20);
    ASSERT_TRUE(fixture);
    ASSERT_NE(fixture->find("strongEncryption"), std::string::npos);
    ov::makeDirectories(ov::deletingLastPathComponent(OVActionsManager::saveURL()), 0700);
    ASSERT_TRUE(ov::writeFileAtomically(OVActionsManager::saveURL(), *fixture, 0600, nullptr));
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    const auto actions = store->actions();
    ASSERT_EQ(actions.size(), 3u);
    auto* strong = dynamic_cast<OVCompressPasswordAction*>(actions[0].get());
    auto* traditional = dynamic_cast<OVCompressPasswordAction*>(actions[1].get());
    ASSERT_TRUE(strong && traditional);
    EXPECT_EQ(strong->title(), "Zip for 7-Zip");
    EXPECT_TRUE(strong->strongEncryption());
    EXPECT_EQ(traditional->title(), "Zip for everyone");
    EXPECT_FALSE(traditional->strongEncryption());
    EXPECT_EQ(actions[2]->title(), "Secure Delete");
    EXPECT_EQ(OVActionArchive::archivedDataWithRootActions(actions), *fixture);

    // A reader whose kind has no such field, as before the switch existed, reads the action and
    // passes over the key.
    std::string older = xmlOf(*fixture);
    replaceAll(older, OVCompressPasswordAction::kClassName, OVSecureRemoveAction::kClassName);
    auto read = OVActionArchive::unarchiveActions(binaryOf(older));
    ASSERT_TRUE(read && read->size() == 3);
    EXPECT_TRUE(dynamic_cast<OVSecureRemoveAction*>(read->front().get()));
    EXPECT_EQ(read->front()->title(), "Zip for 7-Zip");
    EXPECT_EQ(read->front()->uid(), actions[0]->uid());
}
