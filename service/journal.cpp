#include "journal.h"

#include <sys/time.h>
#include <time.h>

namespace vltxd {

double Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

namespace {

// A prepared statement for one use.
class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool Ok() const { return s_ != nullptr; }
    Stmt& Text(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& TextOrNull(int i, const std::string& v) {
        if (v.empty()) sqlite3_bind_null(s_, i);
        else Text(i, v);
        return *this;
    }
    Stmt& Real(int i, double v) {
        sqlite3_bind_double(s_, i, v);
        return *this;
    }
    Stmt& Int(int i, int v) {
        sqlite3_bind_int(s_, i, v);
        return *this;
    }
    int Step() { return s_ ? sqlite3_step(s_) : SQLITE_ERROR; }
    std::string Col(int i) {
        const unsigned char* t = sqlite3_column_text(s_, i);
        return t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
                 : std::string();
    }
    double ColReal(int i) { return sqlite3_column_double(s_, i); }
    std::optional<int> ColInt(int i) {
        if (sqlite3_column_type(s_, i) == SQLITE_NULL) return std::nullopt;
        return sqlite3_column_int(s_, i);
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS tasks(
  id TEXT PRIMARY KEY, printer TEXT NOT NULL, kind TEXT NOT NULL,
  idem_key TEXT UNIQUE, body_hash TEXT NOT NULL, request TEXT NOT NULL,
  state TEXT NOT NULL, result TEXT, file TEXT,
  created REAL NOT NULL, started REAL, ended REAL);
CREATE INDEX IF NOT EXISTS tasks_created ON tasks(created);
CREATE TABLE IF NOT EXISTS steps(
  task TEXT NOT NULL REFERENCES tasks(id) ON DELETE CASCADE, n INTEGER NOT NULL,
  export TEXT NOT NULL, args TEXT NOT NULL, sent REAL NOT NULL, result INTEGER, ended REAL,
  PRIMARY KEY(task, n));
)";

TaskRow ReadTask(Stmt& s) {
    TaskRow t;
    t.Id = s.Col(0);
    t.Printer = s.Col(1);
    t.Kind = s.Col(2);
    t.IdemKey = s.Col(3);
    t.BodyHash = s.Col(4);
    t.Request = s.Col(5);
    t.State = s.Col(6);
    t.Result = s.Col(7);
    t.File = s.Col(8);
    t.Created = s.ColReal(9);
    t.Started = s.ColReal(10);
    t.Ended = s.ColReal(11);
    return t;
}

constexpr const char* TaskColumns =
    "SELECT id, printer, kind, idem_key, body_hash, request, state, result, file, created, started, ended FROM tasks ";

}  // namespace

Journal::~Journal() { sqlite3_close(db_); }

bool Journal::Exec(const char* sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) == SQLITE_OK) return true;
    error_ = msg ? msg : sqlite3_errmsg(db_);
    sqlite3_free(msg);
    return false;
}

bool Journal::Open(const std::string& path, std::string& error) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = path + ": " + (db_ ? sqlite3_errmsg(db_) : "cannot open");
        return false;
    }
    // One writer, but a supervisor started again may meet the last one's
    // lock for a moment: sleep and try again. SQLite's own busy time-out
    // sleeps up to 100 ms at a time, long against a commit of about a
    // millisecond: these sleeps are short.
    sqlite3_busy_handler(db_, &Journal::Busy, nullptr);
    if (!Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;") || !Exec(Schema)) {
        error = path + ": " + error_;
        return false;
    }
    Stmt v(db_, "SELECT value FROM meta WHERE key='schema'");
    int version = 0;
    if (v.Step() == SQLITE_ROW) version = std::stoi(v.Col(0));
    if (version > JournalSchema) {
        error = path + ": journal schema " + std::to_string(version) + " is newer than this vltxd's (" +
                std::to_string(JournalSchema) + ")";
        return false;
    }
    // Later schemas add their migrations here, from version up.
    Stmt w(db_, "INSERT OR REPLACE INTO meta(key, value) VALUES('schema', ?)");
    w.Text(1, std::to_string(JournalSchema));
    if (w.Step() != SQLITE_DONE) {
        error = path + ": " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

Journal::Add Journal::AddTask(const TaskRow& t, TaskRow& existing, std::string& error) {
    if (!t.IdemKey.empty()) {
        Stmt s(db_, (std::string(TaskColumns) + "WHERE idem_key = ?").c_str());
        s.Text(1, t.IdemKey);
        if (s.Step() == SQLITE_ROW) {
            existing = ReadTask(s);
            return existing.BodyHash == t.BodyHash ? Add::Repeat : Add::Conflict;
        }
    }
    Stmt s(db_,
           "INSERT INTO tasks(id, printer, kind, idem_key, body_hash, request, state, file, created) "
           "VALUES(?, ?, ?, ?, ?, ?, 'queued', ?, ?)");
    s.Text(1, t.Id).Text(2, t.Printer).Text(3, t.Kind).TextOrNull(4, t.IdemKey).Text(5, t.BodyHash);
    s.Text(6, t.Request).TextOrNull(7, t.File).Real(8, t.Created);
    const int rc = s.Step();
    if (rc == SQLITE_DONE) return Add::Inserted;
    error = sqlite3_errmsg(db_);
    if ((rc & 0xff) == SQLITE_CONSTRAINT && !t.IdemKey.empty()) {
        // Another request with the same key got in first.
        Stmt again(db_, (std::string(TaskColumns) + "WHERE idem_key = ?").c_str());
        again.Text(1, t.IdemKey);
        if (again.Step() == SQLITE_ROW) {
            existing = ReadTask(again);
            return existing.BodyHash == t.BodyHash ? Add::Repeat : Add::Conflict;
        }
    }
    if ((rc & 0xff) == SQLITE_FULL || (rc & 0xff) == SQLITE_IOERR) return Add::Full;
    return Add::Failed;
}

bool Journal::SetState(const std::string& id, const std::string& state, const std::string& result) {
    const bool end = state != "running" && state != "queued";
    Stmt s(db_,
           end ? "UPDATE tasks SET state = ?, result = ?, ended = ? WHERE id = ?"
               : "UPDATE tasks SET state = ?, result = ?, started = ? WHERE id = ?");
    s.Text(1, state).TextOrNull(2, result).Real(3, Now()).Text(4, id);
    if (s.Step() == SQLITE_DONE) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
}

std::optional<TaskRow> Journal::Task(const std::string& id) {
    Stmt s(db_, (std::string(TaskColumns) + "WHERE id = ?").c_str());
    s.Text(1, id);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return ReadTask(s);
}

std::optional<TaskRow> Journal::TaskByKey(const std::string& idemKey) {
    Stmt s(db_, (std::string(TaskColumns) + "WHERE idem_key = ?").c_str());
    s.Text(1, idemKey);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return ReadTask(s);
}

std::vector<StepRow> Journal::Steps(const std::string& id) {
    Stmt s(db_, "SELECT n, export, args, sent, result, ended FROM steps WHERE task = ? ORDER BY n");
    s.Text(1, id);
    std::vector<StepRow> r;
    while (s.Step() == SQLITE_ROW) {
        StepRow x;
        x.N = s.ColInt(0).value_or(0);
        x.Export = s.Col(1);
        x.Args = s.Col(2);
        x.Sent = s.ColReal(3);
        x.Result = s.ColInt(4);
        x.Ended = s.ColReal(5);
        r.push_back(std::move(x));
    }
    return r;
}

int Journal::InterruptUnfinished() {
    Stmt s(db_, "UPDATE tasks SET state = 'interrupted', ended = ? WHERE state IN ('queued', 'running')");
    s.Real(1, Now());
    s.Step();
    return sqlite3_changes(db_);
}

int Journal::Prune(int days, std::vector<std::string>& files) {
    const double before = Now() - days * 86400.0;
    Stmt f(db_, "SELECT file FROM tasks WHERE created < ? AND state NOT IN ('queued', 'running') AND file IS NOT NULL");
    f.Real(1, before);
    while (f.Step() == SQLITE_ROW) files.push_back(f.Col(0));
    Stmt s(db_, "DELETE FROM tasks WHERE created < ? AND state NOT IN ('queued', 'running')");
    s.Real(1, before);
    s.Step();
    return sqlite3_changes(db_);
}

int Journal::Busy(void*, int tries) {
    // 1, 2, 4, 8 ms, then 8 ms at a time, for 10 seconds in all.
    if (tries >= 1250) return 0;
    const long ms = tries < 4 ? 1L << tries : 8L;
    timespec t{0, ms * 1000000L};
    nanosleep(&t, nullptr);
    return 1;
}

bool Journal::Begin() { return Exec("BEGIN IMMEDIATE"); }

bool Journal::Commit() {
    if (Exec("COMMIT")) return true;
    Rollback();
    return false;
}

void Journal::Rollback() {
    const std::string why = error_;
    Exec("ROLLBACK");  // fails harmlessly where SQLite rolled back already
    error_ = why;
}

bool Journal::StepSent(const std::string& task, int n, const std::string& exportName, const std::string& args) {
    Stmt s(db_, "INSERT INTO steps(task, n, export, args, sent) VALUES(?, ?, ?, ?, ?)");
    s.Text(1, task).Int(2, n).Text(3, exportName).Text(4, args).Real(5, Now());
    if (s.Step() == SQLITE_DONE) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
}

bool Journal::StepResult(const std::string& task, int n, int result) {
    Stmt s(db_, "UPDATE steps SET result = ?, ended = ? WHERE task = ? AND n = ?");
    s.Int(1, result).Real(2, Now()).Text(3, task).Int(4, n);
    if (s.Step() == SQLITE_DONE) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
}

}  // namespace vltxd
