// vltxd under load: 16 printers (vltx-sim --tcp), 64 clients posting status
// requests and receipts for 30 s; the latency the service adds over calling
// the library directly for the same status exchange; the CPU of an idle
// vltxd over 60 s; its RSS and open descriptors before and after 100,000
// requests.
//   ./run bench   (or build-bench/bench/bench_servico [--seconds S] [--idle S] [--requests N])
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"
#include "vltxdrv.h"

namespace {

using Relogio = std::chrono::steady_clock;

double Micros(Relogio::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

struct Processo {
    pid_t Pid = -1;
    std::string Linha;  // the first line of its standard output
};

Processo Lanca(const std::vector<std::string>& argv, const std::string& erros, bool linha) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    Processo p;
    p.Pid = fork();
    if (p.Pid == 0) {
        dup2(out[1], 1);
        int e = open(erros.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (e >= 0) dup2(e, 2);
        close(out[0]);
        std::vector<char*> a;
        for (const std::string& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execv(a[0], a.data());
        _exit(127);
    }
    close(out[1]);
    if (linha) {
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') p.Linha += c;
    }
    close(out[0]);
    return p;
}

// A keep-alive HTTP/1.1 client on one connection.
class Cliente {
public:
    explicit Cliente(int porta) : porta_(porta) { fd_ = ConectaLoopback(porta); }
    ~Cliente() {
        if (fd_ >= 0) close(fd_);
    }
    int Pede(const std::string& metodo, const std::string& caminho, const std::string& corpo = {},
             const std::string& chave = {}) {
        std::string r = metodo + " " + caminho + " HTTP/1.1\r\nHost: b\r\n";
        if (!chave.empty()) r += "Idempotency-Key: " + chave + "\r\nContent-Type: application/json\r\n";
        if (metodo == "POST") r += "Content-Length: " + std::to_string(corpo.size()) + "\r\n";
        r += "\r\n" + corpo;
        for (int tentativa = 0; tentativa < 2; ++tentativa) {
            if (fd_ < 0) fd_ = ConectaLoopback(porta_);
            if (send(fd_, r.data(), r.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(r.size())) {
                const int s = Le();
                if (s > 0) return s;
            }
            close(fd_);
            fd_ = -1;  // the server closed a kept-alive connection: once more on a new one
        }
        return 0;
    }

private:
    int Le() {
        std::string dados;
        char buf[16384];
        for (;;) {
            const std::size_t fim = dados.find("\r\n\r\n");
            if (fim != std::string::npos) {
                const std::size_t cl = dados.find("Content-Length: ");
                const std::size_t n = cl == std::string::npos ? 0 : std::strtoul(dados.c_str() + cl + 16, nullptr, 10);
                if (dados.size() >= fim + 4 + n) return std::atoi(dados.c_str() + 9);
            }
            const ssize_t n = recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return 0;
            dados.append(buf, static_cast<std::size_t>(n));
        }
    }
    int porta_, fd_ = -1;
};

double Percentil(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// utime + stime of a process and its children still running, in clock ticks.
long long Cpu(const std::vector<pid_t>& pids) {
    long long total = 0;
    for (pid_t p : pids) {
        std::ifstream f("/proc/" + std::to_string(p) + "/stat");
        std::string s((std::istreambuf_iterator<char>(f)), {});
        const std::size_t fecha = s.rfind(')');
        if (fecha == std::string::npos) continue;
        std::istringstream campos(s.substr(fecha + 2));
        std::string x;
        long long ut = 0, st = 0;
        for (int i = 3; i <= 15; ++i) {
            campos >> x;
            if (i == 14) ut = std::atoll(x.c_str());
            if (i == 15) st = std::atoll(x.c_str());
        }
        total += ut + st;
    }
    return total;
}

std::vector<pid_t> Filhos(pid_t pai) {
    std::vector<pid_t> v{pai};
    std::ifstream f("/proc/" + std::to_string(pai) + "/task/" + std::to_string(pai) + "/children");
    for (pid_t p; f >> p;) v.push_back(p);
    return v;
}

long Rss(pid_t p) {
    std::ifstream f("/proc/" + std::to_string(p) + "/status");
    for (std::string l; std::getline(f, l);)
        if (l.rfind("VmRSS:", 0) == 0) return std::atol(l.c_str() + 6);
    return 0;
}

int Descritores(pid_t p) {
    int n = 0;
    if (DIR* d = opendir(("/proc/" + std::to_string(p) + "/fd").c_str())) {
        while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

const char* Recibo =
    R"({"items":[{"code":"789","description":"CAFE","quantity":"1000","price":"1590","tax":"T1","unit":"UN",)"
    R"("decimals":"2"}],"payments":[{"form":"01","description":"DINHEIRO","value":"1590"}],"operator":"OP"})";

}  // namespace

int main(int argc, char** argv) {
    int segundos = 30, ocioso = 60, pedidos = 100000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--seconds") segundos = std::atoi(argv[i + 1]);
        else if (a == "--idle") ocioso = std::atoi(argv[i + 1]);
        else if (a == "--requests") pedidos = std::atoi(argv[i + 1]);
    }
    signal(SIGPIPE, SIG_IGN);
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
    char modelo[] = "/tmp/vltxd-bench-XXXXXX";
    const std::string dir = mkdtemp(modelo);
    constexpr int Impressoras = 16, Clientes = 64;
    std::vector<Processo> sims;
    for (int i = 0; i <= Impressoras; ++i)
        sims.push_back(Lanca({VLTX_SIM_BIN, "--tcp", "127.0.0.1:0", "--paper", dir + "/papel" + std::to_string(i)},
                             dir + "/sim.err", true));
    const int porta = PortaLivre();
    {
        std::ofstream c(dir + "/vltxd.toml");
        c << "listen = \"127.0.0.1:" << porta << "\"\nstate_dir = \"" << dir << "/state\"\nlibrary = \"" << VLTXDRV_SO
          << "\"\n";
        for (int i = 0; i < Impressoras; ++i)
            c << "[[printer]]\nid = \"p" << i << "\"\nport = \"socket://" << sims[static_cast<std::size_t>(i)].Linha << "\"\n";
    }
    Processo d = Lanca({VLTXD_BIN, "--config", dir + "/vltxd.toml"}, dir + "/vltxd.err", false);
    for (int t = 0; t < 500; ++t) {
        Cliente c(porta);
        if (c.Pede("GET", "/printers/p15/status") == 200) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // The same status exchange through the library, directly, on the 17th printer.
    setenv("VLTXDRV_DRIVE_C", (dir + "/c").c_str(), 1);
    setenv("VLTXDRV_REGISTRY", (dir + "/reg").c_str(), 1);
    const std::string url = "socket://" + sims.back().Linha;
    ecf_InicializaDLL(url.c_str());
    constexpr int Amostras = 3000;
    std::vector<double> direto, servico;
    for (int i = 0; i < Amostras; ++i) {
        const auto t0 = Relogio::now();
        ecf_EstadoImpressora();
        direto.push_back(Micros(Relogio::now() - t0));
    }
    ecf_FinalizaDLL();
    {
        Cliente c(porta);
        for (int i = 0; i < Amostras; ++i) {
            const auto t0 = Relogio::now();
            c.Pede("GET", "/printers/p0/status");
            servico.push_back(Micros(Relogio::now() - t0));
        }
    }
    std::printf("status exchange, one at a time (%d each):\n", Amostras);
    std::printf("  library directly: p50 %.0f us, p99 %.0f us\n", Percentil(direto, .5), Percentil(direto, .99));
    std::printf("  through vltxd:    p50 %.0f us, p99 %.0f us\n", Percentil(servico, .5), Percentil(servico, .99));
    std::printf("  added by vltxd:   p50 %.0f us, p99 %.0f us\n", Percentil(servico, .5) - Percentil(direto, .5),
                Percentil(servico, .99) - Percentil(direto, .99));

    // 64 clients for S seconds: status requests, and every tenth a receipt.
    std::atomic<bool> parar{false};
    std::atomic<long> numStatus{0}, numRecibos{0}, falhas{0};
    std::mutex trava;
    std::vector<double> latStatus, latRecibo;
    std::vector<std::thread> fios;
    const auto inicio = Relogio::now();
    for (int k = 0; k < Clientes; ++k)
        fios.emplace_back([&, k] {
            Cliente c(porta);
            std::vector<double> ls, lr;
            for (long i = 0; !parar; ++i) {
                const std::string imp = "p" + std::to_string((k + i) % Impressoras);
                const auto t0 = Relogio::now();
                if (i % 10 == 9) {
                    const int s = c.Pede("POST", "/printers/" + imp + "/receipt",
                                         Recibo, "b" + std::to_string(k) + "-" + std::to_string(i));
                    lr.push_back(Micros(Relogio::now() - t0));
                    (s == 200 ? numRecibos : falhas)++;
                } else {
                    const int s = c.Pede("GET", "/printers/" + imp + "/status");
                    ls.push_back(Micros(Relogio::now() - t0));
                    (s == 200 ? numStatus : falhas)++;
                }
            }
            std::lock_guard<std::mutex> g(trava);
            latStatus.insert(latStatus.end(), ls.begin(), ls.end());
            latRecibo.insert(latRecibo.end(), lr.begin(), lr.end());
        });
    std::this_thread::sleep_for(std::chrono::seconds(segundos));
    parar = true;
    for (std::thread& t : fios) t.join();
    const double s = std::chrono::duration<double>(Relogio::now() - inicio).count();
    std::printf("%d printers, %d clients, %.1f s: %.0f requests/s (%ld status, %ld receipts, %ld failed)\n",
                Impressoras, Clientes, s, static_cast<double>(numStatus + numRecibos) / s, numStatus.load(),
                numRecibos.load(), falhas.load());
    std::printf("  status:  p50 %.0f us, p99 %.0f us\n", Percentil(latStatus, .5), Percentil(latStatus, .99));
    std::printf("  receipt: p50 %.0f us, p99 %.0f us (5 exchanges, each journaled)\n", Percentil(latRecibo, .5),
                Percentil(latRecibo, .99));

    // Idle.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const std::vector<pid_t> todos = Filhos(d.Pid);
    const long long c0 = Cpu(todos);
    const auto t0 = Relogio::now();
    std::this_thread::sleep_for(std::chrono::seconds(ocioso));
    const double passou = std::chrono::duration<double>(Relogio::now() - t0).count();
    const double cpu = static_cast<double>(Cpu(todos) - c0) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::printf("idle %d printers, %.0f s: %.3f s of CPU (%.3f %% of a core), supervisor and %zu workers\n",
                Impressoras, passou, cpu, 100.0 * cpu / passou, todos.size() - 1);

    // RSS and descriptors around many requests.
    const long rss0 = Rss(d.Pid);
    const int fd0 = Descritores(d.Pid);
    std::atomic<long> feitos{0};
    fios.clear();
    for (int k = 0; k < Clientes; ++k)
        fios.emplace_back([&, k] {
            Cliente c(porta);
            for (long i = 0; feitos++ < pedidos; ++i)
                c.Pede("GET", "/printers/p" + std::to_string((k + i) % Impressoras) + "/status");
        });
    for (std::thread& t : fios) t.join();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::printf("%d requests: RSS %ld kB -> %ld kB, descriptors %d -> %d (supervisor)\n", pedidos, rss0, Rss(d.Pid),
                fd0, Descritores(d.Pid));

    kill(d.Pid, SIGTERM);
    waitpid(d.Pid, nullptr, 0);
    for (Processo& p : sims) {
        kill(p.Pid, SIGTERM);
        waitpid(p.Pid, nullptr, 0);
    }
    std::string limpa = "rm -rf " + dir;
    return std::system(limpa.c_str()) == 0 ? 0 : 1;
}
