// vltx-sim: a fiscal printer on a pseudo-terminal, for work without one.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "sim/simulador.h"
#include "vltxdrv.h"

namespace {

volatile std::sig_atomic_t parar = 0;

#ifndef _WIN32
void AoSinal(int) { parar = 1; }
#endif

void Ajuda() {
    std::printf(
        "usage: vltx-sim [options]\n"
        "\n"
        "A fiscal printer on a pseudo-terminal. Prints the slave's path on the first line\n"
        "of standard output, answers every frame the driver sends, and writes a paper\n"
        "roll of what it printed (standard output, or --paper FILE). Stops on SIGINT or\n"
        "SIGTERM and removes its link.\n"
        "\n"
        "  --link PATH         make a symbolic link PATH to the slave (vltx uses /tmp/ecf0)\n"
        "  --tcp HOST:PORT     serve on a TCP port instead of a pseudo-terminal (raw bytes,\n"
        "                      one client at a time; port 0: any free one); prints HOST:PORT,\n"
        "                      for the driver's socket://HOST:PORT\n"
        "  --paper FILE        write the paper roll to FILE instead of standard output\n"
        "  --polls N           after report \"08\" type 1 (answered 33), answer 10 to the\n"
        "                      next N status polls (default 2; each one past the first\n"
        "                      makes the driver wait 15, then 3 to 4 seconds)\n"
        "  --chunk BYTES       bytes per chunk of a stream (default 256)\n"
        "  --pause MS          pause between chunks of a stream (default 150)\n"
        "  --delay MS          wait before each answer (default 0)\n"
        "  --lines N           lines of a generated fiscal readout (default 60)\n"
        "  --version           the simulator's version and the frame table's library version\n"
        "\n"
        "fault drills (CODE: a two-digit command code; without it, every command):\n"
        "  --silent[=CODE]     never answer\n"
        "  --partial[=CODE]    answer all of a reply but its last byte (a one-byte reply:\n"
        "                      nothing); a stream is sent without its end byte\n"
        "  --status=BYTE[@CODE]  answer BYTE instead of the status byte\n"
        "  --stall[=SECONDS][@CODE]  pause a stream after its first chunk for SECONDS\n"
        "                      (default: the stream's idle limit plus 2: 7 for CMC-7,\n"
        "                      602 for a readout), then end it there\n"
        "  --drop[=CODE]       drop the line when the command arrives, and exit\n"
        "  --after N           the drills act from the Nth frame on (default 1)\n"
        "A frame hit by --silent, --status or --drop is not carried out.\n"
        "\n"
        "status bytes: 0 done; 1 unknown command code; 2 CMC-7 line follows (\"53\");\n"
        "10 busy printing a report (\"00\" after a report); 33 report accepted (\"08\" type 1).\n");
}

bool Inteiro(const std::string& texto, int minimo, int& valor) {
    char* fim = nullptr;
    errno = 0;
    long v = std::strtol(texto.c_str(), &fim, 10);
    if (texto.empty() || *fim != '\0' || errno != 0 || v < minimo || v > 1000000) return false;
    valor = static_cast<int>(v);
    return true;
}

bool Codigo(const std::string& texto) {
    return texto.size() == 2 && texto[0] >= '0' && texto[0] <= '9' && texto[1] >= '0' && texto[1] <= '9';
}

int Falha(const std::string& mensagem) {
    std::fprintf(stderr, "vltx-sim: %s (vltx-sim --help)\n", mensagem.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Opcoes opcoes;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::optional<std::string> valor;
        if (std::size_t igual = a.find('='); a.rfind("--", 0) == 0 && igual != std::string::npos) {
            valor = a.substr(igual + 1);
            a.resize(igual);
        }
        // Options with a required value also take it as the next word.
        auto requer = [&]() -> std::optional<std::string> {
            if (valor) return valor;
            if (i + 1 < argc) return std::string(argv[++i]);
            return std::nullopt;
        };
        auto numero = [&](int minimo, int& destino) {
            std::optional<std::string> v = requer();
            if (!v || !Inteiro(*v, minimo, destino)) return false;
            return true;
        };
        if (a == "--help" || a == "-h") {
            Ajuda();
            return 0;
        } else if (a == "--version") {
            // The simulator answers from the frame table it was built with.
            std::printf("vltx-sim %s\nframe table of vltxdrv %s\n", VLTXDRV_VERSION_TEXT, VLTXDRV_VERSION_TEXT);
            return 0;
        } else if (a == "--link" || a == "--paper") {
            std::optional<std::string> v = requer();
            if (!v || v->empty()) return Falha(a + " needs a path");
            (a == "--link" ? opcoes.Link : opcoes.ArquivoPapel) = *v;
        } else if (a == "--tcp") {
            std::optional<std::string> v = requer();
            if (!v || v->empty()) return Falha("--tcp needs HOST:PORT");
            opcoes.Tcp = *v;
        } else if (a == "--polls") {
            if (!numero(0, opcoes.Consultas)) return Falha("--polls needs a number, 0 or more");
        } else if (a == "--chunk") {
            if (!numero(1, opcoes.Pedaco)) return Falha("--chunk needs a number, 1 or more");
        } else if (a == "--pause") {
            if (!numero(0, opcoes.PausaMs)) return Falha("--pause needs milliseconds");
        } else if (a == "--delay") {
            if (!numero(0, opcoes.AtrasoMs)) return Falha("--delay needs milliseconds");
        } else if (a == "--lines") {
            if (!numero(0, opcoes.LinhasLeitura)) return Falha("--lines needs a number");
        } else if (a == "--after") {
            if (!numero(1, opcoes.APartirDe)) return Falha("--after needs a frame number, 1 or more");
        } else if (a == "--silent" || a == "--partial" || a == "--drop") {
            Exercicio e{a == "--silent" ? Exercicio::Silencio
                                        : (a == "--partial" ? Exercicio::Parcial : Exercicio::Queda),
                        valor.value_or(""), 0, -1};
            if (!e.Codigo.empty() && !Codigo(e.Codigo)) return Falha(a + "=CODE needs a two-digit code");
            opcoes.Exercicios.push_back(e);
        } else if (a == "--status" || a == "--stall") {
            std::string v = a == "--status" ? requer().value_or("") : valor.value_or("");
            Exercicio e{a == "--status" ? Exercicio::Status : Exercicio::Pausa, "", 0, -1};
            if (std::size_t arroba = v.find('@'); arroba != std::string::npos) {
                e.Codigo = v.substr(arroba + 1);
                v.resize(arroba);
                if (!Codigo(e.Codigo)) return Falha(a + ": @CODE needs a two-digit code");
            }
            if (a == "--status" && (!Inteiro(v, 0, e.Byte) || e.Byte > 255))
                return Falha("--status needs a byte, 0 to 255");
            if (a == "--stall" && !v.empty() && !Inteiro(v, 0, e.Segundos))
                return Falha("--stall needs seconds");
            opcoes.Exercicios.push_back(e);
        } else {
            return Falha("unknown option " + std::string(argv[i]));
        }
    }

    std::FILE* saida = stdout;
    if (!opcoes.ArquivoPapel.empty()) {
        saida = std::fopen(opcoes.ArquivoPapel.c_str(), "w");
        if (saida == nullptr)
            return Falha("cannot write " + opcoes.ArquivoPapel + ": " + std::strerror(errno));
    }

#ifndef _WIN32
    // The stop signals stay blocked but for the waits, which let them in.
    struct sigaction acao {};
    acao.sa_handler = AoSinal;
    sigemptyset(&acao.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &acao, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t bloqueados;
    sigemptyset(&bloqueados);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&bloqueados, s);
    sigprocmask(SIG_BLOCK, &bloqueados, nullptr);
#endif

    Papel papel(saida);
    int resultado = 0;
    {
        Simulador simulador(opcoes, papel);
        std::string erro;
        if (!opcoes.Tcp.empty() && !opcoes.Link.empty()) {
            resultado = Falha("--tcp and --link do not go together");
        } else if (!(opcoes.Tcp.empty() ? simulador.Abre(erro) : simulador.AbreTcp(opcoes.Tcp, erro))) {
            resultado = Falha(erro);
        } else {
            std::printf("%s\n", simulador.Caminho().c_str());
            std::fflush(stdout);
            simulador.Executa(parar);
        }
    }
    if (saida != stdout) std::fclose(saida);
    return resultado;
}
