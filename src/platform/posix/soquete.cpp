// TCP sockets on POSIX. A connection is made non-blocking (so that its wait
// has the bound of the open) and used blocking afterwards; reads that must
// not wait ask with MSG_DONTWAIT.
#include "platform/soquete.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/prazo.h"

namespace plataforma::soquete {

Soquete Conecta(const char* host, const char* porta, std::int64_t prazo) {
    addrinfo dicas{};
    dicas.ai_family = AF_UNSPEC;
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_flags = AI_NUMERICSERV;
    addrinfo* enderecos = nullptr;
    if (getaddrinfo(host, porta, &dicas, &enderecos) != 0) return Nenhum;
    int fd = -1;
    for (addrinfo* a = enderecos; a != nullptr && fd < 0 && prazo::Restante(prazo) > 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        bool ok = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        if (!ok && errno == EINPROGRESS) {
            pollfd pf{fd, POLLOUT, 0};
            int r;
            do r = poll(&pf, 1, prazo::Restante(prazo));
            while (r < 0 && errno == EINTR);
            int erro = 0;
            socklen_t tam = sizeof erro;
            ok = r > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &erro, &tam) == 0 && erro == 0;
        }
        if (!ok) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(enderecos);
    if (fd < 0) return Nenhum;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // Frames are written whole; a small answer must not wait for an ACK.
    int um = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &um, sizeof um);
    return fd;
}

bool EnviaTudo(Soquete s, const unsigned char* bytes, std::size_t n) {
    std::size_t feitos = 0;
    while (feitos < n) {
        ssize_t r = send(static_cast<int>(s), bytes + feitos, n - feitos, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        feitos += static_cast<std::size_t>(r);
    }
    return true;
}

long RecebeAgora(Soquete s, unsigned char* destino, std::size_t n) {
    for (;;) {
        ssize_t r = recv(static_cast<int>(s), destino, n, MSG_DONTWAIT);
        if (r > 0) return static_cast<long>(r);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        return -1;
    }
}

int EsperaLeitura(Soquete s, int milissegundos) {
    pollfd pf{static_cast<int>(s), POLLIN, 0};
    const int r = poll(&pf, 1, milissegundos);
    if (r < 0) return errno == EINTR ? 0 : -1;
    return r > 0 ? 1 : 0;
}

bool Encerrado(Soquete s) {
    unsigned char b;
    ssize_t n = recv(static_cast<int>(s), &b, 1, MSG_PEEK | MSG_DONTWAIT);
    return !(n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)));
}

std::uint32_t NaEntrada(Soquete s) {
    int n = 0;
    return ioctl(static_cast<int>(s), FIONREAD, &n) == 0 && n > 0 ? static_cast<std::uint32_t>(n) : 0;
}

// Bytes sent and not yet acknowledged (SIOCOUTQ counts those too) have
// left, like a tty's last frame on the wire.
std::uint32_t NaSaida(Soquete s) {
    int n = 0;
    return ioctl(static_cast<int>(s), SIOCOUTQNSD, &n) == 0 && n > 0 ? static_cast<std::uint32_t>(n) : 0;
}

bool Fecha(Soquete s) { return close(static_cast<int>(s)) == 0; }

}  // namespace plataforma::soquete
