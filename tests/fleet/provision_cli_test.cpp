// qorwctl provision and qorwctl ledger as a script runs them, against simulated modules.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "files/temp_dir.h"
#include "fleet/fleet_sims.h"
#include "fleet/ledger.h"
#include "support/qorwctl_process.h"
#include "fleet/unit_plan.h"


namespace {

using Ctl = QorwctlProcess;

class ProvisionCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeviceWindow w(a.Path());
        ASSERT_TRUE(w.Upload());
        ASSERT_TRUE(w.dlg.SaveTextFile(dir.File("site.txt")));
        ASSERT_TRUE(w.dlg.SaveDcfFile(dir.File("site.dcf")));
        a.sim->ClearRequests();
    }
    std::vector<std::string> Provision(const std::string& csv, std::vector<std::string> more = {}) {
        dir.Write("units.csv", csv);
        std::vector<std::string> args = {"provision", "--template", "site.txt", "--units",
                                         "units.csv", "--port",     a.Path()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    TempDir dir;
    FleetSim a{1};
};

TEST_F(ProvisionCliTest, AUnitsFileInErrorIsRefusedBeforeAnyPortIsOpened) {
    struct Case {
        std::string csv;
        int status;
        std::string message;
    } cases[] = {
        {"IPAddress,Colour\n10.1.2.3,red\n", 2, "units.csv: unknown column \"Colour\""},
        {"IPAddress,Gateway\n10.1.2.3\n", 2, "units.csv: line 2: 1 fields where the header has 2"},
        {"IPAddress\n10.1.2.x\n", 1,
         "units.csv: row 1 (line 2), column IPAddress (\"10.1.2.x\"): \"IPAddress: \" parameter "
         "in error."},
        {"IPAddress\n10.1.2.3\n10.1.2.4\n010.001.002.003\n", 1,
         "units.csv: rows 1 and 3 give the same IP address 010.001.002.003"},
        {"IPAddress,EthernetAddress\n10.1.2.3,00:00:bc:1a:2b:01\n10.1.2.4,0000BC1A2B01\n", 1,
         "units.csv: rows 1 and 2 name the same hardware address 00:00:BC:1A:2B:01"},
    };
    for (const Case& c : cases) {
        Ctl run(dir, Provision(c.csv));
        EXPECT_EQ(run.Wait(), c.status) << c.csv;
        EXPECT_EQ(run.Err().substr(0, run.Err().find('\n')), "qorwctl: " + c.message) << c.csv;
    }
    EXPECT_TRUE(a.sim->Requests().empty());
    EXPECT_NE(::access(dir.File("provision.db").c_str(), F_OK), 0);
}

TEST_F(ProvisionCliTest, ProvisionsAndReportsTheLedger) {
    // The dry run names the template's fingerprint.
    Ctl dry(dir, Provision("IPAddress\n10.1.2.11\n10.1.2.12\n", {"--dry-run"}));
    ASSERT_EQ(dry.Wait(), 0) << dry.Err();
    const std::string prefix = "template fingerprint ";
    ASSERT_EQ(dry.Out().rfind(prefix, 0), 0u) << dry.Out();
    const std::string fingerprint = dry.Out().substr(prefix.size(), 12);
    a.sim->ClearRequests();

    // The .dcf template serves as well as the text file, with the same fingerprint. The port
    // goes by its USB socket, as a station names its slots: the ledger keeps that name.
    const std::string slot = dir.File("pci-0000:00:14.0-usb-0:1.4:1.0-port0");
    ASSERT_EQ(::symlink(a.Path().c_str(), slot.c_str()), 0);
    Ctl run(dir, {"provision", "--template", "site.dcf", "--units", "units.csv", "--port", slot,
                  "--station", "bench-4"});
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    EXPECT_NE(run.Out().find("1 done, 0 already done, 0 failed"), std::string::npos) << run.Out();

    Ctl csv(dir, {"ledger", "provision.db", "--csv"});
    EXPECT_EQ(csv.Wait(), 0);
    EXPECT_EQ(csv.Out().substr(0, csv.Out().find('\n') + 1),
              "row,ip,hw,port,firmware,series,assigned,finished,state,outcome,template,station,"
              "batch\r\n");
    EXPECT_NE(csv.Out().find("1,010.001.002.011,00:00:BC:1A:2B:01," + slot + ",03.12,B/C,"),
              std::string::npos)
        << csv.Out();
    EXPECT_NE(csv.Out().find(",done,done," + fingerprint + ",bench-4,\r\n"), std::string::npos)
        << csv.Out();
    Ctl json(dir, {"ledger", "provision.db", "--json"});
    EXPECT_EQ(json.Wait(), 0);
    EXPECT_EQ(nlohmann::json::parse(json.Out())["template"], fingerprint);
    Ctl table(dir, {"ledger", "provision.db"});
    EXPECT_EQ(table.Wait(), 0);
    EXPECT_NE(table.Out().find("  " + fingerprint + "  done\n"), std::string::npos) << table.Out();

    // The unit's trace: every frame of its attempt both ways, as --trace prints them.
    Ctl trace(dir, {"ledger", "provision.db", "--trace", "1"});
    EXPECT_EQ(trace.Wait(), 0) << trace.Err();
    std::istringstream lines(trace.Out());
    int sent = 0, received = 0, writes = 0;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d\.\d{3} [<>] [0-9A-F]+)")))
            << line;
        (line[13] == '>' ? sent : received)++;
        // DLE STX, destination, source, then the command: 08 writes.
        if (line[13] == '>' && line.compare(15, 4, "1002") == 0 && line.compare(23, 2, "08") == 0)
            ++writes;
    }
    EXPECT_EQ(writes, a.writes.load());
    EXPECT_GT(writes, 100);
    EXPECT_GT(received, writes);
    Ctl none(dir, {"ledger", "provision.db", "--trace", "2"});
    EXPECT_EQ(none.Wait(), 1);
    EXPECT_EQ(none.Err(), "qorwctl: provision.db: row 2 has no finished attempt in the ledger\n");
}

TEST_F(ProvisionCliTest, DryRunShowsEachModuleItsOwnRowAndWritesNothing) {
    FleetSim b(2);
    Ctl run(dir, Provision("IPAddress\n10.1.2.11\n10.1.2.12\n", {"--port", b.Path(), "--dry-run"}));
    EXPECT_EQ(run.Wait(), 0) << run.Err();
    std::string out = run.Out();
    EXPECT_NE(out.find("preview: would get row 1"), std::string::npos) << out;
    EXPECT_NE(out.find("preview: would get row 2"), std::string::npos) << out;
    for (FleetSim* m : {&a, &b}) {
        for (const SimRequest& r : m->sim->Requests())
            EXPECT_NE(r.command, 0x08) << m->Hw();
    }
    EXPECT_NE(::access(dir.File("provision.db").c_str(), F_OK), 0);
}

TEST_F(ProvisionCliTest, CtrlCRecordsTheUnitInFlightAndExits130) {
    // Paced, so that the download is still running when the interrupt comes.
    SimOptions paced;
    paced.pace = 9600;
    FleetSim slow(2, paced);
    dir.Write("units.csv", "IPAddress\n10.1.2.11\n");
    Ctl run(dir, {"provision", "--template", "site.txt", "--units", "units.csv", "--port",
                  slow.Path(), "--json"});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (slow.writes < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::kill(run.Pid(), SIGINT);
    EXPECT_EQ(run.Wait(), 130) << run.Err();
    EXPECT_EQ(slow.sim->Stats().resets, 0);
    std::string error;
    auto ledger = Ledger::Open(dir.File("provision.db"), true, error);
    ASSERT_TRUE(ledger) << error;
    std::vector<Ledger::Entry> report = ledger->Report(error);
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].state, "interrupted");
    EXPECT_EQ(report[0].outcome, "interrupted while downloading");
    EXPECT_NE(run.Out().find("\"phase\":\"interrupted\""), std::string::npos) << run.Out();
}

TEST_F(ProvisionCliTest, APortWhereNothingAnswersIsGivenUpAndCounted) {
    SimOptions silent;
    silent.silent = true;
    FleetSim mute(2, silent);
    Ctl run(dir,
            Provision("IPAddress\n10.1.2.11\n10.1.2.12\n", {"--port", mute.Path(), "--wait", "0"}));
    EXPECT_EQ(run.Wait(), 3) << run.Err();
    std::string out = run.Out();
    EXPECT_NE(out.find(mute.Path() + "  port-failed: no module answered"), std::string::npos)
        << out;
    EXPECT_NE(out.find("1 done, 0 already done, 0 failed, 0 interrupted, 0 without a row, 1 port "
                       "failure\n"),
              std::string::npos)
        << out;
}

TEST_F(ProvisionCliTest, InfoVerifyAndDiffSpeakJson) {
    Ctl info(dir, {"--port", a.Path(), "info", "--json"});
    ASSERT_EQ(info.Wait(), 0) << info.Err();
    auto j = nlohmann::json::parse(info.Out());
    EXPECT_EQ(j["hardware_address"], "00:00:BC:1A:2B:01");
    EXPECT_EQ(j["firmware"], "03.12");
    EXPECT_EQ(j["web_parameters"], true);

    std::string site = ReadFileBytes(dir.File("site.txt"));
    site.replace(site.find("IPAddress: 010.000.000.100"), 26, "IPAddress: 010.000.000.101");
    dir.Write("other.txt", site);
    Ctl verify(dir, {"--port", a.Path(), "verify", "other.txt", "--json"});
    EXPECT_EQ(verify.Wait(), 1) << verify.Err();
    EXPECT_EQ(nlohmann::json::parse(verify.Out()),
              nlohmann::json::parse(R"({"page": "QOR IP Addr", "key": "IPAddress",
                  "file": "010.000.000.101", "module": "010.000.000.100"})"));
    Ctl diff(dir, {"diff", "site.txt", "other.txt", "--json"});
    EXPECT_EQ(diff.Wait(), 1) << diff.Err();
    EXPECT_EQ(nlohmann::json::parse(diff.Out())["b"], "010.000.000.101");
}

// What a module holds as its IP address, read back on a window of its own.
std::string IpOf(FleetSim& m) {
    DeviceWindow w(m.Path());
    EXPECT_TRUE(w.Upload());
    return w.dlg.Doc().GET(QorDoc::kIdIpAddress);
}

TEST_F(ProvisionCliTest, ARowInsertedAtTheTopIsRefusedEvenAsACorrectionAndAppendingWorks) {
    FleetSim b(2), c(3);
    Ctl first(dir, Provision("IPAddress\n10.1.2.11\n10.1.2.12\n", {"--port", b.Path()}));
    ASSERT_EQ(first.Wait(), 0) << first.Err();
    a.sim->ClearRequests();
    b.sim->ClearRequests();

    std::string inserted = "IPAddress\n10.1.2.10\n10.1.2.11\n10.1.2.12\n";
    for (const char* correct : {"--dry-run", "--json", "--correct"}) {
        Ctl run(dir, Provision(inserted, {"--port", b.Path(), "--port", c.Path(), correct}));
        EXPECT_EQ(run.Wait(), 1) << correct;
        std::string want = correct == std::string("--correct")
                               ? "  row 2 gives 010.001.002.011, the IP address of row 1 (bound to "
                               : ") holds other values now; what it held is row 2\n";
        EXPECT_EQ(run.Err().rfind("qorwctl: units.csv: the table disagrees with the ledger about "
                                  "rows already bound to modules:\n  row ",
                                  0),
                  0u)
            << run.Err();
        EXPECT_NE(run.Err().find(want), std::string::npos) << run.Err();
        EXPECT_NE(run.Err().find("--correct"), std::string::npos) << run.Err();
    }
    for (FleetSim* m : {&a, &b, &c})
        EXPECT_TRUE(m->sim->Requests().empty()) << m->Hw();

    Ctl appended(dir, Provision("IPAddress\n10.1.2.11\n10.1.2.12\n10.1.2.13\n",
                                {"--port", b.Path(), "--port", c.Path()}));
    EXPECT_EQ(appended.Wait(), 0) << appended.Err();
    EXPECT_NE(appended.Out().find("1 done, 2 already done"), std::string::npos) << appended.Out();
    EXPECT_EQ(IpOf(c), "010.001.002.013");
}

TEST_F(ProvisionCliTest, ADryRunOnDoneUnitsWritesNothingAndACorrectionReachesItsModule) {
    FleetSim b(2);
    std::string csv = "IPAddress\n10.1.2.11\n10.1.2.12\n";
    Ctl first(dir, Provision(csv));
    ASSERT_EQ(first.Wait(), 0) << first.Err();
    const std::string ledger = ReadFileBytes(dir.File("provision.db"));
    a.sim->ClearRequests();

    Ctl dry(dir, Provision(csv, {"--port", b.Path(), "--dry-run"}));
    EXPECT_EQ(dry.Wait(), 0) << dry.Err();
    EXPECT_NE(
        dry.Out().find("00:00:BC:1A:2B:01  010.001.002.011  already-done: would be left alone"),
        std::string::npos)
        << dry.Out();
    EXPECT_NE(dry.Out().find("00:00:BC:1A:2B:02  010.001.002.012  preview: would get row 2"),
              std::string::npos)
        << dry.Out();

    // The first row corrected: refused unless taken as a correction, which reaches the module.
    std::string corrected = "IPAddress\n10.1.2.21\n10.1.2.12\n";
    for (const char* option : {"--dry-run", "--quiet"}) {
        Ctl refused(dir, Provision(corrected, {option}));
        EXPECT_EQ(refused.Wait(), 1) << option;
        EXPECT_NE(refused.Err().find("row 1 (bound to 00:00:BC:1A:2B:01) holds other values now"),
                  std::string::npos)
            << refused.Err();
    }
    EXPECT_EQ(ReadFileBytes(dir.File("provision.db")), ledger);
    for (const SimRequest& r : a.sim->Requests())
        EXPECT_NE(r.command, 0x08);
    Ctl correct(dir, Provision(corrected, {"--correct"}));
    EXPECT_EQ(correct.Wait(), 0) << correct.Err();
    EXPECT_NE(correct.Out().find("1 done, 0 already done"), std::string::npos) << correct.Out();
    EXPECT_EQ(IpOf(a), "010.001.002.021");
    Ctl again(dir, Provision(corrected));
    EXPECT_EQ(again.Wait(), 0) << again.Err();
    EXPECT_NE(again.Out().find("0 done, 1 already done"), std::string::npos) << again.Out();
}

TEST_F(ProvisionCliTest, MoreModulesThanRowsEndsInFailureNamingHowManyHadNone) {
    FleetSim b(2);
    Ctl run(dir, Provision("IPAddress\n10.1.2.11\n", {"--port", b.Path()}));
    EXPECT_EQ(run.Wait(), 1) << run.Err();
    EXPECT_NE(run.Out().find("1 done, 0 already done, 0 failed, 0 interrupted, 1 without a row"),
              std::string::npos)
        << run.Out();
}

TEST_F(ProvisionCliTest, ALedgerThatIsNotOursOrReadOnlyIsRefusedBeforeAnyPortAndLeftAsItWas) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("notes.db").c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes (text); INSERT INTO notes VALUES ('keep')", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
    const std::string notes = ReadFileBytes(dir.File("notes.db"));
    dir.Write("ro.db", "");
    ::chmod(dir.File("ro.db").c_str(), 0444);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {Provision("IPAddress\n10.1.2.11\n", {"--ledger", "notes.db"}),
         "notes.db: an SQLite database that is not a provisioning ledger (left as it was; its "
         "tables: notes)"},
        {{"ledger", "notes.db"},
         "notes.db: an SQLite database that is not a provisioning ledger (left as it was; its "
         "tables: notes)"},
        {Provision("IPAddress\n10.1.2.11\n", {"--ledger", "ro.db"}),
         "ro.db: the ledger cannot be written: the file is read-only"},
    };
    for (const Case& c : cases) {
        Ctl run(dir, c.args);
        EXPECT_EQ(run.Wait(), 1) << c.message;
        EXPECT_EQ(run.Err(), "qorwctl: " + c.message + "\n");
    }
    EXPECT_EQ(ReadFileBytes(dir.File("notes.db")), notes);
    EXPECT_EQ(ReadFileBytes(dir.File("ro.db")), "");
    EXPECT_TRUE(a.sim->Requests().empty());
}

TEST_F(ProvisionCliTest, OutcomesWithQuotesCommasAndLineBreaksSurviveTheCsvReport) {
    const std::string outcome = "read-back differs: WebConfig01 \"Line 1, press \"\"A\"\"\"\nnext";
    {
        UnitPlan plan;
        UnitConfig unit;
        unit.row = 1;
        unit.ip = "010.001.002.011";
        unit.fingerprint = "f";
        plan.units.push_back(unit);
        std::string error;
        auto ledger = Ledger::Open(dir.File("e.db"), false, error);
        ASSERT_TRUE(ledger) << error;
        Ledger::Claim c = ledger->ClaimRow(plan, {"0000BC1A2B01", "p,\"q\"", "03.12", "B/C"}, {});
        ASSERT_TRUE(ledger->Finish(c, Ledger::kFailed, outcome));
    }
    Ctl report(dir, {"ledger", "e.db", "--csv"});
    ASSERT_EQ(report.Wait(), 0) << report.Err();
    UnitsTable table;
    std::string error;
    ASSERT_TRUE(ParseUnitsTable(report.Out(), table, error)) << error << report.Out();
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0].fields[3], "p,\"q\"");
    EXPECT_EQ(table.rows[0].fields[9], outcome);
}

}  // namespace
