// A line: several stations, each a qorwctl provision process with modules of its own, drawing
// from one batch on the test server. What the server holds afterwards, also when a station is
// killed in the middle of a unit or the server restarts in the middle of a run.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "files/temp_dir.h"
#include "fleet/fleet_sims.h"
#include "fleet/ledger.h"
#include "support/postgres_server.h"
#include "support/qorwctl_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// Whether done() comes true within the limit.
template <typename F>
bool Eventually(F done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// What a module holds as its IP address, read back on a window of its own.
std::string IpOf(FleetSim& m) {
    DeviceWindow w(m.Path());
    EXPECT_TRUE(w.Upload()) << m.Hw();
    return w.dlg.Doc().GET(QorDoc::kIdIpAddress);
}

// The units a run's log lines report done: "row|hw" lines, in the order reported.
std::string ReportedDone(const std::string& out) {
    static const std::regex done(R"(^\d\d:\d\d:\d\d \S+  row (\d+)  (\S+)  \S+  done$)");
    std::istringstream lines(out);
    std::string rows;
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, m, done)) rows += m[1].str() + "|" + m[2].str() + "\n";
    }
    return rows;
}

// Whether the run's log lines show the module's port in the phase ("recording", "done", ...).
bool Shows(const std::string& out, const FleetSim& m, const std::string& phase) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        size_t at = line.find(" " + m.Path() + "  ");
        if (at != std::string::npos && (line.ends_with("  " + phase) ||
                                        line.find("  " + phase + ": ", at) != std::string::npos))
            return true;
    }
    return false;
}

// One station: a qorwctl provision process in a folder of its own.
struct Station {
    TempDir dir;
    std::unique_ptr<QorwctlProcess> run;
};

class PostgresLine : public ::testing::Test {
protected:
    void SetUp() override {
        QOR_NEED_SERVER();
        ASSERT_TRUE(SaveOutOfBoxTemplate(dir.File("site.txt")));
    }
    // A table of n rows: 10.1.3.1, 10.1.3.2, ...
    void Units(int n) {
        std::string csv = "IPAddress\n";
        for (int i = 1; i <= n; ++i)
            csv += "10.1.3." + std::to_string(i) + "\n";
        dir.Write("units.csv", csv);
    }
    std::unique_ptr<Station> Start(const std::string& name, const std::vector<FleetSim*>& modules,
                                   const std::vector<std::string>& more = {}) {
        auto s = std::make_unique<Station>();
        std::vector<std::string> args = {"provision",
                                         "--template",
                                         dir.File("site.txt"),
                                         "--units",
                                         dir.File("units.csv"),
                                         "--ledger",
                                         TestServerUri(),
                                         "--batch",
                                         batch,
                                         "--station",
                                         name};
        for (FleetSim* m : modules) {
            args.push_back("--port");
            args.push_back(m->Path());
        }
        args.insert(args.end(), more.begin(), more.end());
        s->run = std::make_unique<QorwctlProcess>(s->dir, args);
        return s;
    }
    // The server's rows bound to a module: "row|hw|station|state" lines in row order.
    std::string Rows() {
        return ServerSql("SELECT row, upper(hw), station, state FROM qor_rows WHERE batch = '" +
                         batch + "' AND hw IS NOT NULL ORDER BY row");
    }
    std::string Attempts(const std::string& columns) {
        return ServerSql("SELECT " + columns + " FROM qor_attempts WHERE batch = '" + batch +
                         "' ORDER BY row, id");
    }
    // The module holds a row of the table (read back), the run's output reports that row done
    // for it, and the server records it done there by the station.
    void ExpectDone(FleetSim& m, const std::string& out, const std::string& station) {
        std::string ip = IpOf(m);
        ASSERT_EQ(ip.substr(0, 12), "010.001.003.") << m.Hw();
        std::string row = std::to_string(std::atoi(ip.c_str() + 12));
        EXPECT_NE(("\n" + ReportedDone(out)).find("\n" + row + "|" + m.Hw() + "\n"),
                  std::string::npos)
            << m.Hw() << "\n"
            << out;
        std::string hw = m.Hw(), held = Rows();
        hw.erase(std::remove(hw.begin(), hw.end(), ':'), hw.end());
        EXPECT_NE(("\n" + held).find("\n" + row + "|" + hw + "|" + station + "|done\n"),
                  std::string::npos)
            << m.Hw() << "\n"
            << held;
    }
    // How many units the server has bound, and that each has one attempt, finished done.
    void ExpectUnits(int n) {
        std::string rows = Rows(), done;
        EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), n) << rows;
        for (int i = 0; i < n; ++i)
            done += "done\n";
        EXPECT_EQ(Attempts("state"), done);
    }
    std::string Ip(int row) {
        char text[16];
        std::snprintf(text, sizeof text, "010.001.003.%03d", row);
        return text;
    }

    TempDir dir;
    std::string batch = UniqueBatch("line");
};

TEST_F(PostgresLine, StationsDrawFromOneBatchAndNoRowGoesTwice) {
    Units(7);
    FleetSim sims[] = {FleetSim(1), FleetSim(2), FleetSim(3),
                       FleetSim(4), FleetSim(5), FleetSim(6)};
    std::vector<std::unique_ptr<Station>> stations;
    for (int s = 0; s < 3; ++s)
        stations.push_back(
            Start("bench-" + std::to_string(s + 1), {&sims[2 * s], &sims[2 * s + 1]}));
    // A station whose server cannot be reached (the last --ledger counts) is refused with
    // libpq's reason, its port unopened.
    FleetSim stray(7);
    auto refused = Start("bench-4", {&stray}, {"--ledger", "postgresql://nobody@127.0.0.1:1/x"});

    for (int s = 0; s < 3; ++s) {
        QorwctlProcess& run = *stations[s]->run;
        ASSERT_EQ(run.Wait(), 0) << run.Err() << run.Out();
        EXPECT_NE(run.Out().find("2 done, 0 already done, 0 failed"), std::string::npos)
            << run.Out();
        for (FleetSim* m : {&sims[2 * s], &sims[2 * s + 1]})
            ExpectDone(*m, run.Out(), "bench-" + std::to_string(s + 1));
    }
    ExpectUnits(6);
    EXPECT_EQ(refused->run->Wait(), 1);
    EXPECT_EQ(
        refused->run->Err().rfind("qorwctl: postgresql://nobody@127.0.0.1:1/x: connection to "
                                  "server at \"127.0.0.1\", port 1 failed: Connection refused",
                                  0),
        0u)
        << refused->run->Err();
    EXPECT_TRUE(stray.sim->Requests().empty());

    TempDir reader;
    QorwctlProcess report(reader, {"ledger", TestServerUri(), "--batch", batch});
    ASSERT_EQ(report.Wait(), 0) << report.Err();
    for (const char* line : {"\nbench-1: 2 done\n", "\nbench-2: 2 done\n", "\nbench-3: 2 done\n"})
        EXPECT_NE(report.Out().find(line), std::string::npos) << report.Out();
}

TEST_F(PostgresLine, AStationKilledInTheMiddleLeavesItsModuleItsRow) {
    Units(3);
    {
        // Paced, so that the download is under way when the station goes.
        SimOptions paced;
        paced.pace = 9600;
        FleetSim slow(1, paced);
        auto a = Start("bench-a", {&slow});
        ASSERT_TRUE(Eventually([&] { return slow.writes >= 3; })) << a->run->Err();
        ::kill(a->run->Pid(), SIGKILL);
        EXPECT_EQ(a->run->Wait(), -1);
    }
    EXPECT_EQ(Attempts("row, station, state"), "1|bench-a|in progress\n");
    // Gone when the server has seen its connection close: its lock is free.
    ASSERT_TRUE(Eventually([&] {
        return ServerSql(
                   "SELECT count(*) FROM pg_locks l JOIN qor_attempts a ON l.objid = "
                   "a.session::oid AND l.objsubid = 2 AND l.locktype = 'advisory' WHERE "
                   "a.batch = '" +
                   batch + "'") == "0\n";
    }));

    // The same module on another station's port, beside a new one.
    FleetSim same(1), other(2);
    auto b = Start("bench-b", {&other, &same});
    ASSERT_EQ(b->run->Wait(), 0) << b->run->Err() << b->run->Out();
    EXPECT_EQ(Attempts("row, station, state, outcome"),
              std::string("1|bench-a|interrupted|") + Ledger::kRunEnded +
                  "\n1|bench-b|done|done\n2|bench-b|done|done\n");
    EXPECT_EQ(IpOf(same), Ip(1));
    ExpectDone(same, b->run->Out(), "bench-b");
    ExpectDone(other, b->run->Out(), "bench-b");
}

// The test server's cluster stopped, started or restarted (pg_ctlcluster ACTION): whether it
// worked. Started again when the test ends, whatever happened.
class ServerControl {
public:
    explicit ServerControl(const char* version) : version_(version) {}
    ~ServerControl() {
        if (stopped_) Do("start");
    }
    bool Do(const char* action) {
        std::string command =
            std::string("pg_ctlcluster ") + version_ + " regress " + action + " >/dev/null 2>&1";
        bool ok = std::system(command.c_str()) == 0;
        stopped_ = action == std::string("stop") ? ok : !ok && stopped_;
        return ok;
    }

private:
    std::string version_;
    bool stopped_ = false;
};

TEST_F(PostgresLine, AServerRestartLosesNoOutcomeAndWritesNoModuleWithoutItsClaim) {
    const char* version = std::getenv("PGVERSION");
    if (!version || !std::getenv("PG_CLUSTER_CONF_ROOT"))
        GTEST_SKIP() << "the test server is not a throwaway cluster (pg_virtualenv)";
    ServerControl server(version);
    Units(4);
    // Two modules under way when the server stops, one that comes while it is away, one that
    // comes after a restart.
    SimOptions paced;
    paced.pace = 115200;
    FleetSim a(1, paced), b(2, paced), away(3), after(4);
    away.absent = true;
    after.absent = true;
    auto s = Start("bench-1", {&a, &b, &away, &after});
    const QorwctlProcess& run = *s->run;
    auto shown = [&](const FleetSim& m, const char* phase) {
        return Eventually([&] { return Shows(run.Out(), m, phase); });
    };
    ASSERT_TRUE(Eventually([&] { return a.writes >= 3 && b.writes >= 3; })) << run.Err();
    ASSERT_TRUE(server.Do("stop"));
    ASSERT_EQ(ServerSql("SELECT 1").rfind("error: ", 0), 0u);

    away.absent = false;
    EXPECT_TRUE(shown(away, "failed")) << run.Out();
    EXPECT_EQ(away.writes, 0);
    EXPECT_TRUE(shown(a, "recording") && shown(b, "recording")) << run.Out();
    EXPECT_EQ(ReportedDone(run.Out()), "");

    ASSERT_TRUE(server.Do("start"));
    EXPECT_TRUE(shown(a, "done") && shown(b, "done")) << run.Out();
    ASSERT_TRUE(server.Do("restart"));
    after.absent = false;
    EXPECT_EQ(s->run->Wait(), 1) << run.Err() << run.Out();
    EXPECT_NE(run.Out().find("3 done, 0 already done, 1 failed"), std::string::npos) << run.Out();

    for (FleetSim* m : {&a, &b, &after})
        ExpectDone(*m, run.Out(), "bench-1");
    ExpectUnits(3);
}

}  // namespace
