// The simulator's line on POSIX: a pseudo-terminal, or a TCP port with one
// client at a time; the waits let the stop signals in (ppoll).
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "sim/simulador.h"

namespace {

std::int64_t AgoraMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

Simulador::~Simulador() {
    if (!opcoes_.Link.empty() && !caminho_.empty()) {
        // Only our own link: another simulator may have taken the name since.
        char destino[256] = {};
        ssize_t n = readlink(opcoes_.Link.c_str(), destino, sizeof destino - 1);
        if (n > 0 && caminho_ == std::string(destino, static_cast<std::size_t>(n))) unlink(opcoes_.Link.c_str());
    }
    if (mestre_ >= 0) close(mestre_);
    if (escravo_ >= 0) close(escravo_);
    if (ouvinte_ >= 0) close(ouvinte_);
}

bool Simulador::AbreTcp(const std::string& endereco, std::string& erro) {
    std::string host, portaPedida;
    if (!SeparaHostPorta(endereco, host, portaPedida, erro)) return false;
    addrinfo dicas{};
    dicas.ai_socktype = SOCK_STREAM;
    dicas.ai_flags = AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* a = nullptr;
    if (int r = getaddrinfo(host.c_str(), portaPedida.c_str(), &dicas, &a); r != 0) {
        erro = endereco + ": " + gai_strerror(r);
        return false;
    }
    ouvinte_ = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    int um = 1;
    if (ouvinte_ >= 0) setsockopt(ouvinte_, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
    const bool ok = ouvinte_ >= 0 && bind(ouvinte_, a->ai_addr, a->ai_addrlen) == 0 && listen(ouvinte_, 1) == 0;
    freeaddrinfo(a);
    if (!ok) {
        erro = "cannot listen on " + endereco + ": " + std::strerror(errno);
        return false;
    }
    sockaddr_storage local{};
    socklen_t tamanho = sizeof local;
    char nome[NI_MAXHOST], porta[NI_MAXSERV];
    getsockname(ouvinte_, reinterpret_cast<sockaddr*>(&local), &tamanho);
    getnameinfo(reinterpret_cast<sockaddr*>(&local), tamanho, nome, sizeof nome, porta, sizeof porta,
                NI_NUMERICHOST | NI_NUMERICSERV);
    caminho_ = HostPorta(nome, porta);
    return true;
}

bool Simulador::Abre(std::string& erro) {
    char nome[256] = {};
    if (openpty(&mestre_, &escravo_, nome, nullptr, nullptr) != 0) {
        erro = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    fcntl(mestre_, F_SETFD, FD_CLOEXEC);
    fcntl(escravo_, F_SETFD, FD_CLOEXEC);
    // Raw from the start, and the slave stays open here so that the line
    // does not hang up each time the driver closes the port.
    termios t{};
    tcgetattr(escravo_, &t);
    cfmakeraw(&t);
    tcsetattr(escravo_, TCSANOW, &t);
    caminho_ = nome;
    if (!opcoes_.Link.empty()) {
        struct stat st {};
        if (lstat(opcoes_.Link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                erro = opcoes_.Link + " exists and is not a symbolic link";
                caminho_.clear();
                return false;
            }
            unlink(opcoes_.Link.c_str());  // a link left by an earlier run
        }
        if (symlink(nome, opcoes_.Link.c_str()) != 0) {
            erro = "cannot link " + opcoes_.Link + ": " + std::strerror(errno);
            caminho_.clear();
            return false;
        }
    }
    return true;
}

// Waits on the line (and on the stop signals, which ppoll lets in).
Simulador::Leitura Simulador::Le(std::size_t n, int ms) {
    const std::int64_t prazo = ms < 0 ? -1 : AgoraMs() + ms;
    while (entrada_.size() < n) {
        if (*parar_) return Leitura::Parar;
        timespec espera{};
        timespec* limite = nullptr;
        if (prazo >= 0) {
            std::int64_t resta = prazo - AgoraMs();
            if (resta <= 0) return Leitura::Curta;
            espera.tv_sec = static_cast<time_t>(resta / 1000);
            espera.tv_nsec = static_cast<long>(resta % 1000) * 1000000;
            limite = &espera;
        }
        sigset_t aberto;
        sigemptyset(&aberto);
        pollfd pf{mestre_, POLLIN, 0};
        int r = ppoll(&pf, 1, limite, &aberto);
        if (r < 0) {
            if (errno == EINTR) continue;
            return Leitura::Parar;
        }
        if (r == 0) continue;
        char buf[1024];
        ssize_t lidos = read(mestre_, buf, sizeof buf);
        if (lidos > 0) entrada_.append(buf, static_cast<std::size_t>(lidos));
        else if (lidos == 0 || (errno != EINTR && errno != EAGAIN)) return Leitura::Parar;  // 0: the client left
    }
    return Leitura::Ok;
}

bool Simulador::Escreve(std::string_view bytes) {
    while (!bytes.empty()) {
        pollfd pf{mestre_, POLLOUT, 0};
        // Nobody reading for five seconds: give the rest up.
        if (poll(&pf, 1, 5000) <= 0) return false;
        ssize_t n = write(mestre_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Sleeps to a deadline; a stop signal cuts the sleep short.
void Simulador::Dorme(int ms) {
    const std::int64_t prazo = AgoraMs() + ms;
    sigset_t aberto;
    sigemptyset(&aberto);
    for (std::int64_t resta = ms; resta > 0 && !*parar_; resta = prazo - AgoraMs()) {
        timespec t{static_cast<time_t>(resta / 1000), static_cast<long>(resta % 1000) * 1000000L};
        ppoll(nullptr, 0, &t, &aberto);
    }
}

void Simulador::Derruba() {
    papel_.Nota("line dropped (drill)");
    close(mestre_);
    mestre_ = -1;
    close(escravo_);
    escravo_ = -1;
    caiu_ = true;
}

void Simulador::Executa(volatile std::sig_atomic_t& parar) {
    parar_ = &parar;
    std::string quadro;
    if (ouvinte_ < 0) {
        while (!caiu_ && LeQuadro(quadro)) Atende(quadro);
        return;
    }
    // One client at a time; the printer's state outlives each connection.
    sigset_t aberto;
    sigemptyset(&aberto);
    while (!caiu_ && !*parar_) {
        pollfd pf{ouvinte_, POLLIN, 0};
        if (ppoll(&pf, 1, nullptr, &aberto) <= 0) continue;
        mestre_ = accept4(ouvinte_, nullptr, nullptr, SOCK_CLOEXEC);
        if (mestre_ < 0) continue;
        papel_.Nota("client connected");
        entrada_.clear();
        while (!caiu_ && LeQuadro(quadro)) Atende(quadro);
        if (mestre_ >= 0) close(mestre_);
        mestre_ = -1;
        if (!caiu_ && !*parar_) papel_.Nota("client left");
    }
}
