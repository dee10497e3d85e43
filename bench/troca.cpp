// Cost of one exchange on a pseudo-terminal, against a bare C loop that
// writes the same 4-byte frame and polls and reads one byte back.
//   ./run bench   (or build-bench/bench/bench_troca)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "driver/estado.h"
#include "vltxdrv.h"
#include "diretorios.h"

namespace {

// A printer that answers every 4 bytes with one status byte, as fast as it can.
class Eco {
public:
    Eco() {
        openpty(&mestre, &escravo, caminho, nullptr, nullptr);
        termios t{};
        tcgetattr(mestre, &t);
        cfmakeraw(&t);
        tcsetattr(mestre, TCSANOW, &t);
        fio = std::thread([this] {
            char b[64];
            std::size_t acumulado = 0;
            while (!parar) {
                pollfd pf{mestre, POLLIN, 0};
                if (poll(&pf, 1, 50) <= 0) continue;
                ssize_t n = read(mestre, b, sizeof b);
                if (n <= 0) continue;
                acumulado += static_cast<std::size_t>(n);
                for (; acumulado >= 4; acumulado -= 4) (void)!write(mestre, "\0", 1);
            }
        });
    }
    ~Eco() {
        parar = true;
        fio.join();
        close(mestre);
        close(escravo);
    }
    int mestre = -1, escravo = -1;
    char caminho[128] = {};
    std::atomic<bool> parar{false};
    std::thread fio;
};

void BM_CBareLoop(benchmark::State& estado) {
    Eco eco;
    int fd = open(eco.caminho, O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const unsigned char quadro[4] = {27, 'f', '0', '0'};
    for (auto _ : estado) {
        (void)!write(fd, quadro, 4);
        pollfd pf{fd, POLLIN, 0};
        poll(&pf, 1, 2000);
        unsigned char r;
        (void)!read(fd, &r, 1);
        benchmark::DoNotOptimize(r);
    }
    close(fd);
}
BENCHMARK(BM_CBareLoop)->UseRealTime();

void Troca(benchmark::State& estado, const char* log) {
    Diretorios();
    Eco eco;
    ecf_InicializaDLL(eco.caminho);
    ecf_LogSerial(log);
    for (auto _ : estado) benchmark::DoNotOptimize(ecf_EstadoImpressora());
    ecf_LogSerial("0");
    ecf_FinalizaDLL();
}
void BM_ExchangeLogOff(benchmark::State& estado) { Troca(estado, "0"); }
void BM_ExchangeLogOn(benchmark::State& estado) { Troca(estado, "1"); }
BENCHMARK(BM_ExchangeLogOff)->UseRealTime();
BENCHMARK(BM_ExchangeLogOn)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
