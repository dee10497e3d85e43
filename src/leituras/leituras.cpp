// The register read, and the two readouts that stream from the printer into
// a file of the host's: the fiscal data readout and the CMC-7 line of a
// cheque. Both streams run on one mechanism and differ only in how a chunk
// is written, what ends the stream and how long the line may stay idle.
#include <cstring>

#include "driver/comandos.h"
#include "driver/estado.h"
#include "driver/log.h"
#include "vltxdrv.h"

namespace {

constexpr const Comando& Registrador = Linha("ecf_LeRegistrador");
constexpr const Comando& LeituraFiscal = Linha("ecf_LeECF");
constexpr const Comando& LeituraCmc7 = Linha("ecf_LeCMC7");

constexpr std::int32_t Sucesso = 33;
constexpr std::int32_t ErroArquivo = 20;
// The answer 2 to "53" means the printer is about to send the CMC-7 line.
constexpr std::int32_t Cmc7Pronto = 2;

constexpr std::size_t TamanhoRegistrador = 30;
// A chunk, and the time-out that Recebe is given for it.
constexpr std::uint32_t MaxBloco = 849;
constexpr std::uint32_t SegundosBloco = 10;
static_assert(MaxBloco < TamanhoBuffer, "a chunk leaves room for the zero byte behind it");

constexpr unsigned char ETX = 3;
constexpr unsigned char ESC = 27;

// The clock the idle limit is measured with has whole seconds only: within
// the last second before the limit the wait for data is cut into slices this
// long, so that the end falls on the first reading that shows the limit
// passed, whatever the clock's phase.
constexpr std::uint32_t FatiaUltimoSegundo = 20;  // milliseconds

// What a chunk did: whether all of it reached the file, whether it ends the stream.
struct Bloco {
    bool gravado;
    bool fim;
};

// What a stream remembers from chunk to chunk: the run of ESC bytes that
// stands at the end of what has arrived so far.
struct Fluxo {
    std::uint32_t escapesNoFim;
};

// How one kind of readout writes the chunk of n bytes at the start of
// BufTroca and decides whether it ends the stream.
using RegraBloco = Bloco (*)(plataforma::Arquivo arquivo, std::uint32_t n, Fluxo& fluxo);

struct Leitura {
    std::int64_t limiteOcioso;  // seconds the line may stay without data
    RegraBloco regra;
};

// Fiscal data: the chunk is a text, written up to its first zero byte; an
// ETX anywhere in that text ends the stream (the bytes behind it go too).
Bloco BlocoFiscal(plataforma::Arquivo arquivo, std::uint32_t n, Fluxo&) {
    unsigned char* bloco = EstadoDriver.BufTroca;
    bloco[n] = 0;
    const std::size_t texto = std::strlen(reinterpret_cast<const char*>(bloco));
    return {EscreveTexto(arquivo, bloco, texto), std::memchr(bloco, ETX, texto) != nullptr};
}

// CMC-7: every byte of the chunk is written. The stream ends when the chunk's
// last byte is an ETX that an even run of ESC bytes (none included) stands in
// front of. The line may split the run anywhere, so it is counted over the
// whole stream: the chunk's first byte and the end of earlier chunks count.
Bloco BlocoCmc7(plataforma::Arquivo arquivo, std::uint32_t n, Fluxo& fluxo) {
    const unsigned char* bloco = EstadoDriver.BufTroca;
    std::uint32_t fimSemEscape = n;  // the run of ESC at the chunk's end starts here
    while (fimSemEscape > 0 && bloco[fimSemEscape - 1] == ESC) --fimSemEscape;
    bool fim = false;
    if (bloco[n - 1] == ETX) {
        std::uint32_t i = n - 1;
        while (i > 0 && bloco[i - 1] == ESC) --i;
        const std::uint32_t escapes = (n - 1 - i) + (i == 0 ? fluxo.escapesNoFim : 0);
        fim = escapes % 2 == 0;
    }
    fluxo.escapesNoFim = fimSemEscape == 0 ? fluxo.escapesNoFim + n : n - fimSemEscape;
    return {EscreveTexto(arquivo, bloco, n), fim};
}

constexpr Leitura Fiscal{600, BlocoFiscal};
constexpr Leitura Cmc7{5, BlocoCmc7};

// Blocks until bytes wait on the line, or until the whole-second clock can
// show that more than the idle limit has passed since data was last found
// (the reading `agora` is fresh and within the limit).
void EsperaDados(SERIAL& porta, std::int64_t ultimoDado, std::int64_t agora, std::int64_t limite) {
    const std::int64_t faltam = ultimoDado + limite + 1 - agora;  // 1 or more
    // The real time is somewhere in the second `agora`: waiting one second
    // less than faltam never passes the reading that ends the readout.
    std::int64_t espera = faltam > 1 ? (faltam - 1) * 1000 : FatiaUltimoSegundo;
    if (espera > limite * 1000) espera = limite * 1000;
    porta.EsperaEntrada(static_cast<std::uint32_t>(espera));
}

// Writes the reply byte, then streams the line into the file until a chunk
// ends the stream, more than the idle limit passes without data, or the
// line drops; then closes the file. Chunks go straight from BufTroca to the
// file. A write or the close failing (or no file at all) does not stop the
// reading, so the line stays in step with the printer; it only changes the
// result to 20. A dropped line ends the readout at once with the code of a
// device error, the file keeping what arrived.
std::int32_t Transfere(plataforma::Arquivo arquivo, const Leitura& leitura) {
    SERIAL& porta = EstadoDriver.Porta;
    bool integro = EscreveTexto(arquivo, EstadoDriver.BufTroca, 1);

    Fluxo fluxo{0};
    std::int64_t ultimoDado = plataforma::RelogioSegundos();
    std::int64_t agora = ultimoDado;
    bool fim = false;
    while (!fim && agora - ultimoDado <= leitura.limiteOcioso && !porta.Caiu()) {
        if (!porta.FilaOcupada(Entrada)) {
            agora = plataforma::RelogioSegundos();
            if (agora - ultimoDado > leitura.limiteOcioso) break;
            EsperaDados(porta, ultimoDado, agora, leitura.limiteOcioso);
            agora = plataforma::RelogioSegundos();
            continue;
        }
        // The idle limit runs from here: the receive's own time counts.
        ultimoDado = agora = plataforma::RelogioSegundos();
        std::uint32_t lidos = 0;
        porta.Recebe(EstadoDriver.BufTroca, MaxBloco, &lidos, SegundosBloco);  // only the count matters
        if (lidos == 0) continue;
        // Once a chunk is lost (the file at its size limit, the disk full)
        // nothing more is written: the file keeps the stream's start whole,
        // with no gap in it.
        const Bloco bloco = leitura.regra(integro ? arquivo : plataforma::Arquivo{0}, lidos, fluxo);
        integro = bloco.gravado && integro;
        fim = bloco.fim;
    }
    const bool caiu = !fim && porta.Caiu();
    integro = plataforma::FechaArquivo(arquivo) && integro;
    if (caiu) {
        porta.UltimoErro(nullptr);
        return TraduzErro(ErroDevice, porta.FalhaDoSistema());
    }
    return integro ? Sucesso : ErroArquivo;
}

// The host's file for a readout, created or truncated; a path that names a
// directory, a device or anything but a regular file is refused. The command
// has gone out: if the file cannot be had, the stream is read all the same
// and dropped, so that it does not reach the next command as its reply.
std::int32_t Le(const char* caminho, const Leitura& leitura) {
    const plataforma::Arquivo arquivo = plataforma::CriaArquivoSaida(Texto(caminho), false);
    return Transfere(arquivo, leitura);
}

bool TipoComFluxo(const char* tipo) {
    const char c = Texto(tipo)[0];
    return c >= '4' && c <= '7';
}

}  // namespace

extern "C" {

VLTX_API int32_t VLTX_CALL ecf_LeRegistrador(const char* registrador, char* resposta) {
    Guarda guarda;
    const std::int32_t resultado = ExecutaLinha(Registrador, {{registrador}});
    // Whatever the result: after a failure the host gets what BufTroca holds.
    if (resposta != nullptr) {
        std::memcpy(resposta, EstadoDriver.BufTroca, TamanhoRegistrador);
        resposta[TamanhoRegistrador] = 0;
    }
    return resultado;
}

VLTX_API int32_t VLTX_CALL ecf_LeECF(const char* tipo, const char* inicio, const char* fim, const char* opcao,
                                     const char* arquivo) {
    Guarda guarda;
    // A file that cannot be made is known before the printer starts a stream
    // that nobody would read.
    if (TipoComFluxo(tipo) && !plataforma::ArquivoSaidaUtilizavel(Texto(arquivo))) return ErroArquivo;
    const std::int32_t resultado = ExecutaLinha(LeituraFiscal, {{tipo, inicio, fim, opcao}});
    if (!TipoComFluxo(tipo)) return resultado;
    // Whatever byte the printer answered, the stream follows it; a closed
    // port or a failed send or receive has nothing to follow.
    if (!UltimaTrocaCompleta()) return resultado;
    return Le(arquivo, Fiscal);
}

VLTX_API int32_t VLTX_CALL ecf_LeCMC7(const char* arquivo) {
    Guarda guarda;
    if (!plataforma::ArquivoSaidaUtilizavel(Texto(arquivo))) return ErroArquivo;
    const std::int32_t resultado = ExecutaLinha(LeituraCmc7, {});
    if (!UltimaTrocaCompleta() || resultado != Cmc7Pronto) return resultado;
    return Le(arquivo, Cmc7);
}

}  // extern "C"
