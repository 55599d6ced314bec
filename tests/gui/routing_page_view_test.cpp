#include "gui/routing_page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "files/temp_dir.h"
#include "gui/grid_view.h"
#include "model/qor_doc.h"
#include "pages/routing_page.h"
#include "qorsim/sim_module.h"
#include "shown_window.h"

namespace {

struct RoutingView : ShownWindow {
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ShowPage(CUtilityDlg::kRoutingPage));
        ASSERT_EQ(grid, qobject_cast<RoutingPageView*>(view)->Grid());
    }
    CGridCtrl& Model() { return dlg.RoutingPage().Grid(); }
    // Focuses the address cell of row and types text into a new edit.
    void Type(int row, const char* text) { TypeIntoCell(row, 2, text); }
    // Waits for a command started by its Alt key (the button clicks a moment later).
    void WaitForClick() { QTest::qWait(250); }
};

}  // namespace

TEST_F(RoutingView, ShowsThePagesGridBesideItsLeftMargin) {
    EXPECT_EQ(&grid->Model(), &Model());
    EXPECT_EQ(grid->objectName().toStdString(), "routingGrid");
    EXPECT_TRUE(grid->isVisible());
    EXPECT_GT(grid->x(), 0);
    EXPECT_LT(grid->x() + grid->width(), view->width());
    EXPECT_EQ(Model().GetCellText(0, 2), "IP Address");
}

TEST_F(RoutingView, EscapeCancelsTheEditAndEnterEndsIt) {
    Type(4, "010");
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text().toStdString(), "010");
    QTest::keyClick(Editor(), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(dlg.RoutingPage().Route(3), "000.000.000.000");
    EXPECT_FALSE(Model().IsModified(4, 2));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");

    Type(4, "010.000.000.001");
    ASSERT_NE(Editor(), nullptr);
    QTest::keyClick(Editor(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(dlg.RoutingPage().Route(3), "010.000.000.001");
    EXPECT_TRUE(Model().IsModified(4, 2));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
}

TEST_F(RoutingView, ARefusedEditShowsTheCellsMessageAndKeepsTheAddress) {
    Type(6, "1");
    ASSERT_NE(Editor(), nullptr);
    ui.ExpectMessage();
    QTest::keyClick(Editor(), Qt::Key_Enter);
    Settle();
    EXPECT_EQ(ui.LastMessage(), "Missing IP address '.' delimiter.");
    EXPECT_EQ(dlg.RoutingPage().Route(5), "000.000.000.000");
    EXPECT_TRUE(window.isVisible());
}

TEST_F(RoutingView, EnterAndEscapeThatReachThePageStopThere) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        press.ignore();
        QApplication::sendEvent(view, &press);
        EXPECT_TRUE(press.isAccepted()) << key;
    }
    Settle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(RoutingView, ADragInsideTheGridCopiesTheRouteWithoutAMessage) {
    Type(2, "010.000.000.001");
    QTest::keyClick(Editor(), Qt::Key_Return);
    EXPECT_EQ(DragCell(grid, 2, 2, 5, 2), Qt::MoveAction);
    EXPECT_EQ(dlg.RoutingPage().Route(4), "010.000.000.001");
    EXPECT_EQ(dlg.RoutingPage().Route(1), "010.000.000.001");  // a route is never emptied
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(RoutingView, CommandsTakeTheRouteBeingTyped) {
    InTempCwd cwd;
    const std::string name = cwd.Dir().File("routes.txt");
    Type(2, "010.000.000.001");
    ui.QueueSaveName(name);
    QTest::keyClick(Editor(), Qt::Key_X, Qt::AltModifier);  // "Te&xt..."
    WaitForClick();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_NE(ReadFileBytes(name).find("Route01: 010.000.000.001\r\n"), std::string::npos);

    // A refused text keeps its edit open and the command does not run.
    Type(3, "1");
    ui.ExpectMessage();
    QTest::keyClick(Editor(), Qt::Key_X, Qt::AltModifier);
    WaitForClick();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Missing IP address '.' delimiter."});
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text().toStdString(), "1");
    EXPECT_TRUE(Editor()->hasFocus());
    EXPECT_EQ(ui.saveFilters.size(), 1u);  // no second save dialog

    // Nor does a tab switch.
    ui.ExpectMessage();
    QTabBar* bar = window.Tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(CUtilityDlg::kEmailPage).center());
    Settle();
    EXPECT_EQ(window.Tabs()->currentIndex(), CUtilityDlg::kRoutingPage);
    EXPECT_NE(Editor(), nullptr);
    EXPECT_EQ(ui.Messages().size(), 2u);
    QTest::keyClick(Editor(), Qt::Key_Escape);
}

TEST_F(RoutingView, QorRamDownloadsTheRouteBeingTyped) {
    SimOptions options;
    options.restartSilenceMs = 50;
    options.announceIntervalMs = 50;
    SimModule sim(options);
    ASSERT_TRUE(sim.Start());
    setenv("QORW_COM17", sim.SlavePath().c_str(), 1);
    dlg.Link().comPort = 17;
    dlg.Link().pcBaudIndex = 0;
    Type(2, "010.000.000.001");
    QTest::keyClick(Editor(), Qt::Key_A, Qt::AltModifier);  // "QOR R&AM"
    for (int i = 0; i < 200 && dlg.StatusField().Text() != "Device Values"; ++i)
        QTest::qWait(50);
    Settle();
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdFirstRoute + 1), "010.000.000.001");
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_TRUE(ui.Messages().empty());
    dlg.GoOffline(true);
    sim.Stop();
    unsetenv("QORW_COM17");
}

TEST_F(RoutingView, TabInAnEditLeavesTheGridFromItsLastAndFirstCells) {
    for (bool forward : {true, false}) {
        grid->setFocus(Qt::OtherFocusReason);
        Model().SetFocusCell(forward ? 50 : 1, 2);
        QTest::keyClick(grid, Qt::Key_F2);
        ASSERT_NE(Editor(), nullptr);
        QTest::keyClick(Editor(), forward ? Qt::Key_Tab : Qt::Key_Backtab,
                        forward ? Qt::NoModifier : Qt::ShiftModifier);
        Settle();
        EXPECT_EQ(Editor(), nullptr) << forward;
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_FALSE(focus == grid || grid->isAncestorOf(focus)) << forward;
    }
}

TEST_F(RoutingView, CtrlPageDownInAnEditMovesInTheGridNotToAnotherTab) {
    Type(2, "010.000.000.002");
    QTest::keyClick(Editor(), Qt::Key_PageDown, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(window.Tabs()->currentIndex(), CUtilityDlg::kRoutingPage);
    EXPECT_EQ(dlg.RoutingPage().Route(1), "010.000.000.002");
    EXPECT_GT(Model().GetFocusCell().row, 2);
    ASSERT_NE(Editor(), nullptr);  // the edit goes on in the cell it moved to
    QTest::keyClick(Editor(), Qt::Key_PageUp, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(window.Tabs()->currentIndex(), CUtilityDlg::kRoutingPage);
    EXPECT_LT(Model().GetFocusCell().row, 3);
}

TEST_F(RoutingView, ClosingWithARouteBeingTypedAsksBeforeItIsLost) {
    Type(2, "010.000.000.001");
    ui.ExpectMessage(UiHost::Answer::No);
    window.close();
    Settle();
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.LastMessage(), CUtilityDlg::kCloseQuestion);
    EXPECT_EQ(dlg.RoutingPage().Route(1), "010.000.000.001");
}
