// The printer for the Windows run: a Linux program on the master side of a
// pseudo-terminal whose slave Wine opens as COM1.
//
//   impressora_pty LINK DIR
//
// Makes LINK a symbolic link to the slave (the prefix's dosdevices/com1),
// then answers every frame that arrives. A frame ends when the line has been
// quiet for 30 ms (the driver writes each frame whole and waits for the
// reply). Each frame is appended to DIR/quadros as a line of hex digits,
// before it is answered. The answer comes from DIR/roteiro when the host has
// left one there (the file is used up by that frame):
//   b HEX     send these bytes
//   p MS      pause
//   k         kill the serial server whose pid is in DIR/ser2net.pid (the
//             network line drops in the middle of the exchange)
//   h         hang up: close the pseudo-terminal's master and end (the
//             printer's cable pulled in the middle of a readout)
// and any other line, or an empty script, sends nothing. Without a script the
// printer answers one status byte 0 (30 bytes "0" for the register read "04").
// Runs until killed.
//
//   impressora_pty --rfc2217 PORT DIR [recusa|calado]
//
// The same printer behind a scripted RFC 2217 server on 127.0.0.1:PORT, one
// client at a time: it takes every option asked (or refuses the COM port
// option, or answers no negotiation at all), keeps the data bytes as frames
// and sends a script's "b" bytes as they stand (Telnet notifications among
// them: NOTIFY-MODEMSTATE for CTS).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int SilencioMs = 30;

std::string dir;

void Envia(int mestre, const std::string& bytes) {
    std::size_t feitos = 0;
    while (feitos < bytes.size()) {
        ssize_t n = write(mestre, bytes.data() + feitos, bytes.size() - feitos);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            std::perror("impressora_pty: write");
            return;
        }
        feitos += static_cast<std::size_t>(n);
    }
}

std::string Hex(const std::string& bytes) {
    static const char* const Digitos = "0123456789abcdef";
    std::string h;
    for (unsigned char c : bytes) {
        h += Digitos[c >> 4];
        h += Digitos[c & 15];
    }
    return h;
}

std::string DeHex(const char* h) {
    std::string bytes;
    for (; h[0] != '\0' && h[1] != '\0' && h[0] != '\n'; h += 2) {
        char par[3] = {h[0], h[1], 0};
        bytes += static_cast<char>(std::strtoul(par, nullptr, 16));
    }
    return bytes;
}

void Anota(const std::string& quadro) {
    std::string caminho = dir + "/quadros";
    FILE* f = std::fopen(caminho.c_str(), "a");
    if (f == nullptr) return;
    std::fprintf(f, "%s\n", Hex(quadro).c_str());
    std::fclose(f);
}

void MataServidor() {
    FILE* f = std::fopen((dir + "/ser2net.pid").c_str(), "r");
    if (f == nullptr) return;
    int pid = 0;
    if (std::fscanf(f, "%d", &pid) == 1 && pid > 1) kill(pid, SIGKILL);
    std::fclose(f);
}

void Responde(int mestre, const std::string& quadro) {
    std::string caminho = dir + "/roteiro";
    FILE* f = std::fopen(caminho.c_str(), "r");
    if (f == nullptr) {
        bool registrador = quadro.size() >= 4 && quadro[2] == '0' && quadro[3] == '4';
        Envia(mestre, registrador ? std::string(30, '0') : std::string(1, '\0'));
        return;
    }
    char linha[4096];
    std::string passos;
    while (std::fgets(linha, sizeof linha, f) != nullptr) passos += linha;
    std::fclose(f);
    unlink(caminho.c_str());
    std::size_t inicio = 0;
    while (inicio < passos.size()) {
        std::size_t fim = passos.find('\n', inicio);
        if (fim == std::string::npos) fim = passos.size();
        std::string passo = passos.substr(inicio, fim - inicio);
        inicio = fim + 1;
        if (passo.rfind("b ", 0) == 0) {
            Envia(mestre, DeHex(passo.c_str() + 2));
        } else if (passo.rfind("p ", 0) == 0) {
            usleep(static_cast<useconds_t>(std::atoi(passo.c_str() + 2)) * 1000);
        } else if (passo == "k") {
            MataServidor();
        } else if (passo == "h") {
            close(mestre);
            std::exit(0);
        }
    }
}

// Frames from fd until it ends, each answered as the script says. Data
// bytes only: the filter (Telnet on a network line) takes out the rest.
int Atende(int fd, std::size_t (*filtro)(int fd, char* bytes, std::size_t n)) {
    std::string quadro;
    for (;;) {
        pollfd pf{fd, POLLIN, 0};
        int r = poll(&pf, 1, quadro.empty() ? -1 : SilencioMs);
        if (r < 0) {
            if (errno == EINTR) continue;
            std::perror("impressora_pty: poll");
            return 1;
        }
        if (r == 0) {
            Anota(quadro);
            Responde(fd, quadro);
            quadro.clear();
            continue;
        }
        char bloco[1024];
        ssize_t n = read(fd, bloco, sizeof bloco);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            std::perror("impressora_pty: read");
            return 1;
        }
        if (n == 0) return 0;
        quadro.append(bloco, filtro != nullptr ? filtro(fd, bloco, static_cast<std::size_t>(n))
                                               : static_cast<std::size_t>(n));
    }
}

// ------------------------------------------------------------ the RFC 2217 server

enum class Modo { Aceita, Recusa, Calado } modo = Modo::Aceita;
int estadoTelnet = 0;  // 0 data, 1 after IAC, 2 the option of a verb, 3 in SB, 4 IAC in SB
unsigned char verbo = 0;

// Keeps the data bytes of n in place and answers the client's requests:
// every option taken (Aceita), the COM port option refused (Recusa), or no
// answer at all (Calado, a raw port behind an rfc2217:// name).
std::size_t Telnet(int fd, char* bytes, std::size_t n) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        switch (estadoTelnet) {
            case 0:
                if (b == 255) estadoTelnet = 1;
                else bytes[k++] = static_cast<char>(b);
                break;
            case 1:
                estadoTelnet = 0;
                if (b == 255) bytes[k++] = static_cast<char>(b);
                else if (b >= 251) verbo = b, estadoTelnet = 2;
                else if (b == 250) estadoTelnet = 3;
                break;
            case 2: {
                estadoTelnet = 0;
                if (modo == Modo::Calado || (verbo != 251 && verbo != 253)) break;
                const bool sim = !(modo == Modo::Recusa && b == 44);
                const char r[3] = {'\xff', static_cast<char>(verbo == 251 ? (sim ? 253 : 254) : (sim ? 251 : 252)),
                                   static_cast<char>(b)};
                Envia(fd, std::string(r, 3));
                break;
            }
            case 3:
                if (b == 255) estadoTelnet = 4;
                break;
            case 4:
                estadoTelnet = b == 240 ? 0 : 3;
                break;
        }
    }
    return k;
}

int ServeRfc2217(int porta) {
    int ouvinte = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int um = 1;
    setsockopt(ouvinte, SOL_SOCKET, SO_REUSEADDR, &um, sizeof um);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(porta));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(ouvinte, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(ouvinte, 1) != 0) {
        std::perror("impressora_pty: listen");
        return 1;
    }
    for (;;) {
        int c = accept(ouvinte, nullptr, nullptr);
        if (c < 0) {
            if (errno == EINTR) continue;
            std::perror("impressora_pty: accept");
            return 1;
        }
        estadoTelnet = 0;
        Atende(c, Telnet);
        close(c);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--rfc2217") == 0) {
        dir = argv[3];
        if (argc > 4) modo = std::strcmp(argv[4], "recusa") == 0 ? Modo::Recusa : Modo::Calado;
        signal(SIGPIPE, SIG_IGN);
        return ServeRfc2217(std::atoi(argv[2]));
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: impressora_pty LINK DIR | impressora_pty --rfc2217 PORT DIR [recusa|calado]\n");
        return 2;
    }
    dir = argv[2];
    int mestre = posix_openpt(O_RDWR | O_NOCTTY);
    if (mestre < 0 || grantpt(mestre) != 0 || unlockpt(mestre) != 0) {
        std::perror("impressora_pty: posix_openpt");
        return 1;
    }
    const char* escravo = ptsname(mestre);
    // Raw both ways (termios on the master act on the slave); Wine sets its
    // own line settings on the slave when the driver opens it.
    termios t{};
    tcgetattr(mestre, &t);
    cfmakeraw(&t);
    tcsetattr(mestre, TCSANOW, &t);
    // Held open here, so that the line does not hang up between two opens.
    int proprio = open(escravo, O_RDWR | O_NOCTTY);
    if (proprio < 0) {
        std::perror("impressora_pty: slave");
        return 1;
    }
    unlink(argv[1]);
    if (symlink(escravo, argv[1]) != 0) {
        std::perror("impressora_pty: symlink");
        return 1;
    }
    std::printf("%s\n", escravo);
    std::fflush(stdout);

    return Atende(mestre, nullptr);
}
