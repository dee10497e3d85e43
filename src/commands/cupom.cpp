// The fiscal receipt: one frame, one exchange each; the host sets the order.
#include "driver/comandos.h"
#include "vltxdrv.h"

namespace {
constexpr const Comando& Venda = Linha("ecf_VendaItem");
constexpr const Comando& CancelaVenda = Linha("ecf_CancelaVenda");
constexpr const Comando& CancelaCupom = Linha("ecf_CancelaCupom");
constexpr const Comando& Fecha = Linha("ecf_FechaCupom");
constexpr const Comando& Pagamento = Linha("ecf_Pagamento");
constexpr const Comando& Cabecalho = Linha("ecf_ImprimeCabecalho");
constexpr const Comando& Propaganda = Linha("ecf_Propaganda");
constexpr const Comando& Comprador = Linha("ecf_IdComprador");
constexpr const Comando& CancelaItem = Linha("ecf_CancelaItem");
constexpr const Comando& Acrescimo = Linha("ecf_AcrescimoSubtotal");
constexpr const Comando& DescontoSubtotal = Linha("ecf_DescontoSubtotal");
constexpr const Comando& DescontoItem = Linha("ecf_DescontoItem");
constexpr const Comando& Stub = Linha("ecf_CupomStub");
}  // namespace

extern "C" {
VLTX_API int32_t VLTX_CALL ecf_VendaItem(const char* a, const char* b, const char* c, const char* d, const char* e,
                                         const char* f, const char* g) {
    return Exporta(Venda, {a, b, c, d, e, f, g});
}
VLTX_API int32_t VLTX_CALL ecf_CancelaVenda(const char* a) { return Exporta(CancelaVenda, {a}); }
VLTX_API int32_t VLTX_CALL ecf_CancelaCupom(const char* a) { return Exporta(CancelaCupom, {a}); }
VLTX_API int32_t VLTX_CALL ecf_FechaCupom(const char* a) { return Exporta(Fecha, {a}); }
VLTX_API int32_t VLTX_CALL ecf_Pagamento(const char* a, const char* b, const char* c) {
    return Exporta(Pagamento, {a, b, c});
}
VLTX_API int32_t VLTX_CALL ecf_ImprimeCabecalho(void) { return Exporta(Cabecalho); }
VLTX_API int32_t VLTX_CALL ecf_Propaganda(const char* a) { return Exporta(Propaganda, {a}); }
VLTX_API int32_t VLTX_CALL ecf_IdComprador(const char* a, const char* b, const char* c, const char* d, const char* e) {
    return Exporta(Comprador, {a, b, c, d, e});
}
VLTX_API int32_t VLTX_CALL ecf_CancelaItem(const char* a) { return Exporta(CancelaItem, {a}); }
VLTX_API int32_t VLTX_CALL ecf_AcrescimoSubtotal(const char* a, const char* b) { return Exporta(Acrescimo, {a, b}); }
VLTX_API int32_t VLTX_CALL ecf_DescontoSubtotal(const char* a, const char* b) {
    return Exporta(DescontoSubtotal, {a, b});
}
VLTX_API int32_t VLTX_CALL ecf_DescontoItem(const char* a, const char* b, const char* c) {
    return Exporta(DescontoItem, {a, b, c});
}
VLTX_API int32_t VLTX_CALL ecf_CupomStub(int32_t numero) {
    Argumentos argumentos;
    argumentos.Inteiro = numero;
    return ExecutaExportacao(Stub, argumentos);
}
}
