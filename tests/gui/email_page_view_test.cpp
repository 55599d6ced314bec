#include "gui/email_page_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

#include "gui/grid_view.h"
#include "gui/masked_edit_widget.h"
#include "pages/email_page.h"
#include "shown_window.h"

namespace {

struct EmailView : ShownWindow {
    EmailPageView* view = nullptr;

    void SetUp() override {
        ShowPage(CUtilityDlg::kEmailPage);
        view = qobject_cast<EmailPageView*>(CurrentPage());
        ASSERT_NE(view, nullptr);
    }
    CEmailPage& Page() { return dlg.EmailPage(); }
    static void Focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        Settle();
    }
};

}  // namespace

TEST_F(EmailView, ShowsTheLabelsAndTheDefaults) {
    QStringList labels;
    for (QLabel* l : view->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text : {"Email Server IP Address", "\"From:\"", "Username", "Password"})
        EXPECT_TRUE(labels.contains(text)) << text;
    EXPECT_EQ(view->AuthCheck()->text().toStdString(), "SMTP Authentication");
    EXPECT_EQ(view->ServerField()->text().toStdString(), "000.000.000.000");
    EXPECT_EQ(view->SenderField()->text().toStdString(), "QOR0.0.0.0@example.com");
    EXPECT_EQ(view->PasswordField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(view->UsernameField()->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(view->AuthCheck()->isEnabled());
    EXPECT_FALSE(view->UsernameField()->isEnabled());
    EXPECT_FALSE(view->PasswordField()->isEnabled());
    EXPECT_EQ(&view->Grid()->Model(), &Page().Grid());
    EXPECT_EQ(Page().Grid().GetCellText(0, 2), "\"To:\"");
}

TEST_F(EmailView, TheLoginFollowsTheSeriesAndTheBoxShowsModified) {
    Page().SeriesChanged(2);
    Settle();
    EXPECT_TRUE(view->AuthCheck()->isEnabled());
    EXPECT_TRUE(view->UsernameField()->isEnabled());
    EXPECT_TRUE(view->PasswordField()->isEnabled());

    QTest::mouseClick(view->AuthCheck(), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(Page().AuthCheck().IsChecked());
    EXPECT_EQ(Page().AuthFlag(), 1);
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");

    Focus(view->PasswordField());
    QTest::keyClicks(view->PasswordField(), "pw");
    EXPECT_EQ(Page().PasswordField().GetText(), "pw");
    EXPECT_EQ(view->PasswordField()->displayText().toStdString(), "**");

    Page().SeriesChanged(0);
    Settle();
    EXPECT_FALSE(view->AuthCheck()->isChecked());
    EXPECT_FALSE(view->PasswordField()->isEnabled());
    EXPECT_EQ(view->PasswordField()->text().toStdString(), "");
}

TEST_F(EmailView, AnEmptySenderIsRefusedOnLeavingAndKeepsTheFocus) {
    Focus(view->SenderField());
    QTest::keyClick(view->SenderField(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view->SenderField(), Qt::Key_Delete);
    EXPECT_EQ(Page().SenderField().GetText(), "");
    ui.ExpectMessage();
    QTest::keyClick(view->SenderField(), Qt::Key_Tab);
    Settle();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "A value such as \"QOR0.0.0.0@example.com\" IS required.");
    EXPECT_EQ(QApplication::focusWidget(), view->SenderField());

    QTest::keyClicks(view->SenderField(), "me@plant");
    QTest::keyClick(view->SenderField(), Qt::Key_Tab);
    Settle();
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(QApplication::focusWidget(), view->SenderField());
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
}

TEST_F(EmailView, EnterAndEscapeGoToTheFocusedControlNotTheWindow) {
    // In a field they do nothing and stop at the page.
    Focus(view->SenderField());
    QTest::keyClick(view->SenderField(), Qt::Key_Escape);
    QTest::keyClick(view->SenderField(), Qt::Key_Return);
    Settle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Page().SenderField().GetText(), "QOR0.0.0.0@example.com");

    // In the grid they end or cancel the edit.
    GridView* grid = view->Grid();
    Focus(grid);
    Page().Grid().SetFocusCell(3, 2);
    QTest::keyClicks(grid, "ops@site");
    Settle();
    ASSERT_NE(grid->EditField(), nullptr);
    QTest::keyClick(grid->EditField(), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(grid->EditField(), nullptr);
    EXPECT_EQ(Page().Destination(52), "");

    QTest::keyClicks(grid, "ops@site");
    Settle();
    ASSERT_NE(grid->EditField(), nullptr);
    QTest::keyClick(grid->EditField(), Qt::Key_Enter);
    Settle();
    EXPECT_EQ(grid->EditField(), nullptr);
    EXPECT_EQ(Page().Destination(52), "ops@site");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(EmailView, FileSaveWithABadSenderBringsThePageUpWithTheFocusInTheSender) {
    dlg.Tabs().RequestSelect(CUtilityDlg::kRoutingPage);
    Settle();
    Page().SenderField().SetText("no-at-sign");
    ui.ExpectMessage();
    dlg.OnFileSave();
    Settle();
    EXPECT_EQ(ui.LastMessage(), "\"@\" symbol IS required.");
    EXPECT_EQ(window.Tabs()->currentWidget(), view);
    EXPECT_EQ(QApplication::focusWidget(), view->SenderField());
    EXPECT_TRUE(ui.saveFilters.empty());
}
