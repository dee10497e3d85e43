// vltx-ref: the model joined from the two tables, the names and words the
// emitters share, and the checks that must fail when the tree disagrees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <unistd.h>

#include "cabecalho.h"
#include "emissor.h"

namespace {

const Modelo& M() {
    static const Modelo m = ConstroiModelo();
    return m;
}

const ExportacaoModelo& Exp(const std::string& nome) {
    for (const ExportacaoModelo& e : M().Exportacoes)
        if (e.Nome == nome) return e;
    throw std::runtime_error("no export " + nome);
}

std::string Le(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void Grava(const std::filesystem::path& p, const std::string& conteudo) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << conteudo;
}

std::string Troca(std::string s, const std::string& de, const std::string& para) {
    const std::size_t i = s.find(de);
    EXPECT_NE(i, std::string::npos) << de;
    if (i != std::string::npos) s.replace(i, de.size(), para);
    return s;
}

TEST(Modelo, TheTwoTablesAgreeOnEveryExport) {
    EXPECT_TRUE(M().Erros.empty()) << M().Erros.front();
    EXPECT_EQ(M().Exportacoes.size(), 54U);
    const ExportacaoModelo& venda = Exp("ecf_VendaItem");
    ASSERT_EQ(venda.Parametros.size(), 7U);
    EXPECT_EQ(venda.Parametros[3].Nome, "preco");
    EXPECT_EQ(venda.Parametros[3].Campos.front()->Largura, 9);
    EXPECT_EQ(Prototipo(Exp("ecf_CupomStub")), "int32_t ecf_CupomStub(int32_t numero)");
    EXPECT_EQ(Prototipo(Exp("ecf_LeRegistrador")), "int32_t ecf_LeRegistrador(const char* registrador, char* resposta)");
    EXPECT_EQ(Prototipo(Exp("@Log@C6_5")), "void @Log@C6_5(void)");
}

TEST(Modelo, TheChequeSectionAndPathAreNotFieldsAndTheSpacingComesFromTheLayout) {
    const ExportacaoModelo& cheque = Exp("ecf_ImprimeCheque");
    ASSERT_EQ(cheque.Parametros.size(), 9U);
    EXPECT_EQ(cheque.Parametros[7].Nome, "secao");
    EXPECT_EQ(cheque.Parametros[7].Tipo, Papel::Texto);
    EXPECT_EQ(cheque.Parametros[8].Tipo, Papel::Caminho);
    ASSERT_EQ(cheque.Linhas.size(), 2U);  // basic and extended frames
    ASSERT_EQ(cheque.CamposDoDriver.size(), 2U);
    EXPECT_STREQ(cheque.CamposDoDriver[0]->Nome, "espacamento");
    // The value field moves with the variant: 34 in the basic frame, 53 in the extended.
    EXPECT_EQ(cheque.Parametros[0].Campos[0]->Deslocamento, 34);
    EXPECT_EQ(cheque.Parametros[0].Campos[1]->Deslocamento, 53);
}

TEST(Modelo, ExamplesAreWrittenByTheDriversOwnBuilder) {
    const ExportacaoModelo& pagamento = Exp("ecf_Pagamento");
    EXPECT_EQ(pagamento.Parametros[0].BytesExemplo.front(), "01");
    EXPECT_EQ(pagamento.Parametros[2].BytesExemplo.front(), "      2000");
    EXPECT_EQ(pagamento.QuadroExemplo, std::string("\x1b" "f1001DINHEIRO        2000"));
    EXPECT_EQ(Exp("ecf_CupomStub").Parametros[0].BytesExemplo.front(), "00001234");
    EXPECT_EQ(Visivel(std::string("A  B    C\0\0\0\0\x1b", 14)), "A␣␣B␣{4}C\\0{4}ESC");
}

TEST(Nomes, SnakeCaseKeepsAcronymsWhole) {
    EXPECT_EQ(NomeSerpente("ecf_LeECF"), "le_ecf");
    EXPECT_EQ(NomeSerpente("ecf_CMC7ToECF"), "cmc7_to_ecf");
    EXPECT_EQ(NomeSerpente("ecf_VinculadoNSeq"), "vinculado_nseq");
    EXPECT_EQ(NomeSerpente("ecf_Relatorio_XZ"), "relatorio_xz");
    EXPECT_EQ(NomeSerpente("ecf_InicializaDLL"), "inicializa_dll");
    EXPECT_EQ(NomeSerpente("@Log@C6_4"), "log_c6_4");
    EXPECT_EQ(Ancora("@Log@C6_4"), "logc6_4");
    EXPECT_EQ(Ancora("ecf_Relatorio_XZ"), "ecf_relatorio_xz");
}

TEST(Resultados, LineAndLayoutCodesAreSaidOnceWithTheirCodes) {
    const std::vector<LinhaDeResultado> venda = ResultadosAgrupados(Exp("ecf_VendaItem"));
    ASSERT_EQ(venda.size(), 3U);
    EXPECT_EQ(venda[0].Codigos, "0 to 255");
    EXPECT_EQ(venda[1].Codigos, "2");
    EXPECT_EQ(venda[2].Codigos, "4, 6 to 19, 29");
    const std::vector<LinhaDeResultado> cheque = ResultadosAgrupados(Exp("ecf_ImprimeCheque"));
    ASSERT_EQ(cheque.size(), 5U);
    EXPECT_EQ(cheque[3].Codigos, "20");
    EXPECT_EQ(cheque[4].Codigos, "21 to 28");
    // 4 is both an opening failure and a line failure: one line for it.
    const ExportacaoModelo& inicializa = Exp("ecf_InicializaDLL");
    EXPECT_EQ(std::count_if(inicializa.Resultados.begin(), inicializa.Resultados.end(),
                            [](const ResultadoModelo& r) { return r.De == 4; }),
              1);
}

TEST(Cabecalho, TheHeaderAgreesAndEachDisagreementIsNamed) {
    const std::string cabecalho = Le(std::filesystem::path(VLTX_RAIZ) / "include/vltxdrv.h");
    EXPECT_TRUE(ConfereCabecalho(M(), cabecalho).empty());

    std::string errado = Troca(cabecalho, "#define VLTX_OK 33", "#define VLTX_OK 34");
    errado = Troca(errado, "/* reference.html#ecf_abregaveta */", "");
    errado = Troca(errado, "/usr/share/doc/libvltxdrv-dev/reference.html,", "the reference,");
    errado = Troca(errado, "VLTX_API int32_t VLTX_CALL ecf_CortaPapel(void);",
                   "VLTX_API int32_t VLTX_CALL ecf_CortaPapelNovo(void);");
    const std::vector<std::string> erros = ConfereCabecalho(M(), errado);
    auto diz = [&](const std::string& s) {
        return std::any_of(erros.begin(), erros.end(), [&](const std::string& e) { return e.find(s) != e.npos; });
    };
    EXPECT_TRUE(diz("VLTX_OK is 34"));
    EXPECT_TRUE(diz("no comment points ecf_AbreGaveta"));
    EXPECT_TRUE(diz("ecf_CortaPapel is not declared"));
    EXPECT_TRUE(diz("ecf_CortaPapelNovo is declared but not described"));
    EXPECT_TRUE(diz("it does not name the installed reference"));
    EXPECT_EQ(erros.size(), 5U);
}

// The C89 unit: compiles against the header, fails against one whose
// prototype or constant differs. What the build relies on to check types.
TEST(Cabecalho, TheC89UnitRejectsAWrongPrototypeOrConstant) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vltx-ref-tu-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "bom");
    std::filesystem::create_directories(dir / "mau");
    const std::string cabecalho = Le(std::filesystem::path(VLTX_RAIZ) / "include/vltxdrv.h");
    Grava(dir / "bom/vltxdrv.h", cabecalho);
    Grava(dir / "mau/vltxdrv.h", Troca(cabecalho, "ecf_CupomStub(int32_t numero)", "ecf_CupomStub(const char* numero)"));
    Grava(dir / "tu.c", UnidadeDeVerificacao(M()));
    auto compila = [&](const char* sub) {
        const std::string cmd = std::string(VLTX_CC) + " -std=c89 -pedantic-errors -Wall -Wextra -Werror -fsyntax-only -I " +
                                (dir / sub).string() + " " + (dir / "tu.c").string() + " 2>/dev/null";
        return std::system(cmd.c_str());
    };
    EXPECT_EQ(compila("bom"), 0);
    EXPECT_NE(compila("mau"), 0);
    Grava(dir / "mau/vltxdrv.h", Troca(cabecalho, "#define VLTX_REGISTRADOR_TAMANHO 31", "#define VLTX_REGISTRADOR_TAMANHO 30"));
    EXPECT_NE(compila("mau"), 0);
    std::filesystem::remove_all(dir);
}

// --check on a copy of the tree: agrees after --write, fails on a stale file.
TEST(Verificacao, CheckFailsOnAStaleGeneratedFile) {
    const std::filesystem::path raiz =
        std::filesystem::temp_directory_path() / ("vltx-ref-raiz-" + std::to_string(getpid()));
    std::filesystem::create_directories(raiz / "include");
    std::filesystem::copy_file(std::filesystem::path(VLTX_RAIZ) / "include/vltxdrv.h", raiz / "include/vltxdrv.h");
    for (const Emissor* e : Emissores())
        for (const ArquivoGerado& a : e->Gera(M())) std::filesystem::create_directories((raiz / a.Caminho).parent_path());
    const std::string base = std::string(VLTX_REF_BIN) + " --root " + raiz.string();
    EXPECT_NE(std::system((base + " --check 2>/dev/null").c_str()), 0);  // nothing generated yet
    ASSERT_EQ(std::system((base + " --write").c_str()), 0);
    EXPECT_EQ(std::system((base + " --check >/dev/null").c_str()), 0);
    const std::filesystem::path sym = raiz / "src/exports/vltxdrv.sym";
    Grava(sym, Le(sym) + "ecf_Novo\n");
    EXPECT_NE(std::system((base + " --check 2>/dev/null").c_str()), 0);
    std::filesystem::remove_all(raiz);
}


// The VB module read back as VB reads it: every export declared twice (with
// PtrSafe for VBA 7, without for VB6), under its name or an alias of it,
// with one ByVal parameter per parameter of the description (As Long for
// the integer, As String for every text), As Long for a result, CR LF ends.
TEST(ModuloVb, EveryExportIsDeclaredWithItsParametersAndTypes) {
    const std::string bas = Le(std::filesystem::path(VLTX_RAIZ) / "bindings/vb/vltxdrv.bas");
    ASSERT_FALSE(bas.empty());
    std::vector<std::string> linhas;
    std::size_t inicio = 0, soLf = 0;
    for (std::size_t i = 0; i < bas.size(); ++i) {
        if (bas[i] != '\n') continue;
        if (i == 0 || bas[i - 1] != '\r') ++soLf;
        linhas.push_back(bas.substr(inicio, i - inicio - (i > 0 && bas[i - 1] == '\r' ? 1 : 0)));
        inicio = i + 1;
    }
    EXPECT_EQ(soLf, 0u) << "lines of the module end with LF alone";
    EXPECT_EQ(linhas.at(0), "Attribute VB_Name = \"vltxdrv\"");
    // Public Declare [PtrSafe ]Function|Sub NAME Lib "vltxdrv.dll" [Alias "X"] (ByVal a As T, ...)[ As Long]
    const std::regex declare(R"re(^Public Declare (PtrSafe )?(Function|Sub) (\w+) Lib "vltxdrv\.dll"(?: Alias "([^"]+)")? \((.*)\)( As Long)?$)re");
    const std::regex parametro(R"re(^ByVal (\w+) As (String|Long)$)re");
    std::map<std::string, int> vistas;  // export -> declarations (1 PtrSafe, 2 plain)
    for (const std::string& l : linhas) {
        if (l.rfind("Public Declare", 0) != 0) continue;
        std::smatch d;
        ASSERT_TRUE(std::regex_match(l, d, declare)) << l;
        const std::string nome = d[4].matched ? d[4].str() : d[3].str();
        SCOPED_TRACE(nome);
        const ExportacaoModelo& e = Exp(nome);
        vistas[nome] |= d[1].matched ? 1 : 2;
        EXPECT_EQ(d[2] == "Sub", e.SemRetorno);
        EXPECT_EQ(d[6].matched, !e.SemRetorno);
        std::vector<std::string> partes;
        const std::string lista = d[5];
        for (std::size_t a = 0; !lista.empty();) {
            const std::size_t b = lista.find(", ", a);
            partes.push_back(lista.substr(a, b == std::string::npos ? std::string::npos : b - a));
            if (b == std::string::npos) break;
            a = b + 2;
        }
        ASSERT_EQ(partes.size(), e.Parametros.size());
        for (std::size_t i = 0; i < partes.size(); ++i) {
            std::smatch p;
            ASSERT_TRUE(std::regex_match(partes[i], p, parametro)) << partes[i];
            EXPECT_EQ(p[1], e.Parametros[i].Nome);
            EXPECT_EQ(p[2], e.Parametros[i].Tipo == Papel::Inteiro ? "Long" : "String") << p[1];
        }
    }
    EXPECT_EQ(vistas.size(), M().Exportacoes.size());
    for (const auto& [nome, quais] : vistas) EXPECT_EQ(quais, 3) << nome << " lacks one of its two declarations";

    // The example calls exports that exist, each with its count of arguments.
    const std::string exemplo = Le(std::filesystem::path(VLTX_RAIZ) / "bindings/vb/exemplos/Recibo.bas");
    const std::regex chamada(R"re((ecf_\w+)\(([^()]*)\))re");
    int chamadas = 0;
    for (auto i = std::sregex_iterator(exemplo.begin(), exemplo.end(), chamada); i != std::sregex_iterator(); ++i) {
        const std::string nome = (*i)[1], args = (*i)[2];
        const std::size_t n = args.empty() ? 0 : static_cast<std::size_t>(std::count(args.begin(), args.end(), ',')) + 1;
        EXPECT_EQ(n, Exp(nome).Parametros.size()) << nome;
        ++chamadas;
    }
    EXPECT_GE(chamadas, 7);
}

}  // namespace

TEST(Significados, TheStatusByteIsThePrintersInTheReferenceAndTheManPage) {
    const std::string raiz = VLTX_RAIZ;
    for (const char* documento : {"docs/reference.md", "man/vltxdrv.3.scd"}) {
        const std::string texto = Le(raiz + "/" + documento);
        EXPECT_NE(texto.find(descricao::TextoStatus), std::string::npos) << documento;
        EXPECT_NE(texto.find(descricao::StatusQueODriverUsa), std::string::npos) << documento;
        EXPECT_NE(texto.find("whether the"), std::string::npos) << documento << ": the registry lines and the switch";
    }
    // The simulator's own status values are listed as the simulator's.
    const std::string manual = Le(raiz + "/tools/MANUAL.md");
    EXPECT_NE(manual.find("this simulator's own"), std::string::npos);
}

TEST(Significados, ANumberWithNoExportReadsBothWaysUpTo255AndNoneBeyond) {
    EXPECT_EQ(SignificadoSemExportacao(0), descricao::TextoStatus);
    EXPECT_EQ(SignificadoSemExportacao(255), descricao::TextoStatus);
    EXPECT_EQ(SignificadoSemExportacao(2), std::string(descricao::TextoStatus) + " | the port is not open: nothing was sent");
    EXPECT_EQ(SignificadoSemExportacao(-1), "");
    EXPECT_EQ(SignificadoSemExportacao(256), "");
}

TEST(Documentos, TheReadmesLinksLeadToFilesAndItsSer2netPathIsDebians) {
    const std::filesystem::path raiz = VLTX_RAIZ;
    const std::string leia = Le(raiz / "README.md");
    // Every binding is linked from "Using it from your language", and every link leads somewhere.
    const std::size_t secao = leia.find("## Using it from your language");
    ASSERT_NE(secao, std::string::npos);
    for (const char* b : {"bindings/python/README.md", "bindings/java/README.md", "bindings/dotnet/README.md",
                          "bindings/pascal/README.md"})
        EXPECT_NE(leia.find(std::string("](") + b + ")", secao), std::string::npos) << b;
    for (std::size_t i = leia.find("]("); i != std::string::npos; i = leia.find("](", i + 1)) {
        const std::string alvo = leia.substr(i + 2, leia.find(')', i) - i - 2);
        if (alvo.find("://") != std::string::npos || alvo[0] == '#') continue;
        EXPECT_TRUE(std::filesystem::exists(raiz / alvo.substr(0, alvo.find('#')))) << alvo;
    }
    // ser2net 4 on Debian 12 reads the file /etc/default/ser2net names.
    EXPECT_EQ(leia.find("/etc/ser2net/ser2net.yaml"), std::string::npos);
    EXPECT_NE(leia.find("`/etc/ser2net.yaml`"), std::string::npos);
    std::ifstream padrao("/etc/default/ser2net");
    for (std::string linha; std::getline(padrao, linha);)
        if (linha.rfind("CONFFILE=", 0) == 0) {
            EXPECT_EQ(linha, "CONFFILE=\"/etc/ser2net.yaml\"");
        }
}
