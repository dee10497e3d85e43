// The register read, the cheque handling commands, and the fiscal and CMC-7
// readouts streamed from a printer on a pseudo-terminal into a file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/estado.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "vltxdrv.h"

using namespace std::chrono_literals;

namespace {

// How a text-mode stream stores bytes: each line feed as CR LF.
std::string ComCrLf(const std::string& s) {
    std::string r;
    for (char c : s) {
        if (c == '\n') r += '\r';
        r += c;
    }
    return r;
}

// What the fiscal readout stores of a chunk: its text, up to the first zero byte.
std::string TextoDoBloco(const std::string& s) { return ComCrLf(s.substr(0, s.find('\0'))); }

double SegundosCpuDoFio() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class Leituras : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    }
    void TearDown() override {
        impressora.Para();
        ecf_FinalizaDLL();
    }

    bool Existe() const { return std::filesystem::exists(caminho); }
    std::string Arquivo() const { return ambiente::LeArquivo(caminho); }

    // Waits until the file holds exactly `esperado`: the driver has taken
    // the chunk and its read has ended.
    bool Aguarda(const std::string& esperado) {
        const auto fim = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < fim) {
            if (Arquivo() == esperado) return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    // Starts a readout in the background: the printer answers its frame with
    // `resposta`, and the call returns once the file holds that byte.
    std::future<int> Inicia(std::function<int()> leitura, char resposta) {
        impressora.AtendeCom(std::string(1, resposta));
        auto f = std::async(std::launch::async, std::move(leitura));
        armazenado_ = ComCrLf(std::string(1, resposta));
        EXPECT_TRUE(Aguarda(armazenado_)) << "the reply byte was not stored";
        return f;
    }

    // Sends one chunk, and waits until the file shows `guardado` behind what
    // it held: the next chunk then reaches the driver as a read of its own.
    void Envia(const std::string& bloco, const std::string& guardado) {
        impressora.Envia(bloco);
        armazenado_ += guardado;
        EXPECT_TRUE(Aguarda(armazenado_)) << "a chunk went missing, or the readout had ended before it";
    }

    // The stream has ended by its end test: a byte the printer sends now
    // stays on the line. Ends a readout that wrongly goes on.
    int Terminada(std::future<int>& f) {
        impressora.Envia("Z");
        if (f.wait_for(10s) != std::future_status::ready) {
            ADD_FAILURE() << "the readout did not end";
            impressora.Envia("\x03");
        }
        const int r = f.get();
        EXPECT_EQ(Arquivo(), armazenado_);
        // Let the byte land in the line's queue, where the next exchange's purge drops it.
        std::this_thread::sleep_for(50ms);
        return r;
    }

    std::function<int()> Fiscal(const char* tipo = "5") {
        return [this, tipo] { return ecf_LeECF(tipo, "1", "2", "0", caminho.c_str()); };
    }
    std::function<int()> Cmc7() {
        return [this] { return ecf_LeCMC7(caminho.c_str()); };
    }

    Impressora impressora;
    const std::string caminho = ambiente::DiretorioC() + "/leitura.txt";
    std::string armazenado_;  // what the file must hold by now
};

}  // namespace

TEST_F(Leituras, ChequeHandlingCommandsSendTheirFramesAndReturnThePrintersByte) {
    impressora.AtendeCom("\x07");
    EXPECT_EQ(ecf_CMC7ToECF(), 7);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("47"));
    EXPECT_EQ(ecf_EjetarCheque(), 7);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("49"));

    const std::string vinte = "ABCDEFGHIJKLMNOPQRST";
    EXPECT_EQ(ecf_CruzarCheque("", "ab", vinte.c_str(), "Z"), 7);
    EXPECT_EQ(impressora.UltimoQuadro(),
              Quadro("54", std::string(1, '\0') + "ab" + Rep(13, ' ') + vinte.substr(0, 15) + "Z" + Rep(14, ' ')));
    EXPECT_EQ(ecf_CruzarCheque("12", "", "", ""), 7);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("54", "1" + Rep(45, ' ')));

    EXPECT_EQ(ecf_ChancelarCheque("7", "12", vinte.c_str()), 7);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("55", "07012" + vinte.substr(0, 15)));
    // A number that does not fit leaves its first digits; the next field covers the rest.
    EXPECT_EQ(ecf_ChancelarCheque("123", "-5", ""), 7);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("55", "12-00" + Rep(15, ' ')));
}

TEST_F(Leituras, RegisterReadSendsTheNumberRightAlignedInThreeBytes) {
    const std::string resposta = std::string(1, '\0') + "29 bytes of the register.....";
    ASSERT_EQ(resposta.size(), 30u);
    impressora.AtendeCom(resposta);
    char buf[40];
    std::memset(buf, 'x', sizeof buf);
    // 33 for a whole answer, whatever its first byte.
    EXPECT_EQ(ecf_LeRegistrador("5", buf), 33);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("04", "  5"));
    EXPECT_EQ(std::string(buf, 32), resposta + std::string(1, '\0') + "x");
    EXPECT_EQ(ecf_LeRegistrador("1234", buf), 33);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("04", "123"));
    // No buffer: the exchange runs all the same.
    EXPECT_EQ(ecf_LeRegistrador("7", nullptr), 33);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("04", "  7"));
}

TEST_F(Leituras, RegisterReadFillsTheBufferEvenWhenItFails) {
    const std::string anterior = "an earlier answer of 30 bytes.";
    impressora.AtendeCom(anterior);
    char buf[31];
    ASSERT_EQ(ecf_LeRegistrador("1", buf), 33);

    // A short answer: the line failure, and the bytes that did arrive.
    impressora.AtendeCom("0123456789");
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(ecf_LeRegistrador("2", buf), 10);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(buf[30], '\0');

    // A closed port: 2, and the host gets what the exchange buffer held.
    impressora.AtendeCom(anterior);
    ASSERT_EQ(ecf_LeRegistrador("3", buf), 33);
    impressora.Para();
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(ecf_LeRegistrador("4", buf), 2);
    EXPECT_EQ(std::string(buf, 31), anterior + std::string(1, '\0'));
    EXPECT_EQ(ecf_LeRegistrador("4", nullptr), 2);
}

TEST_F(Leituras, FiscalReadoutOfANonStreamingTypeIsAPlainCommand) {
    impressora.AtendeCom("\x05");
    EXPECT_EQ(ecf_LeECF("0", "1", "123456789", "Z", caminho.c_str()), 5);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("16", "0       112345678Z"));
    EXPECT_FALSE(Existe());
    // An empty type sends the byte 0 and streams nothing; the path is not used.
    EXPECT_EQ(ecf_LeECF("", "", "", "", caminho.c_str()), 5);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("16", std::string(1, '\0') + Rep(16, ' ') + std::string(1, '\0')));
    EXPECT_FALSE(Existe());
}

TEST_F(Leituras, CmcReadoutAnswerOtherThanTwoIsReturnedWithNoFile) {
    impressora.AtendeCom("\x05");
    EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 5);
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("53"));
    EXPECT_FALSE(Existe());
}

// A path where no output file can be made is refused before the command
// goes out: no stream is started that nobody would read.
TEST_F(Leituras, AnOutputPathThatCannotTakeAFileSendsNothing) {
    const std::string dir = ambiente::DiretorioC() + "/pasta";
    std::filesystem::create_directories(dir + "/dentro");
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    impressora.AtendeCom("\x02");
    for (const std::string& caminho : {dir, dir + "/novo/", dir + "/falta/arquivo", fifo, std::string("/dev/full")}) {
        SCOPED_TRACE(caminho);
        EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 20);
        EXPECT_EQ(ecf_LeECF("6", "", "", "", caminho.c_str()), 20);
    }
    EXPECT_TRUE(impressora.Quadros().empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/dentro"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/falta"));
    // A type that does not stream never looks at the path.
    EXPECT_EQ(ecf_LeECF("0", "", "", "", dir.c_str()), 2);
    EXPECT_EQ(impressora.Quadros().size(), 1u);
}

TEST_F(Leituras, FiscalStreamEndsAtAnEtxInTheMiddleOfAChunk) {
    // The reply byte is stored as a text too: a line feed becomes CR LF.
    auto f = Inicia(Fiscal(), '\n');
    EXPECT_EQ(impressora.UltimoQuadro(), Quadro("16", "5       1       20"));
    Envia("line 1\nline 2\n", "line 1\r\nline 2\r\n");
    Envia("end\x03 and after", "end\x03 and after");
    EXPECT_EQ(Terminada(f), 33);
}

TEST_F(Leituras, FiscalStreamStoresAChunkUpToItsFirstZeroByte) {
    // The ETX behind the zero byte is neither stored nor seen.
    auto f = Inicia(Fiscal("4"), 'R');
    const std::string oculto("ab\0\x03" "cd", 6);
    Envia(oculto, TextoDoBloco(oculto));
    Envia("ef\x03", "ef\x03");
    EXPECT_EQ(Terminada(f), 33);
}

TEST_F(Leituras, CmcStreamEndsOnlyAtAFinalEtxBehindAnEvenRunOfEscapes) {
    struct Caso {
        std::string bloco;
        bool fim;
    };
    const Caso casos[] = {
        {"9\x1b\x03", false},
        {"9\x1b\x1b\x03", true},
        {"\x1b\x03", false},  // the chunk's first byte counts like any other
        {"\x03", true},
        {"\x1b\x1b\x03", true},
        {"9\x1b\x1b\x1b\x03", false},
        {std::string("\0\n\x1b\x1b\x1b\x1b\x03", 7), true},  // every byte stored, zero bytes too
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.bloco));
        auto f = Inicia(Cmc7(), '\x02');
        Envia(c.bloco, ComCrLf(c.bloco));
        if (!c.fim) Envia("\x03", "\x03");
        EXPECT_EQ(Terminada(f), 33);
        impressora.Para();
    }
}

// The one readout in the suite that runs into its idle limit in real time.
TEST_F(Leituras, CmcStreamGoesOnOverAPauseAndEndsAfterFiveIdleSeconds) {
    double cpu = -1;
    auto f = Inicia(
        [&] {
            const double antes = SegundosCpuDoFio();
            const int r = ecf_LeCMC7(caminho.c_str());
            cpu = SegundosCpuDoFio() - antes;
            return r;
        },
        '\x02');
    Envia("12\n", "12\r\n");
    std::this_thread::sleep_for(1s);
    // An ETX with bytes behind it in the same chunk does not end the stream.
    const auto ultimo = std::chrono::steady_clock::now();
    Envia("34\x03" "56", "34\x03" "56");
    EXPECT_EQ(f.get(), 33);
    const auto ocioso = std::chrono::steady_clock::now() - ultimo;
    // Not before the clock can show more than five seconds since the data came.
    EXPECT_GT(ocioso, 5s);
    EXPECT_LT(ocioso, 30s);
    // Waiting for data blocks: it does not spin.
    EXPECT_LT(cpu, 0.5);
    EXPECT_EQ(Arquivo(), "\x02" "12\r\n34\x03" "56");
}

// The run of escapes in front of the final ETX is counted over the whole
// stream, however the line cuts it into chunks.
TEST_F(Leituras, CmcEscapeRunsCountAcrossChunks) {
    struct Caso {
        std::vector<std::string> blocos;
        bool fim;
    };
    const Caso casos[] = {
        {{"9\x1b", "\x03"}, false},
        {{"9\x1b\x1b", "\x03"}, true},
        {{"9\x1b", "\x1b\x03"}, true},
        {{"\x1b", "\x1b", "\x1b\x03"}, false},
        {{"\x1b\x03", "\x1b\x1b", "\x03"}, true},  // an escaped ETX breaks the run
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(::testing::PrintToString(c.blocos));
        auto f = Inicia(Cmc7(), '\x02');
        for (const std::string& b : c.blocos) Envia(b, b);
        if (!c.fim) Envia("\x03", "\x03");
        EXPECT_EQ(Terminada(f), 33);
        impressora.Para();
    }
}

// A line the printer dropped polls readable with nothing to read: the wait
// for data ends at once, and the line stays down.
TEST_F(Leituras, WaitingForDataOnADroppedLineEndsAtOnce) {
    EXPECT_FALSE(EstadoDriver.Porta.Caiu());
    impressora.Desliga();
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_FALSE(EstadoDriver.Porta.EsperaEntrada(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 1s);
    EXPECT_TRUE(EstadoDriver.Porta.Caiu());
}

// The line drops after the first chunk: the readout ends as soon as that is
// seen, with the code of a device error, and the file keeps what arrived.
TEST_F(Leituras, AReadoutEndsWithSixteenWhenTheLineDrops) {
    for (bool cmc7 : {true, false}) {
        SCOPED_TRACE(cmc7 ? "CMC-7" : "fiscal");
        auto f = Inicia(cmc7 ? Cmc7() : Fiscal(), '\x02');
        Envia("primeiro", "primeiro");
        const auto inicio = std::chrono::steady_clock::now();
        impressora.Desliga();
        ASSERT_EQ(f.wait_for(3s), std::future_status::ready);
        EXPECT_EQ(f.get(), 16);
        EXPECT_LT(std::chrono::steady_clock::now() - inicio, 3s);
        EXPECT_EQ(Arquivo(), armazenado_);
        // Every later exchange gives 16 too, whatever its CTS setting,
        // until the port is closed and opened on a live line.
        EXPECT_EQ(ecf_EstadoImpressora(), 16);
        EXPECT_EQ(ecf_AvancaLinhas("1"), 16);
        EXPECT_EQ(ecf_EstadoImpressora(), 16);
        ASSERT_EQ(ecf_FinalizaDLL(), 33);
        impressora.Reabre();
        ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
        impressora.AtendeCom("\x07");
        EXPECT_EQ(ecf_EstadoImpressora(), 7);
        impressora.Para();
    }
}

TEST_F(Leituras, AMebibyteReadoutArrivesWholeByteForByte) {
    std::mt19937 gerador(5);
    std::string dados(1 << 20, ' ');
    for (char& c : dados) {
        c = static_cast<char>(gerador() % 256);
        if (c == '\x03' || c == '\0') c = '\n';
    }
    dados += '\x03';
    const std::string esperado = ComCrLf("\n" + dados);
    {
        auto f = Inicia(Fiscal("7"), '\n');
        std::thread fluxo([&] { impressora.Envia(dados); });
        EXPECT_EQ(f.get(), 33);
        fluxo.join();
        const std::string arquivo = Arquivo();
        EXPECT_EQ(arquivo.size(), esperado.size());
        EXPECT_TRUE(arquivo == esperado);
    }
    impressora.Para();
    // The CMC-7 line stores zero bytes too.
    for (std::size_t i = 0; i < dados.size(); i += 1000) dados[i] = '\0';
    {
        auto f = Inicia(Cmc7(), '\x02');
        std::thread fluxo([&] { impressora.Envia(dados); });
        EXPECT_EQ(f.get(), 33);
        fluxo.join();
        const std::string arquivo = Arquivo();
        EXPECT_EQ(arquivo.size(), 1 + ComCrLf(dados).size());
        EXPECT_TRUE(arquivo == "\x02" + ComCrLf(dados));
    }
}
