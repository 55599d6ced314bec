#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "fleet/ledger_backends.h"
#include "fleet/ledger_rules.h"
#include "fleet/unit_plan.h"

using namespace ledger_rules;

namespace {

constexpr int kBusyTimeoutMs = 30000;

// "QORW": what marks an SQLite file as ours, and the layout it has.
constexpr int kApplicationId = 0x514F5257;
constexpr int kLayout = 4;

// The first layout, as the previous version wrote it; a later layout adds to it.
constexpr const char* kFirstLayout = R"(
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
// What a bound row held, and what each attempt wrote and which process made it.
constexpr const char* kSecondLayout = R"(
ALTER TABLE units ADD COLUMN row_values TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN ip TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN fingerprint TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN row_values TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN host TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN pid INTEGER NOT NULL DEFAULT 0;
ALTER TABLE attempts ADD COLUMN process TEXT NOT NULL DEFAULT '';
PRAGMA application_id = 1364152919;
PRAGMA user_version = 2;
)";
// The template each unit and attempt was made from, and the link trace of a row's last attempt.
constexpr const char* kThirdLayout = R"(
ALTER TABLE units ADD COLUMN template_fingerprint TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN template_fingerprint TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN trace TEXT NOT NULL DEFAULT '';
CREATE INDEX IF NOT EXISTS attempts_by_row ON attempts (row);
PRAGMA user_version = 3;
)";
// The station that made each attempt, and the last one of each unit.
constexpr const char* kFourthLayout = R"(
ALTER TABLE units ADD COLUMN station TEXT NOT NULL DEFAULT '';
ALTER TABLE attempts ADD COLUMN station TEXT NOT NULL DEFAULT '';
PRAGMA user_version = 4;
)";
// The previous version's tables, column for column: a statement that prepares only on them.
constexpr const char* kFirstLayoutProbe =
    "SELECT u.row, u.hw, u.ip, u.fingerprint, u.port, u.firmware, u.series, u.state, u.outcome, "
    "u.assigned_at, u.finished_at, a.id, a.row, a.hw, a.port, a.firmware, a.series, "
    "a.started_at, a.finished_at, a.state, a.outcome FROM units u, attempts a LIMIT 0";

constexpr const char* kNow = "strftime('%Y-%m-%dT%H:%M:%fZ', 'now')";

// Messages.
constexpr const char* kNotSqlite =
    "not an SQLite database, so not a provisioning ledger (left as it was)";
constexpr const char* kForeign =
    "an SQLite database that is not a provisioning ledger (left as it was; its tables: ";
constexpr const char* kNewerLayout = "a provisioning ledger of a newer version of qorwctl";
constexpr const char* kNotAFile = "not a file";
constexpr const char* kCannotWrite = "the ledger cannot be written: ";
constexpr const char* kReadOnlyFile = "the file is read-only";
constexpr const char* kReadOnlyFolder = " is read-only";
static_assert(kApplicationId == 1364152919 && kLayout == 4,
              "kSecondLayout sets the application, kFourthLayout the layout");

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

// An open connection, closed when it goes unless it is handed on.
struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close(db); }
    sqlite3* Release() { return std::exchange(db, nullptr); }
};

bool OpenConnection(const std::string& path, int flags, Connection& c, std::string& error) {
    if (sqlite3_open_v2(path.c_str(), &c.db, flags | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(c.db, kBusyTimeoutMs);
        return true;
    }
    error = c.db ? sqlite3_errmsg(c.db) : "cannot be opened";
    return false;
}

enum class Kind { Empty, Previous, Ours, Newer, NotSqlite, Foreign };

// What the file is, and its layout, by reading only.
Kind KindOf(sqlite3* db, std::string& tables, int& layout) {
    Statement id(db, "PRAGMA application_id");
    if (id.Step() != SQLITE_ROW) return Kind::NotSqlite;
    int64_t application = id.Int(0);
    Statement version(db, "PRAGMA user_version");
    if (version.Step() != SQLITE_ROW) return Kind::NotSqlite;
    layout = static_cast<int>(std::min<int64_t>(version.Int(0), kLayout + 1));
    Statement q(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    std::vector<std::string> names;
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW)
        names.push_back(q.Text(0));
    if (rc != SQLITE_DONE) return Kind::NotSqlite;
    for (const std::string& n : names)
        tables += (tables.empty() ? "" : ", ") + n;
    if (application == kApplicationId) return layout > kLayout ? Kind::Newer : Kind::Ours;
    if (application != 0) return Kind::Foreign;
    if (names.empty()) return Kind::Empty;
    for (const std::string& n : names) {
        if (n != "units" && n != "attempts" && n != "sqlite_sequence") return Kind::Foreign;
    }
    return Statement(db, kFirstLayoutProbe).Ok() ? Kind::Previous : Kind::Foreign;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Empty when the file (if it exists) and its folder can be written: SQLite keeps its journal
// beside the file. A file or folder without any write permission counts as read-only even for
// root, who could write it all the same.
std::string WhyNotWritable(const std::string& path, bool exists, const struct stat& st) {
    if (exists) {
        if ((st.st_mode & 0222) == 0) return kReadOnlyFile;
        if (::access(path.c_str(), W_OK) != 0) return std::string("the file: ") + strerror(errno);
    }
    std::string folder = FolderOf(path);
    struct stat fs {};
    if (::stat(folder.c_str(), &fs) != 0 || ::access(folder.c_str(), W_OK) != 0)
        return "the folder " + folder + ": " + strerror(errno);
    if ((fs.st_mode & 0222) == 0) return "the folder " + folder + kReadOnlyFolder;
    return {};
}

// The ledger of one bench: an SQLite file. Every assignment and every outcome is one
// transaction (BEGIN IMMEDIATE), so several workers and several processes can share the file.
class SqliteLedger : public Ledger {
public:
    SqliteLedger(sqlite3* db, int layout, std::string station)
        : db_(db), layout_(layout), station_(std::move(station)) {}
    ~SqliteLedger() override { sqlite3_close(db_); }

    bool CheckPlan(const UnitPlan& plan, bool correct, std::string& error) override;
    Claim ClaimRow(const UnitPlan& plan, const Module& module,
                   const ClaimOptions& options) override;
    bool Finish(const Claim& claim, const std::string& state, const std::string& outcome,
                const std::string& trace) override;
    std::vector<Entry> Report(std::string& error) override;
    std::optional<std::string> Trace(int row) override;
    int DoneRows(const UnitPlan& plan) override;

    bool Exec(const char* sql);
    // Brings tables of the given layout (0: none yet) to the current one.
    bool LayOut(int from);
    bool CloseAbandonedAttempts();
    sqlite3* Db() const { return db_; }

private:
    // The rows bound to modules, read in one query.
    std::vector<Bound> BoundRows(bool& ok);

    sqlite3* db_;
    int layout_;  // below the current one: an earlier version's ledger opened read-only
    std::string station_;
};

}  // namespace

std::unique_ptr<Ledger> OpenSqliteLedger(const std::string& path,
                                         const Ledger::OpenOptions& options, std::string& error) {
    const bool readOnly = options.readOnly;
    const std::string station = options.station.empty() ? HostName() : options.station;
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    auto fail = [&](const std::string& why) {
        error = path + ": " + why;
        return nullptr;
    };
    if (exists && !S_ISREG(st.st_mode)) return fail(kNotAFile);

    // Read before anything is written: a file that is not ours stays as it was.
    Connection reader;
    Kind kind = Kind::Empty;
    int layout = 0;
    if (exists) {
        std::string why, tables;
        if (!OpenConnection(path, SQLITE_OPEN_READONLY, reader, why)) return fail(why);
        kind = KindOf(reader.db, tables, layout);
        switch (kind) {
            case Kind::NotSqlite:
                return fail(kNotSqlite);
            case Kind::Foreign:
                return fail(kForeign + tables + ")");
            case Kind::Newer:
                return fail(kNewerLayout);
            default:
                break;
        }
    }

    if (readOnly) {
        if (exists && kind != Kind::Empty)
            return std::make_unique<SqliteLedger>(reader.Release(), layout, station);
        // Nothing recorded yet: an empty ledger of the current layout, in memory.
        Connection memory;
        std::string why;
        if (!OpenConnection(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, memory, why))
            return fail(why);
        auto ledger = std::make_unique<SqliteLedger>(memory.Release(), kLayout, station);
        if (!ledger->LayOut(0)) return fail(ledger->LastError());
        return ledger;
    }

    if (std::string why = WhyNotWritable(path, exists, st); !why.empty())
        return fail(kCannotWrite + why);
    Connection writer;
    std::string why;
    if (!OpenConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, writer, why))
        return fail(why);
    auto ledger = std::make_unique<SqliteLedger>(writer.Release(), kLayout, station);
    // The write-ahead log lets readers (a report) go on while a station writes. Without a
    // flush per transaction a commit survives any crash of the program; only a crash of the
    // machine itself may take back the last ones, never leaving the file inconsistent.
    if (!ledger->Exec("PRAGMA journal_mode=WAL") || !ledger->Exec("PRAGMA synchronous=NORMAL") ||
        !ledger->Exec("BEGIN IMMEDIATE"))
        return fail(ledger->LastError());
    // Another process may have laid the file out since it was read.
    {
        Statement version(ledger->Db(), "PRAGMA user_version");
        layout = version.Step() == SQLITE_ROW ? static_cast<int>(version.Int(0)) : 0;
    }
    if (!ledger->LayOut(layout)) {
        std::string cause = ledger->LastError();
        ledger->Exec("ROLLBACK");
        return fail(cause);
    }
    if (!ledger->Exec("COMMIT") || !ledger->CloseAbandonedAttempts())
        return fail(ledger->LastError());
    return ledger;
}

bool SqliteLedger::LayOut(int from) {
    if (from < 2 && (!Exec(kFirstLayout) || !Exec(kSecondLayout))) return false;
    if (from < 3 && !Exec(kThirdLayout)) return false;
    return from >= 4 || Exec(kFourthLayout);
}

bool SqliteLedger::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error_ = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

bool SqliteLedger::CloseAbandonedAttempts() {
    std::lock_guard lk(mu_);
    if (!Exec("BEGIN IMMEDIATE")) return false;
    std::vector<int64_t> gone;
    {
        // Only this machine's processes can be looked at; another machine's attempts stay.
        // The previous version named no process: its attempts ended with its runs.
        Statement q(db_,
                    "SELECT id, pid, process FROM attempts WHERE state = ?1 AND "
                    "(host = ?2 OR host = '')");
        q.Bind(1, kInProgress).Bind(2, HostName());
        while (q.Step() == SQLITE_ROW) {
            std::string process = q.Text(2);
            if (process.empty() || ProcessIdentity(q.Int(1)) != process) gone.push_back(q.Int(0));
        }
    }
    bool ok = true;
    for (int64_t id : gone) {
        Statement a(db_, std::string("UPDATE attempts SET state = ?1, outcome = ?2, "
                                     "finished_at = ") +
                             kNow + " WHERE id = ?3");
        ok = ok && a.Bind(1, kInterrupted).Bind(2, kRunEnded).Bind(3, id).Step() == SQLITE_DONE;
    }
    // A unit is in progress while one of its attempts is.
    Statement u(db_, std::string("UPDATE units SET state = ?1, outcome = ?2, finished_at = ") +
                         kNow +
                         " WHERE state = ?3 AND NOT EXISTS (SELECT 1 FROM attempts a WHERE "
                         "a.row = units.row AND a.hw = units.hw AND a.state = ?3)");
    ok =
        ok && u.Bind(1, kInterrupted).Bind(2, kRunEnded).Bind(3, kInProgress).Step() == SQLITE_DONE;
    if (!ok) {
        error_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return false;
    }
    return Exec("COMMIT");
}

std::vector<Bound> SqliteLedger::BoundRows(bool& ok) {
    std::vector<Bound> rows;
    Statement q(db_, std::string("SELECT row, hw, ip, fingerprint, ") +
                         (layout_ >= 2 ? "row_values" : "''") + ", state FROM units");
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        rows.push_back(
            {static_cast<int>(q.Int(0)), q.Text(1), q.Text(2), q.Text(3), q.Text(4), q.Text(5)});
    }
    ok = rc == SQLITE_DONE;
    return rows;
}

bool SqliteLedger::CheckPlan(const UnitPlan& plan, bool correct, std::string& error) {
    std::lock_guard lk(mu_);
    bool ok = false;
    Binding binding(BoundRows(ok), plan);
    if (!ok) {
        error = sqlite3_errmsg(db_);
        return false;
    }
    std::string lines;
    for (const Bound& b : binding.Rows()) {
        if (b.row > static_cast<int>(plan.units.size())) lines += "\n  " + Gone(b);
    }
    for (const UnitConfig& unit : plan.units) {
        if (std::string why = binding.Objection(unit, correct); !why.empty()) lines += "\n  " + why;
    }
    if (lines.empty()) return true;
    error = kDisagrees + lines + "\n" + kHowToAgree;
    return false;
}

Ledger::Claim SqliteLedger::ClaimRow(const UnitPlan& plan, const Module& module,
                                     const ClaimOptions& options) {
    std::lock_guard lk(mu_);
    Claim claim;
    claim.hw = module.hw;
    auto fail = [&](Claim::Kind kind, std::string text) {
        Exec("ROLLBACK");
        claim.kind = kind;
        claim.text = std::move(text);
        return claim;
    };
    // Taking the write lock first makes the choice and the binding one step for every process.
    if (!Exec(options.preview ? "BEGIN" : "BEGIN IMMEDIATE")) {
        claim.text = error_;
        return claim;
    }
    bool ok = false;
    Binding binding(BoundRows(ok), plan);
    if (!ok) return fail(Claim::Error, sqlite3_errmsg(db_));
    const Bound* mine = binding.OfModule(module.hw);

    const UnitConfig* unit = nullptr;
    for (const UnitConfig& u : plan.units) {
        if (u.tiedHw == module.hw) unit = &u;
    }
    if (!unit && mine) {
        if (mine->row > static_cast<int>(plan.units.size()))
            return fail(Claim::Conflict, Gone(*mine));
        unit = &plan.units[mine->row - 1];
    }
    if (!unit) {
        for (const UnitConfig& u : plan.units) {
            if (u.tiedHw.empty() && !binding.AtRow(u.row) &&
                !(options.promised && options.promised->count(u.row))) {
                unit = &u;
                break;
            }
        }
        if (!unit)
            return fail(Claim::NoRowLeft, "no row is left for " + FormatHwAddress(module.hw));
    }
    claim.row = unit->row;
    if (std::string why = binding.Objection(*unit, options.correct); !why.empty())
        return fail(Claim::Conflict, why);

    if (mine && mine->row == unit->row && mine->state == kDone &&
        mine->fingerprint == unit->fingerprint && !options.force) {
        Exec("ROLLBACK");
        claim.kind = Claim::AlreadyDone;
        return claim;
    }
    if (options.preview) {
        Exec("ROLLBACK");
        claim.kind = Claim::Assigned;
        return claim;
    }

    const std::string values = ValuesText(*unit);
    Statement bind(db_, std::string("INSERT INTO units (row, hw, ip, fingerprint, row_values, "
                                    "port, firmware, series, state, template_fingerprint, station, "
                                    "outcome, assigned_at, finished_at) VALUES (?1, ?2, ?3, ?4, "
                                    "?5, ?6, ?7, ?8, ?9, ?10, ?11, '', ") +
                            kNow +
                            ", '') ON CONFLICT(row) DO UPDATE SET ip = ?3, fingerprint = ?4, "
                            "row_values = ?5, port = ?6, firmware = ?7, series = ?8, state = ?9, "
                            "template_fingerprint = ?10, station = ?11, outcome = '', "
                            "assigned_at = " +
                            kNow + ", finished_at = ''");
    bind.Bind(1, static_cast<int64_t>(unit->row)).Bind(2, module.hw).Bind(3, unit->ip);
    bind.Bind(4, unit->fingerprint).Bind(5, values).Bind(6, module.port);
    bind.Bind(7, module.firmware).Bind(8, module.series).Bind(9, kInProgress);
    bind.Bind(10, plan.fingerprint).Bind(11, station_);
    if (bind.Step() != SQLITE_DONE) return fail(Claim::Error, sqlite3_errmsg(db_));
    Statement attempt(db_,
                      std::string("INSERT INTO attempts (row, hw, port, firmware, series, "
                                  "ip, fingerprint, row_values, host, pid, process, state, "
                                  "template_fingerprint, station, started_at) VALUES (?1, "
                                  "?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ") +
                          kNow + ")");
    attempt.Bind(1, static_cast<int64_t>(unit->row)).Bind(2, module.hw).Bind(3, module.port);
    attempt.Bind(4, module.firmware).Bind(5, module.series).Bind(6, unit->ip);
    attempt.Bind(7, unit->fingerprint).Bind(8, values).Bind(9, HostName());
    attempt.Bind(10, static_cast<int64_t>(::getpid())).Bind(11, ProcessIdentity(::getpid()));
    attempt.Bind(12, kInProgress).Bind(13, plan.fingerprint).Bind(14, station_);
    if (attempt.Step() != SQLITE_DONE) return fail(Claim::Error, sqlite3_errmsg(db_));
    claim.attempt = sqlite3_last_insert_rowid(db_);
    if (!Exec("COMMIT")) return fail(Claim::Error, error_);
    claim.kind = Claim::Assigned;
    return claim;
}

bool SqliteLedger::Finish(const Claim& claim, const std::string& state, const std::string& outcome,
                          const std::string& trace) {
    std::lock_guard lk(mu_);
    if (!Exec("BEGIN IMMEDIATE")) return false;
    Statement a(db_, std::string("UPDATE attempts SET state = ?1, outcome = ?2, trace = ?4, "
                                 "finished_at = ") +
                         kNow + " WHERE id = ?3");
    a.Bind(1, state).Bind(2, outcome).Bind(3, claim.attempt).Bind(4, trace);
    // Only the row's last attempt keeps its trace: the file grows by rows, not by retries.
    Statement earlier(db_,
                      "UPDATE attempts SET trace = '' WHERE row = ?1 AND id < ?2 AND trace != ''");
    earlier.Bind(1, static_cast<int64_t>(claim.row)).Bind(2, claim.attempt);
    Statement u(db_, std::string("UPDATE units SET state = ?1, outcome = ?2, finished_at = ") +
                         kNow + " WHERE row = ?3 AND hw = ?4");
    u.Bind(1, state).Bind(2, outcome).Bind(3, static_cast<int64_t>(claim.row)).Bind(4, claim.hw);
    if (a.Step() != SQLITE_DONE || earlier.Step() != SQLITE_DONE || u.Step() != SQLITE_DONE) {
        error_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        return false;
    }
    return Exec("COMMIT");
}

std::vector<Ledger::Entry> SqliteLedger::Report(std::string& error) {
    std::lock_guard lk(mu_);
    std::vector<Entry> entries;
    Statement q(db_, std::string("SELECT row, ip, hw, port, firmware, series, state, outcome, "
                                 "assigned_at, finished_at, ") +
                         (layout_ >= 3 ? "template_fingerprint" : "''") +
                         (layout_ >= 4 ? ", station" : ", ''") + " FROM units ORDER BY row");
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
        entries.push_back({static_cast<int>(q.Int(0)), q.Text(1), FormatHwAddress(q.Text(2)),
                           q.Text(3), q.Text(4), q.Text(5), q.Text(6), q.Text(7), q.Text(8),
                           q.Text(9), q.Text(10), q.Text(11), ""});
    }
    if (rc != SQLITE_DONE) error = sqlite3_errmsg(db_);
    return entries;
}

int SqliteLedger::DoneRows(const UnitPlan& plan) {
    std::lock_guard lk(mu_);
    Statement q(db_, "SELECT row, fingerprint FROM units WHERE state = 'done'");
    int done = 0;
    while (q.Step() == SQLITE_ROW)
        done += IsPlanRow(plan, q.Int(0), q.Text(1));
    return done;
}

std::optional<std::string> SqliteLedger::Trace(int row) {
    std::lock_guard lk(mu_);
    error_.clear();
    Statement q(db_, std::string("SELECT ") + (layout_ >= 3 ? "trace" : "''") +
                         " FROM attempts WHERE row = ?1 AND state != ?2 ORDER BY id DESC LIMIT 1");
    q.Bind(1, static_cast<int64_t>(row)).Bind(2, kInProgress);
    int rc = q.Step();
    if (rc == SQLITE_ROW) return q.Text(0);
    if (rc != SQLITE_DONE) error_ = sqlite3_errmsg(db_);
    return std::nullopt;
}
