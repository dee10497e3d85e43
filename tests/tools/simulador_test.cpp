// vltx-sim on its own line, without the driver: frames it cannot read, and
// the streams with their end bytes and their drills.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "processo.h"
#include "support/loopback.h"

namespace {

class Linha {
public:
    explicit Linha(const std::string& caminho) {
        fd_ = open(caminho.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Linha() {
        if (fd_ >= 0) close(fd_);
    }
    bool Aberta() const { return fd_ >= 0; }
    void Envia(const std::string& bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Reads until fim says the bytes are complete, or ms pass.
    template <class Fim>
    std::string LeAte(Fim fim, int ms = 5000) {
        std::string lido;
        const auto prazo = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!fim(lido)) {
            auto resta =
                std::chrono::duration_cast<std::chrono::milliseconds>(prazo - std::chrono::steady_clock::now());
            pollfd pf{fd_, POLLIN, 0};
            if (resta.count() <= 0 || poll(&pf, 1, static_cast<int>(resta.count())) <= 0) break;
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            lido.append(buf, static_cast<std::size_t>(n));
        }
        return lido;
    }
    std::string Le(std::size_t n) {
        return LeAte([n](const std::string& s) { return s.size() >= n; });
    }

private:
    int fd_ = -1;
};

const std::string Status = "\x1b" "f00";
// Readout type 4 over a range, and the CMC-7 reading.
const std::string Leitura = std::string("\x1b" "f16") + "4" + "01012024" + "31012024" + "0";
const std::string Cmc7 = "\x1b" "f53";

}  // namespace

TEST(Simulador, BytesOutsideAFrameAreDroppedAndAnUnknownCodeGetsOne) {
    DiretorioTemporario dir;
    SimuladorEmExecucao sim(dir.Caminho());
    Linha linha(sim.Link());
    ASSERT_TRUE(linha.Aberta());
    linha.Envia("xy\x1b" "f99abc");
    EXPECT_EQ(linha.Le(1), std::string(1, '\x01'));
    linha.Envia(Status);
    EXPECT_EQ(linha.Le(1), std::string(1, '\0'));
    const std::string papel = sim.Papel();
    EXPECT_NE(papel.find("** 2 bytes without a frame header discarded: xy\n"), std::string::npos) << papel;
    EXPECT_NE(papel.find("[99] unknown command"), std::string::npos);
    EXPECT_NE(papel.find("-> 1 unknown command\n[00] status"), std::string::npos) << papel;
}

TEST(Simulador, AReadoutEndsWithItsOnlyEtxAndACmc7LineWithAnUnescapedOne) {
    DiretorioTemporario dir;
    SimuladorEmExecucao sim(dir.Caminho(), {"--chunk", "64", "--pause", "5", "--lines", "10"});
    Linha linha(sim.Link());
    ASSERT_TRUE(linha.Aberta());
    auto etx = [](const std::string& s) { return !s.empty() && s.back() == '\x03'; };

    linha.Envia(Leitura);
    const std::string leitura = linha.LeAte(etx);
    ASSERT_GT(leitura.size(), 64u * 3);
    EXPECT_EQ(leitura[0], '\0');  // the status byte before the stream
    EXPECT_EQ(leitura.find('\0', 1), std::string::npos);
    EXPECT_EQ(leitura.find('\x03'), leitura.size() - 1);
    EXPECT_NE(leitura.find("DE 01012024 A 31012024\n"), std::string::npos);

    linha.Envia(Cmc7);
    const std::string cmc7 = linha.LeAte(etx);
    ASSERT_GE(cmc7.size(), 3u);
    EXPECT_EQ(cmc7[0], '\x02');
    EXPECT_EQ(cmc7.find('\x1b'), std::string::npos);
    EXPECT_EQ(cmc7.find('\x03'), cmc7.size() - 1);
}

TEST(Simulador, StalledAndPartialStreamsNeverSendTheirEnd) {
    DiretorioTemporario dir;
    SimuladorEmExecucao sim(dir.Caminho(), {"--stall=1@53", "--partial=16", "--chunk", "8", "--pause", "5"});
    Linha linha(sim.Link());
    ASSERT_TRUE(linha.Aberta());
    // The simulator answers one frame at a time: the status reply comes
    // only once the stream before it is over.
    auto fim = [](const std::string& s) { return !s.empty() && s.back() == '\0' && s.size() > 1; };
    linha.Envia(Cmc7 + Status);
    const std::string cmc7 = linha.LeAte(fim);
    ASSERT_EQ(cmc7.size(), 1u + 8u + 1u) << cmc7;  // byte 2, the first chunk, the status reply
    EXPECT_EQ(cmc7[0], '\x02');
    EXPECT_EQ(cmc7.find('\x03'), std::string::npos);

    linha.Envia(Leitura + Status);
    const std::string leitura = linha.LeAte(fim);
    EXPECT_EQ(leitura.find('\x03'), std::string::npos);
    EXPECT_EQ(leitura.substr(leitura.size() - 16), std::string("FIM DA LEITURA\n") + '\0');

    const std::string papel = sim.Papel();
    EXPECT_NE(papel.find("drill: stream paused 1 s after the first chunk, then stopped"), std::string::npos) << papel;
    EXPECT_NE(papel.find("drill: the stream ends without its end byte"), std::string::npos);
}

TEST(Simulador, ItRefusesToReplaceAFileWithItsLinkAndRemovesItsOwnLink) {
    DiretorioTemporario dir;
    const std::string ocupado = dir.Caminho() + "/ecf0";
    { std::ofstream(ocupado) << "x"; }
    Execucao r = Executa({VLTX_SIM_BIN, "--link", ocupado}, {}, {}, 5);
    EXPECT_EQ(r.Codigo, 2);
    EXPECT_NE(r.Erros.find("exists and is not a symbolic link"), std::string::npos) << r.Erros;
    EXPECT_EQ(LeArquivo(ocupado), "x");

    std::remove(ocupado.c_str());
    {
        SimuladorEmExecucao sim(dir.Caminho());
        char destino[256] = {};
        ASSERT_GT(readlink(sim.Link().c_str(), destino, sizeof destino - 1), 0);
        EXPECT_EQ(sim.Escravo(), destino);
    }
    EXPECT_NE(access(ocupado.c_str(), F_OK), 0);
}

// --tcp: the same printer on a TCP port, one client after another, its
// state kept across them; a client that leaves does not stop it.
TEST(Simulador, OnATcpPortItServesOneClientAfterAnother) {
    DiretorioTemporario dir;
    SimuladorEmExecucao sim(dir.Caminho(), {"--tcp", "127.0.0.1:0"});
    const std::string endereco = sim.Escravo();
    ASSERT_EQ(endereco.rfind("127.0.0.1:", 0), 0u) << endereco << sim.Erros();
    const int porta = std::stoi(endereco.substr(10));
    for (int cliente = 0; cliente < 2; ++cliente) {
        const int fd = ConectaLoopback(porta);
        ASSERT_GE(fd, 0) << "nothing listens on " << endereco;
        ASSERT_EQ(send(fd, Status.data(), Status.size(), 0), ssize_t(Status.size()));
        pollfd pf{fd, POLLIN, 0};
        char r = 'x';
        ASSERT_EQ(poll(&pf, 1, 3000), 1);
        EXPECT_EQ(recv(fd, &r, 1, 0), 1);
        EXPECT_EQ(r, '\0');
        close(fd);
    }
    EXPECT_FALSE(sim.Terminou(100)) << "a client leaving does not stop the simulator";
    const std::string papel = sim.Papel();
    EXPECT_NE(papel.find("client left"), std::string::npos) << papel;
    EXPECT_EQ(std::count(papel.begin(), papel.end(), '['), 2) << papel;
}
