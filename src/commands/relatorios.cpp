// Reports with the wait for the printer, free text, and the non-fiscal and
// linked documents.
#include "driver/comandos.h"
#include "driver/estado.h"
#include "vltxdrv.h"

namespace {
constexpr const Comando& Relatorio = Linha("ecf_Relatorio_XZ");
constexpr const Comando& Finaliza = Linha("ecf_FinalizaRelatorio");
constexpr const Comando& Livres = Linha("ecf_LinhasLivres");
constexpr const Comando& NaoVinculado = Linha("ecf_EmiteNaoVinculado");
constexpr const Comando& Vinculado = Linha("ecf_Vinculado");
constexpr const Comando& Tef = Linha("ecf_VinculadoTEF");
constexpr const Comando& Cartao = Linha("ecf_VinculadoCartao");
constexpr const Comando& NSeq = Linha("ecf_VinculadoNSeq");

constexpr int MaxConsultas = 100;
constexpr int EsperaPrimeira = 15;
constexpr int EsperaSeguintes = 3;
constexpr std::int32_t Ocupada = 10;

// While the printer answers 10 it is still printing the report: poll its
// status, the first time at once, then each time the clock, read in whole
// seconds, shows more than the wait since the reference. Sleeps to the second
// that satisfies the test instead of reading the clock in a loop.
void EsperaRelatorio() {
    std::int64_t referencia = plataforma::RelogioSegundos();
    std::int64_t espera = EsperaPrimeira;
    for (int consulta = 0; consulta < MaxConsultas; ++consulta) {
        if (ecf_EstadoImpressora() != Ocupada) return;
        plataforma::DormeAte(referencia + espera + 1);
        referencia = plataforma::RelogioSegundos();
        espera = EsperaSeguintes;
    }
}
}  // namespace

extern "C" {
VLTX_API int32_t VLTX_CALL ecf_Relatorio_XZ(const char* tipo) {
    Guarda guarda;
    const std::int32_t resultado = ExecutaLinha(Relatorio, {{tipo}});
    if (Texto(tipo)[0] == '1' && resultado == 33) EsperaRelatorio();
    return resultado;
}
VLTX_API int32_t VLTX_CALL ecf_FinalizaRelatorio(void) { return Exporta(Finaliza); }
VLTX_API int32_t VLTX_CALL ecf_LinhasLivres(const char* quantidade, const char* texto) {
    return Exporta(Livres, {quantidade, texto});
}
VLTX_API int32_t VLTX_CALL ecf_EmiteNaoVinculado(const char* indice, const char* descricao, const char* valor) {
    return Exporta(NaoVinculado, {indice, descricao, valor});
}
VLTX_API int32_t VLTX_CALL ecf_Vinculado(const char* forma, const char* texto1, const char* valor, const char* texto2,
                                         const char* opcao, const char* texto, const char* numero1,
                                         const char* numero2) {
    return Exporta(Vinculado, {forma, texto1, valor, texto2, opcao, texto, numero1, numero2});
}
VLTX_API int32_t VLTX_CALL ecf_VinculadoTEF(const char* forma, const char* texto1, const char* valor, const char* texto,
                                            const char* numero1, const char* numero2) {
    return Exporta(Tef, {forma, texto1, valor, texto, numero1, numero2});
}
VLTX_API int32_t VLTX_CALL ecf_VinculadoCartao(const char* forma, const char* texto1, const char* texto2,
                                               const char* valor, const char* texto, const char* numero1,
                                               const char* numero2) {
    return Exporta(Cartao, {forma, texto1, texto2, valor, texto, numero1, numero2});
}
VLTX_API int32_t VLTX_CALL ecf_VinculadoNSeq(const char* sequencia, const char* forma, const char* descricao) {
    return Exporta(NSeq, {sequencia, forma, descricao});
}
}
