#include "platform/telnet_rfc2217.h"

#include <cstring>

#include "platform/plataforma.h"

namespace plataforma {

void TelnetRfc2217::Poe(unsigned char a, unsigned char b, unsigned char c) {
    // A server flooding requests loses answers rather than memory.
    if (nPendentes_ + 3 > sizeof pendentes_) return;
    pendentes_[nPendentes_++] = a;
    pendentes_[nPendentes_++] = b;
    pendentes_[nPendentes_++] = c;
}

void TelnetRfc2217::Inicia() {
    Poe(IAC, WILL, OpcaoPorta);
    Poe(IAC, WILL, OpcaoBinaria);
    Poe(IAC, DO, OpcaoBinaria);
    portaNossa_ = binariaNossa_ = binariaDele_ = Pedido::Esperando;
}

void TelnetRfc2217::Enviados(std::size_t n) {
    if (n >= nPendentes_) {
        nPendentes_ = 0;
        return;
    }
    std::memmove(pendentes_, pendentes_ + n, nPendentes_ - n);
    nPendentes_ -= n;
}

bool TelnetRfc2217::Comando(unsigned char codigo, const unsigned char* valor, std::size_t n) {
    if (nPendentes_ + 6 + 2 * n > sizeof pendentes_) return false;
    pendentes_[nPendentes_++] = IAC;
    pendentes_[nPendentes_++] = SB;
    pendentes_[nPendentes_++] = OpcaoPorta;
    pendentes_[nPendentes_++] = codigo;
    nPendentes_ += Escapa(valor, n, pendentes_ + nPendentes_);
    pendentes_[nPendentes_++] = IAC;
    pendentes_[nPendentes_++] = SE;
    return true;
}

bool TelnetRfc2217::Comando32(unsigned char codigo, std::uint32_t valor) {
    const unsigned char v[4] = {static_cast<unsigned char>(valor >> 24), static_cast<unsigned char>(valor >> 16),
                                static_cast<unsigned char>(valor >> 8), static_cast<unsigned char>(valor)};
    return Comando(codigo, v, sizeof v);
}

std::size_t TelnetRfc2217::Escapa(const unsigned char* dados, std::size_t n, unsigned char* saida) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        saida[k++] = dados[i];
        if (dados[i] == IAC) saida[k++] = IAC;
    }
    return k;
}

std::size_t TelnetRfc2217::Recebe(const unsigned char* bytes, std::size_t n, unsigned char* dados) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = bytes[i];
        switch (estado_) {
            case Estado::Dados:
                if (b == IAC) estado_ = Estado::Iac;
                else dados[k++] = b;
                break;
            case Estado::Iac:
                estado_ = Estado::Dados;
                if (b == IAC) {
                    dados[k++] = IAC;
                } else if (b >= WILL) {
                    verbo_ = b;
                    estado_ = Estado::Opcao;
                } else if (b == SB) {
                    nSub_ = 0;
                    estado_ = Estado::Sub;
                }
                // Any other command (NOP, GA, AYT, a data mark...) carries nothing for a printer.
                break;
            case Estado::Opcao:
                Negociacao(verbo_, b);
                estado_ = Estado::Dados;
                break;
            case Estado::Sub:
                if (b == IAC) estado_ = Estado::SubIac;
                else if (nSub_ < sizeof sub_) sub_[nSub_++] = b;
                break;
            case Estado::SubIac:
                if (b == SE) {
                    Subnegociacao();
                    estado_ = Estado::Dados;
                } else {
                    // IAC IAC inside: one 255 of the value. Anything else is
                    // a broken sequence; keep reading to its SE.
                    if (b == IAC && nSub_ < sizeof sub_) sub_[nSub_++] = b;
                    estado_ = Estado::Sub;
                }
                break;
        }
    }
    return k;
}

TelnetRfc2217::Pedido* TelnetRfc2217::Lado(unsigned char verbo, unsigned char opcao) {
    const bool nosso = verbo == DO || verbo == DONT;  // DO/DONT speak of our side
    if (opcao == OpcaoPorta) return nosso ? &portaNossa_ : nullptr;
    if (opcao == OpcaoBinaria) return nosso ? &binariaNossa_ : &binariaDele_;
    return nullptr;
}

// Each request is answered once: an answer to our own request is not
// answered again, so two sides never loop.
void TelnetRfc2217::Negociacao(unsigned char verbo, unsigned char opcao) {
    const bool sim = verbo == DO || verbo == WILL;
    const bool nosso = verbo == DO || verbo == DONT;
    Pedido* lado = Lado(verbo, opcao);
    if (lado == nullptr) {
        // An option the line does not use: refused; a refusal needs no answer.
        if (sim) Poe(IAC, nosso ? WONT : DONT, opcao);
        return;
    }
    const Pedido antes = *lado;
    *lado = sim ? Pedido::Sim : Pedido::Nao;
    if (antes == Pedido::Esperando) return;
    if ((antes == Pedido::Sim) == sim) return;  // no change: nothing to say
    if (sim) Poe(IAC, nosso ? WILL : DO, opcao);
    else Poe(IAC, nosso ? WONT : DONT, opcao);
}

void TelnetRfc2217::Subnegociacao() {
    if (nSub_ < 3 || sub_[0] != OpcaoPorta) return;
    const unsigned char valor = sub_[2];
    switch (sub_[1]) {
        case 100 + NotifyLineState:
            if (valor & 0x10) erros_ |= CE_BREAK;
            if (valor & 0x08) erros_ |= CE_FRAME;
            if (valor & 0x04) erros_ |= CE_RXPARITY;
            if (valor & 0x02) erros_ |= CE_OVERRUN;
            break;
        case 100 + NotifyModemState:
            modem_ = valor;
            // Any line up (CTS, DSR, DCD, RI) shows a server that sees real modem lines.
            if (valor & 0xF0) modemVisto_ = true;
            break;
        default:
            break;  // the servers' echoes of our settings
    }
}

bool TelnetRfc2217::Negociado() const {
    return portaNossa_ != Pedido::Esperando && binariaNossa_ != Pedido::Esperando &&
           binariaDele_ != Pedido::Esperando;
}

bool TelnetRfc2217::Aceito() const {
    return portaNossa_ == Pedido::Sim && binariaNossa_ == Pedido::Sim && binariaDele_ == Pedido::Sim;
}

std::uint32_t TelnetRfc2217::TiraErros() {
    const std::uint32_t e = erros_;
    erros_ = 0;
    return e;
}

}  // namespace plataforma
