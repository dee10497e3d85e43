// Programming the printer: header lines, tax rates, clock, payment forms,
// non-fiscal entries and the shop's data.
#include "driver/comandos.h"
#include "driver/estado.h"
#include "vltxdrv.h"

namespace {
constexpr const Comando& Cliche = Linha("ecf_CargaCliche");
constexpr const Comando& CargaAliquota = Linha("ecf_CargaAliquota");
constexpr const Comando& Relogio = Linha("ecf_ProgramaRelogio");
constexpr const Comando& Forma = Linha("ecf_FormaPagamento");
constexpr const Comando& NaoVinculado = Linha("ecf_CargaNaoVinculado");
constexpr const Comando& DefineAliquota = Linha("ecf_DefineAliquota");
constexpr const Comando& Estabelecimento = Linha("ecf_NovoEstabelecimento");
}  // namespace

extern "C" {
VLTX_API int32_t VLTX_CALL ecf_CargaCliche(const char* opcao, const char* linha1, const char* linha2,
                                           const char* linha3, const char* texto1, const char* texto2) {
    return Exporta(Cliche, {opcao, linha1, linha2, linha3, texto1, texto2});
}
VLTX_API int32_t VLTX_CALL ecf_CargaAliquota(const char* indice, const char* aliquota) {
    return Exporta(CargaAliquota, {indice, aliquota});
}

// Mode 0 sends the host's date and time, modes 1 and 2 zeros; any other mode
// writes neither field, and the printer gets what the buffer held there.
VLTX_API int32_t VLTX_CALL ecf_ProgramaRelogio(const char* modo, const char* data, const char* hora) {
    switch (Texto(modo)[0]) {
        case '0': return Exporta(Relogio, {modo, data, hora});
        case '1':
        case '2': return Exporta(Relogio, {modo, "00000000", "000000"});
        default: {
            Argumentos soModo{{modo}};
            soModo.Campos = 1;
            return ExecutaExportacao(Relogio, soModo);
        }
    }
}
VLTX_API int32_t VLTX_CALL ecf_FormaPagamento(const char* forma, const char* descricao) {
    return Exporta(Forma, {forma, descricao});
}
VLTX_API int32_t VLTX_CALL ecf_CargaNaoVinculado(const char* indice, const char* descricao, const char* tipo) {
    return Exporta(NaoVinculado, {indice, descricao, tipo});
}
VLTX_API int32_t VLTX_CALL ecf_DefineAliquota(const char* indice, const char* aliquota, const char* tipo) {
    return Exporta(DefineAliquota, {indice, aliquota, tipo});
}
VLTX_API int32_t VLTX_CALL ecf_NovoEstabelecimento(const char* texto1, const char* texto2, const char* texto3) {
    return Exporta(Estabelecimento, {texto1, texto2, texto3});
}
}
