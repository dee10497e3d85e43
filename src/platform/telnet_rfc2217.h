// The Telnet side of an RFC 2217 line (a serial port on a device server):
// the option negotiation, the COM-PORT-OPTION commands out, the server's
// notifications in, and 255 bytes doubled out and undoubled in. No I/O of
// its own: the line feeds it what the socket gave and sends what it asks.
// Fixed buffers only, so that an exchange allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plataforma {

class TelnetRfc2217 {
public:
    // Telnet bytes.
    static constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                                   SE = 240;
    static constexpr unsigned char OpcaoBinaria = 0, OpcaoPorta = 44;
    // COM-PORT-OPTION commands (the server answers each with the code + 100).
    static constexpr unsigned char SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                                   SetControl = 5, NotifyLineState = 6, NotifyModemState = 7,
                                   SetLineStateMask = 10, SetModemStateMask = 11, PurgeData = 12;
    static constexpr unsigned char ModemCts = 0x10;

    // Asks for the option and binary transmission both ways, and for the
    // notifications the line uses.
    void Inicia();
    // One COM-PORT-OPTION command with its value (255 bytes doubled):
    // false, and nothing queued, when the queue has no room for it.
    bool Comando(unsigned char codigo, const unsigned char* valor, std::size_t n);
    bool Comando(unsigned char codigo, unsigned char valor) { return Comando(codigo, &valor, 1); }
    bool Comando32(unsigned char codigo, std::uint32_t valor);

    // Takes n bytes from the socket; writes the data bytes among them to
    // dados (room for n) and returns their count. Sequences may be split
    // anywhere across calls.
    std::size_t Recebe(const unsigned char* bytes, std::size_t n, unsigned char* dados);
    // Data bytes with every 255 doubled, into saida (room for 2 * n).
    static std::size_t Escapa(const unsigned char* dados, std::size_t n, unsigned char* saida);

    // Control bytes waiting to go to the server (answers and commands), a
    // bounded queue: the line sends what the network takes and the rest
    // waits, so a server that does not read holds no one. A server that
    // floods requests while not reading loses answers, not memory.
    const unsigned char* Pendentes() const { return pendentes_; }
    std::size_t QuantosPendentes() const { return nPendentes_; }
    // The first n of them have gone.
    void Enviados(std::size_t n);

    // Every request of Inicia answered, one way or the other.
    bool Negociado() const;
    // The server took the option and binary transmission both ways.
    bool Aceito() const;
    // CE_ bits of the line errors notified since the last call.
    std::uint32_t TiraErros();
    // The modem state last notified; whether any line has ever been seen up.
    unsigned char Modem() const { return modem_; }
    bool ModemVisto() const { return modemVisto_; }

private:
    enum class Estado : unsigned char { Dados, Iac, Opcao, Sub, SubIac };
    // How one of our two options stands on one side.
    enum class Pedido : unsigned char { Nenhum, Esperando, Sim, Nao };

    void Poe(unsigned char a, unsigned char b, unsigned char c);
    void Negociacao(unsigned char verbo, unsigned char opcao);
    void Subnegociacao();
    Pedido* Lado(unsigned char verbo, unsigned char opcao);

    Estado estado_ = Estado::Dados;
    unsigned char verbo_ = 0;
    unsigned char sub_[16] = {};
    std::size_t nSub_ = 0;
    unsigned char pendentes_[512] = {};
    std::size_t nPendentes_ = 0;
    // Our side (WILL) and the server's side (DO) of each option we want.
    Pedido portaNossa_ = Pedido::Nenhum, binariaNossa_ = Pedido::Nenhum, binariaDele_ = Pedido::Nenhum;
    std::uint32_t erros_ = 0;
    unsigned char modem_ = 0;
    bool modemVisto_ = false;
};

}  // namespace plataforma
