// The Telnet engine of an RFC 2217 line over whatever a server sends: the
// first byte of the input says where to cut the rest into pieces, and the
// engine fed piece by piece must give the same data, the same answers and
// the same line state as fed the whole at once. The data never outgrow the
// bytes they came in, every 255 of the data came doubled, the queue of
// answers stays within its room, and a partly sent queue keeps its order.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/telnet_rfc2217.h"

using plataforma::TelnetRfc2217;

namespace {

[[noreturn]] void Falha(const char* porque) {
    std::fprintf(stderr, "Telnet engine: %s\n", porque);
    std::abort();
}

struct Resultado {
    std::string dados, pendentes;
    bool negociado, aceito;
    unsigned char modem;
    std::uint32_t erros;
};

// Feeds the bytes in pieces of at most `pedaco` (0: whole), sending the
// first `enviar` answers after each piece as a network that takes a few.
Resultado Alimenta(const unsigned char* bytes, std::size_t n, std::size_t pedaco, std::size_t enviar) {
    TelnetRfc2217 t;
    t.Inicia();
    Resultado r{};
    std::string enviados;
    unsigned char dados[4096];
    for (std::size_t i = 0; i < n;) {
        std::size_t k = pedaco == 0 ? n - i : pedaco;
        if (k > n - i) k = n - i;
        if (k > sizeof dados) k = sizeof dados;
        const std::size_t d = t.Recebe(bytes + i, k, dados);
        if (d > k) Falha("more data bytes than came in");
        r.dados.append(reinterpret_cast<const char*>(dados), d);
        if (t.QuantosPendentes() > 512) Falha("the answers outgrew their queue");
        if (enviar > 0) {
            const std::size_t e = enviar < t.QuantosPendentes() ? enviar : t.QuantosPendentes();
            const std::string resto(reinterpret_cast<const char*>(t.Pendentes()) + e, t.QuantosPendentes() - e);
            enviados.append(reinterpret_cast<const char*>(t.Pendentes()), e);
            t.Enviados(e);
            if (std::string(reinterpret_cast<const char*>(t.Pendentes()), t.QuantosPendentes()) != resto)
                Falha("what was not sent lost its order");
        }
        i += k;
    }
    r.pendentes = enviados + std::string(reinterpret_cast<const char*>(t.Pendentes()), t.QuantosPendentes());
    r.negociado = t.Negociado();
    r.aceito = t.Aceito();
    r.modem = t.Modem();
    r.erros = t.TiraErros();
    if (r.aceito && !r.negociado) Falha("taken without being negotiated");
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* entrada, std::size_t tamanho) {
    if (tamanho < 1) return 0;
    const std::size_t pedaco = 1 + entrada[0] % 17;
    const unsigned char* bytes = entrada + 1;
    const std::size_t n = tamanho - 1;
    const Resultado inteiro = Alimenta(bytes, n, 0, 0);
    const Resultado partido = Alimenta(bytes, n, pedaco, 0);
    if (inteiro.dados != partido.dados) Falha("the data depend on where the input was cut");
    if (inteiro.pendentes != partido.pendentes) Falha("the answers depend on where the input was cut");
    if (inteiro.negociado != partido.negociado || inteiro.aceito != partido.aceito ||
        inteiro.modem != partido.modem || inteiro.erros != partido.erros)
        Falha("the line state depends on where the input was cut");
    // Answers sent a few at a time after each piece: the same bytes in the same order
    // as long as the queue never filled (a full queue drops answers, as it must).
    if (inteiro.pendentes.size() + 32 < 512) {
        const Resultado aosPoucos = Alimenta(bytes, n, pedaco, 1 + entrada[0] % 5);
        if (aosPoucos.pendentes != inteiro.pendentes) Falha("answers sent in parts differ from the whole");
    }
    // Doubling out is undone in.
    unsigned char escapados[2 * 4096], volta[2 * 4096];
    const std::size_t m = n < 4096 ? n : 4096;
    const std::size_t e = TelnetRfc2217::Escapa(bytes, m, escapados);
    TelnetRfc2217 t;
    if (t.Recebe(escapados, e, volta) != m || std::memcmp(volta, bytes, m) != 0) Falha("doubled data do not come back");
    return 0;
}
