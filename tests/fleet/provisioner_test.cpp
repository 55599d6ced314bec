#include "fleet/provisioner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "files/temp_dir.h"
#include "fleet/fleet_sims.h"
#include "fleet/param_compare.h"

namespace {

// Collects every event, as a front end would.
struct Recorder : FleetObserver {
    void OnEvent(const FleetEvent& e) override { events.push_back(e); }
    std::vector<FleetEvent> Final() const {
        std::vector<FleetEvent> out;
        for (const FleetEvent& e : events) {
            if (IsFinalPhase(e.phase)) out.push_back(e);
        }
        return out;
    }
    std::vector<FleetEvent> events;
};

class ProvisionerTest : public ::testing::Test {
protected:
    // The template is what a module holds out of the box, read as "&QOR" reads it.
    void SetUp() override {
        templatePath = dir.File("site.txt");
        ASSERT_TRUE(SaveOutOfBoxTemplate(
            templatePath, [&](CUtilityDlg& read) { templateValues = ConfigurationOf(read); }));
    }

    void Plan(const std::string& csv) {
        std::string error;
        ASSERT_EQ(BuildUnitPlan(templatePath, dir.Write("units.csv", csv), plan, error),
                  PlanResult::Ok)
            << error;
        ledger = Ledger::Open(dir.File("provision.db"), false, error);
        ASSERT_TRUE(ledger) << error;
    }

    // A station (watch, RAM only) or a run over the modules' ports.
    static ProvisionOptions Options(const std::vector<FleetSim*>& sims, bool station = false) {
        ProvisionOptions o;
        for (FleetSim* s : sims)
            o.ports.push_back(s->Path());
        o.baudIndex = 0;
        o.pauseScale = 0;
        o.probeIntervalMs = 20;
        o.watch = o.ram = station;
        return o;
    }

    ProvisionSummary Run(const std::vector<FleetSim*>& sims, bool station = false,
                         FleetObserver* observer = nullptr) {
        Provisioner p(plan, *ledger, Options(sims, station), observer ? *observer : recorder);
        std::atomic<bool> stop{false};
        return p.Run(stop);
    }

    // What a module holds that the template does not, read back on a window of its own.
    std::map<std::string, std::string> ChangesIn(FleetSim& s) {
        DeviceWindow w(s.Path());
        EXPECT_TRUE(w.Upload()) << s.Hw();
        w.dlg.StoreAllPages();
        std::map<std::string, std::string> changes;
        for (const ParamDifference& d :
             CompareConfigurations(templateValues, ConfigurationOf(w.dlg)))
            changes[d.key] = d.second;
        return changes;
    }

    TempDir dir;
    std::string templatePath;
    std::vector<ParamValue> templateValues;
    UnitPlan plan;
    std::unique_ptr<Ledger> ledger;
    Recorder recorder;
};

TEST_F(ProvisionerTest, FourModulesAtOnceEachGetTemplatePlusItsRowInRom) {
    // The third row names the second module: it gets that row whatever the order.
    Plan(
        "IPAddress,Gateway,EthernetAddress\r\n"
        "10.1.2.11,10.1.2.1,\r\n"
        "10.1.2.12,10.1.2.1,\r\n"
        "10.1.2.13,10.1.2.254,00-00-bc-1a-2b-02\r\n"
        "10.1.2.14,10.1.2.1,\r\n");
    FleetSim a(1), b(2), c(3), d(4);
    ProvisionSummary s = Run({&a, &b, &c, &d});
    EXPECT_EQ(s.done, 4);
    EXPECT_EQ(s.failed, 0);

    std::string error;
    std::vector<Ledger::Entry> report = ledger->Report(error);
    ASSERT_EQ(report.size(), 4u) << error;
    std::map<std::string, int> rowOf;
    for (const Ledger::Entry& e : report) {
        EXPECT_EQ(e.state, "done") << e.row;
        EXPECT_EQ(e.firmware, "03.12");
        EXPECT_EQ(e.series, "B/C");
        rowOf[e.hw] = e.row;
    }
    EXPECT_EQ(rowOf[b.Hw()], 3);
    const char* ips[] = {"010.001.002.011", "010.001.002.012", "010.001.002.013",
                         "010.001.002.014"};
    for (FleetSim* m : {&a, &b, &c, &d}) {
        int row = rowOf[m->Hw()];
        ASSERT_GE(row, 1) << m->Hw();
        std::map<std::string, std::string> want = {
            {"IPAddress", ips[row - 1]},
            {"Gateway", row == 3 ? "010.001.002.254" : "010.001.002.001"}};
        EXPECT_EQ(ChangesIn(*m), want) << m->Hw();
        // Stored: what a restart loads is what was written.
        EXPECT_EQ(m->sim->Rom(0xFA), m->sim->Ram(0xFA));
        EXPECT_EQ(m->sim->Stats().lastResetKind, 0);
    }
}

TEST_F(ProvisionerTest, AModuleUnpluggedInTheMiddleIsRecordedFailedAndARerunCompletesIt) {
    Plan("IPAddress\n10.1.2.11\n10.1.2.12\n");
    FleetSim a(1);
    auto b = std::make_unique<FleetSim>(2);
    std::thread unplug([&] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (b->writes < 20 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        b->sim->Hangup();
    });
    ProvisionSummary s = Run({&a, b.get()});
    unplug.join();
    EXPECT_EQ(s.done, 1);
    EXPECT_EQ(s.failed, 1);
    std::string error;
    std::vector<Ledger::Entry> report = ledger->Report(error);
    ASSERT_EQ(report.size(), 2u);
    const Ledger::Entry& failed = report[0].hw == b->Hw() ? report[0] : report[1];
    EXPECT_EQ(failed.state, "failed");
    EXPECT_EQ(failed.outcome.rfind("The serial device went away: ", 0), 0u) << failed.outcome;

    // Plugged in again, on another adapter, it gets the same row; the module done before is
    // left alone.
    b = std::make_unique<FleetSim>(2);
    s = Run({&a, b.get()});
    EXPECT_EQ(s.done, 1);
    EXPECT_EQ(s.alreadyDone, 1);
    std::vector<Ledger::Entry> again = ledger->Report(error);
    ASSERT_EQ(again.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(again[i].state, "done");
        EXPECT_EQ(again[i].hw, report[i].hw);
    }
    EXPECT_EQ(ChangesIn(*b).at("IPAddress"),
              failed.row == 1 ? "010.001.002.011" : "010.001.002.012");
}

TEST_F(ProvisionerTest, AStopRecordsTheUnitInFlightAsInterrupted) {
    Plan("IPAddress\n10.1.2.11\n");
    FleetSim a(1);
    std::atomic<bool> stop{false};
    // Stop once the download is under way.
    struct StopAtDownload : Recorder {
        std::atomic<bool>* stop;
        void OnEvent(const FleetEvent& e) override {
            Recorder::OnEvent(e);
            if (e.phase == UnitPhase::Downloading && e.percent >= 10) *stop = true;
        }
    } r;
    r.stop = &stop;
    Provisioner p(plan, *ledger, Options({&a}), r);
    ProvisionSummary s = p.Run(stop);
    EXPECT_EQ(s.interrupted, 1);
    std::string error;
    std::vector<Ledger::Entry> report = ledger->Report(error);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].state, "interrupted");
    EXPECT_EQ(report[0].outcome, "interrupted while downloading");
    EXPECT_EQ(a.sim->Stats().resets, 0);
}

TEST_F(ProvisionerTest, AStationTakesModuleAfterModuleUntilEveryRowIsDoneInRam) {
    Plan("IPAddress\n10.1.2.11\n10.1.2.12\n");
    FleetSim port(1);
    // The first module is taken off; once the port is seen empty the next one is put on.
    struct Swapper : Recorder {
        FleetSim* port;
        void OnEvent(const FleetEvent& e) override {
            Recorder::OnEvent(e);
            if (e.phase == UnitPhase::Removal) port->absent = true;
            if (e.phase == UnitPhase::Waiting && port->absent) {
                port->number = 2;
                port->absent = false;
            }
        }
    } r;
    r.port = &port;
    ProvisionSummary s = Run({&port}, true, &r);
    EXPECT_EQ(s.done, 2);
    EXPECT_EQ(port.sim->Stats().resets, 0);  // RAM only
    EXPECT_EQ(ChangesIn(port).at("IPAddress"), "010.001.002.012");
    std::vector<std::string> done;
    for (const FleetEvent& e : r.Final())
        done.push_back(e.hw + " " + PhaseName(e.phase));
    EXPECT_EQ(done, (std::vector<std::string>{"00:00:BC:1A:2B:01 done", "00:00:BC:1A:2B:02 done"}));
    // An empty port says so once, with nothing of the module that was there.
    int waiting = 0;
    for (const FleetEvent& e : r.events) {
        if (e.phase != UnitPhase::Waiting) continue;
        ++waiting;
        EXPECT_EQ(e.row, 0);
        EXPECT_EQ(e.hw + e.ip, "");
    }
    EXPECT_EQ(waiting, 2);  // at the start and once the first module is gone
}

TEST_F(ProvisionerTest, ADoneModuleIsReadBackAndProvisionedAgainWhenItLostItsRow) {
    Plan("IPAddress\n10.1.2.11\n");
    FleetSim a(1);
    ASSERT_EQ(Run({&a}).done, 1);
    // Back to its factory address, as after a reset to factory settings.
    FleetSim factory(9);
    a.sim->SetRam(0xFA, factory.sim->Ram(0xFA));
    recorder.events.clear();
    ProvisionSummary s = Run({&a});
    EXPECT_EQ(s.done, 1);
    EXPECT_EQ(s.alreadyDone, 0);
    EXPECT_EQ(ChangesIn(a).at("IPAddress"), "010.001.002.011");
    std::string error;
    std::vector<Ledger::Entry> report = ledger->Report(error);
    ASSERT_EQ(report.size(), 1u) << error;
    EXPECT_EQ(report[0].state, "done");
    EXPECT_EQ(report[0].outcome,
              "provisioned again, the module no longer holds its row's configuration: "
              "IPAddress \"010.000.000.100\" where the row has \"010.001.002.011\"");
    // Within a step the measure only grows.
    for (size_t i = 1; i < recorder.events.size(); ++i) {
        const FleetEvent &e = recorder.events[i], &prev = recorder.events[i - 1];
        if (e.phase == prev.phase) {
            EXPECT_GE(e.percent, prev.percent) << PhaseName(e.phase);
        }
    }
    // Holding its row now, it is left alone, and only read.
    int writes = a.writes;
    EXPECT_EQ(Run({&a}).alreadyDone, 1);
    EXPECT_EQ(a.writes, writes);
}

TEST_F(ProvisionerTest, AModuleOfAnotherSeriesIsTurnedAwayBeforeAnythingIsWritten) {
    Plan("IPAddress\n10.1.2.11\n");
    SimOptions seriesD;
    seriesD.firmware = "4.00";
    FleetSim d(1, seriesD);
    ProvisionSummary s = Run({&d});
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(d.writes, 0);
    ASSERT_FALSE(recorder.Final().empty());
    EXPECT_EQ(recorder.Final().back().text,
              "the module is series D, its configuration is for series B/C; nothing was written");
    std::string error;
    EXPECT_TRUE(ledger->Report(error).empty());  // the row stays free
}

// Two processes claim rows for their own modules on one ledger at the same time.
TEST_F(ProvisionerTest, TwoProcessesOnOneLedgerNeverShareARow) {
    std::string csv = "IPAddress\n";
    for (int i = 1; i <= 40; ++i)
        csv += "10.1.3." + std::to_string(i) + "\n";
    Plan(csv);
    ledger.reset();
    std::vector<pid_t> children;
    for (int p = 0; p < 2; ++p) {
        pid_t pid = ::fork();
        if (pid == 0) {
            std::string error;
            auto mine = Ledger::Open(dir.File("provision.db"), false, error);
            int ok = 0;
            for (int i = 0; i < 25 && mine; ++i) {
                char hw[16];
                std::snprintf(hw, sizeof hw, "0000BC%02X%04X", p, i);
                Ledger::Claim c = mine->ClaimRow(plan, {hw, "p", "", ""}, {});
                if (c.kind == Ledger::Claim::Assigned && mine->Finish(c, Ledger::kDone, "done"))
                    ++ok;
            }
            ::_exit(ok);
        }
        children.push_back(pid);
    }
    int assigned = 0;
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        assigned += WEXITSTATUS(status);
    }
    EXPECT_EQ(assigned, 40);  // 50 modules, 40 rows
    std::string error;
    ledger = Ledger::Open(dir.File("provision.db"), true, error);
    std::vector<Ledger::Entry> report = ledger->Report(error);
    ASSERT_EQ(report.size(), 40u) << error;
    std::set<std::string> modules;
    for (const Ledger::Entry& e : report)
        modules.insert(e.hw);
    EXPECT_EQ(modules.size(), 40u);
}

}  // namespace
