// SPDX-License-Identifier: GPL-3.0-or-later
#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionArchive.h"
#include "model/OVActionsManager.h"
#include "model/OVCompressPasswordAction.h"
#include "model/OVConvertImageAction.h"
#include "model/OVMoveActionGroup.h"
#include "model/OVMoveToAction.h"
#include "model/OVShellScriptAction.h"
#include "model/OVUnknownAction.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>

namespace {

class StoreTest : public ::testing::Test {
protected:
    ovtest::TempHome home;
    std::string plist() const { return OVActionsManager::saveURL(); }

    static bool fileExists(const std::string& p) { return ov::isRegularFile(p); }

    // Saves and waits until the coalesced write has made the file, which must not exist yet.
    void saveAndWait(const std::shared_ptr<OVActionsManager>& store) const
    {
        ASSERT_FALSE(fileExists(plist()));
        store->save();
        ASSERT_TRUE(ovtest::pumpUntil([&] { return fileExists(plist()); }));
    }
};

TEST_F(StoreTest, MissingEmptyAndCorruptFiles)
{
    auto empty = OVActionsManager::create();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->actions().empty());

    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "");
    auto zero = OVActionsManager::create();
    ASSERT_TRUE(zero);
    EXPECT_TRUE(zero->actions().empty());

    ovtest::LogCapture log;
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", "this is not an archive at all, just garbage bytes");
    EXPECT_FALSE(OVActionsManager::create());
    EXPECT_TRUE(log.contains("Could not load actions because of error: "));
}

TEST_F(StoreTest, UnknownKindLoadsAmongKnownOnesAndIsWrittenBackOnEverySave)
{
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    auto move = OVAction::action<OVMoveToAction>();
    move->setTitle("Keep me");
    auto future = OVAction::action<OVCompressPasswordAction>();
    future->setTitle("Made by a newer version");
    auto script = OVAction::action<OVShellScriptAction>();
    store->updateActions({move, future, script});
    ASSERT_TRUE(store->saveToFile());
    // The same archive with one kind renamed to one from a newer version.
    const std::string bytes = ovtest::renamedKind(*ov::readFile(plist(), 1 << 20));
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", bytes);
    auto original = OVActionArchive::unarchiveActions(bytes);
    ASSERT_TRUE(original && original->size() == 3);
    auto unknownRecord = [](const OVActionPtr& a) { return dynamic_cast<const OVUnknownAction&>(*a).record(); };

    auto loaded = OVActionsManager::create();
    ASSERT_TRUE(loaded);
    OVActionList actions = loaded->actions();
    ASSERT_EQ(actions.size(), 3u);
    EXPECT_EQ(actions[0]->title(), "Keep me");
    ASSERT_TRUE(actions[1]->isUnknown());
    EXPECT_STREQ(actions[1]->className(), ovtest::kFutureKind);
    EXPECT_FALSE(actions[1]->enabled());

    // Other changes save around it: the unknown action is written back as it was read.
    actions[0]->setTitle("Renamed");
    loaded->removeAction(actions[2]);
    ASSERT_TRUE(loaded->saveToFile());
    auto saved = OVActionArchive::unarchiveActions(*ov::readFile(plist(), 1 << 20));
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->size(), 2u);
    EXPECT_EQ((*saved)[0]->title(), "Renamed");
    ASSERT_TRUE((*saved)[1]->isUnknown());
    EXPECT_STREQ((*saved)[1]->className(), ovtest::kFutureKind);
    EXPECT_EQ((*saved)[1]->classHierarchy(), (*original)[1]->classHierarchy());
    EXPECT_TRUE(OVOpaqueValue::sameContent(unknownRecord((*saved)[1]), unknownRecord((*original)[1])));
    EXPECT_EQ((*saved)[1]->title(), "Made by a newer version");
    // What a newer version reads back is its own kind with its own fields.
    auto known = OVActionArchive::unarchiveActions(ovtest::renamedKind(*ov::readFile(plist(), 1 << 20), ovtest::kFutureKind,
                                                                       OVCompressPasswordAction::kClassName));
    ASSERT_TRUE(known && known->size() == 2);
    ASSERT_TRUE(dynamic_cast<OVCompressPasswordAction*>((*known)[1].get()));
    EXPECT_EQ((*known)[1]->uid(), future->uid());
    EXPECT_TRUE((*known)[1]->enabled());

    // The user may remove it.
    loaded->removeAction(actions[1]);
    ASSERT_TRUE(loaded->saveToFile());
    auto reloaded = OVActionsManager::create();
    ASSERT_TRUE(reloaded);
    ASSERT_EQ(reloaded->actions().size(), 1u);
    EXPECT_FALSE(reloaded->actions()[0]->isUnknown());
}

TEST_F(StoreTest, ACorruptStoreWithAnUnknownKindStillFailsAndIsLeftAlone)
{
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    store->addAction(OVAction::action<OVCompressPasswordAction>());
    store->addAction(OVAction::action<OVMoveToAction>());
    ASSERT_TRUE(store->saveToFile());
    std::string bytes = ovtest::renamedKind(*ov::readFile(plist(), 1 << 20));
    bytes.resize(bytes.size() - 40); // the trailer and offset table are gone
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist", bytes);

    ovtest::LogCapture log;
    EXPECT_FALSE(OVActionsManager::create());
    EXPECT_TRUE(log.contains("Could not load actions because of error: "));
    EXPECT_EQ(*ov::readFile(plist(), 1 << 20), bytes);
}

TEST_F(StoreTest, ContainerIsPrivate)
{
    OVActionsManager::saveURL();
    struct stat st;
    ASSERT_EQ(0, ::stat(ov::containerPath().c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST_F(StoreTest, BurstOfSavesWritesOnceAndSendsOneMessage)
{
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    auto listener = OVProtocol::wormhole();
    ASSERT_TRUE(listener);
    int messages = 0;
    bool sentinel = false;
    listener->listenForMessageWithIdentifier(std::string(OVProtocol::kDidChangeNotification), [&](const auto& message) {
        EXPECT_FALSE(message.has_value());
        ++messages;
    });
    listener->listenForMessageWithIdentifier(std::string("sentinel"), [&](const auto&) { sentinel = true; });

    store->addAction(OVAction::action<OVMoveToAction>());
    // Three saves 40 ms apart, each inside the delay of the one before. The later two run ahead
    // of the delay's timer even when the loop wakes late, so a loaded machine cannot split the
    // burst: whatever is written before the last save was written too early.
    const gint64 start = g_get_monotonic_time();
    gint64 lastSave = 0;
    bool burstDone = false, writtenEarly = false;
    store->save();
    ovtest::runFirstAfter(40, [&] {
        writtenEarly |= fileExists(plist());
        store->save();
        ovtest::runFirstAfter(40, [&] {
            writtenEarly |= fileExists(plist());
            lastSave = g_get_monotonic_time();
            store->save();
            burstDone = true;
        });
    });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return burstDone; }));
    EXPECT_FALSE(writtenEarly || fileExists(plist())) << "written before the delay ran out";
    ASSERT_TRUE(ovtest::pumpUntil([&] { return fileExists(plist()); }, 2000));
    const gint64 written = g_get_monotonic_time();
    EXPECT_GE(written - lastSave, 100'000) << "the delay counts from the last save";
    EXPECT_GE(written - start, 180'000);

    // A second write could only come from a delay timer, due by now; its message would ring
    // before the sentinel, which comes through the same doorbells.
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(150));
    listener->passMessageObject(std::nullopt, std::string("sentinel"));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return sentinel; }));
    EXPECT_EQ(1, messages);
}

TEST_F(StoreTest, ChangesStayInMemoryUntilSaved)
{
    auto store = OVActionsManager::create();
    auto a = OVAction::action<OVMoveToAction>();
    auto b = OVAction::action<OVShellScriptAction>();
    store->addAction(a);
    store->addAction(b);
    store->addAction(nullptr);
    store->removeAction(a);
    store->updateActions({b, a});
    ASSERT_TRUE(ovtest::pumpPastTimersDueWithin(150)); // past any delayed save a change might start
    EXPECT_FALSE(fileExists(plist()));
    ASSERT_EQ(2u, store->actions().size());
    EXPECT_EQ(b, store->actions()[0]);
}

TEST_F(StoreTest, RemoveUsesIdentity)
{
    auto store = OVActionsManager::create();
    auto a = OVAction::action<OVMoveToAction>();
    store->addAction(a);
    store->addAction(a);
    store->removeAction(a->copy()); // same uid, another object
    EXPECT_EQ(2u, store->actions().size());
    store->removeAction(a);
    EXPECT_TRUE(store->actions().empty());
}

TEST_F(StoreTest, SaveClearsIsNewOnTopLevelOnlyAndRoundTrips)
{
    auto store = OVActionsManager::create();
    auto group = OVAction::action<OVMoveActionGroup>();
    auto child = OVAction::action<OVMoveToAction>();
    child->setTitle("Documents");
    child->setDestinationURL("/home/someone/Documents");
    group->addAction(child);
    auto script = OVAction::action<OVShellScriptAction>();
    script->setScriptURL("/tmp/a script.sh");
    auto convert = OVAction::action<OVConvertImageAction>();
    convert->setOutputFormat("jpeg");
    convert->setOutputExtension("jpg");
    store->updateActions({group, script, convert});

    saveAndWait(store);
    EXPECT_FALSE(group->isNew());
    EXPECT_FALSE(script->isNew());
    EXPECT_TRUE(child->isNew()) << "children are not visited";

    auto second = OVActionsManager::create();
    ASSERT_TRUE(second);
    auto list = second->actions();
    ASSERT_EQ(3u, list.size());
    EXPECT_NE(list[0], group) << "a fresh store has its own objects";
    EXPECT_STREQ("OVMoveActionGroup", list[0]->className());
    EXPECT_EQ(group->uid(), list[0]->uid());
    auto children = std::dynamic_pointer_cast<OVActionGroup>(list[0])->actions();
    ASSERT_EQ(1u, children.size());
    auto readChild = std::dynamic_pointer_cast<OVMoveToAction>(children[0]);
    ASSERT_TRUE(readChild);
    EXPECT_EQ(child->uid(), readChild->uid());
    EXPECT_EQ("/home/someone/Documents", readChild->destinationURL().value_or(""));
    auto readScript = std::dynamic_pointer_cast<OVShellScriptAction>(list[1]);
    ASSERT_TRUE(readScript);
    EXPECT_EQ("/tmp/a script.sh", readScript->scriptURL().value_or(""));
    EXPECT_TRUE(readScript->isEditable());
    auto readConvert = std::dynamic_pointer_cast<OVConvertImageAction>(list[2]);
    ASSERT_TRUE(readConvert);
    EXPECT_EQ("jpg", readConvert->outputExtension().value_or(""));
}

TEST_F(StoreTest, FailedWriteIsLoggedWithPathAndReason)
{
    auto store = OVActionsManager::create();
    store->addAction(OVAction::action<OVMoveToAction>());
    // A non-empty folder where the file should go: the rename fails even for root.
    ASSERT_EQ(0, ::mkdir(plist().c_str(), 0700));
    home.writeFile("data/ORVANE.app.orvane.Orvane/Actions.plist/keep", "old");
    ovtest::LogCapture log;
    EXPECT_FALSE(store->saveToFile());
    EXPECT_TRUE(log.contains("Could not save actions to " + plist()));
    EXPECT_EQ("old", ovtest::readAll(plist() + "/keep"));

    // Such a file cannot be read as a list either, and must not pass for an empty one.
    EXPECT_FALSE(OVActionsManager::create());
    EXPECT_TRUE(log.contains("Could not load actions because of error: "));
}

} // namespace
