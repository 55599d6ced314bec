#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <unordered_map>
#include <utility>

#include "fleet/ledger_backends.h"
#include "fleet/ledger_rules.h"
#include "fleet/unit_plan.h"

using namespace ledger_rules;

namespace {

// "QORW": the advisory locks of this program. Lock (kLockClass, 0) lays the tables out; lock
// (kLockClass, session) is held by every station's connection while it lives, so that any
// station can tell whose attempts were left behind; (kLockClass + 1, batch) serialises changes
// to a batch's table.
constexpr int kLockClass = 0x514F5257;
constexpr int kLayout = 1;
constexpr const char* kConnectTimeoutSeconds = "5";
// A server that stops answering in the middle of a request is given up after this long.
constexpr const char* kTcpUserTimeoutMs = "10000";

constexpr const char* kTables = R"(
CREATE TABLE IF NOT EXISTS qor_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE SEQUENCE IF NOT EXISTS qor_sessions MAXVALUE 2147483647 CYCLE;
CREATE TABLE IF NOT EXISTS qor_batches (
    name TEXT PRIMARY KEY,
    template_fingerprint TEXT NOT NULL,
    created_at TIMESTAMPTZ NOT NULL DEFAULT now(),
    created_by TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS qor_rows (
    batch TEXT NOT NULL REFERENCES qor_batches (name),
    row INTEGER NOT NULL,
    ip TEXT NOT NULL,
    tied_hw TEXT NOT NULL DEFAULT '',
    fingerprint TEXT NOT NULL,
    row_values TEXT NOT NULL,
    hw TEXT,
    bound_ip TEXT NOT NULL DEFAULT '',
    bound_fingerprint TEXT NOT NULL DEFAULT '',
    bound_values TEXT NOT NULL DEFAULT '',
    port TEXT NOT NULL DEFAULT '',
    firmware TEXT NOT NULL DEFAULT '',
    series TEXT NOT NULL DEFAULT '',
    station TEXT NOT NULL DEFAULT '',
    template_fingerprint TEXT NOT NULL DEFAULT '',
    state TEXT NOT NULL DEFAULT '',
    outcome TEXT NOT NULL DEFAULT '',
    assigned_at TIMESTAMPTZ,
    finished_at TIMESTAMPTZ,
    PRIMARY KEY (batch, row),
    UNIQUE (batch, hw)
);
CREATE INDEX IF NOT EXISTS qor_rows_free ON qor_rows (batch, row) WHERE hw IS NULL;
CREATE INDEX IF NOT EXISTS qor_rows_by_ip ON qor_rows (batch, bound_ip) WHERE hw IS NOT NULL;
CREATE TABLE IF NOT EXISTS qor_attempts (
    id BIGSERIAL PRIMARY KEY,
    batch TEXT NOT NULL,
    row INTEGER NOT NULL,
    hw TEXT NOT NULL,
    port TEXT NOT NULL,
    firmware TEXT NOT NULL DEFAULT '',
    series TEXT NOT NULL DEFAULT '',
    ip TEXT NOT NULL,
    fingerprint TEXT NOT NULL,
    row_values TEXT NOT NULL,
    station TEXT NOT NULL,
    host TEXT NOT NULL,
    pid BIGINT NOT NULL,
    session INTEGER NOT NULL,
    template_fingerprint TEXT NOT NULL,
    state TEXT NOT NULL,
    outcome TEXT NOT NULL DEFAULT '',
    trace TEXT NOT NULL DEFAULT '',
    started_at TIMESTAMPTZ NOT NULL DEFAULT now(),
    finished_at TIMESTAMPTZ
);
CREATE INDEX IF NOT EXISTS qor_attempts_by_row ON qor_attempts (batch, row);
CREATE INDEX IF NOT EXISTS qor_attempts_in_progress ON qor_attempts (session)
    WHERE state = 'in progress';
)";

// A time as the ledger shows it: UTC, 2026-12-08T11:06:27.299Z.
#define QOR_TIME(column) \
    "coalesce(to_char(" column " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), '')"

constexpr const char* kNewerLayout = "a provisioning ledger of a newer version of qorwctl";
constexpr const char* kNoBatch = "name the batch this station works on";
constexpr const char* kUniqueViolation = "23505";
constexpr const char* kEveryStation =
    "Every station of a batch brings the batch's table and template (another template makes "
    "another batch: --batch NAME). ";

// A result, cleared when it goes.
class Result {
public:
    explicit Result(PGresult* r = nullptr) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(Result&& o) noexcept : r_(std::exchange(o.r_, nullptr)) {}
    Result& operator=(Result&& o) noexcept {
        std::swap(r_, o.r_);
        return *this;
    }

    bool Ok() const {
        ExecStatusType s = r_ ? PQresultStatus(r_) : PGRES_FATAL_ERROR;
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    int Rows() const { return r_ ? PQntuples(r_) : 0; }
    std::string Text(int row, int col) const { return PQgetvalue(r_, row, col); }
    bool Null(int row, int col) const { return PQgetisnull(r_, row, col); }
    int Int(int row, int col) const { return std::atoi(PQgetvalue(r_, row, col)); }
    std::string State() const {
        const char* s = r_ ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
        return s ? s : "";
    }

private:
    PGresult* r_;
};

// A line of libpq's, without its line break.
std::string Trimmed(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    // One line, one space between words.
    std::string line;
    for (char c : text) {
        bool space = c == '\n' || c == '\t' || c == ' ';
        if (!space || (!line.empty() && line.back() != ' ')) line += space ? ' ' : c;
    }
    return line;
}

// The "Column: value" lines of a row's values, as ValuesText writes them.
std::vector<std::pair<std::string, std::string>> ValueLines(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        size_t colon = line.find(": ");
        if (colon != std::string::npos)
            lines.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        at = end + 1;
    }
    return lines;
}

// How a table's row differs from the batch's: Column "table's" where the batch has "batch's".
std::string Difference(const std::string& batchValues, const UnitConfig& unit) {
    auto stored = ValueLines(batchValues);
    auto now = ValueLines(ValuesText(unit));
    std::string text;
    auto note = [&](const std::string& column, const std::string& mine, const std::string& theirs) {
        text += (text.empty() ? "" : ", ") + column + " \"" + mine + "\" where the batch has \"" +
                theirs + "\"";
    };
    for (const auto& [column, value] : now) {
        auto it = std::find_if(stored.begin(), stored.end(),
                               [&](const auto& s) { return s.first == column; });
        if (it == stored.end()) {
            note(column, value, "");
        } else if (it->second != value) {
            note(column, value, it->second);
        }
    }
    for (const auto& [column, value] : stored) {
        if (std::none_of(now.begin(), now.end(), [&](const auto& n) { return n.first == column; }))
            note(column, "", value);
    }
    return text;
}

// A batch's row as the server stores it.
struct StoredRow {
    std::string ip, tiedHw, fingerprint, values;
};

// The ledger of a line: one batch on a PostgreSQL server, shared by every station. Claims and
// outcomes are short transactions; none stays open while a module is talked to.
class PostgresLedger : public Ledger {
public:
    PostgresLedger(PGconn* conn, OpenOptions options) : conn_(conn), options_(std::move(options)) {}
    ~PostgresLedger() override { PQfinish(conn_); }

    bool Prepare(std::string& error);
    bool CheckPlan(const UnitPlan& plan, bool correct, std::string& error) override;
    Claim ClaimRow(const UnitPlan& plan, const Module& module,
                   const ClaimOptions& options) override;
    bool Finish(const Claim& claim, const std::string& state, const std::string& outcome,
                const std::string& trace) override;
    std::vector<Entry> Report(std::string& error) override;
    std::optional<std::string> Trace(int row) override;
    int DoneRows(const UnitPlan& plan) override;
    std::vector<Batch> Batches(std::string& error) override;

private:
    // Runs a statement with text parameters; on failure error_ says why. A connection that
    // has gone is made again first (the session lock with it).
    Result Run(const char* sql, const std::vector<std::string>& params = {});
    bool Exec(const char* sql) { return Run(sql).Ok(); }
    // A transaction under the advisory lock (lockClass, key), taken until it ends; rolled back
    // when the lock cannot be had.
    bool BeginLocked(int lockClass, const char* key, const std::vector<std::string>& params = {});
    // One request on the connection as it is.
    Result Execute(const char* sql, const std::vector<const char*>& values);
    void Rollback() { Result(PQexec(conn_, "ROLLBACK")); }
    bool Connected();
    bool TakeSessionLock();
    bool CloseAbandonedAttempts();
    // The batch's rows, by row number from 1; false on a database failure.
    bool StoredRows(std::vector<StoredRow>& rows);
    bool BoundRows(std::vector<Bound>& rows);
    // Whether the batch holds the plan, checking and storing it (CheckPlan) the first time a
    // plan is seen.
    bool Checked(const UnitPlan& plan, bool correct, std::string& error);
    bool CheckPlanLocked(const UnitPlan& plan, bool correct, std::string& error);
    Claim ClaimOnce(const UnitPlan& plan, const Module& module, const ClaimOptions& options,
                    bool& again);

    PGconn* conn_;
    OpenOptions options_;
    bool tables_ = true;  // a read-only ledger on a database without them is empty
    int session_ = 0;     // this station's, while its connection holds the lock
    const UnitPlan* checkedPlan_ = nullptr;
    size_t checkedRows_ = 0;
    bool disagreed_ = false;  // the last check failed on the table, not on the server
    std::unordered_map<std::string, std::string> prepared_;  // statement: its name
};

bool PostgresLedger::Connected() {
    if (PQstatus(conn_) == CONNECTION_OK) return true;
    PQreset(conn_);
    prepared_.clear();  // they went with the old connection
    if (PQstatus(conn_) != CONNECTION_OK) {
        error_ = Trimmed(PQerrorMessage(conn_));
        return false;
    }
    return session_ == 0 || TakeSessionLock();
}

Result PostgresLedger::Run(const char* sql, const std::vector<std::string>& params) {
    std::vector<const char*> values;
    for (const std::string& p : params)
        values.push_back(p.c_str());
    // A connection the server has dropped (a restart) shows only when a statement fails on it.
    // Outside a transaction nothing went with it: the statement runs once more on a new one.
    // Inside one, the statement is not repeated, but the connection is made again at once, so
    // that the station's lock is back before another station takes its attempts for abandoned.
    for (bool again = PQtransactionStatus(conn_) == PQTRANS_IDLE;; again = false) {
        if (!Connected()) return Result();
        Result r = Execute(sql, values);
        if (r.Ok()) return r;
        error_ = Trimmed(PQerrorMessage(conn_));
        if (PQstatus(conn_) == CONNECTION_OK) return r;
        if (!again) {
            std::string why = error_;
            Connected();
            error_ = why;
            return r;
        }
    }
}

Result PostgresLedger::Execute(const char* sql, const std::vector<const char*>& values) {
    // Without parameters, a script of several statements may run.
    if (values.empty()) return Result(PQexec(conn_, sql));
    // The rest are prepared once per connection: planning them anew costs more than running
    // them.
    const int n = static_cast<int>(values.size());
    auto it = prepared_.find(sql);
    if (it == prepared_.end()) {
        std::string name = "qor" + std::to_string(prepared_.size() + 1);
        Result made(PQprepare(conn_, name.c_str(), sql, n, nullptr));
        if (!made.Ok()) return made;
        it = prepared_.emplace(sql, std::move(name)).first;
    }
    return Result(PQexecPrepared(conn_, it->second.c_str(), n, values.data(), nullptr, nullptr, 0));
}

// The station's lock, held by its connection while it lives. After a reconnect the old
// connection may hold it still, until the server notices it is gone: then the station takes a
// new number and carries its attempts under way over to it, rather than wait.
bool PostgresLedger::TakeSessionLock() {
    // On the connection as it is: Run would come back here to make it again.
    auto exec = [&](const char* sql, const std::vector<std::string>& params) {
        std::vector<const char*> values;
        for (const std::string& p : params)
            values.push_back(p.c_str());
        Result r = Execute(sql, values);
        if (!r.Ok()) error_ = Trimmed(PQerrorMessage(conn_));
        return r;
    };
    const std::string lockClass = std::to_string(kLockClass);
    Result mine = exec("SELECT pg_try_advisory_lock($1::int, $2::int)",
                       {lockClass, std::to_string(session_)});
    if (!mine.Ok() || mine.Text(0, 0) == "t") return mine.Ok();
    Result fresh = exec("SELECT nextval('qor_sessions')", {});
    if (!fresh.Ok()) return false;
    const std::string session = fresh.Text(0, 0);
    if (!exec("SELECT pg_advisory_lock($1::int, $2::int)", {lockClass, session}).Ok() ||
        !exec("UPDATE qor_attempts SET session = $2::int WHERE session = $1::int AND state = $3",
              {std::to_string(session_), session, kInProgress})
             .Ok())
        return false;
    session_ = std::atoi(session.c_str());
    return true;
}

bool PostgresLedger::BeginLocked(int lockClass, const char* key,
                                 const std::vector<std::string>& params) {
    std::vector<std::string> all = {std::to_string(lockClass)};
    all.insert(all.end(), params.begin(), params.end());
    if (Exec("BEGIN") &&
        Run((std::string("SELECT pg_advisory_xact_lock($1::int, ") + key + ")").c_str(), all).Ok())
        return true;
    Rollback();
    return false;
}

// Whether the layout qor_meta names is one this version does not know.
bool IsNewerLayout(const Result& layout) {
    return layout.Rows() && std::atoi(layout.Text(0, 0).c_str()) > kLayout;
}

bool PostgresLedger::Prepare(std::string& error) {
    auto fail = [&] {
        error = error_;
        return false;
    };
    if (options_.readOnly) {
        Result exists =
            Run("SELECT to_regclass('qor_meta') IS NOT NULL, "
                "to_regclass('qor_rows') IS NOT NULL");
        if (!exists.Ok()) return fail();
        tables_ = exists.Text(0, 0) == "t" && exists.Text(0, 1) == "t";
        if (tables_) {
            Result layout = Run("SELECT value FROM qor_meta WHERE key = 'layout'");
            if (!layout.Ok()) return fail();
            if (IsNewerLayout(layout)) {
                error = kNewerLayout;
                return false;
            }
        }
        return true;
    }
    if (options_.batch.empty()) {
        error = kNoBatch;
        return false;
    }
    // Several stations may start at once: one lays the tables out, the others wait for it.
    if (!BeginLocked(kLockClass, "0")) return fail();
    Result made = Run("SELECT to_regclass('qor_meta') IS NOT NULL");
    if (!made.Ok() || (made.Text(0, 0) != "t" && !Exec(kTables))) {
        Rollback();
        return fail();
    }
    // Traces are long and many: the cheaper compression where the server has it.
    if (made.Text(0, 0) != "t" && Exec("SAVEPOINT lz4") &&
        !Exec("ALTER TABLE qor_attempts ALTER COLUMN trace SET COMPRESSION lz4"))
        Exec("ROLLBACK TO SAVEPOINT lz4");
    Result layout = Run("SELECT value FROM qor_meta WHERE key = 'layout'");
    if (!layout.Ok()) {
        Rollback();
        return fail();
    }
    if (IsNewerLayout(layout)) {
        Rollback();
        error = kNewerLayout;
        return false;
    }
    if (!layout.Rows() &&
        !Run("INSERT INTO qor_meta (key, value) VALUES ('layout', $1)", {std::to_string(kLayout)})
             .Ok()) {
        Rollback();
        return fail();
    }
    Result session = Run("SELECT nextval('qor_sessions')");
    if (!session.Ok() || !Exec("COMMIT")) {
        Rollback();
        return fail();
    }
    session_ = session.Int(0, 0);
    if (!TakeSessionLock() || !CloseAbandonedAttempts()) return fail();
    return true;
}

bool PostgresLedger::CloseAbandonedAttempts() {
    // An attempt is abandoned when the connection of the station that made it is gone: its
    // session lock is no longer held by anyone. One station at a time looks.
    if (!BeginLocked(kLockClass, "0")) return false;
    Result closed =
        Run("UPDATE qor_attempts a SET state = $1, outcome = $2, finished_at = now() "
            "WHERE a.state = $3 AND NOT EXISTS (SELECT 1 FROM pg_locks l WHERE "
            "l.locktype = 'advisory' AND l.granted AND l.objsubid = 2 AND "
            "l.database = (SELECT oid FROM pg_database WHERE datname = current_database()) AND "
            "l.classid = $4::int::oid AND l.objid = a.session::oid)",
            {kInterrupted, kRunEnded, kInProgress, std::to_string(kLockClass)});
    // A unit is in progress while one of its attempts is.
    Result units = Run(
        "UPDATE qor_rows r SET state = $1, outcome = $2, finished_at = now() WHERE r.state = $3 "
        "AND NOT EXISTS (SELECT 1 FROM qor_attempts a WHERE a.batch = r.batch AND a.row = r.row "
        "AND a.hw = r.hw AND a.state = $3)",
        {kInterrupted, kRunEnded, kInProgress});
    if (!closed.Ok() || !units.Ok()) {
        Rollback();
        return false;
    }
    return Exec("COMMIT");
}

bool PostgresLedger::StoredRows(std::vector<StoredRow>& rows) {
    Result r =
        Run("SELECT row, ip, tied_hw, fingerprint, row_values FROM qor_rows WHERE batch = $1 "
            "ORDER BY row",
            {options_.batch});
    if (!r.Ok()) return false;
    rows.clear();
    for (int i = 0; i < r.Rows(); ++i)
        rows.push_back({r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4)});
    return true;
}

bool PostgresLedger::BoundRows(std::vector<Bound>& rows) {
    Result r =
        Run("SELECT row, hw, bound_ip, bound_fingerprint, bound_values, state FROM qor_rows "
            "WHERE batch = $1 AND hw IS NOT NULL",
            {options_.batch});
    if (!r.Ok()) return false;
    rows.clear();
    for (int i = 0; i < r.Rows(); ++i) {
        rows.push_back(
            {r.Int(i, 0), r.Text(i, 1), r.Text(i, 2), r.Text(i, 3), r.Text(i, 4), r.Text(i, 5)});
    }
    return true;
}

bool PostgresLedger::CheckPlan(const UnitPlan& plan, bool correct, std::string& error) {
    std::lock_guard lk(mu_);
    return CheckPlanLocked(plan, correct, error);
}

bool PostgresLedger::Checked(const UnitPlan& plan, bool correct, std::string& error) {
    if (checkedPlan_ == &plan && checkedRows_ == plan.units.size()) return true;
    return CheckPlanLocked(plan, correct, error);
}

bool PostgresLedger::CheckPlanLocked(const UnitPlan& plan, bool correct, std::string& error) {
    disagreed_ = false;
    if (!tables_ || (options_.readOnly && options_.batch.empty())) return true;
    auto failed = [&] {
        error = error_;
        Rollback();
        return false;
    };
    // One station at a time changes a batch's table; claims go on meanwhile.
    if (options_.readOnly ? !Exec("BEGIN READ ONLY")
                          : !BeginLocked(kLockClass + 1, "hashtext($2)", {options_.batch}))
        return failed();
    Result batch =
        Run("SELECT template_fingerprint FROM qor_batches WHERE name = $1", {options_.batch});
    std::vector<StoredRow> stored;
    std::vector<Bound> bound;
    if (!batch.Ok() || !StoredRows(stored) || !BoundRows(bound)) return failed();

    std::string lines;
    const std::string named = "the batch \"" + options_.batch + "\"";
    if (batch.Rows() && batch.Text(0, 0) != plan.fingerprint) {
        lines += "\n  " + named + " was made from the template " + batch.Text(0, 0) +
                 "; this template is " + plan.fingerprint;
    }
    if (stored.size() > plan.units.size()) {
        lines += "\n  " + named + " has " + std::to_string(stored.size()) +
                 " rows; the table has " + std::to_string(plan.units.size());
    }
    Binding binding(std::move(bound), plan);
    std::vector<const UnitConfig*> changed;
    for (const UnitConfig& unit : plan.units) {
        size_t i = static_cast<size_t>(unit.row) - 1;
        bool same = i >= stored.size() ||
                    (stored[i].fingerprint == unit.fingerprint && stored[i].tiedHw == unit.tiedHw);
        if (!same) {
            if (!correct) {
                std::string how = Difference(stored[i].values, unit);
                if (stored[i].tiedHw != unit.tiedHw)
                    how += std::string(how.empty() ? "" : ", ") + "tied to \"" + unit.tiedHw +
                           "\" where the batch has \"" + stored[i].tiedHw + "\"";
                if (!how.empty()) lines += "\n  " + RowText(unit.row) + " differs: " + how;
                continue;
            }
            changed.push_back(&unit);
        }
        // A row the batch holds as the table has it was corrected already, if it was.
        if (std::string why = binding.Objection(unit, correct || i < stored.size()); !why.empty())
            lines += "\n  " + why;
    }
    for (const Bound& b : binding.Rows()) {
        if (b.row > static_cast<int>(plan.units.size())) lines += "\n  " + Gone(b);
    }
    if (!lines.empty()) {
        Rollback();
        error = "the table disagrees with " + named + " on the server:" + lines + "\n" +
                kEveryStation + kHowToAgree;
        disagreed_ = true;
        return false;
    }
    if (options_.readOnly) {
        Rollback();
        return true;
    }
    // The first station stores the table; later ones add the rows appended and the corrections.
    if (!batch.Rows() &&
        !Run("INSERT INTO qor_batches (name, template_fingerprint, created_by) VALUES ($1, $2, $3)",
             {options_.batch, plan.fingerprint, options_.station})
             .Ok())
        return failed();
    for (const UnitConfig* unit : changed) {
        if (!Run("UPDATE qor_rows SET ip = $3, tied_hw = $4, fingerprint = $5, row_values = $6 "
                 "WHERE batch = $1 AND row = $2",
                 {options_.batch, std::to_string(unit->row), unit->ip, unit->tiedHw,
                  unit->fingerprint, ValuesText(*unit)})
                 .Ok())
            return failed();
    }
    for (size_t i = stored.size(); i < plan.units.size(); ++i) {
        const UnitConfig& unit = plan.units[i];
        if (!Run("INSERT INTO qor_rows (batch, row, ip, tied_hw, fingerprint, row_values) "
                 "VALUES ($1, $2, $3, $4, $5, $6)",
                 {options_.batch, std::to_string(unit.row), unit.ip, unit.tiedHw, unit.fingerprint,
                  ValuesText(unit)})
                 .Ok())
            return failed();
    }
    if (!Exec("COMMIT")) return failed();
    checkedPlan_ = &plan;
    checkedRows_ = plan.units.size();
    return true;
}

Ledger::Claim PostgresLedger::ClaimRow(const UnitPlan& plan, const Module& module,
                                       const ClaimOptions& options) {
    std::lock_guard lk(mu_);
    Claim claim;
    claim.hw = module.hw;
    if (!Checked(plan, options.correct, claim.text)) {
        claim.kind = disagreed_ ? Claim::Conflict : Claim::Error;
        return claim;
    }
    // The same module may be claimed at another station at the same moment: the unique
    // hardware address lets one of them through, and the other asks again.
    for (int tries = 0;; ++tries) {
        bool again = false;
        claim = ClaimOnce(plan, module, options, again);
        if (!again || tries == 2) return claim;
    }
}

Ledger::Claim PostgresLedger::ClaimOnce(const UnitPlan& plan, const Module& module,
                                        const ClaimOptions& options, bool& again) {
    Claim claim;
    claim.hw = module.hw;
    auto fail = [&](Claim::Kind kind, std::string text) {
        Rollback();
        claim.kind = kind;
        claim.text = std::move(text);
        return claim;
    };
    const bool preview = options.preview;
    // A dry run sees the rows the batch does not hold yet (all of them, before the first
    // station) as free: the first of them not promised to another module.
    auto unstored = [&](size_t stored) -> const UnitConfig* {
        for (size_t i = stored; i < plan.units.size(); ++i) {
            const UnitConfig& u = plan.units[i];
            if (u.tiedHw.empty() && !(options.promised && options.promised->count(u.row)))
                return &u;
        }
        return nullptr;
    };
    if (preview && !tables_) {
        const UnitConfig* unit = nullptr;
        for (const UnitConfig& u : plan.units) {
            if (u.tiedHw == module.hw) unit = &u;
        }
        if (!unit) unit = unstored(0);
        if (!unit)
            return fail(Claim::NoRowLeft, "no row is left for " + FormatHwAddress(module.hw));
        claim.row = unit->row;
        claim.kind = Claim::Assigned;
        return claim;
    }
    if (!Exec(preview ? "BEGIN READ ONLY" : "BEGIN")) return fail(Claim::Error, error_);
    const std::string& batch = options_.batch;
    const std::string columns =
        "SELECT row, fingerprint, hw, state, bound_fingerprint, "
        "bound_values FROM qor_rows WHERE batch = $1 AND ";
    const UnitConfig* unit = nullptr;
    for (const UnitConfig& u : plan.units) {
        if (u.tiedHw == module.hw) unit = &u;
    }

    // In one request: the row bound to the module (first), and the row the table ties to it or
    // else the first free one, skipping rows another station is claiming this moment.
    Result pick;
    if (unit) {
        pick = Run((columns + "(hw = $2 OR row = $3) ORDER BY hw IS NULL, row" +
                    (preview ? "" : " FOR UPDATE"))
                       .c_str(),
                   {batch, module.hw, std::to_string(unit->row)});
    } else {
        std::string promised = "{";
        if (options.promised) {
            for (int row : *options.promised)
                promised += (promised.size() > 1 ? "," : "") + std::to_string(row);
        }
        promised += "}";
        pick = Run((columns +
                    "(hw = $2 OR (hw IS NULL AND tied_hw = '' AND row <= $3 AND "
                    "row <> ALL($4::int[]))) ORDER BY hw IS NULL, row LIMIT 1" +
                    (preview ? "" : " FOR UPDATE SKIP LOCKED"))
                       .c_str(),
                   {batch, module.hw, std::to_string(plan.units.size()), promised});
    }
    if (!pick.Ok()) return fail(Claim::Error, error_);
    int boundRow = 0, at = -1;
    for (int i = 0; i < pick.Rows(); ++i) {
        if (pick.Text(i, 2) == module.hw) boundRow = pick.Int(i, 0);
        if (!unit || pick.Int(i, 0) == unit->row) at = at < 0 ? i : at;
    }
    if (unit && boundRow && boundRow != unit->row) {
        return fail(Claim::Conflict, RowText(unit->row) + " is tied to " +
                                         FormatHwAddress(module.hw) + ", which is bound to row " +
                                         std::to_string(boundRow));
    }
    if (!unit && at >= 0) {
        int row = pick.Int(at, 0);
        if (row > static_cast<int>(plan.units.size()))
            return fail(Claim::Conflict, RowText(row) + " (bound to " + FormatHwAddress(module.hw) +
                                             ") is no longer in the table");
        unit = &plan.units[static_cast<size_t>(row) - 1];
    }
    if (!unit && preview) {
        Result stored = Run("SELECT count(*) FROM qor_rows WHERE batch = $1", {batch});
        if (!stored.Ok()) return fail(Claim::Error, error_);
        unit = unstored(static_cast<size_t>(stored.Int(0, 0)));
    }
    if (!unit) return fail(Claim::NoRowLeft, "no row is left for " + FormatHwAddress(module.hw));
    claim.row = unit->row;
    if (at < 0) {
        // Only a preview gets here: the batch does not hold this row yet.
        if (!preview) return fail(Claim::Conflict, RowText(unit->row) + " is not in the batch");
        Rollback();
        claim.kind = Claim::Assigned;
        return claim;
    }
    if (pick.Text(at, 1) != unit->fingerprint)
        return fail(Claim::Conflict, RowText(unit->row) +
                                         " of the batch has changed since this station checked "
                                         "its table; start it again with the batch's table");
    const bool boundHere = !pick.Null(at, 2);
    if (boundHere && pick.Text(at, 2) != module.hw)
        return fail(Claim::Conflict, RowText(unit->row) + " (bound to " +
                                         FormatHwAddress(pick.Text(at, 2)) + ") is tied to " +
                                         FormatHwAddress(module.hw) + " in the table");
    const bool holds = boundHere && (pick.Text(at, 4) == unit->fingerprint ||
                                     pick.Text(at, 5) == ValuesText(*unit));
    if (boundHere && holds && pick.Text(at, 3) == kDone && pick.Text(at, 4) == unit->fingerprint &&
        !options.force) {
        Rollback();
        claim.kind = Claim::AlreadyDone;
        return claim;
    }
    // A row's address must not be another bound module's.
    const bool checkIp = (!boundHere || !holds) && unit->ip != kNoAddress;
    auto clashed = [&](const std::string& row, const std::string& hw) {
        return fail(Claim::Conflict, RowText(unit->row) + " gives " + unit->ip +
                                         ", the IP address of row " + row + " (bound to " +
                                         FormatHwAddress(hw) + ")");
    };
    if (preview) {
        if (checkIp) {
            Result clash =
                Run("SELECT row, hw FROM qor_rows WHERE batch = $1 AND hw IS NOT NULL "
                    "AND bound_ip = $2 AND row <> $3 LIMIT 1",
                    {batch, unit->ip, std::to_string(unit->row)});
            if (!clash.Ok()) return fail(Claim::Error, error_);
            if (clash.Rows()) return clashed(clash.Text(0, 0), clash.Text(0, 1));
        }
        Rollback();
        claim.kind = Claim::Assigned;
        return claim;
    }

    // The address check, the binding and the attempt in one request.
    Result bind = Run(
        "WITH clash AS (SELECT row, hw FROM qor_rows WHERE batch = $1 AND hw IS NOT NULL AND "
        "bound_ip = $9 AND row <> $2::int AND $16::boolean LIMIT 1), "
        "bound AS (UPDATE qor_rows SET hw = $3, bound_ip = ip, bound_fingerprint = fingerprint, "
        "bound_values = row_values, port = $4, firmware = $5, series = $6, station = $7, "
        "template_fingerprint = $8, state = $15, outcome = '', assigned_at = now(), "
        "finished_at = NULL WHERE batch = $1 AND row = $2::int AND NOT EXISTS (SELECT 1 FROM "
        "clash) RETURNING row), "
        "attempt AS (INSERT INTO qor_attempts (batch, row, hw, port, firmware, series, ip, "
        "fingerprint, row_values, station, host, pid, session, template_fingerprint, state) "
        "SELECT $1, row, $3, $4, $5, $6, $9, $10, $11, $7, $12, $13::bigint, $14::int, $8, $15 "
        "FROM bound RETURNING id) "
        "SELECT (SELECT id FROM attempt), (SELECT row FROM clash), (SELECT hw FROM clash)",
        {batch, std::to_string(unit->row), module.hw, module.port, module.firmware, module.series,
         options_.station, plan.fingerprint, unit->ip, unit->fingerprint, ValuesText(*unit),
         HostName(), std::to_string(::getpid()), std::to_string(session_), kInProgress,
         checkIp ? "true" : "false"});
    if (!bind.Ok()) {
        again = bind.State() == kUniqueViolation;
        return fail(Claim::Error, error_);
    }
    if (!bind.Null(0, 1)) return clashed(bind.Text(0, 1), bind.Text(0, 2));
    if (bind.Null(0, 0)) return fail(Claim::Error, RowText(unit->row) + " could not be bound");
    claim.attempt = std::stoll(bind.Text(0, 0));
    // Until the commit is acknowledged, nothing may be written to the module.
    if (!Exec("COMMIT")) return fail(Claim::Error, error_);
    claim.kind = Claim::Assigned;
    return claim;
}

bool PostgresLedger::Finish(const Claim& claim, const std::string& state,
                            const std::string& outcome, const std::string& trace) {
    std::lock_guard lk(mu_);
    // One statement: the attempt and its unit agree whatever becomes of the connection, and
    // offering it again after a failure changes nothing else.
    return Run("WITH a AS (UPDATE qor_attempts SET state = $2, outcome = $3, trace = $4, "
               "finished_at = now() WHERE id = $1::bigint RETURNING id) "
               "UPDATE qor_rows SET state = $2, outcome = $3, finished_at = now() "
               "WHERE batch = $5 AND row = $6::int AND hw = $7 AND EXISTS (SELECT 1 FROM a)",
               {std::to_string(claim.attempt), state, outcome, trace, options_.batch,
                std::to_string(claim.row), claim.hw})
        .Ok();
}

std::vector<Ledger::Entry> PostgresLedger::Report(std::string& error) {
    std::lock_guard lk(mu_);
    std::vector<Entry> entries;
    if (!tables_) return entries;
    Result r = Run("SELECT row, bound_ip, hw, port, firmware, series, state, outcome, " QOR_TIME(
                       "assigned_at") ", " QOR_TIME("finished_at") ", template_fingerprint, "
                                                                   "station, batch FROM qor_rows "
                                                                   "WHERE hw IS NOT NULL AND "
                                                                   "($1 = '' OR batch = $1) "
                                                                   "ORDER BY batch, row",
                   {options_.batch});
    if (!r.Ok()) {
        error = error_;
        return entries;
    }
    for (int i = 0; i < r.Rows(); ++i) {
        entries.push_back({r.Int(i, 0), r.Text(i, 1), FormatHwAddress(r.Text(i, 2)), r.Text(i, 3),
                           r.Text(i, 4), r.Text(i, 5), r.Text(i, 6), r.Text(i, 7), r.Text(i, 8),
                           r.Text(i, 9), r.Text(i, 10), r.Text(i, 11), r.Text(i, 12)});
    }
    return entries;
}

std::vector<Ledger::Batch> PostgresLedger::Batches(std::string& error) {
    std::lock_guard lk(mu_);
    std::vector<Batch> batches;
    if (!tables_) return batches;
    Result r = Run("SELECT b.name, count(r.row), count(r.row) FILTER (WHERE r.state = 'done'), "
                   "count(r.hw), " QOR_TIME("b.created_at") ", b.created_by FROM qor_batches b "
                   "LEFT JOIN qor_rows r ON r.batch = b.name GROUP BY b.name ORDER BY "
                   "b.created_at, b.name");
    if (!r.Ok()) {
        error = error_;
        return batches;
    }
    for (int i = 0; i < r.Rows(); ++i)
        batches.push_back(
            {r.Text(i, 0), r.Int(i, 1), r.Int(i, 2), r.Int(i, 3), r.Text(i, 4), r.Text(i, 5)});
    return batches;
}

int PostgresLedger::DoneRows(const UnitPlan& plan) {
    std::lock_guard lk(mu_);
    if (!tables_) return 0;
    Result r =
        Run("SELECT row, bound_fingerprint FROM qor_rows WHERE batch = $1 AND state = 'done'",
            {options_.batch});
    int done = 0;
    for (int i = 0; i < r.Rows(); ++i)
        done += IsPlanRow(plan, r.Int(i, 0), r.Text(i, 1));
    return done;
}

std::optional<std::string> PostgresLedger::Trace(int row) {
    std::lock_guard lk(mu_);
    error_.clear();
    if (!tables_) return std::nullopt;
    Result r =
        Run("SELECT trace FROM qor_attempts WHERE batch = $1 AND row = $2 AND state <> $3 "
            "ORDER BY id DESC LIMIT 1",
            {options_.batch, std::to_string(row), kInProgress});
    if (r.Ok() && r.Rows()) return r.Text(0, 0);
    return std::nullopt;
}

}  // namespace

std::unique_ptr<Ledger> OpenPostgresLedger(const std::string& uri,
                                           const Ledger::OpenOptions& options, std::string& error) {
    const std::string shown = Ledger::Shown(uri);
    Ledger::OpenOptions o = options;
    if (o.station.empty()) o.station = HostName();
    // The URI may set any of these but the encoding: the core's text is Latin-1.
    const char* keys[] = {"connect_timeout", "tcp_user_timeout", "application_name",
                          "dbname",          "client_encoding",  nullptr};
    const char* values[] = {
        kConnectTimeoutSeconds, kTcpUserTimeoutMs, "qorwctl", uri.c_str(), "LATIN1", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn) {
        error = shown + ": out of memory";
        return nullptr;
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        error = shown + ": " + Trimmed(PQerrorMessage(conn));
        PQfinish(conn);
        return nullptr;
    }
    // "Already exists, skipping" and the like are nobody's business.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    auto ledger = std::make_unique<PostgresLedger>(conn, o);
    std::string why;
    if (!ledger->Prepare(why)) {
        error = shown + ": " + why;
        return nullptr;
    }
    return ledger;
}
