#include "vltx/progresso.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>

namespace {
using Relogio = std::chrono::steady_clock;

double Segundos(Relogio::duration d) { return std::chrono::duration<double>(d).count(); }
}  // namespace

Progresso::Progresso() : fio_([this] { Laco(); }) {}

Progresso::Progresso(std::string arquivo, int limite)
    : arquivo_(std::move(arquivo)), limite_(limite), leitura_(true), fio_([this] { Laco(); }) {}

Progresso::~Progresso() {
    {
        std::lock_guard<std::mutex> g(trava_);
        parar_ = true;
    }
    sinal_.notify_all();
    fio_.join();
    std::fputs("\r\033[K", stdout);
    std::fflush(stdout);
}

// The driver polls at once, then after more than 15 seconds, then every
// 3 to 4 seconds: the poll under way follows from the time alone.
std::string Progresso::LinhaRelatorio(double segundos) {
    const int s = static_cast<int>(segundos);
    const int consulta = s < 16 ? 1 : 2 + (s - 16) / 4;
    char linha[128];
    std::snprintf(linha, sizeof linha, "  report wait: %d s, about poll %d of at most 100", s,
                  consulta > 100 ? 100 : consulta);
    return linha;
}

std::string Progresso::LinhaLeitura(long long bytes, double segundos, double ocioso, int limite) {
    const double taxa = segundos > 0.5 ? static_cast<double>(bytes) / segundos : 0.0;
    char linha[160];
    std::snprintf(linha, sizeof linha, "  readout: %lld bytes, %.0f bytes/s, %d s since data (idle limit %d s)",
                  bytes, taxa, static_cast<int>(ocioso), limite);
    return linha;
}

void Progresso::Laco() {
    const Relogio::time_point inicio = Relogio::now();
    Relogio::time_point ultimoDado = inicio;
    long long ultimoTamanho = -1;
    std::unique_lock<std::mutex> g(trava_);
    // The first look waits a second: a short call leaves no trace.
    Relogio::time_point proxima = inicio + std::chrono::seconds(1);
    while (!sinal_.wait_until(g, proxima, [this] { return parar_; })) {
        proxima = Relogio::now() + std::chrono::milliseconds(250);
        const Relogio::time_point agora = Relogio::now();
        std::string linha;
        if (leitura_) {
            struct stat st {};
            const long long tamanho = stat(arquivo_.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
            if (tamanho != ultimoTamanho) {
                ultimoTamanho = tamanho;
                ultimoDado = agora;
            }
            linha = LinhaLeitura(tamanho, Segundos(agora - inicio), Segundos(agora - ultimoDado), limite_);
        } else {
            linha = LinhaRelatorio(Segundos(agora - inicio));
        }
        std::fprintf(stdout, "\r\033[K%s", linha.c_str());
        std::fflush(stdout);
    }
}
