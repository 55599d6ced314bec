#include "app/page_tab_ctrl.h"

#include <gtest/gtest.h>

#include "pages/config_page.h"

namespace {

struct CheckPage : CConfigPage {
    bool accepts = true;
    int checks = 0;
    bool TakeControlValues() override {
        ++checks;
        return accepts;
    }
};

struct Tabs {
    CheckPage pages[3];
    CPageTabCtrl ctrl;
    int focusRequests = 0;
    Tabs() {
        for (auto& p : pages)
            ctrl.AddPage("tab", p);
        ctrl.SetPageFocusListener([this] { ++focusRequests; });
    }
};

}  // namespace

TEST(PageTabCtrl, SwitchingShowsTheNewPageAndGivesItTheFocus) {
    Tabs t;
    EXPECT_EQ(t.ctrl.VisibleIndex(), 0);
    EXPECT_TRUE(t.ctrl.SwitchTo(2));
    EXPECT_EQ(t.ctrl.VisibleIndex(), 2);
    EXPECT_EQ(t.ctrl.CurSel(), 2);
    EXPECT_EQ(t.pages[0].checks, 1);
    EXPECT_EQ(t.focusRequests, 1);
}

TEST(PageTabCtrl, ARefusingPageStaysInFrontWithItsTabSelected) {
    Tabs t;
    t.pages[0].accepts = false;
    t.ctrl.SetCurSel(1);  // as a view may have moved the selection already
    EXPECT_FALSE(t.ctrl.SwitchTo(1));
    EXPECT_EQ(t.ctrl.VisibleIndex(), 0);
    EXPECT_EQ(t.ctrl.CurSel(), 0);
    EXPECT_EQ(t.focusRequests, 0);
}

TEST(PageTabCtrl, SwitchingToTheVisiblePageOrOutsideChecksNothing) {
    Tabs t;
    EXPECT_TRUE(t.ctrl.SwitchTo(0));
    EXPECT_FALSE(t.ctrl.SwitchTo(3));
    EXPECT_FALSE(t.ctrl.SwitchTo(-1));
    EXPECT_EQ(t.pages[0].checks, 0);
}

TEST(PageTabCtrl, CheckAllStopsAtTheFirstRefusalAndShowsIt) {
    Tabs t;
    t.pages[1].accepts = false;
    t.pages[2].accepts = false;
    EXPECT_EQ(t.ctrl.CheckAll(), 1);
    EXPECT_EQ(t.ctrl.VisibleIndex(), 1);
    EXPECT_EQ(t.pages[2].checks, 0);
    // The refusing page put the focus on its own control; the tab control leaves it there.
    EXPECT_EQ(t.focusRequests, 0);
    t.pages[1].accepts = t.pages[2].accepts = true;
    EXPECT_EQ(t.ctrl.CheckAll(), -1);
}

TEST(PageTabCtrl, RequestsReachTheOwnerOnlyWhileEnabledAndInRange) {
    Tabs t;
    std::vector<int> requested;
    t.ctrl.onSelectRequest = [&](int i) { requested.push_back(i); };
    t.ctrl.RequestSelect(2);
    t.ctrl.RequestSelect(7);
    t.ctrl.Enable(false);
    t.ctrl.RequestSelect(1);
    EXPECT_EQ(requested, (std::vector<int>{2}));
}
