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
VLTX_API int32_t VLTX_CALL ecf_LeSensor(const char* sensor) { return Exporta(Sensor, {sensor}); }
VLTX_API int32_t VLTX_CALL ecf_AvancaLinhas(const char* linhas) { return Exporta(Avanca, {linhas}); }
VLTX_API int32_t VLTX_CALL ecf_EspacamentoLinhas(const char* opcao) { return Exporta(Espacamento, {opcao}); }
VLTX_API int32_t VLTX_CALL ecf_Autentica(const char* texto) { return Exporta(Autentica, {texto}); }
VLTX_API int32_t VLTX_CALL ecf_Mecanismo(const char* opcao) { return Exporta(Mecanismo, {opcao}); }
VLTX_API int32_t VLTX_CALL ecf_CortaPapel(void) { return Exporta(Corta); }
VLTX_API int32_t VLTX_CALL ecf_Rascunho(const char* texto) { return Exporta(Rascunho, {texto}); }
VLTX_API int32_t VLTX_CALL ecf_ContrasteTermico(const char* opcao) { return Exporta(Contraste, {opcao}); }
VLTX_API int32_t VLTX_CALL ecf_CodigoBarras(const char* tipo, const char* codigo) {
    return Exporta(Barras, {tipo, codigo});
}
}
