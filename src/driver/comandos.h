// Every command frame the driver sends, written once as data. One builder
// writes any frame from its row; the printer simulator and the log decoder
// read the same rows to name commands and their fields.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

enum class TipoCampo : std::uint8_t {
    Caractere,     // the first byte of a text parameter (0 when empty)
    Fixo,          // a constant byte of the command's own
    Esquerda,      // "%-N.Ns"
    Direita,       // "%N.Ns"
    Numero,        // "%0N.Nd" from decimal text
    Inteiro,       // "%8.8ld" from the integer passed by value
    TextoLivre,    // the free-text copy: as many bytes as the number field before it says
    NumeroLayout,  // "%02d" of a cheque layout number at the start of its slot
    ByteLayout,    // a cheque layout number plus 48, one byte
};

struct Campo {
    std::uint16_t Deslocamento;
    std::uint16_t Largura;
    TipoCampo Tipo;
    // Text kinds: the 1-based parameter; layout kinds: the index of the layout
    // number; Fixo: the byte itself.
    std::uint8_t Parametro;
    const char* Nome;
};

struct Comando {
    const char* Exportacao;
    char Codigo[3];
    std::uint16_t TamanhoQuadro;
    std::uint16_t TamanhoResposta;
    std::int32_t Timeout;
    std::uint8_t Cts;
    const Campo* Campos;
    std::uint8_t NumCampos;
    const char* Descricao;
};

namespace tabela {
using T = TipoCampo;
constexpr Campo C(int d, int p, const char* n) { return {std::uint16_t(d), 1, T::Caractere, std::uint8_t(p), n}; }
constexpr Campo F(int d, char c, const char* n) { return {std::uint16_t(d), 1, T::Fixo, std::uint8_t(c), n}; }
constexpr Campo E(int d, int w, int p, const char* n) { return {std::uint16_t(d), std::uint16_t(w), T::Esquerda, std::uint8_t(p), n}; }
constexpr Campo D(int d, int w, int p, const char* n) { return {std::uint16_t(d), std::uint16_t(w), T::Direita, std::uint8_t(p), n}; }
constexpr Campo N(int d, int w, int p, const char* n) { return {std::uint16_t(d), std::uint16_t(w), T::Numero, std::uint8_t(p), n}; }
constexpr Campo I(int d, const char* n) { return {std::uint16_t(d), 8, T::Inteiro, 1, n}; }
constexpr Campo L(int d, int w, int p, const char* n) { return {std::uint16_t(d), std::uint16_t(w), T::TextoLivre, std::uint8_t(p), n}; }
constexpr Campo NL(int d, int w, int i, const char* n) { return {std::uint16_t(d), std::uint16_t(w), T::NumeroLayout, std::uint8_t(i), n}; }
constexpr Campo BL(int d, int i, const char* n) { return {std::uint16_t(d), 1, T::ByteLayout, std::uint8_t(i), n}; }

// Cheque layout numbers, flattened: Valor 0-3, Extenso 4-9, Favorecido 10-13,
// Cidade 14-17, Mensagem 18-21, Data 22-24.
inline constexpr Campo LeSensor[] = {C(4, 1, "sensor")};
inline constexpr Campo AvancaLinhas[] = {N(4, 2, 1, "linhas")};
inline constexpr Campo Opcao[] = {C(4, 1, "opcao")};
inline constexpr Campo Autentica[] = {E(4, 20, 1, "texto")};
inline constexpr Campo Rascunho[] = {D(4, 30, 1, "texto")};
inline constexpr Campo CodigoBarras[] = {C(4, 1, "tipo"), E(5, 40, 2, "codigo")};
inline constexpr Campo VendaItem[] = {E(4, 13, 1, "codigo"),     E(17, 62, 2, "descricao"), D(79, 7, 3, "quantidade"),
                                      D(86, 9, 4, "preco"),      D(95, 2, 5, "aliquota"),   E(97, 2, 6, "unidade"),
                                      C(99, 7, "casas")};
inline constexpr Campo Operador[] = {E(4, 8, 1, "operador")};
inline constexpr Campo Pagamento[] = {N(4, 2, 1, "forma"), E(6, 10, 2, "descricao"), D(16, 10, 3, "valor")};
inline constexpr Campo Propaganda[] = {E(4, 160, 1, "mensagem")};
inline constexpr Campo IdComprador[] = {E(4, 40, 1, "nome"), C(44, 2, "tipo"), D(45, 18, 3, "documento"),
                                        E(63, 40, 4, "endereco1"), E(103, 40, 5, "endereco2")};
inline constexpr Campo CancelaItem[] = {D(4, 3, 1, "item")};
inline constexpr Campo Subtotal[] = {F(4, '0', "tipo"), E(5, 10, 1, "descricao"), D(15, 10, 2, "valor")};
inline constexpr Campo DescontoItem[] = {C(4, 1, "tipo"), E(5, 10, 2, "descricao"), D(15, 9, 3, "valor")};
inline constexpr Campo CupomStub[] = {I(4, "numero")};
inline constexpr Campo CargaCliche[] = {C(4, 1, "opcao"),     E(5, 40, 2, "linha1"),  E(45, 40, 3, "linha2"),
                                        E(85, 40, 4, "linha3"), D(125, 3, 5, "texto1"), D(128, 3, 6, "texto2")};
inline constexpr Campo CargaAliquota[] = {N(4, 2, 1, "indice"), D(6, 4, 2, "aliquota")};
inline constexpr Campo ProgramaRelogio[] = {C(4, 1, "modo"), D(5, 8, 2, "data"), D(13, 6, 3, "hora")};
inline constexpr Campo FormaPagamento[] = {N(4, 2, 1, "forma"), E(6, 10, 2, "descricao")};
inline constexpr Campo CargaNaoVinculado[] = {N(4, 2, 1, "indice"), E(6, 15, 2, "descricao"), C(21, 3, "tipo")};
inline constexpr Campo DefineAliquota[] = {N(4, 2, 1, "indice"), D(6, 4, 2, "aliquota"), C(10, 3, "tipo")};
inline constexpr Campo NovoEstabelecimento[] = {E(4, 18, 1, "texto1"), E(22, 15, 2, "texto2"), E(37, 15, 3, "texto3")};
inline constexpr Campo Relatorio[] = {C(4, 1, "tipo")};
inline constexpr Campo VinculadoTEF[] = {N(4, 2, 1, "forma"),       D(6, 16, 2, "texto1"),  D(22, 9, 3, "valor"),
                                         E(31, 800, 4, "texto"),    N(831, 2, 5, "numero1"), N(833, 2, 6, "numero2")};
inline constexpr Campo VinculadoCartao[] = {N(4, 2, 1, "forma"),     D(6, 16, 2, "texto1"),  D(22, 4, 3, "texto2"),
                                            D(26, 9, 4, "valor"),    E(35, 800, 5, "texto"), N(835, 2, 6, "numero1"),
                                            N(837, 2, 7, "numero2")};
inline constexpr Campo EmiteNaoVinculado[] = {N(4, 2, 1, "indice"), E(6, 20, 2, "descricao"), D(26, 9, 3, "valor")};
inline constexpr Campo VinculadoNSeq[] = {N(4, 6, 1, "sequencia"), N(10, 2, 2, "forma"), E(12, 20, 3, "descricao")};
inline constexpr Campo LinhasLivres[] = {N(4, 3, 1, "quantidade"), L(7, 410, 2, "texto")};
inline constexpr Campo Vinculado[] = {N(4, 2, 1, "forma"),   D(6, 16, 2, "texto1"),  D(22, 9, 3, "valor"),
                                      D(31, 20, 4, "texto2"), C(51, 5, "opcao"),      E(52, 800, 6, "texto"),
                                      N(852, 2, 7, "numero1"), N(854, 2, 8, "numero2")};
inline constexpr Campo ChequeBasico[] = {
    NL(4, 2, 0, "valor1"),       NL(6, 2, 1, "valor2"),       NL(8, 2, 4, "extenso1"),     NL(10, 2, 5, "extenso2"),
    NL(12, 2, 6, "extenso3"),    NL(14, 2, 7, "extenso4"),    NL(16, 2, 10, "favorecido1"), NL(18, 2, 11, "favorecido2"),
    NL(20, 2, 14, "cidade1"),    NL(22, 2, 15, "cidade2"),    NL(24, 2, 18, "mensagem1"),  NL(26, 2, 19, "mensagem2"),
    NL(28, 2, 22, "data1"),      NL(30, 2, 23, "data2"),      NL(32, 2, 24, "data3"),      D(34, 14, 1, "valor"),
    E(48, 30, 2, "favorecido"),  E(78, 20, 3, "cidade"),      E(98, 30, 4, "mensagem"),    D(128, 6, 5, "data"),
    E(134, 15, 6, "texto6"),     E(149, 17, 7, "texto7"),     D(166, 3, 8, "espacamento")};
inline constexpr Campo ChequeEstendido[] = {
    NL(4, 3, 0, "valor1"),        NL(7, 2, 1, "valor2"),       BL(9, 2, "valor3"),          BL(10, 3, "valor4"),
    NL(11, 3, 4, "extenso1"),     NL(14, 2, 5, "extenso2"),    NL(16, 3, 6, "extenso3"),    NL(19, 2, 7, "extenso4"),
    BL(21, 8, "extenso5"),        BL(22, 9, "extenso6"),       NL(23, 3, 10, "favorecido1"), NL(26, 2, 11, "favorecido2"),
    BL(28, 12, "favorecido3"),    BL(29, 13, "favorecido4"),   NL(30, 3, 14, "cidade1"),    NL(33, 2, 15, "cidade2"),
    BL(35, 16, "cidade3"),        BL(36, 17, "cidade4"),       NL(37, 3, 18, "mensagem1"),  NL(40, 2, 19, "mensagem2"),
    BL(42, 20, "mensagem3"),      BL(43, 21, "mensagem4"),     NL(44, 3, 22, "data1"),      NL(47, 3, 23, "data2"),
    NL(50, 3, 24, "data3"),       D(53, 14, 1, "valor"),       E(67, 30, 2, "favorecido"),  E(97, 20, 3, "cidade"),
    E(117, 30, 4, "mensagem"),    D(147, 6, 5, "data"),        E(153, 15, 6, "texto6"),     E(168, 17, 7, "texto7"),
    D(185, 3, 8, "espacamento"),  F(188, '0', "fim")};
inline constexpr Campo CruzarCheque[] = {C(4, 1, "tipo"), E(5, 15, 2, "texto1"), E(20, 15, 3, "texto2"),
                                         E(35, 15, 4, "texto3")};
inline constexpr Campo ChancelarCheque[] = {N(4, 2, 1, "numero1"), N(6, 3, 2, "numero2"), E(9, 15, 3, "texto")};
inline constexpr Campo LeRegistrador[] = {D(4, 3, 1, "registrador")};
inline constexpr Campo LeECF[] = {C(4, 1, "tipo"), D(5, 8, 2, "inicio"), D(13, 8, 3, "fim"), C(21, 4, "opcao")};

template <std::size_t K>
constexpr Comando Cmd(const char* exp, const char (&cod)[3], int quadro, int resposta, int timeout, int cts,
                      const Campo (&campos)[K], const char* descricao) {
    return {exp, {cod[0], cod[1], 0}, std::uint16_t(quadro), std::uint16_t(resposta), timeout, std::uint8_t(cts),
            campos, std::uint8_t(K), descricao};
}
// A command that is its header alone.
constexpr Comando Cmd(const char* exp, const char (&cod)[3], int quadro, int resposta, int timeout, int cts,
                      const char* descricao) {
    return {exp, {cod[0], cod[1], 0}, std::uint16_t(quadro), std::uint16_t(resposta), timeout, std::uint8_t(cts),
            nullptr, 0, descricao};
}

inline constexpr Comando Comandos[] = {
    Cmd("ecf_EstadoImpressora", "00", 4, 1, 2, 0, "status"),
    Cmd("ecf_AbreGaveta", "01", 4, 1, 5, 1, "abre gaveta"),
    Cmd("ecf_LeSensor", "02", 5, 1, 5, 0, LeSensor, "le sensor"),
    Cmd("ecf_AvancaLinhas", "03", 6, 1, 5, 1, AvancaLinhas, "avanca linhas"),
    Cmd("ecf_LeRegistrador", "04", 7, 30, 5, 1, LeRegistrador, "le registrador"),
    Cmd("ecf_VendaItem", "05", 100, 1, 15, 1, VendaItem, "venda de item"),
    Cmd("ecf_CancelaVenda", "06", 12, 1, 15, 1, Operador, "cancela venda"),
    Cmd("ecf_CancelaCupom", "07", 12, 1, 15, 1, Operador, "cancela cupom"),
    Cmd("ecf_Relatorio_XZ", "08", 5, 1, 180, 1, Relatorio, "relatorio X/Z"),
    Cmd("ecf_FechaCupom", "09", 12, 1, 15, 1, Operador, "fecha cupom"),
    Cmd("ecf_Pagamento", "10", 26, 1, 15, 1, Pagamento, "pagamento"),
    Cmd("ecf_ImprimeCabecalho", "11", 4, 1, 15, 1, "abre cupom"),
    Cmd("ecf_Propaganda", "12", 164, 1, 15, 1, Propaganda, "propaganda"),
    Cmd("ecf_CargaCliche", "13", 131, 1, 15, 1, CargaCliche, "carga de cliche"),
    Cmd("ecf_IdComprador", "14", 143, 1, 15, 1, IdComprador, "identifica comprador"),
    Cmd("ecf_CargaAliquota", "15", 10, 1, 15, 1, CargaAliquota, "carga de aliquota"),
    Cmd("ecf_LeECF", "16", 22, 1, 180, 1, LeECF, "leitura de dados fiscais"),
    Cmd("ecf_CancelaItem", "17", 7, 1, 15, 1, CancelaItem, "cancela item"),
    Cmd("ecf_AcrescimoSubtotal", "18", 25, 1, 15, 1, Subtotal, "acrescimo no subtotal"),
    Cmd("ecf_DescontoSubtotal", "19", 25, 1, 15, 1, Subtotal, "desconto no subtotal"),
    Cmd("ecf_DescontoItem", "20", 24, 1, 15, 1, DescontoItem, "desconto no item"),
    Cmd("ecf_ProgramaRelogio", "22", 19, 1, 5, 1, ProgramaRelogio, "programa relogio"),
    Cmd("ecf_FormaPagamento", "23", 16, 1, 5, 1, FormaPagamento, "programa forma de pagamento"),
    Cmd("ecf_CargaNaoVinculado", "24", 22, 1, 5, 1, CargaNaoVinculado, "programa nao vinculado"),
    Cmd("ecf_DefineAliquota", "25", 11, 1, 15, 1, DefineAliquota, "define aliquota"),
    Cmd("ecf_EspacamentoLinhas", "26", 5, 1, 15, 1, Opcao, "espacamento de linhas"),
    Cmd("ecf_VinculadoTEF", "27", 835, 1, 60, 1, VinculadoTEF, "vinculado TEF"),
    Cmd("ecf_Autentica", "29", 24, 1, 60, 1, Autentica, "autenticacao"),
    Cmd("ecf_CupomStub", "30", 12, 1, 15, 1, CupomStub, "comando 30"),
    Cmd("ecf_ImprimeCheque", "34", 169, 1, 60, 1, ChequeBasico, "cheque (basico)"),
    Cmd("ecf_ImprimeCheque", "34", 189, 1, 60, 1, ChequeEstendido, "cheque (estendido)"),
    Cmd("ecf_NovoEstabelecimento", "35", 52, 1, 15, 1, NovoEstabelecimento, "dados do estabelecimento"),
    Cmd("ecf_VinculadoCartao", "36", 839, 1, 60, 1, VinculadoCartao, "vinculado cartao"),
    Cmd("ecf_Mecanismo", "39", 5, 1, 15, 1, Opcao, "mecanismo"),
    Cmd("ecf_EmiteNaoVinculado", "42", 35, 1, 15, 1, EmiteNaoVinculado, "nao vinculado"),
    Cmd("ecf_VinculadoNSeq", "44", 32, 1, 15, 1, VinculadoNSeq, "vinculado por sequencia"),
    Cmd("ecf_FinalizaRelatorio", "45", 4, 1, 15, 1, "finaliza relatorio"),
    Cmd("ecf_CortaPapel", "46", 4, 1, 15, 1, "corta papel"),
    Cmd("ecf_CMC7ToECF", "47", 4, 1, 15, 1, "comando 47"),
    Cmd("ecf_LinhasLivres", "48", 417, 1, 60, 1, LinhasLivres, "linhas livres"),
    Cmd("ecf_EjetarCheque", "49", 4, 1, 15, 1, "ejeta cheque"),
    Cmd("ecf_Vinculado", "50", 856, 1, 60, 1, Vinculado, "vinculado"),
    Cmd("ecf_Rascunho", "51", 34, 1, 5, 1, Rascunho, "rascunho"),
    Cmd("ecf_ContrasteTermico", "52", 5, 1, 5, 1, Opcao, "contraste termico"),
    Cmd("ecf_LeCMC7", "53", 4, 1, 3, 1, "le CMC-7"),
    Cmd("ecf_CruzarCheque", "54", 50, 1, 30, 1, CruzarCheque, "cruza cheque"),
    Cmd("ecf_ChancelarCheque", "55", 24, 1, 15, 1, ChancelarCheque, "chancela cheque"),
    Cmd("ecf_CodigoBarras", "56", 45, 1, 15, 1, CodigoBarras, "codigo de barras"),
};
}  // namespace tabela

inline constexpr int NumComandos = sizeof tabela::Comandos / sizeof tabela::Comandos[0];

// Row lookup by export name, at compile time where the name is a constant.
constexpr const Comando& Linha(std::string_view exportacao, int tamanhoQuadro = 0) {
    for (const Comando& c : tabela::Comandos)
        if (exportacao == c.Exportacao && (tamanhoQuadro == 0 || tamanhoQuadro == c.TamanhoQuadro)) return c;
    throw "unknown command";  // a compile error where evaluated at compile time
}

// Lookups for the tools; null when unknown. "34" has two rows, told apart by length.
constexpr const Comando* ComandoPorCodigo(const char* codigo, int tamanhoQuadro = 0) {
    for (const Comando& c : tabela::Comandos)
        if (c.Codigo[0] == codigo[0] && c.Codigo[1] == codigo[1] &&
            (tamanhoQuadro == 0 || tamanhoQuadro == c.TamanhoQuadro))
            return &c;
    return nullptr;
}
constexpr const Comando* ComandoPorExportacao(std::string_view exportacao) {
    for (const Comando& c : tabela::Comandos)
        if (exportacao == c.Exportacao) return &c;
    return nullptr;
}

// What a call hands the builder.
struct Argumentos {
    std::initializer_list<const char*> Textos{};
    std::int32_t Inteiro = 0;
    const std::int32_t* NumerosLayout = nullptr;
    // How many of the row's fields to write; the rest keep what BufComando held.
    int Campos = 255;
};

// Writes the header and the fields of a row into BufComando.
void MontaQuadro(const Comando& comando, const Argumentos& argumentos);
// MontaQuadro, then ExecutaComando with the row's four values.
std::int32_t ExecutaLinha(const Comando& comando, const Argumentos& argumentos);
// The whole of a plain command export: the lock, the frame, the exchange.
std::int32_t ExecutaExportacao(const Comando& comando, const Argumentos& argumentos);
inline std::int32_t Exporta(const Comando& comando, std::initializer_list<const char*> textos = {}) {
    return ExecutaExportacao(comando, Argumentos{textos});
}
