// A long run of the driver on a pseudo-terminal, watching that it keeps no
// memory and no descriptor it should have given back:
//   1. 100,000 status exchanges with the log on, across a local midnight
//      faked with TZ, so the log moves from one weekday's file to the next;
//   2. 10,000 openings and closings of the port.
// For each phase it prints the resident set size and the open descriptors at
// its start (after a warm-up) and at its end, and exits 1 when they did not
// stay flat or when the driver failed a call.
//   ./run bench   (or build-bench/bench/bench_soak)
#include <dirent.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "vltxdrv.h"

namespace {

constexpr long Trocas = 100000;
constexpr long Ciclos = 10000;
// The local time at the start is this many seconds before midnight.
constexpr int AntesDaMeiaNoite = 4;
// What the heap, the C library's buffers and the kernel's pages may still
// take after the warm-up without it being a leak: far below one byte per
// exchange or one hundred per cycle.
constexpr long ToleranciaRss = 256 * 1024;

const char* const Dias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// The printer: one status byte for every 4 bytes received. Not the tests'
// printer, which keeps every frame it saw and so would grow by itself.
class Eco {
public:
    Eco() {
        if (openpty(&mestre_, &escravo_, caminho_, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(2);
        }
        termios t{};
        tcgetattr(mestre_, &t);
        cfmakeraw(&t);
        tcsetattr(mestre_, TCSANOW, &t);
        // The slave stays open here so the line does not hang up between opens.
        fio_ = std::thread([this] { Laco(); });
    }
    ~Eco() {
        parar_ = true;
        fio_.join();
        close(mestre_);
        close(escravo_);
    }
    const char* Caminho() const { return caminho_; }

private:
    void Laco() {
        char b[256];
        std::size_t acumulado = 0;
        while (!parar_) {
            pollfd pf{mestre_, POLLIN, 0};
            if (poll(&pf, 1, 50) <= 0) continue;
            const ssize_t n = read(mestre_, b, sizeof b);
            if (n <= 0) continue;
            acumulado += static_cast<std::size_t>(n);
            for (; acumulado >= 4; acumulado -= 4) (void)!write(mestre_, "\0", 1);
        }
    }

    int mestre_ = -1, escravo_ = -1;
    char caminho_[128] = {};
    std::atomic<bool> parar_{false};
    std::thread fio_;
};

long Rss() {
    long paginas = 0, residentes = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return -1;
    if (std::fscanf(f, "%ld %ld", &paginas, &residentes) != 2) residentes = -1;
    std::fclose(f);
    return residentes < 0 ? -1 : residentes * sysconf(_SC_PAGESIZE);
}

// Descriptors open now, the one that lists them not counted.
int Descritores() {
    DIR* d = opendir("/proc/self/fd");
    if (d == nullptr) return -1;
    int n = 0;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n - 1;
}

struct Medida {
    long Rss;
    int Descritores;
};
Medida Mede() { return {Rss(), Descritores()}; }

// Prints the phase's figures; true when both stayed flat.
bool Plano(const char* fase, Medida inicio, Medida fim) {
    const long crescimento = fim.Rss - inicio.Rss;
    const bool ok = inicio.Rss > 0 && crescimento <= ToleranciaRss && inicio.Descritores == fim.Descritores;
    std::printf("%s: RSS %ld KiB -> %ld KiB (%+ld KiB, tolerance %ld KiB), descriptors %d -> %d: %s\n", fase,
                inicio.Rss / 1024, fim.Rss / 1024, crescimento / 1024, ToleranciaRss / 1024, inicio.Descritores,
                fim.Descritores, ok ? "flat" : "NOT FLAT");
    return ok;
}

std::int64_t MonotonicoNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void DormeAte(std::int64_t alvoNs) {
    const timespec prazo{static_cast<time_t>(alvoNs / 1000000000), static_cast<long>(alvoNs % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &prazo, nullptr) == EINTR) {
    }
}

// A zone whose offset from UTC puts the local time AntesDaMeiaNoite seconds
// before midnight now; returns when, on the monotonic clock, midnight comes.
std::int64_t MeiaNoiteEmBreve() {
    timespec utc{};
    clock_gettime(CLOCK_REALTIME, &utc);
    const std::int64_t agora = MonotonicoNs();
    const long doDia = static_cast<long>(utc.tv_sec % 86400);
    long deslocamento = ((86400 - AntesDaMeiaNoite - doDia) % 86400 + 86400) % 86400;  // local = UTC + this
    if (deslocamento > 43200) deslocamento -= 86400;
    // POSIX counts the offset west of Greenwich: east of it is negative.
    const long a = deslocamento < 0 ? -deslocamento : deslocamento;
    char tz[32];
    std::snprintf(tz, sizeof tz, "SOK%c%02ld:%02ld:%02ld", deslocamento < 0 ? '+' : '-', a / 3600, a / 60 % 60, a % 60);
    setenv("TZ", tz, 1);
    tzset();
    std::printf("TZ=%s\n", tz);
    return agora + AntesDaMeiaNoite * 1000000000LL - utc.tv_nsec;
}

tm Local() {
    const time_t agora = time(nullptr);
    tm local{};
    localtime_r(&agora, &local);
    return local;
}

std::string Diretorio(const std::string& base, const char* nome, const char* variavel) {
    const std::string d = base + "/" + nome;
    std::filesystem::create_directories(d);
    setenv(variavel, d.c_str(), 1);
    return d;
}

std::string Cabeca(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::string linha;
    std::getline(f, linha);
    if (!linha.empty() && linha.back() == '\r') linha.pop_back();
    return linha;
}

}  // namespace

int main() {
    // Before anything reads the local time.
    const std::int64_t meiaNoite = MeiaNoiteEmBreve();
    const tm antes = Local();
    char hora[16];
    std::strftime(hora, sizeof hora, "%H:%M:%S", &antes);
    std::printf("local time at the start: %s %s\n", Dias[antes.tm_wday], hora);

    char modelo[] = "/tmp/vltxdrv-soak-XXXXXX";
    if (mkdtemp(modelo) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const std::string base = modelo;
    const std::string c = Diretorio(base, "c", "VLTXDRV_DRIVE_C");
    Diretorio(base, "registry", "VLTXDRV_REGISTRY");
    const std::string travas = Diretorio(base, "lock", "VLTXDRV_LOCK_DIR");
    const std::string ontem = c + "/" + Dias[antes.tm_wday] + ".log";
    const std::string hoje = c + "/" + Dias[(antes.tm_wday + 1) % 7] + ".log";

    bool ok = true;
    long falhas = 0;
    {
        Eco eco;
        // Phase 1: exchanges with the log on, across midnight.
        if (ecf_InicializaDLL(eco.Caminho()) != 33) {
            std::printf("the port cannot be opened\n");
            return 1;
        }
        ecf_LogSerial("1");
        for (int i = 0; i < 1000; ++i) falhas += ecf_EstadoImpressora() != 0;
        const Medida inicio = Mede();
        const std::int64_t t0 = MonotonicoNs();
        long virada = -1;
        for (long i = 0; i < Trocas; ++i) {
            falhas += ecf_EstadoImpressora() != 0;
            if (virada < 0 && i % 500 == 0 && std::filesystem::exists(hoje)) virada = i;
        }
        const double segundos = static_cast<double>(MonotonicoNs() - t0) / 1e9;
        if (virada < 0) {
            // Done before midnight: wait for it, then start the new day's file.
            DormeAte(meiaNoite + 100000000);
            for (int i = 0; i < 100; ++i) falhas += ecf_EstadoImpressora() != 0;
            virada = Trocas;
        }
        const Medida fim = Mede();
        std::printf("%ld exchanges in %.1f s (%.0f us each), %ld failed; the new day's file started by exchange %ld\n",
                    Trocas, segundos, segundos * 1e6 / Trocas, falhas, virada);
        ok = Plano("exchanges", inicio, fim) && ok;

        // Phase 2: opening and closing the port.
        falhas += ecf_FinalizaDLL() != 33;
        for (int i = 0; i < 100; ++i) falhas += (ecf_InicializaDLL(eco.Caminho()) != 33) + (ecf_FinalizaDLL() != 33);
        const Medida antesDosCiclos = Mede();
        const std::int64_t t1 = MonotonicoNs();
        long falhasCiclos = 0;
        for (long i = 0; i < Ciclos; ++i)
            falhasCiclos += (ecf_InicializaDLL(eco.Caminho()) != 33) + (ecf_FinalizaDLL() != 33);
        const double segundosCiclos = static_cast<double>(MonotonicoNs() - t1) / 1e9;
        const Medida depoisDosCiclos = Mede();
        std::printf("%ld open and close cycles in %.1f s (%.0f us each), %ld calls failed\n", Ciclos, segundosCiclos,
                    segundosCiclos * 1e6 / Ciclos, falhasCiclos);
        ok = Plano("open/close", antesDosCiclos, depoisDosCiclos) && ok;
        falhas += falhasCiclos;
    }

    // Both weekdays' files, the second one started afresh after midnight.
    std::error_code erro;
    const auto tamanhoOntem = std::filesystem::file_size(ontem, erro);
    const bool haOntem = !erro;
    const auto tamanhoHoje = std::filesystem::file_size(hoje, erro);
    const bool haHoje = !erro;
    std::printf("%s: %s\n", ontem.c_str(), haOntem ? (std::to_string(tamanhoOntem) + " bytes").c_str() : "missing");
    std::printf("%s: %s\n", hoje.c_str(), haHoje ? (std::to_string(tamanhoHoje) + " bytes").c_str() : "missing");
    const std::string cabeca = Cabeca(hoje);
    const std::string esperada = std::string("Inicio LOG: ") + Dias[(antes.tm_wday + 1) % 7] + " ";
    const bool novoDia = haOntem && haHoje && cabeca.compare(0, esperada.size(), esperada) == 0 &&
                         cabeca.find(" 00:00:0") != std::string::npos;
    std::printf("new day's file head: \"%s\": %s\n", cabeca.c_str(), novoDia ? "started at midnight" : "WRONG");

    // Every lock file given back.
    long restos = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(travas)) ++restos;
    std::printf("lock files left: %ld\n", restos);

    std::filesystem::remove_all(base, erro);
    ok = ok && novoDia && falhas == 0 && restos == 0;
    std::printf("soak: %s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
