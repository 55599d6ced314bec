#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/utility_dlg.h"
#include "gui/main_window.h"
#include "support/scripted_ui_host.h"

namespace {

struct Fixture {
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    MainWindow window{dlg};
    Fixture() { dlg.Start(); }
    QPushButton* Button(const char* name) { return window.findChild<QPushButton*>(name); }
};

}  // namespace

TEST(MainWindowView, ShowsTheSevenTabsInOrder) {
    Fixture f;
    QTabWidget* tabs = f.window.Tabs();
    ASSERT_EQ(tabs->count(), 7);
    const char* expected[] = {"QOR IP Addr",      "Message Routing", "Email",        "Reset",
                              "Utility Settings", "Web Config",      "Web Data Desc"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(tabs->tabText(i).toStdString(), expected[i]);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(f.window.windowTitle().toStdString(), "QOR / QORW Utility");
    EXPECT_EQ(f.window.StatusField()->text().toStdString(), "Default Values");
    EXPECT_TRUE(f.window.StatusField()->isReadOnly());
}

TEST(MainWindowView, ButtonsCarryTheirTextsAndStartEnabled) {
    Fixture f;
    const std::pair<const char*, const char*> buttons[] = {
        {"fileLoadButton", "File &Load"}, {"qorButton", "&QOR"},
        {"defaultsButton", "&Defaults"},  {"textLoadButton", "&Text..."},
        {"fileSaveButton", "File &Save"}, {"ramButton", "QOR R&AM"},
        {"romButton", "QOR R&OM"},        {"textSaveButton", "Te&xt..."},
        {"helpButton", "&Help"}};
    for (auto [name, text] : buttons) {
        QPushButton* b = f.Button(name);
        ASSERT_NE(b, nullptr) << name;
        EXPECT_EQ(b->text().toStdString(), text);
        EXPECT_TRUE(b->isEnabled()) << name;
    }
}
