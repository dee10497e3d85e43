// Cheque printing from the host's layout file: the number lists, the profile
// reader, the copy, the layout codes and both frames on the wire.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cheque/cheque.h"
#include "platform/plataforma.h"
#include "platform/posix/perfil_texto.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "vltxdrv.h"

namespace {

using cheque::LeListaNumeros;
namespace fs = std::filesystem;

void Grava(const std::string& caminho, const std::string& conteudo) {
    std::ofstream f(caminho, std::ios::binary | std::ios::trunc);
    f << conteudo;
}

bool Existe(const std::string& caminho) {
    struct stat st {};
    return lstat(caminho.c_str(), &st) == 0;
}

std::string Copia() { return std::string(plataforma::DiretorioC()) + cheque::NomeCopia; }

// The seven keys of a section; Falta leaves a key out.
const char* const Falta = nullptr;
struct Chaves {
    const char* Valor;
    const char* Extenso;
    const char* Favorecido;
    const char* Cidade;
    const char* Mensagem;
    const char* Data;
    const char* Espacamento;
};
const Chaves Basica{"10,20", "1,2,3,4", "5,6", "7,8", "9,11", "12,13,14", "2"};
const Chaves Estendida{"5,12,1,0", "100,2,3,45,6,7", "11,12,17,300", "13,14,5,6", "1234,16,7,8", "17,180,19", "2"};

std::string Secao(const Chaves& c, const char* nome = "Banco") {
    std::string s = std::string("[") + nome + "]\n";
    const std::pair<const char*, const char*> linhas[] = {
        {"Valor", c.Valor},   {"Extenso", c.Extenso}, {"Favorecido", c.Favorecido}, {"Cidade", c.Cidade},
        {"Mensagem", c.Mensagem}, {"Data", c.Data},   {"eSpacamento", c.Espacamento}};
    for (const auto& [chave, valor] : linhas)
        if (valor != Falta) s += std::string(chave) + "=" + valor + "\n";
    return s;
}

const char* const Textos[7] = {"123,45", "Fulano de Tal", "Sao Paulo", "Obrigado", "010203", "Texto seis",
                               "Texto sete muito longo"};

class ImprimeCheque : public ::testing::Test {
protected:
    void SetUp() override {
        ecf_FinalizaDLL();  // whatever ran before, the port is closed here
        dir_ = ambiente::DiretorioC() + "/layouts";
        fs::create_directories(dir_);
        layout_ = dir_ + "/cheques.ini";
        fs::remove(Copia());
    }
    void TearDown() override {
        ecf_FinalizaDLL();
        fs::remove_all(dir_);
        fs::remove(Copia());
    }
    std::int32_t Imprime(const std::string& conteudo, const char* secao = "Banco") {
        Grava(layout_, conteudo);
        return Chama(secao, layout_.c_str());
    }
    static std::int32_t Chama(const char* secao, const char* arquivo) {
        return ecf_ImprimeCheque(Textos[0], Textos[1], Textos[2], Textos[3], Textos[4], Textos[5], Textos[6], secao,
                                 arquivo);
    }
    // The frame the printer receives for a layout (the printer answers 7).
    std::string Quadro(const std::string& conteudo) {
        Impressora impressora;
        EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
        impressora.AtendeCom("\x07");
        EXPECT_EQ(Imprime(conteudo), 7);
        EXPECT_EQ(ecf_FinalizaDLL(), 33);
        EXPECT_FALSE(Existe(Copia())) << "the copy is deleted on success";
        EXPECT_EQ(impressora.Quadros().size(), 1u);
        return impressora.UltimoQuadro();
    }

    std::string dir_;
    std::string layout_;
};

}  // namespace

// ------------------------------------------------------------ number lists

TEST(ListaNumeros, SkipsWhatIsNotADigitOrAComma) {
    std::int32_t n[2];
    EXPECT_TRUE(LeListaNumeros("a5, 7", 2, n));
    EXPECT_EQ(n[0], 5);
    EXPECT_EQ(n[1], 7);
    EXPECT_TRUE(LeListaNumeros("-5,7", 2, n));
    EXPECT_EQ(n[0], 5) << "a minus sign is skipped: no output is negative";
    EXPECT_EQ(n[1], 7);
    EXPECT_TRUE(LeListaNumeros("\xff" "3\x80,+4x", 2, n));
    EXPECT_EQ(n[0], 3);
    EXPECT_EQ(n[1], 4);
    EXPECT_TRUE(LeListaNumeros("1 2,3", 2, n)) << "two runs in one field";
    EXPECT_EQ(n[0], 2) << "the last run of a field wins";
    EXPECT_EQ(n[1], 3);
}

TEST(ListaNumeros, NeedsExactlyCountMinusOneCommasAndADigitInEveryField) {
    std::int32_t n[4];
    EXPECT_TRUE(LeListaNumeros("1,2,3", 3, n));
    EXPECT_FALSE(LeListaNumeros("1,2,3,", 3, n)) << "trailing comma";
    EXPECT_EQ(n[2], 3);
    EXPECT_FALSE(LeListaNumeros("1,2", 3, n));
    EXPECT_EQ(n[2], -1);
    EXPECT_FALSE(LeListaNumeros("1,,3", 3, n));
    EXPECT_EQ(n[1], -1) << "a field without a digit stays -1";
    EXPECT_FALSE(LeListaNumeros(",20,1,0", 4, n));
    EXPECT_EQ(n[0], -1);
    EXPECT_EQ(n[1], 20);
    EXPECT_FALSE(LeListaNumeros("", 2, n));
    EXPECT_FALSE(LeListaNumeros(nullptr, 2, n));

    // Fields past the count are dropped, never stored past the outputs.
    std::int32_t m[3] = {0, 0, 99};
    EXPECT_FALSE(LeListaNumeros("10,20,30", 2, m));
    EXPECT_EQ(m[0], 10);
    EXPECT_EQ(m[1], 20);
    EXPECT_EQ(m[2], 99);
}

TEST(ListaNumeros, LongRunsAndLargeValuesSaturate) {
    std::int32_t n[2];
    EXPECT_TRUE(LeListaNumeros("2147483647,2147483648", 2, n));
    EXPECT_EQ(n[0], 2147483647);
    EXPECT_EQ(n[1], 2147483647);
    EXPECT_TRUE(LeListaNumeros("9999999999999999999,0000000000000000005", 2, n));  // 19 digits each
    EXPECT_EQ(n[0], 2147483647);
    EXPECT_EQ(n[1], 5);
    EXPECT_TRUE(LeListaNumeros("00000000000000000005,1", 2, n)) << "20 digits";
    EXPECT_EQ(n[0], 2147483647);
    EXPECT_EQ(n[1], 1);
    const std::string enorme = std::string(100000, '9') + "," + std::string(5000, '0') + "7";
    EXPECT_TRUE(LeListaNumeros(enorme.c_str(), 2, n));
    EXPECT_EQ(n[0], 2147483647);
    EXPECT_EQ(n[1], 2147483647);
}

// ------------------------------------------------------------ profile reader

class Perfil : public ::testing::Test {
protected:
    void SetUp() override {
        arquivo_ = ambiente::DiretorioC() + "/perfil.ini";
        std::memset(buf_, '#', sizeof buf_);
    }
    void TearDown() override { fs::remove(arquivo_); }
    std::uint32_t Le(const char* secao, const char* chave, const char* padrao = "ERR") {
        return plataforma::LePerfil(secao, chave, padrao, buf_, 80, arquivo_.c_str());
    }
    std::string arquivo_;
    char buf_[96];
};

TEST_F(Perfil, SectionTestCountsTheKeyNamesAsTheyAreCopied) {
    Grava(arquivo_, "X=1\n[Banco]\n  Valor = 1\n;Comentario=2\n\nData=3\nSolta\n=9\n[Outra]\nZ=1\n[Vazia]\n; nada\n");
    // A line without "=" is left out; an empty name (not the first) takes its NUL.
    EXPECT_EQ(Le("Banco", nullptr, ""), 12u);
    EXPECT_EQ(std::string(buf_, 13), std::string("Valor\0Data\0\0\0", 13));
    EXPECT_EQ(Le("Vazia", nullptr, ""), 0u) << "a section with no key";
    EXPECT_EQ(Le("Nenhuma", nullptr, ""), 0u);
    EXPECT_EQ(plataforma::LePerfil("Banco", nullptr, "", buf_, 80, "/nonexistent/perfil.ini"), 0u);

    // Names that don't fit: cut, two NULs, and the count is the size less 2.
    std::string muitas = "[Muitas]\n";
    for (int i = 0; i < 20; ++i) muitas += "Chave" + std::to_string(i) + "=1\n";
    Grava(arquivo_, muitas);
    EXPECT_EQ(Le("Muitas", nullptr, ""), 78u);
    EXPECT_EQ(buf_[78], '\0');
    EXPECT_EQ(buf_[79], '\0');
    EXPECT_EQ(buf_[80], '#') << "nothing past the buffer";
}

TEST_F(Perfil, NamesIgnoreCaseAndBlanksValuesLoseTheirBlanks) {
    Grava(arquivo_, " \t[ banco ]  \r\n  vALOR\t=  10 , 20 \t\r\n");
    EXPECT_EQ(Le("BANCO", "Valor"), 7u);
    EXPECT_STREQ(buf_, "10 , 20");
    EXPECT_EQ(Le(" Banco ", " valor "), 7u);
    EXPECT_STREQ(buf_, "10 , 20");
    EXPECT_EQ(Le("Ban co", "Valor"), 3u);
    EXPECT_STREQ(buf_, "ERR");
}

TEST_F(Perfil, CommentsFirstOccurrenceQuotesAndOtherSections) {
    Grava(arquivo_,
          "[A]\n;Valor=1\nValor=2\nValor=3\nAspas=\"2\"\nSimples=' x '\nMeia=\"2\nVazia=\n[B]\nSo=1\n");
    Le("A", "Valor");
    EXPECT_STREQ(buf_, "2") << "a comment is no key, and the first occurrence wins";
    Le("A", "Aspas");
    EXPECT_STREQ(buf_, "2");
    Le("A", "Simples");
    EXPECT_STREQ(buf_, " x ");
    Le("A", "Meia");
    EXPECT_STREQ(buf_, "\"2");
    EXPECT_EQ(Le("A", "Vazia"), 0u);
    EXPECT_STREQ(buf_, "");
    EXPECT_EQ(Le("A", "So"), 3u) << "a key of another section";
    EXPECT_STREQ(buf_, "ERR");
    Le("C", "So");
    EXPECT_STREQ(buf_, "ERR");
    EXPECT_EQ(Le("B", "Nada", "padrao   "), 6u) << "the default loses its trailing blanks";
    EXPECT_STREQ(buf_, "padrao");
}

// Corners where the Windows reader goes its own way (each answer measured
// with GetPrivateProfileStringA under Wine).
TEST_F(Perfil, CornersAsTheWindowsReaderAnswers) {
    Grava(arquivo_, "[A]\n=9\nValor=1\n[ B ]\nValor\nValor=2\n#Data=3\n[A]\nData=4\n[C]]\rData=5\r");
    EXPECT_EQ(Le("A", nullptr, ""), 0u) << "an empty name first: nothing";
    EXPECT_STREQ(buf_, "");
    Le("A", "Valor");
    EXPECT_STREQ(buf_, "1");
    Le("A", "Data");
    EXPECT_STREQ(buf_, "ERR") << "only the first section of a name counts";
    EXPECT_EQ(Le("B", nullptr, ""), 12u) << "\"#\" is no comment; a line without \"=\" is not listed";
    EXPECT_EQ(std::string(buf_, 13), std::string("Valor\0#Data\0\0", 13));
    EXPECT_EQ(Le(" B", nullptr, ""), 0u) << "blanks around the asked name count in the list";
    Le(" B ", "Valor");
    EXPECT_STREQ(buf_, "ERR") << "the first entry of the name, without \"=\", gives the default";
    Le("C]", "Data");
    EXPECT_STREQ(buf_, "5") << "the name runs to the last \"]\"; a CR ends a line";

    const std::string q79(79, 'q');
    Grava(arquivo_, "[A]\nV=\"" + q79 + "\"\nW=\"" + q79 + "q\"\nX=''\nY=\"\n");
    EXPECT_EQ(Le("A", "V"), 78u) << "a quoted 79: the cut takes the last character";
    EXPECT_EQ(Le("A", "W"), 79u);
    EXPECT_EQ(Le("A", "X"), 0u);
    Le("A", "Y");
    EXPECT_STREQ(buf_, "\"");

    Grava(arquivo_, "\xef\xbb\xbfValor=\xc3\xa9\xe4\xb8\x80\n");
    Le("", "Valor");
    EXPECT_STREQ(buf_, "\xe9?") << "UTF-8 after its mark, back in code page 1252";
}

TEST_F(Perfil, ALongValueIsCutToTheBuffer) {
    const std::string longo = std::string(200, '7') + "  ";
    Grava(arquivo_, "[A]\nValor=   " + longo + "\n" + "Citado=\"" + std::string(300, 'q') + "\"\n");
    EXPECT_EQ(Le("A", "Valor"), 79u);
    EXPECT_EQ(std::string(buf_), std::string(79, '7'));
    EXPECT_EQ(buf_[80], '#');
    EXPECT_EQ(Le("A", "Citado"), 79u);
    EXPECT_EQ(std::string(buf_), std::string(79, 'q'));
    EXPECT_EQ(plataforma::LePerfil("A", "Valor", "ERR", buf_, 1, arquivo_.c_str()), 0u);
    EXPECT_EQ(buf_[0], '\0');
}

TEST_F(Perfil, GarbageFilesNeverOverrunTheBuffer) {
    std::mt19937 gerador(6);
    const char alfabeto[] = "[]=;\n\r \t\"'aAvV0,";
    for (int i = 0; i < 300; ++i) {
        std::string s(gerador() % 3000, '\0');
        for (char& c : s)
            c = gerador() % 2 ? alfabeto[gerador() % (sizeof alfabeto - 1)] : static_cast<char>(gerador());
        Grava(arquivo_, s);
        std::memset(buf_, '#', sizeof buf_);
        const std::uint32_t lista = Le("a", nullptr, "");
        EXPECT_LE(lista, 79u);
        const std::uint32_t valor = Le("a", "v");
        EXPECT_LE(valor, 79u);
        EXPECT_LE(std::strlen(buf_), valor);
        EXPECT_EQ(std::string(buf_ + 80, 16), std::string(16, '#'));
    }
}

// The reader hands the file to the parser a block at a time: every answer
// over a file of several blocks (a byte order mark, a character cut by a
// block's end, the key in the third block) is the parser's over the same
// bytes in memory; a path it cannot read answers as a missing file.
TEST_F(Perfil, TheFileReadsAsItsTextInMemory) {
    std::string texto = "\xEF\xBB\xBF[Banco]\nValor=1\n";
    while (texto.size() < 4094) texto += "Chave" + std::to_string(texto.size()) + "=x\n";
    texto.resize(4094);
    texto += "\n\xC3\xA9=2\n";  // "é": its two bytes around the block's end
    while (texto.size() < 9000) texto += ";" + std::string(100, 'c') + "\n";
    texto += "[Cheque]\nFavorecido = 'JOSE'\nData=3\n";
    Grava(arquivo_, texto);
    const auto* bytes = reinterpret_cast<const unsigned char*>(texto.data());
    struct Pergunta {
        const char* secao;
        const char* chave;
    } const perguntas[] = {{"Banco", nullptr}, {"Banco", "Valor"}, {"Banco", "\xE9"}, {"Cheque", nullptr},
                           {"Cheque", "Favorecido"}, {"Cheque", "Data"}, {"Cheque", "Nada"}, {"Outra", "Data"}};
    for (const Pergunta& p : perguntas) {
        char memoria[96];
        std::memset(memoria, '#', sizeof memoria);
        std::memset(buf_, '#', sizeof buf_);
        const std::uint32_t doArquivo = Le(p.secao, p.chave);
        const std::uint32_t daMemoria =
            plataforma::perfil::LeTexto(p.secao, p.chave, "ERR", memoria, 80, bytes, texto.size());
        EXPECT_EQ(doArquivo, daMemoria) << p.secao << " " << (p.chave ? p.chave : "(list)");
        EXPECT_EQ(std::string(buf_, sizeof buf_), std::string(memoria, sizeof memoria)) << p.secao;
    }
    EXPECT_EQ(Le("Banco", "\xE9"), 1u);
    EXPECT_STREQ(buf_, "2");
    EXPECT_EQ(Le("Cheque", "Data"), 1u) << "the third block";

    // A directory at the path cannot be read: the default, as for no file.
    fs::remove(arquivo_);
    fs::create_directory(arquivo_);
    EXPECT_EQ(Le("Cheque", "Data"), 3u);
    EXPECT_STREQ(buf_, "ERR");
    fs::remove(arquivo_);
}

// ------------------------------------------------------------ layout codes

TEST_F(ImprimeCheque, EachLayoutFaultReturnsItsCodeAndLeavesTheCopy) {
    auto com = [](Chaves c, const char* Chaves::*chave, const char* valor) {
        c.*chave = valor;
        return c;
    };
    struct Caso {
        const char* Nome;
        Chaves Secao;
        std::int32_t Codigo;
    } const casos[] = {
        {"Valor missing", com(Basica, &Chaves::Valor, Falta), 22},
        {"Valor of one number", com(Basica, &Chaves::Valor, "10"), 22},
        {"Valor without its first number", com(Basica, &Chaves::Valor, ",20,1,0"), 22},
        {"Valor of the text ERR", com(Basica, &Chaves::Valor, "ERR"), 22},
        {"extended, Extenso of four", com(Estendida, &Chaves::Extenso, "1,2,3,4"), 23},
        {"basic, Extenso of six", com(Basica, &Chaves::Extenso, "1,2,3,4,5,6"), 23},
        {"Extenso missing", com(Basica, &Chaves::Extenso, Falta), 23},
        {"extended, Favorecido of two", com(Estendida, &Chaves::Favorecido, "1,2"), 24},
        {"basic, Favorecido missing", com(Basica, &Chaves::Favorecido, Falta), 24},
        {"basic, Cidade of four", com(Basica, &Chaves::Cidade, "1,2,3,4"), 25},
        {"extended, Cidade missing", com(Estendida, &Chaves::Cidade, Falta), 25},
        {"basic, Mensagem of three", com(Basica, &Chaves::Mensagem, "1,2,3"), 26},
        {"extended, Mensagem with an empty field", com(Estendida, &Chaves::Mensagem, "1,,3,4"), 26},
        {"basic, Data of two", com(Basica, &Chaves::Data, "1,2"), 27},
        {"extended, Data of two", com(Estendida, &Chaves::Data, "1,2"), 27},
        {"Data with a trailing comma", com(Basica, &Chaves::Data, "1,2,3,"), 27},
        {"Data missing", com(Estendida, &Chaves::Data, Falta), 27},
        {"eSpacamento of 0", com(Basica, &Chaves::Espacamento, "0"), 28},
        {"eSpacamento of x2", com(Basica, &Chaves::Espacamento, "x2"), 28},
        {"eSpacamento negative", com(Estendida, &Chaves::Espacamento, "-3"), 28},
        {"eSpacamento missing", com(Basica, &Chaves::Espacamento, Falta), 28},
    };
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.Nome);
        fs::remove(Copia());
        const std::string conteudo = Secao(caso.Secao);
        EXPECT_EQ(Imprime(conteudo), caso.Codigo);
        // The copy stays behind as written: every line feed as CR LF.
        std::string esperado;
        for (char c : conteudo) esperado += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(ambiente::LeArquivo(Copia()), esperado);
    }
}

TEST_F(ImprimeCheque, KeysAreCheckedInOrder) {
    Chaves c = Basica;
    c.Cidade = "1";
    c.Extenso = "1";
    c.Espacamento = "0";
    EXPECT_EQ(Imprime(Secao(c)), 23);
    c.Extenso = Basica.Extenso;
    EXPECT_EQ(Imprime(Secao(c)), 25);
    c.Cidade = Basica.Cidade;
    EXPECT_EQ(Imprime(Secao(c)), 28);
}

TEST_F(ImprimeCheque, AMissingSectionReturns21AndLeavesTheCopy) {
    EXPECT_EQ(Imprime(Secao(Basica, "Outro")), 21);
    EXPECT_EQ(ambiente::LeArquivo(Copia()).substr(0, 9), "[Outro]\r\n");
    EXPECT_EQ(Imprime("[Banco]\n; only a comment\n" + Secao(Basica, "Outro")), 21) << "a section without keys";
    EXPECT_EQ(Imprime(""), 21);
    struct stat st {};
    ASSERT_EQ(stat(Copia().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the copy is for the current user only";
}

TEST_F(ImprimeCheque, AFileThatCannotBeOpenedReturns20) {
    fs::remove(layout_);
    Grava(Copia(), "old copy");
    EXPECT_EQ(Chama("Banco", layout_.c_str()), 20) << "missing file";
    EXPECT_EQ(ambiente::LeArquivo(Copia()), "old copy") << "nothing copied";
    EXPECT_EQ(Chama("Banco", nullptr), 20);

    Grava(layout_, Secao(Basica));
    chmod(layout_.c_str(), 0444);  // read-only, even to root
    EXPECT_EQ(Chama("Banco", layout_.c_str()), 20);
    chmod(layout_.c_str(), 0600);
    EXPECT_EQ(Chama("Banco", layout_.c_str()), 2);

    EXPECT_EQ(Chama("Banco", dir_.c_str()), 20) << "a directory";
    const std::string fifo = dir_ + "/fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(Chama("Banco", fifo.c_str()), 20) << "a FIFO is refused, not waited on";
}

// ------------------------------------------------------------ the copy

TEST_F(ImprimeCheque, CopyDropsCarriageReturnsCutsIndentsPieceByPieceAndEndsAtCtrlZ) {
    const std::string comentario = "; " + std::string(117, 'a');  // fills a 119-byte piece
    const std::string host = "  \t[Banco]  \r\n"
                             "Valor=1\r,2\r\n" +
                             comentario + "bb [x] cc\n"
                             "Nome=a]b[c\n"
                             "Data=1,2,3\x1a" "eSpacamento=2\n";
    EXPECT_EQ(Imprime(host), 23) << "the indented header is found, Extenso is not";
    EXPECT_EQ(ambiente::LeArquivo(Copia()), "[Banco]  \r\n"
                                            "Valor=1,2\r\n" +
                                                comentario + "[x] cc\r\n"
                                                "Nome=a]b[c\r\n"
                                                "Data=1,2,3");
}

TEST_F(ImprimeCheque, KeysBehindCtrlZAreNotFound) {
    std::string host = Secao(Basica);
    host.insert(host.find("eSpacamento"), "\x1a");
    EXPECT_EQ(Imprime(host), 28);
}

TEST_F(ImprimeCheque, LongLinesArriveInPiecesAndAreJoinedAgain) {
    Chaves c = Basica;
    const std::string favorecido = std::string(300, ' ') + "5,6";
    c.Favorecido = favorecido.c_str();
    const std::string longa = "; " + std::string(500, '-') + "\n";
    EXPECT_EQ(Imprime(longa + Secao(c) + longa), 2);
    EXPECT_FALSE(Existe(Copia()));
}

TEST_F(ImprimeCheque, WithThePortClosedTheCopyIsStillMadeAndDeleted) {
    // A stale copy whose Valor would fail: the result shows it was rewritten.
    Grava(Copia(), "[Banco]\r\nValor=ERR\r\n");
    EXPECT_EQ(Imprime(Secao(Basica)), 2);
    EXPECT_FALSE(Existe(Copia()));
    EXPECT_EQ(Imprime(Secao(Estendida)), 2);
    EXPECT_FALSE(Existe(Copia()));
}

TEST_F(ImprimeCheque, ALinkPlantedAtTheCopysPathRedirectsNothing) {
    const std::string vitima = dir_ + "/vitima";
    Grava(vitima, "precious");
    // What stands at the copy's name is removed and the copy made anew in
    // its place: the cheque goes on, and the planted link's target is untouched.
    ASSERT_EQ(symlink(vitima.c_str(), Copia().c_str()), 0);
    EXPECT_EQ(Imprime(Secao(Basica)), 2);
    EXPECT_EQ(ambiente::LeArquivo(vitima), "precious");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(Copia())));

    ASSERT_EQ(symlink((dir_ + "/ainda-nao").c_str(), Copia().c_str()), 0);
    EXPECT_EQ(Imprime(Secao(Basica)), 2);
    EXPECT_FALSE(Existe(dir_ + "/ainda-nao")) << "a dangling link's target is not created";

    ASSERT_EQ(link(vitima.c_str(), Copia().c_str()), 0);
    EXPECT_EQ(Imprime(Secao(Basica)), 2) << "a hard link is not truncated either";
    EXPECT_EQ(ambiente::LeArquivo(vitima), "precious");
}

TEST_F(ImprimeCheque, ALayoutPathOfAnyLengthWorks) {
    std::string caminho = dir_;
    for (int i = 0; i < 8; ++i) caminho += "/" + std::string(200, static_cast<char>('a' + i));
    fs::create_directories(caminho);
    caminho += "/layout.ini";
    ASSERT_GT(caminho.size(), 1600u);
    Grava(caminho, Secao(Basica));
    EXPECT_EQ(Chama("Banco", caminho.c_str()), 2);
    EXPECT_FALSE(Existe(Copia()));
}

TEST_F(ImprimeCheque, NoFileCrashesIt) {
    std::mt19937 gerador(26);
    const char alfabeto[] = "[]=,;\n\r\x1a 0123456789BancoValorExtensoDataeSpacamento";
    const std::string base = Secao(Basica);
    for (int i = 0; i < 200; ++i) {
        std::string s;
        if (i % 2 == 0) {  // a valid layout, mangled
            s = base;
            for (int k = 0; k < 4; ++k) s[gerador() % s.size()] = alfabeto[gerador() % (sizeof alfabeto - 1)];
        } else {
            s.resize(gerador() % 4000);
            for (char& c : s)
                c = gerador() % 2 ? alfabeto[gerador() % (sizeof alfabeto - 1)] : static_cast<char>(gerador());
        }
        const std::int32_t r = Imprime(s);
        EXPECT_TRUE(r == 2 || (r >= 20 && r <= 28)) << r;
    }
    // One line of 4 MB of brackets and digits, no line feed.
    std::string enorme(4 << 20, '9');
    for (std::size_t k = 0; k < enorme.size(); k += 97) enorme[k] = k % 2 ? '[' : ']';
    EXPECT_EQ(Imprime("[Banco]\nValor=" + enorme), 22) << "read, cut to 79 bytes: one saturated number";
}

// ------------------------------------------------------------ frames

TEST_F(ImprimeCheque, BasicFrameByteByByte) {
    const std::string esperado = std::string("\x1b" "f34") +
                                 "10" "20" +                          // Valor
                                 "01" "02" "03" "04" +                // Extenso
                                 "05" "06" + "07" "08" + "09" "11" +  // Favorecido, Cidade, Mensagem
                                 "12" "13" "14" +                     // Data
                                 "        123,45" +                   // text 1, right-aligned in 14
                                 "Fulano de Tal                 " +   // 30
                                 "Sao Paulo           " +             // 20
                                 "Obrigado                      " +   // 30
                                 "010203" +                           // 6
                                 "Texto seis     " +                  // 15
                                 "Texto sete muito " +                // 17, cut
                                 "  2";                               // spacing, blanks in front
    ASSERT_EQ(esperado.size(), 169u);
    EXPECT_EQ(Quadro(Secao(Basica)), esperado);
}

TEST_F(ImprimeCheque, ExtendedFrameByteByByte) {
    using namespace std::string_literals;
    const std::string esperado = "\x1b" "f34"s +
                                 "05\0" "12" "1" "0"s +               // Valor 5,12,1,0
                                 "100" "02" "03\0" "45" "6" "7"s +    // Extenso 100,2,3,45,6,7
                                 "11\0" "12" "A" "\\"s +              // Favorecido 11,12,17,300: 17+48, (300+48)%256
                                 "13\0" "14" "5" "6"s +               // Cidade
                                 "123" "16" "7" "8"s +                // Mensagem 1234: its 4 runs under the next slot
                                 "17\0" "180" "19\0"s +               // Data
                                 "        123,45"s +
                                 "Fulano de Tal                 " +
                                 "Sao Paulo           " +
                                 "Obrigado                      " +
                                 "010203" +
                                 "Texto seis     " +
                                 "Texto sete muito " +
                                 "  2" +
                                 "0";
    ASSERT_EQ(esperado.size(), 189u);
    EXPECT_EQ(Quadro(Secao(Estendida)), esperado);
}

TEST_F(ImprimeCheque, ValorChoosesTheVariant) {
    using namespace std::string_literals;
    // Basica's "10,20" is the basic frame above.
    Chaves c = Estendida;
    c.Valor = "10,20,1,0";
    std::string q = Quadro(Secao(c));
    EXPECT_EQ(q.size(), 189u);
    EXPECT_EQ(q.substr(4, 7), "10\0" "2010"s);

    c = Basica;
    c.Valor = "10,20,30";  // basic, the third number ignored
    q = Quadro(Secao(c));
    EXPECT_EQ(q.size(), 169u);
    EXPECT_EQ(q.substr(4, 6), "102001");

    c = Basica;
    c.Extenso = "123,2,3,4";  // a number above 99 in a two-byte slot keeps its first digits
    q = Quadro(Secao(c));
    EXPECT_EQ(q.substr(8, 8), "12020304");

    c = Basica;
    c.Data = "1,2,99999999999999999999999";  // saturated, then covered by text 1
    q = Quadro(Secao(c));
    EXPECT_EQ(q.substr(28, 8), "010221  ");
}

TEST_F(ImprimeCheque, TheSpacingTextIsSentNotItsNumber) {
    Chaves c = Basica;
    for (const auto& [valor, enviado] : {std::pair{"2", "  2"}, {"12345", "123"}, {"2,5", "2,5"}}) {
        SCOPED_TRACE(valor);
        c.Espacamento = valor;
        EXPECT_EQ(Quadro(Secao(c)).substr(166), enviado);
    }
    Chaves e = Estendida;
    e.Espacamento = "2147483648";  // above the range: held at its top, never wrapped below 1
    EXPECT_EQ(Quadro(Secao(e)).substr(185), "2140");
}
