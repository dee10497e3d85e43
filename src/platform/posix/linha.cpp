// The serial line on POSIX, a row of the kinds of line: a tty opened
// exclusively, raw, with the read time-outs of a Windows comm port rebuilt
// on poll(2).
//
// POSIX but for one Linux-only part, fenced by __linux__ below: the line
// errors the kernel counts (TIOCGICOUNT, <linux/serial.h>). Elsewhere no
// frame, overrun, parity or break error is reported; the rest is POSIX.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/plataforma.h"
#include "platform/prazo.h"
#include "platform/posix/trava_uucp.h"
#include "platform/tipos_linha.h"

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace plataforma {
namespace {

#ifdef __linux__
using ContadoresLinha = serial_icounter_struct;
bool LeContadores(int fd, ContadoresLinha& c) { return ioctl(fd, TIOCGICOUNT, &c) == 0; }
#else
struct ContadoresLinha {
    int frame, overrun, parity, brk, buf_overrun;
};
bool LeContadores(int, ContadoresLinha&) { return false; }  // the kernel counts none
#endif

// What a Windows comm handle carries besides the descriptor.
struct Porta {
    int fd = -1;
    TemposLinha tempos{};
    std::uint32_t erros = 0;  // CE_ bits gathered since the last LeErrosLinha
    ContadoresLinha contadores{};
    bool temContadores = false;
    bool controleCts = false;  // CRTSCTS as last applied
    bool semModem = false;     // no modem lines (a pseudo-terminal): CTS never held
    char trava[256] = {};      // the UUCP lock file held while open, or ""
    bool caiu = false;         // hung up or gone: down until closed
};

constexpr int MaxPortas = 8;
Porta portas[MaxPortas];

Porta* PortaDe(Dispositivo d) {
    if (d < 1 || d > MaxPortas || portas[d - 1].fd < 0) return nullptr;
    return &portas[d - 1];
}

speed_t Velocidade(std::uint32_t baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B9600;
    }
}

std::uint32_t Baud(speed_t v) {
    switch (v) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        default: return 9600;
    }
}

// Line errors the kernel counted since the last look, as CE_ bits.
void RecolheContadores(Porta& p) {
    if (!p.temContadores) return;
    ContadoresLinha c{};
    if (!LeContadores(p.fd, c)) return;
    if (c.frame != p.contadores.frame) p.erros |= CE_FRAME;
    if (c.overrun != p.contadores.overrun) p.erros |= CE_OVERRUN;
    if (c.parity != p.contadores.parity) p.erros |= CE_RXPARITY;
    if (c.brk != p.contadores.brk) p.erros |= CE_BREAK;
    if (c.buf_overrun != p.contadores.buf_overrun) p.erros |= CE_RXOVER;
    p.contadores = c;
}

// A hung-up terminal (the far side of a pseudo-terminal closed, a modem
// line dropped) and a device that is gone (a USB adapter pulled) stay so:
// every later call on the descriptor fails, until it is closed.
void MarcaQueda(Porta& p) {
    p.caiu = true;
    p.erros |= CE_IOE;
}

void AnotaErrno(const char* chamada, int erro) { AnotaFalhaSistema(chamada, erro, strerrorname_np(erro)); }

// A call on the open device failed: noted, and a drop marked as such.
void MarcaFalhaEs(Porta& p, const char* chamada, int erro) {
    AnotaErrno(chamada, erro);
    if (erro == EIO || erro == ENXIO || erro == ENODEV) MarcaQueda(p);
}

Dispositivo Abre(const char* nome) {
    int slot = 0;
    while (slot < MaxPortas && portas[slot].fd >= 0) ++slot;
    if (slot == MaxPortas || nome == nullptr) return 0;
    // The lock file first: a device another program holds is not even opened
    // (opening it would raise DTR under that program's feet).
    char trava[sizeof Porta::trava];
    if (!TomaTravaUucp(nome, trava, sizeof trava)) return 0;
    // O_NONBLOCK so that a line without carrier, or a FIFO with no writer,
    // does not hold the open. Something that opens but is no terminal (a
    // regular file, /dev/null) is kept, as Windows keeps it: reading its line
    // settings then fails and the open gives 4, not 3.
    int fd = open(nome, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) AnotaErrno("open", errno);
    const char* exclusao = nullptr;
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) exclusao = "flock";
    else if (fd >= 0 && isatty(fd) && ioctl(fd, TIOCEXCL) != 0) exclusao = "ioctl TIOCEXCL";
    if (exclusao != nullptr) {
        AnotaErrno(exclusao, errno);
        close(fd);
        fd = -1;
    }
    if (fd < 0) {
        SoltaTravaUucp(trava);
        return 0;
    }
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    Porta& p = portas[slot];
    p = Porta{};
    p.fd = fd;
    std::memcpy(p.trava, trava, sizeof trava);
    p.temContadores = LeContadores(fd, p.contadores);
    return slot + 1;
}

bool LeConfig(Dispositivo d, ConfigLinha& config) {
    Porta* p = PortaDe(d);
    termios t{};
    if (p == nullptr) return false;
    if (tcgetattr(p->fd, &t) != 0) {
        AnotaErrno("tcgetattr", errno);
        return false;
    }
    static_assert(sizeof(termios) <= sizeof(config.Nativo));
    std::memcpy(config.Nativo, &t, sizeof t);
    config.BaudRate = Baud(cfgetospeed(&t));
    config.ByteSize = (t.c_cflag & CSIZE) == CS7 ? 7 : 8;
    config.Parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : 0;
    config.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    config.fParity = (t.c_iflag & INPCK) != 0;
    config.fOutxCtsFlow = (t.c_cflag & CRTSCTS) != 0;
    return true;
}

bool AplicaConfig(Dispositivo d, const ConfigLinha& config) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    termios t{};
    std::memcpy(&t, config.Nativo, sizeof t);
    // Raw: every byte passes both ways unchanged, no echo, no signals. The
    // rest (modem control, XON/XOFF off) is fixed here, since a tty has no
    // state of its own worth inheriting for a printer.
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    t.c_cflag |= config.ByteSize == 7 ? CS7 : CS8;
    if (config.Parity != 0) t.c_cflag |= PARENB | (config.Parity == 1 ? PARODD : 0);
    if (config.fParity) t.c_iflag |= INPCK;
    if (config.StopBits == 2) t.c_cflag |= CSTOPB;
    if (config.fOutxCtsFlow) t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, Velocidade(config.BaudRate));
    cfsetospeed(&t, Velocidade(config.BaudRate));
    if (tcsetattr(p->fd, TCSANOW, &t) != 0) {
        MarcaFalhaEs(*p, "tcsetattr", errno);
        return false;
    }
    p->controleCts = config.fOutxCtsFlow;
    return true;
}

bool AplicaTempos(Dispositivo d, const TemposLinha& tempos) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    p->tempos = tempos;
    return true;
}

bool Purga(Dispositivo d, std::uint32_t filas) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    bool rx = (filas & PURGE_RXCLEAR) != 0;
    bool tx = (filas & PURGE_TXCLEAR) != 0;
    if (!rx && !tx) return true;
    if (tcflush(p->fd, rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH)) == 0) return true;
    AnotaErrno("tcflush", errno);
    return false;
}

bool LeErros(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    RecolheContadores(*p);
    if (erros != nullptr) *erros = p->erros;
    p->erros = 0;
    if (estado != nullptr) {
        int entrada = 0, saida = 0, modem = 0;
        if (ioctl(p->fd, FIONREAD, &entrada) != 0) {
            MarcaFalhaEs(*p, "ioctl FIONREAD", errno);
            entrada = 0;
        }
        if (ioctl(p->fd, TIOCOUTQ, &saida) != 0) saida = 0;
        estado->cbInQue = static_cast<std::uint32_t>(entrada);
        estado->cbOutQue = static_cast<std::uint32_t>(saida);
        // A line without modem signals (a pseudo-terminal) never holds CTS.
        estado->fCtsHold = false;
        if (p->controleCts && !p->semModem) {
            if (ioctl(p->fd, TIOCMGET, &modem) != 0)
                p->semModem = errno == ENOTTY || errno == EINVAL;
            else
                estado->fCtsHold = (modem & TIOCM_CTS) == 0;
        }
    }
    return true;
}

// Windows semantics with ReadIntervalTimeout and both totals set: the read
// ends with all bytes, after more than the interval between two bytes once
// the first has come, or at multiplier * count + constant from the start.
bool Le(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos) {
    Porta* p = PortaDe(d);
    if (lidos != nullptr) *lidos = 0;
    if (p == nullptr) return false;
    auto* saida = static_cast<unsigned char*>(destino);
    prazo::PrazoLeitura prazo(p->tempos, quantidade);
    std::uint32_t recebidos = 0;
    bool ok = true;
    while (recebidos < quantidade) {
        if (prazo.Passou()) break;
        pollfd pf{p->fd, POLLIN, 0};
        int r = poll(&pf, 1, prazo::Restante(prazo.Fim()) + 1);
        if (r < 0) {
            if (errno == EINTR) continue;
            MarcaFalhaEs(*p, "poll", errno);
            ok = false;
            break;
        }
        if (r == 0) continue;  // the deadline is checked at the top
        ssize_t n = read(p->fd, saida + recebidos, quantidade - recebidos);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            MarcaFalhaEs(*p, "read", errno);
            ok = false;
            break;
        }
        if (n == 0) {
            if (pf.revents & (POLLHUP | POLLERR)) {
                AnotaFalhaSistema("read", 0, "POLLHUP");
                MarcaQueda(*p);
                ok = false;
                break;
            }
            continue;
        }
        recebidos += static_cast<std::uint32_t>(n);
        prazo.Chegaram();
    }
    if (lidos != nullptr) *lidos = recebidos;
    return ok;
}

bool Escreve(Dispositivo d, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos) {
    Porta* p = PortaDe(d);
    if (escritos != nullptr) *escritos = 0;
    if (p == nullptr) return false;
    const auto* origem = static_cast<const unsigned char*>(dados);
    std::uint32_t feitos = 0;
    while (feitos < quantidade) {
        ssize_t n = write(p->fd, origem + feitos, quantidade - feitos);
        if (n < 0) {
            if (errno == EINTR) continue;
            MarcaFalhaEs(*p, "write", errno);
            if (escritos != nullptr) *escritos = feitos;
            return false;
        }
        feitos += static_cast<std::uint32_t>(n);
    }
    if (escritos != nullptr) *escritos = feitos;
    return true;
}

bool Fecha(Dispositivo d) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    ioctl(p->fd, TIOCNXCL);
    int r = close(p->fd);
    p->fd = -1;
    SoltaTravaUucp(p->trava);
    return r == 0;
}

bool Caiu(Dispositivo d) {
    Porta* p = PortaDe(d);
    return p != nullptr && p->caiu;
}

bool Espera(Dispositivo d, std::uint32_t milissegundos) {
    Porta* p = PortaDe(d);
    if (p == nullptr || p->caiu) return false;
    const std::int64_t fim = prazo::AgoraMs() + milissegundos;
    for (;;) {
        int entrada = 0;
        if (ioctl(p->fd, FIONREAD, &entrada) == 0 && entrada > 0) return true;
        const int resta = prazo::Restante(fim);
        if (resta == 0) return false;
        pollfd pf{p->fd, POLLIN, 0};
        int r = poll(&pf, 1, resta);
        if (r < 0 && errno != EINTR) return false;
        // A hung-up line polls readable forever (POLLIN comes with POLLHUP)
        // with nothing to read: it is down, and the caller is told at once.
        if (r > 0 && (pf.revents & (POLLHUP | POLLERR | POLLNVAL)) &&
            !(ioctl(p->fd, FIONREAD, &entrada) == 0 && entrada > 0)) {
            AnotaFalhaSistema("poll", 0, "POLLHUP");
            MarcaQueda(*p);
            return false;
        }
    }
}

bool QualquerNome(const char* nome) { return nome != nullptr; }

}  // namespace

const TipoLinha LinhaSerial = {
    .nome = "serial", .Reconhece = QualquerNome, .Abre = Abre, .LeConfig = LeConfig,
    .AplicaConfig = AplicaConfig, .AplicaTempos = AplicaTempos, .Purga = Purga, .LeErros = LeErros,
    .Le = Le, .Escreve = Escreve, .Espera = Espera, .Caiu = Caiu, .Fecha = Fecha};

}  // namespace plataforma
