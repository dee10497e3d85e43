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
VLTX_API int32_t VLTX_CALL ecf_CruzarCheque(const char* a, const char* b, const char* c, const char* d) {
    return Exporta(Cruza, {a, b, c, d});
}
VLTX_API int32_t VLTX_CALL ecf_ChancelarCheque(const char* a, const char* b, const char* c) {
    return Exporta(Chancela, {a, b, c});
}
}
