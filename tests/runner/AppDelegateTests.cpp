// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/AppDelegate.h"

#include "messaging/OVProtocol.h"
#include "messaging/OVWormhole.h"
#include "model/OVActionGroup.h"
#include "model/OVActionsManager.h"
#include "model/OVCopyToAction.h"
#include "model/OVMoveToAction.h"
#include "model/OVSendViaEmailAction.h"
#include "platform/GuiAlert.h"
#include "platform/MainContext.h"
#include "runner/OVRunBehaviours.h"
#include "model/OVUserDefaults.h"
#include "platform/Files.h"
#include "platform/ProductPaths.h"
#include "platform/Workspace.h"
#include "support/TestSupport.h"
#include "support/UnknownActions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

// A kind that only this test program knows; its runs are recorded and completed by the test.
class FakeRunAction : public OVActionKind<FakeRunAction> {
public:
    static constexpr const char* kClassName = "FakeRunAction";
    static constexpr OVKindTraits kKind{};
};

struct Run {
    OVAction* action;
    OVPaths paths;
    OVRunCompletion completion;
};

class RecordingBehaviour : public OVRunBehaviour {
public:
    bool hasBeforeRun() const override { return cancelNext.has_value(); }
    void beforeRun(OVAction&, const OVPaths&, OVBeforeRunCompletion completion) override
    {
        completion(*cancelNext);
    }
    void run(OVAction& action, const OVPaths& paths, OVRunCompletion completion) override
    {
        runs.push_back({&action, paths, std::move(completion)});
    }
    std::optional<bool> cancelNext;
    std::vector<Run> runs;
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        behaviour = std::make_shared<RecordingBehaviour>();
        ov::setWorkspaceRecorder(ov::WorkspaceRecorder{[this](const std::string& call, const std::vector<std::string>& args) {
            workspaceCalls.push_back({call, args});
        }});
        delegate = AppDelegate::create();
        delegate->setRunBehaviourLookup([this](const OVAction& action) -> OVRunBehaviour* {
            if (dynamic_cast<const FakeRunAction*>(&action))
                return behaviour.get();
            return plainBehaviour && typeid(action) == typeid(OVAction) ? plainBehaviour.get() : nullptr;
        });
        delegate->setSoundPlayer([this](const std::string& file) { sounds.push_back(file); });
    }

    OVActionPtr addFakeAction()
    {
        auto action = OVAction::action<FakeRunAction>();
        auto list = delegate->actionsArray();
        list.push_back(action);
        delegate->setActionsArray(list);
        return action;
    }

    void launch()
    {
        delegate->applicationWillFinishLaunching();
        delegate->applicationDidFinishLaunching();
    }

    std::string container() const { return ov::containerPath(); }

    std::string writeRequest(const std::string& content, std::string name = {})
    {
        if (name.empty())
            name = ov::newUUIDString();
        std::ofstream(ov::pathByAppending(container(), name), std::ios::binary) << content;
        return name;
    }

    static std::string url(const std::string& uid, const std::string& file)
    {
        return OVProtocol::runRequestURL(uid, file);
    }

    ovtest::TempHome home;
    std::shared_ptr<RecordingBehaviour> behaviour;
    std::shared_ptr<RecordingBehaviour> plainBehaviour; // for the bare record, when a test sets one
    std::shared_ptr<AppDelegate> delegate;
    std::vector<std::pair<std::string, std::vector<std::string>>> workspaceCalls;
    std::vector<std::string> sounds;
    // Last, so it goes first: the hooks point into this fixture and the delegate.
    ovtest::Restore hooks{[this] {
        delegate.reset();
        ov::setWorkspaceRecorder(std::nullopt);
        OVActivationCenter::setObservers({}, {});
        OVUserNotificationCenter::setSink({});
    }};
};

TEST(AppDelegateQuery, SplitsMembersLikeTheExtensionWritesThem)
{
    using Map = std::map<std::string, std::string>;
    EXPECT_EQ(AppDelegate::parseQueryString("action=A&file=F"), (Map{{"action", "A"}, {"file", "F"}}));
    EXPECT_EQ(AppDelegate::parseQueryString("file=F&action=A"), (Map{{"action", "A"}, {"file", "F"}}));
    // No "=": empty value. A value holding "=" is cut there. Later duplicates win.
    EXPECT_EQ(AppDelegate::parseQueryString("action&file=F"), (Map{{"action", ""}, {"file", "F"}}));
    EXPECT_EQ(AppDelegate::parseQueryString("action=A=B=C"), (Map{{"action", "A"}}));
    EXPECT_EQ(AppDelegate::parseQueryString("action=A&action=B"), (Map{{"action", "B"}}));
    EXPECT_EQ(AppDelegate::parseQueryString("action=&file="), (Map{{"action", ""}, {"file", ""}}));
    // Nothing decoded, nothing trimmed.
    EXPECT_EQ(AppDelegate::parseQueryString("file=%2e%2e+ x"), (Map{{"file", "%2e%2e+ x"}}));
    EXPECT_EQ(AppDelegate::parseQueryString(""), (Map{{"", ""}}));
}

TEST_F(AppDelegateTest, RunsACopyOnTheRequestedPathsAndRemovesTheRequest)
{
    launch();
    auto action = addFakeAction();
    std::string file = writeRequest("{\n  \"paths\" : [\n    \"/a/b c\",\n    \"/d\"\n  ]\n}");

    ovtest::LogCapture log;
    delegate->handleURLString(url(action->uid(), file));

    ASSERT_EQ(behaviour->runs.size(), 1u);
    EXPECT_NE(behaviour->runs[0].action, action.get());
    EXPECT_EQ(behaviour->runs[0].paths, (OVPaths{"/a/b c", "/d"}));
    EXPECT_FALSE(ov::pathExists(ov::pathByAppending(container(), file)));
    EXPECT_TRUE(log.contains("Action was cancelled? 0"));
    ASSERT_EQ(delegate->processingActions().size(), 1u);
    EXPECT_EQ(delegate->processingActions()[0].get(), behaviour->runs[0].action);

    behaviour->runs[0].completion(false, OVError{"Test", 3, "broken"});
    EXPECT_TRUE(delegate->processingActions().empty());
    EXPECT_TRUE(log.contains("Action complete: <FakeRunAction"));
    EXPECT_TRUE(log.contains(" 0 - Error Domain=Test Code=3"));
}

TEST_F(AppDelegateTest, FindsMembersByNameInEitherUrlForm)
{
    launch();
    auto action = addFakeAction();
    const std::string uid = action->uid();
    std::vector<std::string> urls = {
        "orvane://runaction?action=" + uid + "&file=" + writeRequest(R"({"paths":["/x"]})"),
        "orvane://runaction/?file=" + writeRequest(R"({"paths":["/x"]})") + "&action=" + uid,
        // The value is cut at a second "=".
        "orvane://runaction/?action=" + uid + "=junk&file=" + writeRequest(R"({"paths":["/x"]})"),
    };
    for (const auto& u : urls)
        delegate->handleURLString(u);
    EXPECT_EQ(behaviour->runs.size(), urls.size());
}

TEST_F(AppDelegateTest, IgnoresRequestsWithoutBothMembersOrWithAnUnknownAction)
{
    launch();
    auto action = addFakeAction();
    std::string file = writeRequest(R"({"paths":["/x"]})");
    ovtest::LogCapture log;

    delegate->handleURLString("orvane://runaction/?action&file=" + file);
    delegate->handleURLString("orvane://runaction/?action=&file=" + file);
    delegate->handleURLString("orvane://runaction/?action=" + action->uid() + "&file=");
    delegate->handleURLString("orvane://runaction/?action=" + action->uid());
    delegate->handleURLString("orvane://runaction");
    delegate->handleURLString(url("0123456789ABCDEF0123456789ABCDEF", file));
    delegate->handleURLString("orvane://runaction/?action=" + action->uid() + " &file=" + file);
    delegate->handleURLString("");

    EXPECT_TRUE(behaviour->runs.empty());
    EXPECT_TRUE(delegate->processingActions().empty());
    // Neither read nor removed.
    EXPECT_TRUE(ov::isRegularFile(ov::pathByAppending(container(), file)));
    EXPECT_TRUE(log.contains("Invalid URL"));

    // A missing request file does nothing either.
    delegate->handleURLString(url(action->uid(), ov::newUUIDString()));
    EXPECT_TRUE(behaviour->runs.empty());
    EXPECT_TRUE(delegate->processingActions().empty());
}

TEST_F(AppDelegateTest, LooksUpGroupChildrenLastMatchWinsGroupsNeverRun)
{
    launch();
    auto first = OVAction::action<FakeRunAction>();
    auto group = OVAction::action<OVActionGroup>();
    auto child = OVAction::action<FakeRunAction>();
    group->addAction(child);
    delegate->setActionsArray({first, group});

    EXPECT_EQ(delegate->actionWithUID(child->uid()), child);
    EXPECT_EQ(delegate->actionWithUID(first->uid()), first);
    EXPECT_EQ(delegate->actionWithUID(group->uid()), nullptr);
    EXPECT_EQ(delegate->actionWithUID(""), nullptr);

    // With a uid twice, the later one in list order wins.
    auto twin = first->copy();
    delegate->setActionsArray({first, twin});
    EXPECT_EQ(delegate->actionWithUID(first->uid()), twin);
}

// A request can name any uid: one of an action of a kind from a newer version finds nothing, at
// the top and in a group, even when the action is on.
TEST_F(AppDelegateTest, ActionsOfUnknownKindsAreNeverFoundNorRun)
{
    launch();
    auto future = ovtest::unknownAction("Future");
    auto futureChild = ovtest::unknownAction("Future child");
    ASSERT_TRUE(future && futureChild);
    future->setEnabled(true);
    futureChild->setEnabled(true);
    auto group = OVAction::action<OVActionGroup>();
    group->addAction(futureChild);
    delegate->setActionsArray({future, group});

    EXPECT_EQ(delegate->actionWithUID(future->uid()), nullptr);
    EXPECT_EQ(delegate->actionWithUID(futureChild->uid()), nullptr);
    ovtest::LogCapture log;
    delegate->handleURLString(url(future->uid(), writeRequest(R"({"paths":["/x"]})")));
    delegate->handleURLString(url(futureChild->uid(), writeRequest(R"({"paths":["/x"]})")));
    EXPECT_FALSE(log.contains("Action was cancelled?"));
    EXPECT_FALSE(log.contains("Action complete:"));
    EXPECT_TRUE(delegate->processingActions().empty());
}

TEST_F(AppDelegateTest, TwoRequestsForOneActionRunOnTwoCopiesAtOnce)
{
    launch();
    auto action = addFakeAction();
    delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":["/one"]})")));
    delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":["/two"]})")));

    ASSERT_EQ(behaviour->runs.size(), 2u);
    EXPECT_NE(behaviour->runs[0].action, behaviour->runs[1].action);
    EXPECT_NE(behaviour->runs[0].action, action.get());
    EXPECT_EQ(behaviour->runs[0].action->uid(), action->uid());
    EXPECT_EQ(delegate->processingActions().size(), 2u);

    behaviour->runs[1].completion(true, std::nullopt);
    ASSERT_EQ(delegate->processingActions().size(), 1u);
    EXPECT_EQ(delegate->processingActions()[0].get(), behaviour->runs[0].action);
    behaviour->runs[0].completion(true, std::nullopt);
    EXPECT_TRUE(delegate->processingActions().empty());
}

TEST_F(AppDelegateTest, CancelledRunDoesNotRunNorStayHeld)
{
    launch();
    auto action = addFakeAction();
    delegate->userDefaults()->setPlayAlertOnCompletion(true);
    behaviour->cancelNext = true;
    ovtest::LogCapture log;
    delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":["/x"]})")));
    EXPECT_TRUE(log.contains("Action was cancelled? 1"));
    EXPECT_TRUE(behaviour->runs.empty());
    EXPECT_TRUE(delegate->processingActions().empty());
    EXPECT_TRUE(sounds.empty());
}

TEST_F(AppDelegateTest, PlaysTheSoundAfterEveryCompletionWhenEnabled)
{
    launch();
    auto action = addFakeAction();
    delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":["/x"]})")));
    behaviour->runs.back().completion(true, std::nullopt);
    EXPECT_TRUE(sounds.empty());

    delegate->userDefaults()->setPlayAlertOnCompletion(true);
    delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":["/x"]})")));
    behaviour->runs.back().completion(false, std::nullopt);
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_NE(sounds[0].find("done_sound"), std::string::npos);
    EXPECT_TRUE(ov::isRegularFile(sounds[0]));
}

TEST_F(AppDelegateTest, RequestFileNameMustBeAUuidInTheContainer)
{
    launch();
    auto action = addFakeAction();
    const std::string request = R"({"paths":["/etc/passwd"]})";
    const std::string outside = home.writeFile("outside/victim", request);
    const std::string deep = home.writeFile("data/victim", request);
    const std::string target = home.writeFile("outside/" + ov::newUUIDString(), request);
    const std::string linkName = ov::newUUIDString();
    ASSERT_EQ(::symlink(target.c_str(), ov::pathByAppending(container(), linkName).c_str()), 0);
    const std::string lower = writeRequest(request, "a0b1c2d3-e4f5-4a6b-8c7d-9e0f1a2b3c4d");

    ovtest::LogCapture log;
    for (const std::string& name : {std::string("../victim"), std::string("../../outside/victim"), outside,
                                    std::string("%2e%2e%2foutside%2fvictim"), std::string(".."),
                                    ov::lastPathComponent(target), lower, linkName}) {
        delegate->handleURLString(url(action->uid(), name));
        EXPECT_TRUE(delegate->readPathsWithFileName(name) == std::nullopt) << name;
    }
    EXPECT_TRUE(behaviour->runs.empty());
    EXPECT_TRUE(ov::isRegularFile(outside));
    EXPECT_TRUE(ov::isRegularFile(deep));
    EXPECT_TRUE(ov::isRegularFile(target));
    EXPECT_TRUE(ov::pathExists(ov::pathByAppending(container(), linkName)));
    EXPECT_TRUE(ov::isRegularFile(ov::pathByAppending(container(), lower)));
    EXPECT_TRUE(log.contains("invalid file name"));
}

TEST_F(AppDelegateTest, ReadsOnlyWellFormedRequestsAndAlwaysRemovesThem)
{
    auto read = [&](const std::string& content) {
        std::string name = writeRequest(content);
        auto paths = delegate->readPathsWithFileName(name);
        EXPECT_FALSE(ov::pathExists(ov::pathByAppending(container(), name))) << content;
        return paths;
    };
    EXPECT_EQ(read("{\n  \"paths\" : [\n    \"/a\"\n  ]\n}"), (OVPaths{"/a"}));
    EXPECT_EQ(read(R"({"paths":[]})"), OVPaths{});
    EXPECT_EQ(read(""), std::nullopt);
    EXPECT_EQ(read("not json"), std::nullopt);
    EXPECT_EQ(read("{}"), std::nullopt);
    EXPECT_EQ(read(R"(["/a"])"), std::nullopt);
    EXPECT_EQ(read(R"({"other":["/a"]})"), std::nullopt);
    EXPECT_EQ(read(R"({"paths":"/a"})"), std::nullopt);
    // One bad element refuses the whole request.
    EXPECT_EQ(read(R"({"paths":["/a", 7]})"), std::nullopt);
    EXPECT_EQ(read(R"({"paths":["/a", null]})"), std::nullopt);
    EXPECT_EQ(read(R"({"paths":["relative/a"]})"), std::nullopt);
    EXPECT_EQ(read(R"({"paths":["/a\u0000/b"]})"), std::nullopt);
    EXPECT_EQ(read("{\"paths\":[\"/\xff\xfe\"]}"), std::nullopt);
    EXPECT_EQ(read(std::string(100000, '[')), std::nullopt);

    std::string big = R"({"paths":[")" + std::string(AppDelegate::kMaxRequestFileSize, 'a') + "\"]}";
    EXPECT_EQ(read(big), std::nullopt);
}

TEST_F(AppDelegateTest, RemovesOnlyOldUnreadRequests)
{
    auto age = [&](const std::string& path, double seconds) {
        struct utimbuf times;
        times.actime = times.modtime = time(nullptr) - time_t(seconds);
        ASSERT_EQ(::utime(path.c_str(), &times), 0);
    };
    auto inContainer = [&](const std::string& name) { return ov::pathByAppending(container(), name); };

    std::string stale = writeRequest(R"({"paths":["/a"]})");
    std::string fresh = writeRequest(R"({"paths":["/a"]})");
    std::string other = writeRequest("keep", "Actions.plist.old");
    std::string outside = home.writeFile("outside/" + ov::newUUIDString(), "keep");
    std::string link = ov::newUUIDString();
    ASSERT_EQ(::symlink(outside.c_str(), inContainer(link).c_str()), 0);
    std::string folder = ov::newUUIDString();
    std::filesystem::create_directory(inContainer(folder));
    std::string nested = home.writeFile("data/" + std::string(ov::kApplicationGroupIdentifier) + "/wormhole/" +
                                            ov::newUUIDString(), "keep");
    for (const auto& p : {inContainer(stale), inContainer(other), outside, inContainer(folder), nested})
        age(p, 2 * AppDelegate::kStaleRequestAge);
    age(inContainer(fresh), AppDelegate::kStaleRequestAge - 60);

    // The launch sweeps once.
    launch();

    EXPECT_FALSE(ov::pathExists(inContainer(stale)));
    EXPECT_TRUE(ov::isRegularFile(inContainer(fresh)));
    EXPECT_TRUE(ov::isRegularFile(inContainer(other)));
    EXPECT_TRUE(ov::isRegularFile(outside));
    EXPECT_TRUE(ov::pathExists(inContainer(link)));
    EXPECT_TRUE(ov::isDirectory(inContainer(folder)));
    EXPECT_TRUE(ov::isRegularFile(nested));
}

TEST_F(AppDelegateTest, UrlsBeforeLaunchAreHandledInOrderAfterIt)
{
    // The list comes from the store at launch: a plain record with the recording behaviour.
    auto recorded = std::make_shared<RecordingBehaviour>();
    plainBehaviour = recorded;
    auto action = OVAction::action<OVAction>();
    {
        auto store = OVActionsManager::create();
        ASSERT_TRUE(store);
        store->addAction(action);
        ASSERT_TRUE(store->saveToFile());
    }
    delegate->applicationWillFinishLaunching();
    delegate->handleURL(url(action->uid(), writeRequest(R"({"paths":["/first"]})")));
    delegate->handleURL(url(action->uid(), writeRequest(R"({"paths":["/second"]})")));
    delegate->handleAppleEvent(std::nullopt);
    EXPECT_TRUE(recorded->runs.empty());
    ASSERT_TRUE(delegate->pendingUrls());
    EXPECT_EQ(delegate->pendingUrls()->size(), 2u);

    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(delegate->didFinishLaunching());
    ASSERT_EQ(recorded->runs.size(), 2u);
    EXPECT_EQ(recorded->runs[0].paths, OVPaths{"/first"});
    EXPECT_EQ(recorded->runs[1].paths, OVPaths{"/second"});

    // After launch a URL is handled on arrival.
    delegate->handleURL(url(action->uid(), writeRequest(R"({"paths":["/third"]})")));
    EXPECT_EQ(recorded->runs.size(), 3u);
}

TEST_F(AppDelegateTest, AFreshHomeGetsTheBuiltInActions)
{
    launch();
    EXPECT_EQ(delegate->actionsArray().size(), 19u);
}

TEST_F(AppDelegateTest, ReloadsTheListWhenTheStoreAnnouncesAChange)
{
    // An empty list of the user's, which stays empty.
    ASSERT_TRUE(OVActionsManager::create()->saveToFile());
    launch();
    EXPECT_TRUE(delegate->actionsArray().empty());
    auto store = OVActionsManager::create();
    ASSERT_TRUE(store);
    store->addAction(OVAction::action<OVAction>());
    ASSERT_TRUE(store->saveToFile());
    auto sender = OVProtocol::wormhole();
    ASSERT_TRUE(sender);
    sender->passMessageObject(std::nullopt, std::string(OVProtocol::kDidChangeNotification));
    EXPECT_TRUE(ovtest::pumpUntil([&] { return delegate->actionsArray().size() == 1; }));
}

TEST_F(AppDelegateTest, CountsActivationRequests)
{
    launch();
    EXPECT_EQ(delegate->activationPolicy(), OVActivationPolicy::Prohibited);
    OVActivationCenter::postEnableActivation();
    OVActivationCenter::postEnableActivation();
    EXPECT_EQ(delegate->activationCount(), 2);
    EXPECT_EQ(delegate->activationPolicy(), OVActivationPolicy::Accessory);
    OVActivationCenter::postDisableActivation();
    EXPECT_EQ(delegate->activationPolicy(), OVActivationPolicy::Accessory);
    OVActivationCenter::postDisableActivation();
    EXPECT_EQ(delegate->activationCount(), 0);
    EXPECT_EQ(delegate->activationPolicy(), OVActivationPolicy::Prohibited);

    // The observers hold the delegate weakly.
    delegate.reset();
    OVActivationCenter::postEnableActivation();
}

TEST_F(AppDelegateTest, PresentsNotificationsUnlessDisabledAndRevealsOnActivation)
{
    std::vector<OVUserNotification> presented;
    delegate->setPresenter([&](const OVUserNotification& n) { presented.push_back(n); });
    launch();

    OVUserNotification moved;
    moved.informativeText = "Finished moving 2 files";
    moved.actionButtonTitle = "Show";
    moved.paths = std::vector<std::string>{"/a", "/b"};
    EXPECT_TRUE(delegate->shouldPresentNotification(moved));
    OVUserNotificationCenter::deliverNotification(moved);
    EXPECT_TRUE(ovtest::pumpUntil([&] { return presented.size() == 1; }));

    delegate->userDefaults()->setDisableActionNotifications(true);
    EXPECT_FALSE(delegate->shouldPresentNotification(moved));
    OVUserNotificationCenter::deliverNotification(moved);
    ASSERT_TRUE(ovtest::pumpPending());
    EXPECT_EQ(presented.size(), 1u);

    OVUserNotification both;
    both.path = "/one";
    both.paths = std::vector<std::string>{"/a", "/b"};
    delegate->didActivateNotification(both);
    delegate->didActivateNotification(OVUserNotification{});
    ASSERT_EQ(workspaceCalls.size(), 2u);
    EXPECT_EQ(workspaceCalls[0], (std::pair<std::string, std::vector<std::string>>{"revealFiles", {"/one"}}));
    EXPECT_EQ(workspaceCalls[1], (std::pair<std::string, std::vector<std::string>>{"revealFiles", {"/a", "/b"}}));
}

TEST_F(AppDelegateTest, FailuresAreToldEvenWithNotificationsOffSuccessesAreNot)
{
    std::vector<std::string> presented;
    delegate->setPresenter([&](const OVUserNotification& n) { presented.push_back(n.informativeText); });
    launch();
    delegate->userDefaults()->setDisableActionNotifications(true);
    const std::string file = home.writeFile("work/report.txt", "x");
    const std::string there = home.makeFolder("there");
    const std::string gone = home.path() + "/gone"; // a destination deleted since it was chosen

    auto copyTo = [](const std::string& folder) {
        auto action = OVAction::action<OVCopyToAction>();
        action->setDestinationURL(folder);
        return action;
    };
    auto moveTo = [](const std::string& folder) {
        auto action = OVAction::action<OVMoveToAction>();
        action->setDestinationURL(folder);
        return action;
    };
    auto runThroughTheRunner = [&](const OVActionPtr& action, const std::string& path) {
        action->generateUID();
        delegate->setActionsArray({action});
        delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":[")" + path + R"("]})")));
        EXPECT_TRUE(ovtest::pumpUntil([&] { return delegate->processingActions().empty(); }, 20000));
        // A block handed over after the run shows that whatever the run delivered was handled.
        bool handled = false;
        ov::invokeOnMain([&] { handled = true; });
        EXPECT_TRUE(ovtest::pumpUntil([&] { return handled; }));
    };

    runThroughTheRunner(copyTo(there), file);
    EXPECT_TRUE(ov::pathExists(there + "/report.txt"));
    runThroughTheRunner(copyTo(gone), file);
    EXPECT_EQ(presented, (std::vector<std::string>{"An error occurred while copying this file."}));

    presented.clear();
    runThroughTheRunner(moveTo(there), there + "/report.txt");
    runThroughTheRunner(moveTo(home.makeFolder("elsewhere")), home.path() + "/work/missing.txt");
    EXPECT_EQ(presented, (std::vector<std::string>{"An error occurred while moving these files."}));
}

TEST_F(AppDelegateTest, ARequestForEveryKindFinishes)
{
    ov::setAlertPresenter([](const ov::AlertRequest&, std::function<void(int)> done) { done(0); });
    launch();
    const std::string file = home.writeFile("work/report.txt", "x");
    for (const auto& kind : OVAction::knownClassNames()) {
        // A real mail client would open here; the alert path is what this machine can take.
        if (kind == OVSendViaEmailAction::kClassName && ov::defaultApplicationForScheme("mailto"))
            continue;
        SCOPED_TRACE(kind);
        auto action = OVAction::emptyInstanceOfClass(kind);
        action->generateUID();
        auto holder = OVAction::action<OVActionGroup>(); // groups are found only as lookups' parents
        holder->addAction(action);
        delegate->setActionsArray({action->isGroup() ? holder : action});
        ovtest::LogCapture log;
        delegate->handleURLString(url(action->uid(), writeRequest(R"({"paths":[")" + file + R"("]})")));
        EXPECT_TRUE(ovtest::pumpUntil([&] { return delegate->processingActions().empty(); }, 20000));
        EXPECT_TRUE(log.contains("Action complete:") || log.contains("Action was cancelled? 1") ||
                    !delegate->actionWithUID(action->uid()))
            << kind;
    }
    ov::setAlertPresenter(std::nullopt);
    // Every kind the model knows has a behaviour here, or is a group.
    for (const auto& kind : OVAction::knownClassNames()) {
        auto action = OVAction::emptyInstanceOfClass(kind);
        EXPECT_TRUE(action->isGroup() || OVRunBehaviourFor(*action) || kind == "OVAction") << kind;
    }
}

TEST_F(AppDelegateTest, NotificationsThatAskForASoundPlayIt)
{
    std::vector<std::string> presented;
    delegate->setPresenter([&](const OVUserNotification& n) { presented.push_back(n.informativeText); });
    launch();
    OVUserNotification loud;
    loud.informativeText = "loud";
    loud.playsDefaultSound = true;
    OVUserNotification quiet;
    quiet.informativeText = "quiet";

    OVUserNotificationCenter::deliverNotification(loud);
    OVUserNotificationCenter::deliverNotification(quiet);
    ASSERT_TRUE(ovtest::pumpUntil([&] { return presented.size() == 2; }));
    EXPECT_EQ(sounds.size(), 1u);

    // Silenced notifications make no sound either; a block handed over after it shows that it
    // was handled.
    delegate->userDefaults()->setDisableActionNotifications(true);
    OVUserNotificationCenter::deliverNotification(loud);
    bool handled = false;
    ov::invokeOnMain([&] { handled = true; });
    ASSERT_TRUE(ovtest::pumpUntil([&] { return handled; }));
    EXPECT_EQ(presented.size(), 2u);
    EXPECT_EQ(sounds.size(), 1u);
}

} // namespace
