// The scan against simulated modules fixed at different rates, each on a pseudo-terminal of its
// own, side by side.
#include "app/module_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/utility_dlg.h"
#include "files/temp_dir.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"
#include "support/scripted_ui_host.h"

namespace {

constexpr int kBaud38400 = 1;

// How many descriptors of this process have the device open.
int OpenCount(const std::string& device) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec) == device) ++n;
    }
    return n;
}

std::unique_ptr<SimModule> StartSim(SimOptions options) {
    auto sim = std::make_unique<SimModule>(options);
    std::string error;
    EXPECT_TRUE(sim->Start(&error)) << error;
    return sim;
}

bool OnlyRead(const SimModule& sim) {
    for (const SimRequest& r : sim.Requests()) {
        if (r.command == 0x08) return false;
    }
    return sim.Stats().resets == 0;
}

TEST(ModuleScan, FindsEachModuleAtItsRateAndReportsTheOtherPorts) {
    SimOptions bc;  // 3.12 with web pages: series B/C
    bc.rate = 9600;
    SimOptions d;
    d.rate = 57600;
    d.firmware = "4.01";
    SimOptions a;  // an old module without web pages, just restarted and announcing itself
    a.rate = 19200;
    a.firmware = "1.05";
    a.web = false;
    a.restartSilenceMs = 0;
    a.announceIntervalMs = 20;
    SimOptions empty;
    empty.silent = true;
    auto simBC = StartSim(bc), simD = StartSim(d), simA = StartSim(a), simEmpty = StartSim(empty);
    simA->Restart();
    // A module of any rate that refuses the identity block.
    auto simRefusing = StartSim({});
    simRefusing->SetResponder([](const SimRequest& q) -> std::optional<std::vector<uint8_t>> {
        if (q.key != 0xF8) return std::nullopt;
        return std::vector<uint8_t>{
            0x00, 0xF8, 0x41, 0x02, uint8_t(q.transaction), uint8_t(q.transaction >> 8)};
    });

    std::vector<ScanResult> r = ScanModules({{simBC->SlavePath(), "one"},
                                             {simD->SlavePath(), "two"},
                                             {simA->SlavePath(), "three"},
                                             {simEmpty->SlavePath(), "four"},
                                             {"/nonexistent/qorw-tty", "five"},
                                             {simRefusing->SlavePath(), "six"}},
                                            kBaud38400);
    ASSERT_EQ(r.size(), 6u);

    struct Expected {
        uint32_t rate;
        int baudIndex;
        const char* firmware;
        const char* series;
        bool web;
        std::vector<uint32_t> tried;
    };
    const Expected expected[3] = {
        {9600, 3, "03.12", "B/C", true, {38400, 57600, 19200, 9600}},
        {57600, 0, "04.01", "D", true, {38400, 57600}},
        {19200, 2, "01.05", "A", false, {38400, 57600, 19200}},
    };
    SimModule* sims[3] = {simBC.get(), simD.get(), simA.get()};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Expected& e = expected[i];
        EXPECT_EQ(r[i].outcome, ScanResult::Outcome::Module) << r[i].error;
        EXPECT_EQ(r[i].device, sims[i]->SlavePath());
        EXPECT_EQ(r[i].rate, e.rate);
        EXPECT_EQ(r[i].baudIndex, e.baudIndex);
        EXPECT_EQ(r[i].firmware, e.firmware);
        EXPECT_EQ(r[i].series, e.series);
        EXPECT_EQ(r[i].web, e.web);
        EXPECT_EQ(r[i].ratesTried, e.tried);
        EXPECT_EQ(r[i].hardwareAddress, "00:00:BC:1A:2B:3C");
        EXPECT_EQ(r[i].identification.rfind(e.web ? "QORW RS-232" : "QOR RS-232", 0), 0u)
            << r[i].identification;
        EXPECT_NE(r[i].identification.find("FW=" + std::string(e.firmware) + " Diag OK"),
                  std::string::npos);
        EXPECT_TRUE(OnlyRead(*sims[i]));
    }
    // The wrong rates reached the modules as garbage, not as frames.
    EXPECT_GT(simBC->Stats().garbledIn, 0u);
    EXPECT_EQ(simBC->Stats().badIn, 0);

    EXPECT_EQ(r[3].outcome, ScanResult::Outcome::Nothing);
    EXPECT_EQ(r[3].ratesTried,
              (std::vector<uint32_t>{38400, 57600, 19200, 9600, 4800, 2400, 1200}));
    // Each rate's probe reached the empty port once: no repeat, no enquiry.
    EXPECT_EQ(simEmpty->Stats().framesIn, 7);
    EXPECT_EQ(simEmpty->Stats().repeatsIn + simEmpty->Stats().enqsIn, 0);
    EXPECT_EQ(r[4].outcome, ScanResult::Outcome::PortFailed);
    EXPECT_EQ(r[4].error.rfind("/nonexistent/qorw-tty: ", 0), 0u) << r[4].error;
    EXPECT_TRUE(r[4].ratesTried.empty());
    EXPECT_EQ(r[5].outcome, ScanResult::Outcome::Unidentified);
    EXPECT_EQ(r[5].rate, 38400u);
    EXPECT_EQ(r[5].error, "Communication Error");
    for (const ScanResult& each : r)
        EXPECT_EQ(OpenCount(each.device), each.outcome == ScanResult::Outcome::PortFailed ? 0 : 1);

    // The module scanned at wrong rates serves the window's upload at the rate found.
    InTempCwd cwd;
    ScriptedUiHost ui;
    CUtilityDlg dlg{ui};
    dlg.Start();
    setenv("QORW_COM5", simBC->SlavePath().c_str(), 1);
    int com = ComPortForDevice(r[0].device);
    ASSERT_GT(com, 0);
    dlg.UtilitySettingsPage().ComPortList().Select(com - 1);
    dlg.UtilitySettingsPage().BaudList().Select(r[0].baudIndex);
    dlg.OnQor();
    ProgramChannel().Close();
    unsetenv("QORW_COM5");
    EXPECT_TRUE(ui.Messages().empty()) << ui.LastMessage();
    EXPECT_EQ(dlg.StatusField().Text(), CUtilityDlg::kDeviceValues);
    EXPECT_EQ(dlg.Doc().GET(QorDoc::kIdHwAddress), r[0].hardwareAddress);
}

// Reports in the observer, and Cancel from another thread in the middle of the waits.
TEST(ModuleScan, CancelStopsEveryPortAtOnceAndClosesIt) {
    SimOptions empty;
    empty.silent = true;
    auto first = StartSim(empty), second = StartSim(empty);
    const std::string devices[2] = {first->SlavePath(), second->SlavePath()};

    struct Observer : ScanObserver {
        std::atomic<int> rates{0}, finished{0};
        void RateStarted(size_t, uint32_t) override { ++rates; }
        void PortFinished(size_t, const ScanResult&) override { ++finished; }
    } observer;
    ModuleScan scan({{devices[0], {}}, {devices[1], {}}}, 6, &observer);
    scan.Start();
    // Both ports open and waiting at 1200, the longest wait.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((OpenCount(devices[0]) < 2 || OpenCount(devices[1]) < 2) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(OpenCount(devices[0]), 2);
    scan.Cancel();
    scan.Wait();

    EXPECT_EQ(observer.finished, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(scan.Results()[i].outcome, ScanResult::Outcome::Stopped);
        EXPECT_EQ(scan.Results()[i].ratesTried, std::vector<uint32_t>{1200});
        EXPECT_EQ(OpenCount(devices[i]), 1);  // the simulator's own
    }
    EXPECT_EQ(observer.rates, 2);
}

// An adapter pulled out while its port waits for an answer ends that port's scan at once.
TEST(ModuleScan, APortUnpluggedDuringTheScanIsReportedGone) {
    SimOptions empty;
    empty.silent = true;
    auto sim = StartSim(empty);
    const std::string device = sim->SlavePath();
    ModuleScan scan({{device, {}}}, 6, nullptr);
    scan.Start();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (OpenCount(device) < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(OpenCount(device), 2);
    sim->Hangup();
    scan.Wait();
    const ScanResult& r = scan.Results()[0];
    EXPECT_EQ(r.outcome, ScanResult::Outcome::PortGone);
    EXPECT_STREQ(ScanResult::OutcomeName(r.outcome), "gone");
    EXPECT_EQ(r.error, "The serial device went away: " + device +
                           " was unplugged.\nPlug it back in, then try again.");
    EXPECT_EQ(r.ratesTried, std::vector<uint32_t>{1200});
}

}  // namespace
