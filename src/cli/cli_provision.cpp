#include "cli/cli_provision.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_app.h"
#include "cli/cli_json.h"
#include "cli/cli_options.h"
#include "cli/cli_ui_host.h"
#include "cli/serial_ports.h"
#include "fleet/ledger.h"
#include "fleet/ledger_export.h"
#include "fleet/provisioner.h"
#include "fleet/unit_plan.h"
#include "link/link_trace.h"
#include "link/serial_devices.h"
#include "link/serial_port.h"

namespace {

constexpr int kExitInterrupted = 130;

// After "row N".
constexpr const char* kNoFinishedAttempt = " has no finished attempt in the ledger";
constexpr const char* kNoTraceKept = ": its last attempt kept no link trace";

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int) {
    g_stop = true;
}

// The command line as provisioning takes it: the ledger's default place. Ports stay as given
// until they are known to name different ports, so a repeat is named in the user's spellings.
using ProvisionArgs = CliOptions;

ProvisionArgs ProvisionArgsOf(const CliOptions& options) {
    ProvisionArgs a = options;
    if (a.ledgerPath.empty()) a.ledgerPath = Ledger::DefaultPath(a.unitsPath);
    if (a.batch.empty() && Ledger::IsServer(a.ledgerPath))
        a.batch = Ledger::DefaultBatch(a.unitsPath);
    return a;
}

// Why a ledger's place cannot be used as given; empty when it can.
std::string LedgerPlaceProblem(const std::string& where, const std::string& batch) {
    if (Ledger::HasPassword(where)) return Ledger::kPasswordInUri;
    if (!batch.empty() && !Ledger::IsServer(where))
        return "--batch names a batch on a server; a ledger file is a batch of its own";
    return {};
}

// The time of day a log line starts with: the trace's, to the second.
std::string Clock() {
    return TraceTimeStamp().substr(0, 8);
}

nlohmann::ordered_json EventJson(const FleetEvent& e) {
    nlohmann::ordered_json j = {{"event", "unit"}, {"port", e.port}, {"phase", PhaseName(e.phase)}};
    if (e.percent >= 0) j["percent"] = e.percent;
    if (e.row > 0) j["row"] = e.row;
    if (!e.hw.empty()) j["hw"] = e.hw;
    if (!e.ip.empty()) j["ip"] = e.ip;
    if (!e.firmware.empty()) j["firmware"] = e.firmware;
    if (!e.series.empty()) j["series"] = e.series;
    if (!e.text.empty()) j["text"] = JsonText(e.text);
    return j;
}

// What a person reads of a unit: port, row, module, address, phase, and percent or outcome.
std::string EventLine(const FleetEvent& e, bool withPercent) {
    std::string line = e.port;
    if (e.row > 0) line += "  row " + std::to_string(e.row);
    if (!e.hw.empty()) line += "  " + e.hw;
    if (!e.ip.empty()) line += "  " + e.ip;
    line += "  ";
    line += PhaseName(e.phase);
    if (withPercent && e.percent >= 0) line += " " + std::to_string(e.percent) + "%";
    if (!e.text.empty()) line += ": " + e.text;
    return line;
}

// The three ways of showing a run: JSON objects, live lines on a terminal, or log lines.
class ProvisionView : public FleetObserver {
public:
    ProvisionView(const std::vector<std::string>& ports, bool json, bool quiet)
        : json_(json), quiet_(quiet), live_(!json && !quiet && ::isatty(1)) {
        for (const std::string& p : ports)
            lines_[p] = p + "  " + PhaseName(UnitPhase::Waiting);
        order_ = ports;
    }

    void OnEvent(const FleetEvent& e) override {
        if (json_) {
            std::printf("%s\n", JsonLine(EventJson(e)).c_str());
            std::fflush(stdout);
            return;
        }
        bool final = IsFinalPhase(e.phase);
        if (live_) {
            lines_[e.port] = EventLine(e, true);
            if (final) {
                Log(Clock() + " " + EventLine(e, false));
            } else {
                Draw();
            }
            return;
        }
        // Log lines: phase changes only, not every percent.
        if (quiet_ && !final) return;
        if (!final && lastPhase_.count(e.port) && lastPhase_[e.port] == e.phase) return;
        lastPhase_[e.port] = e.phase;
        std::printf("%s %s\n", Clock().c_str(), EventLine(e, false).c_str());
        std::fflush(stdout);
    }

    void Finish() {
        if (live_ && drawn_) {
            std::printf("\x1b[%zuA\x1b[J", order_.size());
            drawn_ = false;
        }
        std::fflush(stdout);
    }

private:
    void Erase() {
        if (drawn_) std::printf("\x1b[%zuA\x1b[J", order_.size());
        drawn_ = false;
    }
    void Draw() {
        Erase();
        for (const std::string& p : order_)
            std::printf("%s\x1b[K\n", lines_[p].c_str());
        drawn_ = true;
        std::fflush(stdout);
    }
    void Log(const std::string& line) {
        Erase();
        std::printf("%s\n", line.c_str());
        Draw();
    }

    bool json_, quiet_, live_;
    bool drawn_ = false;
    std::vector<std::string> order_;
    std::map<std::string, std::string> lines_;
    std::map<std::string, UnitPhase> lastPhase_;
};

void PrintPlan(const UnitPlan& plan, bool json) {
    if (json) {
        nlohmann::ordered_json j = {{"event", "template"}, {"fingerprint", plan.fingerprint}};
        std::printf("%s\n", JsonLine(j).c_str());
    } else {
        std::printf("template fingerprint %s\n", plan.fingerprint.c_str());
    }
    for (const UnitConfig& u : plan.units) {
        if (json) {
            nlohmann::ordered_json j = {
                {"event", "row"}, {"row", u.row}, {"line", u.line}, {"ip", u.ip}};
            if (!u.tiedHw.empty()) j["hw"] = FormatHwAddress(u.tiedHw);
            std::printf("%s\n", JsonLine(j).c_str());
        } else {
            std::printf("row %d (line %d)  %s%s\n", u.row, u.line, u.ip.c_str(),
                        u.tiedHw.empty() ? "" : ("  for " + FormatHwAddress(u.tiedHw)).c_str());
        }
    }
    std::fflush(stdout);
}

void InstallStopHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    // A second Ctrl+C ends the program at once; the ledger stays consistent all the same.
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace

int RunProvision(const CliOptions& options) {
    ProvisionArgs a = ProvisionArgsOf(options);
    if (std::string same = SamePortTwice(a.ports); !same.empty()) return Usage(same);
    if (std::string why = LedgerPlaceProblem(a.ledgerPath, options.batch); !why.empty())
        return Usage(why);
    std::string error;

    // The whole table is checked before any port is opened.
    UnitPlan plan;
    switch (BuildUnitPlan(a.templatePath, a.unitsPath, plan, error)) {
        case PlanResult::Ok:
            break;
        case PlanResult::Usage:
            return Usage(error);
        case PlanResult::Refused:
            // Every problem of the table, one a line.
            for (size_t at = 0; at <= error.size();) {
                size_t end = std::min(error.find('\n', at), error.size());
                std::fprintf(stderr, "qorwctl: %s\n", error.substr(at, end - at).c_str());
                at = end + 1;
            }
            return kExitRefused;
    }
    for (std::string& port : a.ports)
        port = DeviceNamed(port);
    if (a.ports.empty()) {
        for (const SerialDevice& d : FindSerialDevices())
            a.ports.push_back(d.StableName());
    }
    if (a.dryRun) PrintPlan(plan, a.json);
    if (a.ports.empty() && !a.dryRun) return Usage("no serial port found; name one with --port");

    // The ledger is checked before any port is opened; a dry run never writes to it.
    Ledger::OpenOptions where;
    where.readOnly = a.dryRun;
    where.batch = a.batch;
    where.station = a.station;
    auto ledger = Ledger::Open(a.ledgerPath, where, error);
    if (!ledger || !ledger->CheckPlan(plan, a.correct, error)) {
        if (ledger) error = a.unitsPath + ": " + error;
        std::fprintf(stderr, "qorwctl: %s\n", error.c_str());
        return kExitRefused;
    }
    if (a.ports.empty()) return kExitOk;

    ProvisionOptions o;
    o.ports = a.ports;
    o.baudIndex = a.baudIndex.value_or(-1);  // else as the window starts
    o.ram = a.ram;
    o.watch = a.watch && !a.dryRun;
    o.preview = a.dryRun;
    o.force = a.force;
    o.correct = a.correct;
    o.pauseScale = CliUiHost::PauseScaleFromEnvironment();
    o.answerWaitMs = a.waitSeconds * 1000;
    InstallStopHandlers();
    ProvisionView view(a.ports, a.json, a.quiet);
    Provisioner provisioner(plan, *ledger, o, view);
    ProvisionSummary s = provisioner.Run(g_stop);
    view.Finish();

    if (a.json) {
        nlohmann::ordered_json j = {{"event", "summary"},
                                    {"done", s.done},
                                    {"already_done", s.alreadyDone},
                                    {"failed", s.failed},
                                    {"interrupted", s.interrupted},
                                    {"no_row_left", s.noRowLeft},
                                    {"port_failures", s.portFailures}};
        std::printf("%s\n", JsonLine(j).c_str());
    } else if (!a.dryRun) {
        std::printf(
            "%d done, %d already done, %d failed, %d interrupted, %d without a row, %d port "
            "failure%s\n",
            s.done, s.alreadyDone, s.failed, s.interrupted, s.noRowLeft, s.portFailures,
            s.portFailures == 1 ? "" : "s");
    }
    std::fflush(stdout);
    if (g_stop) return kExitInterrupted;
    if (s.failed > 0 || s.noRowLeft > 0) return kExitRefused;
    if (s.portFailures > 0) return kExitLink;
    return kExitOk;
}

namespace {

// ledger --trace ROW: the link trace of the row's last finished attempt, as --trace prints one.
int PrintTrace(Ledger& ledger, const std::string& path, int row) {
    std::optional<std::string> trace = ledger.Trace(row);
    std::string why = !ledger.LastError().empty() ? ledger.LastError()
                      : !trace         ? "row " + std::to_string(row) + kNoFinishedAttempt
                      : trace->empty() ? "row " + std::to_string(row) + kNoTraceKept
                                       : std::string();
    if (!why.empty()) {
        std::fprintf(stderr, "qorwctl: %s: %s\n", path.c_str(), why.c_str());
        return kExitRefused;
    }
    std::fwrite(trace->data(), 1, trace->size(), stdout);
    std::fflush(stdout);
    return kExitOk;
}

std::vector<std::vector<std::string>> EntriesTable(const std::vector<Ledger::Entry>& entries) {
    std::vector<std::vector<std::string>> table = {{"ROW", "IP ADDRESS", "HARDWARE ADDRESS",
                                                    "STATION", "PORT", "FIRMWARE", "SERIES",
                                                    "FINISHED", "TEMPLATE", "OUTCOME"}};
    auto shown = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    for (const Ledger::Entry& e : entries) {
        std::string outcome =
            e.state == e.outcome || e.outcome.empty() ? e.state : e.state + ": " + e.outcome;
        table.push_back({std::to_string(e.row), e.ip, e.hw, shown(e.station), e.port, e.firmware,
                         e.series, shown(e.finishedAt), shown(e.templateFingerprint), outcome});
    }
    return table;
}

std::vector<std::vector<std::string>> BatchesTable(const std::vector<Ledger::Batch>& batches) {
    std::vector<std::vector<std::string>> table = {
        {"BATCH", "ROWS", "BOUND", "DONE", "CREATED", "BY"}};
    for (const Ledger::Batch& b : batches) {
        table.push_back({b.name, std::to_string(b.rows), std::to_string(b.bound),
                         std::to_string(b.done), b.createdAt, b.createdBy});
    }
    return table;
}

// Per station, in name order: "20 done, 1 failed" (states in the order first seen).
std::map<std::string, std::string> StationCounts(const std::vector<Ledger::Entry>& entries) {
    std::map<std::string, std::vector<std::pair<std::string, int>>> counts;
    for (const Ledger::Entry& e : entries) {
        auto& states = counts[e.station.empty() ? "-" : e.station];
        auto it = std::find_if(states.begin(), states.end(),
                               [&](const auto& s) { return s.first == e.state; });
        if (it == states.end()) {
            states.emplace_back(e.state, 1);
        } else {
            ++it->second;
        }
    }
    std::map<std::string, std::string> lines;
    for (const auto& [station, states] : counts) {
        for (const auto& [state, n] : states)
            lines[station] +=
                (lines[station].empty() ? "" : ", ") + std::to_string(n) + " " + state;
    }
    return lines;
}

}  // namespace

int RunLedger(const CliOptions& options) {
    const std::string& path = options.args[0];
    bool csv = options.csv, json = options.json;
    if (csv && json) return Usage("--csv and --json do not go together");
    if (options.traceRow > 0 && (csv || json))
        return Usage("--trace prints a trace, which has no --csv or --json form");
    if (std::string why = LedgerPlaceProblem(path, options.batch); !why.empty()) return Usage(why);
    const bool server = Ledger::IsServer(path);
    if (server && options.traceRow > 0 && options.batch.empty())
        return Usage("--trace on a server needs the row's --batch");
    if (!server && ::access(path.c_str(), F_OK) != 0) {
        std::fprintf(stderr, "qorwctl: %s: no such ledger\n", path.c_str());
        return kExitRefused;
    }
    std::string error;
    Ledger::OpenOptions where;
    where.readOnly = true;
    where.batch = options.batch;
    auto ledger = Ledger::Open(path, where, error);
    if (ledger && options.traceRow > 0)
        return PrintTrace(*ledger, Ledger::Shown(path), options.traceRow);
    std::vector<Ledger::Entry> entries;
    std::vector<Ledger::Batch> batches;
    if (ledger && server && options.batch.empty() && !csv && !json) {
        batches = ledger->Batches(error);
    } else if (ledger) {
        entries = ledger->Report(error);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "qorwctl: %s\n", error.c_str());
        return kExitRefused;
    }
    if (server && options.batch.empty() && !csv && !json) {
        std::fputs(ColumnsText(BatchesTable(batches)).c_str(), stdout);
        std::fflush(stdout);
        return kExitOk;
    }

    if (json || csv) {
        std::string text = json ? LedgerJson(entries) : LedgerCsv(entries);
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        std::fputs(ColumnsText(EntriesTable(entries)).c_str(), stdout);
        // Who did what: each station's units by their state.
        if (server) {
            for (const auto& [station, line] : StationCounts(entries))
                std::printf("%s: %s\n", station.c_str(), line.c_str());
        }
    }
    std::fflush(stdout);
    return kExitOk;
}
