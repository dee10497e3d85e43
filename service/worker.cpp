#include "worker.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "validation.h"
#include "vltx/biblioteca.h"
#include "vltx/diagnostico.h"
#include "vltx/exportacoes.h"

namespace vltxd {

using nlohmann::json;

void* LoadDriver(const std::string& wanted, std::string& error) {
    std::string loaded;
    return CarregaBiblioteca(wanted, loaded, error);
}

bool ParseWorkerArgs(int argc, char** argv, WorkerArgs& a) {
    if (argc < 2 || std::strcmp(argv[1], "--worker") != 0) return false;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string k = argv[i], v = argv[i + 1];
        if (k == "--socket") a.Socket = std::stoi(v);
        else if (k == "--printer") a.Printer = v;
        else if (k == "--port") a.Port = v;
        else if (k == "--lib") a.Library = v;
        else if (k == "--state") a.StateDir = v;
        else if (k == "--log") a.Log = v == "1";
        else if (k == "--reopen-ms") a.ReopenMs = std::stoi(v);
    }
    return a.Socket >= 0 && !a.Printer.empty();
}

namespace {

class Worker {
public:
    explicit Worker(const WorkerArgs& a) : a_(a) {}
    int Run();

private:
    void Send(const json& j);
    bool ReadMessage(json& j, int timeoutMs);
    void OpenPort();
    bool Invoke(const std::string& name, const std::vector<std::string>& args, int& result, std::string& buffer);
    void RunTask(const json& msg);
    bool LineFailure(int code) const { return (code >= 3 && code <= 19) || code == 29 || code == 2; }
    void Watch(const std::string& task, const std::string& file, bool polls);
    void StopWatch();
    // Writes to the journal, through the supervisor, which commits the
    // writes of every worker together; true once they are on the disk.
    bool Journal(const std::string& task, json writes);

    const WorkerArgs& a_;
    void* lib_ = nullptr;
    std::uint64_t journalSeq_ = 0;
    std::string journalError_;
    std::mutex sendMutex_;
    std::string in_;
    bool open_ = false;
    std::thread watcher_;
    std::atomic<bool> watching_{false};
    int stopPipe_[2] = {-1, -1};
};

void Worker::Send(const json& j) {
    std::lock_guard<std::mutex> g(sendMutex_);
    const std::string s = j.dump() + "\n";
    std::size_t off = 0;
    while (off < s.size()) {
        const ssize_t n = send(a_.Socket, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(0);  // the supervisor is gone
        off += static_cast<std::size_t>(n);
    }
}

// One line from the supervisor; false on time-out. The socket closing ends
// the worker.
bool Worker::ReadMessage(json& j, int timeoutMs) {
    for (;;) {
        const std::size_t nl = in_.find('\n');
        if (nl != std::string::npos) {
            j = json::parse(in_.substr(0, nl), nullptr, false);
            in_.erase(0, nl + 1);
            return true;
        }
        pollfd p{a_.Socket, POLLIN, 0};
        const int r = poll(&p, 1, timeoutMs);
        if (r == 0) return false;
        if (r < 0) {
            if (errno == EINTR) continue;
            _exit(0);
        }
        char buf[65536];
        const ssize_t n = recv(a_.Socket, buf, sizeof buf, 0);
        if (n <= 0) _exit(0);
        in_.append(buf, static_cast<std::size_t>(n));
    }
}

bool Worker::Invoke(const std::string& name, const std::vector<std::string>& args, int& result, std::string& buffer) {
    const Exportacao* e = ProcuraExportacao(name);
    void* sym = e ? dlsym(lib_, e->Nome) : nullptr;
    if (sym == nullptr) return false;
    Resultado r = e->Chama(sym, args);
    result = r.Valor;
    buffer = r.Buffer;
    return true;
}

// Opens the port, and keeps trying while it does not open; each failure is
// reported with its reason.
void Worker::OpenPort() {
    int attempt = 0;
    for (;;) {
        int r = 0;
        std::string unused;
        Invoke("ecf_InicializaDLL", {a_.Port}, r, unused);
        if (r == 33 || r == 1) {
            Invoke("ecf_LogSerial", {a_.Log ? "1" : "0"}, r, unused);
            open_ = true;
            Send({{"ev", "port"}, {"state", "ready"}, {"attempt", attempt}});
            return;
        }
        std::string reason = CodeMeaning(r) ? CodeMeaning(r) : "code " + std::to_string(r);
        if (!a_.Port.empty() && a_.Port[0] == '/') {
            std::vector<std::string> why = PorQueNaoAbre(a_.Port, CredenciaisDoProcesso());
            for (const std::string& w : why) reason += "; " + w;
        }
        Send({{"ev", "port"}, {"state", "closed"}, {"code", r}, {"reason", reason}, {"attempt", ++attempt}});
        // Tasks are not sent while the port is closed; anything that comes
        // is answered as refused.
        json msg;
        if (!ReadMessage(msg, a_.ReopenMs) || !msg.is_object()) continue;
        if (msg.value("op", "") == "status")
            Send({{"ev", "status"}, {"req", msg.value("req", 0ULL)}, {"result", 2}});
        if (msg.value("op", "") == "run") {
            Send({{"ev", "end"}, {"task", msg.value("task", "")}, {"state", "failed"},
                  {"outcome", {{"error", "printer_unavailable"}, {"message", reason}}}});
            Journal(msg.value("task", ""), json::array({{{"op", "end"}, {"state", "failed"},
                                                          {"outcome", json({{"error", "printer_unavailable"},
                                                                            {"message", reason}}).dump()}}}));
        }
    }
}

// Each poll of the report wait and each piece of a readout, as events: the
// driver's log (switched on for the report) shows the polls, the task's
// file the bytes so far.
void Worker::Watch(const std::string& task, const std::string& file, bool polls) {
    if (pipe(stopPipe_) != 0) return;
    watching_ = true;
    watcher_ = std::thread([this, task, file, polls] {
        const std::string dir = a_.StateDir + "/printers/" + a_.Printer + "/c";
        int ino = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (polls) inotify_add_watch(ino, dir.c_str(), IN_MODIFY | IN_CREATE);
        if (!file.empty()) inotify_add_watch(ino, file.c_str(), IN_MODIFY);
        // Where each log file stood when the task began.
        std::map<std::string, off_t> seen;
        auto scan = [&](bool baseline) {
            DIR* d = opendir(dir.c_str());
            if (d == nullptr) return;
            while (dirent* e = readdir(d)) {
                const std::string name = e->d_name;
                if (name.size() < 5 || name.substr(name.size() - 4) != ".log") continue;
                const std::string path = dir + "/" + name;
                struct stat st {};
                if (stat(path.c_str(), &st) != 0) continue;
                if (baseline) {
                    seen[path] = st.st_size;
                    continue;
                }
                off_t from = seen.count(path) ? seen[path] : 0;
                if (st.st_size <= from) continue;
                FILE* f = std::fopen(path.c_str(), "rb");
                if (f == nullptr) continue;
                std::fseek(f, from, SEEK_SET);
                std::string bytes(static_cast<std::size_t>(st.st_size - from), '\0');
                bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
                std::fclose(f);
                // A whole RX record of a status poll: "\x1b" "f00" sent, one byte back.
                std::size_t p = 0, used = 0;
                while ((p = bytes.find("\nTX [", p)) != std::string::npos) {
                    const std::size_t frame = bytes.find("] - ", p);
                    if (frame == std::string::npos || frame + 8 > bytes.size()) break;
                    const std::size_t rx = bytes.find("\nRX [", frame);
                    const std::size_t err = bytes.find("\nErro DLL [", frame);
                    const std::size_t end = std::min(rx, err);
                    if (end == std::string::npos) break;
                    const std::size_t val = bytes.find("] - ", end);
                    if (val == std::string::npos || val + 4 >= bytes.size()) break;
                    // The log is a text-mode file: a reply byte 10 (LF) is
                    // written there as CR LF.
                    const bool crlf = bytes.compare(val + 4, 2, "\r\n") == 0;
                    if (val + 5 >= bytes.size() && bytes[val + 4] == '\r') break;  // its LF is still to come
                    if (bytes.compare(frame + 4, 4, "\x1b" "f00") == 0) {
                        json ev = {{"ev", "poll"}, {"task", task}};
                        if (end == rx) ev["status"] = crlf ? 10 : static_cast<unsigned char>(bytes[val + 4]);
                        else ev["code"] = std::atoi(bytes.c_str() + val + 4);
                        Send(ev);
                    }
                    p = used = val + (crlf ? 6 : 5);
                }
                seen[path] = from + static_cast<off_t>(used);
            }
            closedir(d);
        };
        if (polls) scan(true);
        off_t last = -1;
        for (;;) {
            pollfd p[2] = {{stopPipe_[0], POLLIN, 0}, {ino, POLLIN, 0}};
            const int r = poll(p, 2, file.empty() ? -1 : 1000);
            if (r > 0 && (p[0].revents & POLLIN)) break;
            char drain[4096];
            while (read(ino, drain, sizeof drain) > 0) {
            }
            if (polls) scan(false);
            if (!file.empty()) {
                struct stat st {};
                if (stat(file.c_str(), &st) == 0 && st.st_size != last) {
                    last = st.st_size;
                    Send({{"ev", "progress"}, {"task", task}, {"bytes", static_cast<long long>(st.st_size)}});
                    inotify_add_watch(ino, file.c_str(), IN_MODIFY);
                }
            }
        }
        if (polls) scan(false);
        struct stat st {};
        if (!file.empty() && stat(file.c_str(), &st) == 0 && st.st_size != last)
            Send({{"ev", "progress"}, {"task", task}, {"bytes", static_cast<long long>(st.st_size)}});
        close(ino);
    });
}

void Worker::StopWatch() {
    if (!watching_) return;
    [[maybe_unused]] ssize_t w = write(stopPipe_[1], "x", 1);
    watcher_.join();
    close(stopPipe_[0]);
    close(stopPipe_[1]);
    watching_ = false;
}

bool Worker::Journal(const std::string& task, json writes) {
    const std::uint64_t seq = ++journalSeq_;
    Send({{"ev", "journal"}, {"seq", seq}, {"task", task}, {"writes", std::move(writes)}});
    for (;;) {
        json answer;
        ReadMessage(answer, -1);
        if (!answer.is_object() || answer.value("op", "") != "journaled" || answer.value("seq", 0ULL) != seq) continue;
        journalError_ = answer.value("message", "");
        return answer.value("ok", false);
    }
}

void Worker::RunTask(const json& msg) {
    const std::string task = msg.at("task");
    const Plan plan = Plan::FromJson(msg.at("plan"));
    const json accept = msg.at("accept");
    const std::string file = msg.value("file", "");
    Send({{"ev", "task"}, {"task", task}, {"state", "running"}});

    json outcome = json::object();
    std::string state = "done";
    int n = 0;
    bool lineDown = false;
    // A step's result is committed with the next write (the next step going
    // out, or the task's end): one commit, one flush to the disk, per step.
    // A crash in between leaves the step as sent, which it was.
    int pendingN = 0, pendingResult = 0;
    auto step = [&](const Call& c, int& result, std::string& buffer) -> bool {
        ++n;
        std::vector<std::string> args = c.Args;
        if (plan.File && c.Export != plan.Cancel.Export) args.push_back(file);
        json writes = json::array();
        if (pendingN > 0) writes.push_back({{"op", "result"}, {"n", pendingN}, {"result", pendingResult}});
        if (n == 1) writes.push_back({{"op", "running"}});
        writes.push_back({{"op", "sent"}, {"n", n}, {"export", c.Export}, {"args", json(c.Args).dump()}});
        if (!Journal(task, std::move(writes))) {
            // Not journaled, not sent.
            outcome["error"] = "journal_unavailable";
            outcome["message"] = "step " + std::to_string(n) + " was not sent: the journal cannot be written: " +
                                 journalError_;
            return false;
        }
        pendingN = 0;
        Send({{"ev", "step"}, {"task", task}, {"n", n}, {"export", c.Export}, {"phase", "sent"}});
        if (!Invoke(c.Export, args, result, buffer)) {
            result = -1;
            buffer.clear();
        }
        pendingN = n;
        pendingResult = result;
        Send({{"ev", "step"}, {"task", task}, {"n", n}, {"export", c.Export}, {"phase", "result"}, {"result", result}});
        return true;
    };
    for (std::size_t i = 0; i < plan.Steps.size(); ++i) {
        const Call& c = plan.Steps[i];
        const bool waits = plan.Wait == static_cast<int>(i) + 1;
        if (waits && !a_.Log) {
            int unused;
            std::string b;
            Invoke("ecf_LogSerial", {"1"}, unused, b);
        }
        if (waits || plan.File) Watch(task, plan.File ? file : std::string(), waits);
        int result = 0;
        std::string buffer;
        const bool journaled = step(c, result, buffer);
        StopWatch();
        if (waits && !a_.Log) {
            int unused;
            std::string b;
            Invoke("ecf_LogSerial", {"0"}, unused, b);
        }
        if (!journaled) {
            state = "failed";
            break;
        }
        if (!buffer.empty()) outcome["buffer"] = buffer;
        bool ok = false;
        for (const json& v : accept.at(i)) ok = ok || v.get<int>() == result;
        if (ok) continue;
        state = "failed";
        lineDown = LineFailure(result);
        outcome["failed_step"] = n;
        outcome["export"] = c.Export;
        outcome["code"] = result;
        if (plan.CancelOnFailure) {
            int cr = 0;
            std::string cb;
            json cancel = {{"export", plan.Cancel.Export}};
            if (step(plan.Cancel, cr, cb)) {
                cancel["step"] = n;
                cancel["code"] = cr;
                bool cok = false;
                for (const json& v : msg.at("cancel_accept")) cok = cok || v.get<int>() == cr;
                cancel["ok"] = cok;
                lineDown = lineDown || LineFailure(cr);
            } else {
                cancel["ok"] = false;
            }
            outcome["cancel"] = cancel;
        }
        break;
    }
    if (plan.File) {
        struct stat st {};
        outcome["bytes"] = stat(file.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0LL;
    }
    json writes = json::array();
    if (pendingN > 0) writes.push_back({{"op", "result"}, {"n", pendingN}, {"result", pendingResult}});
    writes.push_back({{"op", "end"}, {"state", state}, {"outcome", outcome.dump()}});
    Journal(task, std::move(writes));
    Send({{"ev", "end"}, {"task", task}, {"state", state}, {"outcome", outcome}});
    if (lineDown) {
        // The line may have dropped: open it again before the next task.
        int r;
        std::string b;
        Invoke("ecf_FinalizaDLL", {}, r, b);
        open_ = false;
        Send({{"ev", "port"}, {"state", "reopening"}, {"code", outcome.value("code", 0)}});
    }
}

int Worker::Run() {
    const std::string base = a_.StateDir + "/printers/" + a_.Printer;
    mkdir((a_.StateDir + "/printers").c_str(), 0700);
    mkdir(base.c_str(), 0700);
    mkdir((base + "/c").c_str(), 0700);
    // The driver's log and its switch, one set per printer.
    setenv("VLTXDRV_DRIVE_C", (base + "/c").c_str(), 1);
    setenv("VLTXDRV_REGISTRY", (base + "/registry").c_str(), 1);
    std::string error;
    lib_ = LoadDriver(a_.Library, error);
    if (lib_ == nullptr) {
        Send({{"ev", "fatal"}, {"reason", "cannot load the driver: " + error}});
        return 1;
    }
    for (;;) {
        if (!open_) OpenPort();
        json msg;
        if (!ReadMessage(msg, -1)) continue;
        if (!msg.is_object()) continue;
        if (msg.value("op", "") == "run") RunTask(msg);
        if (msg.value("op", "") == "status") {
            int r = 0;
            std::string b;
            Invoke("ecf_EstadoImpressora", {}, r, b);
            Send({{"ev", "status"}, {"req", msg.value("req", 0ULL)}, {"result", r}});
            if (LineFailure(r)) {
                int closed = 0;
                Invoke("ecf_FinalizaDLL", {}, closed, b);
                open_ = false;
                Send({{"ev", "port"}, {"state", "reopening"}, {"code", r}});
            }
        }
    }
}

}  // namespace

int RunWorker(const WorkerArgs& args) {
    Worker w(args);
    return w.Run();
}

}  // namespace vltxd
