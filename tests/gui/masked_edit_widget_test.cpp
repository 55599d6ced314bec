#include "gui/masked_edit_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "controls/ip_addr_edit.h"
#include "support/scripted_ui_host.h"

namespace {

const std::string kOutOfRange300 =
    "300 is not a valid entry.\nPlease specify a value between 0 and 255 for this field.";

// Runs queued calls (the deferred leave check and re-focus) until nothing is left.
void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

struct Form : ::testing::Test {
    ScriptedUiHost ui;
    CIPAddrEdit first{ui};
    CIPAddrEdit second{ui};
    CMaskedEdit plain{ui};
    QWidget window;
    MaskedEditWidget* a = nullptr;
    MaskedEditWidget* b = nullptr;
    MaskedEditWidget* c = nullptr;

    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        // Takes the first focus when the window shows.
        layout->addWidget(new QLineEdit(&window));
        a = new MaskedEditWidget(first, &window);
        b = new MaskedEditWidget(second, &window);
        c = new MaskedEditWidget(plain, &window);
        layout->addWidget(a);
        layout->addWidget(b);
        layout->addWidget(c);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        // Start in the plain field, which accepts any leave.
        Focus(c);
    }
    static void Focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        Settle();
    }
};

TEST_F(Form, ShowsTheModelAndTypesThroughIt) {
    EXPECT_EQ(a->text().toStdString(), "___.___.___.___");
    Focus(a);
    QTest::keyClicks(a, "192168");
    EXPECT_EQ(first.GetText(), "192.168.___.___");
    EXPECT_EQ(a->text().toStdString(), "192.168.___.___");
    EXPECT_EQ(a->cursorPosition(), 8);

    QTest::keyClick(a, Qt::Key_X);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(a->text().toStdString(), "192.168.___.___");

    QTest::keyClick(a, Qt::Key_Backspace);
    QTest::keyClick(a, Qt::Key_Backspace);
    EXPECT_EQ(a->text().toStdString(), "192.1__.___.___");
    EXPECT_EQ(a->cursorPosition(), 5);

    QTest::keyClick(a, Qt::Key_Home);
    QTest::keyClick(a, Qt::Key_Delete);
    EXPECT_EQ(a->text().toStdString(), "921.___.___.___");

    QTest::keyClick(a, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(a->selectedText().toStdString(), "921.___.___.___");
    QTest::keyClick(a, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ui.clipboard, "921.___.___.___");
    ui.clipboard = "010.001.002.003";
    QTest::keyClick(a, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(first.GetText(), "010.001.002.003") << "the dots of a pasted address are skipped";
}

TEST_F(Form, ARefusedLeaveShowsOneMessageAndKeepsTheFocus) {
    Focus(a);
    QTest::keyClicks(a, "300000000001");
    ASSERT_EQ(a->text().toStdString(), "300.000.000.001");

    ui.ExpectMessage();
    QTest::keyClick(a, Qt::Key_Tab);
    Settle();

    ASSERT_EQ(ui.Messages().size(), 1u) << "the second field, also invalid, is never checked";
    EXPECT_EQ(ui.Messages()[0].text, kOutOfRange300);
    EXPECT_EQ(ui.Messages()[0].caption, "Error");
    EXPECT_EQ(QApplication::focusWidget(), a);
    EXPECT_TRUE(first.HasFocus());
    EXPECT_EQ(a->selectedText().toStdString(), "300") << "the failing group is selected";

    // Corrected, the field lets the focus go; the next one gets it with the caret in front.
    QTest::keyClick(a, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(a, "100000000001");
    EXPECT_EQ(a->text().toStdString(), "100.000.000.001");
    QTest::keyClick(a, Qt::Key_Tab);
    Settle();
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_FALSE(b->hasSelectedText());
    EXPECT_EQ(b->cursorPosition(), 0);
}

TEST_F(Form, APlainFieldEditsAndStillRunsItsCheck) {
    struct Sender : CMaskedEdit {
        using CMaskedEdit::CMaskedEdit;
        bool CheckOnLeave() override {
            if (GetText().find('@') != std::string::npos)
                return true;
            Ui().Message("\"@\" symbol IS required.");
            return false;
        }
    } sender(ui);
    auto* s = new MaskedEditWidget(sender, &window);
    window.layout()->addWidget(s);
    s->show();
    Focus(s);
    QTest::keyClicks(s, "qor");
    EXPECT_EQ(sender.GetText(), "qor");
    ui.ExpectMessage();
    QTest::keyClick(s, Qt::Key_Tab);
    Settle();
    EXPECT_EQ(ui.LastMessage(), "\"@\" symbol IS required.");
    EXPECT_EQ(QApplication::focusWidget(), s);
    delete s;
}

TEST_F(Form, AClickIntoAnEmptyFieldPutsTheCaretAtTheStart) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() - 4, b->height() / 2));
    Settle();
    EXPECT_EQ(QApplication::focusWidget(), b);
    EXPECT_EQ(b->cursorPosition(), 0);
    EXPECT_EQ(second.Caret(), 0);
}

TEST_F(Form, ModelChangesReachTheWidget) {
    const uint8_t address[4] = {10, 1, 0, 200};
    EXPECT_TRUE(b->SetAddress(address));
    EXPECT_EQ(b->text().toStdString(), "010.001.000.200");
    uint8_t out[4] = {};
    EXPECT_TRUE(b->GetAddress(out));
    EXPECT_EQ(out[3], 200);
    EXPECT_FALSE(c->SetAddress(address)) << "not an address entry";

    second.Enable(false);
    EXPECT_FALSE(b->isEnabled());
    plain.SetPassword(true);
    EXPECT_EQ(c->echoMode(), QLineEdit::Password);
}

}  // namespace
