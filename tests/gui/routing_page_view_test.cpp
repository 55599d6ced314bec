#include "gui/routing_page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "gui/grid_view.h"
#include "pages/routing_page.h"
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
