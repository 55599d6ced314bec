#include "gui/utility_settings_page_view.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "support/scripted_ui_host.h"

namespace {

struct SettingsView {
    InTempCwd cwd;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    UtilitySettingsPageView view{dlg.UtilitySettingsPage()};

    SettingsView() { dlg.Start(); }
    template <typename W>
    W* Find(const char* name) {
        W* w = view.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST(UtilitySettingsPageView, ShowsTheDialogsTextsAndStates) {
    SettingsView v;
    QStringList labels;
    for (QLabel* l : v.view.findChildren<QLabel*>())
        labels << l->text();
    for (const char* t : {"COM Port", "Baud Rate", "Configuration Security Mask"})
        EXPECT_TRUE(labels.contains(t)) << t;
    EXPECT_EQ(v.Find<QGroupBox>("uploadGroup")->title(), "Parameter Upload Behavior");
    EXPECT_EQ(v.Find<QGroupBox>("downloadGroup")->title(), "Parameter Download Behavior");
    EXPECT_EQ(v.Find<QRadioButton>("uploadGroup0")->text(), "All ");
    EXPECT_TRUE(v.Find<QRadioButton>("uploadGroup1")->isChecked());
    EXPECT_TRUE(v.Find<QRadioButton>("downloadGroup1")->isHidden());
    EXPECT_FALSE(v.Find<QRadioButton>("downloadGroup1")->isEnabled());
    EXPECT_TRUE(v.Find<QRadioButton>("downloadGroup2")->isChecked());
    EXPECT_EQ(v.Find<QComboBox>("comPortList")->currentText(), "COM1");
    EXPECT_EQ(v.Find<QComboBox>("baudList")->currentText(), "38400");
    QLineEdit* mask = v.Find<QLineEdit>("securityMaskEdit");
    EXPECT_FALSE(mask->isEnabled());
    EXPECT_EQ(mask->text(), "000.000.000.000");
    EXPECT_EQ(v.Find<QLabel>("deviceLabel")->text().toStdString(),
              v.dlg.UtilitySettingsPage().DeviceLabel().Text());
}

TEST(UtilitySettingsPageView, FollowsTheSeriesAndThePort) {
    SettingsView v;
    v.dlg.IpAddrPage().SeriesList().Select(2);
    EXPECT_TRUE(v.Find<QLineEdit>("securityMaskEdit")->isEnabled());
    v.dlg.IpAddrPage().SeriesList().Select(0);
    EXPECT_FALSE(v.Find<QLineEdit>("securityMaskEdit")->isEnabled());

    ASSERT_EQ(setenv("QORW_COM3", "/nonexistent/qorw-tty", 1), 0);
    emit v.Find<QComboBox>("comPortList")->activated(2);
    unsetenv("QORW_COM3");
    EXPECT_EQ(v.dlg.Link().comPort, 3);
    EXPECT_EQ(v.Find<QLabel>("deviceLabel")->text(), "/nonexistent/qorw-tty (not found)");
    EXPECT_EQ(ReadFileBytes(v.cwd.Dir().File("QORWUTIL.CFG")),
              "CommPort=COM3\r\nBaudRate=38400\r\n");

    v.Find<QRadioButton>("uploadGroup0")->click();
    EXPECT_EQ(v.dlg.Link().uploadActiveTab, 0);
}

}  // namespace

TEST(UtilitySettingsPageView, TypingTheSecurityMaskShowsModifiedAtOnce) {
    SettingsView v;
    v.dlg.IpAddrPage().SeriesList().Select(2);
    v.dlg.RefreshStatus();
    ASSERT_NE(v.dlg.StatusField().Text(), "Modified");
    v.view.show();
    v.view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v.view));
    QLineEdit* mask = v.Find<QLineEdit>("securityMaskEdit");
    mask->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(mask, "255");
    EXPECT_EQ(v.dlg.StatusField().Text(), "Modified");
}
