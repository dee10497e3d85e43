// The serial link and the lifecycle on a real tty: a pseudo-terminal whose
// master plays the printer.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "driver/comandos.h"
#include "driver/estado.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "support/ser2net.h"
#include "vltxdrv.h"

namespace {
thread_local bool contando = false;
std::atomic<long> alocacoes{0};
}  // namespace

// Counts the heap allocations of the thread that asked for counting.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (contando) ++alocacoes;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

class Porta : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ecf_LogSerial("0");
    }
    void TearDown() override { ecf_FinalizaDLL(); }
    Impressora impressora;
};

TEST_F(Porta, DeviceIsOpenedExclusively) {
    plataforma::Dispositivo a = plataforma::AbreDispositivo(impressora.Caminho());
    ASSERT_NE(a, 0);
    EXPECT_EQ(plataforma::AbreDispositivo(impressora.Caminho()), 0);
    EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 3);
    EXPECT_TRUE(plataforma::FechaDispositivo(a));
    EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    EXPECT_EQ(plataforma::AbreDispositivo(impressora.Caminho()), 0);
}

// 3 for a path that does not open; 4 for one that opens but is no serial
// line, closed again at once (a FIFO with no writer must not hold the open).
TEST_F(Porta, APathThatIsNoSerialLineGivesFourAndOneThatDoesNotOpenThree) {
    EXPECT_EQ(ecf_InicializaDLL("/dev/nonexistent-ecf"), 3);
    EXPECT_EQ(ecf_InicializaDLL(""), 3);
    const std::string dir = ambiente::DiretorioC();
    EXPECT_EQ(ecf_InicializaDLL(dir.c_str()), 3);  // a directory does not open for writing

    EXPECT_EQ(ecf_InicializaDLL("/dev/null"), 4);
    const std::string arquivo = dir + "/COM1";
    {
        int fd = open(arquivo.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "abc", 3), 3);
        close(fd);
    }
    EXPECT_EQ(ecf_InicializaDLL(arquivo.c_str()), 4);
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ecf_InicializaDLL(fifo.c_str()), 4);
    EXPECT_FALSE(EstadoDriver.PortaAberta);

    // Nothing was written to the file, and every descriptor was closed:
    // the port opens on the printer as if nothing had happened.
    EXPECT_EQ(ecf_AbreGaveta(), 2);
    int fd = open(arquivo.c_str(), O_RDONLY);
    char conteudo[8] = {};
    EXPECT_EQ(read(fd, conteudo, sizeof conteudo), 3);
    close(fd);
    EXPECT_STREQ(conteudo, "abc");
    EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    EXPECT_TRUE(EstadoDriver.PortaAberta);
}

// A file another process holds (flock) is held: 3, not 4.
TEST_F(Porta, AFileHeldByAnotherOpenerGivesThree) {
    const std::string arquivo = ambiente::DiretorioC() + "/COM2";
    int fd = open(arquivo.c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ecf_InicializaDLL(arquivo.c_str()), 3);
    close(fd);
    EXPECT_EQ(ecf_InicializaDLL(arquivo.c_str()), 4);
}

TEST_F(Porta, OpenCloseOpenAgain) {
    impressora.AtendeCom(std::string(1, '\x07'));
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 1);
    EXPECT_EQ(ecf_AbreGaveta(), 7);
    EXPECT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ecf_AbreGaveta(), 2);
    EXPECT_EQ(ecf_FinalizaDLL(), 2);
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    EXPECT_EQ(ecf_AbreGaveta(), 7);
    EXPECT_EQ(impressora.Quadros().size(), 2u);
}

TEST_F(Porta, EveryByteValuePassesUnchangedBothWays) {
    plataforma::Dispositivo d = plataforma::AbreDispositivo(impressora.Caminho());
    ASSERT_NE(d, 0);
    plataforma::ConfigLinha c{};
    ASSERT_TRUE(plataforma::LeConfigLinha(d, c));
    c.BaudRate = 9600;
    c.ByteSize = 8;
    ASSERT_TRUE(plataforma::AplicaConfigLinha(d, c));
    ASSERT_TRUE(plataforma::AplicaTemposLinha(d, {100, 100, 2000, 0, 0}));
    std::string todos;
    for (int i = 0; i < 256; ++i) todos += static_cast<char>(i);
    std::uint32_t n = 0;
    ASSERT_TRUE(plataforma::EscreveLinha(d, todos.data(), 256, &n));
    EXPECT_EQ(impressora.Le(256), todos);
    impressora.Envia(todos);
    char lido[256];
    ASSERT_TRUE(plataforma::LeLinha(d, lido, 256, &n));
    EXPECT_EQ(n, 256u);
    EXPECT_EQ(std::string(lido, 256), todos);
    plataforma::FechaDispositivo(d);
}

TEST_F(Porta, ShortOrMissingRepliesFailWithTheirCodes) {
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    impressora.Atende([](const std::string&) { return std::string(); });
    {
        Guarda guarda;  // a silent printer, with a 0-second time-out: 100 ms for the one byte
        MontaQuadro(Linha("ecf_EstadoImpressora"), {});
        EXPECT_EQ(ExecutaComando(4, 1, 0, 0), 10);
    }
    // The register read wants 30 bytes; 5 arrive and the line falls silent.
    impressora.AtendeCom("12345");
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_EQ(ExecutaExportacao(Linha("ecf_LeRegistrador"), {{"1"}}), 10);
    const auto duracao = std::chrono::steady_clock::now() - inicio;
    EXPECT_LT(duracao, std::chrono::seconds(3)) << "the read ends at the pause, not at its 5 s time-out";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(EstadoDriver.BufTroca), 5), "12345")
        << "what arrived stays in the exchange buffer";
}

TEST_F(Porta, DroppedLineIsADeviceError) {
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    impressora.Desliga();
    // The write finds the line gone: a device I/O error, not a plain write failure.
    EXPECT_EQ(ecf_AbreGaveta(), 16);
    EXPECT_TRUE(EstadoDriver.PortaAberta);
}

TEST_F(Porta, TheExchangeAllocatesNothing) {
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    impressora.AtendeCom(std::string(1, '\0'));
    ASSERT_EQ(ecf_VendaItem("1", "A", "1", "1", "T1", "UN", "2"), 0);
    alocacoes = 0;
    contando = true;
    for (int i = 0; i < 200; ++i) ecf_VendaItem("7891234567895", "CAFE 500G", "1", "12,90", "T1", "UN", "2");
    ecf_LogSerial("1");
    for (int i = 0; i < 20; ++i) ecf_EstadoImpressora();
    contando = false;
    ecf_LogSerial("0");
    EXPECT_EQ(alocacoes.load(), 0);
    EXPECT_EQ(impressora.Quadros().size(), 221u);
}

TEST_F(Porta, TheExchangeOverANetworkLineAllocatesNothing) {
    impressora.AtendeCom(std::string(1, '\0'));
    for (Ser2net::Modo modo : {Ser2net::Raw, Ser2net::Rfc2217}) {
        Ser2net servidor(impressora.Caminho(), modo);
        ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
        ASSERT_EQ(ecf_VendaItem("1", "A", "1", "1", "T1", "UN", "2"), 0);
        alocacoes = 0;
        contando = true;
        for (int i = 0; i < 50; ++i) ecf_VendaItem("7891234567895", "CAFE \xff 500G", "1", "12,90", "T1", "UN", "2");
        for (int i = 0; i < 20; ++i) ecf_EstadoImpressora();
        contando = false;
        EXPECT_EQ(alocacoes.load(), 0);
        ASSERT_EQ(ecf_FinalizaDLL(), 33);
    }
}

}  // namespace

namespace {

TEST_F(Porta, TwoThreadsGetWholeExchangesOneAfterTheOther) {
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    impressora.AtendeCom(std::string(1, '\0'));
    auto vende = [](const char* codigo, const char* descricao) {
        for (int i = 0; i < 40; ++i) EXPECT_EQ(ecf_VendaItem(codigo, descricao, "1", "100", "T1", "UN", "2"), 0);
    };
    std::thread a(vende, "1111111111111", "AAAAAAAAAAAAAAAAAAAA");
    std::thread b(vende, "2222222222222", "BBBBBBBBBBBBBBBBBBBB");
    a.join();
    b.join();
    const std::string resto = "      1      100T1UN2";
    const std::string quadroA = Quadro("05", "1111111111111" + std::string("AAAAAAAAAAAAAAAAAAAA") + Rep(42, ' ') + resto);
    const std::string quadroB = Quadro("05", "2222222222222" + std::string("BBBBBBBBBBBBBBBBBBBB") + Rep(42, ' ') + resto);
    const auto quadros = impressora.Quadros();
    ASSERT_EQ(quadros.size(), 80u);
    for (const std::string& q : quadros) EXPECT_TRUE(q == quadroA || q == quadroB) << q;
}

}  // namespace
