#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct UnitPlan;
struct UnitConfig;

// The provisioning ledger: an SQLite file that records which row of the units file went to
// which module (hardware address), what that row held, on which port, with which firmware and
// series, and how each attempt ended. Every assignment and every outcome is one transaction
// (BEGIN IMMEDIATE), so several workers and several processes can share one file: a row is
// never given to two modules, and a run that stops anywhere leaves every unit either finished
// or still bound to its module, which gets the same row when it comes back.
class Ledger {
public:
    // Where a units file's ledger is unless one is named: provision.db beside it.
    static std::string DefaultPath(const std::string& unitsPath);

    // The outcome words the ledger keeps; the outcome text says more.
    static constexpr const char* kInProgress = "in progress";
    static constexpr const char* kDone = "done";
    static constexpr const char* kFailed = "failed";
    static constexpr const char* kInterrupted = "interrupted";
    // The outcome of an attempt whose process ended without recording one.
    static constexpr const char* kRunEnded = "the run ended without recording an outcome";

    // Opens the ledger at path; null with a reason on failure. Nothing is written to a file
    // that is not a ledger (an unrelated database, or not a database at all). Read-only: never
    // writes (a ledger that does not exist yet is an empty one). Otherwise the file and its
    // folder must be writable; the file is created or brought to the current layout, and the
    // attempts left in progress by processes that are gone are closed as interrupted.
    static std::unique_ptr<Ledger> Open(const std::string& path, bool readOnly, std::string& error);
    ~Ledger();
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // Whether the units table agrees with the ledger about every row already bound to a module:
    // each such row still in its place with the values it had (rows added at the end are new
    // units). With correct, a changed row is a correction for its module. Never accepted: a
    // bound row gone from the table, tied to another module, or an IP address the ledger
    // records for another row's module. False with every disagreement, one line each.
    bool CheckPlan(const UnitPlan& plan, bool correct, std::string& error);

    // The module a claim is for, as its probe found it.
    struct Module {
        std::string hw;  // normalised: 12 hex digits
        std::string port, firmware, series;
    };
    struct ClaimOptions {
        bool force = false;    // provision again what is recorded done
        bool correct = false;  // a bound row's changed values are a correction (CheckPlan)
        bool preview = false;  // nothing is written
        // Rows a preview has shown for other modules: they count as given already.
        const std::set<int>* promised = nullptr;
    };
    struct Claim {
        enum Kind {
            Assigned,     // row is this module's; attempt is the attempt to finish
            AlreadyDone,  // the module is recorded done with its row's configuration
            NoRowLeft,    // every row has gone to a module
            Conflict,     // the units file and the ledger disagree about this module (text)
            Error,        // the database failed (text)
        } kind = Error;
        int row = 0;
        int64_t attempt = 0;
        std::string hw;
        std::string text;
    };
    // Chooses the module's row: the row that names its hardware address, else the row the
    // ledger has already bound to it, else the first row no module has received; then binds
    // it, recording what the row holds, and opens an attempt.
    Claim ClaimRow(const UnitPlan& plan, const Module& module, const ClaimOptions& options);
    // Closes an attempt with its state (kDone, kFailed, kInterrupted), readable outcome and
    // what crossed the link meanwhile (LinkTraceRecorder's lines); earlier attempts of the row
    // give up their traces.
    bool Finish(const Claim& claim, const std::string& state, const std::string& outcome,
                const std::string& trace = {});

    struct Entry {
        int row = 0;
        std::string ip, hw;
        std::string
            port;  // as the run named it: a by-id or by-path name names the adapter or socket
        std::string firmware, series;
        std::string state;                   // kInProgress, kDone, kFailed or kInterrupted
        std::string outcome;                 // readable
        std::string assignedAt, finishedAt;  // UTC, 2026-12-08T11:06:27.299Z; finished: empty
        std::string templateFingerprint;     // of the last attempt's template (UnitPlan)
    };
    // Every row that has gone to a module, in row order.
    std::vector<Entry> Report(std::string& error);
    // The link trace of the row's last finished attempt (empty when it kept none); nothing when
    // the row has no finished attempt, or with LastError when the ledger cannot be read.
    std::optional<std::string> Trace(int row);
    // Rows whose module is recorded done with the plan's configuration for it: a station stops
    // when every row is.
    int DoneRows(const UnitPlan& plan);

    const std::string& LastError() const { return error_; }

private:
    Ledger(sqlite3* db, int layout) : db_(db), layout_(layout) {}
    bool Exec(const char* sql);
    // Brings tables of the given layout (0: none yet) to the current one.
    bool LayOut(int from);
    bool CloseAbandonedAttempts();

    sqlite3* db_;
    int layout_;  // below the current one: an earlier version's ledger opened read-only
    std::mutex mu_;
    std::string error_;
};
