// Printer control and status: one frame, one exchange, the reply byte back.
#include "driver/comandos.h"
#include "vltxdrv.h"

namespace {
constexpr const Comando& Estado = Linha("ecf_EstadoImpressora");
constexpr const Comando& Gaveta = Linha("ecf_AbreGaveta");
constexpr const Comando& Sensor = Linha("ecf_LeSensor");
constexpr const Comando& Avanca = Linha("ecf_AvancaLinhas");
constexpr const Comando& Espacamento = Linha("ecf_EspacamentoLinhas");
constexpr const Comando& Autentica = Linha("ecf_Autentica");
constexpr const Comando& Mecanismo = Linha("ecf_Mecanismo");
constexpr const Comando& Corta = Linha("ecf_CortaPapel");
constexpr const Comando& Rascunho = Linha("ecf_Rascunho");
constexpr const Comando& Contraste = Linha("ecf_ContrasteTermico");
constexpr const Comando& Barras = Linha("ecf_CodigoBarras");
}  // namespace

extern "C" {
// Also called by the report wait from inside an export: the lock is recursive.
VLTX_API int32_t VLTX_CALL ecf_EstadoImpressora(void) { return Exporta(Estado); }
VLTX_API int32_t VLTX_CALL ecf_AbreGaveta(void) { return Exporta(Gaveta); }
VLTX_API int32_t VLTX_CALL ecf_LeSensor(const char* a) { return Exporta(Sensor, {a}); }
VLTX_API int32_t VLTX_CALL ecf_AvancaLinhas(const char* a) { return Exporta(Avanca, {a}); }
VLTX_API int32_t VLTX_CALL ecf_EspacamentoLinhas(const char* a) { return Exporta(Espacamento, {a}); }
VLTX_API int32_t VLTX_CALL ecf_Autentica(const char* a) { return Exporta(Autentica, {a}); }
VLTX_API int32_t VLTX_CALL ecf_Mecanismo(const char* a) { return Exporta(Mecanismo, {a}); }
VLTX_API int32_t VLTX_CALL ecf_CortaPapel(void) { return Exporta(Corta); }
VLTX_API int32_t VLTX_CALL ecf_Rascunho(const char* a) { return Exporta(Rascunho, {a}); }
VLTX_API int32_t VLTX_CALL ecf_ContrasteTermico(const char* a) { return Exporta(Contraste, {a}); }
VLTX_API int32_t VLTX_CALL ecf_CodigoBarras(const char* a, const char* b) { return Exporta(Barras, {a, b}); }
}
