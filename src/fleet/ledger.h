#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct UnitPlan;
struct UnitConfig;

// The provisioning ledger: it records which row of the units file went to which module
// (hardware address), what that row held, on which port, at which station, with which firmware
// and series, and how each attempt ended. A row is never given to two modules, and a run that
// stops anywhere leaves every unit either finished or still bound to its module, which gets the
// same row when it comes back.
//
// Two kinds: an SQLite file for one bench (a path), and a batch on a PostgreSQL server for a
// line of benches (a postgresql:// or postgres:// URI); the engine sees only this interface.
class Ledger {
public:
    // Where a units file's ledger is unless one is named: provision.db beside it.
    static std::string DefaultPath(const std::string& unitsPath);
    // Whether a ledger's place names a PostgreSQL server (a connection URI) rather than a file.
    static bool IsServer(const std::string& where);
    // A place as it may be shown or logged: any password in a URI is hidden.
    static std::string Shown(const std::string& where);
    // Whether a URI carries a password, which belongs in ~/.pgpass or the environment instead.
    static bool HasPassword(const std::string& where);
    // The batch a units file makes on a server unless one is named: its name without folder
    // and extension.
    static std::string DefaultBatch(const std::string& unitsPath);

    // The outcome words the ledger keeps; the outcome text says more.
    static constexpr const char* kInProgress = "in progress";
    static constexpr const char* kDone = "done";
    static constexpr const char* kFailed = "failed";
    static constexpr const char* kInterrupted = "interrupted";
    // Why a URI with a password is refused: a command line and a settings file show it.
    static constexpr const char* kPasswordInUri =
        "the ledger's URI carries a password; put it in ~/.pgpass (or the PGPASSWORD "
        "environment variable) instead, where no process list or log shows it";
    // The outcome of an attempt whose process ended without recording one.
    static constexpr const char* kRunEnded = "the run ended without recording an outcome";

    struct OpenOptions {
        // Never writes; a ledger (or batch) that does not exist yet is an empty one.
        bool readOnly = false;
        // On a server: the batch. Empty: a read-only report covers every batch; a station
        // must name one. A file is a batch of its own and ignores it.
        std::string batch;
        // Who records the attempts; empty: the host name.
        std::string station;
    };
    // Opens the ledger at where (a file path or a server URI); null with a reason on failure,
    // the place shown without its password. Nothing is written to a file that is not a ledger
    // (an unrelated database, or not a database at all). Unless read-only, the file and its
    // folder must be writable (the server must take writes); the tables are created or brought
    // to the current layout, and the attempts left in progress by stations that are gone are
    // closed as interrupted.
    static std::unique_ptr<Ledger> Open(const std::string& where, const OpenOptions& options,
                                        std::string& error);
    static std::unique_ptr<Ledger> Open(const std::string& where, bool readOnly,
                                        std::string& error) {
        OpenOptions o;
        o.readOnly = readOnly;
        return Open(where, o, error);
    }
    virtual ~Ledger() = default;
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // Whether the units table agrees with the ledger about every row already bound to a module:
    // each such row still in its place with the values it had (rows added at the end are new
    // units). With correct, a changed row is a correction for its module. Never accepted: a
    // bound row gone from the table, tied to another module, or an IP address the ledger
    // records for another row's module. On a server the batch holds the whole table and its
    // template: another template, or a row that differs from the batch's (unless corrected),
    // is refused too; the first station stores the table, and rows added at the end join the
    // batch. False with every disagreement, one line each.
    virtual bool CheckPlan(const UnitPlan& plan, bool correct, std::string& error) = 0;

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
    // The claim is committed before it returns: nothing is held while the module is written.
    virtual Claim ClaimRow(const UnitPlan& plan, const Module& module,
                           const ClaimOptions& options) = 0;
    // Closes an attempt with its state (kDone, kFailed, kInterrupted), readable outcome and
    // what crossed the link meanwhile (LinkTraceRecorder's lines); earlier attempts of the row
    // may give up their traces. False (LastError) when it could not be recorded: the caller
    // keeps it and tries again; recording an attempt twice changes nothing.
    virtual bool Finish(const Claim& claim, const std::string& state, const std::string& outcome,
                        const std::string& trace = {}) = 0;

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
        std::string station;                 // of the last attempt
        std::string batch;                   // on a server
    };
    // The batches a server holds, oldest first: rows, rows bound to a module, rows done. A file
    // holds none.
    struct Batch {
        std::string name;
        int rows = 0, done = 0, bound = 0;
        std::string createdAt, createdBy;  // UTC; the station
    };
    virtual std::vector<Batch> Batches(std::string& /*error*/) { return {}; }
    // Every row that has gone to a module, in row order (on a server opened without a batch:
    // of every batch, batch by batch).
    virtual std::vector<Entry> Report(std::string& error) = 0;
    // The link trace of the row's last finished attempt (empty when it kept none); nothing when
    // the row has no finished attempt, or with LastError when the ledger cannot be read.
    virtual std::optional<std::string> Trace(int row) = 0;
    // Rows whose module is recorded done with the plan's configuration for it: a station stops
    // when every row is.
    virtual int DoneRows(const UnitPlan& plan) = 0;

    const std::string& LastError() const { return error_; }

protected:
    Ledger() = default;
    std::mutex mu_;
    std::string error_;
};
