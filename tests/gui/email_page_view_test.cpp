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
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(ShowPage(CUtilityDlg::kEmailPage)); }
    EmailPageView* View() { return qobject_cast<EmailPageView*>(view); }
    CEmailPage& Page() { return dlg.EmailPage(); }
    static void Focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        Settle();
    }
};

}  // namespace

TEST_F(EmailView, ShowsTheLabelsAndTheDefaults) {
    QStringList labels;
    for (QLabel* l : View()->findChildren<QLabel*>())
        labels << l->text();
    for (const char* text : {"Email Server IP Address", "\"From:\"", "Username", "Password"})
        EXPECT_TRUE(labels.contains(text)) << text;
    EXPECT_EQ(View()->AuthCheck()->text().toStdString(), "SMTP Authentication");
    EXPECT_EQ(View()->ServerField()->text().toStdString(), "000.000.000.000");
    EXPECT_EQ(View()->SenderField()->text().toStdString(), "QOR0.0.0.0@example.com");
    EXPECT_EQ(View()->PasswordField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(View()->UsernameField()->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(View()->AuthCheck()->isEnabled());
    EXPECT_FALSE(View()->UsernameField()->isEnabled());
    EXPECT_FALSE(View()->PasswordField()->isEnabled());
    EXPECT_EQ(&View()->Grid()->Model(), &Page().Grid());
    EXPECT_EQ(Page().Grid().GetCellText(0, 2), "\"To:\"");
}

TEST_F(EmailView, TheLoginFollowsTheSeriesAndTheBoxShowsModified) {
    Page().SeriesChanged(2);
    Settle();
    EXPECT_TRUE(View()->AuthCheck()->isEnabled());
    EXPECT_TRUE(View()->UsernameField()->isEnabled());
    EXPECT_TRUE(View()->PasswordField()->isEnabled());

    QTest::mouseClick(View()->AuthCheck(), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(Page().AuthCheck().IsChecked());
    EXPECT_EQ(Page().AuthFlag(), 1);
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");

    Focus(View()->PasswordField());
    QTest::keyClicks(View()->PasswordField(), "pw");
    EXPECT_EQ(Page().PasswordField().GetText(), "pw");
    EXPECT_EQ(View()->PasswordField()->displayText().toStdString(), "**");

    Page().SeriesChanged(0);
    Settle();
    EXPECT_FALSE(View()->AuthCheck()->isChecked());
    EXPECT_FALSE(View()->PasswordField()->isEnabled());
    EXPECT_EQ(View()->PasswordField()->text().toStdString(), "");
}

TEST_F(EmailView, AnEmptySenderIsRefusedOnLeavingAndKeepsTheFocus) {
    Focus(View()->SenderField());
    QTest::keyClick(View()->SenderField(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(View()->SenderField(), Qt::Key_Delete);
    EXPECT_EQ(Page().SenderField().GetText(), "");
    ui.ExpectMessage();
    QTest::keyClick(View()->SenderField(), Qt::Key_Tab);
    Settle();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "A value such as \"QOR0.0.0.0@example.com\" IS required.");
    EXPECT_EQ(QApplication::focusWidget(), View()->SenderField());

    QTest::keyClicks(View()->SenderField(), "me@plant");
    QTest::keyClick(View()->SenderField(), Qt::Key_Tab);
    Settle();
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(QApplication::focusWidget(), View()->SenderField());
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
}

TEST_F(EmailView, EnterAndEscapeGoToTheFocusedControlNotTheWindow) {
    // In a field they do nothing and stop at the page.
    Focus(View()->SenderField());
    QTest::keyClick(View()->SenderField(), Qt::Key_Escape);
    QTest::keyClick(View()->SenderField(), Qt::Key_Return);
    Settle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(Page().SenderField().GetText(), "QOR0.0.0.0@example.com");

    // In the grid they end or cancel the edit.
    GridView* grid = View()->Grid();
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
    EXPECT_EQ(QApplication::focusWidget(), View()->SenderField());
    EXPECT_TRUE(ui.saveFilters.empty());
}

TEST_F(EmailView, TheStatusFollowsTheTypingInEveryField) {
    Page().SeriesChanged(2);
    Settle();
    for (QLineEdit* field : {View()->ServerField(), View()->SenderField(), View()->UsernameField(),
                             View()->PasswordField()}) {
        dlg.OnDefaults();
        Page().SeriesChanged(2);
        dlg.RefreshStatus();
        ASSERT_EQ(dlg.StatusField().Text(), "Default Values");
        Focus(field);
        QTest::keyClick(field, Qt::Key_Home);
        QTest::keyClick(field, Qt::Key_1);
        EXPECT_EQ(dlg.StatusField().Text(), "Modified") << field->objectName().toStdString();
    }
}
