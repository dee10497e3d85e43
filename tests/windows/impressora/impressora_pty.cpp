// The printer for the Windows run: a Linux program on the master side of a
// pseudo-terminal whose slave Wine opens as COM1.
//
//   impressora_pty LINK DIR
//
// Makes LINK a symbolic link to the slave (the prefix's dosdevices/com1),
// then answers every frame that arrives. It is the tests' printer
// (tests/support/impressora.h): frames are read whole by the frame table;
// this program adds only the scripts. Each frame is appended to
// DIR/quadros as a line of hex digits, before it is answered. The answer comes from DIR/roteiro when the host has
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
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/impressora.h"
#include "support/loopback.h"

namespace {

std::string dir;

// Bytes on a descriptor, for the Telnet answers.
void Envia(int fd, const std::string& bytes) {
    std::size_t feitos = 0;
    while (feitos < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + feitos, bytes.size() - feitos);
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

// The answer to a frame: the script's steps, sent here; or, without a
// script, the printer's plain answer, returned.
std::string Responde(Impressora& impressora, const std::string& quadro) {
    Anota(quadro);
    std::string caminho = dir + "/roteiro";
    FILE* f = std::fopen(caminho.c_str(), "r");
    if (f == nullptr) {
        bool registrador = quadro.size() >= 4 && quadro[2] == '0' && quadro[3] == '4';
        return registrador ? std::string(30, '0') : std::string(1, '\0');
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
            impressora.Envia(DeHex(passo.c_str() + 2));
        } else if (passo.rfind("p ", 0) == 0) {
            usleep(static_cast<useconds_t>(std::atoi(passo.c_str() + 2)) * 1000);
        } else if (passo == "k") {
            MataServidor();
        } else if (passo == "h") {
            std::_Exit(0);  // the master (and the slave held here) close with the process
        }
    }
    return {};
}

// Answers every frame on the printer until the far end closes.
void Atende(Impressora& impressora) {
    impressora.Atende([&impressora](const std::string& quadro) { return Responde(impressora, quadro); });
    impressora.EsperaFim();
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
    const int ouvinte = OuveLoopbackEm(porta, 1);
    if (ouvinte < 0) {
        std::perror("impressora_pty: listen");
        return 1;
    }
    for (;;) {
        const int c = AceitaLoopback(ouvinte);
        if (c < 0) {
            if (errno == EINTR) continue;
            std::perror("impressora_pty: accept");
            return 1;
        }
        estadoTelnet = 0;
        Impressora cliente(c, Telnet);
        Atende(cliente);
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
    Impressora impressora;
    unlink(argv[1]);
    if (symlink(impressora.Caminho(), argv[1]) != 0) {
        std::perror("impressora_pty: symlink");
        return 1;
    }
    std::printf("%s\n", impressora.Caminho());
    std::fflush(stdout);
    Atende(impressora);
    return 0;
}
