// Network lines, on every system: a TCP connection made within a bounded
// time, with the read time-outs, purges, queue state and drop rules of a
// local port. A raw socket carries bytes only (no settings, no CTS: never
// held); an RFC 2217 line also carries the settings, CTS and the line
// errors. The socket calls themselves are the system's (soquete.h).
#include "platform/linha_rede.h"

#include <cstdlib>
#include <cstring>

#include "platform/prazo.h"
#include "platform/soquete.h"
#include "platform/telnet_rfc2217.h"
#include "platform/tipos_linha.h"

namespace plataforma::rede {
namespace {

using soquete::Soquete;

constexpr int MaxLinhas = 8;

struct LinhaRede {
    Soquete fd = soquete::Nenhum;
    bool rfc2217 = false;
    TemposLinha tempos{};
    ConfigLinha config{};     // the settings last applied
    bool configurada = false;  // settings sent to the server at least once
    std::uint32_t erros = 0;   // CE_ bits gathered since the last LeErros
    bool caiu = false;         // the connection is lost: down until closed
    TelnetRfc2217 telnet;
    // Data bytes taken from the socket with the Telnet around them stripped,
    // not yet read (RFC 2217 only: a raw socket is read directly).
    unsigned char fila[2048];
    std::size_t inicio = 0, fim = 0;
};

LinhaRede linhas[MaxLinhas];

LinhaRede* LinhaDe(Dispositivo d) {
    if (d < 1 || d > MaxLinhas || linhas[d - 1].fd == soquete::Nenhum) return nullptr;
    return &linhas[d - 1];
}

using prazo::AgoraMs;
using prazo::Restante;

// A lost connection stays lost: every later call fails until it is closed.
void MarcaQueda(LinhaRede& l) {
    l.caiu = true;
    l.erros |= CE_IOE;
}

bool EnviaTudo(LinhaRede& l, const unsigned char* bytes, std::size_t n) {
    if (soquete::EnviaTudo(l.fd, bytes, n)) return true;
    MarcaQueda(l);
    return false;
}

bool EnviaPendentes(LinhaRede& l) {
    if (l.telnet.QuantosPendentes() == 0) return true;
    const bool ok = EnviaTudo(l, l.telnet.Pendentes(), l.telnet.QuantosPendentes());
    l.telnet.Enviados();
    return ok;
}

// One receive of what the socket holds into the queue, without waiting:
// >0 bytes taken, 0 nothing there (or the queue is full), -1 the
// connection is lost. The server's requests are answered at once.
int Bombeia(LinhaRede& l) {
    if (l.inicio == l.fim) l.inicio = l.fim = 0;
    if (l.fim == sizeof l.fila && l.inicio > 0) {
        std::memmove(l.fila, l.fila + l.inicio, l.fim - l.inicio);
        l.fim -= l.inicio;
        l.inicio = 0;
    }
    const std::size_t espaco = sizeof l.fila - l.fim;
    if (espaco == 0) return 0;
    const long n = soquete::RecebeAgora(l.fd, l.fila + l.fim, espaco);
    if (n == 0) return 0;
    if (n < 0) {
        MarcaQueda(l);
        return -1;
    }
    // In place: the data never outgrow the bytes they came in.
    l.fim += l.telnet.Recebe(l.fila + l.fim, static_cast<std::size_t>(n), l.fila + l.fim);
    l.erros |= l.telnet.TiraErros();
    if (!EnviaPendentes(l)) return -1;
    return static_cast<int>(n);
}

// Takes everything the socket holds now; false when the connection is lost.
bool BombeiaTudo(LinhaRede& l) {
    for (;;) {
        int n = Bombeia(l);
        if (n < 0) return false;
        if (n == 0) return true;
    }
}

// Whether a raw socket that polled readable with nothing to read has been
// closed by the far side.
bool FimDaConexao(LinhaRede& l) {
    if (!soquete::Encerrado(l.fd)) return false;
    MarcaQueda(l);
    return true;
}

// Waits for the server to answer our requests, or the deadline. Data that
// arrives meanwhile stays queued, as a tty keeps what came before a read.
void Negocia(LinhaRede& l, std::int64_t prazo) {
    l.telnet.Inicia();
    if (!EnviaPendentes(l)) return;
    while (!l.telnet.Negociado()) {
        int espera = Restante(prazo);
        if (espera == 0) return;
        int r = soquete::EsperaLeitura(l.fd, espera);
        if (r < 0) return;
        if (r > 0 && Bombeia(l) < 0) return;
    }
}

unsigned char ParidadeRfc2217(std::uint8_t paridade) {
    switch (paridade) {
        case 1: return 2;   // odd
        case 2: return 3;   // even
        case 3: return 4;   // mark
        case 4: return 5;   // space
        default: return 1;  // none
    }
}

unsigned char ParadaRfc2217(std::uint8_t parada) {
    switch (parada) {
        case 1: return 3;   // one and a half
        case 2: return 2;   // two
        default: return 1;  // one
    }
}

bool EhRaw(const char* nome) { return std::strncmp(nome, PrefixoRaw, sizeof PrefixoRaw - 1) == 0; }
bool EhRfc2217(const char* nome) { return std::strncmp(nome, PrefixoRfc2217, sizeof PrefixoRfc2217 - 1) == 0; }

Dispositivo Abre(const char* nome, bool rfc2217) {
    int slot = 0;
    while (slot < MaxLinhas && linhas[slot].fd != soquete::Nenhum) ++slot;
    if (slot == MaxLinhas) return 0;
    const char* resto = nome + (rfc2217 ? sizeof PrefixoRfc2217 : sizeof PrefixoRaw) - 1;
    char host[256], porta[8];
    if (!SeparaEndereco(resto, host, sizeof host, porta, sizeof porta)) return 0;
    const Soquete fd = soquete::Conecta(host, porta, AgoraMs() + PrazoConexaoMs);
    if (fd == soquete::Nenhum) return 0;
    LinhaRede& l = linhas[slot];
    l = LinhaRede{};
    l.fd = fd;
    l.rfc2217 = rfc2217;
    l.config.BaudRate = 9600;
    l.config.ByteSize = 8;
    if (rfc2217) Negocia(l, AgoraMs() + PrazoConexaoMs);
    return slot + 1;
}

Dispositivo AbreRaw(const char* nome) { return Abre(nome, false); }
Dispositivo AbreRfc2217(const char* nome) { return Abre(nome, true); }

bool LeConfig(Dispositivo d, ConfigLinha& config) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr) return false;
    config = l->config;
    return true;
}

// On a raw socket the settings have nowhere to go: they are kept, and CTS is
// never held. On RFC 2217 each setting that changed goes to the server; a
// server that did not take the option cannot set the line, and fails.
bool AplicaConfig(Dispositivo d, const ConfigLinha& config) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr || l->caiu) return false;
    if (l->rfc2217) {
        if (!l->telnet.Aceito()) return false;
        TelnetRfc2217& t = l->telnet;
        const ConfigLinha& antes = l->config;
        const bool todos = !l->configurada;
        if (todos) {
            // Line errors (break, framing, parity, overrun) and the modem lines.
            t.Comando(TelnetRfc2217::SetLineStateMask, 0x1E);
            t.Comando(TelnetRfc2217::SetModemStateMask, 0xF1);
        }
        if (todos || antes.BaudRate != config.BaudRate) t.Comando32(TelnetRfc2217::SetBaudRate, config.BaudRate);
        if (todos || antes.ByteSize != config.ByteSize) t.Comando(TelnetRfc2217::SetDataSize, config.ByteSize);
        if (todos || antes.Parity != config.Parity)
            t.Comando(TelnetRfc2217::SetParity, ParidadeRfc2217(config.Parity));
        if (todos || antes.StopBits != config.StopBits)
            t.Comando(TelnetRfc2217::SetStopSize, ParadaRfc2217(config.StopBits));
        if (todos || antes.fOutxCtsFlow != config.fOutxCtsFlow)
            t.Comando(TelnetRfc2217::SetControl, config.fOutxCtsFlow ? 3 : 1);
        if (!EnviaPendentes(*l)) return false;
        l->configurada = true;
    }
    l->config = config;
    return true;
}

bool AplicaTempos(Dispositivo d, const TemposLinha& tempos) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr) return false;
    l->tempos = tempos;
    return true;
}

// What the socket holds is read and dropped; what is still on its way (in
// the network, in the server) is not, as on a tty the bytes on the wire are
// not. RFC 2217 also asks the server to purge its own buffer. Bytes already
// handed to the kernel cannot be taken back: the output purge only reaches
// the server. A drop found here is reported by the next send or receive.
bool Purga(Dispositivo d, std::uint32_t filas) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr) return false;
    if (l->caiu) return true;
    if (filas & PURGE_RXCLEAR) {
        if (l->rfc2217) {
            BombeiaTudo(*l);
            l->inicio = l->fim = 0;
            l->telnet.Comando(TelnetRfc2217::PurgeData, 1);
        } else {
            unsigned char lixo[512];
            long n;
            while ((n = soquete::RecebeAgora(l->fd, lixo, sizeof lixo)) > 0) {
            }
            if (n < 0) MarcaQueda(*l);
        }
    }
    if ((filas & PURGE_TXCLEAR) && l->rfc2217) l->telnet.Comando(TelnetRfc2217::PurgeData, 2);
    if (l->rfc2217 && !l->caiu) EnviaPendentes(*l);
    return true;
}

bool LeErros(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr) return false;
    if (l->rfc2217 && !l->caiu) BombeiaTudo(*l);
    if (erros != nullptr) *erros = l->erros;
    l->erros = 0;
    if (estado != nullptr) {
        estado->cbInQue =
            l->rfc2217 ? static_cast<std::uint32_t>(l->fim - l->inicio) : soquete::NaEntrada(l->fd);
        estado->cbOutQue = soquete::NaSaida(l->fd);
        // A server that has never shown a modem line up (ser2net in front of
        // a pseudo-terminal, a three-wire cable) stands for a line without
        // modem signals, which never holds CTS.
        estado->fCtsHold = l->rfc2217 && l->config.fOutxCtsFlow && l->telnet.ModemVisto() &&
                           (l->telnet.Modem() & TelnetRfc2217::ModemCts) == 0;
    }
    return true;
}

// The read time-outs of the tty line, counted in data bytes: ends with all
// bytes, after more than the interval between two data bytes once the first
// has come, or at multiplier * count + constant from the start.
bool Le(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos) {
    LinhaRede* l = LinhaDe(d);
    if (lidos != nullptr) *lidos = 0;
    if (l == nullptr) return false;
    auto* saida = static_cast<unsigned char*>(destino);
    prazo::PrazoLeitura prazo(l->tempos, quantidade);
    std::uint32_t recebidos = 0;
    bool ok = !l->caiu;
    while (ok && recebidos < quantidade) {
        if (l->inicio < l->fim) {
            std::size_t n = l->fim - l->inicio;
            if (n > quantidade - recebidos) n = quantidade - recebidos;
            std::memcpy(saida + recebidos, l->fila + l->inicio, n);
            l->inicio += n;
            recebidos += static_cast<std::uint32_t>(n);
            prazo.Chegaram();
            continue;
        }
        if (prazo.Passou()) break;
        const int r = soquete::EsperaLeitura(l->fd, Restante(prazo.Fim()) + 1);
        if (r < 0) {
            MarcaQueda(*l);
            ok = false;
        }
        if (r <= 0) continue;  // the deadline is checked at the top
        if (l->rfc2217) {
            ok = Bombeia(*l) >= 0;
            continue;
        }
        const long n = soquete::RecebeAgora(l->fd, saida + recebidos, quantidade - recebidos);
        if (n == 0) continue;
        if (n < 0) {
            MarcaQueda(*l);
            ok = false;
            continue;
        }
        recebidos += static_cast<std::uint32_t>(n);
        prazo.Chegaram();
    }
    if (lidos != nullptr) *lidos = recebidos;
    return ok;
}

bool Escreve(Dispositivo d, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos) {
    LinhaRede* l = LinhaDe(d);
    if (escritos != nullptr) *escritos = 0;
    if (l == nullptr || l->caiu) return false;
    const auto* origem = static_cast<const unsigned char*>(dados);
    if (!l->rfc2217) {
        if (!EnviaTudo(*l, origem, quantidade)) return false;
        if (escritos != nullptr) *escritos = quantidade;
        return true;
    }
    if (!EnviaPendentes(*l)) return false;
    unsigned char escapados[512];
    std::uint32_t feitos = 0;
    while (feitos < quantidade) {
        std::uint32_t n = quantidade - feitos;
        if (n > sizeof escapados / 2) n = sizeof escapados / 2;
        if (!EnviaTudo(*l, escapados, TelnetRfc2217::Escapa(origem + feitos, n, escapados))) break;
        feitos += n;
    }
    if (escritos != nullptr) *escritos = feitos;
    return feitos == quantidade;
}

bool Fecha(Dispositivo d) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr) return false;
    const bool ok = soquete::Fecha(l->fd);
    l->fd = soquete::Nenhum;
    return ok;
}

bool Caiu(Dispositivo d) {
    LinhaRede* l = LinhaDe(d);
    return l != nullptr && l->caiu;
}

bool Espera(Dispositivo d, std::uint32_t milissegundos) {
    LinhaRede* l = LinhaDe(d);
    if (l == nullptr || l->caiu) return false;
    const std::int64_t prazo = AgoraMs() + milissegundos;
    for (;;) {
        if (l->rfc2217 ? l->inicio < l->fim : soquete::NaEntrada(l->fd) > 0) return true;
        const int resta = Restante(prazo);
        if (resta == 0) return false;
        const int r = soquete::EsperaLeitura(l->fd, resta);
        if (r < 0) return false;
        if (r == 0) continue;
        // Readable with nothing to read: the far side has closed.
        if (l->rfc2217 ? Bombeia(*l) < 0 : FimDaConexao(*l)) return false;
    }
}

}  // namespace

bool SeparaEndereco(const char* resto, char* host, std::size_t tamHost, char* porta, std::size_t tamPorta) {
    const char* doisPontos = std::strrchr(resto, ':');
    if (doisPontos == nullptr) return false;
    const char* inicio = resto;
    const char* fimHost = doisPontos;
    if (*inicio == '[') {
        ++inicio;
        if (fimHost == inicio || fimHost[-1] != ']') return false;
        --fimHost;
    }
    const std::size_t n = static_cast<std::size_t>(fimHost - inicio);
    const std::size_t np = std::strlen(doisPontos + 1);
    if (n == 0 || n >= tamHost || np == 0 || np >= tamPorta) return false;
    char* fimNumero = nullptr;
    long numero = std::strtol(doisPontos + 1, &fimNumero, 10);
    if (*fimNumero != '\0' || numero < 1 || numero > 65535) return false;
    std::memcpy(host, inicio, n);
    host[n] = '\0';
    std::memcpy(porta, doisPontos + 1, np + 1);
    return true;
}

}  // namespace plataforma::rede

namespace plataforma {

const TipoLinha LinhaSocket = {
    .nome = "socket", .Reconhece = rede::EhRaw, .Abre = rede::AbreRaw, .LeConfig = rede::LeConfig,
    .AplicaConfig = rede::AplicaConfig, .AplicaTempos = rede::AplicaTempos, .Purga = rede::Purga,
    .LeErros = rede::LeErros, .Le = rede::Le, .Escreve = rede::Escreve, .Espera = rede::Espera,
    .Caiu = rede::Caiu, .Fecha = rede::Fecha};

const TipoLinha LinhaRfc2217 = {
    .nome = "rfc2217", .Reconhece = rede::EhRfc2217, .Abre = rede::AbreRfc2217, .LeConfig = rede::LeConfig,
    .AplicaConfig = rede::AplicaConfig, .AplicaTempos = rede::AplicaTempos, .Purga = rede::Purga,
    .LeErros = rede::LeErros, .Le = rede::Le, .Escreve = rede::Escreve, .Espera = rede::Espera,
    .Caiu = rede::Caiu, .Fecha = rede::Fecha};

}  // namespace plataforma
