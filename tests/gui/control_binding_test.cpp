#include "gui/control_binding.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <memory>

TEST(ControlBinding, Latin1RoundTripsEveryByte) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    EXPECT_EQ(ToLatin1(FromLatin1(all)), all);
    EXPECT_EQ(FromLatin1("\xE9t\xE9"), QString::fromUtf8("\xC3\xA9t\xC3\xA9"));
}

TEST(ControlBinding, ButtonShowsItsModelAndClicksIt) {
    CButton model("&Reset");
    int clicks = 0;
    model.onClick = [&] { ++clicks; };
    QPushButton button;
    Bind(model, &button);
    EXPECT_EQ(button.text(), "&Reset");
    button.click();
    EXPECT_EQ(clicks, 1);
    model.Enable(false);
    model.SetText("Other");
    EXPECT_FALSE(button.isEnabled());
    EXPECT_EQ(button.text(), "Other");
    model.Show(false);
    EXPECT_TRUE(button.isHidden());
}

TEST(ControlBinding, CheckBoxFollowsTheModelWithoutEchoingBack) {
    CCheckBox model("Enable Routing");
    int clicks = 0;
    model.onClick = [&] { ++clicks; };
    QCheckBox box;
    Bind(model, &box);
    model.SetCheck(true);
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(clicks, 0);  // a change from the program is no user action
    box.click();
    EXPECT_FALSE(model.IsChecked());
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(clicks, 1);
}

TEST(ControlBinding, ComboBoxCarriesItemsAndSelectionBothWays) {
    CComboBox model;
    for (const char* t : {"Auto", "57600", "38400"})
        model.AddString(t);
    int selections = 0;
    model.onSelChange = [&] { ++selections; };
    QComboBox combo;
    Bind(model, &combo);
    ASSERT_EQ(combo.count(), 3);
    EXPECT_EQ(combo.currentIndex(), -1);
    model.SetCurSel(2);
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_EQ(selections, 0);
    emit combo.activated(1);  // what the widget sends when the user picks an item
    EXPECT_EQ(model.GetCurSel(), 1);
    EXPECT_EQ(selections, 1);
    model.ResetContent();
    model.AddString("COM1");
    EXPECT_EQ(combo.count(), 1);
    EXPECT_EQ(combo.itemText(0), "COM1");
    EXPECT_EQ(combo.currentIndex(), -1);
}

TEST(ControlBinding, RadioGroupShowsItemsAndRefusesDisabledOnes) {
    CRadioGroup model({"All", "Active Tab", "Modified"});
    QWidget parent;
    QList<QRadioButton*> buttons;
    for (int i = 0; i < 3; ++i)
        buttons << new QRadioButton(&parent);
    Bind(model, buttons);
    EXPECT_EQ(buttons[1]->text(), "Active Tab");
    for (auto* b : buttons)
        EXPECT_FALSE(b->isChecked());
    model.SetSelected(2);
    EXPECT_TRUE(buttons[2]->isChecked());
    buttons[0]->click();
    EXPECT_EQ(model.Selected(), 0);
    EXPECT_TRUE(buttons[0]->isChecked());
    EXPECT_FALSE(buttons[2]->isChecked());
    model.ShowItem(1, false);
    model.EnableItem(1, false);
    EXPECT_TRUE(buttons[1]->isHidden());
    EXPECT_FALSE(buttons[1]->isEnabled());
    model.SetSelected(-1);
    for (auto* b : buttons)
        EXPECT_FALSE(b->isChecked());
}

TEST(ControlBinding, EditTypingReachesTheModelWhichMayCutIt) {
    CEdit model;
    model.SetMaxLength(4);
    int edits = 0;
    model.onEdit = [&] { ++edits; };
    QLineEdit edit;
    Bind(model, &edit);
    EXPECT_EQ(edit.maxLength(), 4);
    QTest::keyClicks(&edit, "ab");
    QKeyEvent eAcute(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromLatin1("\xE9"));
    QApplication::sendEvent(&edit, &eAcute);
    EXPECT_EQ(model.Text(), "ab\xE9");
    EXPECT_EQ(edits, 3);
    model.SetText("wxyz");
    EXPECT_EQ(edit.text(), "wxyz");
    EXPECT_EQ(edits, 3);
    model.SetPassword(true);
    EXPECT_EQ(edit.echoMode(), QLineEdit::Password);
    model.SetReadOnly(true);
    EXPECT_TRUE(edit.isReadOnly());
}

TEST(ControlBinding, FocusRequestsReachTheWidgetAndSelectItsText) {
    QWidget window;
    CEdit model;
    model.SetText("010.001.002.003");
    auto* edit = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    Bind(model, edit);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    model.RequestFocus();
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->selectedText(), "010.001.002.003");
}

TEST(ControlBinding, BindingNeverPopsUpAWidgetWithoutParentButHidesAndReshowsIt) {
    CButton model("x");
    QPushButton button;
    Bind(model, &button);
    EXPECT_FALSE(button.isVisible());
    QWidget parent;
    auto* child = new QPushButton(&parent);
    Bind(model, child);
    parent.show();
    EXPECT_TRUE(child->isVisible());
    model.Show(false);
    EXPECT_FALSE(child->isVisible());
    model.Show(true);
    EXPECT_TRUE(child->isVisible());
}

TEST(ControlBinding, AModelMayOutliveItsWidget) {
    CEdit model;
    {
        QLineEdit edit;
        Bind(model, &edit);
    }
    model.SetText("still fine");
    model.RequestFocus();
    EXPECT_EQ(model.Text(), "still fine");
}
