// Network lines, on every system: a TCP connection made within a bounded
// time, with the read time-outs, purges, queue state and drop rules of a
// local port. No call waits past the deadline of the operation it serves,
// whatever the server sends or leaves unread: the socket is drained only of
// what it holds when asked, and nothing sent waits for room without bound
// (Telnet answers and commands wait in the engine's bounded queue, a frame
// for PrazoEscritaMs at most). A raw socket carries bytes only (no settings, no CTS: never
// held); an RFC 2217 line also carries the settings, CTS and the line
// errors. The socket calls themselves are the system's (soquete.h).
#include "platform/linha_rede.h"

#include <cstdio>
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

// A frame that the network has not taken by then breaks the line: part of
// it may be on its way, and the printer would read the rest as a frame.
constexpr int PrazoEscritaMs = 5000;
// A server that refuses a raw connection (ser2net with its port in use)
// sends its reason as text and closes at once: an opening waits this long
// for that close, and once text has come (a printer speaks only when
// asked) up to PrazoConexaoMs.
constexpr int EsperaRecusaMs = 100;

struct LinhaRede {
    Soquete fd = soquete::Nenhum;
    bool rfc2217 = false;
    TemposLinha tempos{};
    ConfigLinha config{};     // the settings last applied
    bool configurada = false;  // settings sent to the server at least once
    std::uint32_t erros = 0;   // CE_ bits gathered since the last LeErros
    bool caiu = false;         // the connection is lost: down until closed
    TravaGlobal trava = 0;     // the address held against other openings
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

// Sends all n bytes by prazo; false, the line broken, when they do not go.
bool EnviaTudo(LinhaRede& l, const unsigned char* bytes, std::size_t n, std::int64_t prazo) {
    const long r = soquete::EnviaAte(l.fd, bytes, n, prazo);
    if (r == static_cast<long>(n)) return true;
    if (r >= 0) AnotaFalhaSistema("send", 0, "ETIMEDOUT");
    MarcaQueda(l);
    return false;
}

// What of the Telnet queue the network takes by prazo goes; the rest waits
// for the next call. False when the connection is lost.
bool EnviaPendentes(LinhaRede& l, std::int64_t prazo) {
    const std::size_t n = l.telnet.QuantosPendentes();
    if (n == 0) return true;
    const long r = soquete::EnviaAte(l.fd, l.telnet.Pendentes(), n, prazo);
    if (r < 0) {
        MarcaQueda(l);
        return false;
    }
    l.telnet.Enviados(static_cast<std::size_t>(r));
    return true;
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
    if (!EnviaPendentes(l, AgoraMs())) return -1;
    return static_cast<int>(n);
}

// Takes what the socket holds now, and no more: a server that never stops
// sending (Telnet NOPs, notifications) must not hold the caller. False when
// the connection is lost.
bool BombeiaTudo(LinhaRede& l) {
    long falta = static_cast<long>(soquete::NaEntrada(l.fd));
    do {
        const int n = Bombeia(l);
        if (n < 0) return false;
        if (n == 0) return true;
        falta -= n;
    } while (falta > 0);
    return true;
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
// False when the server closes meanwhile: it refused the connection (text,
// ser2net's "port in use", then a close).
bool Negocia(LinhaRede& l, std::int64_t prazo) {
    l.telnet.Inicia();
    while (!l.telnet.Negociado()) {
        if (!EnviaPendentes(l, AgoraMs())) return false;
        int espera = Restante(prazo);
        if (espera == 0) return true;
        // Requests still waiting to go look for room again soon.
        if (l.telnet.QuantosPendentes() > 0 && espera > 20) espera = 20;
        const int r = soquete::EsperaLeitura(l.fd, espera);
        if (r < 0) {
            MarcaQueda(l);
            return false;
        }
        if (r > 0 && Bombeia(l) < 0) return false;
    }
    return EnviaPendentes(l, AgoraMs());
}

// Whether a raw server refuses the connection: it closes within
// EsperaRecusaMs, or within PrazoConexaoMs once it has sent text. The text
// is dropped (the opening purges the line all the same).
bool Recusada(LinhaRede& l, std::int64_t inicio) {
    std::int64_t prazo = inicio + EsperaRecusaMs;
    unsigned char texto[512];
    for (;;) {
        const int espera = Restante(prazo);
        if (espera == 0) return false;
        const int r = soquete::EsperaLeitura(l.fd, espera);
        if (r < 0) return true;
        if (r == 0) continue;
        const long n = soquete::RecebeAgora(l.fd, texto, sizeof texto);
        if (n < 0) return true;
        if (n > 0) prazo = inicio + PrazoConexaoMs;
    }
}

// Whether an RFC 2217 server refuses the connection once negotiated:
// ser2net with its port in use answers the negotiation, then sends its text
// and closes. The same wait as on a raw line, with what comes read through
// the Telnet engine; the data are dropped (the opening purges all the same).
bool RecusadaAposNegociar(LinhaRede& l, std::int64_t inicio) {
    std::int64_t prazo = inicio + EsperaRecusaMs;
    for (;;) {
        const int espera = Restante(prazo);
        if (espera == 0) return false;
        const int r = soquete::EsperaLeitura(l.fd, espera);
        if (r < 0) return true;
        if (r == 0) continue;
        const int n = Bombeia(l);
        if (n < 0 || (n == 0 && FimDaConexao(l))) return true;
        if (l.fim > l.inicio) {
            l.inicio = l.fim = 0;
            prazo = inicio + PrazoConexaoMs;
        }
    }
}

// The lock that keeps this address to one opening on the machine, named by
// the server's numeric address: every name of one server is one lock. False
// when another opening holds it.
bool TomaEndereco(LinhaRede& l) {
    char endereco[80];
    if (!soquete::EnderecoRemoto(l.fd, endereco, sizeof endereco)) return true;
    char nome[96];
    std::snprintf(nome, sizeof nome, "rede-%s", endereco);
    return TentaTravaGlobal(nome, &l.trava);
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

bool Fecha(Dispositivo d);

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
    const std::int64_t conectada = AgoraMs();
    const bool aceita = TomaEndereco(l) && (rfc2217 ? Negocia(l, conectada + PrazoConexaoMs) &&
                                                             !RecusadaAposNegociar(l, AgoraMs())
                                                       : !Recusada(l, conectada));
    if (!aceita) {
        Fecha(slot + 1);
        return 0;
    }
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
        bool cabem = true;  // a queue kept full by a server that does not read takes no more
        if (todos) {
            // Line errors (break, framing, parity, overrun) and the modem lines.
            cabem = t.Comando(TelnetRfc2217::SetLineStateMask, 0x1E) &&
                    t.Comando(TelnetRfc2217::SetModemStateMask, 0xF1);
        }
        if (cabem && (todos || antes.BaudRate != config.BaudRate))
            cabem = t.Comando32(TelnetRfc2217::SetBaudRate, config.BaudRate);
        if (cabem && (todos || antes.ByteSize != config.ByteSize))
            cabem = t.Comando(TelnetRfc2217::SetDataSize, config.ByteSize);
        if (cabem && (todos || antes.Parity != config.Parity))
            cabem = t.Comando(TelnetRfc2217::SetParity, ParidadeRfc2217(config.Parity));
        if (cabem && (todos || antes.StopBits != config.StopBits))
            cabem = t.Comando(TelnetRfc2217::SetStopSize, ParadaRfc2217(config.StopBits));
        if (cabem && (todos || antes.fOutxCtsFlow != config.fOutxCtsFlow))
            cabem = t.Comando(TelnetRfc2217::SetControl, config.fOutxCtsFlow ? 3 : 1);
        if (!cabem) AnotaFalhaSistema("send", 0, "ENOBUFS");
        // What the network does not take now goes ahead of the next frame.
        if (!cabem || !EnviaPendentes(*l, AgoraMs())) return false;
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
            // What the socket holds now, and no more, as for RFC 2217.
            unsigned char lixo[512];
            long falta = static_cast<long>(soquete::NaEntrada(l->fd));
            long n;
            do n = soquete::RecebeAgora(l->fd, lixo, sizeof lixo);
            while (n > 0 && (falta -= n) > 0);
            if (n < 0) MarcaQueda(*l);
        }
    }
    if ((filas & PURGE_TXCLEAR) && l->rfc2217) l->telnet.Comando(TelnetRfc2217::PurgeData, 2);
    if (l->rfc2217 && !l->caiu) EnviaPendentes(*l, AgoraMs());
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
    const std::int64_t prazo = AgoraMs() + PrazoEscritaMs;
    if (!l->rfc2217) {
        if (!EnviaTudo(*l, origem, quantidade, prazo)) return false;
        if (escritos != nullptr) *escritos = quantidade;
        return true;
    }
    // The Telnet queue first and whole: a frame never cuts into a sequence.
    if (!EnviaPendentes(*l, prazo)) return false;
    if (l->telnet.QuantosPendentes() > 0) {
        AnotaFalhaSistema("send", 0, "ETIMEDOUT");
        return false;
    }
    unsigned char escapados[512];
    std::uint32_t feitos = 0;
    while (feitos < quantidade) {
        std::uint32_t n = quantidade - feitos;
        if (n > sizeof escapados / 2) n = sizeof escapados / 2;
        if (!EnviaTudo(*l, escapados, TelnetRfc2217::Escapa(origem + feitos, n, escapados), prazo)) break;
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
    SoltaTravaGlobal(l->trava);
    l->trava = 0;
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
