// The exchange: the one road every command frame takes to the printer and
// its reply back, with the log's records of both and the settling of the
// line after a failure.
#include <cstring>

#include "driver/estado.h"
#include "driver/log.h"

namespace {
bool trocaCompleta;

void RegistraQuadro(const char* prefixo, const unsigned char* dados, std::size_t tamanho) {
    plataforma::Arquivo arquivo = AbreLog();
    RegistraCarimbo(arquivo, prefixo, dados, tamanho);
    FechaLog(arquivo);
}

// What the printer sends after its exchange has failed, dropped. With the
// log on, the bytes go into one record of their own, opened at the first.
struct Descartes {
    plataforma::Arquivo log = 0;
};

void RegistraDescarte(const unsigned char* bytes, std::uint32_t n, void* contexto) {
    auto& d = *static_cast<Descartes*>(contexto);
    if (!EstadoDriver.LogAtivo) return;
    if (d.log == 0) {
        d.log = AbreLog();
        if (d.log <= 0) d.log = -1;  // the record is dropped, as any other
        else RegistraCarimbo(d.log, "Descartado");
    }
    EscreveLog(d.log, bytes, n);
}

// The line is brought back in step with the printer before the failure is
// reported: what it still sends is read and dropped until it falls quiet
// (or the bound on the whole is reached), then both queues are purged.
std::int32_t FalhaDaTroca() {
    std::int32_t erro = EstadoDriver.Porta.UltimoErro(nullptr);
    const plataforma::FalhaSistema motivo = EstadoDriver.Porta.FalhaDoSistema();  // before the settling's calls
    Descartes descartes;
    EstadoDriver.Porta.Assenta(SilencioAposFalhaMs, LimiteAssentarMs, RegistraDescarte, &descartes);
    FechaLog(descartes.log);
    EstadoDriver.Porta.Limpa(Ambas);
    return TraduzErro(erro, motivo);
}
}  // namespace

bool UltimaTrocaCompleta() { return trocaCompleta; }

std::int32_t ExecutaComando(std::int32_t tamanhoQuadro, std::int32_t tamanhoResposta, std::int32_t timeout,
                            std::uint8_t cts) {
    trocaCompleta = false;
    if (!EstadoDriver.PortaAberta) return 2;
    if (tamanhoQuadro < 0 || tamanhoQuadro > TamanhoBuffer) tamanhoQuadro = TamanhoBuffer;
    if (tamanhoResposta < 0 || tamanhoResposta > TamanhoBuffer) tamanhoResposta = TamanhoBuffer;
    const auto quadro = static_cast<std::uint32_t>(tamanhoQuadro);
    std::memcpy(EstadoDriver.BufTroca, EstadoDriver.BufComando, quadro);
    if (EstadoDriver.LogAtivo) RegistraQuadro("TX", EstadoDriver.BufTroca, quadro);

    SERIAL& porta = EstadoDriver.Porta;
    porta.Limpa(Ambas);
    if (!porta.Envia(EstadoDriver.BufTroca, quadro, nullptr, cts)) return FalhaDaTroca();

    // A pending one-shot time-out is spent by the first frame that went out.
    if (EstadoDriver.ProximoTimeout != 0) timeout = EstadoDriver.ProximoTimeout;
    EstadoDriver.ProximoTimeout = 0;

    std::uint32_t lidos = 0;
    if (!porta.Recebe(EstadoDriver.BufTroca, static_cast<std::uint32_t>(tamanhoResposta), &lidos,
                      static_cast<std::uint32_t>(timeout)))
        return FalhaDaTroca();
    if (EstadoDriver.LogAtivo) RegistraQuadro("RX", EstadoDriver.BufTroca, lidos);
    trocaCompleta = true;
    if (EstadoDriver.BufComando[2] == '0' && EstadoDriver.BufComando[3] == '4') return 33;
    return EstadoDriver.BufTroca[0];
}
