// The 54 exports as a host sees them, written once. The frame rows of
// comandos.h already give every command's code, lengths, time-out, CTS flag
// and fields; this table adds what no row says: the parameters that are not
// frame fields (a device name, a switch, a path, a buffer of the host's),
// a one-line purpose, what each export can return, and an example call.
// The reference (docs/reference.md), the binding declarations and the checks
// of include/vltxdrv.h, vltxdrv.def and vltxdrv.sym are generated from the
// two tables by tools/referencia (vltx-ref).
//
// An export's parameters, in order: position p is the frame field whose
// parameter is p (its name, kind and width come from the row), unless a
// parameter of its own below takes that position. Where both do (the cheque's
// "espacamento", parameter 8 of its rows), the field is filled by the driver
// itself, not from the host's argument.
#pragma once

#include <cstdint>

#include "driver/comandos.h"

// A parameter that no frame field holds.
enum class TipoProprio : std::uint8_t {
    Texto,    // a NUL-terminated text that the driver reads itself
    Caminho,  // the path of a file that the driver opens
    Dispositivo,  // the name of the device that the driver opens: a path, or a network address
    Buffer,   // a buffer of the host's that the driver writes into
};

struct ParametroProprio {
    std::uint8_t Posicao;  // 1-based
    TipoProprio Tipo;
    const char* Nome;
    std::uint16_t Tamanho;     // Buffer: the bytes the driver writes, its NUL included
    const char* ConstanteTamanho;  // Buffer: the macro of include/vltxdrv.h that names Tamanho
    const char* Uso;
};

// What an export can return; an export's results are a set of these.
namespace resultado {
enum : std::uint32_t {
    Status = 1u << 0,      // the printer's status byte, 0 to 255
    Sucesso = 1u << 1,     // 33: a step of the driver's own succeeded
    JaAberta = 1u << 2,    // 1: the port is open already
    NaoAberta = 1u << 3,   // 2: the port is not open
    Abertura = 1u << 4,    // 3, 4: the device cannot be opened or set up
    Linha = 1u << 5,       // 4, 6 to 19, 29: a failed send or receive
    Arquivo = 1u << 6,     // 20: a file of the host's cannot be used
    Layout = 1u << 7,      // 21 to 28: the cheque layout's section or keys
    Caracteres = 1u << 8,  // the number of characters written
    Chave = 1u << 9,       // 0 or 1: the new value of a switch
    Segundos = 1u << 10,   // the value stored
    Nenhum = 1u << 11,     // no result (void)
};
// A command that is one plain exchange.
inline constexpr std::uint32_t Troca = Status | NaoAberta | Linha;
}  // namespace resultado

enum class Grupo : std::uint8_t { Controle, Impressora, Cupom, Configuracao, Relatorios, Cheque, Leituras };

struct Descricao {
    const char* Exportacao;
    Grupo Familia;
    const char* Proposito;
    const ParametroProprio* Proprios;
    std::uint8_t NumProprios;
    std::uint32_t Resultados;
    const char* NotaResultados;  // what a result means for this export alone; null when nothing
    const char* const* Exemplo;  // one argument per parameter, as text (an integer by value too)
    std::uint8_t NumExemplo;
};

// The driver's own result codes, with the name include/vltxdrv.h gives each.
struct CodigoDriver {
    std::int32_t Codigo;
    const char* Constante;
    const char* Significado;
};

namespace descricao {

inline constexpr CodigoDriver Codigos[] = {
    {33, "VLTX_OK", "success of a step of the driver's own"},
    {1, "VLTX_JA_ABERTA", "the port is open already"},
    {2, "VLTX_NAO_ABERTA", "the port is not open: nothing was sent"},
    {3, "VLTX_ERRO_ABRIR", "the device cannot be opened (missing, no permission, or held by another process or a lock file)"},
    {4, "VLTX_ERRO_CONFIGURAR", "the line settings cannot be read or applied"},
    {5, "VLTX_ERRO_FECHADO", "the device is not open"},
    {6, "VLTX_ERRO_SAIDA_PENDENTE", "the output queue was not empty before sending"},
    {7, "VLTX_ERRO_TAMANHO", "transfer longer than the read or write limit"},
    {8, "VLTX_ERRO_CTS", "CTS held: the printer cannot take data"},
    {9, "VLTX_ERRO_ESCRITA", "the write failed"},
    {10, "VLTX_ERRO_RESPOSTA_CURTA", "fewer bytes received than asked for when the time-out ended"},
    {11, "VLTX_ERRO_LEITURA", "the read failed"},
    {12, "VLTX_ERRO_LIMPEZA", "purging a queue failed"},
    {13, "VLTX_ERRO_ENQUADRAMENTO", "framing error"},
    {14, "VLTX_ERRO_SOBRESCRITA", "overrun"},
    {15, "VLTX_ERRO_BREAK", "break on the line"},
    {16, "VLTX_ERRO_DISPOSITIVO", "device I/O error (the line dropped)"},
    {17, "VLTX_ERRO_ESTOURO_RECEPCAO", "receive queue overflow"},
    {18, "VLTX_ERRO_PARIDADE", "parity error"},
    {19, "VLTX_ERRO_TRANSMISSAO_CHEIA", "transmit queue full"},
    {20, "VLTX_ERRO_ARQUIVO", "a file the host named cannot be opened (or the cheque layout's temporary copy cannot be made)"},
    {21, "VLTX_ERRO_SECAO", "the section is missing from the cheque layout file, or holds no keys"},
    {22, "VLTX_ERRO_VALOR", "the layout key \"Valor\" is missing or wrong"},
    {23, "VLTX_ERRO_EXTENSO", "the layout key \"Extenso\" is missing or wrong"},
    {24, "VLTX_ERRO_FAVORECIDO", "the layout key \"Favorecido\" is missing or wrong"},
    {25, "VLTX_ERRO_CIDADE", "the layout key \"Cidade\" is missing or wrong"},
    {26, "VLTX_ERRO_MENSAGEM", "the layout key \"Mensagem\" is missing or wrong"},
    {27, "VLTX_ERRO_DATA", "the layout key \"Data\" is missing or wrong"},
    {28, "VLTX_ERRO_ESPACAMENTO", "the layout key \"eSpacamento\" is missing or below 1"},
    {29, "VLTX_ERRO_LINHA", "a line failure of no known kind"},
};

// What a status byte is, in the words every binding's meaning function, the
// reference and the man page use: its values belong to the printer, and the
// driver acts on four answers only.
inline constexpr const char* TextoStatus =
    "the printer's status byte, handed back unchanged: its values are the printer's (its manual says what "
    "each means), not the driver's";
inline constexpr const char* StatusQueODriverUsa =
    "The driver itself acts on four answers only: 33 after a report request (ecf_Relatorio_XZ type 1: accepted, "
    "it then polls the status), 10 while it polls (still busy: it polls again), 2 before a CMC-7 stream "
    "(ecf_LeCMC7: the line follows) and any byte before a fiscal readout (ecf_LeECF types 4 to 7: the readout "
    "follows). Every other value goes back to the host as the printer sent it.";
// Where one number reads both ways, the readings are joined by this.
inline constexpr const char* SeparadorDeLeituras = " | ";

// The codes of each result kind that is a set of driver codes.
struct FaixaResultado {
    std::uint32_t Tipo;
    std::int32_t De, Ate;  // inclusive
};
inline constexpr FaixaResultado Faixas[] = {
    {resultado::Sucesso, 33, 33},  {resultado::JaAberta, 1, 1},   {resultado::NaoAberta, 2, 2},
    {resultado::Abertura, 3, 4},   {resultado::Linha, 4, 4},      {resultado::Linha, 6, 19},
    {resultado::Linha, 29, 29},    {resultado::Arquivo, 20, 20},  {resultado::Layout, 21, 28},
};

using P = ParametroProprio;
using T = TipoProprio;
namespace r = resultado;

inline constexpr P Porta[] = {{1, T::Dispositivo, "porta", 0, nullptr,
                               "the serial device's name, passed unchanged to the platform's open call "
                               "(/dev/ttyUSB0, a pseudo-terminal's path; COM1 on Windows)"}};
inline constexpr P Versao[] = {{1, T::Buffer, "versao", 16, "VLTX_VERSAO_TAMANHO",
                                "the host's buffer: receives \"Veltrix - V2.60\" and a NUL"}};
inline constexpr P Ativa[] = {{1, T::Texto, "ativa", 0, nullptr,
                               "the first character \"1\" switches the log on; any other, or an empty text, off"}};
inline constexpr P Segundos[] = {{1, T::Texto, "segundos", 0, nullptr,
                                  "decimal text: the time-out in seconds for the next reply; 0 cancels a pending one"}};
inline constexpr P Resposta[] = {{2, T::Buffer, "resposta", 31, "VLTX_REGISTRADOR_TAMANHO",
                                  "the host's buffer, or null: receives the 30 bytes of the answer and a NUL, "
                                  "whatever the result; what they hold is the printer's (vltx-sim answers the "
                                  "register's number in 3 digits, then its value in 27)"}};
inline constexpr P ArquivoLeitura[] = {{5, T::Caminho, "arquivo", 0, nullptr,
                                        "the file that receives the readout (types 4 to 7 only): created or emptied"}};
inline constexpr P ArquivoCmc7[] = {{1, T::Caminho, "arquivo", 0, nullptr,
                                     "the file that receives the CMC-7 line: created or emptied"}};
inline constexpr P Cheque[] = {
    {8, T::Texto, "secao", 0, nullptr, "the name of the section of the layout file that describes this cheque"},
    {9, T::Caminho, "arquivo", 0, nullptr, "the path of the cheque layout file (profile format); only read"}};

template <std::size_t K>
constexpr const char* const* E(const char* const (&v)[K]) { return v; }

inline constexpr const char* ExInicializa[] = {"/dev/ttyUSB0"};
inline constexpr const char* ExVersao[] = {""};
inline constexpr const char* ExLog[] = {"1"};
inline constexpr const char* ExTimeout[] = {"30"};
inline constexpr const char* ExSensor[] = {"1"};
inline constexpr const char* ExAvanca[] = {"5"};
inline constexpr const char* ExOpcao[] = {"1"};
inline constexpr const char* ExAutentica[] = {"AUTENTICADO 001"};
inline constexpr const char* ExRascunho[] = {"RASCUNHO"};
inline constexpr const char* ExContraste[] = {"5"};
inline constexpr const char* ExBarras[] = {"1", "7891234567895"};
inline constexpr const char* ExVenda[] = {"7891234567895", "CAFE 500G", "1000", "1590", "T1", "UN", "2"};
inline constexpr const char* ExOperador[] = {"CAIXA01"};
inline constexpr const char* ExPagamento[] = {"01", "DINHEIRO", "2000"};
inline constexpr const char* ExPropaganda[] = {"OBRIGADO PELA PREFERENCIA"};
inline constexpr const char* ExComprador[] = {"MARIA DE SOUZA", "F", "12345678909", "RUA DAS FLORES, 100",
                                              "SAO PAULO - SP"};
inline constexpr const char* ExCancelaItem[] = {"2"};
inline constexpr const char* ExAcrescimo[] = {"TAXA ENTR", "500"};
inline constexpr const char* ExDescontoSub[] = {"DESC CLUB", "50"};
inline constexpr const char* ExDescontoItem[] = {"D", "DESC CAFE", "100"};
inline constexpr const char* ExStub[] = {"1234"};
inline constexpr const char* ExCliche[] = {"1", "MERCADO BOM PRECO", "RUA DAS FLORES, 100", "SAO PAULO - SP",
                                           "1", "2"};
inline constexpr const char* ExCargaAliquota[] = {"1", "1800"};
inline constexpr const char* ExRelogio[] = {"1", "07012026", "143000"};
inline constexpr const char* ExForma[] = {"2", "CARTAO"};
inline constexpr const char* ExNaoVinculado[] = {"1", "SANGRIA", "S"};
inline constexpr const char* ExDefineAliquota[] = {"2", "0700", "T"};
inline constexpr const char* ExEstabelecimento[] = {"MERCADO BOM PRECO", "12345678000190", "123456789012"};
inline constexpr const char* ExRelatorio[] = {"1"};
inline constexpr const char* ExLivres[] = {"23", "LINHA DE TEXTO LIVRE 01"};
inline constexpr const char* ExEmiteNaoVinculado[] = {"1", "SANGRIA", "5000"};
inline constexpr const char* ExVinculado[] = {"2", "CARTAO", "729", "CREDITO A VISTA", "1",
                                              "COMPROVANTE DE PAGAMENTO", "1", "1"};
inline constexpr const char* ExTef[] = {"2", "TEF", "729", "COMPROVANTE TEF", "1", "1"};
inline constexpr const char* ExCartao[] = {"2", "CARTAO", "1234", "729", "COMPROVANTE CARTAO", "1", "1"};
inline constexpr const char* ExNSeq[] = {"123", "2", "CARTAO CREDITO"};
inline constexpr const char* ExCheque[] = {"1.234,56", "JOAO DA SILVA", "SAO PAULO", "PAGAMENTO FORNECEDOR",
                                           "070126", "", "", "MODELO_BASICO", "cheque.ini"};
inline constexpr const char* ExCmc7[] = {"cmc7.txt"};
inline constexpr const char* ExCruza[] = {"1", "BANCO DO POVO", "", ""};
inline constexpr const char* ExChancela[] = {"7", "12", "ENDOSSO"};
inline constexpr const char* ExRegistrador[] = {"1", ""};
inline constexpr const char* ExLeEcf[] = {"4", "01012026", "31012026", "0", "leitura.txt"};

template <std::size_t K, std::size_t X>
constexpr Descricao D(const char* e, Grupo g, const char* proposito, const P (&proprios)[K], std::uint32_t res,
                      const char* nota, const char* const (&ex)[X]) {
    return {e, g, proposito, proprios, std::uint8_t(K), res, nota, ex, std::uint8_t(X)};
}
// An export whose parameters are all frame fields.
template <std::size_t X>
constexpr Descricao D(const char* e, Grupo g, const char* proposito, std::uint32_t res, const char* nota,
                      const char* const (&ex)[X]) {
    return {e, g, proposito, nullptr, 0, res, nota, ex, std::uint8_t(X)};
}
// No parameter at all.
constexpr Descricao D(const char* e, Grupo g, const char* proposito, std::uint32_t res, const char* nota) {
    return {e, g, proposito, nullptr, 0, res, nota, nullptr, 0};
}

using G = Grupo;

// In the order of the header's groups.
inline constexpr Descricao Exportacoes[] = {
    D("ecf_InicializaDLL", G::Controle, "Opens the printer's serial port and reads the persisted log switch.", Porta,
      r::Sucesso | r::JaAberta | r::Abertura,
      "33: the port is open; 1: it was open already (nothing changes); 3: the device cannot be opened; "
      "4: its line settings cannot be applied.",
      ExInicializa),
    D("ecf_FinalizaDLL", G::Controle, "Closes the port and writes the log switch back to the settings store.",
      r::Sucesso | r::NaoAberta | r::Linha, "33: the port is closed; 2: it was not open."),
    D("ecf_VersaoDLL", G::Controle, "Writes the driver's name and version into the host's buffer; needs no open port.",
      Versao, r::Caracteres, "15, the characters of \"Veltrix - V2.60\" (the NUL not counted); 0 for a null buffer.",
      ExVersao),
    D("ecf_LogSerial", G::Controle,
      "Switches the diagnostic log of every frame on or off; kept when the port is closed. The registry lines of "
      "opening and closing the port (\"Leitura Entrada Registry\", \"Atualizada Entrada Registry\") go to the "
      "day's log whether the switch is on or off.", Ativa, r::Chave,
      "1: the log is now on; 0: off.", ExLog),
    D("ecf_ProximoTimeout", G::Controle,
      "Sets a one-shot time-out for the reply to the next frame that goes out, replacing its own.", Segundos,
      r::Segundos, "The number stored, as the decimal text rule read it.", ExTimeout),
    D("@Log@C6_4", G::Controle,
      "Lowers an internal counter; the library's start-up calls it, a host has no reason to.", r::Nenhum, nullptr),
    D("@Log@C6_5", G::Controle,
      "Raises an internal counter; the library's shutdown calls it, a host has no reason to.", r::Nenhum, nullptr),

    D("ecf_EstadoImpressora", G::Impressora, "Asks the printer for its status byte.", r::Troca,
      "Sent without CTS flow control, with a 2-second time-out: 10 means busy (printing a report)."),
    D("ecf_AbreGaveta", G::Impressora, "Opens the cash drawer.", r::Troca, nullptr),
    D("ecf_LeSensor", G::Impressora, "Reads one of the printer's sensors.", r::Troca, nullptr, ExSensor),
    D("ecf_AvancaLinhas", G::Impressora, "Feeds the paper by a number of lines.", r::Troca, nullptr, ExAvanca),
    D("ecf_EspacamentoLinhas", G::Impressora, "Selects the line spacing.", r::Troca, nullptr, ExOpcao),
    D("ecf_Autentica", G::Impressora, "Prints an authentication text on a document in the printer.", r::Troca,
      nullptr, ExAutentica),
    D("ecf_Mecanismo", G::Impressora, "Selects a mechanism option of the printer.", r::Troca, nullptr, ExOpcao),
    D("ecf_CortaPapel", G::Impressora, "Cuts the paper.", r::Troca, nullptr),
    D("ecf_Rascunho", G::Impressora, "Prints a draft (non-fiscal) line of text.", r::Troca, nullptr, ExRascunho),
    D("ecf_ContrasteTermico", G::Impressora, "Sets the thermal print contrast.", r::Troca, nullptr, ExContraste),
    D("ecf_CodigoBarras", G::Impressora, "Prints a barcode of the given type.", r::Troca, nullptr, ExBarras),

    D("ecf_VendaItem", G::Cupom, "Sells one item on the open receipt. Its tax code (\"T1\") names a tax rate of the "
      "printer's programming (ecf_CargaAliquota, ecf_DefineAliquota): which codes exist is the printer's, "
      "not the driver's.", r::Troca, nullptr, ExVenda),
    D("ecf_CancelaVenda", G::Cupom, "Cancels the sale in progress.", r::Troca, nullptr, ExOperador),
    D("ecf_CancelaCupom", G::Cupom, "Cancels the receipt (the open one, or the last one issued).", r::Troca, nullptr,
      ExOperador),
    D("ecf_FechaCupom", G::Cupom, "Closes the receipt.", r::Troca, nullptr, ExOperador),
    D("ecf_Pagamento", G::Cupom, "Registers a payment in one of the programmed payment forms: its form (\"01\") is the "
      "number a form was given with ecf_FormaPagamento, in the printer's programming.", r::Troca, nullptr,
      ExPagamento),
    D("ecf_ImprimeCabecalho", G::Cupom, "Opens a fiscal receipt: prints its header.", r::Troca, nullptr),
    D("ecf_Propaganda", G::Cupom, "Prints a promotional message on the receipt.", r::Troca, nullptr, ExPropaganda),
    D("ecf_IdComprador", G::Cupom, "Identifies the buyer on the receipt.", r::Troca, nullptr, ExComprador),
    D("ecf_CancelaItem", G::Cupom, "Cancels an item of the open receipt by its number.", r::Troca, nullptr,
      ExCancelaItem),
    D("ecf_AcrescimoSubtotal", G::Cupom, "Adds a surcharge to the receipt's subtotal.", r::Troca, nullptr,
      ExAcrescimo),
    D("ecf_DescontoSubtotal", G::Cupom, "Takes a discount off the receipt's subtotal.", r::Troca, nullptr,
      ExDescontoSub),
    D("ecf_DescontoItem", G::Cupom, "Takes a discount off the last item sold.", r::Troca, nullptr, ExDescontoItem),
    D("ecf_CupomStub", G::Cupom, "Sends command \"30\" with one number, passed as an integer by value.", r::Troca,
      nullptr, ExStub),

    D("ecf_CargaCliche", G::Configuracao, "Programs the receipt's header lines.", r::Troca, nullptr, ExCliche),
    D("ecf_CargaAliquota", G::Configuracao, "Programs a tax rate.", r::Troca, nullptr, ExCargaAliquota),
    D("ecf_ProgramaRelogio", G::Configuracao, "Sets the printer's clock.", r::Troca, nullptr, ExRelogio),
    D("ecf_FormaPagamento", G::Configuracao, "Programs a payment form's name.", r::Troca, nullptr, ExForma),
    D("ecf_CargaNaoVinculado", G::Configuracao, "Programs a non-fiscal entry.", r::Troca, nullptr, ExNaoVinculado),
    D("ecf_DefineAliquota", G::Configuracao, "Defines a tax rate and its kind.", r::Troca, nullptr,
      ExDefineAliquota),
    D("ecf_NovoEstabelecimento", G::Configuracao, "Programs the shop's (establishment's) data.", r::Troca, nullptr,
      ExEstabelecimento),

    D("ecf_Relatorio_XZ", G::Relatorios, "Prints an X reading (type 1) or a Z reduction, and waits for the printer.",
      r::Troca,
      "Type 1 answered 33: the report was accepted; the driver then polls the status up to 100 times while the "
      "printer answers 10 (busy), waiting 15 s and then 3 s between polls, and returns 33. Any other type, "
      "or another answer, is returned at once.",
      ExRelatorio),
    D("ecf_FinalizaRelatorio", G::Relatorios, "Ends a report or a non-fiscal document.", r::Troca, nullptr),
    D("ecf_LinhasLivres", G::Relatorios, "Prints free text: the first count characters of the text.", r::Troca,
      nullptr, ExLivres),
    D("ecf_EmiteNaoVinculado", G::Relatorios, "Issues a non-fiscal document for a programmed entry.", r::Troca,
      nullptr, ExEmiteNaoVinculado),
    D("ecf_VinculadoTEF", G::Relatorios, "Prints the slip linked to an electronic funds transfer (TEF) payment.",
      r::Troca, nullptr, ExTef),
    D("ecf_VinculadoCartao", G::Relatorios, "Prints the slip linked to a card payment.", r::Troca, nullptr,
      ExCartao),
    D("ecf_VinculadoNSeq", G::Relatorios, "Opens a linked slip addressed by a receipt's sequence number.", r::Troca,
      nullptr, ExNSeq),
    D("ecf_Vinculado", G::Relatorios, "Prints a linked slip (general form).", r::Troca, nullptr, ExVinculado),

    D("ecf_ImprimeCheque", G::Cheque,
      "Prints a cheque, placing its texts as the named section of the host's layout file says.", Cheque,
      r::Troca | r::Arquivo | r::Layout,
      "20 to 28 come before anything is sent: 20 the layout file (or its temporary copy), 21 the section, "
      "22 to 28 a key of the section. Four numbers in \"Valor\" make the extended frame (189 bytes), two the "
      "basic one (169).",
      ExCheque),
    D("ecf_CMC7ToECF", G::Cheque, "Sends command \"47\" (the printer's CMC-7 function).", r::Troca, nullptr),
    D("ecf_EjetarCheque", G::Cheque, "Ejects the cheque.", r::Troca, nullptr),
    D("ecf_LeCMC7", G::Cheque, "Reads the cheque's CMC-7 line into a file.", ArquivoCmc7,
      r::Status | r::NaoAberta | r::Linha | r::Arquivo | r::Sucesso,
      "The printer answers 2 when the line follows: the driver then reads it into the file (the answer byte "
      "first) until its end byte or 5 s without data, and returns 33. 20: the file cannot be made (tested before "
      "anything is sent). Any other answer is returned as it came, and no file is written.",
      ExCmc7),
    D("ecf_CruzarCheque", G::Cheque, "Crosses the cheque.", r::Troca, nullptr, ExCruza),
    D("ecf_ChancelarCheque", G::Cheque, "Endorses the cheque.", r::Troca, nullptr, ExChancela),

    D("ecf_LeRegistrador", G::Leituras, "Reads one of the printer's registers into the host's buffer.", Resposta,
      r::Sucesso | r::NaoAberta | r::Linha,
      "33: the 30 bytes of the answer arrived (whatever the first of them). On any other result the buffer "
      "holds no register: test for 33 before using it.",
      ExRegistrador),
    D("ecf_LeECF", G::Leituras, "Reads fiscal data out of the printer; types 4 to 7 stream into a file.",
      ArquivoLeitura, r::Troca | r::Arquivo | r::Sucesso,
      "Types 4 to 7: 33 once the readout has ended (by its end byte or 600 s without data), the file holding the "
      "answer byte and the readout; 20 when the file cannot be made (tested before anything is sent); 2 or a "
      "line failure when the exchange failed (no stream follows). Other types: the printer's status byte.",
      ExLeEcf),
};

inline constexpr int NumExportacoes = sizeof Exportacoes / sizeof Exportacoes[0];
static_assert(NumExportacoes == 54, "the library has 54 exports");

constexpr const Descricao* DescricaoPorExportacao(std::string_view exportacao) {
    for (const Descricao& d : Exportacoes)
        if (exportacao == d.Exportacao) return &d;
    return nullptr;
}

}  // namespace descricao
