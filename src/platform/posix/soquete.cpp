// TCP sockets on POSIX. A connection is made non-blocking, so that neither
// its wait nor any send can hold a caller past its deadline: receives ask
// with MSG_DONTWAIT, sends wait for room in poll(2) until theirs.
// Linux only: the count of bytes not yet sent (SIOCOUTQNSD, <linux/sockios.h>)
// is fenced with __linux__; elsewhere the line reports none pending.
#include "platform/soquete.h"

#include <fcntl.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/prazo.h"

namespace plataforma::soquete {
namespace {

void AnotaErrno(const char* chamada, int erro) { AnotaFalhaSistema(chamada, erro, strerrorname_np(erro)); }

const char* NomeEai(int codigo) {
    switch (codigo) {
        case EAI_NONAME: return "EAI_NONAME";
        case EAI_AGAIN: return "EAI_AGAIN";
        case EAI_FAIL: return "EAI_FAIL";
        case EAI_FAMILY: return "EAI_FAMILY";
        case EAI_SERVICE: return "EAI_SERVICE";
        case EAI_MEMORY: return "EAI_MEMORY";
        case EAI_SYSTEM: return "EAI_SYSTEM";
        default: return nullptr;
    }
}

// Waits for the socket to take more bytes until prazo: 1 it can, 0 time up, -1 failed.
int EsperaEscrita(int fd, std::int64_t prazo) {
    for (;;) {
        pollfd pf{fd, POLLOUT, 0};
        const int r = poll(&pf, 1, prazo::Restante(prazo));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) AnotaErrno("poll", errno);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
}

}  // namespace

Soquete Conecta(const char* host, const char* porta, std::int64_t prazo) {
    addrinfo dicas{};
    dicas.ai_family = AF_UNSPEC;
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_flags = AI_NUMERICSERV;
    addrinfo* enderecos = nullptr;
    if (const int r = getaddrinfo(host, porta, &dicas, &enderecos); r != 0) {
        if (r == EAI_SYSTEM) AnotaErrno("getaddrinfo", errno);
        else AnotaFalhaSistema("getaddrinfo", r, NomeEai(r));
        return Nenhum;
    }
    int fd = -1;
    for (addrinfo* a = enderecos; a != nullptr && fd < 0 && prazo::Restante(prazo) > 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            AnotaErrno("socket", errno);
            continue;
        }
        int erro = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (erro == EINPROGRESS) {
            const int r = EsperaEscrita(fd, prazo);
            socklen_t tam = sizeof erro;
            if (r == 0) erro = ETIMEDOUT;
            else if (r > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &erro, &tam) != 0) erro = errno;
        }
        if (erro != 0) {
            AnotaErrno("connect", erro);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(enderecos);
    if (fd < 0) return Nenhum;
    // Frames are written whole; a small answer must not wait for an ACK.
    int um = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &um, sizeof um);
    return fd;
}

long EnviaAte(Soquete s, const unsigned char* bytes, std::size_t n, std::int64_t prazo) {
    const int fd = static_cast<int>(s);
    std::size_t feitos = 0;
    while (feitos < n) {
        const ssize_t r = send(fd, bytes + feitos, n - feitos, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            feitos += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            AnotaErrno("send", r == 0 ? EPIPE : errno);
            return -1;
        }
        const int espera = EsperaEscrita(fd, prazo);
        if (espera < 0) return -1;
        if (espera == 0) break;
    }
    return static_cast<long>(feitos);
}

long RecebeAgora(Soquete s, unsigned char* destino, std::size_t n) {
    for (;;) {
        ssize_t r = recv(static_cast<int>(s), destino, n, MSG_DONTWAIT);
        if (r > 0) return static_cast<long>(r);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        if (r == 0) AnotaFalhaSistema("recv", 0, "EOF");
        else AnotaErrno("recv", errno);
        return -1;
    }
}

int EsperaLeitura(Soquete s, int milissegundos) {
    pollfd pf{static_cast<int>(s), POLLIN, 0};
    const int r = poll(&pf, 1, milissegundos);
    if (r < 0 && errno != EINTR) AnotaErrno("poll", errno);
    if (r < 0) return errno == EINTR ? 0 : -1;
    return r > 0 ? 1 : 0;
}

bool Encerrado(Soquete s) {
    unsigned char b;
    ssize_t n = recv(static_cast<int>(s), &b, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))) return false;
    if (n == 0) AnotaFalhaSistema("recv", 0, "EOF");
    else AnotaErrno("recv", errno);
    return true;
}

std::uint32_t NaEntrada(Soquete s) {
    int n = 0;
    return ioctl(static_cast<int>(s), FIONREAD, &n) == 0 && n > 0 ? static_cast<std::uint32_t>(n) : 0;
}

// Bytes sent and not yet acknowledged (SIOCOUTQ counts those too) have
// left, like a tty's last frame on the wire.
std::uint32_t NaSaida(Soquete s) {
#ifdef __linux__
    int n = 0;
    return ioctl(static_cast<int>(s), SIOCOUTQNSD, &n) == 0 && n > 0 ? static_cast<std::uint32_t>(n) : 0;
#else
    (void)s;
    return 0;
#endif
}

bool Fecha(Soquete s) { return close(static_cast<int>(s)) == 0; }

bool EnderecoRemoto(Soquete s, char* texto, std::size_t tamanho) {
    sockaddr_storage endereco{};
    socklen_t tam = sizeof endereco;
    if (getpeername(static_cast<int>(s), reinterpret_cast<sockaddr*>(&endereco), &tam) != 0) return false;
    char host[NI_MAXHOST], porta[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&endereco), tam, host, sizeof host, porta, sizeof porta,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return false;
    const bool v6 = endereco.ss_family == AF_INET6;
    const int n = std::snprintf(texto, tamanho, v6 ? "[%s]:%s" : "%s:%s", host, porta);
    return n > 0 && static_cast<std::size_t>(n) < tamanho;
}

}  // namespace plataforma::soquete
