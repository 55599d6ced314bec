// Provisioning: eight simulated modules on eight pseudo-terminals, each held to 57600 baud,
// provisioned at once, against one module alone (the reset pauses left out, the modules'
// restart short). The batch should take hardly longer than one module: the link is the limit
// and the ports must not wait for each other. Then the ledger's cost per unit (assignment and
// outcome with the attempt's link trace, two transactions on a file) over many units. First, the
// check of a large units table (every row loaded and checked by the pages, no port touched).
//
// With a PostgreSQL server in QOR_TEST_PG_URI, a line as well: four qorwctl processes with two
// modules each on one batch of the server, against one process with one module; and the
// server's cost per unit (claim and outcome) with eight clients claiming at once over the
// server's local socket.
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
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

// A units table of n rows, one address each.
void WriteUnits(const std::string& path, int n) {
    std::string csv = "IPAddress,Gateway\n";
    for (int i = 1; i <= n; ++i)
        csv += "10.20.0." + std::to_string(i) + ",10.20.0.254\n";
    std::ofstream(path) << csv;
}

// What an attempt's link trace is like: one full provisioning is about 86 KB of lines.
std::string TraceLike() {
    std::string trace;
    for (int i = 0; trace.size() < 86 * 1024; ++i)
        trace += "12:00:00.000 > 1002FE0008" + std::to_string(100000 + i) + "1003D359\n";
    return trace;
}

// The value below which the share p (0..1) of the sorted figures lie.
double Percentile(const std::vector<double>& sorted, double p) {
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(sorted.size() * p))];
}

// A plan of n rows for the ledger alone: addresses and one fingerprint.
UnitPlan LedgerPlan(int n) {
    UnitPlan plan;
    for (int i = 1; i <= n; ++i) {
        UnitConfig u;
        u.row = i;
        u.ip = "10.30." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        u.fingerprint = "f";
        plan.units.push_back(u);
    }
    return plan;
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
    WriteUnits(dir + "/units.csv", n);
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

// Text for a POSIX shell, in single quotes.
std::string Quoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What psql prints for a statement on the server (its first line); empty on failure.
std::string Psql(const std::string& uri, const std::string& sql) {
    std::string command = "psql -XAtq -d " + Quoted(uri) + " -c " + Quoted(sql) + " 2>/dev/null";
    std::string out;
    if (FILE* f = ::popen(command.c_str(), "r")) {
        char line[512];
        if (std::fgets(line, sizeof line, f)) out = line;
        ::pclose(f);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// The stations of a line: every process provisions its own modules (held to pace) into one
// batch of the server, as qorwctl does on a bench. The seconds from the first start to the last
// end; negative when a station failed (its output is shown).
double Line(const std::string& dir, const std::string& uri, const std::string& batch, int stations,
            int perStation, uint32_t pace) {
    static const std::string qorwctl =
        std::filesystem::read_symlink("/proc/self/exe").parent_path() / "qorwctl";
    std::vector<std::unique_ptr<SimModule>> sims;
    for (int i = 0; i < stations * perStation; ++i) {
        sims.push_back(StartModule(i + 1, pace));
        if (!sims.back()) return -1;
    }
    const std::string units = dir + "/" + batch + ".csv";
    WriteUnits(units, stations * perStation);
    std::vector<std::string> env = {"QORWCTL_PAUSE_SCALE=0"};  // before any of the caller's
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::pair<pid_t, std::string>> runs;  // and where its output goes
    auto start = Clock::now();
    for (int s = 0; s < stations; ++s) {
        const std::string station = batch + "-" + std::to_string(s + 1);
        std::vector<std::string> args = {qorwctl,   "provision", "--template", dir + "/site.txt",
                                         "--units", units,       "--ledger",   uri,
                                         "--batch", batch,       "--station",  station,
                                         "--baud",  "57600",     "--quiet"};
        for (int i = 0; i < perStation; ++i) {
            args.push_back("--port");
            args.push_back(sims[s * perStation + i]->SlavePath());
        }
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        const std::string out = dir + "/" + station + ".out";
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&files, 1, 2);
        pid_t pid = 0;
        if (posix_spawn(&pid, qorwctl.c_str(), &files, nullptr, argv.data(), envp.data()) == 0)
            runs.emplace_back(pid, out);
        posix_spawn_file_actions_destroy(&files);
    }
    bool ok = static_cast<int>(runs.size()) == stations;
    for (const auto& [pid, out] : runs) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
        ok = false;
        std::ifstream text(out);
        std::fprintf(stderr, "provision: a station failed:\n%s",
                     std::string(std::istreambuf_iterator<char>(text), {}).c_str());
    }
    double seconds = Since(start);
    return ok ? seconds : -1;
}

// The server's cost per unit: clients, each with a connection of its own, claim and finish
// units at once. The milliseconds of every unit, sorted; empty on a failure.
std::vector<double> ServerLedgerCosts(const std::string& uri, const std::string& batch, int clients,
                                      int perClient, const std::string& trace) {
    const UnitPlan plan = LedgerPlan(clients * perClient);
    std::vector<std::vector<double>> costs(clients);
    std::atomic<int> ready{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            std::string error;
            Ledger::OpenOptions o;
            o.batch = batch;
            o.station = "client-" + std::to_string(c + 1);
            auto ledger = Ledger::Open(uri, o, error);
            if (!ledger || !ledger->CheckPlan(plan, false, error)) {
                std::fprintf(stderr, "provision: %s\n", error.c_str());
                failed = true;
            }
            // Every client claims from the same moment on.
            ++ready;
            while (ready < clients)
                std::this_thread::yield();
            for (int i = 0; i < perClient && !failed; ++i) {
                char hw[24];
                std::snprintf(hw, sizeof hw, "0000BC2E%02X%02X", c, i & 0xFF);
                auto start = Clock::now();
                Ledger::Claim claim =
                    ledger->ClaimRow(plan, {hw, "/dev/pts/0", "03.12", "B/C"}, {});
                if (claim.kind != Ledger::Claim::Assigned ||
                    !ledger->Finish(claim, Ledger::kDone, Ledger::kDone, trace)) {
                    std::fprintf(stderr, "provision: server ledger failed: %s%s\n",
                                 claim.text.c_str(), ledger->LastError().c_str());
                    failed = true;
                }
                costs[c].push_back(Since(start) * 1000);
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::vector<double> all;
    for (const auto& c : costs)
        all.insert(all.end(), c.begin(), c.end());
    std::sort(all.begin(), all.end());
    return failed ? std::vector<double>{} : all;
}

// The same, where the server's peer authentication lets the clients in over its socket: in a
// process of the role's own user (root runs them in a child that becomes that user).
std::vector<double> LocalLedgerCosts(const std::string& uri, const std::string& role,
                                     const std::string& batch, int clients, int perClient,
                                     const std::string& trace) {
    const passwd* user = ::getpwnam(role.c_str());
    if (::geteuid() != 0 || !user || user->pw_uid == 0)
        return ServerLedgerCosts(uri, batch, clients, perClient, trace);
    int pipe[2];
    if (::pipe(pipe) != 0) return {};
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe[0]);
        std::vector<double> costs;
        if (::setgid(user->pw_gid) == 0 && ::setuid(user->pw_uid) == 0)
            costs = ServerLedgerCosts(uri, batch, clients, perClient, trace);
        size_t bytes = costs.size() * sizeof(double);
        bool sent = ::write(pipe[1], costs.data(), bytes) == static_cast<ssize_t>(bytes);
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipe[1]);
    std::vector<double> costs;
    double cost;
    while (pid > 0 && ::read(pipe[0], &cost, sizeof cost) == sizeof cost)
        costs.push_back(cost);
    ::close(pipe[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    return costs;
}

// The line on the server: false when a part failed.
bool ServerPart(const std::string& dir, const std::string& uri, uint32_t pace,
                const std::string& trace) {
    const std::string stem = "bench-" + std::to_string(::getpid());
    double one = Line(dir, uri, stem + "-one", 1, 1, pace);
    double line = Line(dir, uri, stem + "-line", 4, 2, pace);
    if (one < 0 || line < 0) return false;
    std::printf("server line, one qorwctl with one module:   %7.2f s\n", one);
    std::printf(
        "server line, 4 qorwctl x 2 modules at once:  %7.2f s; ratio to one module %.3f (target "
        "at most 1.25)\n",
        line, line / one);

    // Over the local socket the server listens on, where libpq looks when no host is named.
    std::string sockets = Psql(uri, "SHOW unix_socket_directories");
    std::string socket = sockets.substr(0, sockets.find(','));
    std::string port = Psql(uri, "SHOW port"), db = Psql(uri, "SELECT current_database()");
    std::string role = Psql(uri, "SELECT current_user");
    if (socket.empty() || port.empty() || db.empty() || role.empty()) {
        std::fprintf(stderr, "provision: the server's socket directory is unknown (psql)\n");
        return false;
    }
    const std::string local =
        "postgresql:///" + db + "?host=" + socket + "&port=" + port + "&user=" + role;
    std::printf("server ledger over its socket: %s\n", local.c_str());
    // With the attempt's link trace, as a station records it, and without: the claim alone.
    constexpr int kClients = 8, kPerClient = 50;
    bool measured = true;
    for (const std::string& kept : {trace, std::string()}) {
        std::vector<double> costs = LocalLedgerCosts(
            local, role, stem + (kept.empty() ? "-bare" : "-ledger"), kClients, kPerClient, kept);
        measured = measured && !costs.empty();
        if (costs.empty()) continue;
        std::printf(
            "server ledger, %d clients at once, %d units, %3zu KB trace each: median %5.2f ms, "
            "99th percentile %5.2f ms per unit (targets at most 5 and 20 ms)\n",
            kClients, kClients * kPerClient, kept.size() / 1024, Percentile(costs, 0.5),
            Percentile(costs, 0.99));
    }
    // The batches go again: a benchmark leaves the server as it found it.
    for (const char* kind : {"-one", "-line", "-ledger", "-bare"}) {
        const std::string b = Quoted(stem + kind);
        Psql(uri, "DELETE FROM qor_attempts WHERE batch = " + b +
                      "; DELETE FROM qor_rows WHERE batch = " + b +
                      "; DELETE FROM qor_batches WHERE name = " + b);
    }
    return measured;
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
    const UnitPlan plan = LedgerPlan(ledgerUnits);
    const std::string trace = TraceLike();
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
        ledgerUnits, trace.size() / 1024, Percentile(costs, 0.5), sum / costs.size(),
        Percentile(costs, 0.95));

    bool server = true;
    if (const char* uri = std::getenv("QOR_TEST_PG_URI"); uri && *uri) {
        server = ServerPart(dir, uri, kPace, trace);
    } else {
        std::printf("server line and ledger: skipped (QOR_TEST_PG_URI names no server)\n");
    }
    std::filesystem::remove_all(dir);
    return one > 0 && all > 0 && server ? 0 : 1;
}
