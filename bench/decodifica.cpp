// Cost of `vltx log` on a damaged diagnostic log of 560 KB and of 5 MB: it
// should grow with the file's size, not with its square.
//
// The log is generated as the driver writes it (each line feed stored as
// CR LF) and then damaged the ways a real file gets damaged: records torn,
// line feeds lost or left bare, bytes thrown in, records written without the
// line-feed rule. Its middle half has stamps that lost their blank before
// the "-" and frame text full of "]", so that no stamp there ends where the
// decoder looks for its end.
//   ./run bench   (or build-bench/bench/bench_decodifica)
//
// `bench_decodifica --write-log FILE MB [damaged]` writes such a log of MB
// megabytes instead, for bench/decodifica_grande.sh, which measures the
// `vltx log` program itself on a large file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "driver/comandos.h"
#include "vltx/decodifica_log.h"

namespace {

class GeradorDeLog {
public:
    GeradorDeLog(unsigned semente, bool danificado) : sorte_(semente), danificado_(danificado) {}

    std::string Gera(std::size_t tamanho) {
        std::string log;
        Gera(tamanho, [&](const std::string& parte) { log += parte; });
        return log;
    }

    // The log handed to despeja a piece at a time, so that a large one need
    // not stay in memory.
    template <class Despeja>
    void Gera(std::size_t tamanho, Despeja despeja) {
        constexpr std::size_t Parte = 1 << 20;
        tamanho_ = tamanho;
        std::string log = Armazenado("Inicio LOG: Mon Dec 07 21:14:00 2026\n\n\n");
        std::size_t despejado = 0;
        Registro(log, Armazenado("\nLeitura Entrada Registry: [Gerar Log=1]"));
        while ((atual_ = despejado + log.size()) < tamanho) {
            if (log.size() >= Parte) {
                despeja(log);
                despejado += log.size();
                log.clear();
            }
            const int tipo = Entre(0, 99);
            if (tipo < 80) {
                const Comando& c = tabela::Comandos[Entre(0, static_cast<int>(std::size(tabela::Comandos)) - 1)];
                Registro(log, Carimbo("TX") + Armazenado(std::string("\x1b" "f") + c.Codigo +
                                                         Bytes(c.TamanhoQuadro - 4U, false)));
                Registro(log, Carimbo("RX") + Armazenado(Bytes(Entre(0, 3) == 0 ? 1 : c.TamanhoResposta, true)));
            } else if (tipo < 88) {
                Registro(log, Carimbo("Erro DLL") + std::to_string(Entre(-3, 40)));
            } else if (tipo < 94) {
                Registro(log, Carimbo("Descartado") + Armazenado(Bytes(Entre(1, 60), true)));
            } else if (tipo < 97) {
                Registro(log, Armazenado("\nErro de Acesso ao Registry [2]: RegQueryValueEx [Gerar Log]\n"
                                         "The system cannot find the file specified.\n"));
            } else {
                Registro(log, Armazenado(Entre(0, 1) ? "\nAtualizada Entrada Registry: [Gerar Log=0]"
                                                     : "\nCriada Chave Registry: [Corvane]"));
            }
        }
        despeja(log);
    }

private:
    int Entre(int a, int b) { return std::uniform_int_distribution<int>(a, b)(sorte_); }
    bool Trecho() const { return danificado_ && atual_ > tamanho_ / 4 && atual_ < tamanho_ * 3 / 4; }

    static std::string Armazenado(std::string_view texto) {
        std::string s;
        for (char ch : texto) {
            if (ch == '\n') s += '\r';
            s += ch;
        }
        return s;
    }

    std::string Carimbo(const char* prefixo) {
        ms_ += Entre(1, 900);
        const long s = ms_ / 1000;
        char texto[80];
        std::snprintf(texto, sizeof texto, Trecho() ? "\n%s [%02ld:%02ld:%02ld %03dms]- " : "\n%s [%02ld:%02ld:%02ld %03dms] - ",
                      prefixo, s / 3600 % 24, s / 60 % 60, s % 60, static_cast<int>(ms_ % 1000));
        return Armazenado(texto);
    }

    // Mostly text, with the bytes that make a log hard to read: line feeds,
    // CRs, zeros, control bytes, Latin letters, records' heads inside a frame.
    std::string Bytes(std::size_t n, bool resposta) {
        std::string s;
        while (s.size() < n) {
            const int k = Entre(0, 199);
            if (k < 75 && Trecho()) s += ']';
            else if (k < 150) s += static_cast<char>(resposta ? Entre('0', '9') : Entre(' ', ']'));
            else if (k < 160) s += '\n';
            else if (k < 168) s += static_cast<char>(Entre(0xa0, 0xff));
            else if (k < 176) s += '\0';
            else if (k < 182) s += '\r';
            else if (k < 190) s += static_cast<char>(Entre(1, 31));
            else if (k < 193) s += "\nRX [";
            else if (Trecho()) s += ']';
            else if (k < 196) s += "\nTX [21:14:01 005ms] - \x1b" "f00";
            else s += "] - ";
        }
        s.resize(n);
        return s;
    }

    void Registro(std::string& log, std::string r) {
        if (danificado_) {
            const int k = Entre(0, 99);
            if (k < 8 && r.size() > 1) {
                r.resize(Entre(1, static_cast<int>(r.size()) - 1));  // torn
            } else if (k < 12 && r.size() > 2) {
                r.erase(0, 2);  // its line feed lost
            } else if (k < 15 && r.size() > 2) {
                r.erase(Entre(0, 1), 1);  // a bare CR or LF left
            } else if (k < 20) {
                std::string lixo;
                for (int i = Entre(1, 20); i > 0; --i) lixo += static_cast<char>(Entre(0, 255));
                r.insert(Entre(0, static_cast<int>(r.size())), lixo);
            } else if (k < 23) {
                r.insert(Entre(0, static_cast<int>(r.size())), Entre(0, 1) ? "\r" : "\n");
            } else if (k < 25) {
                for (std::size_t p = r.find("\r\n"); p != std::string::npos; p = r.find("\r\n", p)) r.erase(p, 1);
            }
        }
        log += r;
    }

    std::mt19937 sorte_;
    bool danificado_;
    std::size_t tamanho_ = 0, atual_ = 0;
    long ms_ = 21L * 3600 * 1000;
};

const std::string& Log(std::size_t tamanho, bool danificado) {
    static std::map<std::pair<std::size_t, bool>, std::string> feitos;
    std::string& log = feitos[{tamanho, danificado}];
    if (log.empty()) log = GeradorDeLog(7, danificado).Gera(tamanho);
    return log;
}

void Decodifica(benchmark::State& estado, bool danificado) {
    const std::string& log = Log(static_cast<std::size_t>(estado.range(0)), danificado);
    for (auto _ : estado) benchmark::DoNotOptimize(DecodificaLog(log));
    estado.SetBytesProcessed(static_cast<std::int64_t>(estado.iterations() * log.size()));
}
void BM_DecodeDamagedLog(benchmark::State& estado) { Decodifica(estado, true); }
void BM_DecodeIntactLog(benchmark::State& estado) { Decodifica(estado, false); }
BENCHMARK(BM_DecodeDamagedLog)->Arg(560 << 10)->Arg(5 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeIntactLog)->Arg(5 << 20)->Unit(benchmark::kMillisecond);

int EscreveLog(const char* caminho, std::size_t megabytes, bool danificado) {
    std::FILE* f = std::fopen(caminho, "wb");
    if (f == nullptr) {
        std::perror(caminho);
        return 1;
    }
    bool ok = true;
    GeradorDeLog(7, danificado).Gera(megabytes << 20, [&](const std::string& parte) {
        ok = std::fwrite(parte.data(), 1, parte.size(), f) == parte.size() && ok;
    });
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::perror(caminho);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--write-log") == 0)
        return EscreveLog(argv[2], std::strtoul(argv[3], nullptr, 10), argc > 4 && std::strcmp(argv[4], "damaged") == 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
