#include "support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace {

sockaddr_in Endereco(int porta) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(porta));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

void SemAtraso(int fd) {
    int um = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &um, sizeof um);
}

// A socket bound to a port the kernel picks, and that port.
int Vincula(int* porta) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Endereco(0);
    socklen_t tamanho = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &tamanho) != 0)
        throw std::runtime_error("no free port on 127.0.0.1");
    *porta = ntohs(a.sin_port);
    return fd;
}

}  // namespace

int OuveLoopback(int fila, int* porta) {
    const int fd = Vincula(porta);
    if (listen(fd, fila) != 0) throw std::runtime_error("listen on 127.0.0.1");
    return fd;
}

int OuveLoopbackEm(int porta, int fila) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int um = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
    sockaddr_in a = Endereco(porta);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, fila) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int ConectaLoopback(int porta) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Endereco(porta);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    SemAtraso(fd);
    return fd;
}

int AceitaLoopback(int ouvinte) {
    const int fd = accept4(ouvinte, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) SemAtraso(fd);
    return fd;
}

int PortaLivre() {
    int porta = 0;
    close(Vincula(&porta));
    return porta;
}
