#include "app/device_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "app/utility_dlg.h"
#include "link/port_map.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"
#include "support/port_test_tree.h"
#include "support/scripted_ui_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A page that queues and stores the identifiers a test gives it and logs what it is asked.
class OpPage : public CConfigPage {
public:
    OpPage(int index, CUtilityDlg& dlg, std::vector<std::string>& log)
        : index_(index), dlg_(dlg), log_(log) {}

    void QueueParameters(QorDoc& doc) override {
        Log("queue");
        for (int id : queueIds)
            doc.QUEUE(id);
    }
    void StoreToDocument(QorDoc& doc, bool force) override {
        for (const auto& [id, text] : stores)
            doc.UPDATE(id, text, force);
    }
    void LoadFromDocument(QorDoc&) override {
        Log("load");
        windowEnabledInLoad = dlg_.IsWindowEnabled();
        qorEnabledInLoad = dlg_.QorButton().IsEnabled();
        progressTitleInLoad = dlg_.Progress().Title();
    }
    void LinkDown() override { Log("down"); }
    void RestoreLinkBaud() override { Log("baud"); }
    bool TakeControlValues() override {
        Log("check");
        return true;
    }

    std::vector<int> queueIds;
    std::map<int, std::string> stores;
    bool windowEnabledInLoad = true;
    bool qorEnabledInLoad = true;
    std::string progressTitleInLoad;

private:
    void Log(const std::string& op) { log_.push_back(op + std::to_string(index_)); }

    int index_;
    CUtilityDlg& dlg_;
    std::vector<std::string>& log_;
};

constexpr int kPort = 13;

class DeviceOpsTest : public ::testing::Test {
protected:
    DeviceOpsTest() {
        for (int i = 0; i < CUtilityDlg::kPageCount; ++i) {
            pages.push_back(std::make_unique<OpPage>(i, dlg, log));
            dlg.Tabs().SetPage(i, *pages.back());
        }
        dlg.Doc().AttachChannel(channel);
        dlg.Start();
        dlg.Doc().ClearQueue();
        dlg.Link().comPort = kPort;
        dlg.Link().pcBaudIndex = 0;
        dlg.Progress().SetListener([this] {
            const std::string& t = dlg.Progress().Title();
            if (dlg.Progress().IsOpen() && !t.empty() && (titles.empty() || titles.back() != t))
                titles.push_back(t);
        });
        log.clear();
    }
    ~DeviceOpsTest() override {
        channel.Close();
        if (sim) sim->Stop();
    }

    void StartSim(SimOptions o = {}) {
        o.restartSilenceMs = 50;
        o.announceIntervalMs = 50;
        sim = std::make_unique<SimModule>(o);
        ASSERT_TRUE(sim->Start());
        setenv(("QORW_COM" + std::to_string(kPort)).c_str(), sim->SlavePath().c_str(), 1);
    }

    // The device keys the module was asked for, in order, as "r<key>" or "w<key>".
    std::vector<std::string> Asked() const {
        std::vector<std::string> out;
        for (const auto& r : sim->Requests()) {
            char s[16];
            std::snprintf(s, sizeof s, "%c%02X%s", r.command == 0x01 ? 'r' : 'w', r.key,
                          r.key == 0xF8 && r.command == 0x01 && r.data == Bytes{0xA8} ? "L" : "");
            out.push_back(s);
        }
        return out;
    }

    bool Logged(const std::string& entry) const {
        return std::find(log.begin(), log.end(), entry) != log.end();
    }

    OpPage& P(int i) { return *pages[i]; }

    std::unique_ptr<SimModule> sim;
    SerialChannel channel;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    std::vector<std::string> log;
    std::vector<std::unique_ptr<OpPage>> pages;
    std::vector<std::string> titles;
};

TEST_F(DeviceOpsTest, UploadOfAllPagesReadsWhatTheyQueueAndReloadsThem) {
    StartSim();
    P(0).queueIds = {QorDoc::kIdBaud, QorDoc::kIdIpAddress};
    P(3).queueIds = {QorDoc::kIdDiagnostics, QorDoc::kIdHwAddress};
    P(5).queueIds = {QorDoc::kIdFirstWebConfig};
    dlg.OnQor();
    EXPECT_EQ(Asked(),
              (std::vector<std::string>{"rFE", "rF8", "rF8L", "rFD", "rFA", "rF8", "rFE", "r01"}));
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(Logged("queue" + std::to_string(i))) << i;
        EXPECT_TRUE(Logged("load" + std::to_string(i))) << i;
        EXPECT_TRUE(Logged("check" + std::to_string(i))) << i;
    }
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), "00:00:BC:1A:2B:3C");
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdBaud), "9600");
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    EXPECT_EQ(dlg.ValueSource(), "Device Values");
    EXPECT_TRUE(ui.Messages().empty());
    // While it ran: window and commands off, the progress window up; afterwards all back.
    EXPECT_FALSE(P(0).windowEnabledInLoad);
    EXPECT_FALSE(P(0).qorEnabledInLoad);
    EXPECT_EQ(P(0).progressTitleInLoad, "Uploading...");
    EXPECT_EQ(titles.front(), "Connecting...");
    EXPECT_GE(ui.processed, 5);
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_TRUE(dlg.QorButton().IsEnabled());
    EXPECT_FALSE(dlg.Progress().IsOpen());
    EXPECT_TRUE(channel.IsOpen());  // the link stays up
}

TEST_F(DeviceOpsTest, ActiveTabUploadOfTheResetPageReadsIdentityTextAndHardwareAddress) {
    StartSim();
    P(0).queueIds = {QorDoc::kIdBaud};
    P(3).queueIds = {QorDoc::kIdDiagnostics, QorDoc::kIdHwAddress};
    dlg.Link().uploadActiveTab = 1;
    dlg.OnQor();  // no hardware address yet: everything
    ASSERT_NE(dlg.Doc().GET(QorDoc::kIdHwAddress), "");
    dlg.SelectPage(CUtilityDlg::kResetPage);
    sim->ClearRequests();
    log.clear();
    dlg.OnQor();
    EXPECT_EQ(Asked(), (std::vector<std::string>{"rFE", "rF8", "rF8L", "rF8", "rFE"}));
    EXPECT_TRUE(Logged("queue3"));
    EXPECT_FALSE(Logged("queue0"));
    EXPECT_TRUE(Logged("load3"));
    EXPECT_FALSE(Logged("load0"));
}

TEST_F(DeviceOpsTest, ModuleWithoutWebPagesIsNeverAskedForWebKeys) {
    SimOptions o;
    o.web = false;
    StartSim(o);
    P(0).queueIds = {QorDoc::kIdBaud};
    P(0).stores = {{QorDoc::kIdBaud, "19200"}};
    P(5).queueIds = {QorDoc::kIdFirstWebConfig, QorDoc::kIdFirstWebConfig + 29};
    P(5).stores = {{QorDoc::kIdFirstWebConfig, "index.htm"}};
    P(6).queueIds = {QorDoc::kIdFirstWebDataDesc + 39};
    P(6).stores = {{QorDoc::kIdFirstWebDataDesc, "Temp"}};
    dlg.OnQor();
    dlg.OnRam();
    auto log = sim->Requests();
    for (const auto& r : log)
        EXPECT_FALSE(r.key >= 1 && r.key <= 70) << r.Line();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const SimRequest& r) {
        return r.command == 0x08 && r.key == 0xFD;
    }));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(dlg.Doc().IsQueueEmpty());
}

TEST_F(DeviceOpsTest, FailuresOfKeysF1ToF5AreForgivenOthersStopTheUpload) {
    StartSim();
    sim->SetResponder([](const SimRequest& r) -> std::optional<Bytes> {
        if (r.key != 0xF3 && r.key != 0xFA) return std::nullopt;
        return Bytes{0x00, r.node, 0x41, 0x02, uint8_t(r.transaction), uint8_t(r.transaction >> 8)};
    });
    P(2).queueIds = {QorDoc::kIdUsername, QorDoc::kIdPassword, QorDoc::kIdSmtpAuth};
    dlg.OnQor();
    EXPECT_EQ(Asked(), (std::vector<std::string>{"rFE", "rF8", "rF8L", "rF2", "rF3", "rF4"}));
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");

    P(2).queueIds = {};
    P(0).queueIds = {QorDoc::kIdIpAddress, QorDoc::kIdBaud};
    sim->ClearRequests();
    ui.ExpectMessage();
    dlg.OnQor();
    EXPECT_EQ(Asked(), (std::vector<std::string>{"rFE", "rF8", "rF8L", "rFA"}));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text, "Communication Error");
    EXPECT_EQ(ui.Messages()[0].icon, UiHost::Icon::Exclamation);
    EXPECT_TRUE(dlg.Doc().IsQueueEmpty());
}

TEST_F(DeviceOpsTest, AfterALinkErrorTheNextUploadReadsAllPages) {
    StartSim();
    dlg.Link().uploadActiveTab = 1;
    P(0).queueIds = {QorDoc::kIdBaud};
    P(3).queueIds = {QorDoc::kIdHwAddress};
    dlg.OnQor();
    ASSERT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), "00:00:BC:1A:2B:3C");
    // With a hardware address and Active Tab only the visible page takes part.
    log.clear();
    dlg.OnQor();
    EXPECT_TRUE(Logged("queue0"));
    EXPECT_FALSE(Logged("queue1"));

    sim->SetResponder([](const SimRequest& r) -> std::optional<Bytes> {
        if (r.key == 0xFD) return Bytes{};
        return std::nullopt;
    });
    log.clear();
    ui.ExpectMessage();
    dlg.OnQor();
    EXPECT_EQ(ui.LastMessage(), "No Response from QOR");
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), "");
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(Logged("down3"));
    EXPECT_TRUE(Logged("down4"));
    EXPECT_TRUE(Logged("baud4"));
    EXPECT_FALSE(Logged("load0"));  // the pages are not reloaded after a failure

    sim->SetResponder(nullptr);
    log.clear();
    dlg.OnQor();
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(Logged("queue" + std::to_string(i))) << i;
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
}

TEST_F(DeviceOpsTest, EmptyDownloadOpensNoPortButRomStillStoresAndResets) {
    StartSim();
    dlg.OnRam();
    EXPECT_TRUE(sim->Requests().empty());
    EXPECT_TRUE(titles.empty());
    EXPECT_FALSE(channel.IsOpen());

    dlg.OnRom();
    auto asked = Asked();
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[0], "rFE");
    EXPECT_EQ(asked[1], "wF8");
    EXPECT_EQ(sim->Stats().lastResetKind, 0);
    EXPECT_EQ(titles.front(), "Execute Store/Reset ...");
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(DeviceOpsTest, RomWritesTheQueueThenStoresResetsWaitsAndReadsAgain) {
    StartSim();
    P(0).queueIds = {QorDoc::kIdBaud};
    P(0).stores = {{QorDoc::kIdEnableRouting, "YES"}, {QorDoc::kIdBaud, "38400"}};
    dlg.Link().downloadAll = 1;
    dlg.OnRom();
    auto asked = Asked();
    ASSERT_GE(asked.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(asked.begin(), asked.begin() + 6),
              (std::vector<std::string>{"rFE", "rF8", "rF8L", "wFD", "rFE", "wF8"}));
    EXPECT_EQ(sim->Rom(0xFD), (Bytes{106, 0}));
    // After the restart: the module is waited for, reconnected and read whole.
    EXPECT_EQ(ui.pauses, 10);
    EXPECT_EQ(ui.pausedMs, 20000);
    EXPECT_EQ(asked.back(), "rFD");
    EXPECT_EQ(dlg.Link().pcBaudIndex, 1);  // the module now runs at 38400
    EXPECT_EQ(channel.BaudRate(), 38400u);
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    EXPECT_TRUE(std::find(titles.begin(), titles.end(),
                          "Wait 60 second max. for QOR to come back online...") != titles.end());
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_TRUE(dlg.QorButton().IsEnabled());
}

TEST_F(DeviceOpsTest, PcBaudIndexAfterResets) {
    struct {
        int kind, before;
        const char* docBaud;
        int after;
    } cases[] = {{2, 0, "", 1}, {2, 3, "", 3}, {3, 0, "", 1}, {1, 0, "", 0}, {0, 0, "4800", 4}};
    for (auto c : cases) {
        StartSim();
        dlg.Link().pcBaudIndex = static_cast<uint16_t>(c.before);
        dlg.Doc().SET(QorDoc::kIdBaud, c.docBaud);
        dlg.RequestReset(c.kind);
        EXPECT_EQ(sim->Stats().lastResetKind, c.kind);
        EXPECT_EQ(dlg.Link().pcBaudIndex, c.after) << c.kind << " " << c.before;
        EXPECT_EQ(channel.BaudRate(), LinkProfileFor(c.after).baud) << c.kind;
        EXPECT_EQ(dlg.StatusField().Text(), "Device Values") << c.kind;
        EXPECT_TRUE(ui.Messages().empty()) << c.kind;
        channel.Close();
        sim->Stop();
    }
}

TEST_F(DeviceOpsTest, BaudIndexAfterResetRules) {
    struct {
        int before;
        const char* rate;
        int after;
    } cases[] = {{0, "Auto", 1}, {1, "Auto", 1}, {3, "Auto", 3}, {0, "57600", 0}, {0, "4800", 4},
                 {2, "1200", 6}, {2, "", 2},     {5, "auto", 5}, {4, "115200", 4}};
    for (auto c : cases) {
        EXPECT_EQ(device_ops::BaudIndexAfterReset(c.before, c.rate), c.after) << c.rate;
    }
}

TEST_F(DeviceOpsTest, MissingDeviceNamesItInTheMessage) {
    setenv(("QORW_COM" + std::to_string(kPort)).c_str(), "/nonexistent/ttyQ13", 1);
    ui.ExpectMessage();
    dlg.OnQor();
    EXPECT_EQ(ui.LastMessage(),
              "Invalid Comm Port Selected\n/nonexistent/ttyQ13: No such file or directory; the "
              "device is not there: plug it in, or choose another port");
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
    EXPECT_TRUE(Logged("check0"));  // the pages still check what they show

    // A reset that cannot start leaves the window usable.
    ui.ExpectMessage();
    dlg.RequestReset(1);
    EXPECT_EQ(ui.Messages().size(), 2u);
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_TRUE(dlg.QorButton().IsEnabled());
    EXPECT_FALSE(dlg.Progress().IsOpen());
}

TEST_F(DeviceOpsTest, APortThatIsNotThereSaysWhatToPlugIn) {
    SerialDevice adapter = UsbPort("/dev/ttyUSB0", "usb-FTDI_A1-if00-port0", "FT232R USB UART", "A1");
    ResetTestPorts({adapter});
    PortMap& map = ProgramPortMap();
    map.Refresh();
    // COM1 pinned to the adapter, then the adapter unplugged.
    ASSERT_TRUE(map.Pin(1));
    SetTestPorts({});
    struct {
        int port;
        std::string explanation;
    } cases[] = {
        {1, "COM1 is pinned to FT232R USB UART (A1), which is not plugged in: plug it in, or "
            "choose another COM port"},
        {kPort, "Nothing is plugged in as COM13 (/dev/ttyS12: "},
    };
    for (const auto& c : cases) {
        dlg.Link().comPort = static_cast<uint16_t>(c.port);
        ui.ExpectMessage();
        dlg.OnQor();
        EXPECT_EQ(ui.LastMessage().rfind("Invalid Comm Port Selected\n" + c.explanation, 0), 0u)
            << ui.LastMessage();
    }
    ResetTestPorts();
}

TEST_F(DeviceOpsTest, ModuleThatNeverAnswersCannotBeConnected) {
    SimOptions o;
    o.silent = true;
    StartSim(o);
    ui.ExpectMessage();
    dlg.OnQor();
    EXPECT_EQ(ui.LastMessage(), "Unable to Connect to QOR\nPlease check cable / Port Settings");
    EXPECT_EQ(dlg.StatusField().Text(), "Offline");
    EXPECT_FALSE(channel.IsOpen());
}

}  // namespace

namespace {

// The window with its own pages against the simulated module.
TEST(DeviceOpsRealPages, FullUploadThenRomRoundTrip) {
    SimOptions o;
    o.restartSilenceMs = 50;
    SimModule sim(o);
    ASSERT_TRUE(sim.Start());
    setenv("QORW_COM14", sim.SlavePath().c_str(), 1);
    SerialChannel channel;
    ScriptedUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Doc().AttachChannel(channel);
    dlg.Start();
    dlg.Link().comPort = 14;
    dlg.Link().pcBaudIndex = 0;

    dlg.OnQor();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    std::set<int> read;
    for (const auto& r : sim.Requests()) {
        if (r.command == 0x01) read.insert(r.key);
    }
    std::set<int> expected = {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF8,
                              0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE};
    for (int k = 1; k <= 70; ++k)
        expected.insert(k);
    for (int k = 100; k <= 199; ++k)
        expected.insert(k);
    EXPECT_EQ(read, expected);
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), "00:00:BC:1A:2B:3C");

    sim.ClearRequests();
    dlg.OnRom();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    EXPECT_EQ(sim.Stats().lastResetKind, 0);
    EXPECT_EQ(dlg.StatusField().Text(), "Device Values");
    channel.Close();
    sim.Stop();
}

}  // namespace
