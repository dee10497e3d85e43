// Cheque handling: plain commands, one frame and one exchange each.
#include "driver/comandos.h"
#include "vltxdrv.h"

namespace {
constexpr const Comando& Cmc7ToEcf = Linha("ecf_CMC7ToECF");
constexpr const Comando& Ejeta = Linha("ecf_EjetarCheque");
constexpr const Comando& Cruza = Linha("ecf_CruzarCheque");
constexpr const Comando& Chancela = Linha("ecf_ChancelarCheque");
}  // namespace

extern "C" {
VLTX_API int32_t VLTX_CALL ecf_CMC7ToECF(void) { return Exporta(Cmc7ToEcf); }
VLTX_API int32_t VLTX_CALL ecf_EjetarCheque(void) { return Exporta(Ejeta); }
VLTX_API int32_t VLTX_CALL ecf_CruzarCheque(const char* tipo, const char* texto1, const char* texto2,
                                            const char* texto3) {
    return Exporta(Cruza, {tipo, texto1, texto2, texto3});
}
VLTX_API int32_t VLTX_CALL ecf_ChancelarCheque(const char* numero1, const char* numero2, const char* texto) {
    return Exporta(Chancela, {numero1, numero2, texto});
}
}
