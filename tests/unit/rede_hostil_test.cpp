// Network lines against servers that misbehave on purpose: one that floods
// Telnet traffic, one that floods requests and never reads, one that
// refuses the connection with text and a close (ser2net with its port in
// use among them), and two processes after one address.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/plataforma.h"
#include "platform/telnet_rfc2217.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "support/loopback.h"
#include "support/ser2net.h"
#include "vltxdrv.h"

using namespace std::chrono_literals;
using plataforma::TelnetRfc2217;
using Relogio = std::chrono::steady_clock;

namespace {

// What the driver's opening needs to see from an RFC 2217 server that
// takes the option and binary transmission both ways.
const std::string Aceita("\xff\xfd\x2c\xff\xfd\x00\xff\xfb\x00", 9);

// One scripted client at a time on 127.0.0.1: roteiro gets the connected
// socket and runs until it returns or Parar() is true.
class Hostil {
public:
    using Roteiro = std::function<void(int cliente, Hostil& h)>;

    explicit Hostil(Roteiro roteiro, int recepcao = 0) : roteiro_(std::move(roteiro)) {
        ouvinte_ = OuveLoopback(4, &porta_);
        if (recepcao > 0) setsockopt(ouvinte_, SOL_SOCKET, SO_RCVBUF, &recepcao, sizeof recepcao);
        fio_ = std::thread([this] {
            while (!parar_) {
                pollfd pf{ouvinte_, POLLIN, 0};
                if (poll(&pf, 1, 20) <= 0) continue;
                const int c = AceitaLoopback(ouvinte_);
                if (c < 0) continue;
                roteiro_(c, *this);
                close(c);
            }
        });
    }
    ~Hostil() {
        parar_ = true;
        fio_.join();
        close(ouvinte_);
    }
    bool Parar() const { return parar_; }
    std::string Url(const char* esquema) const { return std::string(esquema) + "127.0.0.1:" + std::to_string(porta_); }

    // Sends all of bytes unless the client goes or the server is stopped.
    bool Envia(int c, const std::string& bytes) {
        std::size_t feitos = 0;
        while (feitos < bytes.size() && !parar_) {
            pollfd pf{c, POLLOUT, 0};
            if (poll(&pf, 1, 20) <= 0) continue;
            const ssize_t n = send(c, bytes.data() + feitos, bytes.size() - feitos, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno == EAGAIN) continue;
            if (n <= 0) return false;
            feitos += static_cast<std::size_t>(n);
        }
        return feitos == bytes.size();
    }
    // What the client sent so far, taken without waiting; false once it has gone.
    static bool Drena(int c, std::string* recebido = nullptr) {
        char buf[4096];
        for (;;) {
            const ssize_t n = recv(c, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0 && recebido != nullptr) recebido->append(buf, static_cast<std::size_t>(n));
            if (n > 0) continue;
            return n < 0 && errno == EAGAIN;
        }
    }

private:
    Roteiro roteiro_;
    int ouvinte_ = -1, porta_ = 0;
    std::atomic<bool> parar_{false};
    std::thread fio_;
};

class RedeHostil : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ecf_LogSerial("0");
    }
    void TearDown() override { ecf_FinalizaDLL(); }
};

template <class F>
std::chrono::milliseconds Mede(F&& f) {
    const auto inicio = Relogio::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Relogio::now() - inicio);
}

// A server that agrees to the option and then sends nothing but IAC NOP:
// no operation runs past its own deadline, whatever keeps arriving. The flood stops by itself after 20 s,
// so a driver that would drain it to its end still comes back.
TEST_F(RedeHostil, ATelnetNopFloodKeepsEveryReadWithinItsDeadline) {
    Hostil servidor([](int c, Hostil& h) {
        if (!h.Envia(c, Aceita)) return;
        std::string nops;
        for (int i = 0; i < 4096; ++i) nops += "\xff\xf1";
        for (const auto fim = Relogio::now() + 20s; Relogio::now() < fim && !h.Parar();)
            if (!Hostil::Drena(c) || !h.Envia(c, nops)) return;
    });
    const std::string url = servidor.Url("rfc2217://");
    std::int32_t aberta = 0, estado = 0, registrador = 0;
    const auto abrir = Mede([&] { aberta = ecf_InicializaDLL(url.c_str()); });
    ASSERT_EQ(aberta, 33);
    const auto status = Mede([&] { estado = ecf_EstadoImpressora(); });
    char resposta[VLTX_REGISTRADOR_TAMANHO] = {};
    ecf_ProximoTimeout("1");  // a shorter wait for the 30 bytes: 100 ms each + 1 s
    const auto leitura = Mede([&] { registrador = ecf_LeRegistrador("01", resposta); });
    EXPECT_EQ(estado, 10) << "no data came: a time-out";
    EXPECT_EQ(registrador, 10);
    // The read's time-out (100 ms per byte asked for + its seconds), then at
    // most the settling after a failure (over after 300 ms of quiet: NOPs
    // are no data). 20.3 s and 14.9 s before.
    EXPECT_GE(status, 2100ms);
    EXPECT_LT(status, 4500ms) << status.count();
    EXPECT_GE(leitura, 4000ms);
    EXPECT_LT(leitura, 6500ms) << leitura.count();
    EXPECT_LT(abrir, 2000ms);
}

// A server that floods requests, each wanting an answer, into a receive
// window of a few bytes and never reads: the answers wait in a bounded
// queue, no send waits for room, and the opening ends as for a server that
// never negotiates (4) within its bound. Before, it hung in a send until
// the server gave up (here after 20 s).
TEST_F(RedeHostil, ARequestFloodIntoAWindowThatNeverOpensCannotHoldTheOpening) {
    Hostil servidor(
        [](int c, Hostil& h) {
            std::string pedidos;
            for (int i = 0; i < 1024; ++i) pedidos += {'\xff', '\xfd', static_cast<char>(1 + i % 40)};
            for (const auto fim = Relogio::now() + 20s; Relogio::now() < fim && !h.Parar();)
                if (!h.Envia(c, pedidos)) return;
        },
        1);
    const std::string url = servidor.Url("rfc2217://");
    std::int32_t aberta = 0;
    const auto abrir = Mede([&] { aberta = ecf_InicializaDLL(url.c_str()); });
    EXPECT_EQ(aberta, 4);
    EXPECT_LT(abrir, 5000ms) << "the 3 s bound of an opening";
    EXPECT_EQ(ecf_FinalizaDLL(), 2) << "the port stays closed";
}

// The engine's queue of answers stays bounded however many requests come,
// keeps what did not go in order, and refuses a command it has no room for.
TEST(TelnetFila, AnswersWaitInABoundedQueueInOrder) {
    TelnetRfc2217 t;
    std::string pedidos;
    for (int i = 0; i < 5000; ++i) pedidos += {'\xff', '\xfd', static_cast<char>(1 + i % 40)};
    unsigned char dados[16];
    for (std::size_t i = 0; i < pedidos.size(); i += 3)
        t.Recebe(reinterpret_cast<const unsigned char*>(pedidos.data()) + i, 3, dados);
    EXPECT_LE(t.QuantosPendentes(), 512u);
    EXPECT_GE(t.QuantosPendentes(), 500u);
    EXPECT_FALSE(t.Comando(TelnetRfc2217::SetBaudRate, 1)) << "no room: refused, not cut";
    const std::string antes(reinterpret_cast<const char*>(t.Pendentes()), t.QuantosPendentes());
    t.Enviados(4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Pendentes()), t.QuantosPendentes()), antes.substr(4));
    t.Enviados(t.QuantosPendentes());
    EXPECT_EQ(t.QuantosPendentes(), 0u);
    EXPECT_TRUE(t.Comando(TelnetRfc2217::SetBaudRate, 1));
}

// A server that refuses the connection: text, then a close, while the line
// is being opened. 3 (the port cannot be opened), on both kinds of line.
TEST_F(RedeHostil, ABannerAndACloseWhileOpeningGiveThree) {
    Hostil servidor([](int c, Hostil& h) { h.Envia(c, "Port already in use\r\n"); });
    for (const char* esquema : {"socket://", "rfc2217://"}) {
        SCOPED_TRACE(esquema);
        const std::string url = servidor.Url(esquema);
        EXPECT_EQ(ecf_InicializaDLL(url.c_str()), 3);
        EXPECT_EQ(ecf_FinalizaDLL(), 2) << "the port stays closed";
    }
}

// Text that arrives after the opening and before a frame is sent (a late
// banner, the rest of an earlier conversation) is never that frame's reply.
TEST_F(RedeHostil, BytesThatCameBeforeTheFrameAreNotItsReply) {
    std::atomic<bool> falou{false};
    Hostil servidor([&](int c, Hostil& h) {
        std::this_thread::sleep_for(200ms);  // past the opening's wait for a refusal
        if (!h.Envia(c, "Port already in use\r\n")) return;
        falou = true;
        for (std::string quadro; !h.Parar(); quadro.clear()) {
            pollfd pf{c, POLLIN, 0};
            if (poll(&pf, 1, 20) <= 0) continue;
            if (!Hostil::Drena(c, &quadro) || (!quadro.empty() && !h.Envia(c, "\x05"))) return;
        }
    });
    const std::string url = servidor.Url("socket://");
    ASSERT_EQ(ecf_InicializaDLL(url.c_str()), 33);
    while (!falou) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(50ms);  // the text is in the socket
    EXPECT_EQ(ecf_EstadoImpressora(), 5) << "the printer's reply, not the 'P' of the text";
}

// ser2net itself, already serving another client and set to refuse a second
// one (its default): the second POS's opening gives 3; once the first has
// gone, the port opens and the printer answers.
class Ser2netOcupado : public ::testing::TestWithParam<Ser2net::Modo> {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ecf_LogSerial("0");
    }
    void TearDown() override { ecf_FinalizaDLL(); }
    Impressora impressora;
    Ser2net servidor{impressora.Caminho(), GetParam(), true};
};

TEST_P(Ser2netOcupado, ASecondClientIsRefusedWithThreeAndThePortOpensOnceFree) {
    impressora.AtendeCom("\x05");
    const int outro = ConectaLoopback(servidor.Porta());
    ASSERT_GE(outro, 0);
    // ser2net has taken the other client once that client's status frame
    // reaches the printer (a fixed pause is outrun on a busy machine).
    ASSERT_EQ(write(outro, "\x1b" "f00", 4), 4);
    for (const auto fim = Relogio::now() + 5s; Relogio::now() < fim && impressora.Quadros().empty();)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(impressora.Quadros().empty()) << "ser2net passes the other client's frame on";
    EXPECT_EQ(ecf_InicializaDLL(servidor.Url()), 3);
    close(outro);
    std::int32_t aberta = 0;
    for (const auto fim = Relogio::now() + 5s; Relogio::now() < fim && aberta != 33;) {
        aberta = ecf_InicializaDLL(servidor.Url());
        if (aberta != 33) std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(aberta, 33) << "ser2net lets go of the first client";
    EXPECT_EQ(ecf_EstadoImpressora(), 5);
}

INSTANTIATE_TEST_SUITE_P(Modos, Ser2netOcupado, ::testing::Values(Ser2net::Raw, Ser2net::Rfc2217),
                         [](const ::testing::TestParamInfo<Ser2net::Modo>& info) {
                             return std::string(info.param == Ser2net::Raw ? "Raw" : "Rfc2217");
                         });

// Two processes after one address: while one holds it open, the other's
// opening gives 3, under any name of the same server; once the holder is
// killed, the address opens again.
TEST_F(RedeHostil, WhileOneProcessHoldsAnAddressAnotherCannotOpenIt) {
    Hostil servidor([](int c, Hostil& h) {
        while (!h.Parar() && Hostil::Drena(c)) std::this_thread::sleep_for(5ms);
    });
    // The server takes one client at a time: the second connection waits in
    // its backlog, so that only the lock can refuse it.
    int canal[2];
    ASSERT_EQ(pipe(canal), 0);
    const std::string url = servidor.Url("socket://");
    const pid_t filho = fork();
    ASSERT_GE(filho, 0);
    if (filho == 0) {
        const std::int32_t r = ecf_InicializaDLL(url.c_str());
        (void)!write(canal[1], &r, sizeof r);
        pause();
        _exit(0);
    }
    std::int32_t r = 0;
    ASSERT_EQ(read(canal[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
    ASSERT_EQ(r, 33) << "the other process holds it";
    EXPECT_EQ(ecf_InicializaDLL(url.c_str()), 3);
    const std::string outroNome = "socket://localhost:" + url.substr(url.rfind(':') + 1);
    EXPECT_EQ(ecf_InicializaDLL(outroNome.c_str()), 3) << "another name of the same server";
    kill(filho, SIGKILL);
    waitpid(filho, nullptr, 0);
    close(canal[0]);
    close(canal[1]);
    std::int32_t aberta = 0;
    for (const auto fim = Relogio::now() + 5s; Relogio::now() < fim && aberta != 33;) {
        aberta = ecf_InicializaDLL(url.c_str());
        if (aberta != 33) std::this_thread::sleep_for(50ms);
    }
    EXPECT_EQ(aberta, 33) << "a holder that died leaves the address free";
}

// With the log on, each failure's system call and error follows its error
// record: a refused connection, a server's close while opening, an address
// another opening holds, a pseudo-terminal that hangs up.
TEST_F(RedeHostil, TheLogSaysWhyTheSystemFailedTheLine) {
    const auto log = [] { return ambiente::LeArquivo(ambiente::ArquivoLogHoje()); };
    ecf_LogSerial("1");
    const std::string livre = "socket://127.0.0.1:" + std::to_string(PortaLivre());
    EXPECT_EQ(ecf_InicializaDLL(livre.c_str()), 3);
    EXPECT_NE(log().find("] - 3\r\nErro de Sistema [111]: connect: ECONNREFUSED"), std::string::npos) << log();

    Hostil recusa([](int c, Hostil& h) { h.Envia(c, "Port already in use\r\n"); });
    EXPECT_EQ(ecf_InicializaDLL(recusa.Url("socket://").c_str()), 3);
    EXPECT_NE(log().find("] - 3\r\nErro de Sistema [0]: recv: EOF"), std::string::npos) << log();

    Hostil aceita([](int c, Hostil& h) {
        while (!h.Parar() && Hostil::Drena(c)) std::this_thread::sleep_for(5ms);
    });
    const std::string url = aceita.Url("socket://");
    ASSERT_EQ(ecf_InicializaDLL(url.c_str()), 33);
    plataforma::Dispositivo outro = plataforma::AbreDispositivo(url.c_str());
    EXPECT_EQ(outro, 0) << "held by the driver's opening";
    ASSERT_EQ(ecf_FinalizaDLL(), 33);

    Impressora impressora;
    ecf_LogSerial("1");
    ASSERT_EQ(ecf_InicializaDLL(impressora.Caminho()), 33);
    ecf_LogSerial("1");
    impressora.Desliga();
    EXPECT_EQ(ecf_EstadoImpressora(), 16);
    const std::string texto = log();
    const std::size_t queda = texto.rfind("] - 16\r\nErro de Sistema [");
    ASSERT_NE(queda, std::string::npos) << texto;
    const std::string motivo = texto.substr(queda + 8, texto.find('\r', queda + 8) - queda - 8);
    // The first call to meet the hang-up says so: a settings change, a read or a write.
    const bool eio = motivo.rfind("Erro de Sistema [5]: ", 0) == 0 && motivo.size() > 26 &&
                     motivo.compare(motivo.size() - 5, 5, ": EIO") == 0;
    EXPECT_TRUE(eio || motivo == "Erro de Sistema [0]: read: POLLHUP") << motivo;
}

}  // namespace
