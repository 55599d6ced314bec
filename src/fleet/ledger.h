#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct UnitPlan;

// The provisioning ledger: an SQLite file that records which row of the units file went to
// which module (hardware address), on which port, with which firmware and series, and how it
// ended. Every assignment and every outcome is one transaction (BEGIN IMMEDIATE), so several
// workers and several processes can share one file: a row is never given to two modules, and a
// run that stops anywhere leaves every unit either finished or still bound to its module, which
// gets the same row when it comes back.
class Ledger {
public:
    // The outcome words the ledger keeps; the outcome text says more.
    static constexpr const char* kInProgress = "in progress";
    static constexpr const char* kDone = "done";
    static constexpr const char* kFailed = "failed";
    static constexpr const char* kInterrupted = "interrupted";

    // Opens (creating it unless readOnly) the ledger at path; null with a reason on failure.
    // A read-only ledger that does not exist yet is an empty one.
    static std::unique_ptr<Ledger> Open(const std::string& path, bool readOnly, std::string& error);
    ~Ledger();
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

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
        std::string text;
    };
    // Chooses the module's row: the row that names its hardware address, else the row the
    // ledger has already bound to it, else the first row no module has received; then binds
    // it and opens an attempt. With preview, nothing is written; the rows in promised count as
    // given already (what a preview has shown for other modules).
    Claim ClaimRow(const UnitPlan& plan, const std::string& hw, const std::string& port,
                   const std::string& firmware, bool force, bool preview = false,
                   const std::set<int>& promised = {});
    // Closes an attempt with its state (kDone, kFailed, kInterrupted) and readable outcome.
    bool Finish(const Claim& claim, const std::string& hw, const std::string& state,
                const std::string& outcome, const std::string& series);

    struct Entry {
        int row = 0;
        std::string ip, hw, port, firmware, series, state, outcome, assignedAt, finishedAt;
    };
    // Every row that has gone to a module, in row order.
    std::vector<Entry> Report(std::string& error);
    // Rows whose module is recorded done: a station stops when every row is.
    int DoneRows();

    const std::string& LastError() const { return error_; }

private:
    explicit Ledger(sqlite3* db) : db_(db) {}
    bool Exec(const char* sql);

    sqlite3* db_;
    std::mutex mu_;
    std::string error_;
};
