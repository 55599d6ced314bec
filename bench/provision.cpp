// Provisioning: eight simulated modules on eight pseudo-terminals, each held to 57600 baud,
// provisioned at once, against one module alone (the reset pauses left out, the modules'
// restart short). The batch should take hardly longer than one module: the link is the limit
// and the ports must not wait for each other. Then the ledger's cost per unit (assignment and
// outcome with the attempt's link trace, two transactions on a file) over many units. First, the
// check of a large units table (every row loaded and checked by the pages, no port touched).
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "fleet/ledger.h"
#include "fleet/provisioner.h"
#include "fleet/unit_plan.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A paced module with a hardware address of its own.
std::unique_ptr<SimModule> StartModule(int n, uint32_t pace) {
    SimOptions o;
    o.pace = pace;
    o.restartSilenceMs = 20;
    o.announceIntervalMs = 20;
    o.hardwareAddress[4] = 0x2C;
    o.hardwareAddress[5] = static_cast<uint8_t>(n);
    auto sim = std::make_unique<SimModule>(o);
    if (!sim->Start()) return nullptr;
    return sim;
}

struct Quiet : FleetObserver {
    void OnEvent(const FleetEvent& e) override {
        if (e.phase == UnitPhase::Failed)
            std::fprintf(stderr, "%s failed: %s\n", e.port.c_str(), e.text.c_str());
    }
};

// Provisions n modules at once from scratch; the seconds it took, negative when a unit failed.
double Batch(const std::string& dir, int n, uint32_t pace) {
    std::vector<std::unique_ptr<SimModule>> sims;
    ProvisionOptions o;
    o.baudIndex = 0;
    o.pauseScale = 0;
    for (int i = 0; i < n; ++i) {
        sims.push_back(StartModule(i + 1, pace));
        if (!sims.back()) return -1;
        o.ports.push_back(sims.back()->SlavePath());
    }
    std::string csv = "IPAddress,Gateway\n";
    for (int i = 1; i <= n; ++i)
        csv += "10.20.0." + std::to_string(i) + ",10.20.0.254\n";
    std::ofstream(dir + "/units.csv") << csv;
    std::filesystem::remove(dir + "/provision.db");
    UnitPlan plan;
    std::string error;
    if (BuildUnitPlan(dir + "/site.txt", dir + "/units.csv", plan, error) != PlanResult::Ok) {
        std::fprintf(stderr, "provision: %s\n", error.c_str());
        return -1;
    }
    auto ledger = Ledger::Open(dir + "/provision.db", false, error);
    if (!ledger) return -1;
    Quiet quiet;
    Provisioner p(plan, *ledger, o, quiet);
    std::atomic<bool> stop{false};
    auto start = Clock::now();
    ProvisionSummary s = p.Run(stop);
    double seconds = Since(start);
    return s.done == n ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int modules = argc > 1 ? std::atoi(argv[1]) : 8;
    int ledgerUnits = argc > 2 ? std::atoi(argv[2]) : 200;
    int tableRows = argc > 3 ? std::atoi(argv[3]) : 10000;
    constexpr uint32_t kPace = 57600;
    std::string dir = std::filesystem::temp_directory_path() /
                      ("qorprovision-bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);

    {
        // The template: what a module holds, read back.
        auto sim = StartModule(0, 0);
        FleetUiHost ui;
        SerialChannel channel;
        channel.SetDevice(sim->SlavePath());
        CUtilityDlg dlg(ui);
        dlg.Doc().AttachChannel(channel);
        dlg.Start();
        dlg.OnQor();
        if (!ui.Messages().empty() || !dlg.SaveTextFile(dir + "/site.txt")) {
            std::fprintf(stderr, "provision: no template: %s\n", ui.LastMessage().c_str());
            return 1;
        }
        channel.Close();
    }

    {
        // The table check alone: distinct addresses, a web text and a sender on every row.
        std::string csv = "IPAddress,From,WebConfig01\n";
        for (int i = 0; i < tableRows; ++i) {
            std::string n = std::to_string(i);
            csv += "10." + std::to_string(1 + i / 62500) + "." + std::to_string(i / 250 % 250) +
                   "." + std::to_string(1 + i % 250) + ",unit" + n + "@plant.example,Caf\xC3\xA9 " +
                   n + "\n";
        }
        std::ofstream(dir + "/big.csv") << csv;
        UnitPlan plan;
        std::string error;
        auto start = Clock::now();
        PlanResult r = BuildUnitPlan(dir + "/site.txt", dir + "/big.csv", plan, error);
        double seconds = Since(start);
        if (r != PlanResult::Ok || static_cast<int>(plan.units.size()) != tableRows) {
            std::fprintf(stderr, "provision: table check failed: %s\n", error.c_str());
            return 1;
        }
        const double target = 2.0 * tableRows / 10000;  // 2 s for 10,000 rows
        std::printf("table check, %d rows:    %7.2f s; ratio to the target of %.2f s: %.3f\n",
                    tableRows, seconds, target, seconds / target);
    }

    double one = Batch(dir, 1, kPace);
    double all = Batch(dir, modules, kPace);
    std::printf(
        "one module at %u baud:   %7.2f s (identify, download, store and reset, read back)\n",
        kPace, one);
    std::printf(
        "%d modules at once:        %7.2f s; ratio to one module %.3f (target at most 1.25)\n",
        modules, all, all / one);

    // The ledger alone: assignment and outcome of many units on one file.
    std::string error;
    std::filesystem::remove(dir + "/ledger.db");
    auto ledger = Ledger::Open(dir + "/ledger.db", false, error);
    UnitPlan plan;
    for (int i = 1; i <= ledgerUnits; ++i) {
        UnitConfig u;
        u.row = i;
        u.ip = "10.30." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        u.fingerprint = "f";
        plan.units.push_back(u);
    }
    // What an attempt's link trace is like: one full provisioning is about 86 KB of lines.
    std::string trace;
    for (int i = 0; trace.size() < 86 * 1024; ++i)
        trace += "12:00:00.000 > 1002FE0008" + std::to_string(100000 + i) + "1003D359\n";
    std::vector<double> costs;
    for (int i = 0; i < ledgerUnits && ledger; ++i) {
        char hw[24];
        std::snprintf(hw, sizeof hw, "0000BC2D%04X", i & 0xFFFF);
        auto start = Clock::now();
        Ledger::Claim c = ledger->ClaimRow(plan, {hw, "/dev/pts/0", "03.12", "B/C"}, {});
        bool ok = c.kind == Ledger::Claim::Assigned &&
                  ledger->Finish(c, Ledger::kDone, Ledger::kDone, trace);
        costs.push_back(Since(start) * 1000);
        if (!ok) {
            std::fprintf(stderr, "provision: ledger failed: %s\n", ledger->LastError().c_str());
            return 1;
        }
    }
    std::sort(costs.begin(), costs.end());
    double sum = 0;
    for (double c : costs)
        sum += c;
    std::printf(
        "ledger, %d units, %zu KB trace each: median %.2f ms, mean %.2f ms, 95th percentile "
        "%.2f ms per unit (target under 5 ms)\n",
        ledgerUnits, trace.size() / 1024, costs[costs.size() / 2], sum / costs.size(),
        costs[costs.size() * 95 / 100]);
    std::filesystem::remove_all(dir);
    return one > 0 && all > 0 ? 0 : 1;
}
