// "Find Module..." as a user meets it: the button on the Utility Settings page, the dialog
// filling in as the ports report, the choice among several modules, and Cancel.
#include "gui/find_module_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "gui/utility_settings_page_view.h"
#include "link/port_map.h"
#include "qorsim/sim_module.h"
#include "support/port_test_tree.h"
#include "support/scripted_ui_host.h"

namespace {

int OpenCount(const std::string& device) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec) == device) ++n;
    }
    return n;
}

struct Sim {
    explicit Sim(uint32_t rate, bool silent = false) : sim(Options(rate, silent)) {
        EXPECT_TRUE(sim.Start());
    }
    static SimOptions Options(uint32_t rate, bool silent) {
        SimOptions o;
        o.rate = rate;
        o.silent = silent;
        return o;
    }
    SimModule sim;
    const std::string& Path() const { return sim.SlavePath(); }
};

struct Window {
    InTempCwd cwd;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    Window() { dlg.Start(); }
    CUtilitySettingsPage& Page() { return dlg.UtilitySettingsPage(); }
};

struct ComVariable {
    ComVariable(int n, const std::string& device) : name("QORW_COM" + std::to_string(n)) {
        setenv(name.c_str(), device.c_str(), 1);
    }
    ~ComVariable() { unsetenv(name.c_str()); }
    std::string name;
};

template <typename W>
W* Child(QWidget& parent, const char* name) {
    W* w = parent.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

TEST(FindModuleDialog, TheButtonFindsTheModuleAndSetsPortAndRate) {
    Window w;
    Sim module(19200);
    ComVariable com3(3, module.Path());
    UtilitySettingsPageView view(w.Page());
    view.show();
    auto* button = Child<QPushButton>(view, "findModuleButton");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Find &Module...");

    QString status, result, closeText;
    bool useShown = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<FindModuleDialog*>(QApplication::activeModalWidget());
        if (!d || d->IsScanning()) return;
        poll.stop();
        status = Child<QLabel>(*d, "scanStatus")->text();
        result = Child<QTreeWidget>(*d, "scanList")->topLevelItem(0)->text(2);
        auto* close = Child<QPushButton>(*d, "cancelButton");
        closeText = close->text();
        useShown = Child<QPushButton>(*d, "useButton")->isVisible();
        QTest::mouseClick(close, Qt::LeftButton);
    });
    poll.start(20);
    QTest::mouseClick(button, Qt::LeftButton);  // returns when the dialog is closed

    EXPECT_EQ(status, "COM Port is now COM3 and Baud Rate 19200.");
    EXPECT_EQ(result,
              "QORW at 19200 baud, firmware 03.12, series B/C, web pages, 00:00:BC:1A:2B:3C");
    EXPECT_EQ(closeText, "Close");
    EXPECT_FALSE(useShown);  // nothing to choose
    EXPECT_EQ(Child<QComboBox>(view, "comPortList")->currentText(), "COM3");
    EXPECT_EQ(Child<QComboBox>(view, "baudList")->currentText(), "19200");
    EXPECT_EQ(w.dlg.Link().comPort, 3);
    EXPECT_EQ(w.dlg.Link().pcBaudIndex, 2);
    EXPECT_EQ(w.dlg.StatusField().Text(), CUtilityDlg::kOffline);
    EXPECT_EQ(ReadFileBytes(w.cwd.Dir().File("QORWUTIL.CFG")),
              "CommPort=COM3\r\nBaudRate=19200\r\n");
    EXPECT_EQ(OpenCount(module.Path()), 1);
}

// The scan needs the ports: the window goes offline as at a lost link, whatever the scan finds.
TEST(FindModuleDialog, TheButtonTakesTheWindowOffline) {
    Window w;
    Sim module(38400);
    {
        ComVariable com1(1, module.Path());
        w.dlg.OnQor();
    }
    ASSERT_EQ(w.dlg.StatusField().Text(), CUtilityDlg::kDeviceValues) << w.ui.LastMessage();
    ASSERT_EQ(w.dlg.ResetPage().HardwareAddressField().Text(), "00:00:BC:1A:2B:3C");
    UtilitySettingsPageView view(w.Page());
    view.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<FindModuleDialog*>(QApplication::activeModalWidget()))
            QTest::mouseClick(Child<QPushButton>(*d, "cancelButton"), Qt::LeftButton);
    });
    poll.start(20);
    QTest::mouseClick(Child<QPushButton>(view, "findModuleButton"), Qt::LeftButton);
    EXPECT_EQ(w.dlg.StatusField().Text(), CUtilityDlg::kOffline);
    EXPECT_EQ(w.dlg.ResetPage().HardwareAddressField().Text(), "");
    EXPECT_EQ(OpenCount(module.Path()), 1);
}

TEST(FindModuleDialog, OfSeveralModulesTheUserPicksOne) {
    Window w;
    Sim fast(57600), slow(4800), none(0, true);
    ComVariable com3(3, fast.Path()), com4(4, slow.Path());
    FindModuleDialog d({{fast.Path(), "a"}, {slow.Path(), "b"}, {none.Path(), "c"}}, 1,
                       UseOnPage(w.Page()));
    QSignalSpy finished(&d, &FindModuleDialog::scanFinished);
    d.show();
    ASSERT_TRUE(finished.wait(10000));

    EXPECT_EQ(Child<QLabel>(d, "scanStatus")->text(), FindModuleDialog::kPickOne);
    EXPECT_EQ(w.dlg.Link().comPort, 1);  // nothing taken over yet
    auto* list = Child<QTreeWidget>(d, "scanList");
    EXPECT_EQ(list->topLevelItem(2)->text(2),
              "No module (tried 38400 57600 19200 9600 4800 2400 1200)");
    auto* use = Child<QPushButton>(d, "useButton");
    EXPECT_TRUE(use->isVisible());

    QRect noModule = list->visualItemRect(list->topLevelItem(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, noModule.center());
    EXPECT_FALSE(use->isEnabled());
    QRect second = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    ASSERT_TRUE(use->isEnabled());
    QTest::mouseClick(use, Qt::LeftButton);

    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(w.dlg.Link().comPort, 4);
    EXPECT_EQ(w.dlg.Link().pcBaudIndex, 4);  // 4800
}

TEST(FindModuleDialog, AModuleNoComPortOpensLeavesTheSettingsAlone) {
    Window w;
    Sim module(38400);
    FindModuleDialog d({{module.Path(), {}}}, 1, UseOnPage(w.Page()));
    QSignalSpy finished(&d, &FindModuleDialog::scanFinished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(Child<QLabel>(d, "scanStatus")->text().toStdString(),
              "The module is on " + module.Path() + ", which no COM port opens.");
    EXPECT_EQ(w.dlg.Link().comPort, 1);
    EXPECT_FALSE(QFile::exists(w.cwd.Dir().File("QORWUTIL.CFG").c_str()));
}

// More adapters than COM numbers: the module's adapter is pinned to a number it can be used by.
TEST(FindModuleDialog, AModulePastCom32IsPinnedToANumber) {
    Window w;
    Sim module(38400);
    std::vector<SerialDevice> present;
    for (int i = 0; i < PortMap::kPortCount; ++i)
        present.push_back(UsbPort("/dev/ttyUSB" + std::to_string(i),
                                  "usb-FTDI_" + std::to_string(i) + "-if00-port0", "FT", ""));
    present.push_back(UsbPort(module.Path(), "", "USB Serial", "", "ch341"));
    ResetTestPorts(present);
    FindModuleDialog d({{module.Path(), "USB Serial"}}, 1, UseOnPage(w.Page()));
    QSignalSpy finished(&d, &FindModuleDialog::scanFinished);
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(Child<QLabel>(d, "scanStatus")->text(),
              "COM Port is now COM32, pinned to USB Serial, and Baud Rate 38400.");
    EXPECT_EQ(w.dlg.Link().comPort, 32);
    EXPECT_EQ(ProgramPortMap().Entry(32).device, module.Path());
    EXPECT_EQ(ProgramPortMap().Entry(32).source, PortSource::Pinned);
    EXPECT_EQ(w.Page().ComPortList().ItemText(31).rfind("COM32  USB Serial  ", 0), 0u);
    ResetTestPorts();
}

TEST(FindModuleDialog, CancelStopsAtOnceAndClosesEveryPort) {
    Window w;
    Sim first(0, true), second(0, true);
    FindModuleDialog d({{first.Path(), {}}, {second.Path(), {}}}, 6, UseOnPage(w.Page()));
    d.show();
    auto* list = Child<QTreeWidget>(d, "scanList");
    QTRY_COMPARE(list->topLevelItem(1)->text(2), "Trying 1200 baud...");
    QTRY_COMPARE(OpenCount(first.Path()) + OpenCount(second.Path()), 4);

    QTest::mouseClick(Child<QPushButton>(d, "cancelButton"), Qt::LeftButton);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.IsScanning());
    EXPECT_EQ(OpenCount(first.Path()), 1);  // the simulator's own
    EXPECT_EQ(OpenCount(second.Path()), 1);
    QApplication::processEvents();  // reports still on their way change nothing
    EXPECT_EQ(w.dlg.Link().comPort, 1);
}

}  // namespace
