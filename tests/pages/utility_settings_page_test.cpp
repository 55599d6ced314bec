#include "pages/utility_settings_page.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/utility_dlg.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "model/qor_doc.h"
#include "support/port_test_tree.h"
#include "support/scripted_ui_host.h"

namespace {

// Each test starts the window in a fresh current directory, where the settings file lives,
// optionally with a settings file already there.
class UtilitySettingsPageTest : public ::testing::Test {
protected:
    void SetUp() override { ResetTestPorts(); }
    void PutSettings(const std::string& bytes) { dir_.Write("QORWUTIL.CFG", bytes); }
    std::string Settings() const { return ReadFileBytes(dir_.File("QORWUTIL.CFG")); }
    CUtilityDlg& Start() {
        dlg_ = std::make_unique<CUtilityDlg>(ui);
        dlg_->Start();
        return *dlg_;
    }
    CUtilitySettingsPage& Page() { return dlg_->UtilitySettingsPage(); }

    void ReadText(const std::string& text) {
        std::string path = dir_.Write("in.txt", text);
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(path));
        Page().ReadSection(reader);
    }

    InTempCwd cwd_;
    const TempDir& dir_ = cwd_.Dir();
    ScriptedUiHost ui;
    std::unique_ptr<CUtilityDlg> dlg_;
};

TEST_F(UtilitySettingsPageTest, FirstRunWithoutSettingsFile) {
    CUtilityDlg& dlg = Start();
    CUtilitySettingsPage& p = Page();
    EXPECT_EQ(p.ComPortList().Count(), 32);
    EXPECT_EQ(p.ComPortList().ItemText(31), "COM32");
    EXPECT_EQ(p.ComPortList().CurText(), "COM1");
    EXPECT_EQ(p.BaudList().CurText(), "38400");
    EXPECT_EQ(p.UploadGroup().ItemText(p.UploadGroup().Selected()), "Active Tab");
    EXPECT_EQ(p.UploadGroup().ItemText(0), "All ");
    EXPECT_EQ(p.DownloadGroup().ItemText(p.DownloadGroup().Selected()), "Modified");
    EXPECT_FALSE(p.DownloadGroup().IsItemVisible(1));
    EXPECT_FALSE(p.DownloadGroup().IsItemEnabled(1));
    EXPECT_FALSE(p.SecurityMaskEdit().IsEnabled());
    EXPECT_EQ(p.SecurityMaskEdit().GetText(), "000.000.000.000");
    EXPECT_EQ(dlg.Link().comPort, 1);
    EXPECT_EQ(dlg.Link().pcBaudIndex, 1);
    // Starting writes nothing.
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

TEST_F(UtilitySettingsPageTest, StartTakesTheSettingsFile) {
    struct Case {
        const char* bytes;
        const char* port;
        const char* rate;
        int baudIndex;
    } cases[] = {
        {"CommPort=COM12\r\nBaudRate=9600\r\n", "COM12", "9600", 3},
        {"CommPort=COM2\r\nBaudRate=14400\r\n", "COM2", "38400", 1},
        {"XommPort=COM12\r\nBaudRate=9600\r\n", "COM1", "38400", 1},
        {"CommPort=COM7\r\nBaud: 9600\r\n", "COM7", "38400", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        PutSettings(c.bytes);
        CUtilityDlg& dlg = Start();
        EXPECT_EQ(Page().ComPortList().CurText(), c.port);
        EXPECT_EQ(Page().BaudList().CurText(), c.rate);
        EXPECT_EQ(dlg.Link().comPort, std::stoi(c.port + 3));
        // Taken over at the end of start-up, so the first connection uses it.
        EXPECT_EQ(dlg.Link().pcBaudIndex, c.baudIndex);
    }
}

TEST_F(UtilitySettingsPageTest, SelectionsGoOfflineAndRewriteTheFile) {
    PutSettings("CommPort=COM12\r\nBaudRate=9600\r\nleft over from an older release\r\n");
    CUtilityDlg& dlg = Start();
    dlg.Doc().SET(QorDoc::kIdHwAddress, "00:20:4A:00:00:01");
    dlg.ShowStatus("Device Values");
    Page().ComPortList().Select(4);
    EXPECT_EQ(Settings(), "CommPort=COM5\r\nBaudRate=9600\r\n");
    EXPECT_EQ(dlg.Link().comPort, 5);
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), "");

    Page().BaudList().Select(0);
    EXPECT_EQ(Settings(), "CommPort=COM5\r\nBaudRate=57600\r\n");
    EXPECT_EQ(dlg.Link().pcBaudIndex, 0);
    EXPECT_EQ(Page().BaudIndex(), 0);
}

TEST_F(UtilitySettingsPageTest, BehaviourChoicesSetTheLinkFlags) {
    CUtilityDlg& dlg = Start();
    Page().UploadGroup().Select(0);
    EXPECT_EQ(dlg.Link().uploadActiveTab, 0);
    Page().UploadGroup().Select(1);
    EXPECT_EQ(dlg.Link().uploadActiveTab, 1);
    Page().DownloadGroup().Select(0);
    EXPECT_EQ(dlg.Link().downloadAll, 1);
    Page().DownloadGroup().Select(1);  // hidden and disabled
    EXPECT_EQ(Page().DownloadGroup().Selected(), 0);
    Page().DownloadGroup().Select(2);
    EXPECT_EQ(dlg.Link().downloadAll, 0);
    EXPECT_EQ(dir_.EntryCount(), 0u);
}

TEST_F(UtilitySettingsPageTest, MaskFollowsTheSeries) {
    CUtilityDlg& dlg = Start();
    CIPAddrEdit& mask = Page().SecurityMaskEdit();
    dlg.IpAddrPage().SeriesList().Select(2);
    ASSERT_TRUE(mask.IsEnabled());
    mask.SetText("255.255.255.000");
    EXPECT_EQ(dlg.StatusField().Text(), "Default Values");
    dlg.RefreshStatus();
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    ASSERT_TRUE(Page().TakeControlValues());
    EXPECT_EQ(Page().SecurityMask(), (std::array<uint8_t, 4>{255, 255, 255, 0}));
    dlg.StoreAllPages();
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdCfgSecMask), "255.255.255.000");
    EXPECT_FALSE(Page().DiffersFromDocument(dlg.Doc()));

    dlg.IpAddrPage().SeriesList().Select(1);
    EXPECT_FALSE(mask.IsEnabled());
    EXPECT_EQ(mask.GetText(), "000.000.000.000");
    EXPECT_TRUE(Page().DiffersFromDocument(dlg.Doc()));

    dlg.Doc().SET(QorDoc::kIdCfgSecMask, "010.020.030.040");
    Page().LoadFromDocument(dlg.Doc());
    EXPECT_EQ(mask.GetText(), "010.020.030.040");
    dlg.Doc().ClearQueue();
    Page().QueueParameters(dlg.Doc());
    EXPECT_EQ(std::vector<int>(dlg.Doc().Queue().begin(), dlg.Doc().Queue().end()),
              std::vector<int>{0xF5});
}

TEST_F(UtilitySettingsPageTest, TextSectionByVersion) {
    CUtilityDlg& dlg = Start();
    dlg.IpAddrPage().SeriesList().Select(2);
    Page().SecurityMaskEdit().SetText("255.255.255.000");
    CTextOutFile out;
    Page().WriteSection(out, dlg.Doc());
    EXPECT_EQ(out.Text(), "\r\n[UtilitySettings]\r\nCfgSecMask: 255.255.255.000\r\n");

    // Below version 4 the section is not looked for.
    dlg.TextVersion() = 3;
    ReadText("[QorConfiguration]\r\nVersion: 3\r\n");
    EXPECT_EQ(Page().SecurityMaskEdit().GetText(), "000.000.000.000");
    EXPECT_FALSE(Page().SecurityMaskEdit().IsEnabled());

    dlg.TextVersion() = 4;
    ReadText("\r\n[UtilitySettings]\r\nCfgSecMask: 10.2.3.4\r\n");
    EXPECT_EQ(Page().SecurityMask(), (std::array<uint8_t, 4>{10, 2, 3, 4}));

    try {
        ReadText("[UtilitySettings]\r\nCfgSecMask: 10.2.3.x\r\n");
        ADD_FAILURE() << "accepted";
    } catch (const ZUVException& e) {
        EXPECT_EQ(e.Message(),
                  "Text file load ABORTED!\nDefault values loaded.\n\"CfgSecMask: \" parameter in "
                  "error.");
    }
    try {
        ReadText("[Other]\r\n");
        ADD_FAILURE() << "accepted";
    } catch (const ZUVException& e) {
        EXPECT_EQ(e.Message(),
                  "Text file load ABORTED!\nFailed to locate \"[UtilitySettings]\" section.");
    }
}

TEST_F(UtilitySettingsPageTest, DcfRecordByVersion) {
    CUtilityDlg& dlg = Start();
    dlg.IpAddrPage().SeriesList().Select(2);
    Page().SecurityMaskEdit().SetText("001.002.003.004");
    auto out = CDcfArchive::ForStoring();
    Page().ExchangeDcf(out);
    EXPECT_EQ(out.Bytes(), std::string("\1\2\3\4", 4));

    Page().SecurityMaskEdit().SetText("009.009.009.009");
    dlg.DcfVersion() = 3;
    auto old = CDcfArchive::ForLoading(std::string("\5\6\7\10", 4));
    Page().ExchangeDcf(old);  // nothing in the record for this page
    EXPECT_EQ(Page().SecurityMaskEdit().GetText(), "009.009.009.009");
    EXPECT_EQ(old.ReadByte(), 5);

    dlg.DcfVersion() = 4;
    auto in = CDcfArchive::ForLoading(out.Bytes());
    Page().ExchangeDcf(in);
    EXPECT_EQ(Page().SecurityMaskEdit().GetText(), "001.002.003.004");
}

TEST_F(UtilitySettingsPageTest, EachComEntryNamesItsDeviceAndAChoicePinsIt) {
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K5XYZ-if00-port0";
    ResetTestPorts({UsbPort("/dev/ttyUSB0", byId.substr(18), "FT232R USB UART", "A10K5XYZ")});
    ASSERT_EQ(setenv("QORW_COM6", "/nonexistent/qorw-tty", 1), 0);
    Start();
    CComboBox& list = Page().ComPortList();
    EXPECT_EQ(list.ItemText(0), "COM1  FT232R USB UART (A10K5XYZ)  /dev/ttyUSB0");
    EXPECT_EQ(list.ItemText(5), "COM6  /nonexistent/qorw-tty  not plugged in");
    EXPECT_EQ(list.ItemText(31), "COM32");
    unsetenv("QORW_COM6");

    list.Select(0);
    EXPECT_EQ(Settings(), "CommPort=COM1\r\nBaudRate=38400\r\n");
    EXPECT_NE(ReadFileBytes(TestPinsPath()).find("COM1\t" + byId + "\t"), std::string::npos);
    SetTestPorts({});
    EXPECT_TRUE(Page().RefreshPorts());
    EXPECT_FALSE(Page().RefreshPorts());
    EXPECT_EQ(list.ItemText(0), "COM1  FT232R USB UART (A10K5XYZ)  not plugged in");
    EXPECT_EQ(list.ItemText(5), "COM6");
    EXPECT_EQ(list.GetCurSel(), 0);
    ResetTestPorts();
}

// A line of the pins file the page cannot use is told once, and stays when a choice pins a port.
TEST_F(UtilitySettingsPageTest, APinsLineThatCannotBeUsedIsToldOnceAndKept) {
    ResetTestPorts({UsbPort("/dev/ttyUSB0", "usb-FTDI-if00-port0", "FT232R USB UART", "A1")});
    std::filesystem::create_directories(std::filesystem::path(TestPinsPath()).parent_path());
    std::ofstream(TestPinsPath()) << "COM2x\t/dev/serial/by-id/usb-FTDI-if00-port0\tFT\n";
    ui.ExpectMessage();
    Start();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.LastMessage(), TestPinsPath() +
                                    ", line 1: not a pin (COM1 to COM32, a tab, the device's "
                                    "name); the line is kept, not used.");
    EXPECT_EQ(Page().ComPortList().ItemText(1), "COM2");
    Page().RefreshPorts();
    Page().ComPortList().Select(0);
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ReadFileBytes(TestPinsPath()).rfind("COM2x\t", 0), 0u);
    ResetTestPorts();
}

}  // namespace
