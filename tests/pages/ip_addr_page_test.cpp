#include "pages/ip_addr_page.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "files/config_text.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"
#include "qorsim/sim_module.h"
#include "support/scripted_ui_host.h"

namespace {

class IpAddrPageTest : public ::testing::Test {
protected:
    IpAddrPageTest() { dlg.Start(); }

    CIpAddrPage& Page() { return dlg.IpAddrPage(); }
    std::string Status() { return dlg.StatusField().Text(); }

    // Reads the page's sections from a file holding text.
    void ReadText(const std::string& text) {
        std::string path = cwd.Dir().Write("in.txt", text);
        CConfigTextReader reader(ui);
        ASSERT_TRUE(reader.OpenFile(path));
        Page().ReadSection(reader);
    }
    std::string ReadError(const std::string& text) {
        try {
            ReadText(text);
        } catch (const ZUVException& e) {
            return e.Message();
        }
        return "no error";
    }

    // The user types digits into an entry and leaves it.
    static void Type(CIPAddrEdit& e, const std::string& digits) {
        e.SetFocus(false);
        e.SelectAll();
        for (char c : digits) e.Char(c);
        e.KillFocus();
        e.Leave();
    }

    InTempCwd cwd;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
};

const std::string kAborted = "Text file load ABORTED!\nDefault values loaded.\n\"";

// The control-state rule, row by row: checked states, then enabled states.
struct Boxes {
    bool bootp, fallback, always, dhcp;
    bool bootpOn, fallbackOn, alwaysOn, dhcpOn;
    bool operator==(const Boxes&) const = default;
};

Boxes RuleRow(int mode, bool seriesA) {
    switch (mode) {
        case 0: return {true, false, false, false, true, !seriesA, !seriesA, false};
        case 1: return {false, false, false, false, true, false, false, !seriesA};
        case 2: return {true, true, false, false, true, true, false, false};
        case 3: return {true, false, true, false, true, false, true, false};
        default: return {false, false, false, true, false, false, false, true};
    }
}

Boxes Shown(CIpAddrPage& p) {
    return {p.BootpCheck().IsChecked(),   p.FallbackCheck().IsChecked(),
            p.AlwaysCheck().IsChecked(),  p.DhcpCheck().IsChecked(),
            p.BootpCheck().IsEnabled(),   p.FallbackCheck().IsEnabled(),
            p.AlwaysCheck().IsEnabled(),  p.DhcpCheck().IsEnabled()};
}

std::string Describe(const Boxes& b) {
    auto f = [](bool v) { return v ? '1' : '0'; };
    return std::string("checked ") + f(b.bootp) + f(b.fallback) + f(b.always) + f(b.dhcp) +
           " enabled " + f(b.bootpOn) + f(b.fallbackOn) + f(b.alwaysOn) + f(b.dhcpOn);
}

#define EXPECT_RULE(page, mode, seriesA)                                         \
    do {                                                                         \
        EXPECT_EQ((page).Mode(), mode);                                          \
        EXPECT_EQ(Describe(Shown(page)), Describe(RuleRow(mode, seriesA)));      \
    } while (0)

TEST_F(IpAddrPageTest, StartsWithTheDefaults) {
    CIpAddrPage& p = Page();
    EXPECT_EQ(p.BaudList().CurText(), "Auto");
    EXPECT_EQ(p.SeriesList().CurText(), "A");
    EXPECT_EQ(p.SpeedList().CurText(), "Auto Negotiate");
    EXPECT_FALSE(p.SpeedList().IsEnabled());
    EXPECT_FALSE(p.RoutingCheck().IsEnabled());
    EXPECT_FALSE(p.RoutingCheck().IsChecked());
    EXPECT_FALSE(p.SeriesBCheck().IsVisible());
    EXPECT_RULE(p, 0, true);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.AddressEdit(i).GetText(), "000.000.000.000");
    EXPECT_EQ(Status(), "Default Values");

    std::vector<std::string> baud, speed;
    for (int i = 0; i < p.BaudList().Count(); ++i) baud.push_back(p.BaudList().ItemText(i));
    for (int i = 0; i < p.SpeedList().Count(); ++i) speed.push_back(p.SpeedList().ItemText(i));
    EXPECT_EQ(baud, (std::vector<std::string>{"Auto", "1200", "2400", "4800", "9600", "19200",
                                              "38400", "57600"}));
    EXPECT_EQ(speed, (std::vector<std::string>{"Auto Negotiate", "10 Mbps half-duplex",
                                               "10 Mbps full-duplex", "100 Mbps half-duplex",
                                               "100 Mbps full-duplex"}));
}

TEST_F(IpAddrPageTest, CheckBoxesFollowTheRuleThroughEverySeriesAndMode) {
    CIpAddrPage& p = Page();
    struct Step {
        CCheckBox& box;
        int mode;  // after the click
    };
    for (int series : {1, 2, 0}) {
        SCOPED_TRACE("series " + std::to_string(series));
        p.SeriesList().Select(series);
        bool a = series == 0;
        EXPECT_RULE(p, 0, a);
        EXPECT_EQ(p.RoutingCheck().IsEnabled(), !a);
        EXPECT_EQ(p.SpeedList().IsEnabled(), series == 2);
        std::vector<Step> steps =
            a ? std::vector<Step>{{p.BootpCheck(), 1}, {p.DhcpCheck(), 1},  // DHCP stays shut
                                  {p.BootpCheck(), 0}, {p.AlwaysCheck(), 0}}
              : std::vector<Step>{{p.AlwaysCheck(), 3},   {p.AlwaysCheck(), 0},
                                  {p.FallbackCheck(), 2}, {p.FallbackCheck(), 0},
                                  {p.AlwaysCheck(), 3},   {p.BootpCheck(), 1},
                                  {p.DhcpCheck(), 4},     {p.DhcpCheck(), 1},
                                  {p.BootpCheck(), 0}};
        for (size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            steps[i].box.Click();
            EXPECT_RULE(p, steps[i].mode, a);
        }
    }
}

TEST_F(IpAddrPageTest, ChangingTheSeriesKeepsTheModeRule) {
    CIpAddrPage& p = Page();
    p.SeriesList().Select(1);
    p.FallbackCheck().Click();
    p.SeriesList().Select(2);  // Fallback in force: Always stays shut
    EXPECT_RULE(p, 2, false);
    p.FallbackCheck().Click();
    p.AlwaysCheck().Click();
    // Series A while "Bootp Always" is set: back to Bootp, the variants unchecked and shut.
    p.SeriesList().Select(0);
    EXPECT_RULE(p, 0, true);
    EXPECT_EQ(p.SpeedList().CurText(), "Auto Negotiate");

    p.SeriesList().Select(2);
    p.BootpCheck().Click();
    p.DhcpCheck().Click();
    p.SeriesList().Select(0);  // DHCP is not for series A
    EXPECT_RULE(p, 1, true);
}

TEST_F(IpAddrPageTest, SeriesReachesTheOtherPages) {
    CIpAddrPage& p = Page();
    CIPAddrEdit& mask = dlg.UtilitySettingsPage().SecurityMaskEdit();
    p.SeriesList().Select(2);
    EXPECT_TRUE(mask.IsEnabled());
    // Series "D" stores every page: the document then holds what the pages show.
    EXPECT_EQ(Status(), "Default Values");
    p.SpeedList().Select(4);
    EXPECT_EQ(Status(), "Modified");
    p.SeriesList().Select(2);
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdSpeedDuplex), "100 Mbps full-duplex");
    EXPECT_EQ(Status(), "Default Values");
    p.SeriesList().Select(1);
    EXPECT_FALSE(mask.IsEnabled());
    EXPECT_EQ(p.SpeedList().CurText(), "Auto Negotiate");
    EXPECT_FALSE(p.SpeedList().IsEnabled());
}

TEST_F(IpAddrPageTest, FirmwareRevisionSelectsTheSeries) {
    struct Case {
        const char* identification;
        int series;
    } cases[] = {{"QORW FW=3.12 ready", 1}, {"QORW FW=3.13 ready", 2}, {"QOR FW=1.99", 0},
                 {"QOR FW=2.0", 1},         {"QOR FW=2.00a", 1},       {"QOR FW=10.5", 2},
                 {"no revision", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identification);
        dlg.OnDefaults();
        dlg.Doc().SET(QorDoc::kIdDiagnostics, c.identification);
        dlg.Doc().SET(QorDoc::kIdSpeedDuplex, "100 Mbps half-duplex");
        Page().LoadFromDocument(dlg.Doc());
        EXPECT_EQ(Page().SeriesList().GetCurSel(), c.series);
        EXPECT_EQ(Page().SpeedList().IsEnabled(), c.series == 2);
        EXPECT_EQ(Page().SpeedList().CurText(),
                  c.series == 2 ? "100 Mbps half-duplex" : "Auto Negotiate");
        EXPECT_EQ(Page().SeriesBCheck().IsChecked(), c.series != 0);
        EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdSeriesB), c.series != 0 ? "YES" : "NO");
        EXPECT_EQ(Page().RoutingCheck().IsEnabled(), c.series != 0);
        EXPECT_EQ(dlg.UtilitySettingsPage().SecurityMaskEdit().IsEnabled(), c.series == 2);
    }
}

// The module's values as an upload leaves them in the document.
void FillDocument(QorDoc& doc) {
    doc.SET(QorDoc::kIdDiagnostics, "QORW FW=3.13");
    doc.SET(QorDoc::kIdBaud, "19200");
    doc.SET(QorDoc::kIdSpeedDuplex, "10 Mbps full-duplex");
    doc.SET(QorDoc::kIdEnableRouting, "YES");
    doc.SET(QorDoc::kIdIpConfig, "Bootp Fallback");
    const char* addr[5] = {"192.168.001.010", "255.255.255.000", "192.168.001.001",
                           "010.000.000.000", "255.000.000.000"};
    for (int i = 0; i < 5; ++i) doc.SET(QorDoc::kIdIpAddress + i, addr[i]);
}

TEST_F(IpAddrPageTest, ShowsTheDocumentAndTellsItsDifferences) {
    QorDoc& doc = dlg.Doc();
    FillDocument(doc);
    CIpAddrPage& p = Page();
    p.LoadFromDocument(doc);
    ASSERT_TRUE(dlg.ValidatePages());
    EXPECT_EQ(p.BaudList().CurText(), "19200");
    EXPECT_EQ(p.SpeedList().CurText(), "10 Mbps full-duplex");
    EXPECT_TRUE(p.RoutingCheck().IsChecked());
    EXPECT_RULE(p, 2, false);
    EXPECT_EQ(p.SubnetMaskEdit().GetText(), "255.255.255.000");
    EXPECT_FALSE(p.DiffersFromDocument(doc));

    // Unchecking routing: the page differs and the baud parameter, which carries the routing
    // option, goes on the queue although the baud rate is unchanged.
    doc.ClearQueue();
    p.RoutingCheck().Click();
    EXPECT_EQ(Status(), "Modified");
    EXPECT_TRUE(doc.IsQueued(QorDoc::KeyOf(QorDoc::kIdBaud)));
    EXPECT_EQ(doc.GET(QorDoc::kIdBaud), "19200");
    EXPECT_EQ(p.RoutingFlag(), 0);

    p.RoutingCheck().Click();
    EXPECT_NE(Status(), "Modified");
    p.AddressEdit(3).SetText("010.000.000.001");
    EXPECT_TRUE(p.DiffersFromDocument(doc));
}

TEST_F(IpAddrPageTest, StoresAndQueuesItsParameters) {
    QorDoc& doc = dlg.Doc();
    doc.ClearQueue();
    Page().QueueParameters(doc);
    std::vector<int> keys(doc.Queue().begin(), doc.Queue().end());
    EXPECT_EQ(keys, (std::vector<int>{0xFD, 0xF6, 0xF7, 0xF1, 0xFC, 0xFA}));  // 183 186 187 184 182 171..

    CIpAddrPage& p = Page();
    const std::string speedBefore = doc.GET(QorDoc::kIdSpeedDuplex);
    p.SeriesList().Select(1);
    p.SpeedList().SetCurSel(3);  // not stored below series "D"
    p.BaudList().Select(4);
    p.RoutingCheck().Click();
    p.BootpCheck().Click();
    p.DhcpCheck().Click();
    p.AddressEdit(0).SetText("010.001.002.003");
    p.StoreToDocument(doc, true);
    EXPECT_EQ(doc.GET(QorDoc::kIdBaud), "9600");
    EXPECT_EQ(doc.GET(QorDoc::kIdSpeedDuplex), speedBefore);
    EXPECT_EQ(doc.GET(QorDoc::kIdEnableRouting), "YES");
    EXPECT_EQ(doc.GET(QorDoc::kIdIpConfig), "DHCP");
    EXPECT_EQ(doc.GET(QorDoc::kIdIpAddress), "010.001.002.003");
    EXPECT_FALSE(p.DiffersFromDocument(doc));
}

TEST_F(IpAddrPageTest, AddressEntriesRefreshTheStatusAndFitTheSubnet) {
    CIpAddrPage& p = Page();
    ui.ExpectMessage();  // the subnet notice
    Type(p.IpAddressEdit(), "192168001010");
    EXPECT_EQ(p.IpAddressEdit().GetText(), "192.168.001.010");
    EXPECT_EQ(p.SubnetMaskEdit().GetText(), "255.255.255.000");
    EXPECT_EQ(ui.LastMessage(), "NOTICE: The Subnet Mask has been set to a Class C default value.");
    EXPECT_EQ(Status(), "Modified");

    // A refused entry keeps the members and stops the take-over.
    ui.ExpectMessage();
    p.GatewayEdit().SetText("300.000.000.000");
    EXPECT_FALSE(p.TakeControlValues());
    EXPECT_EQ(p.Address(2), (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(p.Address(0), (std::array<uint8_t, 4>{192, 168, 1, 10}));
}

TEST_F(IpAddrPageTest, WritesItsSectionsWithDefaults) {
    CTextOutFile out;
    Page().WriteSection(out, dlg.Doc());
    EXPECT_EQ(out.Text(),
              "\r\n\r\n[COMMS]\r\n"
              "Baud: Auto\r\n"
              "Ethernet Speed/Duplex: Auto Negotiate\r\n"
              "EnableRouting: NO\r\n"
              "\r\n[TCPIP]\r\n"
              "Series: A\r\n"
              "IpConfig: Bootp\r\n"
              "IPAddress: 000.000.000.000\r\n"
              "SubnetMask: 000.000.000.000\r\n"
              "Gateway: 000.000.000.000\r\n"
              "SecurityMask1: 000.000.000.000\r\n"
              "SecurityMask2: 000.000.000.000\r\n");
}

const std::string kAddresses =
    "IPAddress: 10.1.2.3\r\nSubnetMask: 255.0.0.0\r\nGateway: 010.001.002.254\r\n"
    "SecurityMask1: 0.0.0.0\r\nSecurityMask2: 255.255.0.0\r\n";

std::string File(const std::string& version, const std::string& comms, const std::string& tcpip) {
    return "[QorConfiguration]\r\n" + version + "\r\n\r\n[COMMS]\r\n" + comms + "\r\n[TCPIP]\r\n" +
           tcpip + kAddresses;
}

TEST_F(IpAddrPageTest, ReadsEveryTextVersion) {
    CIpAddrPage& p = Page();
    // Version 1: no routing and no series lines.
    ReadText(File("Version: 1", "Baud: 96\r\n", "BootP: Soft\r\n"));
    EXPECT_EQ(dlg.TextVersion(), 1);
    EXPECT_EQ(p.BaudList().CurText(), "9600");
    EXPECT_EQ(p.SeriesList().CurText(), "A");
    EXPECT_FALSE(p.RoutingCheck().IsChecked());
    EXPECT_RULE(p, 1, true);
    EXPECT_EQ(p.AddressEdit(0).GetText(), "010.001.002.003");
    EXPECT_EQ(p.Address(4), (std::array<uint8_t, 4>{255, 255, 0, 0}));

    // Versions 2 and 3 name the series by "SeriesB: ".
    ReadText(File("Version: 3", "Baud: 19200\r\nEnableRouting: YES\r\n",
                  "SeriesB: YES\r\nIpConfig: Bootp Always\r\n"));
    EXPECT_EQ(dlg.TextVersion(), 3);
    EXPECT_EQ(p.SeriesList().CurText(), "B/C");
    EXPECT_TRUE(p.RoutingCheck().IsChecked());
    EXPECT_TRUE(p.RoutingCheck().IsEnabled());
    EXPECT_FALSE(p.SpeedList().IsEnabled());
    EXPECT_RULE(p, 3, false);
    EXPECT_FALSE(dlg.UtilitySettingsPage().SecurityMaskEdit().IsEnabled());

    ReadText(File("Version: 2", "Baud: 1200\r\nEnableRouting: NO\r\n",
                  "SeriesB: NO\r\nIpConfig: Soft\r\n"));
    EXPECT_EQ(p.SeriesList().CurText(), "A");
    EXPECT_FALSE(p.RoutingCheck().IsEnabled());

    ReadText(File("Version: 4",
                  "Baud: auto\r\nEthernet Speed/Duplex: 100 Mbps h\r\nEnableRouting: NO\r\n",
                  "Series: D\r\nIpConfig: DHCP\r\n"));
    EXPECT_EQ(dlg.TextVersion(), 4);
    EXPECT_EQ(p.BaudList().CurText(), "Auto");
    EXPECT_EQ(p.SpeedList().CurText(), "100 Mbps half-duplex");
    EXPECT_TRUE(p.SpeedList().IsEnabled());
    EXPECT_EQ(p.SeriesList().CurText(), "D");
    EXPECT_EQ(p.SeriesIndex(), 2);
    EXPECT_RULE(p, 4, false);
    EXPECT_TRUE(dlg.UtilitySettingsPage().SecurityMaskEdit().IsEnabled());
}

TEST_F(IpAddrPageTest, TextErrorsNameTheirKey) {
    const std::string ok4 = "Baud: 9600\r\nEthernet Speed/Duplex: Auto Negotiate\r\n";
    struct Case {
        std::string file;
        std::string message;
    } cases[] = {
        {File("Version: 4", "Baud: 300\r\n", ""), kAborted + "Baud: \" parameter in error."},
        {File("Version: 4", "Baud: 9600\r\nEthernet Speed/Duplex: 1 Gbps\r\n", ""),
         kAborted + "Ethernet Speed/Duplex: \" parameter in error."},
        {File("Version: 4", ok4 + "EnableRouting: YES\r\n", "Series: A\r\nIpConfig: Bootp\r\n"),
         kAborted + "IpConfig: \" file configuration/parameter in error."},
        {File("Version: 4", ok4 + "EnableRouting: NO\r\n", "Series: A\r\nIpConfig: DHCP\r\n"),
         kAborted + "IpConfig: \" file configuration/parameter in error."},
        {File("Version: 1", "Baud: 9600\r\n", "BootP: Bootp Always\r\n"),
         kAborted + "BootP: \" file configuration/parameter in error."},
        {File("Version: 4", ok4 + "EnableRouting: NO\r\n", "Series: E\r\nIpConfig: Soft\r\n"),
         kAborted + "Series: \" parameter in error."},
        {File("Version: 3", "Baud: 9600\r\nEnableRouting: NO\r\n", "SeriesB: D?\r\nIpConfig: Soft\r\n"),
         kAborted + "SeriesB: \" parameter in error."},
        {File("Version: 4", ok4 + "EnableRouting: yes\r\n", "Series: D\r\nIpConfig: Soft\r\n"),
         kAborted + "EnableRouting: \" parameter in error."},
        {File("Version: 4", ok4 + "EnableRouting: NO\r\n", "Series: D\r\nIpConfig: Static\r\n"),
         kAborted + "IpConfig: \" parameter in error."},
        {File("Version: 4", ok4 + "EnableRouting: NO\r\n", "Series: D\r\nSpeed: 1\r\n"),
         "Text file load ABORTED!\nFailed to locate \"IpConfig: \" parameter."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(ReadError(c.file), c.message);
    }

    // An address the entry refuses is reported by the entry, then the section fails.
    std::string badMask = File("Version: 4", ok4 + "EnableRouting: NO\r\n",
                               "Series: D\r\nIpConfig: Soft\r\n");
    badMask.replace(badMask.find("SubnetMask: 255.0.0.0"), 21, "SubnetMask: 255.0.255.0");
    ui.ExpectMessage();
    EXPECT_EQ(ReadError(badMask), "Text file load ABORTED!\nDefault values loaded.\n[TCPIP] parameters in error.");
    EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST_F(IpAddrPageTest, AbortedTextLoadRestoresTheDefaults) {
    Page().BaudList().Select(5);
    std::string path = cwd.Dir().Write(
        "bad.txt", File("Version: 4",
                        "Baud: 9600\r\nEthernet Speed/Duplex: Auto Negotiate\r\nEnableRouting: YES\r\n",
                        "Series: A\r\nIpConfig: Bootp\r\n"));
    ui.QueueOpenName(path);
    ui.ExpectMessage();
    dlg.OnTextLoad();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, kAborted + "IpConfig: \" file configuration/parameter in error.");
    EXPECT_EQ(ui.Messages()[0].icon, UiHost::Icon::None);
    EXPECT_EQ(Page().BaudList().CurText(), "Auto");
    EXPECT_EQ(Status(), "Default Values");
}

// Puts the page into a state far from the defaults.
void Customise(CIpAddrPage& p) {
    p.SeriesList().Select(2);
    p.BaudList().Select(6);
    p.SpeedList().Select(2);
    p.RoutingCheck().Click();
    p.FallbackCheck().Click();
    const char* addr[5] = {"172.016.005.004", "255.255.000.000", "172.016.000.001",
                           "001.002.003.004", "255.255.255.255"};
    for (int i = 0; i < 5; ++i) p.AddressEdit(i).SetText(addr[i]);
}

void ExpectCustomised(CIpAddrPage& p) {
    EXPECT_EQ(p.SeriesList().CurText(), "D");
    EXPECT_EQ(p.BaudList().CurText(), "38400");
    EXPECT_EQ(p.SpeedList().CurText(), "10 Mbps full-duplex");
    EXPECT_TRUE(p.SpeedList().IsEnabled());
    EXPECT_TRUE(p.RoutingCheck().IsChecked());
    EXPECT_RULE(p, 2, false);
    EXPECT_EQ(p.AddressEdit(0).GetText(), "172.016.005.004");
    EXPECT_EQ(p.AddressEdit(4).GetText(), "255.255.255.255");
}

TEST_F(IpAddrPageTest, TextFileSavedAndLoadedBack) {
    Customise(Page());
    std::string path = cwd.Dir().File("cfg.txt");
    ui.QueueSaveName(path);
    dlg.OnTextSave();
    std::string saved = ReadFileBytes(path);
    EXPECT_NE(saved.find("\r\n\r\n[COMMS]\r\nBaud: 38400\r\nEthernet Speed/Duplex: 10 Mbps "
                         "full-duplex\r\nEnableRouting: YES\r\n\r\n[TCPIP]\r\nSeries: D\r\n"
                         "IpConfig: Bootp Fallback\r\nIPAddress: 172.016.005.004\r\n"),
              std::string::npos);
    dlg.OnDefaults();
    ui.QueueOpenName(path);
    dlg.OnTextLoad();
    ExpectCustomised(Page());
    EXPECT_EQ(Status(), "File Values");
}

TEST_F(IpAddrPageTest, DcfSavedLoadedAndSavedAgainIsTheSame) {
    Customise(Page());
    std::string first = cwd.Dir().File("a.dcf"), second = cwd.Dir().File("b.dcf");
    ui.QueueSaveName(first);
    dlg.OnFileSave();
    dlg.OnDefaults();
    ui.QueueOpenName(first);
    dlg.OnFileLoad();
    ExpectCustomised(Page());
    ui.QueueSaveName(second);
    dlg.OnFileSave();
    std::string a = ReadFileBytes(first);
    ASSERT_GT(a.size(), 4u + 24 + 20);
    EXPECT_EQ(a, ReadFileBytes(second));
    // The page's record follows the version: six integers, then the twenty octets.
    EXPECT_EQ(a.substr(0, 4 + 24 + 4),
              std::string("\4\0\0\0"
                          "\6\0\0\0\1\0\0\0\0\0\0\0\2\0\0\0\2\0\0\0\2\0\0\0"
                          "\xAC\x10\x05\x04",
                          32));
}

std::string Int32(int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

const std::string kOctets = std::string("\x0A\x01\x02\x03\xFF\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);

TEST_F(IpAddrPageTest, ReadsOlderDcfRecords) {
    CIpAddrPage& p = Page();
    struct Case {
        int32_t version;
        std::string record;
        int series, mode;
        bool routing;
    } cases[] = {
        {1, Int32(4) + Int32(0) + kOctets, 0, 1, false},
        {1, Int32(4) + Int32(7) + kOctets, 0, 0, false},
        {2, Int32(3) + Int32(1) + Int32(1) + Int32(3) + kOctets, 1, 3, true},
        {3, Int32(3) + Int32(0) + Int32(0) + Int32(1) + kOctets, 0, 1, false},
        {4, Int32(3) + Int32(1) + Int32(1) + Int32(2) + Int32(1) + Int32(4) + kOctets, 2, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " mode " + std::to_string(c.mode));
        // A page left in another state first: the record alone decides.
        dlg.OnDefaults();
        p.SeriesList().Select(2);
        p.AlwaysCheck().Click();
        dlg.DcfVersion() = c.version;
        auto ar = CDcfArchive::ForLoading(c.record);
        p.ExchangeDcf(ar);
        EXPECT_EQ(p.BaudList().CurText(), c.version == 1 ? "9600" : "4800");
        EXPECT_EQ(p.SeriesList().GetCurSel(), c.series);
        EXPECT_EQ(p.SpeedList().IsEnabled(), c.series == 2);
        EXPECT_EQ(p.RoutingCheck().IsChecked(), c.routing);
        EXPECT_EQ(p.RoutingCheck().IsEnabled(), c.series != 0);
        EXPECT_RULE(p, c.mode, c.series == 0);
        EXPECT_EQ(p.AddressEdit(0).GetText(), "010.001.002.003");
        EXPECT_EQ(p.AddressEdit(1).GetText(), "255.000.000.000");
        EXPECT_EQ(dlg.UtilitySettingsPage().SecurityMaskEdit().IsEnabled(), c.series == 2);
    }
}

TEST_F(IpAddrPageTest, DcfPositionsNoListHoldsAreRefused) {
    dlg.DcfVersion() = 4;
    for (const std::string& record :
         {Int32(8) + Int32(0) + Int32(0) + Int32(0) + Int32(0) + Int32(0) + kOctets,
          Int32(0) + Int32(0) + Int32(0) + Int32(3) + Int32(0) + Int32(0) + kOctets,
          Int32(0) + Int32(0) + Int32(0) + Int32(0) + Int32(5) + Int32(0) + kOctets,
          Int32(0) + Int32(0) + Int32(0) + Int32(0) + Int32(0) + Int32(-1) + kOctets}) {
        auto ar = CDcfArchive::ForLoading(record);
        try {
            Page().ExchangeDcf(ar);
            ADD_FAILURE() << "accepted";
        } catch (const CDcfArchive::Failure& f) {
            EXPECT_EQ(f.Kind(), CDcfArchive::FailureKind::BadIndex);
        }
        EXPECT_EQ(Page().BaudList().CurText(), "Auto");
    }
}

// An address its field refuses could not load back from the text file saved next: the record is
// refused after the field's message, and the page keeps what it showed.
TEST_F(IpAddrPageTest, DcfAddressesTheirFieldsRefuseAreRefused) {
    dlg.DcfVersion() = 4;
    const std::string modes = Int32(0) + Int32(0) + Int32(0) + Int32(0) + Int32(0) + Int32(1);
    const std::string zero(4, '\0');
    const std::string loopback("\x7f\0\0\x01", 4), gappedMask("\xff\x00\xff\x00", 4);
    for (const std::string& addresses :
         {loopback + zero + zero + zero + zero, zero + gappedMask + zero + zero + zero}) {
        auto ar = CDcfArchive::ForLoading(modes + addresses);
        ui.ClearMessages();
        ui.ExpectMessage();
        EXPECT_THROW(Page().ExchangeDcf(ar), CDcfArchive::Failure);
        EXPECT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(Page().AddressEdit(0).GetText(), "000.000.000.000");
        EXPECT_EQ(Page().AddressEdit(1).GetText(), "000.000.000.000");
    }
}

}  // namespace

// ---- against the simulated module

namespace {

// The window with its own pages and a simulated module behind COM21.
class IpAddrPageModuleTest : public ::testing::Test {
protected:
    static constexpr int kPort = 21;

    void StartWith(const std::string& firmware) {
        SimOptions o;
        o.firmware = firmware;
        o.restartSilenceMs = 50;
        o.announceIntervalMs = 50;
        sim = std::make_unique<SimModule>(o);
        ASSERT_TRUE(sim->Start());
        setenv(("QORW_COM" + std::to_string(kPort)).c_str(), sim->SlavePath().c_str(), 1);
        dlg.Doc().AttachChannel(channel);
        dlg.Start();
        dlg.Link().comPort = kPort;
        dlg.Link().pcBaudIndex = 0;
    }
    ~IpAddrPageModuleTest() override {
        channel.Close();
        if (sim) sim->Stop();
        unsetenv(("QORW_COM" + std::to_string(kPort)).c_str());
    }

    InTempCwd cwd;
    std::unique_ptr<SimModule> sim;
    SerialChannel channel;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
};

TEST_F(IpAddrPageModuleTest, UploadFillsThePages) {
    StartWith("3.13");
    dlg.OnQor();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    CIpAddrPage& p = dlg.IpAddrPage();
    EXPECT_EQ(p.SeriesList().CurText(), "D");
    EXPECT_EQ(p.BaudList().CurText(), "9600");
    EXPECT_TRUE(p.RoutingCheck().IsChecked());
    EXPECT_TRUE(p.SpeedList().IsEnabled());
    EXPECT_RULE(p, 0, false);
    const char* shown[5] = {"010.000.000.100", "255.000.000.000", "000.000.000.000",
                            "000.000.000.000", "255.255.255.255"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(p.AddressEdit(i).GetText(), shown[i]);
    EXPECT_TRUE(dlg.UtilitySettingsPage().SecurityMaskEdit().IsEnabled());
    EXPECT_EQ(dlg.ResetPage().HardwareAddressField().Text(), "00:00:BC:1A:2B:3C");
    EXPECT_NE(dlg.ResetPage().DiagnosticField().Text().find("FW=03.13"), std::string::npos);
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");

    // Routing off goes to the module inside the baud parameter, and comes back so.
    p.RoutingCheck().Click();
    EXPECT_EQ(dlg.StatusField().Text(), "Modified");
    EXPECT_TRUE(dlg.Doc().IsQueued(QorDoc::KeyOf(QorDoc::kIdBaud)));
    dlg.OnRam();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    dlg.OnDefaults();
    EXPECT_FALSE(p.RoutingCheck().IsChecked());
    EXPECT_EQ(p.SeriesList().CurText(), "A");
    dlg.OnQor();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    EXPECT_FALSE(p.RoutingCheck().IsChecked());
    EXPECT_EQ(p.BaudList().CurText(), "9600");
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
}

TEST_F(IpAddrPageModuleTest, SeriesBCModuleKeepsSpeedAutomatic) {
    StartWith("3.12");
    dlg.OnQor();
    ASSERT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(dlg.IpAddrPage().SeriesList().CurText(), "B/C");
    EXPECT_FALSE(dlg.IpAddrPage().SpeedList().IsEnabled());
    EXPECT_EQ(dlg.IpAddrPage().SeriesBFlag(), 1);
    EXPECT_FALSE(dlg.UtilitySettingsPage().SecurityMaskEdit().IsEnabled());
}

}  // namespace
