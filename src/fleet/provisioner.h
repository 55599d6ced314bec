#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "fleet/ledger.h"
#include "fleet/unit_plan.h"

// Where a port's current unit stands.
enum class UnitPhase {
    Waiting,      // no module answers yet
    Identifying,  // a module answered: its identity and hardware address
    Preview,      // --dry-run: the row the module would get (nothing written)
    Downloading,
    Storing,    // store and reset, then waiting for the module to come back
    Verifying,  // the read-back
    Done,
    AlreadyDone,  // the ledger records it done with this configuration; left alone
    NoRowLeft,
    Failed,
    Interrupted,
    Removal,     // done with this module: waiting for it to be taken away
    PortFailed,  // the port cannot be opened
    Recording,   // finished with the module; the ledger cannot take the outcome yet
};
// The phase's word in progress lines, log lines and JSON ("downloading", "already-done", ...).
const char* PhaseName(UnitPhase phase);
// The unit has come to an end (done, already done, no row left, failed, interrupted, port failed).
bool IsFinalPhase(UnitPhase phase);

struct FleetEvent {
    std::string port;
    UnitPhase phase = UnitPhase::Waiting;
    int percent = -1;  // within the phase; -1 where there is no measure
    int row = 0;       // 0 until the unit has one
    std::string hw;    // 00:00:BC:1A:2B:3C
    std::string ip;
    std::string firmware;
    std::string series;
    std::string text;  // the outcome or the reason, readable
};

// What a front end (qorwctl's lines, a window) follows a run by. Calls come from the workers'
// threads, one at a time.
class FleetObserver {
public:
    virtual ~FleetObserver() = default;
    virtual void OnEvent(const FleetEvent& event) = 0;
};

struct ProvisionOptions {
    std::vector<std::string> ports;  // device paths, one worker each
    int baudIndex = -1;    // the PC's rate row, 0..6; -1: the window's (QORWUTIL.CFG, else 38400)
    bool ram = false;      // RAM only: no store and reset
    bool watch = false;    // a station: module after module until every row is done
    bool preview = false;  // --dry-run
    bool force = false;    // provision again what the ledger records done
    bool correct = false;  // changed rows bound to modules are corrections for them
    double pauseScale = 1.0;    // the reset sequence's pauses
    int probeIntervalMs = 500;  // between probes of an empty port
    // Without watch: how long a port may stay silent before the run gives it up as a port
    // where no module answered.
    int answerWaitMs = 30000;
    // Between tries to record an outcome the ledger could not take (a server away).
    int recordRetryMs = 1000;
};

struct ProvisionSummary {
    int done = 0, alreadyDone = 0, failed = 0, interrupted = 0, noRowLeft = 0, portFailures = 0;
};

// The provisioning station: one worker per port, each with its own channel, document and
// pages; the ledger is all they share.
class Provisioner {
public:
    Provisioner(const UnitPlan& plan, Ledger& ledger, ProvisionOptions options,
                FleetObserver& observer);
    // Runs every worker to its end. Setting stop (a signal handler may) ends each unit in
    // flight after its current request; it is recorded as interrupted.
    ProvisionSummary Run(const std::atomic<bool>& stop);
    ~Provisioner();

    // For a window steering a run from another thread, while Run runs. Stop ends one port's
    // unit in flight (recorded as interrupted) and its worker; Retry takes the module that has
    // just finished on the port (failed, say) again instead of waiting for it to be removed.
    // Both are ignored for a port the run does not have.
    void Stop(const std::string& port);
    void Retry(const std::string& port);

private:
    class Worker;
    void Emit(const FleetEvent& event);
    template <typename F>
    void ForPort(const std::string& port, F f);

    const UnitPlan& plan_;
    Ledger& ledger_;
    ProvisionOptions options_;
    FleetObserver& observer_;
    std::mutex mu_;  // observer calls and the summary
    ProvisionSummary summary_;
    std::mutex previewMu_;
    std::set<int> previewed_;  // rows a dry run has shown for a module
    std::mutex workersMu_;
    std::vector<std::unique_ptr<Worker>> workers_;  // while Run runs
};
