#include "gui/web_data_desc_page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "gui/grid_view.h"
#include "pages/web_data_desc_page.h"
#include "shown_window.h"

namespace {

struct WebDataDescView : ShownWindow {
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ShowPage(CUtilityDlg::kWebDataDescPage));
        ASSERT_EQ(grid, qobject_cast<WebDataDescPageView*>(view)->Grid());
    }
    CGridCtrl& Model() { return dlg.WebDataDescPage().Grid(); }
    std::string Value(int row) { return dlg.WebDataDescPage().Value(row); }
    // Focuses the value cell of row and types text into a new edit.
    void Type(int row, const char* text) { TypeIntoCell(row, 1, text); }
};

}  // namespace

TEST_F(WebDataDescView, TheGridStandsAtThePagesTopLeft) {
    EXPECT_EQ(&grid->Model(), &Model());
    EXPECT_EQ(grid->objectName().toStdString(), "webDataDescGrid");
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->x(), 0);
    EXPECT_EQ(grid->y(), 0);
    // 307 of the page's 327 units.
    EXPECT_LT(grid->width(), view->width());
    EXPECT_GT(grid->width(), view->width() * 85 / 100);
    EXPECT_TRUE(grid->CellAccessibleName(11, 1).contains("Page 2 Row 1 Name"));
}

TEST_F(WebDataDescView, ANameOfSeveralWordsIsTakenWithEnter) {
    Type(11, "Tank level north");
    ASSERT_NE(Editor(), nullptr);
    QTest::keyClick(Editor(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(Value(11), "Tank level north");
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    EXPECT_TRUE(window.isVisible());

    Type(11, "Pressure");
    ASSERT_NE(Editor(), nullptr);
    QTest::keyClick(Editor(), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(Value(11), "Tank level north");
    EXPECT_TRUE(window.isVisible());
}

TEST_F(WebDataDescView, EnterAndEscapeThatReachThePageStopThere) {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        press.ignore();
        QApplication::sendEvent(view, &press);
        EXPECT_TRUE(press.isAccepted()) << key;
    }
    Settle();
    EXPECT_TRUE(window.isVisible());
}

// Rows 8 to 10 of the last data page are the grid's last rows: a block dragged onto row 10
// would reach past the grid, so the drop is refused whole and no name is lost.
TEST_F(WebDataDescView, ADragWhoseBlockDoesNotFitChangesNothing) {
    const std::string names[] = {"Pressure", "Flow", "Level"};
    for (int i = 0; i < 3; ++i)
        Model().SetCellText(38 + i, 1, names[i]);
    Model().EnsureVisible(40, 1);
    Settle();
    EXPECT_EQ(DragCell(grid, 38, 1, 40, 1, 39), Qt::IgnoreAction);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Value(38 + i), names[i]);
    EXPECT_TRUE(ui.Messages().empty());
    // A block that fits moves.
    Model().SetCellText(37, 1, "");
    EXPECT_EQ(DragCell(grid, 39, 1, 36, 1, 40), Qt::MoveAction);
    EXPECT_EQ(Value(36), "Flow");
    EXPECT_EQ(Value(37), "Level");
    EXPECT_EQ(Value(39), "");
    EXPECT_EQ(Value(40), "");
}
