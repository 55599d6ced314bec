#include "gui/grid_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "controls/grid_cell_checks.h"
#include "gui/control_binding.h"
#include "support/scripted_ui_host.h"

namespace {

// Messages scripted, clipboard real: what the program's own host does with the clipboard.
class ClipboardUiHost : public ScriptedUiHost {
public:
    std::string ClipboardText() override { return ToLatin1(QGuiApplication::clipboard()->text()); }
    void SetClipboardText(const std::string& text) override {
        QGuiApplication::clipboard()->setText(FromLatin1(text));
    }
};

// A routing-like table: 21 rows, headers in row 0 and columns 0-1, addresses in column 2.
class GridViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.SetRows(21);
        grid.SetColumns(3);
        grid.SetFixedRows(1);
        grid.SetFixedColumns(2);
        grid.SetCellText(0, 0, "Destination");
        grid.SetCellText(0, 1, "Config #");
        grid.SetCellText(0, 2, "IP Address");
        for (int r = 1; r < 21; ++r) {
            grid.SetCellText(r, 0, std::to_string(r - 1));
            grid.SetCellText(r, 1, std::to_string(r + 99));
            grid.SetCellClass(r, 2, CGridCellIPAddr::kClass);
            grid.SetCellText(r, 2, "000.000.000.000");
        }
        for (int r = 0; r < 21; ++r) {
            for (int c = 0; c < 3; ++c) {
                grid.SetCellFormat(r, c,
                                   CellFormat::kCenter | CellFormat::kVCenter |
                                       CellFormat::kSingleLine | CellFormat::kEndEllipsis);
            }
        }
        grid.SetDragAndDrop(true);
        grid.SetRowResize(false);
        grid.SetColumnResize(false);
        grid.FitToContents();
        grid.StretchColumn(2);

        view = std::make_unique<GridView>(grid);
        view->resize(360, 240);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        view->setFocus();
    }

    QPoint Centre(int row, int col) const { return view->CellRect(row, col).center(); }
    void Click(int row, int col) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, Centre(row, col));
    }

    ClipboardUiHost ui;
    CGridCtrl grid{ui};
    std::unique_ptr<GridView> view;
};

TEST_F(GridViewTest, TypingEditsInPlaceAndEnterCommits) {
    EXPECT_EQ(grid.GetVirtualWidth(), view->viewport()->width());  // stretched to fit
    Click(3, 2);
    ASSERT_EQ(grid.GetFocusCell(), (CCellID{3, 2}));
    QTest::keyClick(view.get(), '1');
    QLineEdit* field = view->EditField();
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->isVisible());
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->text(), "1");
    EXPECT_EQ(field->geometry().topLeft(), view->CellRect(3, 2).topLeft());
    QTest::keyClicks(field, "92.168.001.010");
    EXPECT_EQ(grid.GetEditor()->Text(), "192.168.001.010");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(view->EditField(), nullptr);
    EXPECT_EQ(grid.GetCellText(3, 2), "192.168.001.010");
    EXPECT_TRUE(grid.IsModified(3, 2));
    EXPECT_TRUE(view->hasFocus());  // back on the grid, ready for the next key

    // The field takes no 46th character.
    QTest::keyClick(view.get(), Qt::Key_F2);
    field = view->EditField();
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, QString(40, 'x'));
    EXPECT_EQ(field->text().size(), 45);
    EXPECT_EQ(grid.GetEditor()->Text().size(), 45u);
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(grid.GetCellText(3, 2), "192.168.001.010");
}

TEST_F(GridViewTest, LosingTheFocusEndsTheEdit) {
    view.reset();  // the model takes one view at a time
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* grid2 = new GridView(grid, &window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(grid2);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    grid2->setFocus();
    grid.SetFocusCell(2, 2);
    QTest::keyClick(grid2, Qt::Key_F2);
    ASSERT_NE(grid2->EditField(), nullptr);
    QTest::keyClick(grid2->EditField(), Qt::Key_Home);
    QTest::keyClick(grid2->EditField(), Qt::Key_Delete);
    QTest::keyClick(grid2->EditField(), '1');
    other->setFocus();
    QTRY_COMPARE(grid2->EditField(), nullptr);
    EXPECT_EQ(grid.GetCellText(2, 2), "100.000.000.000");
    EXPECT_TRUE(grid.IsModified(2, 2));
    EXPECT_TRUE(other->hasFocus());
}

TEST_F(GridViewTest, ARefusedEntryShowsItsMessageAndKeepsTheAddress) {
    Click(2, 2);
    QTest::keyClick(view.get(), '5');
    ui.ExpectMessage();
    QTest::keyClick(view->EditField(), Qt::Key_Return);
    EXPECT_EQ(ui.LastMessage(), "Missing IP address '.' delimiter.");
    EXPECT_EQ(grid.GetCellText(2, 2), "000.000.000.000");
    EXPECT_FALSE(grid.IsModified(2, 2));
}

TEST_F(GridViewTest, TabInTheFieldMovesToTheNextRowAndEditsIt) {
    Click(1, 2);
    QTest::keyClick(view.get(), Qt::Key_F2);
    ASSERT_NE(view->EditField(), nullptr);
    QTest::keyClick(view->EditField(), Qt::Key_Tab);
    EXPECT_EQ(grid.GetFocusCell(), (CCellID{2, 2}));
    ASSERT_NE(view->EditField(), nullptr);
    EXPECT_EQ(view->EditField()->selectedText(), "000.000.000.000");
    EXPECT_EQ(view->EditField()->geometry().top(), view->CellRect(2, 2).top());
    QTest::keyClick(view->EditField(), Qt::Key_Escape);
    EXPECT_EQ(view->EditField(), nullptr);
}

TEST_F(GridViewTest, PastesFromTheRealClipboardAndCopiesToIt) {
    QGuiApplication::clipboard()->setText("010.000.000.001\r\n010.000.000.002\r\n");
    Click(4, 2);
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(grid.GetCellText(4, 2), "010.000.000.001");
    EXPECT_EQ(grid.GetCellText(5, 2), "010.000.000.002");
    EXPECT_TRUE(grid.IsModified(5, 2));

    QGuiApplication::clipboard()->setText("010.000.000.009");
    Click(7, 2);
    QTest::keyClick(view.get(), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(grid.GetCellText(7, 2), "010.000.000.009");

    Click(4, 2);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, Centre(5, 2));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(view.get(), Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "010.000.000.001\r\n010.000.000.002");

    // Select all takes every ordinary cell.
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid.GetSelectedCount(), 20);
}

TEST_F(GridViewTest, DropsTextIntoACellThroughItsCheck) {
    QMimeData mime;
    mime.setText("192.168.001.050");
    const QPoint at = Centre(6, 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_TRUE(grid.GetCellState(6, 2) & GridState::kDropHighlighted);
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(grid.GetCellText(6, 2), "192.168.001.050");
    EXPECT_FALSE(grid.GetCellState(6, 2) & GridState::kDropHighlighted);

    // Headers take no drop.
    QDragMoveEvent onHeader(Centre(6, 0), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(view->viewport(), &onHeader);
    EXPECT_FALSE(onHeader.isAccepted());
}

TEST_F(GridViewTest, HeadersAreDrawnInTheButtonFace) {
    const QImage image = view->viewport()->grab().toImage();
    const QRect header = view->CellRect(0, 2);
    const QColor button = view->palette().color(QPalette::Button);
    EXPECT_EQ(image.pixelColor(header.left() + 3, header.top() + 3), button);
    const QRect rowHeader = view->CellRect(5, 0);
    EXPECT_EQ(image.pixelColor(rowHeader.left() + 3, rowHeader.top() + 3), button);
    const QRect cell = view->CellRect(5, 2);
    EXPECT_EQ(image.pixelColor(cell.left() + 3, cell.top() + 3),
              view->palette().color(QPalette::Base));
}

TEST_F(GridViewTest, WheelScrollsBySystemLinesAndHeadersStay) {
    ASSERT_GT(grid.GetMaxScrollY(), 0);
    const QPoint at = Centre(2, 2);
    QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    const int lines = QApplication::wheelScrollLines();
    EXPECT_EQ(grid.GetScrollY(), std::min(lines * grid.DefaultRowHeight(), grid.GetMaxScrollY()));
    EXPECT_EQ(view->CellRect(0, 2).top(), 0);
    EXPECT_EQ(grid.CellAt(Centre(0, 2).x(), Centre(0, 2).y()), (CCellID{0, 2}));
}

TEST_F(GridViewTest, CellsAreNamedByTheirHeaders) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Table);
    QAccessibleTableInterface* table = iface->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rowCount(), 21);
    EXPECT_EQ(table->columnCount(), 3);
    QAccessibleInterface* cell = table->cellAt(8, 2);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "7 107, IP Address: 000.000.000.000");
    EXPECT_EQ(cell->text(QAccessible::Value), "000.000.000.000");
    EXPECT_EQ(cell->role(), QAccessible::Cell);
    EXPECT_TRUE(cell->state().editable);
    EXPECT_EQ(table->cellAt(0, 2)->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(table->cellAt(8, 0)->role(), QAccessible::RowHeader);
    QAccessibleTableCellInterface* tc = cell->tableCellInterface();
    ASSERT_NE(tc, nullptr);
    ASSERT_EQ(tc->columnHeaderCells().size(), 1);
    EXPECT_EQ(tc->columnHeaderCells()[0]->text(QAccessible::Name), "IP Address");
    EXPECT_EQ(tc->rowHeaderCells().size(), 2);
    EXPECT_EQ(iface->indexOfChild(cell), 8 * 3 + 2);
}

}  // namespace
