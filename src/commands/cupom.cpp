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
VLTX_API int32_t VLTX_CALL ecf_VendaItem(const char* codigo, const char* descricao, const char* quantidade,
                                         const char* preco, const char* aliquota, const char* unidade,
                                         const char* casas) {
    return Exporta(Venda, {codigo, descricao, quantidade, preco, aliquota, unidade, casas});
}
VLTX_API int32_t VLTX_CALL ecf_CancelaVenda(const char* operador) { return Exporta(CancelaVenda, {operador}); }
VLTX_API int32_t VLTX_CALL ecf_CancelaCupom(const char* operador) { return Exporta(CancelaCupom, {operador}); }
VLTX_API int32_t VLTX_CALL ecf_FechaCupom(const char* operador) { return Exporta(Fecha, {operador}); }
VLTX_API int32_t VLTX_CALL ecf_Pagamento(const char* forma, const char* descricao, const char* valor) {
    return Exporta(Pagamento, {forma, descricao, valor});
}
VLTX_API int32_t VLTX_CALL ecf_ImprimeCabecalho(void) { return Exporta(Cabecalho); }
VLTX_API int32_t VLTX_CALL ecf_Propaganda(const char* mensagem) { return Exporta(Propaganda, {mensagem}); }
VLTX_API int32_t VLTX_CALL ecf_IdComprador(const char* nome, const char* tipo, const char* documento,
                                           const char* endereco1, const char* endereco2) {
    return Exporta(Comprador, {nome, tipo, documento, endereco1, endereco2});
}
VLTX_API int32_t VLTX_CALL ecf_CancelaItem(const char* item) { return Exporta(CancelaItem, {item}); }
VLTX_API int32_t VLTX_CALL ecf_AcrescimoSubtotal(const char* descricao, const char* valor) {
    return Exporta(Acrescimo, {descricao, valor});
}
VLTX_API int32_t VLTX_CALL ecf_DescontoSubtotal(const char* descricao, const char* valor) {
    return Exporta(DescontoSubtotal, {descricao, valor});
}
VLTX_API int32_t VLTX_CALL ecf_DescontoItem(const char* tipo, const char* descricao, const char* valor) {
    return Exporta(DescontoItem, {tipo, descricao, valor});
}
VLTX_API int32_t VLTX_CALL ecf_CupomStub(int32_t numero) {
    Argumentos argumentos;
    argumentos.Inteiro = numero;
    return ExecutaExportacao(Stub, argumentos);
}
}
