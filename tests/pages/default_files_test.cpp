// The two configuration files as a whole: what the utility writes for its defaults, byte for
// byte, and what comes back from a configuration with every value of every page changed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/utility_dlg.h"
#include "files/dcf_archive.h"
#include "files/temp_dir.h"
#include "support/started_window.h"

namespace {

std::string Two(int n) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", n);
    return b;
}

// The default text file, section by section in tab order.
std::vector<std::pair<std::string, std::string>> DefaultTextPieces() {
    std::vector<std::pair<std::string, std::string>> pieces;
    pieces.push_back({"header", "[QorConfiguration]\r\nVersion: 4"});
    pieces.push_back({"IP address page",
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
                      "SecurityMask2: 000.000.000.000\r\n"});
    std::string routing = "\r\n[Routing]\r\n";
    for (int d = 0; d <= 49; ++d) routing += "Route" + Two(d) + ": 000.000.000.000\r\n";
    pieces.push_back({"Message routing page", routing});
    std::string email =
        "\r\n[EMail]\r\n"
        "Server: 000.000.000.000\r\n"
        "From: QOR0.0.0.0@example.com\r\n"
        "Username: \r\n"
        "Password: \r\n"
        "SMTP Authentication: NO\r\n";
    for (int d = 50; d <= 99; ++d) email += "Address" + Two(d) + ": \r\n";
    pieces.push_back({"E-mail page", email});
    // No module read: no hardware address, and an empty diagnostic text without a line end.
    pieces.push_back({"Reset page", "\r\n[Device]\r\nEthernetAddress: \r\n\r\n[Diagnostics]\r\n"});
    pieces.push_back(
        {"Utility settings page", "\r\n[UtilitySettings]\r\nCfgSecMask: 000.000.000.000\r\n"});
    pieces.push_back({"Web configuration page",
                      "\r\n[WebConfig]\r\n"
                      "WebConfig01: QORW Home Page\r\n"
                      "WebConfig02: User Defined URL 1\r\n"
                      "WebConfig03: \r\n"
                      "WebConfig04: User Defined URL 2\r\n"
                      "WebConfig05: \r\n"
                      "WebConfig06: User Defined URL 3\r\n"
                      "WebConfig07: \r\n"
                      "WebConfig08: User Defined URL 4\r\n"
                      "WebConfig09: \r\n"
                      "WebConfig10: User Defined URL 5\r\n"
                      "WebConfig11: \r\n"
                      "WebConfig12: User Defined URL 6\r\n"
                      "WebConfig13: \r\n"
                      "WebConfig14: User Defined URL 7\r\n"
                      "WebConfig15: \r\n"
                      "WebConfig16: User Defined URL 8\r\n"
                      "WebConfig17: \r\n"
                      "WebConfig18: User Defined URL 9\r\n"
                      "WebConfig19: \r\n"
                      "WebConfig20: User Defined URL 10\r\n"
                      "WebConfig21: \r\n"
                      "WebConfig22: QORW Page 1 of 4\r\n"
                      "WebConfig23: \r\n"
                      "WebConfig24: QORW Page 2 of 4\r\n"
                      "WebConfig25: \r\n"
                      "WebConfig26: QORW Page 3 of 4\r\n"
                      "WebConfig27: \r\n"
                      "WebConfig28: QORW Page 4 of 4\r\n"
                      "WebConfig29: \r\n"});
    std::string desc = "\r\n[WebDataDesc]\r\n";
    for (int r = 1; r <= 40; ++r) desc += "WebDataDesc" + Two(r) + ": \r\n";
    pieces.push_back({"Web data description page", desc});
    return pieces;
}

std::string Zeros(size_t n) { return std::string(n, '\0'); }
std::string Counted(const std::string& text) {
    return std::string(1, static_cast<char>(text.size())) + text;
}

// The default .dcf file, record by record in tab order.
std::vector<std::pair<std::string, std::string>> DefaultDcfPieces() {
    std::vector<std::pair<std::string, std::string>> pieces;
    pieces.push_back({"version", std::string("\x04\x00\x00\x00", 4)});
    // Six positions and flags of 0, then five addresses of four zero octets.
    pieces.push_back({"IP address page", Zeros(6 * 4) + Zeros(5 * 4)});
    std::string routing;
    for (int d = 0; d < 50; ++d) routing += Counted("000.000.000.000");
    pieces.push_back({"Message routing page", routing});
    // Server, authentication off, user name, password, sender, 50 empty destinations.
    pieces.push_back({"E-mail page", Zeros(4) + Zeros(4) + Zeros(1) + Zeros(1) +
                                         Counted("QOR0.0.0.0@example.com") + Zeros(50)});
    pieces.push_back({"Reset page", Zeros(1)});
    pieces.push_back({"Utility settings page", Zeros(4)});
    std::string web;
    const char* webDefaults[] = {"QORW Home Page",
                                 "User Defined URL 1", "", "User Defined URL 2", "",
                                 "User Defined URL 3", "", "User Defined URL 4", "",
                                 "User Defined URL 5", "", "User Defined URL 6", "",
                                 "User Defined URL 7", "", "User Defined URL 8", "",
                                 "User Defined URL 9", "", "User Defined URL 10", "",
                                 "QORW Page 1 of 4", "", "QORW Page 2 of 4", "",
                                 "QORW Page 3 of 4", "", "QORW Page 4 of 4", ""};
    for (const char* v : webDefaults) web += Counted(v);
    pieces.push_back({"Web configuration page", web});
    pieces.push_back({"Web data description page", Zeros(40)});
    return pieces;
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

// Walks the file piece by piece so that a difference names the page whose share it is in.
void ExpectPieces(const std::string& actual,
                  const std::vector<std::pair<std::string, std::string>>& pieces, bool binary) {
    size_t at = 0;
    for (const auto& [page, expected] : pieces) {
        std::string got = actual.substr(std::min(at, actual.size()), expected.size());
        if (binary) {
            EXPECT_EQ(Hex(got), Hex(expected)) << page << " at byte " << at;
        } else {
            EXPECT_EQ(got, expected) << page << " at byte " << at;
        }
        if (got != expected) return;
        at += expected.size();
    }
    EXPECT_EQ(at, actual.size()) << "bytes after the last page: " << actual.substr(at);
}

class DefaultFilesTest : public ::testing::Test, public StartedWindow {};

// A configuration with every value the pages hold changed from its default, as a module of
// series "D" with web pages would report it.
std::map<int, std::string> ChangedConfiguration() {
    std::map<int, std::string> v;
    char b[32];
    for (int d = 0; d <= 49; ++d) {
        std::snprintf(b, sizeof b, "172.016.%03d.%03d", d, d + 1);
        v[d] = b;
    }
    for (int d = 50; d <= 99; ++d) v[d] = "dest" + std::to_string(d) + "@plant.example";
    v[100] = "Plant Home";
    for (int id = 102; id <= 129; ++id) {
        int row = id - 100;
        bool odd = row % 2 == 1;
        if (row <= 21) {
            v[id] = odd ? "www.qor" + std::to_string(row) + ".example" : "Link row " + std::to_string(row);
        } else {
            v[id] = odd ? "pw" + std::to_string(row) : "Data page row " + std::to_string(row);
        }
    }
    for (int id = 130; id <= 169; ++id) v[id] = "Tank " + std::to_string(id) + " level";
    v[170] = "QORW FW=3.13 diagnostics";
    v[171] = "192.168.001.010";
    v[172] = "255.255.255.000";
    v[173] = "192.168.001.001";
    v[174] = "010.020.030.040";
    v[175] = "050.060.070.080";
    v[176] = "qor@plant.example";
    v[177] = "smtpuser";
    v[178] = "secret";
    v[179] = "1";
    v[180] = "010.000.000.025";
    v[181] = "255.255.000.000";
    v[182] = "DHCP";
    v[183] = "19200";
    v[184] = "100 Mbps full-duplex";
    v[185] = "00:20:4A:12:34:56";
    v[186] = "YES";
    return v;
}

// What a text or .dcf load must bring back into the document: everything but what only a
// module can tell.
void ExpectDocumentHolds(QorDoc& doc, const std::map<int, std::string>& values,
                         std::initializer_list<int> skip) {
    for (const auto& [id, value] : values) {
        if (std::find(skip.begin(), skip.end(), id) != skip.end()) continue;
        EXPECT_EQ(doc.GET(id), value) << "identifier " << id;
    }
}

}  // namespace

TEST_F(DefaultFilesTest, TheDefaultTextFileIsWhatEveryPageWrites) {
    ExpectPieces(SaveText(), DefaultTextPieces(), false);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DefaultFilesTest, TheDefaultDcfFileIsWhatEveryPageStores) {
    ExpectPieces(SaveDcf(), DefaultDcfPieces(), true);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
}

TEST_F(DefaultFilesTest, TheDefaultFilesLoadBackToTheDefaults) {
    std::string text;
    for (const auto& piece : DefaultTextPieces()) text += piece.second;
    LoadText(dir.Write("defaults.txt", text));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    ExpectPieces(SaveText(), DefaultTextPieces(), false);

    std::string dcf;
    for (const auto& piece : DefaultDcfPieces()) dcf += piece.second;
    LoadDcf(dir.Write("defaults.dcf", dcf));
    EXPECT_TRUE(ui.Messages().empty());
    ExpectPieces(SaveDcf(), DefaultDcfPieces(), true);
}

class ChangedConfigurationTest : public DefaultFilesTest {
protected:
    std::map<int, std::string> values = ChangedConfiguration();

    // The pages show the configuration as after an upload from the module.
    void SetUp() override {
        QorDoc& doc = dlg.Doc();
        for (const auto& [id, value] : values) doc.SET(id, value);
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i) dlg.Page(i).LoadFromDocument(doc);
        dlg.RefreshStatus();
        EXPECT_EQ(dlg.StatusField().Text(), "Default Values") << "the pages show the document";
        ASSERT_TRUE(ui.Messages().empty());
    }
};

TEST_F(ChangedConfigurationTest, TextRoundTripBringsEveryValueBack) {
    std::string text = SaveText();
    dlg.OnDefaults();
    ASSERT_EQ(dlg.Doc().GET(183), "Auto");
    LoadText(dir.Write("changed.txt", text));
    EXPECT_TRUE(ui.Messages().empty()) << ui.LastMessage();
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    // The module's identification and hardware address are written but never read back, and
    // the text file has no line for the Series B options (a series "D" file leaves them off).
    ExpectDocumentHolds(dlg.Doc(), values, {170, 185});
    EXPECT_EQ(dlg.Doc().GET(187), "NO");

    // Saved again, only the module's own values are gone.
    std::string again = SaveText();
    std::string expected = text;
    size_t device = expected.find("\r\n[Device]\r\n");
    size_t settings = expected.find("\r\n[UtilitySettings]\r\n");
    ASSERT_NE(device, std::string::npos);
    ASSERT_NE(settings, std::string::npos);
    expected.replace(device, settings - device,
                     "\r\n[Device]\r\nEthernetAddress: \r\n\r\n[Diagnostics]\r\n");
    EXPECT_EQ(again, expected);
}

TEST_F(ChangedConfigurationTest, DcfRoundTripBringsEveryValueBack) {
    std::string bytes = SaveDcf();
    ASSERT_EQ(dlg.StatusField().Text(), "File Values");
    dlg.OnDefaults();
    ASSERT_EQ(dlg.Doc().GET(183), "Auto");
    LoadDcf(dir.Write("changed.dcf", bytes));
    EXPECT_TRUE(ui.Messages().empty()) << ui.LastMessage();
    EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    ExpectDocumentHolds(dlg.Doc(), values, {170, 185});
    EXPECT_EQ(dlg.Doc().GET(187), "YES");
    EXPECT_EQ(Hex(SaveDcf()), Hex(bytes));
}

TEST_F(ChangedConfigurationTest, TheTextFileHoldsTheChangedValuesInEverySection) {
    std::string text = SaveText();
    const char* lines[] = {"\r\nBaud: 19200\r\n",
                           "\r\nEthernet Speed/Duplex: 100 Mbps full-duplex\r\n",
                           "\r\nEnableRouting: YES\r\n",
                           "\r\nSeries: D\r\n",
                           "\r\nIpConfig: DHCP\r\n",
                           "\r\nIPAddress: 192.168.001.010\r\n",
                           "\r\nSecurityMask2: 050.060.070.080\r\n",
                           "\r\nRoute49: 172.016.049.050\r\n",
                           "\r\nServer: 010.000.000.025\r\n",
                           "\r\nFrom: qor@plant.example\r\n",
                           "\r\nUsername: smtpuser\r\n",
                           "\r\nPassword: secret\r\n",
                           "\r\nSMTP Authentication: YES\r\n",
                           "\r\nAddress99: dest99@plant.example\r\n",
                           "\r\nEthernetAddress: 00:20:4A:12:34:56\r\n",
                           "\r\n[Diagnostics]\r\nQORW FW=3.13 diagnostics\r\n[UtilitySettings]",
                           "\r\nCfgSecMask: 255.255.000.000\r\n",
                           "\r\nWebConfig01: Plant Home\r\n",
                           "\r\nWebConfig29: pw29\r\n",
                           "\r\nWebDataDesc40: Tank 169 level\r\n"};
    for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line;
}

namespace {

// Files of the older versions, written as those releases wrote them.
std::string OldText(int version, const std::string& webConfig, const std::string& webDataDesc) {
    std::string t = "[QorConfiguration]\r\nVersion: " + std::to_string(version) + "\r\n";
    if (version == 1) {
        t += "\r\n[COMMS]\r\nBaud: 9600\r\n\r\n[TCPIP]\r\nBootP: Soft\r\n";
    } else {
        t += "\r\n[COMMS]\r\nBaud: 9600\r\nEnableRouting: NO\r\n";
        t += "\r\n[TCPIP]\r\nSeriesB: NO\r\nIpConfig: Soft\r\n";
    }
    for (const char* key : {"IPAddress", "SubnetMask", "Gateway", "SecurityMask1", "SecurityMask2"})
        t += std::string(key) + ": 000.000.000.000\r\n";
    t += "\r\n[Routing]\r\n";
    for (int d = 0; d <= 49; ++d) t += "Route" + Two(d) + ": 10.0.0." + std::to_string(d + 1) + "\r\n";
    t += "\r\n[EMail]\r\nServer: 000.000.000.000\r\nFrom: old@plant.example\r\n";
    for (int d = 50; d <= 99; ++d) t += "Address" + Two(d) + ": \r\n";
    return t + webConfig + webDataDesc;
}

std::string OldDcf(int version, const std::vector<std::string>& web,
                   const std::vector<std::string>& names) {
    CDcfArchive ar = CDcfArchive::ForStoring();
    ar.WriteInt32(version);
    ar.WriteInt32(4);  // "9600"
    if (version == 1) {
        ar.WriteInt32(0);  // BootP off: Soft
    } else {
        ar.WriteInt32(0);  // routing
        ar.WriteInt32(0);  // Series B
        ar.WriteInt32(1);  // Soft
    }
    for (int i = 0; i < 5; ++i) ar.WriteAddress({0, 0, 0, 0});
    for (int d = 0; d < 50; ++d) ar.WriteText("10.0.0." + std::to_string(d + 1));
    ar.WriteAddress({0, 0, 0, 0});
    ar.WriteText("old@plant.example");
    for (int d = 0; d < 50; ++d) ar.WriteText("");
    ar.WriteText("");  // hardware address
    if (version == 3) {
        for (const std::string& v : web) ar.WriteText(v);
        for (const std::string& v : names) ar.WriteText(v);
    }
    return ar.Bytes();
}

}  // namespace

TEST_F(ChangedConfigurationTest, OlderFilesLoadTheWebPagesOnlyFromVersionThree) {
    std::vector<std::string> web, names;
    std::string webConfig = "\r\n[WebConfig]\r\n", webDataDesc = "\r\n[WebDataDesc]\r\n";
    for (int row = 1; row <= 29; ++row) {
        web.push_back("old" + std::to_string(row));
        webConfig += "WebConfig" + Two(row) + ": " + web.back() + "\r\n";
    }
    for (int row = 1; row <= 40; ++row) {
        names.push_back("Old name " + std::to_string(row));
        webDataDesc += "WebDataDesc" + Two(row) + ": " + names.back() + "\r\n";
    }
    auto expectWeb = [&](bool fromFile) {
        QorDoc& doc = dlg.Doc();
        for (int row = 1; row <= 29; ++row) {
            int id = row == 1 ? 100 : row + 100;
            EXPECT_EQ(doc.GET(id), fromFile ? web[row - 1] : values[id]) << id;
        }
        for (int row = 1; row <= 40; ++row)
            EXPECT_EQ(doc.GET(row + 129), fromFile ? names[row - 1] : values[row + 129]);
        // The rest of the file did load.
        EXPECT_EQ(doc.GET(183), "9600");
        EXPECT_EQ(doc.GET(182), "Soft");
        EXPECT_EQ(doc.GET(7), "010.000.000.008");
        EXPECT_EQ(doc.GET(176), "old@plant.example");
        EXPECT_EQ(dlg.StatusField().Text(), "File Values");
    };
    for (int version : {1, 2, 3}) {
        SCOPED_TRACE(version);
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i) dlg.Page(i).LoadFromDocument(dlg.Doc());
        // Text files of versions 1 and 2 have no web sections; one of version 3 must have both.
        LoadText(dir.Write("old.txt", version < 3 ? OldText(version, "", "")
                                                  : OldText(3, webConfig, webDataDesc)));
        EXPECT_TRUE(ui.Messages().empty()) << ui.LastMessage();
        expectWeb(version == 3);
        // Put the changed web values back for the .dcf of the same version.
        QorDoc& doc = dlg.Doc();
        for (const auto& [id, value] : values) doc.SET(id, value);
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i) dlg.Page(i).LoadFromDocument(doc);
        LoadDcf(dir.Write("old.dcf", OldDcf(version, web, names)));
        EXPECT_TRUE(ui.Messages().empty()) << ui.LastMessage();
        expectWeb(version == 3);
        for (const auto& [id, value] : values) doc.SET(id, value);
    }
}
