// The printer control, receipt, configuration and report commands as the
// printer sees them on the line, byte by byte. Every expected frame below is
// written out from the commands' layouts, field by field, never taken from
// the frame table.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "driver/estado.h"
#include "support/impressora.h"
#include "vltxdrv.h"

using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

std::string B(std::size_t n) { return std::string(n, ' '); }
std::string Z(std::size_t n) { return std::string(n, '\0'); }

// 410 characters, each telling its place: what an earlier frame leaves at
// offsets 7 to 416 of the free-text command.
std::string Padrao() {
    std::string p;
    for (int i = 0; i < 410; ++i) p += static_cast<char>('a' + i % 26);
    return p;
}

struct Caso {
    const char* nome;
    std::size_t tamanho;  // the frame length of the command, from its layout
    std::function<int32_t()> chamada;
    std::string esperado;
};

class Comandos : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33); }
    void TearDown() override {
        impressora.Para();
        if (EstadoDriver.PortaAberta) {
            EXPECT_EQ(ecf_FinalizaDLL(), 33);
        }
    }

    // Runs one export while the test plays the printer: reads a frame of
    // `tamanho` bytes, answers `resposta`, and expects that byte back and
    // nothing on the line behind the frame.
    std::string Troca(const std::function<int32_t()>& chamada, std::size_t tamanho, unsigned char resposta = 0) {
        auto exportacao = std::async(std::launch::async, chamada);
        std::string quadro = impressora.Le(tamanho, 5000);
        impressora.Envia(std::string(1, static_cast<char>(resposta)));
        EXPECT_EQ(exportacao.get(), resposta);
        EXPECT_EQ(impressora.Le(1, 5), "") << "bytes behind a frame of " << tamanho;
        return quadro;
    }

    void Confere(const std::vector<Caso>& casos) {
        unsigned char resposta = 200;
        for (const Caso& c : casos) {
            SCOPED_TRACE(c.nome);
            ASSERT_EQ(c.esperado.size(), c.tamanho) << "the expected frame itself is miscounted";
            EXPECT_EQ(Troca(c.chamada, c.tamanho, resposta), c.esperado);
            resposta = static_cast<unsigned char>(resposta + 53);
        }
    }

    Impressora impressora;
};

// ---------------------------------------------------------------- whole frames

TEST_F(Comandos, PrinterControlFramesAreByteExact) {
    Confere({
        {"ecf_EstadoImpressora", 4, [] { return ecf_EstadoImpressora(); }, Quadro("00")},
        {"ecf_AbreGaveta", 4, [] { return ecf_AbreGaveta(); }, Quadro("01")},
        {"ecf_LeSensor", 5, [] { return ecf_LeSensor("1"); }, Quadro("02", "1")},
        {"ecf_AvancaLinhas", 6, [] { return ecf_AvancaLinhas("7"); }, Quadro("03", "07")},
        {"ecf_EspacamentoLinhas", 5, [] { return ecf_EspacamentoLinhas("2"); }, Quadro("26", "2")},
        {"ecf_Autentica", 24, [] { return ecf_Autentica("AUTENTICADO 0123"); },
         Quadro("29", "AUTENTICADO 0123" + B(4))},
        {"ecf_Mecanismo", 5, [] { return ecf_Mecanismo("A"); }, Quadro("39", "A")},
        {"ecf_CortaPapel", 4, [] { return ecf_CortaPapel(); }, Quadro("46")},
        {"ecf_Rascunho", 34, [] { return ecf_Rascunho("RASCUNHO"); }, Quadro("51", B(22) + "RASCUNHO")},
        {"ecf_ContrasteTermico", 5, [] { return ecf_ContrasteTermico("3"); }, Quadro("52", "3")},
        {"ecf_CodigoBarras", 45, [] { return ecf_CodigoBarras("E", "7891234567895"); },
         Quadro("56", "E" "7891234567895" + B(27))},
    });
}

TEST_F(Comandos, ReceiptFramesAreByteExact) {
    Confere({
        {"ecf_VendaItem", 100,
         [] { return ecf_VendaItem("7891000100103", "ARROZ TIPO 1 5KG", "1,000", "12,50", "1", "K", "2"); },
         Quadro("05", "7891000100103" "ARROZ TIPO 1 5KG" + B(46) + "  1,000" "    12,50" " 1" "K " "2")},
        {"ecf_CancelaVenda", 12, [] { return ecf_CancelaVenda("OPER1"); }, Quadro("06", "OPER1   ")},
        {"ecf_CancelaCupom", 12, [] { return ecf_CancelaCupom("OP"); }, Quadro("07", "OP      ")},
        {"ecf_FechaCupom", 12, [] { return ecf_FechaCupom("CAIXA01"); }, Quadro("09", "CAIXA01 ")},
        {"ecf_Pagamento", 26, [] { return ecf_Pagamento("3", "DINHEIRO", "50,00"); },
         Quadro("10", "03" "DINHEIRO  " "     50,00")},
        {"ecf_ImprimeCabecalho", 4, [] { return ecf_ImprimeCabecalho(); }, Quadro("11")},
        {"ecf_Propaganda", 164, [] { return ecf_Propaganda("VOLTE SEMPRE"); }, Quadro("12", "VOLTE SEMPRE" + B(148))},
        {"ecf_IdComprador", 143,
         [] { return ecf_IdComprador("MARIA DA SILVA", "F", "123.456.789-09", "RUA DAS FLORES 10", "CENTRO"); },
         Quadro("14", "MARIA DA SILVA" + B(26) + "F" + B(4) + "123.456.789-09" + "RUA DAS FLORES 10" + B(23) +
                          "CENTRO" + B(34))},
        {"ecf_CancelaItem", 7, [] { return ecf_CancelaItem("12"); }, Quadro("17", " 12")},
        {"ecf_AcrescimoSubtotal", 25, [] { return ecf_AcrescimoSubtotal("ACRESCIMO", "1,00"); },
         Quadro("18", "0" "ACRESCIMO " "      1,00")},
        {"ecf_DescontoSubtotal", 25, [] { return ecf_DescontoSubtotal("DESCONTO", "2,50"); },
         Quadro("19", "0" "DESCONTO  " "      2,50")},
        {"ecf_DescontoItem", 24, [] { return ecf_DescontoItem("$", "DESC ITEM", "0,99"); },
         Quadro("20", "$" "DESC ITEM " "     0,99")},
        {"ecf_CupomStub", 12, [] { return ecf_CupomStub(123); }, Quadro("30", "00000123")},
    });
}

TEST_F(Comandos, ConfigurationFramesAreByteExact) {
    Confere({
        {"ecf_CargaCliche", 131,
         [] { return ecf_CargaCliche("1", "SUPERMERCADO BOA VISTA", "AV BRASIL 100", "SAO PAULO SP", "ABC", "12"); },
         Quadro("13", "1" "SUPERMERCADO BOA VISTA" + B(18) + "AV BRASIL 100" + B(27) + "SAO PAULO SP" + B(28) +
                          "ABC" " 12")},
        {"ecf_CargaAliquota", 10, [] { return ecf_CargaAliquota("2", "700"); }, Quadro("15", "02" " 700")},
        {"ecf_ProgramaRelogio", 19, [] { return ecf_ProgramaRelogio("0", "01022026", "143000"); },
         Quadro("22", "0" "01022026" "143000")},
        {"ecf_FormaPagamento", 16, [] { return ecf_FormaPagamento("4", "CARTAO"); }, Quadro("23", "04" "CARTAO    ")},
        {"ecf_CargaNaoVinculado", 22, [] { return ecf_CargaNaoVinculado("5", "SANGRIA", "-"); },
         Quadro("24", "05" "SANGRIA" + B(8) + "-")},
        {"ecf_DefineAliquota", 11, [] { return ecf_DefineAliquota("3", "1200", "S"); }, Quadro("25", "03" "1200" "S")},
        {"ecf_NovoEstabelecimento", 52, [] { return ecf_NovoEstabelecimento("12345678000199", "123456789", "ISENTO"); },
         Quadro("35", "12345678000199" + B(4) + "123456789" + B(6) + "ISENTO" + B(9))},
    });
}

TEST_F(Comandos, ReportAndLinkedDocumentFramesAreByteExact) {
    static const std::string bloco = "LINHA 1 DO COMPROVANTE\nLINHA 2";  // 30 bytes, passed through as they are
    static const std::string livre = Padrao() + "sobra";
    Confere({
        {"ecf_Relatorio_XZ", 5, [] { return ecf_Relatorio_XZ("0"); }, Quadro("08", "0")},
        {"ecf_FinalizaRelatorio", 4, [] { return ecf_FinalizaRelatorio(); }, Quadro("45")},
        {"ecf_LinhasLivres", 417, [] { return ecf_LinhasLivres("410", livre.c_str()); },
         Quadro("48", "410" + livre.substr(0, 410))},
        {"ecf_EmiteNaoVinculado", 35, [] { return ecf_EmiteNaoVinculado("2", "SUPRIMENTO", "100,00"); },
         Quadro("42", "02" "SUPRIMENTO" + B(10) + "   100,00")},
        {"ecf_Vinculado", 856,
         [] { return ecf_Vinculado("1", "CARTAO CREDITO", "25,00", "COMPROVANTE", "X", bloco.c_str(), "2", "3"); },
         Quadro("50", "01" + B(2) + "CARTAO CREDITO" + "    25,00" + B(9) + "COMPROVANTE" + "X" + bloco + B(770) +
                          "02" "03")},
        {"ecf_VinculadoTEF", 835, [] { return ecf_VinculadoTEF("3", "TEF", "10,00", "TEXTO TEF", "1", "2"); },
         Quadro("27", "03" + B(13) + "TEF" + "    10,00" + "TEXTO TEF" + B(791) + "01" "02")},
        {"ecf_VinculadoCartao", 839,
         [] { return ecf_VinculadoCartao("4", "VISA", "1234", "99,90", "VIA CLIENTE", "1", "1"); },
         Quadro("36", "04" + B(12) + "VISA" + "1234" + "    99,90" + "VIA CLIENTE" + B(789) + "01" "01")},
        {"ecf_VinculadoNSeq", 32, [] { return ecf_VinculadoNSeq("123", "2", "NSEQ"); },
         Quadro("44", "000123" "02" "NSEQ" + B(16))},
    });
}

// Texts far longer than any field and numbers of nine digits: every frame is
// still exactly its length, every byte of it written by the command (no zero
// byte of a field's end slips in), and nothing follows it on the line.
TEST_F(Comandos, OverlongArgumentsNeverStretchAFrame) {
    static const std::string s = "0987654321" + std::string(900, 'W');
    const char* t = s.c_str();
    const std::vector<std::pair<std::size_t, std::function<int32_t()>>> chamadas = {
        {5, [t] { return ecf_LeSensor(t); }},
        {6, [t] { return ecf_AvancaLinhas(t); }},
        {5, [t] { return ecf_EspacamentoLinhas(t); }},
        {24, [t] { return ecf_Autentica(t); }},
        {5, [t] { return ecf_Mecanismo(t); }},
        {34, [t] { return ecf_Rascunho(t); }},
        {5, [t] { return ecf_ContrasteTermico(t); }},
        {45, [t] { return ecf_CodigoBarras(t, t); }},
        {100, [t] { return ecf_VendaItem(t, t, t, t, t, t, t); }},
        {12, [t] { return ecf_CancelaVenda(t); }},
        {12, [t] { return ecf_CancelaCupom(t); }},
        {12, [t] { return ecf_FechaCupom(t); }},
        {26, [t] { return ecf_Pagamento(t, t, t); }},
        {164, [t] { return ecf_Propaganda(t); }},
        {143, [t] { return ecf_IdComprador(t, t, t, t, t); }},
        {7, [t] { return ecf_CancelaItem(t); }},
        {25, [t] { return ecf_AcrescimoSubtotal(t, t); }},
        {25, [t] { return ecf_DescontoSubtotal(t, t); }},
        {24, [t] { return ecf_DescontoItem(t, t, t); }},
        {12, [] { return ecf_CupomStub(987654321); }},
        {131, [t] { return ecf_CargaCliche(t, t, t, t, t, t); }},
        {10, [t] { return ecf_CargaAliquota(t, t); }},
        {19, [t] { return ecf_ProgramaRelogio(t, t, t); }},
        {16, [t] { return ecf_FormaPagamento(t, t); }},
        {22, [t] { return ecf_CargaNaoVinculado(t, t, t); }},
        {11, [t] { return ecf_DefineAliquota(t, t, t); }},
        {52, [t] { return ecf_NovoEstabelecimento(t, t, t); }},
        {5, [t] { return ecf_Relatorio_XZ(t); }},
        {417, [t] { return ecf_LinhasLivres(t, t); }},
        {35, [t] { return ecf_EmiteNaoVinculado(t, t, t); }},
        {856, [t] { return ecf_Vinculado(t, t, t, t, t, t, t, t); }},
        {835, [t] { return ecf_VinculadoTEF(t, t, t, t, t, t); }},
        {839, [t] { return ecf_VinculadoCartao(t, t, t, t, t, t, t); }},
        {32, [t] { return ecf_VinculadoNSeq(t, t, t); }},
    };
    for (const auto& [tamanho, chamada] : chamadas) {
        const std::string quadro = Troca(chamada, tamanho);
        SCOPED_TRACE(quadro.substr(0, 4));
        EXPECT_EQ(quadro.size(), tamanho);
        EXPECT_EQ(quadro.find('\0'), std::string::npos);
    }
}

// ---------------------------------------------------------------- replies

TEST_F(Comandos, TheReplyByteComesBackUnchanged) {
    for (unsigned char r : {0, 1, 2, 10, 33, 127, 128, 255}) {
        SCOPED_TRACE(static_cast<int>(r));
        EXPECT_EQ(Troca([] { return ecf_EstadoImpressora(); }, 4, r), Quadro("00"));
        EXPECT_EQ(Troca([] { return ecf_CupomStub(1); }, 12, r), Quadro("30", "00000001"));
        EXPECT_EQ(Troca([] { return ecf_NovoEstabelecimento("", "", ""); }, 52, r), Quadro("35", B(48)));
    }
}

TEST_F(Comandos, AClosedPortGivesTwoAndSendsNothing) {
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    const char* t = "1";
    const std::vector<int32_t> resultados = {
        ecf_EstadoImpressora(), ecf_AbreGaveta(), ecf_LeSensor(t), ecf_AvancaLinhas(t), ecf_EspacamentoLinhas(t),
        ecf_Autentica(t), ecf_Mecanismo(t), ecf_CortaPapel(), ecf_Rascunho(t), ecf_ContrasteTermico(t),
        ecf_CodigoBarras(t, t), ecf_VendaItem(t, t, t, t, t, t, t), ecf_CancelaVenda(t), ecf_CancelaCupom(t),
        ecf_FechaCupom(t), ecf_Pagamento(t, t, t), ecf_ImprimeCabecalho(), ecf_Propaganda(t),
        ecf_IdComprador(t, t, t, t, t), ecf_CancelaItem(t), ecf_AcrescimoSubtotal(t, t), ecf_DescontoSubtotal(t, t),
        ecf_DescontoItem(t, t, t), ecf_CupomStub(1), ecf_CargaCliche(t, t, t, t, t, t), ecf_CargaAliquota(t, t),
        ecf_ProgramaRelogio(t, t, t), ecf_FormaPagamento(t, t), ecf_CargaNaoVinculado(t, t, t),
        ecf_DefineAliquota(t, t, t), ecf_NovoEstabelecimento(t, t, t), ecf_Relatorio_XZ(t), ecf_FinalizaRelatorio(),
        ecf_LinhasLivres(t, t), ecf_EmiteNaoVinculado(t, t, t), ecf_Vinculado(t, t, t, t, t, t, t, t),
        ecf_VinculadoTEF(t, t, t, t, t, t), ecf_VinculadoCartao(t, t, t, t, t, t, t), ecf_VinculadoNSeq(t, t, t)};
    ASSERT_EQ(resultados.size(), 39u);
    for (std::size_t i = 0; i < resultados.size(); ++i) EXPECT_EQ(resultados[i], 2) << "export " << i;
    EXPECT_EQ(impressora.Le(1, 100), "");
}

// ---------------------------------------------------------------- printer control

TEST_F(Comandos, LineFeedNumberCutsAndPads) {
    EXPECT_EQ(Troca([] { return ecf_AvancaLinhas("7"); }, 6), Quadro("03", "07"));
    EXPECT_EQ(Troca([] { return ecf_AvancaLinhas(""); }, 6), Quadro("03", "00"));
    EXPECT_EQ(Troca([] { return ecf_AvancaLinhas("abc"); }, 6), Quadro("03", "00"));
    EXPECT_EQ(Troca([] { return ecf_AvancaLinhas("123"); }, 6), Quadro("03", "12"));
    EXPECT_EQ(Troca([] { return ecf_AvancaLinhas("-5"); }, 6), Quadro("03", "-0"));
    EXPECT_EQ(Troca([] { return ecf_AvancaLinhas(" +42 linhas"); }, 6), Quadro("03", "42"));
}

TEST_F(Comandos, CharacterFieldsTakeTheFirstByteOrZero) {
    EXPECT_EQ(Troca([] { return ecf_LeSensor(""); }, 5), Quadro("02", Z(1)));
    EXPECT_EQ(Troca([] { return ecf_LeSensor("XYZ"); }, 5), Quadro("02", "X"));
    EXPECT_EQ(Troca([] { return ecf_EspacamentoLinhas(""); }, 5), Quadro("26", Z(1)));
    EXPECT_EQ(Troca([] { return ecf_Mecanismo("\xff"); }, 5), Quadro("39", "\xff"));
    EXPECT_EQ(Troca([] { return ecf_ContrasteTermico(""); }, 5), Quadro("52", Z(1)));
}

TEST_F(Comandos, ControlTextsCutOrPadToTheirWidths) {
    const std::string trinta = "012345678901234567890123456789";
    EXPECT_EQ(Troca([] { return ecf_Rascunho("ABCDE"); }, 34), Quadro("51", B(25) + "ABCDE"));
    EXPECT_EQ(Troca([&] { return ecf_Rascunho((trinta + "ABCDE").c_str()); }, 34), Quadro("51", trinta));
    EXPECT_EQ(Troca([] { return ecf_Rascunho(""); }, 34), Quadro("51", B(30)));

    const std::string quarenta = "1234567890123456789012345678901234567890";
    EXPECT_EQ(Troca([&] { return ecf_CodigoBarras("", (quarenta + "EXCESSO").c_str()); }, 45),
              Quadro("56", Z(1) + quarenta));
    EXPECT_EQ(Troca([] { return ecf_CodigoBarras("2", ""); }, 45), Quadro("56", "2" + B(40)));

    // Bytes pass through unconverted: no code page, no case change.
    EXPECT_EQ(Troca([] { return ecf_Autentica("a\xe7\xe3o Ok\t"); }, 24), Quadro("29", "a\xe7\xe3o Ok\t" + B(12)));
    EXPECT_EQ(Troca([] { return ecf_Autentica("12345678901234567890XYZ"); }, 24),
              Quadro("29", "12345678901234567890"));
}

// ---------------------------------------------------------------- fiscal receipt

TEST_F(Comandos, SaleOfAnItemKeepsEveryFieldInItsPlace) {
    EXPECT_EQ(Troca([] { return ecf_VendaItem("", "", "", "", "", "", ""); }, 100), Quadro("05", B(95) + Z(1)));
    EXPECT_EQ(Troca([] { return ecf_VendaItem("ABCDEFGHIJKLMNOPQRST", "descricao", "", "", "", "", ""); }, 100),
              Quadro("05", "ABCDEFGHIJKLM" "descricao" + B(53) + B(7) + B(9) + B(2) + B(2) + Z(1)));
    // Every field full or overfull: the character at 99 is parameter 7's,
    // never the zero byte behind the unit field.
    EXPECT_EQ(Troca([] { return ecf_VendaItem("1234567890123", std::string(70, 'd').c_str(), "12345678", "1234567890",
                                              "T01", "KGX", "3"); },
                    100),
              Quadro("05", "1234567890123" + std::string(62, 'd') + "1234567" "123456789" "T0" "KG" "3"));
}

TEST_F(Comandos, BuyerIdentificationKeepsItsTypeByteBehindAFullName) {
    const std::string nome = "NOME COMPLETO DO COMPRADOR COM 40 LETRAS";
    ASSERT_EQ(nome.size(), 40u);
    EXPECT_EQ(Troca([&] { return ecf_IdComprador(nome.c_str(), "J", "12.345.678/0001-99", "", ""); }, 143),
              Quadro("14", nome + "J" "12.345.678/0001-99" + B(80)));
    EXPECT_EQ(Troca([] { return ecf_IdComprador("", "", "1234567890123456789", "", ""); }, 143),
              Quadro("14", B(40) + Z(1) + "123456789012345678" + B(80)));
}

TEST_F(Comandos, ItemCancelAndPaymentNumbers) {
    EXPECT_EQ(Troca([] { return ecf_CancelaItem("7"); }, 7), Quadro("17", "  7"));
    EXPECT_EQ(Troca([] { return ecf_CancelaItem("1234"); }, 7), Quadro("17", "123"));
    EXPECT_EQ(Troca([] { return ecf_Pagamento("3", "CHEQUE", "10,00"); }, 26),
              Quadro("10", "03" "CHEQUE    " "     10,00"));
    // A number too long for its two digits: the next field starts at 6 all the same.
    EXPECT_EQ(Troca([] { return ecf_Pagamento("123", "CHEQUE", "10,00"); }, 26),
              Quadro("10", "12" "CHEQUE    " "     10,00"));
    EXPECT_EQ(Troca([] { return ecf_Pagamento("-5", "", ""); }, 26), Quadro("10", "-0" + B(20)));
    EXPECT_EQ(Troca([] { return ecf_Pagamento("x", "TICKET REFEICAO", "123456789012"); }, 26),
              Quadro("10", "00" "TICKET REF" "1234567890"));
}

TEST_F(Comandos, SubtotalsAlwaysSendTheFixedZeroCharacter) {
    // The item discount leaves its option byte at offset 4 each time.
    EXPECT_EQ(Troca([] { return ecf_DescontoItem("Z", "D", "1"); }, 24), Quadro("20", "Z" "D" + B(9) + B(8) + "1"));
    EXPECT_EQ(Troca([] { return ecf_AcrescimoSubtotal("", ""); }, 25), Quadro("18", "0" + B(20)));
    EXPECT_EQ(Troca([] { return ecf_DescontoItem("", "", ""); }, 24), Quadro("20", Z(1) + B(19)));
    EXPECT_EQ(Troca([] { return ecf_DescontoSubtotal("DESCONTO DE 10%", "12345678901"); }, 25),
              Quadro("19", "0" "DESCONTO D" "1234567890"));
}

TEST_F(Comandos, CommandThirtyWritesEightCharactersOfItsInteger) {
    EXPECT_EQ(Troca([] { return ecf_CupomStub(0); }, 12), Quadro("30", "00000000"));
    EXPECT_EQ(Troca([] { return ecf_CupomStub(123); }, 12), Quadro("30", "00000123"));
    EXPECT_EQ(Troca([] { return ecf_CupomStub(123456789); }, 12), Quadro("30", "12345678"));
    EXPECT_EQ(Troca([] { return ecf_CupomStub(-1); }, 12), Quadro("30", "-0000000"));
    EXPECT_EQ(Troca([] { return ecf_CupomStub(INT32_MIN); }, 12), Quadro("30", "-2147483"));
    EXPECT_EQ(Troca([] { return ecf_CupomStub(INT32_MAX); }, 12), Quadro("30", "21474836"));
}

// ---------------------------------------------------------------- configuration

TEST_F(Comandos, ClockModesFillDateAndTime) {
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("0", "010226", "1430"); }, 19),
              Quadro("22", "0" "  010226" "  1430"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("0", "0102202699", "14300059"); }, 19),
              Quadro("22", "0" "01022026" "143000"));
    // Modes 1 and 2 do not read the date and time at all.
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("1", "31122099", "235959"); }, 19),
              Quadro("22", "1" "00000000" "000000"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("2", nullptr, nullptr); }, 19),
              Quadro("22", "2" "00000000" "000000"));
}

// Any other mode writes neither field: offsets 5 to 18 go out as an earlier
// frame left them.
TEST_F(Comandos, OtherClockModesResendWhatTheBufferHeld) {
    EXPECT_EQ(Troca([] { return ecf_Autentica("ABCDEFGHIJKLMNOPQRST"); }, 24), Quadro("29", "ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("3", "31122099", "235959"); }, 19),
              Quadro("22", "3" "BCDEFGHIJKLMNO"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("", "31122099", "235959"); }, 19),
              Quadro("22", Z(1) + "BCDEFGHIJKLMNO"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("1", "", ""); }, 19), Quadro("22", "1" "00000000" "000000"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("9", "31122099", "235959"); }, 19),
              Quadro("22", "9" "00000000" "000000"));
    // The zero byte behind a frame's last field stays in the buffer too.
    EXPECT_EQ(Troca([] { return ecf_CodigoBarras("C", "0123456789"); }, 45),
              Quadro("56", "C" "0123456789" + B(30)));
    EXPECT_EQ(Troca([] { return ecf_FormaPagamento("1", "ABCDEFGHIJ"); }, 16), Quadro("23", "01" "ABCDEFGHIJ"));
    EXPECT_EQ(Troca([] { return ecf_ProgramaRelogio("X", "", ""); }, 19),
              Quadro("22", "X" "1ABCDEFGHIJ" + Z(1) + B(2)));
}

TEST_F(Comandos, HeaderLinesCutOrPad) {
    const std::string cinquenta = std::string(40, 'L') + "0123456789";
    EXPECT_EQ(Troca([&] { return ecf_CargaCliche("", cinquenta.c_str(), "", cinquenta.c_str(), "ABCD", ""); }, 131),
              Quadro("13", Z(1) + std::string(40, 'L') + B(40) + std::string(40, 'L') + "ABC" + B(3)));
}

TEST_F(Comandos, LastCharacterIsNeverTheZeroByteOfTheTextBefore) {
    EXPECT_EQ(Troca([] { return ecf_CargaNaoVinculado("12", "ENTRADA COM MAIS DE 15", "V"); }, 22),
              Quadro("24", "12" "ENTRADA COM MAI" "V"));
    EXPECT_EQ(Troca([] { return ecf_DefineAliquota("1", "12345", "T"); }, 11), Quadro("25", "01" "1234" "T"));
    EXPECT_EQ(Troca([] { return ecf_DefineAliquota("1", "3,5", "I"); }, 11), Quadro("25", "01" " 3,5" "I"));
    EXPECT_EQ(Troca([] { return ecf_DefineAliquota("1", "", ""); }, 11), Quadro("25", "01" + B(4) + Z(1)));
}

TEST_F(Comandos, TaxRateAndPaymentFormNumbers) {
    EXPECT_EQ(Troca([] { return ecf_CargaAliquota("7", "3,5"); }, 10), Quadro("15", "07" " 3,5"));
    EXPECT_EQ(Troca([] { return ecf_CargaAliquota("x", "1800"); }, 10), Quadro("15", "00" "1800"));
    EXPECT_EQ(Troca([] { return ecf_CargaAliquota("123", "18,00"); }, 10), Quadro("15", "12" "18,0"));
    EXPECT_EQ(Troca([] { return ecf_FormaPagamento("-5", "VALE"); }, 16), Quadro("23", "-0" "VALE      "));
    EXPECT_EQ(Troca([] { return ecf_NovoEstabelecimento("123456789012345678901", "", "CONTRIBUINTE ICMS"); }, 52),
              Quadro("35", "123456789012345678" + B(15) + "CONTRIBUINTE IC"));
}

// ---------------------------------------------------------------- reports and linked slips

TEST_F(Comandos, ReportTypesOtherThanOneDoNotPoll) {
    // Answered 33, a report of type 1 would poll the printer's status next.
    EXPECT_EQ(Troca([] { return ecf_Relatorio_XZ(""); }, 5, 33), Quadro("08", Z(1)));
    EXPECT_EQ(Troca([] { return ecf_Relatorio_XZ("0"); }, 5, 33), Quadro("08", "0"));
    EXPECT_EQ(Troca([] { return ecf_Relatorio_XZ("1"); }, 5, 0), Quadro("08", "1"));
    EXPECT_EQ(Troca([] { return ecf_Relatorio_XZ("1"); }, 5, 10), Quadro("08", "1"));
    EXPECT_EQ(Troca([] { return ecf_FinalizaRelatorio(); }, 4, 33), Quadro("45"));
}

TEST_F(Comandos, FreeTextCopiesCountBytesAndLeavesTheRest) {
    const std::string p = Padrao();
    const std::string longo = p + "resto do texto";
    auto prepara = [&] {
        EXPECT_EQ(Troca([&] { return ecf_LinhasLivres("410", longo.c_str()); }, 417), Quadro("48", "410" + p));
    };
    prepara();
    // 7 and 8 the text, 9 to 11 zeros up to the count, 12 the zero behind it.
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("5", "AB"); }, 417), Quadro("48", "005" "AB" + Z(4) + p.substr(6)));
    prepara();
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("3", "ABCDEF"); }, 417), Quadro("48", "003" "ABC" + Z(1) + p.substr(4)));
    prepara();
    // Count 0 copies nothing: 7 is the zero byte behind the count field.
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("0", "XYZ"); }, 417), Quadro("48", "000" + Z(1) + p.substr(1)));
    prepara();
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("sem digitos", "XYZ"); }, 417), Quadro("48", "000" + Z(1) + p.substr(1)));
    prepara();
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("-3", "XYZ"); }, 417), Quadro("48", "-00" "3" + Z(1) + p.substr(2)));
    prepara();
    // 409: the zero byte behind the text is the frame's last byte.
    EXPECT_EQ(Troca([&] { return ecf_LinhasLivres("409", longo.c_str()); }, 417),
              Quadro("48", "409" + p.substr(0, 409) + Z(1)));
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("410", "AB"); }, 417), Quadro("48", "410" "AB" + Z(408)));
}

// Counts above 410: 410 bytes of text whatever the count says, and the
// count field as its three-digit format leaves it.
TEST_F(Comandos, FreeTextCountAboveTheFieldCopiesAtMostItsWidth) {
    const std::string longo = Padrao() + Padrao();
    EXPECT_EQ(Troca([&] { return ecf_LinhasLivres("500", longo.c_str()); }, 417),
              Quadro("48", "500" + longo.substr(0, 410)));
    EXPECT_EQ(Troca([] { return ecf_LinhasLivres("1000", "AB"); }, 417), Quadro("48", "100" "AB" + Z(408)));
    EXPECT_EQ(Troca([&] { return ecf_LinhasLivres("2147483647", longo.c_str()); }, 417),
              Quadro("48", "214" + longo.substr(0, 410)));
}

TEST_F(Comandos, LinkedSlipFieldsAlignAndCut) {
    // A short 20-character text right-aligned; the byte at 51 is parameter 5's.
    EXPECT_EQ(Troca([] { return ecf_Vinculado("", "", "", "VIA LOJA", "S", "", "", ""); }, 856),
              Quadro("50", "00" + B(16) + B(9) + B(12) + "VIA LOJA" + "S" + B(800) + "00" "00"));
    EXPECT_EQ(Troca([] { return ecf_Vinculado("1", "", "", "12345678901234567890", "", "", "", ""); }, 856),
              Quadro("50", "01" + B(25) + "12345678901234567890" + Z(1) + B(800) + "00" "00"));
    // Numbers too long: the excess of the last one lies behind the frame.
    EXPECT_EQ(Troca([] { return ecf_Vinculado("123", "", "", "", "S", "", "456", "789"); }, 856),
              Quadro("50", "12" + B(45) + "S" + B(800) + "45" "78"));
    EXPECT_EQ(Troca([] { return ecf_VinculadoTEF("1", "", "", "", "2", "3456"); }, 835),
              Quadro("27", "01" + B(825) + "02" "34"));
    EXPECT_EQ(Troca([] { return ecf_VinculadoCartao("1", "", "", "", "", "2", "-7"); }, 839),
              Quadro("36", "01" + B(829) + "02" "-0"));
    // A six-digit sequence of seven digits: its last one is covered.
    EXPECT_EQ(Troca([] { return ecf_VinculadoNSeq("1234567", "8", "X"); }, 32),
              Quadro("44", "123456" "08" "X" + B(19)));
    EXPECT_EQ(Troca([] { return ecf_VinculadoNSeq("", "", ""); }, 32), Quadro("44", "000000" "00" + B(20)));
}

TEST_F(Comandos, NineCharacterAmountsAlignRightAndKeepTheirFirstNine) {
    EXPECT_EQ(Troca([] { return ecf_EmiteNaoVinculado("7", "SANGRIA", "12345"); }, 35),
              Quadro("42", "07" "SANGRIA" + B(13) + "    12345"));
    EXPECT_EQ(Troca([] { return ecf_EmiteNaoVinculado("", "", "123456789012"); }, 35),
              Quadro("42", "00" + B(20) + "123456789"));
    EXPECT_EQ(Troca([] { return ecf_VinculadoTEF("", "", "123456789012", "", "", ""); }, 835),
              Quadro("27", "00" + B(16) + "123456789" + B(800) + "00" "00"));
    EXPECT_EQ(Troca([] { return ecf_VinculadoCartao("", "", "12345", "1,5", "", "", ""); }, 839),
              Quadro("36", "00" + B(16) + "1234" "      1,5" + B(800) + "00" "00"));
}

// The report wait with the real clock: the printer is busy at the first
// poll and done at the second, which comes more than 15 s after the report.
TEST_F(Comandos, ReportWaitPollsThePrinterInRealTime) {
    std::vector<std::chrono::steady_clock::time_point> chegadas;
    int consultas = 0;
    impressora.Atende([&](const std::string& quadro) -> std::string {
        chegadas.push_back(std::chrono::steady_clock::now());
        if (quadro.compare(2, 2, "08") == 0) return "!";     // 33: report accepted
        return ++consultas == 1 ? "\n" : std::string(1, 0);  // 10: busy; then 0
    });
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_EQ(ecf_Relatorio_XZ("1"), 33);
    impressora.Para();
    EXPECT_EQ(impressora.Quadros(), (std::vector<std::string>{Quadro("08", "1"), Quadro("00"), Quadro("00")}));
    ASSERT_EQ(chegadas.size(), 3u);
    EXPECT_GT(chegadas[2] - inicio, 15s);
}

// ---------------------------------------------------------------- the buffer's end

class FimDoBuffer : public ::testing::Test {
protected:
    // With the port closed the frame is built and not sent, so the command
    // buffer shows what was written; the exchange buffer lies right behind
    // it and must come out untouched.
    void SetUp() override {
        ASSERT_FALSE(EstadoDriver.PortaAberta);
        std::memset(EstadoDriver.BufComando, 'q', TamanhoBuffer);
        std::memset(EstadoDriver.BufTroca, 't', TamanhoBuffer);
    }
    static std::string Comando(int de, int n) {
        return std::string(reinterpret_cast<const char*>(EstadoDriver.BufComando) + de, static_cast<std::size_t>(n));
    }
    static std::string Troca() {
        return std::string(reinterpret_cast<const char*>(EstadoDriver.BufTroca), TamanhoBuffer);
    }
};

TEST_F(FimDoBuffer, TheLongestFrameFillsTheBufferExactly) {
    const std::string bloco(900, 'b');
    EXPECT_EQ(ecf_Vinculado("1", "", "", "", "S", bloco.c_str(), "123456", "987654321"), 2);
    EXPECT_EQ(Comando(848, 8), "bbbb1298");
    EXPECT_EQ(Troca(), std::string(TamanhoBuffer, 't'));
}

TEST_F(FimDoBuffer, AFreeTextCountAboveTheFieldStopsAtTheFieldsEnd) {
    const std::string texto(3000, 'L');
    EXPECT_EQ(ecf_LinhasLivres("2000", texto.c_str()), 2);
    EXPECT_EQ(Comando(4, 413), "200" + std::string(410, 'L'));
    EXPECT_EQ(Comando(418, TamanhoBuffer - 418), std::string(TamanhoBuffer - 418, 'q'));
    EXPECT_EQ(Troca(), std::string(TamanhoBuffer, 't'));

    EXPECT_EQ(ecf_LinhasLivres("2147483647", "AB"), 2);
    EXPECT_EQ(Comando(4, 413), "214" "AB" + Z(408));
    EXPECT_EQ(Comando(418, TamanhoBuffer - 418), std::string(TamanhoBuffer - 418, 'q'));
    EXPECT_EQ(Troca(), std::string(TamanhoBuffer, 't'));
}

}  // namespace
