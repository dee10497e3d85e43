// The supervisor: starts one worker per printer, queues each printer's
// tasks and hands them to its worker one at a time, in arrival order,
// restarts a worker that dies (with a back-off) while the others go on,
// and tells waiting requests and the events stream what happened.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "config.h"
#include "journal.h"
#include "validation.h"

namespace vltxd {

class Supervisor {
public:
    using Publish = std::function<void(const nlohmann::json&)>;
    Supervisor(const Config& config, const std::string& journalPath, const std::string& self, Publish publish);
    ~Supervisor();
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    bool Start(std::string& error);
    void Stop();

    struct Submitted {
        enum Result { Queued, Repeat, Conflict, Full, Failed, Unavailable } R;
        std::string Task;
        std::string Message;
    };
    Submitted Submit(const std::string& printer, const std::string& idemKey, const std::string& bodyHash,
                     const std::string& request, const Plan& plan);
    // Waits up to ms for the task to end; true when it has.
    bool WaitEnd(const std::string& task, int ms);
    // The task as the API shows it; null when unknown.
    nlohmann::json TaskJson(const std::string& task);
    std::string TaskFile(const std::string& task);
    nlohmann::json PrinterJson(const std::string& printer);
    // One status exchange, outside the journal; -1 with a reason when the
    // worker cannot do it.
    int Status(const std::string& printer, int timeoutMs, std::string& reason);

    std::string FilePath(const std::string& task) const { return config_.StateDir + "/files/" + task; }

private:
    struct Item {
        std::string Task;
        nlohmann::json Message;
        std::uint64_t StatusReq = 0;
    };
    struct Worker {
        const PrinterConfig* Cfg = nullptr;
        pid_t Pid = -1;
        int Fd = -1;
        std::string In;
        std::string State = "starting";
        std::string LastError;
        int LastCode = 0;
        std::deque<Item> Queue;
        Item Current;
        bool Busy = false;
        int Failures = 0;
        std::int64_t RestartAt = 0;
        std::int64_t StartedAt = 0;
        int Restarts = 0;
    };
    struct StatusWait {
        bool Done = false;
        int Result = -1;
        std::string Reason;
    };

    struct JournalRequest {
        Worker* W;
        nlohmann::json Message;
    };
    void Loop();
    // The workers' journal writes of one round, in one transaction.
    void CommitJournal(std::vector<JournalRequest>& requests);
    void Spawn(Worker& w);
    void OnMessage(Worker& w, const nlohmann::json& m);
    void OnDeath(Worker& w);
    void Dispatch(Worker& w);
    void SetState(Worker& w, const std::string& state, const std::string& error = {}, int code = 0);
    void EndTask(const std::string& task);
    void Wake();
    int Prune();
    nlohmann::json Accepts(const Plan& plan, const StatusProfile& p) const;
    std::string Meaning(const StatusProfile& p, const std::string& exportName, const std::string& args, int r) const;

    const Config& config_;
    std::string journalPath_, self_;
    Publish publish_;
    Journal journal_;
    std::mutex mutex_;
    std::condition_variable ended_;
    std::map<std::string, Worker> workers_;
    std::map<std::string, bool> live_;  // task -> ended
    std::map<std::uint64_t, StatusWait> statusWaits_;
    std::uint64_t nextStatus_ = 1;
    int wake_ = -1;
    bool stop_ = false;
    std::thread thread_;
};

std::string NewTaskId();
bool ValidTaskId(const std::string& id);
std::string BodyHash(const std::string& path, const std::string& canonical);
void Log(const std::string& line);

}  // namespace vltxd
