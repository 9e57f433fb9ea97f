// SPDX-License-Identifier: GPL-3.0-or-later
// The runner's notifications and prompts in German: no English message that German says
// differently is left in them.
#include "RunnerTestSupport.h"

#include "model/OVMoveToAction.h"
#include "runner/OVRunBehaviours.h"

namespace {

class GermanNotifications : public RunBehaviourTest {};

TEST_F(GermanNotifications, MovingAndConfirmingARemovalSpeakGerman)
{
    ovtest::GermanLanguage german;
    ASSERT_EQ(german.unavailable(), "");
    const std::string dest = folder("dest");
    auto move = OVAction::action<OVMoveToAction>();
    move->setDestinationURL(dest);
    EXPECT_TRUE(run(*move, {write("src/a.txt", "A"), write("src/b.txt", "B")}).success);
    EXPECT_TRUE(run(*move, {write("src/c.txt", "C")}).success);
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[0].informativeText, "2 Dateien wurden verschoben");
    EXPECT_EQ(notifications[0].actionButtonTitle, "Anzeigen");
    EXPECT_EQ(notifications[1].informativeText, "„c.txt“ wurde verschoben");

    std::vector<std::string> shown;
    for (const auto& n : notifications)
        for (const auto& text : {n.title, n.informativeText, n.actionButtonTitle})
            shown.push_back(text);
    OVPaths many;
    for (int i = 0; i < 12; ++i)
        many.push_back("/f/" + std::to_string(i));
    for (const auto& line : ovtest::splitText(OVSecureRemoveConfirmationText(many)))
        shown.push_back(line);
    EXPECT_EQ(ovtest::englishLeft(shown), std::vector<std::string>{});
    // The check itself knows the English it looks for.
    EXPECT_EQ(ovtest::englishLeft({"Finished moving 2 files", "Show"}),
              (std::vector<std::string>{"Finished moving 2 files", "Show"}));
}

} // namespace
