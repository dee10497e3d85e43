// The printer behind a serial device server: socket:// and rfc2217:// lines
// through Debian's ser2net in front of the pty printer, and through a
// scripted RFC 2217 server of our own for what ser2net on a pty cannot show
// (a pty has no modem lines and no line errors).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/comandos.h"
#include "driver/estado.h"
#include "platform/telnet_rfc2217.h"
#include "platform/tipos_linha.h"
#include "support/ambiente.h"
#include "support/impressora.h"
#include "support/loopback.h"
#include "support/ser2net.h"
#include "vltxdrv.h"

using namespace std::chrono_literals;
using plataforma::TelnetRfc2217;

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

// Every byte value, 0xFF and CR NUL among them.
std::string TodosOsBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s + "\r" + std::string(1, '\0') + "\xff\xff\xff";
}

// ---------------------------------------------------------------- through ser2net

class AtravesDoSer2net : public ::testing::TestWithParam<Ser2net::Modo> {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ecf_LogSerial("0");
        ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
    }
    void TearDown() override {
        impressora.Para();
        ecf_FinalizaDLL();
    }

    Impressora impressora;
    Ser2net servidor{impressora.Caminho(), GetParam()};
    const std::string caminho = ambiente::DiretorioC() + "/leitura.txt";
};

std::string NomeModo(const ::testing::TestParamInfo<Ser2net::Modo>& info) {
    return info.param == Ser2net::Raw ? "Raw" : "Rfc2217";
}

INSTANTIATE_TEST_SUITE_P(Modos, AtravesDoSer2net, ::testing::Values(Ser2net::Raw, Ser2net::Rfc2217), NomeModo);

TEST_P(AtravesDoSer2net, EveryByteValuePassesUnchangedBothWays) {
    const std::string todos = TodosOsBytes();
    Guarda guarda;
    ASSERT_EQ(EstadoDriver.Porta.Envia(todos.data(), static_cast<std::uint32_t>(todos.size()), nullptr, 0), 1);
    EXPECT_EQ(impressora.Le(todos.size()), todos);
    impressora.Envia(todos);
    char lido[300];
    std::uint32_t n = 0;
    ASSERT_EQ(EstadoDriver.Porta.Recebe(lido, static_cast<std::uint32_t>(todos.size()), &n, 2), 1);
    EXPECT_EQ(std::string(lido, n), todos);
}

// Every row of the table, built with texts that hold 255 bytes and CR
// followed by a zero byte (a 40-byte text ending in CR before an empty one).
TEST_P(AtravesDoSer2net, EveryRowsFrameArrivesByteExact) {
    impressora.AtendeCom(std::string(1, '\0'));
    const std::string longo = "\xff" + std::string(38, 'x') + "\r";
    const std::int32_t layout[25] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                     14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
    bool crNul = false, ff = false;
    for (const Comando& c : tabela::Comandos) {
        SCOPED_TRACE(c.Exportacao);
        Guarda guarda;
        Argumentos a{{longo.c_str(), "", "\xff\xff\r", "12\xff", "\r", "", "\xff", "9"}, 1234, layout};
        MontaQuadro(c, a);
        const std::string quadro(reinterpret_cast<const char*>(EstadoDriver.BufComando), c.TamanhoQuadro);
        crNul |= quadro.find(std::string("\r\0", 2)) != std::string::npos;
        ff |= quadro.find('\xff') != std::string::npos;
        // The register read answers 33 for a whole reply; the others the printer's byte.
        EXPECT_EQ(ExecutaComando(c.TamanhoQuadro, 1, 1, c.Cts), std::string(c.Codigo) == "04" ? 33 : 0);
        EXPECT_EQ(impressora.UltimoQuadro(), quadro);
    }
    EXPECT_TRUE(crNul && ff) << "the texts did not put CR NUL and 255 into any frame";
    EXPECT_EQ(impressora.Quadros().size(), std::size(tabela::Comandos));
}

TEST_P(AtravesDoSer2net, RepliesSilenceAndCutRepliesGiveTheTtysCodes) {
    // A whole 30-byte reply, 255 and CR NUL in it.
    const std::string registro = std::string("\xff\xff\r\0", 4) + std::string(26, '7');
    impressora.AtendeCom(registro);
    EXPECT_EQ(ExecutaExportacao(Linha("ecf_LeRegistrador"), {{"1"}}), 33);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(EstadoDriver.BufTroca), 30), registro);
    // A silent printer: 100 ms for the one byte of a 0-second time-out.
    impressora.Atende([](const std::string&) { return std::string(); });
    {
        Guarda guarda;
        MontaQuadro(Linha("ecf_EstadoImpressora"), {});
        EXPECT_EQ(ExecutaComando(4, 1, 0, 0), 10);
    }
    // A reply cut by a pause: ten bytes, then twenty more 250 ms later,
    // which are not taken for the next command's reply.
    impressora.AtendeCortandoAPrimeira();
    char resposta[31];
    EXPECT_EQ(ecf_LeRegistrador("1", resposta), 10);
    EXPECT_EQ(ecf_EstadoImpressora(), 6);
}

// A readout of each kind streamed through the server into its file.
TEST_P(AtravesDoSer2net, ReadoutsOfBothKindsArriveWhole) {
    const std::string fiscal = "linha \xff 1\rlinha 2\r\x03";
    impressora.Atende([&](const std::string&) {
        impressora.Envia("R");
        std::this_thread::sleep_for(30ms);
        return fiscal;
    });
    EXPECT_EQ(ecf_LeECF("5", "1", "2", "0", caminho.c_str()), 33);
    EXPECT_EQ(ambiente::LeArquivo(caminho), "R" + fiscal);
    const std::string cmc7 = "<1234<5678>\xff\xff\x1b\x1b\x03";
    impressora.Atende([&](const std::string&) {
        impressora.Envia("\x02");
        std::this_thread::sleep_for(30ms);
        return cmc7;
    });
    EXPECT_EQ(ecf_LeCMC7(caminho.c_str()), 33);
    EXPECT_EQ(ambiente::LeArquivo(caminho), "\x02" + cmc7);
}

// The server goes away in the middle of an exchange: 16 for it and every
// later call, until the port is closed and opened again.
TEST_P(AtravesDoSer2net, ADropMidExchangeGivesSixteenAndReopeningConnectsAgain) {
    impressora.Atende([&](const std::string&) {
        servidor.Mata();
        return std::string();
    });
    EXPECT_EQ(ecf_AbreGaveta(), 16);
    EXPECT_EQ(ecf_EstadoImpressora(), 16);
    EXPECT_EQ(ecf_AbreGaveta(), 16);
    impressora.Para();
    ASSERT_EQ(ecf_FinalizaDLL(), 33);
    EXPECT_EQ(ecf_InicializaDLL(servidor.Url()), 3) << "nothing listens";
    servidor.Inicia(impressora.Caminho());
    ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
    impressora.AtendeCom("\x07");
    EXPECT_EQ(ecf_AbreGaveta(), 7);
    // Closing and opening again makes a new connection each time.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(ecf_FinalizaDLL(), 33);
        ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
        EXPECT_EQ(ecf_EstadoImpressora(), 7);
    }
}

TEST_P(AtravesDoSer2net, ADropMidReadoutGivesSixteen) {
    for (bool cmc7 : {true, false}) {
        SCOPED_TRACE(cmc7 ? "CMC-7" : "fiscal");
        std::filesystem::remove(caminho);
        std::promise<void> primeiro;
        impressora.Atende([&](const std::string&) {
            impressora.Envia("\x02");
            impressora.Envia("primeiro");
            primeiro.set_value();
            return std::string();
        });
        auto f = std::async(std::launch::async, [&] {
            return cmc7 ? ecf_LeCMC7(caminho.c_str()) : ecf_LeECF("5", "1", "2", "0", caminho.c_str());
        });
        primeiro.get_future().wait();
        // The server goes once the first chunk has come through it.
        const auto fim = std::chrono::steady_clock::now() + 5s;
        while (ambiente::LeArquivo(caminho) != "\x02primeiro" && std::chrono::steady_clock::now() < fim)
            std::this_thread::sleep_for(2ms);
        servidor.Mata();
        ASSERT_EQ(f.wait_for(3s), std::future_status::ready);
        EXPECT_EQ(f.get(), 16);
        EXPECT_EQ(ambiente::LeArquivo(caminho), "\x02primeiro");
        EXPECT_EQ(ecf_EstadoImpressora(), 16);
        impressora.Para();
        ASSERT_EQ(ecf_FinalizaDLL(), 33);
        servidor.Inicia(impressora.Caminho());
        ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
    }
}

// ---------------------------------------------------------------- a scripted RFC 2217 server

// One client at a time; takes (or refuses) what the driver asks for, keeps
// what it was sent, and answers each frame with the reply of the moment.
class ServidorRoteirizado {
public:
    struct Opcoes {
        bool aceitaPorta = true;
        bool aceitaBinaria = true;
        bool calado = false;  // answers no negotiation at all
        std::string pedidos;  // the server's own requests, sent ahead of its first answer
    };

    explicit ServidorRoteirizado(Opcoes opcoes) : opcoes_(opcoes) {
        int porta = 0;
        ouvinte_ = OuveLoopback(4, &porta);
        url_ = "rfc2217://127.0.0.1:" + std::to_string(porta);
        fio_ = std::thread([this] { Laco(); });
    }
    ~ServidorRoteirizado() {
        parar_ = true;
        fio_.join();
        close(ouvinte_);
        if (cliente_ >= 0) close(cliente_);
    }

    const char* Url() const { return url_.c_str(); }
    // Raw bytes to the client (Telnet commands, doubled data).
    void Envia(const std::string& bytes) {
        std::lock_guard<std::mutex> g(trava_);
        if (cliente_ >= 0) (void)!send(cliente_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void Responde(const std::string& bytesBrutos) {
        std::lock_guard<std::mutex> g(trava_);
        resposta_ = bytesBrutos;
    }
    // The data bytes the client sent, undoubled.
    std::string Dados() {
        std::lock_guard<std::mutex> g(trava_);
        return dados_;
    }
    // The COM-PORT-OPTION commands the client sent, each as "code:value bytes".
    std::vector<std::string> Comandos() {
        std::lock_guard<std::mutex> g(trava_);
        return comandos_;
    }
    // The client's answers to the server's own requests (verb, option).
    std::vector<std::string> Negociacoes() {
        std::lock_guard<std::mutex> g(trava_);
        return negociacoes_;
    }
    bool Aguarda(const std::function<bool()>& pronto) {
        for (auto fim = std::chrono::steady_clock::now() + 3s; std::chrono::steady_clock::now() < fim;) {
            if (pronto()) return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

private:
    void Laco() {
        while (!parar_) {
            pollfd pf[2] = {{ouvinte_, POLLIN, 0}, {cliente_, POLLIN, 0}};
            if (poll(pf, cliente_ >= 0 ? 2 : 1, 20) <= 0) continue;
            if (pf[0].revents & POLLIN) {
                int c = AceitaLoopback(ouvinte_);
                std::lock_guard<std::mutex> g(trava_);
                if (cliente_ >= 0) close(cliente_);
                cliente_ = c;
                estado_ = 0;
            }
            if (cliente_ >= 0 && (pf[1].revents & (POLLIN | POLLHUP))) {
                unsigned char buf[2048];
                ssize_t n = recv(cliente_, buf, sizeof buf, 0);
                std::lock_guard<std::mutex> g(trava_);
                if (n <= 0) {
                    close(cliente_);
                    cliente_ = -1;
                    continue;
                }
                const std::size_t antes = dados_.size();
                for (ssize_t i = 0; i < n; ++i) Byte(buf[i]);
                if (dados_.size() > antes && !resposta_.empty())
                    (void)!send(cliente_, resposta_.data(), resposta_.size(), MSG_NOSIGNAL);
            }
        }
    }

    void Responde(unsigned char verbo, unsigned char opcao) {
        const bool pede = verbo == TelnetRfc2217::WILL || verbo == TelnetRfc2217::DO;
        if (!pede || opcoes_.calado) return;
        if (!opcoes_.pedidos.empty()) {
            (void)!send(cliente_, opcoes_.pedidos.data(), opcoes_.pedidos.size(), MSG_NOSIGNAL);
            opcoes_.pedidos.clear();
        }
        bool aceita = opcao == TelnetRfc2217::OpcaoPorta ? (verbo == TelnetRfc2217::WILL && opcoes_.aceitaPorta)
                                                          : (opcao == 0 && opcoes_.aceitaBinaria);
        unsigned char r = verbo == TelnetRfc2217::WILL ? (aceita ? TelnetRfc2217::DO : TelnetRfc2217::DONT)
                                                       : (aceita ? TelnetRfc2217::WILL : TelnetRfc2217::WONT);
        const unsigned char b[3] = {TelnetRfc2217::IAC, r, opcao};
        (void)!send(cliente_, b, 3, MSG_NOSIGNAL);
    }

    // The client's bytes, one at a time: 0 data, 1 after IAC, 2 option, 3 in SB, 4 IAC in SB.
    void Byte(unsigned char b) {
        switch (estado_) {
            case 0:
                if (b == 255) estado_ = 1;
                else dados_ += static_cast<char>(b);
                break;
            case 1:
                if (b == 255) {
                    dados_ += '\xff';
                    estado_ = 0;
                } else if (b >= 251) {
                    verbo_ = b;
                    estado_ = 2;
                } else if (b == 250) {
                    sub_.clear();
                    estado_ = 3;
                } else {
                    estado_ = 0;
                }
                break;
            case 2:
                negociacoes_.push_back(std::to_string(verbo_) + " " + std::to_string(b));
                if (!primeiras_[verbo_ - 251][b]) {
                    primeiras_[verbo_ - 251][b] = true;
                    Responde(verbo_, b);
                }
                estado_ = 0;
                break;
            case 3:
                if (b == 255) estado_ = 4;
                else sub_ += static_cast<char>(b);
                break;
            case 4:
                if (b == 240) {
                    if (sub_.size() >= 2 && sub_[0] == 44) {
                        std::string c = std::to_string(static_cast<unsigned char>(sub_[1])) + ":";
                        for (std::size_t i = 2; i < sub_.size(); ++i)
                            c += (i > 2 ? " " : "") + std::to_string(static_cast<unsigned char>(sub_[i]));
                        comandos_.push_back(c);
                    }
                    estado_ = 0;
                } else {
                    sub_ += static_cast<char>(b);
                    estado_ = 3;
                }
                break;
        }
    }

    Opcoes opcoes_;
    int ouvinte_ = -1, cliente_ = -1;
    std::string url_;
    std::thread fio_;
    std::atomic<bool> parar_{false};
    std::mutex trava_;
    int estado_ = 0;
    unsigned char verbo_ = 0;
    bool primeiras_[5][256] = {};
    std::string sub_, dados_, resposta_;
    std::vector<std::string> comandos_, negociacoes_;
};

class Roteirizado : public ::testing::Test {
protected:
    void SetUp() override {
        ambiente::Limpa();
        ecf_LogSerial("0");
    }
    void TearDown() override { ecf_FinalizaDLL(); }
    static std::string Modem(int estado) { return Bytes({255, 250, 44, 107, estado, 255, 240}); }
    static std::string NotificaLinha(int estado) { return Bytes({255, 250, 44, 106, estado, 255, 240}); }
};

bool Contem(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_F(Roteirizado, TheOpeningNegotiatesAndSetsTheLine) {
    // The server's own requests reach the driver before the answers that end
    // its opening: echo, suppress-go-ahead and terminal type are refused.
    ServidorRoteirizado::Opcoes o;
    o.pedidos = Bytes({255, 251, 1, 255, 251, 3, 255, 253, 3, 255, 253, 24});
    ServidorRoteirizado servidor(o);
    ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
    ASSERT_TRUE(servidor.Aguarda([&] { return servidor.Negociacoes().size() >= 7; }));
    const auto n = servidor.Negociacoes();
    EXPECT_EQ(std::vector<std::string>(n.begin(), n.begin() + 3),
              (std::vector<std::string>{"251 44", "251 0", "253 0"}));
    for (const char* r : {"254 1", "254 3", "252 3", "252 24"}) EXPECT_TRUE(Contem(n, r)) << r;
    EXPECT_EQ(n.size(), 7u) << "no option answered twice";
    const auto c = servidor.Comandos();
    for (const char* k : {"1:0 0 37 128", "2:8", "3:1", "4:1", "5:3", "10:30", "11:241"})
        EXPECT_TRUE(Contem(c, k)) << k;
}

TEST_F(Roteirizado, CtsComesFromTheModemStateAndFlowControlFollowsTheSend) {
    ServidorRoteirizado servidor({});
    servidor.Responde(std::string(1, '\x05'));
    ASSERT_EQ(ecf_InicializaDLL(servidor.Url()), 33);
    // All modem lines down from the start: a line without modem signals, not held.
    servidor.Envia(Modem(0x00));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ecf_AbreGaveta(), 5);
    // CTS and DSR up, then CTS down: a send with CTS flow control is refused
    // at once and writes nothing; one without CTS goes.
    servidor.Envia(Modem(0x30));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ecf_AbreGaveta(), 5);
    servidor.Envia(Modem(0x21));
    std::this_thread::sleep_for(20ms);
    const std::size_t antes = servidor.Dados().size();
    EXPECT_EQ(ecf_AbreGaveta(), 8);
    EXPECT_EQ(servidor.Dados().size(), antes);
    EXPECT_EQ(ecf_EstadoImpressora(), 5);
    EXPECT_TRUE(Contem(servidor.Comandos(), "5:1")) << "flow control off for the send without CTS";
    servidor.Envia(Modem(0x31));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ecf_AbreGaveta(), 5);
    const auto c = servidor.Comandos();
    EXPECT_EQ(std::count(c.begin(), c.end(), "5:3"), 2) << "on at opening, and on again";
}

TEST_F(Roteirizado, LineStateNotificationsBecomeTheLineErrorBits) {
    ServidorRoteirizado servidor({});
    plataforma::Dispositivo d = plataforma::AbreDispositivo(servidor.Url());
    ASSERT_NE(d, 0);
    plataforma::ConfigLinha c{};
    ASSERT_TRUE(plataforma::LeConfigLinha(d, c));
    ASSERT_TRUE(plataforma::AplicaConfigLinha(d, c));
    struct Caso {
        int estado;
        std::uint32_t bits;
    };
    const Caso casos[] = {
        {0x08, plataforma::CE_FRAME},
        {0x04, plataforma::CE_RXPARITY},
        {0x02, plataforma::CE_OVERRUN},
        {0x10, plataforma::CE_BREAK},
        {0x61, 0},  // data ready, shift registers empty: no error
        {0x1E, plataforma::CE_FRAME | plataforma::CE_RXPARITY | plataforma::CE_OVERRUN | plataforma::CE_BREAK},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.estado);
        servidor.Envia(NotificaLinha(k.estado) + "z");
        ASSERT_TRUE(plataforma::EsperaEntrada(d, 2000));
        std::uint32_t erros = 0;
        plataforma::EstadoLinha e{};
        ASSERT_TRUE(plataforma::LeErrosLinha(d, &erros, &e));
        EXPECT_EQ(erros, k.bits);
        EXPECT_EQ(e.cbInQue, 1u) << "the notification is not data";
        ASSERT_TRUE(plataforma::PurgaLinha(d, plataforma::PURGE_RXCLEAR));
        ASSERT_TRUE(plataforma::LeErrosLinha(d, &erros, &e));
        EXPECT_EQ(erros, 0u) << "read once, then cleared";
        EXPECT_EQ(e.cbInQue, 0u);
    }
    EXPECT_TRUE(servidor.Aguarda([&] { return Contem(servidor.Comandos(), "12:1"); }))
        << "the input purge reaches the server";
    plataforma::FechaDispositivo(d);
}

// Sequences split anywhere across the socket's reads, and a read time-out
// that counts data bytes only: Telnet traffic keeps no read alive.
TEST_F(Roteirizado, SplitSequencesAndTelnetTrafficLeaveTheDataAndItsTimeOuts) {
    ServidorRoteirizado servidor({});
    plataforma::Dispositivo d = plataforma::AbreDispositivo(servidor.Url());
    ASSERT_NE(d, 0);
    plataforma::ConfigLinha c{};
    ASSERT_TRUE(plataforma::LeConfigLinha(d, c));
    ASSERT_TRUE(plataforma::AplicaConfigLinha(d, c));
    // Gaps of the byte-by-byte sender stay far inside the interval on a busy machine.
    ASSERT_TRUE(plataforma::AplicaTemposLinha(d, {2000, 100, 5000, 0, 0}));
    const std::string fluxo = "a" + Bytes({255, 255}) + "b" + Modem(0x30) + Bytes({255, 241, 255, 255}) + "c";
    std::thread pingado([&] {
        for (char b : fluxo) {
            servidor.Envia(std::string(1, b));
            std::this_thread::sleep_for(3ms);
        }
    });
    char lido[8];
    std::uint32_t n = 0;
    EXPECT_TRUE(plataforma::LeLinha(d, lido, 5, &n));
    pingado.join();
    EXPECT_EQ(std::string(lido, n), "a\xff" "b\xff" "c");
    // One data byte, then only notifications every 30 ms for a second.
    ASSERT_TRUE(plataforma::AplicaTemposLinha(d, {100, 100, 1000, 0, 0}));
    std::thread ruido([&] {
        servidor.Envia("x");
        for (int i = 0; i < 33; ++i) {
            std::this_thread::sleep_for(30ms);
            servidor.Envia(Modem(0x30));
        }
    });
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_TRUE(plataforma::LeLinha(d, lido, 2, &n));
    const auto duracao = std::chrono::steady_clock::now() - inicio;
    ruido.join();
    EXPECT_EQ(n, 1u);
    EXPECT_LT(duracao, 700ms) << "the interval after the data byte ended the read";
    plataforma::FechaDispositivo(d);
}

TEST_F(Roteirizado, AServerThatRefusesTheOptionCannotSetTheLine) {
    for (ServidorRoteirizado::Opcoes o : {ServidorRoteirizado::Opcoes{false, true, false, {}},
                                          ServidorRoteirizado::Opcoes{true, false, false, {}}}) {
        ServidorRoteirizado servidor(o);
        EXPECT_EQ(ecf_InicializaDLL(servidor.Url()), 4);
        EXPECT_EQ(ecf_FinalizaDLL(), 2) << "the port stays closed";
    }
}

// A server that never answers the negotiation (a raw port named rfc2217://):
// the open gives up after its bound.
TEST_F(Roteirizado, AServerThatNeverNegotiatesFailsWithinTheBound) {
    ServidorRoteirizado servidor({true, true, true, {}});
    const auto inicio = std::chrono::steady_clock::now();
    EXPECT_EQ(ecf_InicializaDLL(servidor.Url()), 4);
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, 5s);
}

TEST(EnderecoRede, MalformedOrUnreachableAddressesDoNotOpen) {
    ambiente::Limpa();
    const std::string livre = std::to_string(PortaLivre());
    for (std::string nome : {"socket://127.0.0.1:" + livre, "rfc2217://127.0.0.1:" + livre, std::string("socket://"),
                             std::string("socket://127.0.0.1"), std::string("socket://127.0.0.1:0"),
                             std::string("socket://127.0.0.1:70000"), std::string("socket://:80"),
                             std::string("socket://[::1:80"), std::string("rfc2217://127.0.0.1:12x")}) {
        SCOPED_TRACE(nome);
        EXPECT_EQ(ecf_InicializaDLL(nome.c_str()), 3);
    }
}

// ---------------------------------------------------------------- the Telnet side alone

TEST(Telnet, EverySequenceSurvivesBeingSplitAtAnyByte) {
    const std::string fluxo = "ab" + Bytes({255, 255}) + "\r" + std::string(1, '\0') +
                              Bytes({255, 250, 44, 107, 255, 255, 255, 240}) +  // a 255 inside a notification
                              Bytes({255, 251, 3, 255, 241, 255, 250, 44, 106, 8, 255, 240}) + "z" +
                              Bytes({255, 255});
    const std::string dados = "ab\xff\r" + std::string(1, '\0') + "z\xff";
    for (std::size_t corte = 0; corte <= fluxo.size(); ++corte) {
        SCOPED_TRACE(corte);
        TelnetRfc2217 t;
        unsigned char saida[64];
        const auto* b = reinterpret_cast<const unsigned char*>(fluxo.data());
        std::size_t n = t.Recebe(b, corte, saida);
        n += t.Recebe(b + corte, fluxo.size() - corte, saida + n);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(saida), n), dados);
        EXPECT_EQ(t.Modem(), 255);
        EXPECT_EQ(t.TiraErros(), plataforma::CE_FRAME);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Pendentes()), t.QuantosPendentes()),
                  Bytes({255, 254, 3}));
    }
}

TEST(Telnet, DoublingOutIsUndoneIn) {
    const std::string todos = TodosOsBytes();
    unsigned char escapado[600], volta[600];
    const std::size_t n =
        TelnetRfc2217::Escapa(reinterpret_cast<const unsigned char*>(todos.data()), todos.size(), escapado);
    EXPECT_EQ(n, todos.size() + 4);
    TelnetRfc2217 t;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(volta), t.Recebe(escapado, n, volta)), todos);
}

}  // namespace

// ---------------------------------------------------------------- the kinds of line

namespace {

TEST(TiposDeLinha, EachNameGoesToItsRowAndAHandleOfNoOpenLineToNone) {
    using namespace plataforma;
    EXPECT_EQ(TipoDoNome("socket://127.0.0.1:4000"), &LinhaSocket);
    EXPECT_EQ(TipoDoNome("rfc2217://[::1]:4000"), &LinhaRfc2217);
    EXPECT_EQ(TipoDoNome("/dev/ttyUSB0"), &LinhaSerial);
    EXPECT_EQ(TipoDoNome("COM1"), &LinhaSerial);
    // Only the exact prefixes make a network line.
    EXPECT_EQ(TipoDoNome("socket:/127.0.0.1:4000"), &LinhaSerial);
    EXPECT_EQ(TipoDoNome("SOCKET://127.0.0.1:4000"), &LinhaSerial);
    EXPECT_EQ(TipoDoNome(nullptr), nullptr);
    // Handles that name no row, or a row's line that is not open.
    for (Dispositivo d : {Dispositivo{0}, Dispositivo{-1}, Dispositivo{0xFF}, Dispositivo{0x100}, Dispositivo{0x101},
                          Dispositivo{0x301}, Dispositivo{0x401}, Dispositivo{0x1001}}) {
        SCOPED_TRACE(d);
        std::uint32_t n = 7;
        char b[4];
        ConfigLinha c{};
        EXPECT_FALSE(LeConfigLinha(d, c));
        EXPECT_FALSE(LeLinha(d, b, sizeof b, &n));
        EXPECT_EQ(n, 0u);
        n = 7;
        EXPECT_FALSE(EscreveLinha(d, "x", 1, &n));
        EXPECT_EQ(n, 0u);
        EXPECT_FALSE(EsperaEntrada(d, 0));
        EXPECT_FALSE(LinhaCaiu(d));
        EXPECT_FALSE(FechaDispositivo(d));
    }
}

}  // namespace
