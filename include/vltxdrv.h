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
 *
 * The reference, every export in full (parameters, frame, results), is
 * installed with this header: /usr/share/doc/libvltxdrv-dev/reference.html,
 * and reference.md beside it, with examples in C, Python, Java, C# and Pascal
 * under examples/ there (PREFIX/share/doc/libvltxdrv-dev under another
 * prefix; docs/reference.md in the source tree). "reference.html#NAME" below
 * is the section of one export in it.
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

/* The driver's own result codes (reference.html#result-codes). A command
   that sent its frame and got the whole reply returns the printer's status
   byte instead, 0 to 255, which can hold the same numbers. */
#define VLTX_JA_ABERTA 1              /* the port is open already */
#define VLTX_NAO_ABERTA 2             /* the port is not open: nothing was sent */
#define VLTX_ERRO_ABRIR 3             /* the device cannot be opened */
#define VLTX_ERRO_CONFIGURAR 4        /* the line settings cannot be read or applied */
#define VLTX_ERRO_FECHADO 5           /* the device is not open */
#define VLTX_ERRO_SAIDA_PENDENTE 6    /* the output queue was not empty before sending */
#define VLTX_ERRO_TAMANHO 7           /* transfer longer than the read or write limit */
#define VLTX_ERRO_CTS 8               /* CTS held: the printer cannot take data */
#define VLTX_ERRO_ESCRITA 9           /* the write failed */
#define VLTX_ERRO_RESPOSTA_CURTA 10   /* fewer bytes received than asked for (time-out) */
#define VLTX_ERRO_LEITURA 11          /* the read failed */
#define VLTX_ERRO_LIMPEZA 12          /* purging a queue failed */
#define VLTX_ERRO_ENQUADRAMENTO 13    /* framing error */
#define VLTX_ERRO_SOBRESCRITA 14      /* overrun */
#define VLTX_ERRO_BREAK 15            /* break on the line */
#define VLTX_ERRO_DISPOSITIVO 16      /* device I/O error (the line dropped) */
#define VLTX_ERRO_ESTOURO_RECEPCAO 17 /* receive queue overflow */
#define VLTX_ERRO_PARIDADE 18         /* parity error */
#define VLTX_ERRO_TRANSMISSAO_CHEIA 19 /* transmit queue full */
#define VLTX_ERRO_ARQUIVO 20          /* a file the host named cannot be used */
#define VLTX_ERRO_SECAO 21            /* cheque layout: the section is missing */
#define VLTX_ERRO_VALOR 22            /* cheque layout: "Valor" missing or wrong */
#define VLTX_ERRO_EXTENSO 23          /* cheque layout: "Extenso" missing or wrong */
#define VLTX_ERRO_FAVORECIDO 24       /* cheque layout: "Favorecido" missing or wrong */
#define VLTX_ERRO_CIDADE 25           /* cheque layout: "Cidade" missing or wrong */
#define VLTX_ERRO_MENSAGEM 26         /* cheque layout: "Mensagem" missing or wrong */
#define VLTX_ERRO_DATA 27             /* cheque layout: "Data" missing or wrong */
#define VLTX_ERRO_ESPACAMENTO 28      /* cheque layout: "eSpacamento" missing or below 1 */
#define VLTX_ERRO_LINHA 29            /* a line failure of no known kind */
#define VLTX_OK 33                    /* success of a step of the driver's own */

/* The buffers the driver writes into: their sizes, the NUL included. */
#define VLTX_VERSAO_TAMANHO 16        /* ecf_VersaoDLL: "Veltrix - V2.60" */
#define VLTX_REGISTRADOR_TAMANHO 31   /* ecf_LeRegistrador: 30 bytes of answer */

#ifdef __cplusplus
extern "C" {
#endif

/* The two counter exports, by name only:
   reference.html#logc6_4, reference.html#logc6_5 */
typedef void(VLTX_CALL* vltx_LogC6_fn)(void);
#define VLTX_LOG_C6_4 "@Log@C6_4"
#define VLTX_LOG_C6_5 "@Log@C6_5"

/* Driver control */
/* reference.html#ecf_inicializadll */
VLTX_API int32_t VLTX_CALL ecf_InicializaDLL(const char* porta);
/* reference.html#ecf_finalizadll */
VLTX_API int32_t VLTX_CALL ecf_FinalizaDLL(void);
/* reference.html#ecf_versaodll */
VLTX_API int32_t VLTX_CALL ecf_VersaoDLL(char* versao); /* VLTX_VERSAO_TAMANHO bytes */
/* reference.html#ecf_logserial */
VLTX_API int32_t VLTX_CALL ecf_LogSerial(const char* ativa); /* 0 or 1 */
/* reference.html#ecf_proximotimeout */
VLTX_API int32_t VLTX_CALL ecf_ProximoTimeout(const char* segundos);

/* Printer control and status */
/* reference.html#ecf_estadoimpressora */
VLTX_API int32_t VLTX_CALL ecf_EstadoImpressora(void);
/* reference.html#ecf_abregaveta */
VLTX_API int32_t VLTX_CALL ecf_AbreGaveta(void);
/* reference.html#ecf_lesensor */
VLTX_API int32_t VLTX_CALL ecf_LeSensor(const char* sensor);
/* reference.html#ecf_avancalinhas */
VLTX_API int32_t VLTX_CALL ecf_AvancaLinhas(const char* linhas);
/* reference.html#ecf_espacamentolinhas */
VLTX_API int32_t VLTX_CALL ecf_EspacamentoLinhas(const char* opcao);
/* reference.html#ecf_autentica */
VLTX_API int32_t VLTX_CALL ecf_Autentica(const char* texto);
/* reference.html#ecf_mecanismo */
VLTX_API int32_t VLTX_CALL ecf_Mecanismo(const char* opcao);
/* reference.html#ecf_cortapapel */
VLTX_API int32_t VLTX_CALL ecf_CortaPapel(void);
/* reference.html#ecf_rascunho */
VLTX_API int32_t VLTX_CALL ecf_Rascunho(const char* texto);
/* reference.html#ecf_contrastetermico */
VLTX_API int32_t VLTX_CALL ecf_ContrasteTermico(const char* opcao);
/* reference.html#ecf_codigobarras */
VLTX_API int32_t VLTX_CALL ecf_CodigoBarras(const char* tipo, const char* codigo);

/* Fiscal receipt */
/* reference.html#ecf_vendaitem */
VLTX_API int32_t VLTX_CALL ecf_VendaItem(const char* codigo, const char* descricao, const char* quantidade,
                                         const char* preco, const char* aliquota, const char* unidade,
                                         const char* casas);
/* reference.html#ecf_cancelavenda */
VLTX_API int32_t VLTX_CALL ecf_CancelaVenda(const char* operador);
/* reference.html#ecf_cancelacupom */
VLTX_API int32_t VLTX_CALL ecf_CancelaCupom(const char* operador);
/* reference.html#ecf_fechacupom */
VLTX_API int32_t VLTX_CALL ecf_FechaCupom(const char* operador);
/* reference.html#ecf_pagamento */
VLTX_API int32_t VLTX_CALL ecf_Pagamento(const char* forma, const char* descricao, const char* valor);
/* reference.html#ecf_imprimecabecalho */
VLTX_API int32_t VLTX_CALL ecf_ImprimeCabecalho(void);
/* reference.html#ecf_propaganda */
VLTX_API int32_t VLTX_CALL ecf_Propaganda(const char* mensagem);
/* reference.html#ecf_idcomprador */
VLTX_API int32_t VLTX_CALL ecf_IdComprador(const char* nome, const char* tipo, const char* documento,
                                           const char* endereco1, const char* endereco2);
/* reference.html#ecf_cancelaitem */
VLTX_API int32_t VLTX_CALL ecf_CancelaItem(const char* item);
/* reference.html#ecf_acrescimosubtotal */
VLTX_API int32_t VLTX_CALL ecf_AcrescimoSubtotal(const char* descricao, const char* valor);
/* reference.html#ecf_descontosubtotal */
VLTX_API int32_t VLTX_CALL ecf_DescontoSubtotal(const char* descricao, const char* valor);
/* reference.html#ecf_descontoitem */
VLTX_API int32_t VLTX_CALL ecf_DescontoItem(const char* tipo, const char* descricao, const char* valor);
/* reference.html#ecf_cupomstub */
VLTX_API int32_t VLTX_CALL ecf_CupomStub(int32_t numero);

/* Configuration */
/* reference.html#ecf_cargacliche */
VLTX_API int32_t VLTX_CALL ecf_CargaCliche(const char* opcao, const char* linha1, const char* linha2,
                                           const char* linha3, const char* texto1, const char* texto2);
/* reference.html#ecf_cargaaliquota */
VLTX_API int32_t VLTX_CALL ecf_CargaAliquota(const char* indice, const char* aliquota);
/* reference.html#ecf_programarelogio */
VLTX_API int32_t VLTX_CALL ecf_ProgramaRelogio(const char* modo, const char* data, const char* hora);
/* reference.html#ecf_formapagamento */
VLTX_API int32_t VLTX_CALL ecf_FormaPagamento(const char* forma, const char* descricao);
/* reference.html#ecf_carganaovinculado */
VLTX_API int32_t VLTX_CALL ecf_CargaNaoVinculado(const char* indice, const char* descricao, const char* tipo);
/* reference.html#ecf_definealiquota */
VLTX_API int32_t VLTX_CALL ecf_DefineAliquota(const char* indice, const char* aliquota, const char* tipo);
/* reference.html#ecf_novoestabelecimento */
VLTX_API int32_t VLTX_CALL ecf_NovoEstabelecimento(const char* texto1, const char* texto2, const char* texto3);

/* Reports, linked and non-fiscal documents */
/* reference.html#ecf_relatorio_xz */
VLTX_API int32_t VLTX_CALL ecf_Relatorio_XZ(const char* tipo);
/* reference.html#ecf_finalizarelatorio */
VLTX_API int32_t VLTX_CALL ecf_FinalizaRelatorio(void);
/* reference.html#ecf_linhaslivres */
VLTX_API int32_t VLTX_CALL ecf_LinhasLivres(const char* quantidade, const char* texto);
/* reference.html#ecf_emitenaovinculado */
VLTX_API int32_t VLTX_CALL ecf_EmiteNaoVinculado(const char* indice, const char* descricao, const char* valor);
/* reference.html#ecf_vinculado */
VLTX_API int32_t VLTX_CALL ecf_Vinculado(const char* forma, const char* texto1, const char* valor, const char* texto2,
                                         const char* opcao, const char* texto, const char* numero1,
                                         const char* numero2);
/* reference.html#ecf_vinculadotef */
VLTX_API int32_t VLTX_CALL ecf_VinculadoTEF(const char* forma, const char* texto1, const char* valor,
                                            const char* texto, const char* numero1, const char* numero2);
/* reference.html#ecf_vinculadocartao */
VLTX_API int32_t VLTX_CALL ecf_VinculadoCartao(const char* forma, const char* texto1, const char* texto2,
                                               const char* valor, const char* texto, const char* numero1,
                                               const char* numero2);
/* reference.html#ecf_vinculadonseq */
VLTX_API int32_t VLTX_CALL ecf_VinculadoNSeq(const char* sequencia, const char* forma, const char* descricao);

/* Cheque printing, cheque handling and CMC-7 */
/* reference.html#ecf_imprimecheque */
VLTX_API int32_t VLTX_CALL ecf_ImprimeCheque(const char* valor, const char* favorecido, const char* cidade,
                                             const char* mensagem, const char* data, const char* texto6,
                                             const char* texto7, const char* secao, const char* arquivo);
/* reference.html#ecf_cmc7toecf */
VLTX_API int32_t VLTX_CALL ecf_CMC7ToECF(void);
/* reference.html#ecf_ejetarcheque */
VLTX_API int32_t VLTX_CALL ecf_EjetarCheque(void);
/* reference.html#ecf_lecmc7 */
VLTX_API int32_t VLTX_CALL ecf_LeCMC7(const char* arquivo);
/* reference.html#ecf_cruzarcheque */
VLTX_API int32_t VLTX_CALL ecf_CruzarCheque(const char* tipo, const char* texto1, const char* texto2,
                                            const char* texto3);
/* reference.html#ecf_chancelarcheque */
VLTX_API int32_t VLTX_CALL ecf_ChancelarCheque(const char* numero1, const char* numero2, const char* texto);

/* Register and fiscal data readout */
/* reference.html#ecf_leregistrador */
VLTX_API int32_t VLTX_CALL ecf_LeRegistrador(const char* registrador, char* resposta /* VLTX_REGISTRADOR_TAMANHO bytes, or null */);
/* reference.html#ecf_leecf */
VLTX_API int32_t VLTX_CALL ecf_LeECF(const char* tipo, const char* inicio, const char* fim, const char* opcao,
                                     const char* arquivo);

#ifdef __cplusplus
}
#endif

#endif /* VLTXDRV_H */
