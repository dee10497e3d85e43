#include "fake/plataforma_fake.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace fake {
Linha linha;
std::int64_t relogioMs = 1'700'000'000'000;
std::int64_t paredeMenosMonotonicoMs = 0;

namespace {
struct Acerto {
    std::int64_t quandoMs, passoMs;
};
std::deque<Acerto> acertos;
}  // namespace

void AcertaRelogioParede(std::int64_t quandoMs, std::int64_t passoMs) { acertos.push_back({quandoMs, passoMs}); }

// The wall clock at the present monotonic moment, with its steps applied.
std::int64_t ParedeMs() {
    while (!acertos.empty() && acertos.front().quandoMs <= relogioMs) {
        paredeMenosMonotonicoMs += acertos.front().passoMs;
        acertos.pop_front();
    }
    return relogioMs + paredeMenosMonotonicoMs;
}

void Reinicia() {
    linha = Linha{};
    relogioMs = 1'700'000'000'000;
    paredeMenosMonotonicoMs = 0;
    acertos.clear();
}

void Responde(const std::string& bytes, std::int64_t emMs) { linha.entrada.push_back({relogioMs + emMs, bytes}); }
}  // namespace fake

// Deleting a file, failed on demand: the one thing about files that a test
// running as root cannot make the real system refuse. The fake's tests link
// with every call of unlink routed here.
extern "C" int __real_unlink(const char* caminho);
extern "C" int __wrap_unlink(const char* caminho) {
    if (fake::linha.apagaFalha) {
        errno = EACCES;
        return -1;
    }
    return __real_unlink(caminho);
}

using fake::linha;
using fake::relogioMs;

namespace plataforma {
namespace {
// A scripted failure, with the reason the test gave it.
bool Falha() {
    if (linha.motivo.chamada != nullptr) AnotaFalhaSistema(linha.motivo.chamada, linha.motivo.codigo, linha.motivo.nome);
    return false;
}
}  // namespace

Dispositivo AbreDispositivo(const char*) {
    if (linha.abreFalha || linha.aberta) return Falha();
    linha.aberta = true;
    return 42;
}
bool LeConfigLinha(Dispositivo, ConfigLinha& config) {
    if (linha.leConfigFalha) return Falha();
    config = linha.config;
    return true;
}
bool AplicaConfigLinha(Dispositivo, const ConfigLinha& config) {
    if (linha.caiu) return Falha();
    if (linha.aplicaConfigFalhaApos >= 0 && linha.aplicacoesConfig >= linha.aplicaConfigFalhaApos) return Falha();
    ++linha.aplicacoesConfig;
    linha.config = config;
    return true;
}
bool AplicaTemposLinha(Dispositivo, const TemposLinha& tempos) {
    linha.tempos = tempos;
    return true;
}
bool PurgaLinha(Dispositivo, std::uint32_t filas) {
    if (linha.purgaFalha) return Falha();
    if (filas & PURGE_RXCLEAR) {
        while (!linha.entrada.empty() && linha.entrada.front().disponivelMs <= relogioMs) linha.entrada.pop_front();
    }
    return true;
}
bool LeErrosLinha(Dispositivo, std::uint32_t* erros, EstadoLinha* estado) {
    if (erros != nullptr) *erros = linha.errosLinha;
    linha.errosLinha = 0;
    if (estado != nullptr) {
        std::uint32_t disponiveis = 0;
        for (const auto& p : linha.entrada)
            if (p.disponivelMs <= relogioMs) disponiveis += static_cast<std::uint32_t>(p.bytes.size());
        estado->cbInQue = disponiveis;
        estado->cbOutQue = linha.saidaOcupada;
        estado->fCtsHold = linha.ctsPreso && linha.config.fOutxCtsFlow;
    }
    return true;
}

// Reads what the printer has sent by the end of the read's time-outs, one
// queued piece at most, as a real line would stop at a pause.
bool LeLinha(Dispositivo, void* destino, std::uint32_t quantidade, std::uint32_t* lidos) {
    linha.timeoutsLeitura.push_back(linha.tempos.ReadTotalTimeoutConstant);
    *lidos = 0;
    if (linha.caiu) {
        linha.errosLinha |= CE_IOE;
        return Falha();
    }
    if (linha.leFalha) {
        linha.errosLinha |= linha.errosNaFalha;
        return Falha();
    }
    const std::int64_t prazo =
        relogioMs + static_cast<std::int64_t>(linha.tempos.ReadTotalTimeoutMultiplier) * quantidade +
        linha.tempos.ReadTotalTimeoutConstant;
    auto* saida = static_cast<char*>(destino);
    while (*lidos < quantidade && !linha.entrada.empty() && linha.entrada.front().disponivelMs <= prazo) {
        fake::Pedaco& p = linha.entrada.front();
        relogioMs = std::max(relogioMs, p.disponivelMs);
        const std::size_t n = std::min<std::size_t>(p.bytes.size(), quantidade - *lidos);
        std::memcpy(saida + *lidos, p.bytes.data(), n);
        *lidos += static_cast<std::uint32_t>(n);
        p.bytes.erase(0, n);
        if (p.bytes.empty()) linha.entrada.pop_front();
        if (*lidos < quantidade && !linha.entrada.empty() &&
            linha.entrada.front().disponivelMs > relogioMs + linha.tempos.ReadIntervalTimeout)
            return true;  // a pause longer than the interval ends the read
    }
    if (*lidos < quantidade) relogioMs = std::max(relogioMs, *lidos == 0 ? prazo : relogioMs);
    return true;
}
bool EscreveLinha(Dispositivo, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos) {
    if (linha.caiu) linha.errosLinha |= CE_IOE;
    if (linha.escreveFalha || linha.caiu) {
        linha.errosLinha |= linha.errosNaFalha;
        *escritos = 0;
        return Falha();
    }
    std::string quadro(static_cast<const char*>(dados), quantidade);
    linha.escrito += quadro;
    ++linha.escritas;
    *escritos = quantidade;
    if (linha.aoEscrever) linha.aoEscrever(quadro);
    return true;
}
bool FechaDispositivo(Dispositivo) {
    linha.aberta = false;
    return true;
}
bool LinhaCaiu(Dispositivo) { return linha.caiu; }
bool EsperaEntrada(Dispositivo, std::uint32_t milissegundos) {
    ++linha.esperas;
    if (linha.caiu) return false;
    if (!linha.entrada.empty()) {
        const std::int64_t quando = linha.entrada.front().disponivelMs;
        if (quando <= relogioMs + milissegundos) {
            relogioMs = std::max(relogioMs, quando);
            return true;
        }
    }
    relogioMs += milissegundos;
    return false;
}

std::int64_t RelogioSegundos() { return relogioMs / 1000; }
std::int64_t RelogioMilissegundos() { return relogioMs; }
// Today's real date (the log's file name and renewal follow the files'
// real dates), with the time of day of the fake wall clock.
Instante AgoraLocal() {
    const std::int64_t parede = fake::ParedeMs();
    const std::int64_t s = parede / 1000;
    time_t agora = time(nullptr);
    tm hoje{};
    localtime_r(&agora, &hoje);
    return Instante{hoje.tm_year + 1900, hoje.tm_mon, hoje.tm_mday, hoje.tm_wday,
                    static_cast<int>(s / 3600 % 24), static_cast<int>(s / 60 % 60), static_cast<int>(s % 60),
                    static_cast<int>(parede % 1000)};
}
void DormeAte(std::int64_t alvo) { relogioMs = std::max(relogioMs, alvo * 1000); }

}  // namespace plataforma
