// vltx's own parts: the exports it knows, how it reads calls, what it says
// of a result, its progress lines.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "vltx/exportacoes.h"
#include "vltx/progresso.h"
#include "vltx/roteiro.h"
#include "vltx/significado.h"

TEST(Exportacoes, TheTableNamesExactlyTheLibrarysExports) {
    std::set<std::string> esperados;
    std::ifstream f(VLTXDRV_SIMBOLOS);
    for (std::string linha; std::getline(f, linha);)
        if (!linha.empty()) esperados.insert(linha);
    std::set<std::string> conhecidos;
    for (const Exportacao& e : Exportacoes()) conhecidos.insert(e.Nome);
    EXPECT_EQ(conhecidos, esperados);
    EXPECT_EQ(Exportacoes().size(), 54u);
}

TEST(Exportacoes, NamesAreFoundWithOrWithoutThePrefixInAnyCase) {
    EXPECT_STREQ(ProcuraExportacao("VendaItem")->Nome, "ecf_VendaItem");
    EXPECT_STREQ(ProcuraExportacao("ecf_vendaitem")->Nome, "ecf_VendaItem");
    EXPECT_STREQ(ProcuraExportacao("ECF_RELATORIO_XZ")->Nome, "ecf_Relatorio_XZ");
    EXPECT_STREQ(ProcuraExportacao("@Log@C6_4")->Nome, "@Log@C6_4");
    EXPECT_EQ(ProcuraExportacao("ecf_"), nullptr);
    EXPECT_EQ(ProcuraExportacao("Venda"), nullptr);
}

TEST(Exportacoes, ParametersAreNamedFromTheFrameTable) {
    EXPECT_EQ(Uso(*ProcuraExportacao("VendaItem")),
              "VendaItem codigo descricao quantidade preco aliquota unidade casas");
    // The second parameter of the buyer's identification is a character field.
    EXPECT_EQ(Uso(*ProcuraExportacao("IdComprador")), "IdComprador nome tipo documento endereco1 endereco2");
    EXPECT_EQ(Uso(*ProcuraExportacao("LinhasLivres")), "LinhasLivres quantidade texto");
    EXPECT_EQ(Uso(*ProcuraExportacao("CupomStub")), "CupomStub numero");
    EXPECT_EQ(Uso(*ProcuraExportacao("LeRegistrador")), "LeRegistrador registrador");
    EXPECT_EQ(Uso(*ProcuraExportacao("ImprimeCheque")),
              "ImprimeCheque valor favorecido cidade mensagem data texto6 texto7 secao arquivo");
    EXPECT_EQ(Uso(*ProcuraExportacao("VersaoDLL")), "VersaoDLL");
    for (const Exportacao& e : Exportacoes())
        for (const std::string& nome : NomesParametros(e)) EXPECT_NE(nome.substr(0, 3), "arg") << e.Nome;
}

TEST(Exportacoes, TheIntegerFollowsTheDriversDecimalRule) {
    EXPECT_EQ(TextoParaInteiro("42"), 42);
    EXPECT_EQ(TextoParaInteiro("  -12abc"), -12);
    EXPECT_EQ(TextoParaInteiro("+7"), 7);
    EXPECT_EQ(TextoParaInteiro("x1"), 0);
    EXPECT_EQ(TextoParaInteiro("4294967295"), -1);  // overflow wraps, as in the driver
}

TEST(Roteiro, WordsSplitAsAShellSplitsThem) {
    std::vector<std::string> p;
    std::string erro;
    ASSERT_TRUE(Palavras(R"(VendaItem 1 "CAFE 500G" 'A "B"' "x\"y\\z" a\ b "" # comment)", p, erro));
    EXPECT_EQ(p, (std::vector<std::string>{"VendaItem", "1", "CAFE 500G", "A \"B\"", "x\"y\\z", "a b", ""}));
    ASSERT_TRUE(Palavras("Rascunho a#b", p, erro));
    EXPECT_EQ(p, (std::vector<std::string>{"Rascunho", "a#b"}));
    EXPECT_FALSE(Palavras("Rascunho \"aberta", p, erro));
    EXPECT_EQ(erro, "double quote not closed");
    EXPECT_FALSE(Palavras("Rascunho 'aberta", p, erro));
    // What is printed back reads back the same.
    for (const std::string& w : {std::string("CAFE 500G"), std::string(""), std::string("a\"b\\c$d")}) {
        ASSERT_TRUE(Palavras(Citado(w), p, erro));
        EXPECT_EQ(p, std::vector<std::string>{w});
    }
}

TEST(Roteiro, CallsFollowEachOtherByTheirArity) {
    std::vector<Chamada> c;
    std::string erro;
    ASSERT_TRUE(
        LeChamadas({"ProximoTimeout", "30", "EstadoImpressora", "Pagamento", "01", "DINHEIRO", "10,00"}, c, erro));
    ASSERT_EQ(c.size(), 3u);
    EXPECT_STREQ(c[0].Alvo->Nome, "ecf_ProximoTimeout");
    EXPECT_EQ(c[0].Argumentos, std::vector<std::string>{"30"});
    EXPECT_TRUE(c[1].Argumentos.empty());
    EXPECT_EQ(c[2].Argumentos, (std::vector<std::string>{"01", "DINHEIRO", "10,00"}));

    c.clear();
    EXPECT_FALSE(LeChamadas({"Pagamento", "01"}, c, erro));
    EXPECT_EQ(erro, "Pagamento takes 3 arguments, 1 given: Pagamento forma descricao valor");
    EXPECT_FALSE(LeChamadas({"EstadoImpressora", "30"}, c, erro));
    EXPECT_EQ(erro, "no export is called \"30\" (vltx --list names them all)");
}

TEST(Roteiro, AScriptHasOneCallALineAndErrorsNameTheLine) {
    std::vector<Chamada> c;
    std::string erro;
    ASSERT_TRUE(LeRoteiro("# receipt\n\nImprimeCabecalho\r\n  FechaCupom \"ANA\"  # operator\n", "r.txt", c, erro));
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1].Argumentos, std::vector<std::string>{"ANA"});
    EXPECT_FALSE(LeRoteiro("ImprimeCabecalho\nFechaCupom\n", "r.txt", c, erro));
    EXPECT_EQ(erro, "r.txt:2: FechaCupom takes 1 argument, 0 given: FechaCupom operador");
    EXPECT_FALSE(LeRoteiro("ImprimeCabecalho\nAbreGaveta EstadoImpressora\n", "r.txt", c, erro));
    EXPECT_EQ(erro, "r.txt:2: AbreGaveta takes 0 arguments, 1 given: AbreGaveta");
    EXPECT_FALSE(LeRoteiro("Rascunho \"x\n", "r.txt", c, erro));
    EXPECT_EQ(erro, "r.txt:1: double quote not closed");
}

namespace {
std::string S(const char* nome, std::vector<std::string> a, std::int32_t v, bool aberta = true) {
    Resultado r;
    r.Valor = v;
    return Significado(*ProcuraExportacao(nome), a, r, aberta);
}
}  // namespace

TEST(Significado, APortNotOpenIsToldFromAStatusByteOfTwo) {
    EXPECT_EQ(S("EstadoImpressora", {}, 2, false), "port not open: nothing was sent");
    EXPECT_EQ(S("EstadoImpressora", {}, 2, true), "printer status 2");
    EXPECT_EQ(S("EstadoImpressora", {}, 0), "printer status 0");
    EXPECT_EQ(S("EstadoImpressora", {}, 200), "printer status 200");
    EXPECT_EQ(S("EstadoImpressora", {}, 10),
              "printer status 10, or line failure: fewer bytes received than asked for (time-out)");
}

TEST(Significado, EveryLineFailureHasWordsOfItsOwn) {
    std::set<std::string> textos;
    for (int c = 0; c < 300; ++c) {
        const char* f = FalhaDeLinha(c);
        const bool codigo = c == 1 || (c >= 3 && c <= 19) || c == 29;
        EXPECT_EQ(f != nullptr, codigo) << c;
        if (f != nullptr) textos.insert(f);
        EXPECT_EQ(FalhaDeLayout(c) != nullptr, c >= 20 && c <= 28) << c;
    }
    EXPECT_EQ(textos.size(), 19u);
}

TEST(Significado, EachExportSaysWhatItsOwnCodesMean) {
    EXPECT_EQ(S("InicializaDLL", {"/dev/x"}, 33), "port open");
    EXPECT_EQ(S("InicializaDLL", {"/dev/x"}, 1), "the port is open already");
    EXPECT_EQ(S("InicializaDLL", {"/dev/x"}, 3), "the device cannot be opened");
    EXPECT_EQ(S("FinalizaDLL", {}, 2), "the port was not open");
    EXPECT_EQ(S("ImprimeCheque", {"", "", "", "", "", "", "", "S", "f.ini"}, 22),
              "layout: \"Valor\" is missing or wrong, or printer status 22");
    EXPECT_EQ(S("ImprimeCheque", {"", "", "", "", "", "", "", "S", "f.ini"}, 10),
              "printer status 10, or line failure: fewer bytes received than asked for (time-out)");
    // A streaming readout ends with 33 or 20 whatever the line did.
    EXPECT_EQ(S("LeECF", {"4", "", "", "", "/nao/ha"}, 33), "readout over: /nao/ha (missing)");
    EXPECT_EQ(S("LeECF", {"4", "", "", "", "/nao/ha"}, 20), "the output file cannot be opened");
    EXPECT_EQ(S("LeECF", {"0", "", "", "", ""}, 20), "printer status 20");
    EXPECT_EQ(S("LeCMC7", {"/x"}, 200), "printer status 200 (no CMC-7 line)");
    EXPECT_EQ(S("Relatorio_XZ", {"1"}, 33), "report accepted; the wait for the printer is over");
    EXPECT_EQ(S("Relatorio_XZ", {"0"}, 33), "printer status 33");
    EXPECT_EQ(S("ProximoTimeout", {"30"}, 30), "the next reply waits 30 s");
    Resultado r;
    r.Valor = 33;
    r.Buffer = std::string("0010000000000000000000000000\x01" "2", 30);
    EXPECT_EQ(Significado(*ProcuraExportacao("LeRegistrador"), {"1"}, r, true),
              "answer \"0010000000000000000000000000\\x012\"");
    r.Valor = 2;
    EXPECT_EQ(Significado(*ProcuraExportacao("LeRegistrador"), {"1"}, r, false),
              "port not open: nothing was sent (the answer buffer holds no register)");
}

TEST(Progresso, TheReportLineFollowsTheDriversPollingTimes) {
    EXPECT_EQ(Progresso::LinhaRelatorio(0.2), "  report wait: 0 s, about poll 1 of at most 100");
    EXPECT_EQ(Progresso::LinhaRelatorio(15.9), "  report wait: 15 s, about poll 1 of at most 100");
    EXPECT_EQ(Progresso::LinhaRelatorio(16.1), "  report wait: 16 s, about poll 2 of at most 100");
    EXPECT_EQ(Progresso::LinhaRelatorio(20.0), "  report wait: 20 s, about poll 3 of at most 100");
    EXPECT_EQ(Progresso::LinhaRelatorio(5000), "  report wait: 5000 s, about poll 100 of at most 100");
    EXPECT_EQ(Progresso::LinhaLeitura(3000, 2.0, 0.3, 600),
              "  readout: 3000 bytes, 1500 bytes/s, 0 s since data (idle limit 600 s)");
}
