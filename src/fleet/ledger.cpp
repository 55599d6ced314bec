#include "fleet/ledger.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <map>
#include <set>

#include "fleet/unit_plan.h"

namespace {

constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS units (
    row INTEGER PRIMARY KEY,
    hw TEXT NOT NULL UNIQUE,
    ip TEXT NOT NULL,
    fingerprint TEXT NOT NULL,
    port TEXT NOT NULL,
    firmware TEXT NOT NULL DEFAULT '',
    series TEXT NOT NULL DEFAULT '',
    state TEXT NOT NULL,
    outcome TEXT NOT NULL DEFAULT '',
    assigned_at TEXT NOT NULL,
    finished_at TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS attempts (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    row INTEGER NOT NULL,
    hw TEXT NOT NULL,
    port TEXT NOT NULL,
    firmware TEXT NOT NULL DEFAULT '',
    series TEXT NOT NULL DEFAULT '',
    started_at TEXT NOT NULL,
    finished_at TEXT NOT NULL DEFAULT '',
    state TEXT NOT NULL,
    outcome TEXT NOT NULL DEFAULT ''
);
)";

constexpr const char* kNow = "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')";

// One prepared statement, finalised when it goes.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return stmt_ != nullptr; }
    Statement& Bind(int i, const std::string& text) {
        sqlite3_bind_text(stmt_, i, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, int64_t n) {
        sqlite3_bind_int64(stmt_, i, n);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
    std::string Text(int col) {
        const unsigned char* t = sqlite3_column_text(stmt_, col);
        return t ? reinterpret_cast<const char*>(t) : "";
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace

std::unique_ptr<Ledger> Ledger::Open(const std::string& path, bool readOnly, std::string& error) {
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_FULLMUTEX;
    std::string name = path;
    if (readOnly && !exists) {
        name = ":memory:";
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    } else if (readOnly) {
        flags |= SQLITE_OPEN_READONLY;
    } else {
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    }
    if (sqlite3_open_v2(name.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        error = path + ": " + (db ? sqlite3_errmsg(db) : "cannot be opened");
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<Ledger> ledger(new Ledger(db));
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (!readOnly) {
        // The write-ahead log lets readers (a report) go on while a station writes. Without a
        // flush per transaction a commit survives any crash of the program; only a crash of
        // the machine itself may take back the last ones, never leaving the file inconsistent.
        if (!ledger->Exec("PRAGMA journal_mode=WAL") ||
            !ledger->Exec("PRAGMA synchronous=NORMAL") || !ledger->Exec(kSchema)) {
            error = path + ": " + ledger->error_;
            return nullptr;
        }
    } else if (name == ":memory:" && !ledger->Exec(kSchema)) {
        error = ledger->error_;
        return nullptr;
    } else {
        // A file that is not a ledger says so here rather than in the first query.
        Statement probe(db, "SELECT count(*) FROM units");
        if (!probe.Ok()) {
            error = path + ": not a provisioning ledger (" + sqlite3_errmsg(db) + ")";
            return nullptr;
        }
    }
    return ledger;
}

Ledger::~Ledger() {
    sqlite3_close(db_);
}

bool Ledger::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_ = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

Ledger::Claim Ledger::ClaimRow(const UnitPlan& plan, const std::string& hw, const std::string& port,
                               const std::string& firmware, bool force, bool preview,
                               const std::set<int>& promised) {
    std::lock_guard lk(mu_);
    Claim claim;
    auto fail = [&](Claim::Kind kind, std::string text) {
        Exec("ROLLBACK");
        claim.kind = kind;
        claim.text = std::move(text);
        return claim;
    };
    auto dbError = [&] { return fail(Claim::Error, sqlite3_errmsg(db_)); };
    // Taking the write lock first makes the choice and the binding one step for every process.
    if (!Exec(preview ? "BEGIN" : "BEGIN IMMEDIATE")) {
        claim.text = error_;
        return claim;
    }

    std::map<int, std::string> boundRows;  // row -> hw
    int boundRow = 0;
    std::string boundState, boundFingerprint;
    {
        Statement q(db_, "SELECT row, hw, state, fingerprint FROM units");
        int rc;
        while ((rc = q.Step()) == SQLITE_ROW) {
            int row = static_cast<int>(q.Int(0));
            boundRows[row] = q.Text(1);
            if (q.Text(1) == hw) {
                boundRow = row;
                boundState = q.Text(2);
                boundFingerprint = q.Text(3);
            }
        }
        if (rc != SQLITE_DONE) return dbError();
    }

    const UnitConfig* unit = nullptr;
    for (const UnitConfig& u : plan.units) {
        if (u.tiedHw == hw) unit = &u;
    }
    std::string shown = FormatHwAddress(hw);
    if (unit) {
        if (boundRow && boundRow != unit->row)
            return fail(Claim::Conflict,
                        "the units file ties " + shown + " to row " + std::to_string(unit->row) +
                            ", the ledger gave it row " + std::to_string(boundRow));
        if (auto it = boundRows.find(unit->row); it != boundRows.end() && it->second != hw)
            return fail(Claim::Conflict, "row " + std::to_string(unit->row) + " is tied to " +
                                             shown + " but the ledger gave it to " +
                                             FormatHwAddress(it->second));
    } else if (boundRow) {
        if (boundRow > static_cast<int>(plan.units.size()))
            return fail(Claim::Conflict, "the ledger gave " + shown + " row " +
                                             std::to_string(boundRow) +
                                             ", which the units file does not have");
        unit = &plan.units[boundRow - 1];
        if (!unit->tiedHw.empty())
            return fail(Claim::Conflict,
                        "the ledger gave " + shown + " row " + std::to_string(boundRow) +
                            ", which the units file ties to " + FormatHwAddress(unit->tiedHw));
    } else {
        for (const UnitConfig& u : plan.units) {
            if (u.tiedHw.empty() && !boundRows.count(u.row) && !promised.count(u.row)) {
                unit = &u;
                break;
            }
        }
        if (!unit) return fail(Claim::NoRowLeft, "no row is left for " + shown);
    }
    claim.row = unit->row;

    if (boundRow == unit->row && boundState == kDone && boundFingerprint == unit->fingerprint &&
        !force) {
        Exec("ROLLBACK");
        claim.kind = Claim::AlreadyDone;
        return claim;
    }
    if (preview) {
        Exec("ROLLBACK");
        claim.kind = Claim::Assigned;
        return claim;
    }

    Statement bind(db_, std::string("INSERT INTO units (row, hw, ip, fingerprint, port, firmware, "
                                    "state, outcome, assigned_at, finished_at) VALUES "
                                    "(?1, ?2, ?3, ?4, ?5, ?6, ?7, '', ") +
                            kNow +
                            ", '') ON CONFLICT(row) DO UPDATE SET ip = ?3, fingerprint = ?4, "
                            "port = ?5, firmware = ?6, state = ?7, outcome = '', series = '', "
                            "assigned_at = " +
                            kNow + ", finished_at = ''");
    bind.Bind(1, static_cast<int64_t>(unit->row)).Bind(2, hw).Bind(3, unit->ip);
    bind.Bind(4, unit->fingerprint).Bind(5, port).Bind(6, firmware).Bind(7, kInProgress);
    if (bind.Step() != SQLITE_DONE) return dbError();
    Statement attempt(db_, std::string("INSERT INTO attempts (row, hw, port, firmware, started_at, "
                                       "state) VALUES (?1, ?2, ?3, ?4, ") +
                               kNow + ", ?5)");
    attempt.Bind(1, static_cast<int64_t>(unit->row)).Bind(2, hw).Bind(3, port).Bind(4, firmware);
    attempt.Bind(5, kInProgress);
    if (attempt.Step() != SQLITE_DONE) return dbError();
    claim.attempt = sqlite3_last_insert_rowid(db_);
    if (!Exec("COMMIT")) return fail(Claim::Error, error_);
    claim.kind = Claim::Assigned;
    return claim;
}

bool Ledger::Finish(const Claim& claim, const std::string& hw, const std::string& state,
                    const std::string& outcome, const std::string& series) {
    std::lock_guard lk(mu_);
    if (!Exec("BEGIN IMMEDIATE")) return false;
    Statement a(db_, std::string("UPDATE attempts SET state = ?1, outcome = ?2, series = ?3, "
                                 "finished_at = ") +
                         kNow + " WHERE id = ?4");
    a.Bind(1, state).Bind(2, outcome).Bind(3, series).Bind(4, claim.attempt);
    Statement u(db_, std::string("UPDATE units SET state = ?1, outcome = ?2, series = ?3, "
                                 "finished_at = ") +
                         kNow + " WHERE row = ?4 AND hw = ?5");
    u.Bind(1, state).Bind(2, outcome).Bind(3, series).Bind(4, static_cast<int64_t>(claim.row));
    u.Bind(5, hw);
    if (a.Step() != SQLITE_DONE || u.Step() != SQLITE_DONE) {
        error_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return false;
    }
    return Exec("COMMIT");
}

std::vector<Ledger::Entry> Ledger::Report(std::string& error) {
    std::lock_guard lk(mu_);
    std::vector<Entry> entries;
    Statement q(db_,
                "SELECT row, ip, hw, port, firmware, series, state, outcome, assigned_at, "
                "finished_at FROM units ORDER BY row");
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        entries.push_back({static_cast<int>(q.Int(0)), q.Text(1), FormatHwAddress(q.Text(2)),
                           q.Text(3), q.Text(4), q.Text(5), q.Text(6), q.Text(7), q.Text(8),
                           q.Text(9)});
    }
    if (rc != SQLITE_DONE) error = sqlite3_errmsg(db_);
    return entries;
}

int Ledger::DoneRows() {
    std::lock_guard lk(mu_);
    Statement q(db_, "SELECT count(*) FROM units WHERE state = 'done'");
    return q.Step() == SQLITE_ROW ? static_cast<int>(q.Int(0)) : 0;
}
