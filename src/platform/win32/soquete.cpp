// TCP sockets on Windows (Winsock 2, ws2_32). Winsock is started once, on
// the first connection, and left to the process's end. A socket stays
// non-blocking from its connection on: Winsock has no flag that makes one
// receive not wait (MSG_DONTWAIT), so every receive is one that does not,
// and a send that finds the network's buffers full waits for room in
// select() until its deadline. select() rather than WSAPoll: the DLL keeps
// loading on Windows XP.
#include "platform/soquete.h"

#include "platform/prazo.h"

// After plataforma.h (through prazo.h): windows.h defines some of its names as macros.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>

#include "platform/win32/nome_erro.h"

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

void AnotaWsa(const char* chamada, int erro) { AnotaErroWindows(chamada, static_cast<unsigned long>(erro)); }

// Whether a non-blocking connect ends connected by the deadline: 0, or the error.
int TerminaConexao(SOCKET s, std::int64_t prazo) {
    fd_set escrita, excecao;
    FD_ZERO(&escrita);
    FD_ZERO(&excecao);
    FD_SET(s, &escrita);
    FD_SET(s, &excecao);
    timeval espera = Tempo(prazo::Restante(prazo));
    const int r = select(0, nullptr, &escrita, &excecao, &espera);
    if (r < 0) return WSAGetLastError();
    if (r == 0) return WSAETIMEDOUT;
    int erro = 0;
    int tam = sizeof erro;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&erro), &tam) != 0) return WSAGetLastError();
    if (erro == 0 && !FD_ISSET(s, &escrita)) erro = WSAECONNREFUSED;
    return erro;
}

// Waits for room to send until prazo: 1 there is, 0 time up, -1 failed.
int EsperaEscrita(SOCKET s, std::int64_t prazo) {
    fd_set escrita;
    FD_ZERO(&escrita);
    FD_SET(s, &escrita);
    timeval espera = Tempo(prazo::Restante(prazo));
    const int r = select(0, nullptr, &escrita, nullptr, &espera);
    if (r < 0) AnotaWsa("select", WSAGetLastError());
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

}  // namespace

Soquete Conecta(const char* host, const char* porta, std::int64_t prazo) {
    if (!IniciaWinsock()) {
        AnotaWsa("WSAStartup", WSANOTINITIALISED);
        return Nenhum;
    }
    addrinfo dicas{};
    dicas.ai_family = AF_UNSPEC;
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_protocol = IPPROTO_TCP;
    addrinfo* enderecos = nullptr;
    if (getaddrinfo(host, porta, &dicas, &enderecos) != 0) {
        AnotaWsa("getaddrinfo", WSAGetLastError());
        return Nenhum;
    }
    SOCKET s = INVALID_SOCKET;
    for (addrinfo* a = enderecos; a != nullptr && s == INVALID_SOCKET && prazo::Restante(prazo) > 0;
         a = a->ai_next) {
        s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET) {
            AnotaWsa("socket", WSAGetLastError());
            continue;
        }
        SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        u_long naoBloqueia = 1;
        int erro = ioctlsocket(s, FIONBIO, &naoBloqueia) == 0 ? 0 : WSAGetLastError();
        if (erro == 0 && connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
            erro = WSAGetLastError();
            if (erro == WSAEWOULDBLOCK) erro = TerminaConexao(s, prazo);
        }
        if (erro != 0) {
            AnotaWsa("connect", erro);
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

long EnviaAte(Soquete s, const unsigned char* bytes, std::size_t n, std::int64_t prazo) {
    std::size_t feitos = 0;
    while (feitos < n) {
        const std::size_t resto = n - feitos;
        const int pedaco = resto > 0x10000 ? 0x10000 : static_cast<int>(resto);
        const int r = send(Nativo(s), reinterpret_cast<const char*>(bytes + feitos), pedaco, 0);
        if (r > 0) {
            feitos += static_cast<std::size_t>(r);
            continue;
        }
        const int erro = r == 0 ? WSAECONNRESET : WSAGetLastError();
        if (erro != WSAEWOULDBLOCK) {
            AnotaWsa("send", erro);
            return -1;
        }
        const int espera = EsperaEscrita(Nativo(s), prazo);
        if (espera < 0) return -1;
        if (espera == 0) break;
    }
    return static_cast<long>(feitos);
}

long RecebeAgora(Soquete s, unsigned char* destino, std::size_t n) {
    const int pedaco = n > 0x10000 ? 0x10000 : static_cast<int>(n);
    const int r = recv(Nativo(s), reinterpret_cast<char*>(destino), pedaco, 0);
    if (r > 0) return r;
    const int erro = r < 0 ? WSAGetLastError() : 0;
    if (erro == WSAEWOULDBLOCK) return 0;
    if (r == 0) AnotaFalhaSistema("recv", 0, "EOF");
    else AnotaWsa("recv", erro);
    return -1;
}

int EsperaLeitura(Soquete s, int milissegundos) {
    fd_set leitura;
    FD_ZERO(&leitura);
    FD_SET(Nativo(s), &leitura);
    timeval espera = Tempo(milissegundos);
    const int r = select(0, &leitura, nullptr, nullptr, &espera);
    if (r < 0) {
        AnotaWsa("select", WSAGetLastError());
        return -1;
    }
    return r > 0 ? 1 : 0;
}

bool Encerrado(Soquete s) {
    char b;
    const int r = recv(Nativo(s), &b, 1, MSG_PEEK);
    const int erro = r < 0 ? WSAGetLastError() : 0;
    if (r > 0 || erro == WSAEWOULDBLOCK) return false;
    if (r == 0) AnotaFalhaSistema("recv", 0, "EOF");
    else AnotaWsa("recv", erro);
    return true;
}

std::uint32_t NaEntrada(Soquete s) {
    u_long n = 0;
    return ioctlsocket(Nativo(s), FIONREAD, &n) == 0 ? static_cast<std::uint32_t>(n) : 0;
}

// Winsock tells no count of bytes written and not yet sent.
std::uint32_t NaSaida(Soquete) { return 0; }

bool Fecha(Soquete s) { return closesocket(Nativo(s)) == 0; }

bool EnderecoRemoto(Soquete s, char* texto, std::size_t tamanho) {
    sockaddr_storage endereco{};
    int tam = sizeof endereco;
    if (getpeername(Nativo(s), reinterpret_cast<sockaddr*>(&endereco), &tam) != 0) return false;
    char host[NI_MAXHOST], porta[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&endereco), tam, host, sizeof host, porta, sizeof porta,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return false;
    const bool v6 = endereco.ss_family == AF_INET6;
    const int n = std::snprintf(texto, tamanho, v6 ? "[%s]:%s" : "%s:%s", host, porta);
    return n > 0 && static_cast<std::size_t>(n) < tamanho;
}

}  // namespace plataforma::soquete
