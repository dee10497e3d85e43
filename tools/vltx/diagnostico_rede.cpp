#include "vltx/diagnostico_rede.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/telnet_rfc2217.h"

namespace {

constexpr const char* Raw = "socket://";
constexpr const char* Rfc2217 = "rfc2217://";
// The library's own deadline for the connection, and again for the option.
constexpr int PrazoMs = 3000;

using Relogio = std::chrono::steady_clock;

int Restante(Relogio::time_point prazo) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(prazo - Relogio::now()).count();
    return ms > 0 ? static_cast<int>(ms) : 0;
}

struct Endereco {
    bool Rfc2217 = false;
    std::string Host, Porta;
};

// "HOST:PORT" behind the prefix, HOST possibly "[v6]", PORT 1 to 65535.
bool Separa(const std::string& nome, Endereco& e) {
    e.Rfc2217 = nome.rfind(Rfc2217, 0) == 0;
    const std::string resto = nome.substr(std::strlen(e.Rfc2217 ? Rfc2217 : Raw));
    const std::size_t dois = resto.rfind(':');
    if (dois == std::string::npos || dois == 0) return false;
    e.Host = resto.substr(0, dois);
    e.Porta = resto.substr(dois + 1);
    if (e.Host.size() > 2 && e.Host.front() == '[' && e.Host.back() == ']') e.Host = e.Host.substr(1, e.Host.size() - 2);
    if (e.Porta.empty() || e.Porta.size() > 5 || e.Porta.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long n = std::stol(e.Porta);
    return n >= 1 && n <= 65535 && !e.Host.empty();
}

std::string Numerico(const addrinfo* a) {
    char texto[INET6_ADDRSTRLEN] = "?";
    const void* bytes = a->ai_family == AF_INET6
                            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr)
                            : static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr);
    inet_ntop(a->ai_family, bytes, texto, sizeof texto);
    return texto;
}

// A connected socket, or -1 with the errno of the failure in erro (0: the deadline passed).
int Conecta(const addrinfo* a, Relogio::time_point prazo, int& erro) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) {
        erro = errno;
        return -1;
    }
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) return fd;
    erro = errno;
    if (erro == EINPROGRESS) {
        pollfd pf{fd, POLLOUT, 0};
        int r;
        do r = poll(&pf, 1, Restante(prazo));
        while (r < 0 && errno == EINTR);
        socklen_t tam = sizeof erro;
        if (r > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &erro, &tam) == 0 && erro == 0) return fd;
        if (r == 0) erro = 0;
    }
    close(fd);
    return -1;
}

// Asks for the option as the library does and waits for the server's word.
std::vector<std::string> Negocia(int fd, const std::string& alvo) {
    plataforma::TelnetRfc2217 t;
    t.Inicia();
    const auto prazo = Relogio::now() + std::chrono::milliseconds(PrazoMs);
    bool fechou = false;
    while (!t.Negociado()) {
        if (t.QuantosPendentes() > 0) {
            const ssize_t n = send(fd, t.Pendentes(), t.QuantosPendentes(), MSG_NOSIGNAL);
            if (n < 0) break;
            t.Enviados(static_cast<std::size_t>(n));
        }
        pollfd pf{fd, POLLIN, 0};
        const int espera = Restante(prazo);
        if (espera == 0 || poll(&pf, 1, espera) <= 0) break;
        unsigned char bytes[512], dados[512];
        const ssize_t n = recv(fd, bytes, sizeof bytes, 0);
        if (n <= 0) {
            fechou = true;
            break;
        }
        t.Recebe(bytes, static_cast<std::size_t>(n), dados);
    }
    if (t.Aceito()) return {};
    if (t.Negociado())
        return {"the server at " + alvo + " refused the RFC 2217 option (COM-PORT-OPTION): it serves a raw port or "
                "plain Telnet; in ser2net the accepter must read telnet(rfc2217),tcp,PORT, or name the port "
                "socket://" + alvo};
    if (fechou) return {"the server at " + alvo + " closed the connection during the RFC 2217 negotiation"};
    return {"the server at " + alvo + " did not answer the RFC 2217 negotiation within 3 s: a raw TCP port "
            "(then name it socket://" + alvo + ") or no Telnet server"};
}

}  // namespace

bool EhEnderecoDeRede(const std::string& nome) { return nome.rfind(Raw, 0) == 0 || nome.rfind(Rfc2217, 0) == 0; }

std::string FalhaDeConexao(int erro, const std::string& alvo, const std::string& endereco) {
    const std::string onde = endereco.empty() || endereco == alvo ? alvo : alvo + " (" + endereco + ")";
    switch (erro) {
        case 0:
            return "time-out: " + onde + " did not answer within 3 s (the server is down or unreachable, or a "
                   "firewall drops the connection)";
        case ECONNREFUSED:
            return "connection refused: nothing listens on " + onde +
                   " (is the server, or ser2net, running with an accepter on this port?)";
        case EHOSTUNREACH:
        case ENETUNREACH:
            return "no route to " + onde + ": check the address, the network and the firewall";
        default:
            return "cannot connect to " + onde + ": " + std::strerror(erro);
    }
}

std::vector<std::string> PorQueNaoConecta(const std::string& nome) {
    Endereco e;
    if (!Separa(nome, e))
        return {"not a network port name: " + nome + " (socket://HOST:PORT or rfc2217://HOST:PORT, PORT 1 to 65535; "
                "an IPv6 address in brackets)"};
    const std::string alvo = (e.Host.find(':') != std::string::npos ? "[" + e.Host + "]" : e.Host) + ":" + e.Porta;
    addrinfo dicas{};
    dicas.ai_family = AF_UNSPEC;
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_flags = AI_NUMERICSERV;
    addrinfo* enderecos = nullptr;
    if (const int r = getaddrinfo(e.Host.c_str(), e.Porta.c_str(), &dicas, &enderecos); r != 0)
        return {"name not found: " + e.Host + " (" + gai_strerror(r) + ")"};
    std::vector<std::string> causas;
    const auto prazo = Relogio::now() + std::chrono::milliseconds(PrazoMs);
    int fd = -1;
    for (const addrinfo* a = enderecos; a != nullptr && fd < 0; a = a->ai_next) {
        int erro = 0;
        if (Restante(prazo) == 0) {
            causas.push_back(FalhaDeConexao(0, alvo, Numerico(a) == e.Host ? "" : Numerico(a)));
            continue;
        }
        fd = Conecta(a, prazo, erro);
        if (fd < 0) causas.push_back(FalhaDeConexao(erro, alvo, Numerico(a) == e.Host ? "" : Numerico(a)));
    }
    freeaddrinfo(enderecos);
    if (fd < 0) return causas;
    causas.clear();
    if (e.Rfc2217) causas = Negocia(fd, alvo);
    close(fd);
    return causas;
}
