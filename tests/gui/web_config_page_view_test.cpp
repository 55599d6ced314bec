#include "gui/web_config_page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "gui/control_binding.h"
#include "gui/grid_view.h"
#include "pages/web_config_page.h"
#include "shown_window.h"

namespace {

struct WebConfigView : ShownWindow {
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ShowPage(CUtilityDlg::kWebConfigPage));
        ASSERT_EQ(grid, qobject_cast<WebConfigPageView*>(view)->Grid());
    }
    CGridCtrl& Model() { return dlg.WebConfigPage().Grid(); }
    std::string Value(int row) { return dlg.WebConfigPage().Value(row); }
    // Focuses the value cell of row and types text into a new edit.
    void Type(int row, const char* text) { TypeIntoCell(row, 1, text); }
};

}  // namespace

TEST_F(WebConfigView, TheGridFillsThePage) {
    EXPECT_EQ(&grid->Model(), &Model());
    EXPECT_EQ(grid->objectName().toStdString(), "webConfigGrid");
    EXPECT_TRUE(grid->isVisible());
    EXPECT_EQ(grid->x(), 0);
    EXPECT_GE(grid->width(), view->width() * 95 / 100);
    EXPECT_GT(grid->height(), view->height() / 2);
    EXPECT_TRUE(grid->CellAccessibleName(1, 1).contains("QORW Home Page"));
    // The value column reaches the grid's right edge.
    QRect last = grid->CellRect(1, 1);
    EXPECT_GE(last.right() + 1, grid->viewport()->width() - 1);
}

TEST_F(WebConfigView, EnterEndsAnEditAndEscapeCancelsOne) {
    Type(3, "www.qor.example");
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(Editor()->text().toStdString(), "www.qor.example");
    QTest::keyClick(Editor(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(Value(3), "www.qor.example");
    EXPECT_TRUE(Model().IsModified(3, 1));
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    EXPECT_TRUE(window.isVisible());

    Type(1, "Other title");
    ASSERT_NE(Editor(), nullptr);
    QTest::keyClick(Editor(), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(Editor(), nullptr);
    EXPECT_EQ(Value(1), "QORW Home Page");
    EXPECT_FALSE(Model().IsModified(1, 1));
    EXPECT_TRUE(window.isVisible());

    // With no edit open the keys do nothing at all.
    QTest::keyClick(grid, Qt::Key_Escape);
    QTest::keyClick(grid, Qt::Key_Return);
    Settle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Tabs()->currentWidget(), view);
}

TEST_F(WebConfigView, ATooLongPasswordIsRefusedWithItsMessage) {
    Type(23, "123456789");
    ASSERT_NE(Editor(), nullptr);
    ui.ExpectMessage();
    QTest::keyClick(Editor(), Qt::Key_Enter);
    Settle();
    EXPECT_EQ(ui.LastMessage(), "Length cannot exceed 8 characters.");
    EXPECT_EQ(Value(23), "");
    EXPECT_FALSE(Model().IsModified(23, 1));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(WebConfigView, EnterAndEscapeThatReachThePageStopThere) {
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

TEST_F(WebConfigView, ARefusedDropLosesNothingAndAnAcceptedMoveEmptiesTheSource) {
    // "QORW Home Page" onto "Link 1 URL": the URL refuses the spaces.
    ui.ExpectMessage();
    EXPECT_EQ(DragCell(grid, 1, 1, 3, 1), Qt::IgnoreAction);
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Spaces not allowed."});
    EXPECT_EQ(Value(1), "QORW Home Page");
    EXPECT_EQ(Value(3), "");
    EXPECT_FALSE(Model().IsModified());
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");

    // "Link 1 Text" onto "Link 2 Text" is taken, and the move empties the source.
    EXPECT_EQ(DragCell(grid, 2, 1, 4, 1), Qt::MoveAction);
    EXPECT_EQ(Value(4), "User Defined URL 1");
    EXPECT_EQ(Value(2), "");
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST_F(WebConfigView, TextFromOutsideEntersTheEditorAsOneLine) {
    const QString text = "www.qor.example\r\nsecond\tline";
    QGuiApplication::clipboard()->setText(text);
    ui.clipboard = ToLatin1(text);
    const std::pair<const char*, std::function<void(QLineEdit*)>> ways[] = {
        {"Ctrl+V", [](QLineEdit* f) { QTest::keyClick(f, Qt::Key_V, Qt::ControlModifier); }},
        {"Shift+Insert",
         [](QLineEdit* f) { QTest::keyClick(f, Qt::Key_Insert, Qt::ShiftModifier); }},
        {"drop", [&](QLineEdit* f) { EXPECT_TRUE(DropText(f, f->rect().center(), text)); }},
    };
    for (const auto& [name, put] : ways) {
        Model().SetCellText(3, 1, "");
        grid->setFocus(Qt::OtherFocusReason);
        Model().SetFocusCell(3, 1);
        QTest::keyClick(grid, Qt::Key_F2);
        ASSERT_NE(Editor(), nullptr) << name;
        put(Editor());
        EXPECT_EQ(Editor()->text().toStdString(), "www.qor.example") << name;
        QTest::keyClick(Editor(), Qt::Key_Return);
        Settle();
        EXPECT_EQ(Value(3), "www.qor.example") << name;
    }
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(WebConfigView, AMiddleClickPastesTheSelectionAsOneLine) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection()) GTEST_SKIP() << "no selection on this platform";
    clipboard->setText("www.qor.example\nsecond", QClipboard::Selection);
    Type(3, "x");
    ASSERT_NE(Editor(), nullptr);
    const QPoint end(Editor()->width() - 3, Editor()->height() / 2);
    QTest::mouseClick(Editor(), Qt::MiddleButton, {}, end);
    EXPECT_EQ(Editor()->text().toStdString(), "xwww.qor.example");
    QTest::keyClick(Editor(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Value(3), "xwww.qor.example");
}
