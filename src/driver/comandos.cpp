#include "driver/comandos.h"

#include <cstring>

#include "driver/campos.h"
#include "driver/estado.h"

namespace {

const char* Parametro(const Argumentos& a, int indice) {
    if (indice < 1 || static_cast<std::size_t>(indice) > a.Textos.size()) return "";
    return Texto(a.Textos.begin()[indice - 1]);
}

// The free-text copy: the text up to its end or up to the count, zero bytes
// up to the count, and a zero byte behind; never more than the field holds.
void EscreveTextoLivre(const Campo& campo, std::int32_t quantidade, const char* texto) {
    if (quantidade <= 0) return;
    const int largura = quantidade < campo.Largura ? quantidade : campo.Largura;
    unsigned char area[TamanhoBuffer];
    const std::size_t n = strnlen(texto, static_cast<std::size_t>(largura));
    std::memcpy(area, texto, n);
    std::memset(area + n, 0, static_cast<std::size_t>(largura) - n + 1);
    EscreveBytes(campo.Deslocamento, area, quantidade <= campo.Largura ? largura + 1 : largura);
}

}  // namespace

void MontaQuadro(const Comando& comando, const Argumentos& a) {
    MontaCabecalho(EstadoDriver.BufComando, comando.Codigo);
    std::int32_t ultimoNumero = 0;
    const int campos = a.Campos < comando.NumCampos ? a.Campos : comando.NumCampos;
    for (int i = 0; i < campos; ++i) {
        const Campo& c = comando.Campos[i];
        switch (c.Tipo) {
            case TipoCampo::Caractere: EscreveCaractere(c.Deslocamento, Parametro(a, c.Parametro)); break;
            case TipoCampo::Fixo: EscreveBytes(c.Deslocamento, &c.Parametro, 1); break;
            case TipoCampo::Esquerda: EscreveTextoEsquerda(c.Deslocamento, c.Largura, Parametro(a, c.Parametro)); break;
            case TipoCampo::Direita: EscreveTextoDireita(c.Deslocamento, c.Largura, Parametro(a, c.Parametro)); break;
            case TipoCampo::Numero:
                ultimoNumero = ConverteDecimal(Parametro(a, c.Parametro));
                EscreveNumero(c.Deslocamento, c.Largura, ultimoNumero);
                break;
            case TipoCampo::Inteiro: EscreveNumero(c.Deslocamento, c.Largura, a.Inteiro); break;
            case TipoCampo::TextoLivre: EscreveTextoLivre(c, ultimoNumero, Parametro(a, c.Parametro)); break;
            case TipoCampo::NumeroLayout: EscreveNumero(c.Deslocamento, 2, a.NumerosLayout[c.Parametro]); break;
            case TipoCampo::ByteLayout: {
                const auto byte = static_cast<unsigned char>(static_cast<std::uint32_t>(a.NumerosLayout[c.Parametro]) + 48u);
                EscreveBytes(c.Deslocamento, &byte, 1);
                break;
            }
        }
    }
}

std::int32_t ExecutaLinha(const Comando& comando, const Argumentos& argumentos) {
    MontaQuadro(comando, argumentos);
    return ExecutaComando(comando.TamanhoQuadro, comando.TamanhoResposta, comando.Timeout, comando.Cts);
}

std::int32_t ExecutaExportacao(const Comando& comando, const Argumentos& argumentos) {
    Guarda guarda;
    return ExecutaLinha(comando, argumentos);
}
