#include "supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace vltxd {

using nlohmann::json;

namespace {

std::int64_t NowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

std::mutex journalMutex;

}  // namespace

void Log(const std::string& line) {
    std::fprintf(stderr, "vltxd: %s\n", line.c_str());
    std::fflush(stderr);
}

std::string NewTaskId() {
    unsigned char b[12] = {};
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = read(fd, b, sizeof b);
        close(fd);
    }
    static const char* hex = "0123456789abcdef";
    std::string id = "t";
    for (unsigned char c : b) {
        id += hex[c >> 4];
        id += hex[c & 15];
    }
    return id;
}

bool ValidTaskId(const std::string& id) {
    if (id.size() != 25 || id[0] != 't') return false;
    return id.find_first_not_of("0123456789abcdef", 1) == std::string::npos;
}

std::string BodyHash(const std::string& path, const std::string& canonical) {
    // FNV-1a, 64 bits, over the path and the canonical body: a retry sends
    // the same bytes, a different request another hash.
    std::uint64_t h = 1469598103934665603ULL;
    auto add = [&h](const std::string& s) {
        for (unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ULL;
        }
    };
    add(path);
    add("\n");
    add(canonical);
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

Supervisor::Supervisor(const Config& config, const std::string& journalPath, const std::string& self, Publish publish)
    : config_(config), journalPath_(journalPath), self_(self), publish_(std::move(publish)) {}

Supervisor::~Supervisor() { Stop(); }

bool Supervisor::Start(std::string& error) {
    if (!journal_.Open(journalPath_, error)) return false;
    const int interrupted = journal_.InterruptUnfinished();
    if (interrupted > 0) Log(std::to_string(interrupted) + " unfinished task(s) from before the start marked interrupted");
    const int pruned = Prune();
    if (pruned > 0) Log(std::to_string(pruned) + " task(s) older than " + std::to_string(config_.JournalDays) + " days pruned");
    mkdir((config_.StateDir + "/files").c_str(), 0700);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    for (const PrinterConfig& p : config_.Printers) {
        Worker& w = workers_[p.Id];
        w.Cfg = &p;
        Spawn(w);
    }
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void Supervisor::Stop() {
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (stop_) return;
        stop_ = true;
    }
    Wake();
    if (thread_.joinable()) thread_.join();
    for (auto& [id, w] : workers_) {
        if (w.Pid > 0) {
            kill(w.Pid, SIGTERM);
            waitpid(w.Pid, nullptr, 0);
        }
        if (w.Fd >= 0) close(w.Fd);
    }
    if (wake_ >= 0) close(wake_);
}

int Supervisor::Prune() {
    std::vector<std::string> files;
    int n;
    {
        std::lock_guard<std::mutex> j(journalMutex);
        n = journal_.Prune(config_.JournalDays, files);
    }
    for (const std::string& f : files) unlink(f.c_str());
    return n;
}

void Supervisor::Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t r = write(wake_, &one, sizeof one);
}

// fork and exec this program in worker mode, its end of a socket pair as
// fd 3; the worker dies with the supervisor.
void Supervisor::Spawn(Worker& w) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        SetState(w, "restarting", std::string("socketpair: ") + std::strerror(errno));
        w.RestartAt = NowMs() + config_.RestartMaxMs;
        return;
    }
    const PrinterConfig& p = *w.Cfg;
    std::vector<std::string> args = {self_,     "--worker",  "--socket",          "3",
                                     "--printer", p.Id,        "--port",            p.Port,
                                     "--lib",     config_.Library,
                                     "--state",   config_.StateDir, "--log",        p.Log ? "1" : "0",
                                     "--reopen-ms", std::to_string(config_.ReopenMs)};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(1);
        if (dup2(sv[1], 3) < 0) _exit(1);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(sv[1]);
    if (pid < 0) {
        close(sv[0]);
        SetState(w, "restarting", std::string("fork: ") + std::strerror(errno));
        w.RestartAt = NowMs() + config_.RestartMaxMs;
        return;
    }
    w.Pid = pid;
    w.Fd = sv[0];
    w.In.clear();
    w.StartedAt = NowMs();
    w.RestartAt = 0;
    SetState(w, "starting");
}

void Supervisor::SetState(Worker& w, const std::string& state, const std::string& error, int code) {
    const bool changed = w.State != state || (!error.empty() && error != w.LastError);
    w.State = state;
    if (!error.empty()) {
        w.LastError = error;
        w.LastCode = code;
    }
    if (changed) {
        json ev = {{"type", "printer"}, {"printer", w.Cfg->Id}, {"state", state}};
        if (!error.empty()) ev["error"] = error;
        publish_(ev);
    }
}

void Supervisor::Loop() {
    std::int64_t nextPrune = NowMs() + 3600 * 1000;
    for (;;) {
        std::vector<pollfd> fds{{wake_, POLLIN, 0}};
        std::vector<std::string> ids{""};
        std::int64_t next = nextPrune;
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (stop_) return;
            for (auto& [id, w] : workers_) {
                if (w.Fd >= 0) {
                    fds.push_back({w.Fd, POLLIN, 0});
                    ids.push_back(id);
                }
                if (w.RestartAt > 0) next = std::min(next, w.RestartAt);
            }
        }
        const int timeout = static_cast<int>(std::clamp<std::int64_t>(next - NowMs(), 0, INT_MAX));
        const int r = poll(fds.data(), fds.size(), timeout);
        if (r < 0 && errno != EINTR) return;
        std::unique_lock<std::mutex> g(mutex_);
        if (stop_) return;
        if (fds[0].revents & POLLIN) {
            std::uint64_t v;
            [[maybe_unused]] ssize_t n = read(wake_, &v, sizeof v);
        }
        std::vector<JournalRequest> journal;
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Worker& w = workers_[ids[i]];
            char buf[65536];
            const ssize_t n = recv(w.Fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                w.In.append(buf, static_cast<std::size_t>(n));
                std::size_t nl;
                while ((nl = w.In.find('\n')) != std::string::npos) {
                    json m = json::parse(w.In.substr(0, nl), nullptr, false);
                    w.In.erase(0, nl + 1);
                    if (m.is_object() && m.value("ev", "") == "journal") journal.push_back({&w, std::move(m)});
                    else if (m.is_object()) OnMessage(w, m);
                }
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                OnDeath(w);
            }
        }
        // Every worker that asked in this round waits for the same commit:
        // one flush to the disk for all of them.
        // The requests' state is the loop's own: the API's threads go on
        // meanwhile.
        if (!journal.empty()) {
            g.unlock();
            CommitJournal(journal);
            g.lock();
        }
        const std::int64_t now = NowMs();
        for (auto& [id, w] : workers_) {
            if (w.RestartAt > 0 && w.RestartAt <= now) Spawn(w);
            Dispatch(w);
        }
        if (now >= nextPrune) {
            nextPrune = now + 3600 * 1000;
            g.unlock();
            Prune();
        }
    }
}

void Supervisor::CommitJournal(std::vector<JournalRequest>& requests) {
    bool ok;
    std::string error;
    {
        std::lock_guard<std::mutex> j(journalMutex);
        ok = journal_.Begin();
        for (const JournalRequest& r : requests) {
            // A worker that died waiting for this commit sent nothing after it.
            if (r.W->Fd < 0) continue;
            const std::string task = r.Message.value("task", "");
            for (const json& w : r.Message.value("writes", json::array())) {
                if (!ok) break;
                const std::string op = w.value("op", "");
                if (op == "sent") ok = journal_.StepSent(task, w.value("n", 0), w.value("export", ""), w.value("args", "[]"));
                else if (op == "result") ok = journal_.StepResult(task, w.value("n", 0), w.value("result", 0));
                else if (op == "running") ok = journal_.SetState(task, "running");
                else if (op == "end") ok = journal_.SetState(task, w.value("state", ""), w.value("outcome", ""));
            }
        }
        if (ok) ok = journal_.Commit();
        else journal_.Rollback();
        error = journal_.LastError();
    }
    for (const JournalRequest& r : requests) {
        if (r.W->Fd < 0) continue;
        json answer = {{"op", "journaled"}, {"seq", r.Message.value("seq", 0ULL)}, {"ok", ok}};
        if (!ok) answer["message"] = error;
        const std::string s = answer.dump() + "\n";
        [[maybe_unused]] ssize_t n = send(r.W->Fd, s.data(), s.size(), MSG_NOSIGNAL);
    }
}

void Supervisor::OnMessage(Worker& w, const json& m) {
    const std::string ev = m.value("ev", "");
    const std::string printer = w.Cfg->Id;
    if (ev == "port") {
        const std::string st = m.value("state", "");
        if (st == "ready") {
            SetState(w, w.Busy ? "busy" : "ready");
            w.Failures = 0;
            Log("printer " + printer + ": port " + w.Cfg->Port + " open");
        } else if (st == "closed") {
            SetState(w, "port_closed", m.value("reason", ""), m.value("code", 0));
            if (m.value("attempt", 0) == 1)
                Log("printer " + printer + ": port " + w.Cfg->Port + " does not open (" + m.value("reason", "") +
                    "); retrying every " + std::to_string(config_.ReopenMs) + " ms");
        } else if (st == "reopening") {
            SetState(w, "reopening", "the line failed with " + std::to_string(m.value("code", 0)), m.value("code", 0));
        }
    } else if (ev == "fatal") {
        SetState(w, "failed", m.value("reason", ""));
        Log("printer " + printer + ": worker cannot start: " + m.value("reason", ""));
    } else if (ev == "status") {
        auto it = statusWaits_.find(m.value("req", 0ULL));
        if (it != statusWaits_.end()) {
            it->second.Done = true;
            it->second.Result = m.value("result", -1);
        }
        w.Busy = false;
        if (w.State == "busy") SetState(w, "ready");
        ended_.notify_all();
    } else if (ev == "end") {
        const std::string task = m.value("task", "");
        publish_({{"type", "task"}, {"task", task}, {"printer", printer}, {"state", m.value("state", "")},
                  {"outcome", m.value("outcome", json::object())}});
        w.Busy = false;
        w.Current = Item{};
        if (w.State == "busy") SetState(w, "ready");
        EndTask(task);
    } else if (ev == "task") {
        publish_({{"type", "task"}, {"task", m.value("task", "")}, {"printer", printer}, {"state", m.value("state", "")}});
    } else if (ev == "step") {
        json e = {{"type", "step"}, {"task", m.value("task", "")}, {"printer", printer}, {"n", m.value("n", 0)},
                  {"export", m.value("export", "")}, {"phase", m.value("phase", "")}};
        if (m.contains("result")) {
            e["result"] = m["result"];
            e["meaning"] = Meaning(w.Cfg->Profile, m.value("export", ""), "", m.value("result", 0));
        }
        publish_(e);
    } else if (ev == "poll") {
        json e = {{"type", "poll"}, {"task", m.value("task", "")}, {"printer", printer}};
        if (m.contains("status")) {
            e["status"] = m["status"];
            e["busy"] = w.Cfg->Profile.Busy.count(m.value("status", 0)) > 0;
        }
        if (m.contains("code")) e["code"] = m["code"];
        publish_(e);
    } else if (ev == "progress") {
        publish_({{"type", "progress"}, {"task", m.value("task", "")}, {"printer", printer}, {"bytes", m.value("bytes", 0LL)}});
    }
}

void Supervisor::OnDeath(Worker& w) {
    close(w.Fd);
    w.Fd = -1;
    int status = 0;
    if (w.Pid > 0) waitpid(w.Pid, &status, 0);
    w.Pid = -1;
    const std::string how = WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                                : "exited with " + std::to_string(WEXITSTATUS(status));
    if (w.Busy && !w.Current.Task.empty()) {
        const std::string task = w.Current.Task;
        {
            std::lock_guard<std::mutex> j(journalMutex);
            std::optional<TaskRow> t = journal_.Task(task);
            if (t && (t->State == "running" || t->State == "queued"))
                journal_.SetState(task, "interrupted",
                                  json({{"error", "worker_died"}, {"message", "the printer's worker " + how}}).dump());
        }
        publish_({{"type", "task"}, {"task", task}, {"printer", w.Cfg->Id}, {"state", "interrupted"}});
        EndTask(task);
    } else if (w.Busy && w.Current.StatusReq != 0) {
        auto it = statusWaits_.find(w.Current.StatusReq);
        if (it != statusWaits_.end()) {
            it->second.Done = true;
            it->second.Reason = "the printer's worker " + how;
        }
        ended_.notify_all();
    }
    w.Busy = false;
    w.Current = Item{};
    ++w.Failures;
    ++w.Restarts;
    const std::int64_t delay =
        std::min<std::int64_t>(config_.RestartMaxMs, static_cast<std::int64_t>(config_.RestartMinMs)
                                                         << std::min(w.Failures - 1, 16));
    w.RestartAt = NowMs() + delay;
    SetState(w, "restarting", "worker " + how);
    Log("printer " + w.Cfg->Id + ": worker " + how + "; restarting in " + std::to_string(delay) + " ms");
}

void Supervisor::Dispatch(Worker& w) {
    if (w.Busy || w.Queue.empty() || w.Fd < 0 || (w.State != "ready" && w.State != "busy")) return;
    w.Current = std::move(w.Queue.front());
    w.Queue.pop_front();
    w.Busy = true;
    const std::string s = w.Current.Message.dump() + "\n";
    std::size_t off = 0;
    while (off < s.size()) {
        const ssize_t n = send(w.Fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{w.Fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0) break;  // the death shows on the next read
        off += static_cast<std::size_t>(n);
    }
    SetState(w, "busy");
}

void Supervisor::EndTask(const std::string& task) {
    live_[task] = true;
    ended_.notify_all();
}

json Supervisor::Accepts(const Plan& plan, const StatusProfile& p) const {
    json all = json::array();
    const json done(std::vector<int>(p.Done.begin(), p.Done.end()));
    for (const Call& c : plan.Steps) {
        if (c.Export == "ecf_Relatorio_XZ" && !c.Args.empty() && c.Args[0] == "1") all.push_back({p.ReportAccepted});
        else if (c.Export == "ecf_LeECF" || c.Export == "ecf_LeCMC7" || c.Export == "ecf_LeRegistrador") all.push_back({33});
        else all.push_back(done);
    }
    return all;
}

std::string Supervisor::Meaning(const StatusProfile& p, const std::string& exportName, const std::string&,
                                int r) const {
    if ((exportName == "ecf_LeECF" || exportName == "ecf_LeCMC7" || exportName == "ecf_LeRegistrador") && r == 33)
        return "done: the driver read the answer whole";
    if (exportName == "ecf_Relatorio_XZ" && r == p.ReportAccepted)
        return "report accepted; the wait for the printer is over";
    // The driver's own codes that an exchange can give (1 and 3 come
    // only from opening the port, 33 from its own steps).
    const bool driver = r == 2 || (r >= 4 && r <= 29);
    auto it = p.Meanings.find(r);
    const char* d = driver ? CodeMeaning(r) : nullptr;
    if (it != p.Meanings.end() && d != nullptr) return it->second + " (or the driver's: " + d + ")";
    if (it != p.Meanings.end()) return it->second;
    if (d != nullptr) return d;
    return "status byte " + std::to_string(r) + " (not in the printer's status profile)";
}

Supervisor::Submitted Supervisor::Submit(const std::string& printer, const std::string& idemKey,
                                         const std::string& bodyHash, const std::string& request, const Plan& plan) {
    const PrinterConfig* p = config_.Printer(printer);
    {
        // A repeat is answered from the journal, whatever the printer's state.
        std::optional<TaskRow> before;
        {
            std::lock_guard<std::mutex> j(journalMutex);
            before = journal_.TaskByKey(idemKey);
        }
        if (before && before->BodyHash == bodyHash) return {Submitted::Repeat, before->Id, ""};
        if (before) return {Submitted::Conflict, before->Id, "the Idempotency-Key was used with another request"};
        std::lock_guard<std::mutex> g(mutex_);
        Worker& w = workers_[printer];
        if (w.State == "port_closed" || w.State == "failed")
            return {Submitted::Unavailable, "", "printer " + printer + " is " + w.State + ": " + w.LastError};
    }
    TaskRow t;
    t.Id = NewTaskId();
    t.Printer = printer;
    t.Kind = plan.Kind;
    t.IdemKey = idemKey;
    t.BodyHash = bodyHash;
    t.Request = request;
    t.Created = Now();
    if (plan.File) t.File = FilePath(t.Id);
    TaskRow existing;
    std::string error;
    Journal::Add r;
    {
        std::lock_guard<std::mutex> j(journalMutex);
        r = journal_.AddTask(t, existing, error);
    }
    switch (r) {
        case Journal::Add::Repeat: return {Submitted::Repeat, existing.Id, ""};
        case Journal::Add::Conflict:
            return {Submitted::Conflict, existing.Id, "the Idempotency-Key was used with another request"};
        case Journal::Add::Full: return {Submitted::Full, "", "the journal cannot be written: " + error};
        case Journal::Add::Failed: return {Submitted::Failed, "", "the journal cannot be written: " + error};
        case Journal::Add::Inserted: break;
    }
    json msg = {{"op", "run"}, {"task", t.Id}, {"plan", plan.ToJson()}, {"accept", Accepts(plan, p->Profile)},
                {"cancel_accept", std::vector<int>(p->Profile.Done.begin(), p->Profile.Done.end())}};
    if (plan.File) msg["file"] = t.File;
    {
        std::lock_guard<std::mutex> g(mutex_);
        live_[t.Id] = false;
        workers_[printer].Queue.push_back({t.Id, std::move(msg), 0});
    }
    publish_({{"type", "task"}, {"task", t.Id}, {"printer", printer}, {"state", "queued"}, {"kind", plan.Kind}});
    Wake();
    return {Submitted::Queued, t.Id, ""};
}

bool Supervisor::WaitEnd(const std::string& task, int ms) {
    std::unique_lock<std::mutex> g(mutex_);
    auto ended = [&] {
        auto it = live_.find(task);
        return it == live_.end() || it->second;
    };
    if (ms > 0) ended_.wait_for(g, std::chrono::milliseconds(ms), ended);
    const bool done = ended();
    // Nobody needs an ended task's entry: the journal has it.
    auto it = live_.find(task);
    if (done && it != live_.end()) live_.erase(it);
    if (it == live_.end() || done) {
        g.unlock();
        std::lock_guard<std::mutex> j(journalMutex);
        std::optional<TaskRow> t = journal_.Task(task);
        return t && t->State != "queued" && t->State != "running";
    }
    return false;
}

json Supervisor::TaskJson(const std::string& task) {
    std::optional<TaskRow> t;
    std::vector<StepRow> steps;
    {
        std::lock_guard<std::mutex> j(journalMutex);
        t = journal_.Task(task);
        if (!t) return nullptr;
        steps = journal_.Steps(task);
    }
    const PrinterConfig* p = config_.Printer(t->Printer);
    StatusProfile none;
    const StatusProfile& profile = p ? p->Profile : none;
    json s = json::array();
    for (const StepRow& x : steps) {
        json step = {{"n", x.N}, {"export", x.Export}, {"args", json::parse(x.Args, nullptr, false)}, {"sent", x.Sent}};
        if (x.Result) {
            step["result"] = *x.Result;
            step["meaning"] = Meaning(profile, x.Export, x.Args, *x.Result);
            step["ended"] = x.Ended;
        } else {
            step["result"] = nullptr;
            step["meaning"] = "sent: no result came back, so it may have reached the printer";
        }
        s.push_back(step);
    }
    json j = {{"ok", t->State == "done"}, {"task", t->Id},   {"printer", t->Printer}, {"kind", t->Kind},
              {"state", t->State},        {"created", t->Created}, {"steps", s}};
    if (t->Started > 0) j["started"] = t->Started;
    if (t->Ended > 0) j["ended"] = t->Ended;
    if (!t->Result.empty()) {
        json o = json::parse(t->Result, nullptr, false);
        if (o.is_object() && o.contains("code")) o["meaning"] = Meaning(profile, o.value("export", ""), "", o["code"]);
        if (o.is_object() && o.contains("cancel") && o["cancel"].contains("code"))
            o["cancel"]["meaning"] = Meaning(profile, "ecf_CancelaCupom", "", o["cancel"]["code"]);
        j["outcome"] = o;
    }
    if (!t->File.empty()) j["file"] = "/tasks/" + t->Id + "/file";
    return j;
}

std::string Supervisor::TaskFile(const std::string& task) {
    std::lock_guard<std::mutex> j(journalMutex);
    std::optional<TaskRow> t = journal_.Task(task);
    return t && t->State == "done" ? t->File : std::string();
}

json Supervisor::PrinterJson(const std::string& printer) {
    std::lock_guard<std::mutex> g(mutex_);
    auto it = workers_.find(printer);
    if (it == workers_.end()) return nullptr;
    const Worker& w = it->second;
    json j = {{"id", printer},
              {"port", w.Cfg->Port},
              {"worker", w.State},
              {"pid", w.Pid},
              {"queue", w.Queue.size() + (w.Busy ? 1 : 0)},
              {"restarts", w.Restarts},
              {"log", w.Cfg->Log}};
    if (!w.LastError.empty()) j["last_error"] = {{"message", w.LastError}, {"code", w.LastCode}};
    else j["last_error"] = nullptr;
    if (w.Busy && !w.Current.Task.empty()) j["current_task"] = w.Current.Task;
    return j;
}

int Supervisor::Status(const std::string& printer, int timeoutMs, std::string& reason) {
    std::unique_lock<std::mutex> g(mutex_);
    Worker& w = workers_[printer];
    if (w.State == "port_closed" || w.State == "failed") {
        reason = "printer " + printer + " is " + w.State + ": " + w.LastError;
        return -1;
    }
    const std::uint64_t id = nextStatus_++;
    statusWaits_[id] = StatusWait{};
    w.Queue.push_back({"", json({{"op", "status"}, {"req", id}}), id});
    Wake();
    const bool done = ended_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return statusWaits_[id].Done; });
    StatusWait s = statusWaits_[id];
    statusWaits_.erase(id);
    if (!done) {
        // Still queued: take it out; under way: its answer is dropped.
        for (auto it = w.Queue.begin(); it != w.Queue.end(); ++it)
            if (it->StatusReq == id) {
                w.Queue.erase(it);
                break;
            }
        reason = "the printer's queue did not reach the status exchange in time";
        return -1;
    }
    if (s.Result < 0) reason = s.Reason.empty() ? "the exchange did not run" : s.Reason;
    return s.Result;
}

}  // namespace vltxd
