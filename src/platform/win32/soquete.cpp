// TCP sockets on Windows (Winsock 2, ws2_32). Winsock is started once, on
// the first connection, and left to the process's end. A socket stays
// non-blocking from its connection on: Winsock has no flag that makes one
// receive not wait (MSG_DONTWAIT), so every receive is one that does not,
// and a send that finds the network's buffers full waits for room in
// select(). select() rather than WSAPoll: the DLL keeps loading on Windows XP.
#include "platform/soquete.h"

#include "platform/prazo.h"

// After plataforma.h (through prazo.h): windows.h defines some of its names as macros.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace plataforma::soquete {
namespace {

bool IniciaWinsock() {
    // C++ makes this first use safe when threads race to it.
    static const bool iniciado = [] {
        WSADATA dados;
        return WSAStartup(MAKEWORD(2, 2), &dados) == 0;
    }();
    return iniciado;
}

SOCKET Nativo(Soquete s) { return static_cast<SOCKET>(s); }

timeval Tempo(int milissegundos) {
    return timeval{static_cast<long>(milissegundos / 1000), static_cast<long>(milissegundos % 1000) * 1000};
}

// Whether a non-blocking connect ends connected by the deadline.
bool TerminaConexao(SOCKET s, std::int64_t prazo) {
    fd_set escrita, excecao;
    FD_ZERO(&escrita);
    FD_ZERO(&excecao);
    FD_SET(s, &escrita);
    FD_SET(s, &excecao);
    timeval espera = Tempo(prazo::Restante(prazo));
    if (select(0, nullptr, &escrita, &excecao, &espera) <= 0 || !FD_ISSET(s, &escrita)) return false;
    int erro = 0;
    int tam = sizeof erro;
    return getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&erro), &tam) == 0 && erro == 0;
}

}  // namespace

Soquete Conecta(const char* host, const char* porta, std::int64_t prazo) {
    if (!IniciaWinsock()) return Nenhum;
    addrinfo dicas{};
    dicas.ai_family = AF_UNSPEC;
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_protocol = IPPROTO_TCP;
    addrinfo* enderecos = nullptr;
    if (getaddrinfo(host, porta, &dicas, &enderecos) != 0) return Nenhum;
    SOCKET s = INVALID_SOCKET;
    for (addrinfo* a = enderecos; a != nullptr && s == INVALID_SOCKET && prazo::Restante(prazo) > 0;
         a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) continue;
        SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        u_long naoBloqueia = 1;
        bool ok = ioctlsocket(s, FIONBIO, &naoBloqueia) == 0;
        if (ok && connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0)
            ok = WSAGetLastError() == WSAEWOULDBLOCK && TerminaConexao(s, prazo);
        if (!ok) {
            closesocket(s);
            s = INVALID_SOCKET;
        }
    }
    freeaddrinfo(enderecos);
    if (s == INVALID_SOCKET) return Nenhum;
    // Frames are written whole; a small answer must not wait for an ACK.
    BOOL um = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&um), sizeof um);
    return static_cast<Soquete>(s);
}

bool EnviaTudo(Soquete s, const unsigned char* bytes, std::size_t n) {
    std::size_t feitos = 0;
    while (feitos < n) {
        const std::size_t resto = n - feitos;
        const int pedaco = resto > 0x10000 ? 0x10000 : static_cast<int>(resto);
        const int r = send(Nativo(s), reinterpret_cast<const char*>(bytes + feitos), pedaco, 0);
        if (r > 0) {
            feitos += static_cast<std::size_t>(r);
            continue;
        }
        if (r == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return false;
        fd_set escrita;
        FD_ZERO(&escrita);
        FD_SET(Nativo(s), &escrita);
        if (select(0, nullptr, &escrita, nullptr, nullptr) < 0) return false;
    }
    return true;
}

long RecebeAgora(Soquete s, unsigned char* destino, std::size_t n) {
    const int pedaco = n > 0x10000 ? 0x10000 : static_cast<int>(n);
    const int r = recv(Nativo(s), reinterpret_cast<char*>(destino), pedaco, 0);
    if (r > 0) return r;
    if (r < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
    return -1;
}

int EsperaLeitura(Soquete s, int milissegundos) {
    fd_set leitura;
    FD_ZERO(&leitura);
    FD_SET(Nativo(s), &leitura);
    timeval espera = Tempo(milissegundos);
    const int r = select(0, &leitura, nullptr, nullptr, &espera);
    if (r < 0) return -1;
    return r > 0 ? 1 : 0;
}

bool Encerrado(Soquete s) {
    char b;
    const int r = recv(Nativo(s), &b, 1, MSG_PEEK);
    return !(r > 0 || (r < 0 && WSAGetLastError() == WSAEWOULDBLOCK));
}

std::uint32_t NaEntrada(Soquete s) {
    u_long n = 0;
    return ioctlsocket(Nativo(s), FIONREAD, &n) == 0 ? static_cast<std::uint32_t>(n) : 0;
}

// Winsock tells no count of bytes written and not yet sent.
std::uint32_t NaSaida(Soquete) { return 0; }

bool Fecha(Soquete s) { return closesocket(Nativo(s)) == 0; }

}  // namespace plataforma::soquete
