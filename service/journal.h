// The journal: every task and every export it called, in SQLite (WAL) in
// the state directory, written by the supervisor alone. A step is committed
// as sent before its worker calls the export, and its result after, so that
// after a crash the journal tells which steps may have reached the printer.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vltxd {

inline constexpr int JournalSchema = 1;

struct TaskRow {
    std::string Id, Printer, Kind, IdemKey, BodyHash, Request, State, Result, File;
    double Created = 0, Started = 0, Ended = 0;
};

struct StepRow {
    int N = 0;
    std::string Export, Args;  // Args: a JSON array of strings
    double Sent = 0, Ended = 0;
    std::optional<int> Result;  // none: sent, and nothing came back to the journal
};

class Journal {
public:
    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens (creating) the database and brings its schema up to date.
    bool Open(const std::string& path, std::string& error);

    enum class Add { Inserted, Repeat, Conflict, Full, Failed };
    // Inserts a queued task; a task with the same idempotency key gives
    // Repeat (same body hash; existing holds it) or Conflict.
    Add AddTask(const TaskRow& task, TaskRow& existing, std::string& error);
    bool SetState(const std::string& id, const std::string& state, const std::string& result = {});
    std::optional<TaskRow> Task(const std::string& id);
    std::optional<TaskRow> TaskByKey(const std::string& idemKey);
    std::vector<StepRow> Steps(const std::string& id);
    // Tasks left queued or running by a stop: interrupted, never re-run.
    int InterruptUnfinished();
    // Deletes the ended tasks older than days, with their steps; their
    // files' paths go to files.
    int Prune(int days, std::vector<std::string>& files);

    // One transaction around several writes; Commit rolls back when it fails.
    bool Begin();
    bool Commit();
    void Rollback();

    // A worker's steps.
    bool StepSent(const std::string& task, int n, const std::string& exportName, const std::string& args);
    bool StepResult(const std::string& task, int n, int result);

    const std::string& LastError() const { return error_; }

private:
    bool Exec(const char* sql);
    static int Busy(void*, int tries);
    sqlite3* db_ = nullptr;
    std::string error_;
};

double Now();  // wall time, seconds since the epoch

}  // namespace vltxd
