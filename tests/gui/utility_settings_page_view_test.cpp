#include "gui/utility_settings_page_view.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "gui/main_window.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"
#include "support/port_test_tree.h"
#include "support/scripted_ui_host.h"

namespace {

struct SettingsView {
    SettingsView() { dlg.Start(); }
    InTempCwd cwd;
    bool fresh = (ResetTestPorts(), true);
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    UtilitySettingsPageView view{dlg.UtilitySettingsPage()};

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
}

TEST(UtilitySettingsPageView, FollowsTheSeriesAndThePort) {
    SettingsView v;
    v.dlg.IpAddrPage().SeriesList().Select(2);
    EXPECT_TRUE(v.Find<QLineEdit>("securityMaskEdit")->isEnabled());
    v.dlg.IpAddrPage().SeriesList().Select(0);
    EXPECT_FALSE(v.Find<QLineEdit>("securityMaskEdit")->isEnabled());

    emit v.Find<QComboBox>("comPortList")->activated(2);
    EXPECT_EQ(v.dlg.Link().comPort, 3);
    EXPECT_EQ(ReadFileBytes(v.cwd.Dir().File("QORWUTIL.CFG")),
              "CommPort=COM3\r\nBaudRate=38400\r\n");

    v.Find<QRadioButton>("uploadGroup0")->click();
    EXPECT_EQ(v.dlg.Link().uploadActiveTab, 0);
}

TEST(UtilitySettingsPageView, TheListFollowsAdaptersPluggedInAndOut) {
    SettingsView v;
    QComboBox* list = v.Find<QComboBox>("comPortList");
    emit list->activated(1);
    SetTestPorts({UsbPort("/dev/ttyUSB0", "usb-FTDI-if00-port0", "FT232R USB UART", "A1")});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return list->itemText(0) == "COM1  FT232R USB UART (A1)  /dev/ttyUSB0"; }, 2000));
    EXPECT_EQ(list->currentIndex(), 1);
    SetTestPorts({});
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->itemText(0) == "COM1"; }, 2000));
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(list->count(), 32);
}

// The list as a person sees it with adapters plugged in; with QOR_HELP_SHOTS naming a folder,
// also the help pages' picture of it.
TEST(UtilitySettingsPageView, TheOpenListNamesEachAdapter) {
    SettingsView v;
    const std::string ftdi = "usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0";
    SetTestPorts({UsbPort("/dev/ttyUSB0", ftdi, "FT232R USB UART", "A10K5XYZ"),
                  UsbPort("/dev/ttyUSB1", "usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_0042-if00-port0",
                          "CP2102N USB to UART Bridge", "0042", "cp210x"),
                  UsbPort("/dev/ttyUSB2", "usb-1a86_USB_Serial-if00-port0", "USB Serial", "",
                          "ch341")});
    // Pinned in an earlier run, not plugged in now.
    std::filesystem::create_directories(std::filesystem::path(TestPinsPath()).parent_path());
    std::ofstream(TestPinsPath())
        << "COM4\t/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0"
           "\tUSB-Serial Controller\n";
    QComboBox* list = v.Find<QComboBox>("comPortList");
    // The page's own watcher finds them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->itemText(0) != "COM1"; }, 2000));
    v.view.resize(700, 420);
    v.view.show();
    list->showPopup();
    QWidget* popup = list->view()->window();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(popup));
    // By their stable names: usb-1a86..., usb-FTDI..., usb-Silicon_Labs...
    EXPECT_EQ(list->itemText(1).toStdString(), "COM2  FT232R USB UART (A10K5XYZ)  /dev/ttyUSB0");
    EXPECT_EQ(list->itemText(3).toStdString(), "COM4  USB-Serial Controller  not plugged in");
    if (const char* dir = std::getenv("QOR_HELP_SHOTS")) {
        QPixmap shot = v.view.grab();
        QPainter painter(&shot);
        painter.drawPixmap(popup->mapToGlobal(QPoint()) - v.view.mapToGlobal(QPoint()),
                           popup->grab());
        painter.end();
        EXPECT_TRUE(shot.save(QString(dir) + "/port-list.png"));
    }
    list->hidePopup();
}

// Stands for a person who pulls the adapter out while the transfer runs: after a number of
// passes through the event loop.
class UnpluggingUi : public ScriptedUiHost {
public:
    std::function<void()> unplug;
    int unplugAfter = -1;
    void ProcessPendingEvents() override {
        ScriptedUiHost::ProcessPendingEvents();
        if (processed == unplugAfter && unplug) unplug();
    }
};

struct OnePortWindow {
    InTempCwd cwd;  // no settings file
    std::unique_ptr<SimModule> sim = Plug();
    UnpluggingUi ui;
    CUtilityDlg dlg{ui};
    MainWindow window{dlg};

    OnePortWindow() {
        dlg.Start();
        window.show();
    }
    ~OnePortWindow() { ResetTestPorts(); }
    // A module on a pseudo-terminal, the only serial port there is.
    static std::unique_ptr<SimModule> Plug() {
        auto sim = std::make_unique<SimModule>();
        EXPECT_TRUE(sim->Start());
        ResetTestPorts({{sim->SlavePath(), "", "", "", "", ""}});
        return sim;
    }
    void ClickQor() {
        QPushButton* qor = window.findChild<QPushButton*>("qorButton");
        ASSERT_NE(qor, nullptr);
        QTest::mouseClick(qor, Qt::LeftButton);
    }
};

TEST(WindowOnOnePort, TheFirstQorReachesTheModuleWithNoSettingMade) {
    ASSERT_EQ(std::getenv("QORW_COM1"), nullptr);
    OnePortWindow w;
    w.ClickQor();
    EXPECT_TRUE(w.ui.Messages().empty()) << w.ui.LastMessage();
    EXPECT_EQ(w.dlg.StatusField().Text(), "Device Values");
    EXPECT_GT(w.sim->Requests().size(), 100u);
    if (const char* dir = std::getenv("QOR_HELP_SHOTS")) {
        w.dlg.SelectPage(CUtilityDlg::kUtilitySettingsPage);
        w.window.resize(960, 415);
        QApplication::processEvents();
        EXPECT_TRUE(w.window.grab().save(QString(dir) + "/page-utility-settings.png"));
    }
}

TEST(WindowOnOnePort, UnpluggedDuringAnUploadGivesOneMessageAndOffline) {
    OnePortWindow w;
    std::string device = w.sim->SlavePath();
    w.ui.unplugAfter = 40;
    w.ui.unplug = [&] {
        w.sim->Hangup();
        SetTestPorts({});
    };
    w.ui.ExpectMessage();
    w.ClickQor();
    ASSERT_EQ(w.ui.Messages().size(), 1u);
    EXPECT_EQ(w.ui.LastMessage(), "The serial device went away: " + device +
                                      " was unplugged.\nPlug it back in, then try again.");
    EXPECT_EQ(w.dlg.StatusField().Text(), "Offline");
    EXPECT_FALSE(w.dlg.Doc().Channel().IsOpen());
    EXPECT_TRUE(w.dlg.IsWindowEnabled());
    EXPECT_TRUE(w.dlg.QorButton().IsEnabled());

    // Plugged back in (the pseudo-terminal comes back under another name, as a USB adapter
    // may): the next QOR works.
    w.ui.ClearMessages();
    w.sim = std::make_unique<SimModule>();
    ASSERT_TRUE(w.sim->Start());
    SetTestPorts({{w.sim->SlavePath(), "", "", "", "", ""}});
    w.ClickQor();
    EXPECT_TRUE(w.ui.Messages().empty()) << w.ui.LastMessage();
    EXPECT_EQ(w.dlg.StatusField().Text(), "Device Values");
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
