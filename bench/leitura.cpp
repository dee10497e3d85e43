// A readout streamed through a pseudo-terminal with no pacing: how fast the
// driver takes the stream off the line and into the host's file, and the CPU
// time it spends doing so. The printer side writes the reply and the whole
// stream at once, as fast as the line takes it.
//
// Two sizes: exactly 1 MiB, whose last chunk is short, so the readout also
// waits out the 100 ms pause that ends a read on a real line; and 1235 whole
// chunks of 849 bytes (61 bytes short of 1 MiB), which shows the driver alone.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>
#include <string>

#include "support/impressora.h"
#include "vltxdrv.h"

namespace {

std::string diretorio;

double CpuDoFio() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Printable text with line feeds, nothing that ends the stream early (no
// zero byte, ETX or ESC), and the ETX as its last byte.
std::string Fluxo(std::size_t tamanho) {
    std::mt19937 gerador(7);
    std::string dados(tamanho, ' ');
    for (char& c : dados) {
        const unsigned v = gerador() % 96;
        c = v == 95 ? '\n' : static_cast<char>(32 + v);
    }
    dados.back() = '\x03';
    return dados;
}

enum class Tipo { Fiscal, Cmc7 };

void Leitura(benchmark::State& state, Tipo tipo) {
    const auto tamanho = static_cast<std::size_t>(state.range(0));
    Impressora impressora;
    if (ecf_InicializaDLL(impressora.Caminho()) != 33) {
        state.SkipWithError("the port did not open");
        return;
    }
    const std::string caminho = diretorio + "/leitura.txt";
    impressora.AtendeCom((tipo == Tipo::Cmc7 ? "\x02" : "R") + Fluxo(tamanho));

    double cpu = 0;
    for (auto _ : state) {
        const double antes = CpuDoFio();
        const int r = tipo == Tipo::Cmc7 ? ecf_LeCMC7(caminho.c_str()) : ecf_LeECF("5", "", "", "", caminho.c_str());
        cpu += CpuDoFio() - antes;
        if (r != 33) {
            state.SkipWithError("the readout failed");
            break;
        }
    }
    impressora.Para();
    ecf_FinalizaDLL();

    const double vezes = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(tamanho));
    state.counters["cpu_ms_readout"] = benchmark::Counter(cpu * 1000 / vezes);
    state.counters["cpu_ms_per_MiB"] =
        benchmark::Counter(cpu * 1000 / vezes / (static_cast<double>(tamanho) / (1 << 20)));
}

constexpr std::int64_t UmMiB = 1 << 20;
constexpr std::int64_t BlocosInteiros = 1235 * 849;

}  // namespace

BENCHMARK_CAPTURE(Leitura, fiscal, Tipo::Fiscal)->Arg(UmMiB)->Arg(BlocosInteiros)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Leitura, cmc7, Tipo::Cmc7)->Arg(UmMiB)->Arg(BlocosInteiros)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // The log and the settings store go to a directory of this run.
    char modelo[] = "/tmp/vltxdrv-bench-XXXXXX";
    if (mkdtemp(modelo) == nullptr) return 1;
    diretorio = modelo;
    setenv("VLTXDRV_DRIVE_C", (diretorio + "/c").c_str(), 1);
    setenv("VLTXDRV_REGISTRY", (diretorio + "/registry").c_str(), 1);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(diretorio);
    return 0;
}
