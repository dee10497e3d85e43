// Cost of one exchange over loopback raw TCP (socket://), against a bare
// socket loop that writes the same 4-byte frame and reads one byte back.
//   ./run bench   (or build/bench/bench_rede)
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "vltxdrv.h"
#include "diretorios.h"
#include "support/loopback.h"

namespace {

// A printer on a TCP port that answers every 4 bytes with one status byte.
class EcoTcp {
public:
    EcoTcp() {
        ouvinte = OuveLoopback(1, &porta);
        url = "socket://127.0.0.1:" + std::to_string(porta);
        fio = std::thread([this] {
            while (!parar) {
                pollfd pf{ouvinte, POLLIN, 0};
                if (poll(&pf, 1, 50) <= 0) continue;
                int c = AceitaLoopback(ouvinte);
                char b[64];
                std::size_t acumulado = 0;
                while (!parar) {
                    pollfd pc{c, POLLIN, 0};
                    if (poll(&pc, 1, 50) <= 0) continue;
                    ssize_t n = read(c, b, sizeof b);
                    if (n <= 0) break;
                    acumulado += static_cast<std::size_t>(n);
                    for (; acumulado >= 4; acumulado -= 4) (void)!write(c, "\0", 1);
                }
                close(c);
            }
        });
    }
    ~EcoTcp() {
        parar = true;
        fio.join();
        close(ouvinte);
    }
    int ouvinte = -1, porta = 0;
    std::string url;
    std::atomic<bool> parar{false};
    std::thread fio;
};

void BM_TcpBareLoop(benchmark::State& estado) {
    EcoTcp eco;
    const int fd = ConectaLoopback(eco.porta);
    const unsigned char quadro[4] = {27, 'f', '0', '0'};
    for (auto _ : estado) {
        (void)!send(fd, quadro, 4, MSG_NOSIGNAL);
        pollfd pf{fd, POLLIN, 0};
        poll(&pf, 1, 2000);
        unsigned char r;
        (void)!recv(fd, &r, 1, 0);
        benchmark::DoNotOptimize(r);
    }
    close(fd);
}
BENCHMARK(BM_TcpBareLoop)->UseRealTime();

void BM_ExchangeRawTcp(benchmark::State& estado) {
    Diretorios();
    EcoTcp eco;
    ecf_InicializaDLL(eco.url.c_str());
    ecf_LogSerial("0");
    for (auto _ : estado) benchmark::DoNotOptimize(ecf_EstadoImpressora());
    ecf_FinalizaDLL();
}
BENCHMARK(BM_ExchangeRawTcp)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
