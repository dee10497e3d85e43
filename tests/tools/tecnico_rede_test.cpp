// What vltx tells a technician beyond the library's one number: why a
// network port name does not connect, another process reading the device
// without a lock, a log switched on where no log can be written, the day's
// log found where the library writes it, and options after the calls.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"
#include "com_simulador.h"
#include "vltx/diagnostico_rede.h"
#include "vltx/lugar_do_log.h"

namespace {

class Tecnico2 : public ComSimulador {
protected:
    std::vector<std::string> Ambiente(const std::string& driveC) const {
        return {"VLTXDRV_DRIVE_C=" + driveC, "VLTXDRV_REGISTRY=" + dir_.Caminho() + "/reg",
                "VLTXDRV_LOCK_DIR=" + dir_.Caminho()};
    }
    std::string DriveC() const { return dir_.Caminho() + "/c"; }
    Execucao Vltx(std::vector<std::string> args, const std::string& driveC = {}) {
        std::vector<std::string> argv = {VLTX_BIN, "--lib", VLTXDRV_SO};
        argv.insert(argv.end(), args.begin(), args.end());
        return Executa(argv, Ambiente(driveC.empty() ? DriveC() : driveC));
    }
};

// A Telnet server that refuses the COM-PORT-OPTION and binary mode to every
// client, as a raw Telnet server or a ser2net accepter without rfc2217 does.
class ServidorQueRecusa {
public:
    ServidorQueRecusa() : ouvinte_(OuveLoopback(4, &porta_)) {
        fio_ = std::thread([this] {
            while (!parar_) {
                pollfd pf{ouvinte_, POLLIN, 0};
                if (poll(&pf, 1, 100) <= 0) continue;
                const int c = AceitaLoopback(ouvinte_);
                if (c < 0) continue;
                const unsigned char nao[] = {255, 254, 44, 255, 254, 0, 255, 252, 0};
                (void)!send(c, nao, sizeof nao, MSG_NOSIGNAL);
                // Hold the connection until the client has read the answer and left.
                char lixo[256];
                pollfd pc{c, POLLIN, 0};
                while (!parar_ && poll(&pc, 1, 100) >= 0)
                    if ((pc.revents & POLLIN) != 0 && recv(c, lixo, sizeof lixo, 0) <= 0) break;
                close(c);
            }
        });
    }
    ~ServidorQueRecusa() {
        parar_ = true;
        fio_.join();
        close(ouvinte_);
    }
    int Porta() const { return porta_; }

private:
    int porta_ = 0;
    int ouvinte_;
    std::atomic<bool> parar_{false};
    std::thread fio_;
};

}  // namespace

TEST_F(Tecnico2, ANetworkPortNobodyListensOnIsARefusedConnection) {
    const std::string alvo = "127.0.0.1:" + std::to_string(PortaLivre());
    Execucao r = Vltx({"--port", "socket://" + alvo, "EstadoImpressora"});
    EXPECT_EQ(r.Codigo, 2) << r.Saida;
    EXPECT_NE(r.Saida.find("= 3  the device cannot be opened\n! connection refused: nothing listens on " + alvo + " ("),
              std::string::npos)
        << r.Saida;
    EXPECT_EQ(r.Saida.find("no such device"), std::string::npos) << r.Saida;
}

TEST_F(Tecnico2, AHostNameThatDoesNotResolveIsSaidSo) {
    Execucao r = Vltx({"--port", "rfc2217://vltx-no-such-host.invalid:2217", "EstadoImpressora"});
    EXPECT_EQ(r.Codigo, 2) << r.Saida;
    EXPECT_NE(r.Saida.find("! name not found: vltx-no-such-host.invalid ("), std::string::npos) << r.Saida;
}

TEST_F(Tecnico2, AServerThatRefusesTheRfc2217OptionIsNamed) {
    ServidorQueRecusa servidor;
    const std::string alvo = "127.0.0.1:" + std::to_string(servidor.Porta());
    Execucao r = Vltx({"--port", "rfc2217://" + alvo, "EstadoImpressora"});
    EXPECT_EQ(r.Codigo, 2) << r.Saida;
    EXPECT_NE(r.Saida.find("= 4  "), std::string::npos) << r.Saida;
    EXPECT_NE(r.Saida.find("! the server at " + alvo + " refused the RFC 2217 option"), std::string::npos) << r.Saida;
}

TEST(DiagnosticoRede, EachConnectFailureHasItsOwnWords) {
    EXPECT_EQ(FalhaDeConexao(EHOSTUNREACH, "ecf.loja:2000", "10.0.0.9"),
              "no route to ecf.loja:2000 (10.0.0.9): check the address, the network and the firewall");
    EXPECT_EQ(FalhaDeConexao(ENETUNREACH, "10.0.0.9:2000", "").rfind("no route to 10.0.0.9:2000:", 0), 0u);
    EXPECT_EQ(FalhaDeConexao(0, "10.0.0.9:2000", "").rfind("time-out: 10.0.0.9:2000 did not answer within 3 s", 0), 0u);
    EXPECT_EQ(FalhaDeConexao(ECONNREFUSED, "h:1", "").rfind("connection refused: nothing listens on h:1", 0), 0u);
    EXPECT_EQ(PorQueNaoConecta("socket://semporta").front().rfind("not a network port name: socket://semporta", 0), 0u);
    EXPECT_EQ(PorQueNaoConecta("socket://h:70000").front().rfind("not a network port name", 0), 0u);
}

TEST_F(Tecnico2, AnotherProcessHoldingTheDeviceWithoutALockIsNamed) {
    Inicia();
    // Alone with the simulator, which holds the other end: no warning.
    Execucao so = Vltx({"--port", sim_->Link(), "EstadoImpressora"});
    EXPECT_EQ(so.Codigo, 0) << so.Saida;
    EXPECT_EQ(so.Saida.find("also open"), std::string::npos) << so.Saida;

    // A terminal program's way: open, no lock, no exclusive mode.
    const int fd = open(sim_->Escravo().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    Execucao r = Vltx({"--port", sim_->Link(), "EstadoImpressora"});
    close(fd);
    EXPECT_EQ(r.Codigo, 0) << r.Saida;
    EXPECT_NE(r.Saida.find("= 33  port open\n! also open in process " + std::to_string(getpid()) + " ("),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("without a lock"), std::string::npos) << r.Saida;
    EXPECT_EQ(r.Saida.find("vltx-sim"), std::string::npos) << r.Saida;
}

TEST_F(Tecnico2, TheLogSwitchedOnWhereNoLogCanBeWrittenIsSaidWithThePlace) {
    Inicia();
    const std::string arquivo = dir_.Caminho() + "/um-arquivo";
    std::ofstream(arquivo) << "x";
    Execucao r = Vltx({"--port", sim_->Link(), "LogSerial", "1", "LogSerial", "0"}, arquivo + "/c");
    EXPECT_EQ(r.Codigo, 0) << r.Saida;
    EXPECT_NE(r.Saida.find("= 1  log on (kept when the port is closed)\n"
                           "! the log switch is on, but no log can be written:\n"
                           "! the log directory " + arquivo + "/c (from VLTXDRV_DRIVE_C) does not exist and cannot be "
                           "made: " + arquivo + " is not a directory\n"),
              std::string::npos)
        << r.Saida;
    EXPECT_NE(r.Saida.find("!   the library looks, in this order, at:\n!     $VLTXDRV_DRIVE_C=" + arquivo + "/c\n"),
              std::string::npos)
        << r.Saida;
    // A directory that will be made on the first record is no reason for a warning.
    Execucao bom = Vltx({"--port", sim_->Link(), "LogSerial", "1", "LogSerial", "0"});
    EXPECT_EQ(bom.Saida.find("no log can be written"), std::string::npos) << bom.Saida;
}

TEST_F(Tecnico2, LogWithoutAFileDecodesTodaysLogWhereTheLibraryWritesIt) {
    Inicia();
    Execucao onde = Vltx({"log", "--where"});
    EXPECT_EQ(onde.Codigo, 0) << onde.Erros;
    EXPECT_EQ(onde.Saida, DriveC() + "\n");

    Execucao nada = Vltx({"log"});
    EXPECT_EQ(nada.Codigo, 1);
    EXPECT_NE(nada.Erros.find("no log today: " + ArquivoDoDia(DriveC(), std::time(nullptr)) + " does not exist"),
              std::string::npos)
        << nada.Erros;

    Execucao r = Vltx({"--port", sim_->Link(), "LogSerial", "1", "EstadoImpressora", "LogSerial", "0"});
    ASSERT_EQ(r.Codigo, 0) << r.Saida;
    Execucao hoje = Vltx({"log"});
    EXPECT_EQ(hoje.Codigo, 0) << hoje.Erros;
    EXPECT_NE(hoje.Saida.find(" TX 00 status (ecf_EstadoImpressora)"), std::string::npos) << hoje.Saida;
    Execucao resumo = Vltx({"log", "--summary"});
    EXPECT_EQ(resumo.Codigo, 0) << resumo.Erros;
    EXPECT_NE(resumo.Saida.find("1 frame sent"), std::string::npos) << resumo.Saida;
    EXPECT_EQ(hoje.Erros.find("last written on"), std::string::npos) << hoje.Erros;
    EXPECT_EQ(Vltx({"log", "--where", "outro.log"}).Codigo, 1);

    // The same weekday's file of an earlier week is still decoded, and said to be that day's.
    const std::string arquivo = ArquivoDoDia(DriveC(), std::time(nullptr));
    const timespec semanaPassada[2] = {{std::time(nullptr) - 7 * 86400, 0}, {std::time(nullptr) - 7 * 86400, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, arquivo.c_str(), semanaPassada, 0), 0);
    Execucao antiga = Vltx({"log"});
    EXPECT_EQ(antiga.Codigo, 0) << antiga.Erros;
    EXPECT_NE(antiga.Erros.find(arquivo + " was last written on "), std::string::npos) << antiga.Erros;
    EXPECT_NE(antiga.Saida.find(" TX 00 status"), std::string::npos) << antiga.Saida;
}

TEST_F(Tecnico2, OptionsMayFollowWholeCallsButNotStandAmongTheirArguments) {
    Inicia();
    Execucao depois = Vltx({"EstadoImpressora", "--port", sim_->Link(), "--check"});
    EXPECT_EQ(depois.Codigo, 0) << depois.Saida << depois.Erros;
    EXPECT_NE(depois.Saida.find("> InicializaDLL " + sim_->Link()), std::string::npos) << depois.Saida;

    // An argument that looks like a number with a sign is still an argument.
    Execucao sinal = Vltx({"--port", sim_->Link(), "AvancaLinhas", "-3"});
    EXPECT_EQ(sinal.Codigo, 0) << sinal.Saida << sinal.Erros;

    Execucao dentro = Vltx({"Pagamento", "01", "--port", sim_->Link(), "DINHEIRO", "2000"});
    EXPECT_EQ(dentro.Codigo, 1);
    EXPECT_NE(dentro.Erros.find("vltx: --port stands among the 3 arguments of Pagamento: an option goes before the "
                                "calls or after a whole call"),
              std::string::npos)
        << dentro.Erros;
    EXPECT_NE(Vltx({"EstadoImpressora", "--nada"}).Erros.find("unknown option --nada"), std::string::npos);
}
