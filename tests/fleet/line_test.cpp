// A line: several stations, each a qorwctl provision process with modules of its own, drawing
// from one batch on the test server. What the server holds afterwards, also when a station is
// killed in the middle of a unit or the server restarts in the middle of a run.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <regex>
#include <set>
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

// One station: a qorwctl provision process in a folder of its own.
struct Station {
    TempDir dir;
    std::unique_ptr<QorwctlProcess> run;
};

class PostgresLine : public ::testing::Test {
protected:
    void SetUp() override {
        QOR_NEED_SERVER();
        FleetSim source(99);
        DeviceWindow w(source.Path());
        ASSERT_TRUE(w.Upload());
        ASSERT_TRUE(w.dlg.SaveTextFile(dir.File("site.txt")));
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

    std::set<std::string> rows;
    std::string expected;
    for (int s = 0; s < 3; ++s) {
        QorwctlProcess& run = *stations[s]->run;
        ASSERT_EQ(run.Wait(), 0) << run.Err() << run.Out();
        EXPECT_NE(run.Out().find("2 done, 0 already done, 0 failed"), std::string::npos)
            << run.Out();
        std::istringstream done(ReportedDone(run.Out()));
        for (std::string line; std::getline(done, line);) {
            rows.insert(line);
        }
    }
    ASSERT_EQ(rows.size(), 6u);
    // What each process reported done, the server holds done with its station, and the
    // module holds its row.
    std::string held = Rows();
    for (int s = 0; s < 3; ++s) {
        for (FleetSim* m : {&sims[2 * s], &sims[2 * s + 1]}) {
            std::string ip = IpOf(*m);
            int row = std::stoi(ip.substr(12));
            EXPECT_TRUE(rows.count(std::to_string(row) + "|" + m->Hw())) << m->Hw();
            std::string hw = m->Hw();
            hw.erase(std::remove(hw.begin(), hw.end(), ':'), hw.end());
            EXPECT_NE(held.find(std::to_string(row) + "|" + hw + "|bench-" + std::to_string(s + 1) +
                                "|done\n"),
                      std::string::npos)
                << held;
        }
    }
    EXPECT_EQ(std::count(held.begin(), held.end(), '\n'), 6) << held;
    // One attempt a unit, none of them left open.
    std::string attempts = Attempts("row, state");
    EXPECT_EQ(std::count(attempts.begin(), attempts.end(), '\n'), 6) << attempts;
    EXPECT_EQ(attempts.find(Ledger::kInProgress), std::string::npos) << attempts;

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
    EXPECT_EQ(ReportedDone(b->run->Out()).find("1|" + same.Hw() + "\n") != std::string::npos, true)
        << b->run->Out();
    EXPECT_EQ(Attempts("row, station, state, outcome"),
              std::string("1|bench-a|interrupted|") + Ledger::kRunEnded +
                  "\n1|bench-b|done|done\n2|bench-b|done|done\n");
    EXPECT_EQ(IpOf(same), Ip(1));
    EXPECT_EQ(IpOf(other), Ip(2));
}

}  // namespace
