// The tools for a technician: vltx --check for monitoring scripts, the
// reasons a port does not open, vltx log --summary, and the examples run
// against the simulator.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "com_simulador.h"
#include "vltx/decodifica_log.h"
#include "vltx/diagnostico.h"
#include "vltx/exportacoes.h"
#include "vltx/significado.h"

using namespace std::string_literals;

namespace {

bool Falha(const char* exportacao, std::int32_t valor, std::vector<std::string> argumentos = {},
           bool portaAberta = true) {
    const Exportacao* e = ProcuraExportacao(exportacao);
    Resultado r;
    r.Valor = valor;
    argumentos.resize(static_cast<std::size_t>(e->Aridade));
    return Falhou(*e, argumentos, r, portaAberta);
}

class Tecnico : public ComSimulador {
protected:
    std::vector<std::string> Ambiente() const {
        return {"VLTXDRV_DRIVE_C=" + dir_.Caminho() + "/c", "VLTXDRV_REGISTRY=" + dir_.Caminho() + "/reg",
                "VLTXDRV_LOCK_DIR=" + Travas()};
    }
    std::string Travas() const { return dir_.Caminho() + "/travas"; }
    Execucao Vltx(const std::string& porta, std::vector<std::string> args, const std::string& entrada = {}) {
        std::vector<std::string> argv = {VLTX_BIN, "--port", porta, "--lib", VLTXDRV_SO};
        argv.insert(argv.end(), args.begin(), args.end());
        return Executa(argv, Ambiente(), entrada);
    }
    // The lock file name other serial tools give the simulator's slave.
    std::string ArquivoDeTrava() const {
        std::string nome = sim_->Escravo().substr(5);  // behind "/dev/"
        for (char& c : nome)
            if (c == '/') c = '_';
        return Travas() + "/LCK.." + nome;
    }

};

}  // namespace

// ------------------------------------------------------------ --check

TEST(Verificacao, EachExportFailsOnlyOnTheDriversOwnFailureCodes) {
    // Opening: 33 and 1 leave the port open; everything else is a failure.
    EXPECT_FALSE(Falha("InicializaDLL", 33));
    EXPECT_FALSE(Falha("InicializaDLL", 1));
    EXPECT_TRUE(Falha("InicializaDLL", 3));
    EXPECT_TRUE(Falha("InicializaDLL", 4));
    // Closing a port that is not open leaves it closed, as asked.
    EXPECT_FALSE(Falha("FinalizaDLL", 2, {}, false));
    EXPECT_TRUE(Falha("FinalizaDLL", 16));
    // A command: the line failures, and 2 only while the port is closed.
    EXPECT_FALSE(Falha("VendaItem", 0));
    EXPECT_FALSE(Falha("VendaItem", 1));  // the printer's word (an unknown code), not the driver's
    EXPECT_FALSE(Falha("VendaItem", 2, {}, true));
    EXPECT_TRUE(Falha("VendaItem", 2, {}, false));
    for (int codigo : {3, 10, 16, 19, 29}) EXPECT_TRUE(Falha("EstadoImpressora", codigo)) << codigo;
    for (int codigo : {20, 28, 30, 33, 255}) EXPECT_FALSE(Falha("EstadoImpressora", codigo)) << codigo;
    // The driver's own steps: only 33 is done.
    EXPECT_FALSE(Falha("LeRegistrador", 33));
    EXPECT_TRUE(Falha("LeRegistrador", 0));
    EXPECT_TRUE(Falha("LeECF", 20, {"4", "", "", "", "/tmp/x"}));
    EXPECT_FALSE(Falha("LeECF", 33, {"5", "", "", "", "/tmp/x"}));
    EXPECT_FALSE(Falha("LeECF", 20, {"1", "", "", "", ""}));  // a plain command: 20 is a status byte
    EXPECT_TRUE(Falha("LeCMC7", 20, {"/tmp/x"}));
    EXPECT_FALSE(Falha("LeCMC7", 33, {"/tmp/x"}));
    EXPECT_TRUE(Falha("LeCMC7", 10, {"/tmp/x"}));
    EXPECT_TRUE(Falha("ImprimeCheque", 21));
    EXPECT_FALSE(Falha("ImprimeCheque", 0));
    // Values, not codes.
    EXPECT_FALSE(Falha("ProximoTimeout", 10, {"10"}));
    EXPECT_FALSE(Falha("LogSerial", 0, {"0"}));
    EXPECT_FALSE(Falha("VersaoDLL", 16));
}

TEST_F(Tecnico, CheckTurnsAFailedCallIntoTheExitStatusAndAStatusByteDoesNot) {
    Inicia({"--silent=00", "--status=1@11"});
    Execucao bem = Vltx(sim_->Link(), {"--check", "ImprimeCabecalho", "AbreGaveta"});
    EXPECT_EQ(bem.Codigo, 0) << bem.Saida << bem.Erros;  // 1 is the printer's answer
    EXPECT_NE(bem.Saida.find("= 1  printer status 1\n"), std::string::npos) << bem.Saida;

    Execucao mal = Vltx(sim_->Link(), {"--check", "ProximoTimeout", "1", "EstadoImpressora", "AbreGaveta"});
    EXPECT_EQ(mal.Codigo, 4) << mal.Saida << mal.Erros;
    EXPECT_EQ(mal.Erros, "vltx: 1 call returned a failure code\n");
    // The calls after the failure ran all the same.
    EXPECT_NE(mal.Saida.find("> AbreGaveta\n= 0  printer status 0\n"), std::string::npos) << mal.Saida;
}

// ------------------------------------------------------------ why a port does not open

TEST_F(Tecnico, AMissingDeviceIsNamedAsSuch) {
    Execucao r = Vltx(dir_.Caminho() + "/nada", {"--check", "EstadoImpressora"});
    EXPECT_EQ(r.Codigo, 2);
    EXPECT_EQ(r.Saida, "> InicializaDLL " + dir_.Caminho() + "/nada\n= 3  the device cannot be opened\n! no such device: " +
                           dir_.Caminho() + "/nada does not exist\n");
    // A link left behind by a simulator that was killed.
    const std::string link = dir_.Caminho() + "/ecf9";
    ASSERT_EQ(symlink("/dev/pts/nao-ha", link.c_str()), 0);
    EXPECT_NE(Vltx(link, {"EstadoImpressora"}).Saida.find("! no such device: " + link +
                                                           " is a link to /dev/pts/nao-ha, which does not exist"),
              std::string::npos);
}

TEST_F(Tecnico, ALockFileOfALiveProcessNamesItsPid) {
    Inicia();
    ASSERT_EQ(mkdir(Travas().c_str(), 0755), 0);
    const pid_t dono = fork();
    if (dono == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(dono, 0);
    {
        std::ofstream trava(ArquivoDeTrava());
        char texto[16];
        std::snprintf(texto, sizeof texto, "%10d\n", static_cast<int>(dono));
        trava << texto;
    }
    Execucao r = Vltx(sim_->Link(), {"EstadoImpressora"});
    kill(dono, SIGKILL);
    waitpid(dono, nullptr, 0);
    EXPECT_EQ(r.Codigo, 2) << r.Saida;
    EXPECT_NE(r.Saida.find("! locked: the lock file " + ArquivoDeTrava() + " names process " + std::to_string(dono) +
                           " ("),
              std::string::npos)
        << r.Saida;
    // Its process gone, the lock is stale: the driver takes it over and the port opens.
    Execucao depois = Vltx(sim_->Link(), {"--check", "EstadoImpressora"});
    EXPECT_EQ(depois.Codigo, 0) << depois.Saida;
}

TEST_F(Tecnico, ADeviceHeldByAnotherProcessNamesTheHolder) {
    Inicia();
    const int fd = open(sim_->Escravo().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    Execucao r = Vltx(sim_->Link(), {"EstadoImpressora"});
    close(fd);
    EXPECT_EQ(r.Codigo, 2);
    // The flock's holder alone, not the simulator that keeps the slave open too.
    EXPECT_NE(r.Saida.find("! in use: another process holds the device's lock (flock): held by " +
                           std::to_string(getpid()) + " ("),
              std::string::npos)
        << r.Saida;
    EXPECT_EQ(r.Saida.find("vltx-sim"), std::string::npos) << r.Saida;
}

TEST_F(Tecnico, ADeviceWithoutPermissionGivesTheGroupHint) {
    Inicia();
    const std::string escravo = sim_->Escravo();
    std::vector<std::string> argv = {VLTX_BIN, "--port", escravo, "--lib", VLTXDRV_SO, "EstadoImpressora"};
    std::string esperado;
    if (geteuid() == 0) {
        // Root opens anything: the device goes to the group dialout and vltx runs as nobody.
        const group* dialout = getgrnam("dialout");
        ASSERT_NE(dialout, nullptr);
        ASSERT_EQ(chown(escravo.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(chmod(escravo.c_str(), 0660), 0);
        argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        esperado = "! permission denied: " + escravo + " is crw-rw---- root:dialout, and nobody may not read and write it\n"
                   "!   hint: the group dialout may use it and nobody is not in it: sudo usermod -aG dialout nobody, "
                   "then log in again\n";
    } else {
        ASSERT_EQ(chmod(escravo.c_str(), 0), 0);
        esperado = "! permission denied: " + escravo + " is c---------";
    }
    Execucao r = Executa(argv, {"VLTXDRV_DRIVE_C=/nonexistent/c", "VLTXDRV_REGISTRY=/nonexistent/reg"});
    EXPECT_EQ(r.Codigo, 2) << r.Saida << r.Erros;
    EXPECT_NE(r.Saida.find("= 3  the device cannot be opened\n" + esperado), std::string::npos) << r.Saida << r.Erros;
}

// The permission judged for someone else: the kernel's order (owner, else
// group, else others), through credentials the test chooses.
TEST(Diagnostico, PermissionIsJudgedAsTheKernelJudgesIt) {
    DiretorioTemporario dir;
    const std::string arquivo = dir.Caminho() + "/porta";
    std::ofstream(arquivo) << "x";
    // An owner who is not root, for root is never refused.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(arquivo.c_str(), 4243, static_cast<gid_t>(-1)), 0);
    }
    struct stat st {};
    ASSERT_EQ(stat(arquivo.c_str(), &st), 0);
    const std::string grupo = getgrgid(st.st_gid) != nullptr ? getgrgid(st.st_gid)->gr_name : std::to_string(st.st_gid);

    Credenciais estranho;
    estranho.Uid = st.st_uid + 4242;
    estranho.Gid = st.st_gid + 4242;
    estranho.Usuario = "ana";
    ASSERT_EQ(chmod(arquivo.c_str(), 0660), 0);
    std::vector<std::string> l = PorQueNaoAbre(arquivo, estranho);
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].substr(0, 34 + arquivo.size()), "permission denied: " + arquivo + " is -rw-rw---- ");
    EXPECT_NE(l[0].find(":" + grupo + ", and ana may not read and write it"), std::string::npos) << l[0];
    EXPECT_EQ(l[1], "  hint: the group " + grupo + " may use it and ana is not in it: sudo usermod -aG " + grupo +
                        " ana, then log in again");

    // In the group (a supplementary one): the permission is not the cause.
    Credenciais membro = estranho;
    membro.Grupos = {st.st_gid};
    l = PorQueNaoAbre(arquivo, membro);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0], "not a device: " + arquivo + " is no character device; the driver drives serial lines only");

    // The owner is judged by the owner's bits alone, whatever the group may.
    Credenciais dono = estranho;
    dono.Uid = st.st_uid;
    dono.Grupos = {st.st_gid};
    ASSERT_EQ(chmod(arquivo.c_str(), 0066), 0);
    l = PorQueNaoAbre(arquivo, dono);
    ASSERT_EQ(l.size(), 1u) << l.back();
    EXPECT_EQ(l[0].substr(0, 19), "permission denied: ");

    // The group grants nothing: no hint to join it.
    ASSERT_EQ(chmod(arquivo.c_str(), 0600), 0);
    l = PorQueNaoAbre(arquivo, estranho);
    EXPECT_EQ(l.size(), 1u);

    // Root is never refused.
    Credenciais root;
    ASSERT_EQ(chmod(arquivo.c_str(), 0), 0);
    l = PorQueNaoAbre(arquivo, root);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].substr(0, 13), "not a device:");
}

// ------------------------------------------------------------ vltx log --summary

namespace {
std::string Tx(const char* hora, const std::string& quadro) { return "\r\nTX [" + std::string(hora) + "] - " + quadro; }
std::string Rx(const char* hora, const std::string& bytes) { return "\r\nRX [" + std::string(hora) + "] - " + bytes; }
std::string Erro(const char* hora, const char* codigo) {
    return "\r\nErro DLL [" + std::string(hora) + "] - " + codigo;
}
}  // namespace

TEST(Resumo, CountsTimesFailuresAndDiscardedBytes) {
    const std::string venda = "\x1b" "f05" + std::string(96, '1');
    const std::string log = "Inicio LOG: Tue Dec 08 23:59:00 2026\r\n\r\n" +
                            Erro("23:59:00 000ms", "3") +                              // the opening failed
                            Tx("23:59:01 000ms", "\x1b" "f11") + Rx("23:59:01 020ms", "\x00"s) +
                            Tx("23:59:59 900ms", venda) + Rx("00:00:00 100ms", "\x00"s) +  // over midnight
                            Tx("00:00:01 000ms", venda) + Rx("00:00:01 050ms", "\x07") +
                            Tx("00:00:02 000ms", "\x1b" "f00") + Erro("00:00:04 001ms", "10") +
                            "\r\nDescartado [00:00:04 500ms] - \x06\r\nAB" +
                            Tx("00:00:05 000ms", "\x1b" "f00") + Rx("00:00:05 010ms", "\r\n") +
                            Tx("??:00:06 000ms", "\x1b" "f00") + Rx("00:00:06 010ms", "\x00"s);
    const std::string s = ResumoDoLog(log);
    EXPECT_EQ(s.substr(0, s.find('\n')), "6 frames sent, 2 failures, 1 discarded record") << s;
    EXPECT_NE(s.find("  05 venda de item (ecf_VendaItem)          2       2       0       125 ms       200 ms\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("  00 status (ecf_EstadoImpressora)          3       2       1        10 ms        10 ms\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Failures\n"
                     "  23:59:00.000  no frame pending (opening or closing the port): 3 the device cannot be opened\n"
                     "  00:00:04.001  00 status (ecf_EstadoImpressora), 2001 ms after its TX: 10 fewer bytes received "
                     "than asked for (time-out)\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Slowest exchanges (TX to RX)\n"
                     "  23:59:59.900     200 ms  05 venda de item (ecf_VendaItem)\n"
                     "  00:00:01.000      50 ms  05 venda de item (ecf_VendaItem)\n"
                     "  23:59:01.000      20 ms  11 abre cupom (ecf_ImprimeCabecalho)\n"
                     "  00:00:05.000      10 ms  00 status (ecf_EstadoImpressora)\n\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Status bytes other than 0\n"
                     "  05 venda de item (ecf_VendaItem): 7 x1\n"
                     "  00 status (ecf_EstadoImpressora): 10 x1\n"),
              std::string::npos)
        << s;
    EXPECT_NE(s.find("Discarded bytes (late or cut replies)\n"
                     "  00:00:04.500  4 bytes after 00 status (ecf_EstadoImpressora): \"\\x06\\x0aAB\"\n"
                     "  4 bytes in 1 record\n"),
              std::string::npos)
        << s;
}

TEST(Resumo, VltxLogSummaryReadsAFileAndRefusesAMissingOne) {
    Execucao r = Executa({VLTX_BIN, "log", "--summary", VLTX_TESTES_DIR "/conhecido.log"});
    ASSERT_EQ(r.Codigo, 0) << r.Erros;
    EXPECT_EQ(r.Saida.substr(0, r.Saida.find('\n')), "10 frames sent, 1 failure, 0 discarded records");
    EXPECT_NE(r.Saida.find("10 fewer bytes received than asked for (time-out)"), std::string::npos) << r.Saida;
    Execucao falta = Executa({VLTX_BIN, "log", "--summary", VLTX_TESTES_DIR "/nao-existe.log"});
    EXPECT_EQ(falta.Codigo, 1);
    // Without a file, today's log: none where the library would write it.
    EXPECT_EQ(Executa({VLTX_BIN, "log", "--summary"}, {"VLTXDRV_DRIVE_C=" VLTX_TESTES_DIR "/nao-existe"}).Codigo, 1);
    EXPECT_EQ(Executa({VLTX_BIN, "log", "--summary", "--help"}).Codigo, 0);
}

// ------------------------------------------------------------ examples/

TEST_F(Tecnico, TheCExamplePrintsAReceiptAndStopsAtAWrongResult) {
    Inicia();
    Execucao r = Executa({VLTX_RECIBO_BIN, sim_->Link()}, Ambiente());
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    EXPECT_NE(r.Saida.find("register 002           002000000000000000000000000002\n"), std::string::npos) << r.Saida;
    const std::string papel = sim_->Papel();
    EXPECT_NE(papel.find("CUPOM FISCAL 000001"), std::string::npos) << papel;
    EXPECT_NE(papel.find("preco       1590"), std::string::npos);
    EXPECT_NE(papel.find("item 002"), std::string::npos);
    EXPECT_NE(papel.find("valor      3000"), std::string::npos);
    EXPECT_NE(papel.find("receipt closed"), std::string::npos);

    sim_.reset();
    Inicia({"--status=7@05"});
    Execucao mal = Executa({VLTX_RECIBO_BIN, sim_->Link()}, Ambiente());
    EXPECT_EQ(mal.Codigo, 1);
    EXPECT_EQ(mal.Erros, "recibo: ecf_VendaItem returned 7, not 0\n");
    EXPECT_NE(mal.Saida.find("ecf_FinalizaDLL        33\n"), std::string::npos) << mal.Saida;  // closed all the same
    EXPECT_EQ(sim_->Papel().find("receipt closed"), std::string::npos);

    Execucao semPorta = Executa({VLTX_RECIBO_BIN, dir_.Caminho() + "/nada"}, Ambiente());
    EXPECT_EQ(semPorta.Codigo, 1);
    EXPECT_NE(semPorta.Erros.find("returned 3"), std::string::npos);
}

TEST_F(Tecnico, TheScriptExamplePrintsTheSameReceiptUnderCheck) {
    Inicia();
    Execucao r = Vltx(sim_->Link(), {"--check", "--script", VLTX_EXEMPLOS_DIR "/recibo.vltx"});
    ASSERT_EQ(r.Codigo, 0) << r.Saida << r.Erros;
    EXPECT_EQ(Conta(r.Saida, "= 0  printer status 0\n"), 5) << r.Saida;
    EXPECT_NE(r.Saida.find("= 33  answer \"002000000000000000000000000002\""), std::string::npos) << r.Saida;
    EXPECT_NE(sim_->Papel().find("receipt closed"), std::string::npos);
}
