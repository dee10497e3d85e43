// The simulator's line on Windows: a TCP port (--tcp) with one client at a
// time, through Winsock. Windows has no pseudo-terminals: the driver reaches
// this printer with socket://HOST:PORT. Ctrl+C ends the program as it ends
// any console program; the paper roll is written line by line.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>

#include "sim/simulador.h"

namespace {

std::int64_t AgoraMs() { return static_cast<std::int64_t>(GetTickCount64()); }

SOCKET S(std::intptr_t d) { return static_cast<SOCKET>(d); }

std::string ErroWinsock() { return "Winsock error " + std::to_string(WSAGetLastError()); }

// Whether the socket is readable (or, with escrita, writable) within ms; -1 waits without end.
int Espera(std::intptr_t d, int ms, bool escrita) {
    fd_set conjunto;
    FD_ZERO(&conjunto);
    FD_SET(S(d), &conjunto);
    timeval t{ms / 1000, (ms % 1000) * 1000};
    return select(0, escrita ? nullptr : &conjunto, escrita ? &conjunto : nullptr, nullptr, ms < 0 ? nullptr : &t);
}

}  // namespace

Simulador::~Simulador() {
    if (mestre_ != -1) closesocket(S(mestre_));
    if (ouvinte_ != -1) closesocket(S(ouvinte_));
}

bool Simulador::AbreTcp(const std::string& endereco, std::string& erro) {
    WSADATA dados;
    if (WSAStartup(MAKEWORD(2, 2), &dados) != 0) {
        erro = "WSAStartup failed";
        return false;
    }
    std::string host, portaPedida;
    if (!SeparaHostPorta(endereco, host, portaPedida, erro)) return false;
    addrinfo dicas{};
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_protocol = IPPROTO_TCP;
    dicas.ai_flags = AI_PASSIVE;
    addrinfo* a = nullptr;
    if (getaddrinfo(host.c_str(), portaPedida.c_str(), &dicas, &a) != 0) {
        erro = endereco + ": " + ErroWinsock();
        return false;
    }
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    const bool ok = s != INVALID_SOCKET && bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 &&
                    listen(s, 1) == 0;
    freeaddrinfo(a);
    if (!ok) {
        erro = "cannot listen on " + endereco + ": " + ErroWinsock();
        if (s != INVALID_SOCKET) closesocket(s);
        return false;
    }
    ouvinte_ = static_cast<std::intptr_t>(s);
    sockaddr_storage local{};
    int tamanho = sizeof local;
    char nome[NI_MAXHOST], porta[NI_MAXSERV];
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &tamanho);
    getnameinfo(reinterpret_cast<sockaddr*>(&local), tamanho, nome, sizeof nome, porta, sizeof porta,
                NI_NUMERICHOST | NI_NUMERICSERV);
    caminho_ = HostPorta(nome, porta);
    return true;
}

bool Simulador::Abre(std::string& erro) {
    erro = "Windows has no pseudo-terminals: serve on a TCP port with --tcp 127.0.0.1:PORT and open "
           "socket://127.0.0.1:PORT";
    return false;
}

Simulador::Leitura Simulador::Le(std::size_t n, int ms) {
    const std::int64_t prazo = ms < 0 ? -1 : AgoraMs() + ms;
    while (entrada_.size() < n) {
        if (*parar_) return Leitura::Parar;
        int espera = -1;
        if (prazo >= 0) {
            const std::int64_t resta = prazo - AgoraMs();
            if (resta <= 0) return Leitura::Curta;
            espera = static_cast<int>(resta);
        }
        const int r = Espera(mestre_, espera, false);
        if (r < 0) return Leitura::Parar;
        if (r == 0) continue;
        char buf[1024];
        const int lidos = recv(S(mestre_), buf, sizeof buf, 0);
        if (lidos <= 0) return Leitura::Parar;  // 0: the client left
        entrada_.append(buf, static_cast<std::size_t>(lidos));
    }
    return Leitura::Ok;
}

bool Simulador::Escreve(std::string_view bytes) {
    while (!bytes.empty()) {
        // Nobody reading for five seconds: give the rest up.
        if (Espera(mestre_, 5000, true) <= 0) return false;
        const int n = send(S(mestre_), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void Simulador::Dorme(int ms) {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

void Simulador::Derruba() {
    papel_.Nota("line dropped (drill)");
    closesocket(S(mestre_));
    mestre_ = -1;
    caiu_ = true;
}

void Simulador::Executa(volatile std::sig_atomic_t& parar) {
    parar_ = &parar;
    std::string quadro;
    // One client at a time; the printer's state outlives each connection.
    while (!caiu_ && !*parar_) {
        SOCKET c = accept(S(ouvinte_), nullptr, nullptr);
        if (c == INVALID_SOCKET) break;
        BOOL um = TRUE;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&um), sizeof um);
        mestre_ = static_cast<std::intptr_t>(c);
        papel_.Nota("client connected");
        entrada_.clear();
        while (!caiu_ && LeQuadro(quadro)) Atende(quadro);
        if (mestre_ != -1) closesocket(S(mestre_));
        mestre_ = -1;
        if (!caiu_ && !*parar_) papel_.Nota("client left");
    }
}
