/*
 * vltxdrv: driver for the Veltrix fiscal printer (ECF) on a serial line.
 *
 * Every export returns a signed 32-bit integer: the printer's status byte
 * (0 to 255), or one of the driver's own codes (33 success of a step of the
 * driver's own, 1 port already open, 2 port not open, 3 to 19 and 29 serial
 * line failures, 20 to 28 file and cheque layout failures). The two ranges
 * overlap: the driver cannot mark which one a result belongs to.
 *
 * Strings are NUL-terminated byte strings, passed through to the printer
 * unconverted; numbers travel as decimal text. Call one export at a time per
 * process (the driver serialises calls from several threads).
 *
 * Two exports, "@Log@C6_4" and "@Log@C6_5", have names no C identifier can
 * spell: reach them by name with dlsym or GetProcAddress, as vltx_LogC6_fn.
 */
#ifndef VLTXDRV_H
#define VLTXDRV_H

#include <stdint.h>

/* The release this header belongs to; the build reads its version from here.
 * The shared object's SONAME carries the major (libvltxdrv.so.2). */
#define VLTXDRV_VERSION_MAJOR 2
#define VLTXDRV_VERSION_MINOR 60
#define VLTXDRV_VERSION_PATCH 0
#define VLTXDRV_VERSION_TEXT "2.60.0"

#if defined(_WIN32)
#define VLTX_CALL __stdcall
#else
#define VLTX_CALL
#endif

#if defined(VLTXDRV_BUILD) && !defined(_WIN32)
#define VLTX_API __attribute__((visibility("default")))
#else
#define VLTX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The two counter exports, by name only. */
typedef void(VLTX_CALL* vltx_LogC6_fn)(void);
#define VLTX_LOG_C6_4 "@Log@C6_4"
#define VLTX_LOG_C6_5 "@Log@C6_5"

/* Driver control */
VLTX_API int32_t VLTX_CALL ecf_InicializaDLL(const char* porta);
VLTX_API int32_t VLTX_CALL ecf_FinalizaDLL(void);
VLTX_API int32_t VLTX_CALL ecf_VersaoDLL(char* versao);
VLTX_API int32_t VLTX_CALL ecf_LogSerial(const char* ativa); /* 0 or 1 */
VLTX_API int32_t VLTX_CALL ecf_ProximoTimeout(const char* segundos);

/* Printer control and status */
VLTX_API int32_t VLTX_CALL ecf_EstadoImpressora(void);
VLTX_API int32_t VLTX_CALL ecf_AbreGaveta(void);
VLTX_API int32_t VLTX_CALL ecf_LeSensor(const char* sensor);
VLTX_API int32_t VLTX_CALL ecf_AvancaLinhas(const char* linhas);
VLTX_API int32_t VLTX_CALL ecf_EspacamentoLinhas(const char* opcao);
VLTX_API int32_t VLTX_CALL ecf_Autentica(const char* texto);
VLTX_API int32_t VLTX_CALL ecf_Mecanismo(const char* opcao);
VLTX_API int32_t VLTX_CALL ecf_CortaPapel(void);
VLTX_API int32_t VLTX_CALL ecf_Rascunho(const char* texto);
VLTX_API int32_t VLTX_CALL ecf_ContrasteTermico(const char* opcao);
VLTX_API int32_t VLTX_CALL ecf_CodigoBarras(const char* tipo, const char* codigo);

/* Fiscal receipt */
VLTX_API int32_t VLTX_CALL ecf_VendaItem(const char* codigo, const char* descricao, const char* quantidade,
                                         const char* preco, const char* aliquota, const char* unidade,
                                         const char* casas);
VLTX_API int32_t VLTX_CALL ecf_CancelaVenda(const char* operador);
VLTX_API int32_t VLTX_CALL ecf_CancelaCupom(const char* operador);
VLTX_API int32_t VLTX_CALL ecf_FechaCupom(const char* operador);
VLTX_API int32_t VLTX_CALL ecf_Pagamento(const char* forma, const char* descricao, const char* valor);
VLTX_API int32_t VLTX_CALL ecf_ImprimeCabecalho(void);
VLTX_API int32_t VLTX_CALL ecf_Propaganda(const char* mensagem);
VLTX_API int32_t VLTX_CALL ecf_IdComprador(const char* nome, const char* tipo, const char* documento,
                                           const char* endereco1, const char* endereco2);
VLTX_API int32_t VLTX_CALL ecf_CancelaItem(const char* item);
VLTX_API int32_t VLTX_CALL ecf_AcrescimoSubtotal(const char* descricao, const char* valor);
VLTX_API int32_t VLTX_CALL ecf_DescontoSubtotal(const char* descricao, const char* valor);
VLTX_API int32_t VLTX_CALL ecf_DescontoItem(const char* tipo, const char* descricao, const char* valor);
VLTX_API int32_t VLTX_CALL ecf_CupomStub(int32_t numero);

/* Configuration */
VLTX_API int32_t VLTX_CALL ecf_CargaCliche(const char* opcao, const char* linha1, const char* linha2,
                                           const char* linha3, const char* texto1, const char* texto2);
VLTX_API int32_t VLTX_CALL ecf_CargaAliquota(const char* indice, const char* aliquota);
VLTX_API int32_t VLTX_CALL ecf_ProgramaRelogio(const char* modo, const char* data, const char* hora);
VLTX_API int32_t VLTX_CALL ecf_FormaPagamento(const char* forma, const char* descricao);
VLTX_API int32_t VLTX_CALL ecf_CargaNaoVinculado(const char* indice, const char* descricao, const char* tipo);
VLTX_API int32_t VLTX_CALL ecf_DefineAliquota(const char* indice, const char* aliquota, const char* tipo);
VLTX_API int32_t VLTX_CALL ecf_NovoEstabelecimento(const char* texto1, const char* texto2, const char* texto3);

/* Reports, linked and non-fiscal documents */
VLTX_API int32_t VLTX_CALL ecf_Relatorio_XZ(const char* tipo);
VLTX_API int32_t VLTX_CALL ecf_FinalizaRelatorio(void);
VLTX_API int32_t VLTX_CALL ecf_LinhasLivres(const char* quantidade, const char* texto);
VLTX_API int32_t VLTX_CALL ecf_EmiteNaoVinculado(const char* indice, const char* descricao, const char* valor);
VLTX_API int32_t VLTX_CALL ecf_Vinculado(const char* forma, const char* texto1, const char* valor, const char* texto2,
                                         const char* opcao, const char* texto, const char* numero1,
                                         const char* numero2);
VLTX_API int32_t VLTX_CALL ecf_VinculadoTEF(const char* forma, const char* texto1, const char* valor,
                                            const char* texto, const char* numero1, const char* numero2);
VLTX_API int32_t VLTX_CALL ecf_VinculadoCartao(const char* forma, const char* texto1, const char* texto2,
                                               const char* valor, const char* texto, const char* numero1,
                                               const char* numero2);
VLTX_API int32_t VLTX_CALL ecf_VinculadoNSeq(const char* sequencia, const char* forma, const char* descricao);

/* Cheque printing, cheque handling and CMC-7 */
VLTX_API int32_t VLTX_CALL ecf_ImprimeCheque(const char* valor, const char* favorecido, const char* cidade,
                                             const char* mensagem, const char* data, const char* texto6,
                                             const char* texto7, const char* secao, const char* arquivo);
VLTX_API int32_t VLTX_CALL ecf_CMC7ToECF(void);
VLTX_API int32_t VLTX_CALL ecf_EjetarCheque(void);
VLTX_API int32_t VLTX_CALL ecf_LeCMC7(const char* arquivo);
VLTX_API int32_t VLTX_CALL ecf_CruzarCheque(const char* tipo, const char* texto1, const char* texto2,
                                            const char* texto3);
VLTX_API int32_t VLTX_CALL ecf_ChancelarCheque(const char* numero1, const char* numero2, const char* texto);

/* Register and fiscal data readout */
VLTX_API int32_t VLTX_CALL ecf_LeRegistrador(const char* registrador, char* resposta /* 31 bytes or null */);
VLTX_API int32_t VLTX_CALL ecf_LeECF(const char* tipo, const char* inicio, const char* fim, const char* opcao,
                                     const char* arquivo);

#ifdef __cplusplus
}
#endif

#endif /* VLTXDRV_H */
