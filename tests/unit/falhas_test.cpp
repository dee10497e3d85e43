// Field faults on a pseudo-terminal line and in the driver's directories:
// a reply cut by a pause, things planted where the driver keeps its files,
// two processes printing cheques at once, a file-size limit.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "driver/estado.h"
#include "platform/posix/escrita.h"
#include "platform/posix/trava_uucp.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "vltxdrv.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string Log() { return ambiente::LeArquivo(ambiente::ArquivoLogHoje()); }

const std::string ValorGerarLog =
    "/HKEY_LOCAL_MACHINE/Software/Corvane/Veltrix/V2.60/Gerar Log";

class FalhasPty : public ::testing::Test {
protected:
    void SetUp() override { ambiente::Limpa(); }
    void TearDown() override {
        impressora.Para();
        ecf_FinalizaDLL();
        ecf_LogSerial("0");
    }
    Impressora impressora;
};

// How long a call took, in real time.
template <typename F>
std::chrono::steady_clock::duration Duracao(F&& f) {
    const auto inicio = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - inicio;
}

}  // namespace

// The register reply stops for 250 ms after ten bytes: the read gives up
// with 10, and the twenty bytes that follow are not the next reply.
TEST_F(FalhasPty, TheRestOfAReplyCutByAPauseIsDropped) {
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    impressora.AtendeCortandoAPrimeira();
    char resposta[31];
    EXPECT_EQ(ecf_LeRegistrador("1", resposta), 10);
    EXPECT_EQ(ecf_EstadoImpressora(), 6);
}

// Whatever stands at the day's log path that is not the driver's own
// regular file is left alone, and the record is dropped: nothing is
// written through a link, nothing blocks on a FIFO.
TEST_F(FalhasPty, TheLogIsNeverWrittenThroughALinkOrAFifo) {
    const std::string log = ambiente::ArquivoLogHoje();
    const std::string vitima = ambiente::DiretorioC() + "/../vitima";
    std::ofstream(vitima) << "precious";
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    impressora.AtendeCom(std::string(1, '\0'));
    ecf_LogSerial("1");
    fs::remove(log);  // the registry lines of the opening made it

    ASSERT_EQ(symlink(vitima.c_str(), log.c_str()), 0);
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    EXPECT_EQ(ambiente::LeArquivo(vitima), "precious");
    fs::remove(log);

    const std::string ausente = ambiente::DiretorioC() + "/../criado-pelo-link";
    ASSERT_EQ(symlink(ausente.c_str(), log.c_str()), 0);
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    EXPECT_FALSE(fs::exists(ausente)) << "a dangling link's target is not created";
    fs::remove(log);

    ASSERT_EQ(link(vitima.c_str(), log.c_str()), 0);
    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    EXPECT_EQ(ambiente::LeArquivo(vitima), "precious");
    fs::remove(log);

    // A FIFO with a reader that never reads: its buffer would fill, and
    // then every logged export would block.
    ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
    const int leitor = open(log.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(leitor, 0);
    EXPECT_LT(Duracao([] {
                  for (int i = 0; i < 200; ++i) ecf_EstadoImpressora();
              }),
              5s);
    char byte;
    EXPECT_LE(read(leitor, &byte, 1), 0) << "nothing was written into the FIFO";
    close(leitor);
    fs::remove(log);

    EXPECT_EQ(ecf_EstadoImpressora(), 0);
    EXPECT_NE(Log().find("\r\nTX ["), std::string::npos) << "a plain file is logged to again";
}

// A FIFO as the stored log switch blocked the opening of the port for good;
// a link there would have us read someone else's file.
TEST_F(FalhasPty, TheSettingsValueIsARegularFileOfTheStoresOwn) {
    const std::string valor = ambiente::Registro() + ValorGerarLog;
    fs::create_directories(fs::path(valor).parent_path());
    ASSERT_EQ(mkfifo(valor.c_str(), 0600), 0);
    EXPECT_LT(Duracao([&] { EXPECT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33); }), 5s);
    EXPECT_EQ(ecf_LogSerial("1"), 1);
    // The FIFO stayed a FIFO until replaced whole by the value written.
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(valor)));
    EXPECT_EQ(ambiente::LeArquivo(valor), "1");

    const std::string alvo = ambiente::DiretorioC() + "/../um";
    std::ofstream(alvo) << "1";
    fs::remove(valor);
    ASSERT_EQ(symlink(alvo.c_str(), valor.c_str()), 0);
    ecf_LogSerial("0");
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    EXPECT_EQ(ecf_LogSerial("0"), 0);
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ambiente::LeArquivo(alvo), "1") << "the link's target is never written";

    // A hard link planted at the temporary name the store used to use.
    const std::string vitima = ambiente::DiretorioC() + "/../vitima2";
    std::ofstream(vitima) << "precious";
    const std::string antigo =
        fs::path(valor).parent_path().string() + "/.Gerar Log." + std::to_string(getpid()) + ".tmp";
    ASSERT_EQ(link(vitima.c_str(), antigo.c_str()), 0);
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ambiente::LeArquivo(vitima), "precious");
}

// Two processes print cheques at once with one directory for the copy:
// each cheque is read from its own layout, and none fails.
TEST(ChequesEmParalelo, TwoProcessesNeverShareTheCopy) {
    ambiente::Limpa();
    constexpr int Cheques = 200;
    pid_t filhos[2];
    for (int k = 0; k < 2; ++k) {
        const std::string layout = ambiente::DiretorioC() + "/../layout" + std::to_string(k) + ".ini";
        const std::string n = k == 0 ? "11" : "22";
        std::ofstream(layout) << "[Banco]\r\nValor=" << n << "," << n
                              << "\r\nExtenso=1,2,3,4\r\nFavorecido=5,6\r\nCidade=7,8\r\nMensagem=9,10\r\n"
                                 "Data=1,2,3\r\neSpacamento=2\r\n";
        filhos[k] = fork();
        ASSERT_GE(filhos[k], 0);
        if (filhos[k] == 0) {
            int erros = 0;
            for (int i = 0; i < Cheques; ++i) {
                // The port is closed: the file work runs, then 2 with nothing sent.
                const int r = ecf_ImprimeCheque("1", "2", "3", "4", "5", "6", "7", "Banco", layout.c_str());
                if (r != 2 || std::memcmp(EstadoDriver.BufComando + 4, (n + n).c_str(), 4) != 0) ++erros;
            }
            _exit(erros > 250 ? 250 : erros);
        }
    }
    for (pid_t filho : filhos) {
        int estado = 0;
        ASSERT_EQ(waitpid(filho, &estado, 0), filho);
        ASSERT_TRUE(WIFEXITED(estado));
        EXPECT_EQ(WEXITSTATUS(estado), 0) << "cheques that failed or went out with the other layout";
    }
}

// A host that runs under a file-size limit (RLIMIT_FSIZE, here 1000 bytes):
// a write past it would raise SIGXFSZ and kill the host. The driver never
// writes past it: the log keeps whole records up to the limit and drops
// the rest, a readout that does not fit gives 20 with the stream read to
// its end, and the port closes as ever, its lock file removed.
TEST_F(FalhasPty, AFileSizeLimitDropsWhatDoesNotFitAndTheHostLives) {
    constexpr rlim_t Limite = 1000;
    const std::string leitura = ambiente::DiretorioC() + "/leitura.txt";
    std::string fluxo;
    for (int i = 0; fluxo.size() < 2500; ++i) fluxo += "LINHA " + std::to_string(i) + " DA LEITURA\n";
    impressora.Atende([&](const std::string& quadro) {
        // The fiscal readout's answer and its stream; status 0 to the rest.
        return quadro.compare(2, 2, "16") == 0 ? std::string(1, '\0') + fluxo + "\x03" : std::string(1, '\0');
    });
    char nomeTrava[NAME_MAX + 1];
    ASSERT_TRUE(plataforma::NomeTravaUucp(impressora.Caminho(), nomeTrava, sizeof nomeTrava));
    const std::string trava = std::string(std::getenv("VLTXDRV_LOCK_DIR")) + "/" + nomeTrava;

    const pid_t filho = fork();
    ASSERT_GE(filho, 0);
    if (filho == 0) {
        const rlimit limite{Limite, Limite};
        if (setrlimit(RLIMIT_FSIZE, &limite) != 0) _exit(100);
        if (ecf_InicializaDLL(impressora.Caminho()) != 33) _exit(101);
        if (access(trava.c_str(), F_OK) != 0) _exit(102);
        ecf_LogSerial("1");
        // Far more records than the limit holds.
        for (int i = 0; i < 60; ++i)
            if (ecf_EstadoImpressora() != 0) _exit(103);
        if (ecf_LeECF("5", "1", "2", "0", leitura.c_str()) != 20) _exit(104);
        // The stream was read to its end: this reply is the status frame's own.
        if (ecf_EstadoImpressora() != 0) _exit(105);
        if (ecf_FinalizaDLL() != 33) _exit(106);
        _exit(0);
    }
    int estado = 0;
    ASSERT_EQ(waitpid(filho, &estado, 0), filho);
    ASSERT_FALSE(WIFSIGNALED(estado)) << "killed by signal " << WTERMSIG(estado);
    ASSERT_TRUE(WIFEXITED(estado));
    EXPECT_EQ(WEXITSTATUS(estado), 0) << "the step that failed: 100 + its number";
    EXPECT_NE(access(trava.c_str(), F_OK), 0) << "the lock file was left behind";

    const std::string log = Log();
    EXPECT_GT(log.size(), Limite - 60);
    EXPECT_LE(log.size(), Limite);
    // Whole records only: the last is a status frame sent or its reply.
    const std::string ultimo = log.substr(log.rfind("\r\n") + 2);
    const bool envio = ultimo.size() == 26 && ultimo.compare(0, 4, "TX [") == 0 && ultimo.substr(22) == "\x1b" "f00";
    const bool resposta = ultimo.size() == 23 && ultimo.compare(0, 4, "RX [") == 0 && ultimo[22] == '\0';
    EXPECT_TRUE(envio || resposta) << "a torn record: " << ultimo;
    const std::string arquivo = ambiente::LeArquivo(leitura);
    EXPECT_LE(arquivo.size(), Limite);
    EXPECT_EQ(arquivo.compare(0, 1, std::string(1, '\0')), 0) << "the reply byte comes first";
}

// A write that meets the limit all the same (another process appended to
// the file between the test of its room and the write) does not kill the
// writer: the signal is held back and taken off, and the write fails.
TEST(LimiteDeTamanho, AWriteThatMeetsTheLimitFailsWithoutTheSignal) {
    ambiente::Limpa();
    const std::string caminho = ambiente::DiretorioC() + "/cheio.bin";
    const pid_t filho = fork();
    ASSERT_GE(filho, 0);
    if (filho == 0) {
        const rlimit limite{100, 100};
        if (setrlimit(RLIMIT_FSIZE, &limite) != 0) _exit(100);
        const int fd = open(caminho.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) _exit(101);
        const std::string bytes(300, 'x');
        // Past the limit by the test of its room: nothing is written.
        if (plataforma::escrita::EscreveTudo(fd, bytes.data(), bytes.size()) || lseek(fd, 0, SEEK_END) != 0) _exit(102);
        {
            // Past the limit by the write itself.
            plataforma::escrita::SinalRetido retido;
            if (write(fd, bytes.data(), 100) != 100 || write(fd, bytes.data(), 1) != -1 || errno != EFBIG) _exit(103);
        }
        sigset_t pendentes;
        if (sigpending(&pendentes) != 0 || sigismember(&pendentes, SIGXFSZ)) _exit(104);
        _exit(0);
    }
    int estado = 0;
    ASSERT_EQ(waitpid(filho, &estado, 0), filho);
    ASSERT_FALSE(WIFSIGNALED(estado)) << "killed by signal " << WTERMSIG(estado);
    EXPECT_EQ(WEXITSTATUS(estado), 0) << "the step that failed: 100 + its number";
}
