// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/GuiResources.h"
#include "support/TestSupport.h"
#include "ui/HLModuleViewController.h"
#include "ui/HLNavigationController.h"
#include "ui/HLWindowController.h"

#include <gtest/gtest.h>

extern "C" void orvane_test_register_resource(void);

namespace {

using Journal = std::vector<std::string>;

// A page that writes its hooks into a shared journal.
class HLTestPage : public HLModuleViewController {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"HLTestPage", "HLModuleViewController", "HLViewController"};
    }
    void hl_viewDidLoad() override { note("load"); }
    void hl_viewWillAppear() override { note("willAppear"); }
    void hl_viewDidAppear() override { note("didAppear"); }
    void hl_viewWillDisappear() override { note("willDisappear"); }
    void hl_viewDidDisappear() override { note("didDisappear"); }

protected:
    HLTestPage(std::string name, Journal* journal) : name_(std::move(name)), journal_(journal) {}
    friend class HLViewController;

private:
    void note(const char* hook) { journal_->push_back(name_ + "." + hook); }
    std::string name_;
    Journal* journal_;
};

// A page class with no interface file of its own: it finds its parent's.
class HLTestDerivedPage : public HLTestPage {
public:
    std::vector<std::string> classHierarchy() const override
    {
        return {"HLTestDerivedPage", "HLTestPage", "HLModuleViewController", "HLViewController"};
    }

protected:
    using HLTestPage::HLTestPage;
    friend class HLViewController;
};

class HLTestWindowController : public HLWindowController {
public:
    std::vector<std::string> classHierarchy() const override { return {"HLTestWindowController", "HLWindowController"}; }
    void hl_viewDidLoad() override { journal.push_back("load"); }
    void hl_sheetWillAppear() override { journal.push_back("sheetWillAppear"); }
    void hl_sheetDidAppear() override { journal.push_back("sheetDidAppear"); }
    void hl_sheetWillDisappear() override { journal.push_back("sheetWillDisappear"); }
    void hl_sheetDidDisappear() override { journal.push_back("sheetDidDisappear"); }
    void didSwipeForward() override { journal.push_back("forward"); }
    void didSwipeBack() override { journal.push_back("back"); }
    Journal journal;

protected:
    HLTestWindowController() : HLWindowController(true) {}
    friend class HLWindowController;
};

class ControllerBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!ov::guiReady())
            GTEST_SKIP() << "no display";
        static const bool registered = (orvane_test_register_resource(), true);
        (void)registered;
    }

    std::shared_ptr<HLTestPage> page(const std::string& name)
    {
        return HLViewController::controller<HLTestPage>(name, &journal);
    }

    // Lets every deferred change and slide finish.
    void settle(const std::shared_ptr<HLNavigationController>& nav, const std::shared_ptr<HLViewController>& top)
    {
        ASSERT_TRUE(ovtest::pumpUntil([&] {
            return nav->currentViewController() == top && !gtk_stack_get_transition_running(GTK_STACK(nav->view()));
        }));
        ovtest::pumpUntil([] { return !g_main_context_pending(nullptr); }, 1000);
    }

    Journal journal;
};

TEST_F(ControllerBase, InterfaceFileIsFoundUpTheClassChainAndLoadedOnce)
{
    auto p = HLViewController::controller<HLTestDerivedPage>("derived", &journal);
    EXPECT_TRUE(p->hl_viewHasLoaded());
    ASSERT_TRUE(GTK_IS_LABEL(p->outlet("titleLabel")));
    EXPECT_STREQ(gtk_label_get_label(p->outlet<GtkLabel>("titleLabel")), "Test page");
    EXPECT_EQ(journal, (Journal{"derived.load"}));

    // A class without any file still gets a view to show.
    class Bare : public HLViewController {
    public:
        Bare() = default;
    };
    auto bare = HLViewController::controller<Bare>();
    EXPECT_TRUE(GTK_IS_WIDGET(bare->view()));
    EXPECT_EQ(bare->outlet("titleLabel"), nullptr);

    auto window = HLWindowController::controller<HLTestWindowController>();
    EXPECT_STREQ(gtk_window_get_title(window->window()), "Test window");
    EXPECT_EQ(window->journal, (Journal{"load"}));
}

TEST_F(ControllerBase, StackShowsPushesAndPopsWithHooksInOrder)
{
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    auto nav = HLNavigationController::create(window);
    gtk_window_set_child(window, nav->view());
    gtk_window_present(window);
    auto a = page("a"), b = page("b"), c = page("c");
    journal.clear();

    // Pushing onto an empty stack shows at once, without a slide; nothing happens in this turn.
    nav->pushViewController(a, true);
    EXPECT_EQ(nav->currentViewController(), nullptr);
    settle(nav, a);
    EXPECT_EQ(journal, (Journal{"a.willAppear", "a.didAppear"}));
    EXPECT_EQ(a->navigationController(), nav);

    journal.clear();
    nav->pushViewController(b, true);
    settle(nav, b);
    EXPECT_EQ(journal, (Journal{"a.willDisappear", "b.willAppear", "a.didDisappear", "b.didAppear"}));
    EXPECT_EQ(gtk_stack_get_visible_child(GTK_STACK(nav->view())), b->view());

    // Deferred calls in one turn are applied in call order.
    nav->pushViewController(c, false);
    EXPECT_EQ(nav->popToRootViewControllerAnimated(false), a);
    settle(nav, a);
    EXPECT_EQ(nav->viewControllers(), (std::vector<HLNavigationController::ControllerPtr>{a}));
    nav->pushViewController(b, false);
    nav->pushViewController(c, false);
    settle(nav, c);
    // A pop takes the top off at once and shows the new top on the next turn.
    EXPECT_EQ(nav->popViewControllerAnimated(false), b);
    EXPECT_EQ(nav->currentViewController(), c);
    settle(nav, b);
    nav->pushViewController(c, false);
    settle(nav, c);
    EXPECT_EQ(nav->viewControllers(), (std::vector<HLNavigationController::ControllerPtr>{a, b, c}));

    journal.clear();
    ovtest::LogCapture log;
    nav->popToController(c, true);
    EXPECT_TRUE(log.contains("View controller is already the top item"));
    nav->popToController(page("stranger"), true);
    EXPECT_TRUE(log.contains("Could not find in stack: "));
    EXPECT_TRUE(log.contains("Stack: "));
    EXPECT_EQ(nav->viewControllers().size(), 3u);

    nav->popToController(a, true);
    EXPECT_EQ(nav->viewControllers().size(), 1u);
    settle(nav, a);
    EXPECT_EQ(journal, (Journal{"stranger.load", "c.willDisappear", "a.willAppear", "c.didDisappear", "a.didAppear"}));

    nav->setIsVisible(true);
    EXPECT_TRUE(a->hl_isVisible());
    a->setModuleIsVisible(false);
    EXPECT_FALSE(nav->isVisible());
    EXPECT_FALSE(a->hl_isVisible());
    gtk_window_destroy(window);
}

TEST_F(ControllerBase, WindowFitsTheLargerMinimumSizeOfAPage)
{
    GtkWindow* window = GTK_WINDOW(gtk_window_new());
    auto nav = HLNavigationController::create(window);
    gtk_window_set_child(window, nav->view());
    gtk_window_set_default_size(window, 200, 150);
    gtk_window_present(window);
    auto small = page("small"), big = page("big");
    nav->setViewControllers({small});
    ASSERT_TRUE(ovtest::pumpUntil([&] { return gtk_widget_get_width(nav->view()) > 0; }));

    EXPECT_FALSE(nav->resizeWindowIfNeededForViewController(small, false)) << "no minimum size: nothing to do";
    big->setViewMinSize({500, 400});
    EXPECT_TRUE(nav->resizeWindowIfNeededForViewController(big, false));
    int w = 0, h = 0;
    gtk_widget_get_size_request(GTK_WIDGET(window), &w, &h);
    EXPECT_GE(w, 500);
    EXPECT_GE(h, 400);
    gtk_window_destroy(window);
}

TEST_F(ControllerBase, SheetsAttachOnTheNextTurnAndSwipesNeedTwoTouches)
{
    GtkWindow* parent = GTK_WINDOW(gtk_window_new());
    gtk_window_present(parent);
    auto sheet = HLWindowController::controller<HLTestWindowController>();
    sheet->beginSheetInWindow(parent);
    EXPECT_EQ(sheet->journal, (Journal{"load", "sheetWillAppear"}));
    ASSERT_TRUE(ovtest::pumpUntil([&] { return sheet->journal.size() == 3; }));
    EXPECT_EQ(sheet->journal.back(), "sheetDidAppear");
    EXPECT_EQ(gtk_window_get_transient_for(sheet->window()), parent);
    EXPECT_TRUE(gtk_window_get_modal(sheet->window()));
    sheet->closeSheet();
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(sheet->window())));
    EXPECT_EQ(sheet->journal, (Journal{"load", "sheetWillAppear", "sheetDidAppear", "sheetWillDisappear", "sheetDidDisappear"}));

    sheet->journal.clear();
    using T = HLWindowController::Touch;
    sheet->touchesBegan({{1, 0.1}, {2, 0.2}});
    sheet->touchesEnded({{1, 0.3}, {2, 0.35}}); // 0.2 + 0.15
    sheet->touchesBegan({{1, 0.5}, {2, 0.5}});
    sheet->touchesEnded({{1, 0.3}, {2, 0.4}}); // -0.3
    sheet->touchesBegan({{1, 0.5}, {2, 0.5}});
    sheet->touchesEnded({{1, 0.6}, {2, 0.6}}); // 0.2: too little
    sheet->touchesBegan({{1, 0.0}});
    sheet->touchesEnded({T{1, 0.9}}); // one finger is no swipe
    EXPECT_EQ(sheet->journal, (Journal{"forward", "back"}));
    gtk_window_destroy(parent);
}

} // namespace
