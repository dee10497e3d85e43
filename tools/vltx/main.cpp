// vltx: the driver from a shell. Loads libvltxdrv.so as a host does, opens
// the port, runs exports by name and prints each result with its meaning.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "comum/quadro.h"
#include "vltx/biblioteca.h"
#include "vltx/decodifica_log.h"
#include "vltx/lugar_do_log.h"
#include "vltx/exportacoes.h"
#include "vltx/progresso.h"
#include "vltx/roteiro.h"
#include "vltx/significado.h"
#include "vltxdrv.h"

#ifndef VLTXDRV_SONAME
#define VLTXDRV_SONAME "libvltxdrv.so.2"
#endif

namespace {

#ifdef _WIN32
constexpr const char* PortaPadrao = "COM1";
#else
constexpr const char* PortaPadrao = "/tmp/ecf0";
#endif

enum Saida { Ok = 0, Uso_ = 1, SemPorta = 2, FaltaExportacao = 3, ChamadaFalhou = 4 };

void Ajuda() {
    std::printf(
        "usage: vltx [--port PATH] [--lib PATH] [--check] CALL [ARG...] [CALL [ARG...]]...\n"
        "       vltx [--port PATH] [--lib PATH] [--check] --script FILE   (FILE \"-\", or \"vltx -\": stdin)\n"
        "       vltx log [--summary] [FILE]                    (decode a diagnostic log; \"-\": stdin;\n"
        "                                                       no FILE: today's; --where: its directory)\n"
        "       vltx --list                                    (every export and its arguments)\n"
        "\n"
        "Loads libvltxdrv.so with dlopen, opens the port (ecf_InicializaDLL), runs the calls\n"
        "in order, closes the port (ecf_FinalizaDLL) and prints each result with its meaning.\n"
        "A call is an export name, with or without \"ecf_\", followed by exactly as many\n"
        "arguments as the export takes; several calls may follow each other:\n"
        "  vltx EstadoImpressora\n"
        "  vltx ProximoTimeout 30 VendaItem 7891234567895 \"CAFE 500G\" 1000 1590 T1 UN 2\n"
        "  vltx CupomStub 42            (the one export taking an integer)\n"
        "  vltx LeRegistrador 001       (prints the printer's 30-byte answer)\n"
        "A script holds one call per line; \"#\" starts a comment; quote as in a shell.\n"
        "Options stand before the calls or after a whole call, never among its arguments.\n"
        "When a call is InicializaDLL itself, vltx leaves opening and closing to the calls.\n"
        "\n"
        "options:\n"
        "  --port PATH   the serial device (default %s, the link vltx-sim --link makes)\n"
        "  --lib PATH    the library (default: $VLTXDRV_LIB, else the installed one beside\n"
        "                vltx's bin directory, else next to vltx in the build, else\n"
        "                " VLTXDRV_SONAME " on the loader's path)\n"
        "  --script FILE run the calls of FILE\n"
        "  --check       exit with 4 when a call returns one of the driver's failure codes\n"
        "  --list        list the exports with their parameters\n"
        "  --version     vltx's version and the loaded library's (ecf_VersaoDLL)\n"
        "  --help        this text\n"
        "\n"
        "A result is the printer's status byte (0 to 255) or a code of the driver's own:\n"
        "2 port not open, 3 to 19 and 29 line failures, 20 to 28 file and cheque layout\n"
        "failures, 33 a step of the driver's own done. The ranges overlap; vltx prints the\n"
        "readings that fit. The log goes where VLTXDRV_DRIVE_C says (LogSerial 1 switches\n"
        "it on and the closing of the port remembers it).\n"
        "\n"
        "When the port cannot be opened (3), vltx tells why: no such device, no permission,\n"
        "a lock file and its process, another process holding the device; for socket:// and\n"
        "rfc2217:// names: name not found, refused, no route, time-out, the RFC 2217 option\n"
        "refused (4). It names a process that holds the open device without a lock, and says\n"
        "when LogSerial 1 switches the log on where no log can be written.\n"
        "\n"
        "exit status: 0 every call ran; 1 usage or library fault; 2 the port did not open;\n"
        "3 an export is missing from the library (the other calls ran); 4 with --check, a call\n"
        "returned a failure code: InicializaDLL anything but 33 and 1; LeRegistrador and the\n"
        "readouts (LeECF 4 to 7) anything but 33; ImprimeCheque 20 to 28; LeCMC7 20; any\n"
        "command 3 to 19 and 29 (a status byte of the same number too), and 2 with the port\n"
        "closed. VersaoDLL, LogSerial and ProximoTimeout never fail.\n",
        PortaPadrao);
}

void Lista() {
    for (const Exportacao& e : Exportacoes()) {
        std::string linha = Uso(e);
        if (const Comando* c = LinhaDaExportacao(e.Nome)) {
            linha.resize(std::max<std::size_t>(linha.size() + 2, 60), ' ');
            linha += std::string("[") + c->Codigo + "] " + c->Descricao;
        }
        std::printf("%s\n", linha.c_str());
    }
}

bool LeTudo(const std::string& caminho, std::string& conteudo) {
    if (caminho == "-") {
        std::ostringstream s;
        s << std::cin.rdbuf();
        conteudo = s.str();
        return true;
    }
    std::ifstream f(caminho, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    conteudo = s.str();
    return true;
}

void AjudaDoLog(std::FILE* saida) {
    std::fprintf(saida,
                 "usage: vltx log [--summary] [FILE]   (\"-\": standard input; no FILE: today's log)\n"
                 "       vltx log --where               (the directory the library writes its log in)\n"
                 "Decodes a diagnostic log: each frame sent named by its command and split into\n"
                 "its fields, each reply with its status byte, each driver error with its\n"
                 "meaning, the settings lines as they are. Without FILE, the day's log (Mon.log,\n"
                 "Tue.log ...) where the library writes it: VLTXDRV_DRIVE_C, else\n"
                 "$XDG_STATE_HOME/vltxdrv/c, else $HOME/.local/state/vltxdrv/c.\n"
                 "--summary: the frames sent per command with their failures and times, every\n"
                 "failure with its code and meaning, the slowest exchanges (TX to RX), the\n"
                 "status bytes other than 0, and the bytes discarded after failed exchanges.\n");
}

// The log is read and the text written a piece at a time: a log of any
// size takes the same memory.
int DecodificaArquivo(const std::string& caminho, bool resumo) {
    std::FILE* f = caminho == "-" ? stdin : std::fopen(caminho.c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "vltx: cannot read %s: %s\n", caminho.c_str(), std::strerror(errno));
        return Uso_;
    }
    int erro = 0;
    const LeituraLog entrada = [&](char* destino, std::size_t n) {
        const std::size_t lidos = std::fread(destino, 1, n, f);
        if (lidos == 0 && std::ferror(f)) erro = errno;
        return lidos;
    };
    const EscritaLog saida = [](std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); };
    try {
        resumo ? ResumoDoLog(entrada, saida) : DecodificaLog(entrada, saida);
    } catch (const std::system_error& e) {
        if (f != stdin) std::fclose(f);
        std::fflush(stdout);
        std::fprintf(stderr, "vltx: %s\n", e.what());
        return Uso_;
    }
    if (f != stdin) std::fclose(f);
    if (erro != 0) {
        std::fflush(stdout);
        std::fprintf(stderr, "vltx: cannot read %s: %s\n", caminho.c_str(), std::strerror(erro));
        return Uso_;
    }
    return Ok;
}

void* CarregaBiblioteca(const std::string& pedida, std::string& carregada) {
    std::vector<std::string> candidatos;
    if (!pedida.empty()) {
        candidatos.push_back(pedida);
    } else if (const char* env = std::getenv("VLTXDRV_LIB"); env != nullptr && *env != '\0') {
        candidatos.push_back(env);
    } else {
        candidatos = CandidatosBiblioteca();
    }
    std::string erros;
    for (const std::string& c : candidatos) {
        std::string erro;
        if (void* lib = AbreBiblioteca(c, erro)) {
            carregada = c;
            return lib;
        }
        erros += "\n  " + erro;
    }
    std::fprintf(stderr, "vltx: cannot load the library:%s\n  (--lib PATH or VLTXDRV_LIB name it)\n", erros.c_str());
    return nullptr;
}

std::string Linha(const Chamada& c) {
    std::string s = "> " + std::string(NomeCurto(*c.Alvo));
    for (const std::string& a : c.Argumentos) s += " " + Citado(a);
    return s;
}

// What may take long enough to deserve a progress line.
std::unique_ptr<Progresso> ProgressoPara(const Chamada& c) {
    if (!SaidaEhTerminal()) return nullptr;
    const std::string_view nome = c.Alvo->Nome;
    const auto& a = c.Argumentos;
    if (nome == "ecf_Relatorio_XZ" && !a[0].empty() && a[0][0] == '1') return std::make_unique<Progresso>();
    if (nome == "ecf_LeECF" && !a[0].empty() && a[0][0] >= '4' && a[0][0] <= '7')
        return std::make_unique<Progresso>(a[4], 600);
    if (nome == "ecf_LeCMC7") return std::make_unique<Progresso>(a[0], 5);
    return nullptr;
}

class Sessao {
public:
    Sessao(void* lib, std::string caminho) : lib_(lib), caminho_(std::move(caminho)) {}

    // Runs one call and prints it; false when its export is missing.
    bool Executa(const Chamada& c) {
        std::printf("%s\n", Linha(c).c_str());
        std::fflush(stdout);
        void* simbolo = SimboloDe(lib_, c.Alvo->Nome);
        if (simbolo == nullptr) {
            std::printf("! %s is not in this library (%s): skipped\n", c.Alvo->Nome, caminho_.c_str());
            std::fflush(stdout);
            return false;
        }
        const bool abertaAntes = portaAberta_;
        Resultado r;
        {
            std::unique_ptr<Progresso> progresso = ProgressoPara(c);
            r = c.Alvo->Chama(simbolo, c.Argumentos);
        }
        Acompanha(*c.Alvo, r);
        if (r.SemValor) {
            std::printf("= (no result)  done\n");
        } else {
            std::printf("= %d  %s\n", r.Valor, Significado(*c.Alvo, c.Argumentos, r, abertaAntes).c_str());
        }
        for (const std::string& aviso : Avisos(c.Alvo->Nome, c.Argumentos, r.Valor)) std::printf("! %s\n", aviso.c_str());
        if (Falhou(*c.Alvo, c.Argumentos, r, abertaAntes)) ++falhas_;
        std::fflush(stdout);
        return true;
    }

    bool PortaAberta() const { return portaAberta_; }
    // Calls whose result was one of the driver's failure codes.
    int Falhas() const { return falhas_; }

private:
    // The port's state as this process, the library's only host, knows it.
    void Acompanha(const Exportacao& e, const Resultado& r) {
        const std::string_view nome = e.Nome;
        if (nome == "ecf_InicializaDLL" && (r.Valor == 33 || r.Valor == 1)) portaAberta_ = true;
        if (nome == "ecf_FinalizaDLL" && (r.Valor == 33 || r.Valor == 2)) portaAberta_ = false;
    }

    void* lib_;
    std::string caminho_;
    bool portaAberta_ = false;
    int falhas_ = 0;
};

// The tool's release, then the library's own answer: the two may differ
// when --lib or VLTXDRV_LIB names another build.
int Versao(const std::string& pedida) {
    std::printf("vltx %s\n", VLTXDRV_VERSION_TEXT);
    std::string carregada;
    void* lib = CarregaBiblioteca(pedida, carregada);
    if (lib == nullptr) return Uso_;
    auto versaoDll = reinterpret_cast<decltype(&ecf_VersaoDLL)>(SimboloDe(lib, "ecf_VersaoDLL"));
    if (versaoDll == nullptr) {
        std::printf("library %s: no ecf_VersaoDLL\n", carregada.c_str());
        return FaltaExportacao;
    }
    char versao[256] = {};
    versaoDll(versao);
    std::printf("library %s: %s\n", carregada.c_str(), versao);
    return Ok;
}

bool PrecisaDaPorta(const std::vector<Chamada>& chamadas) {
    for (const Chamada& c : chamadas) {
        const std::string_view nome = c.Alvo->Nome;
        if (nome == "ecf_InicializaDLL") return false;
    }
    for (const Chamada& c : chamadas) {
        const std::string_view nome = c.Alvo->Nome;
        if (nome != "ecf_VersaoDLL" && c.Alvo->Tipo != Forma::Nada) return true;
    }
    return false;
}


// vltx log [--summary] [--where] [FILE]: FILE, or the day's log where the
// library writes it.
int Log(int argc, char** argv, int i) {
    bool resumo = false, onde = false;
    std::optional<std::string> arquivo;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--summary") resumo = true;
        else if (a == "--where") onde = true;
        else if (a == "--help" || a == "-h") return AjudaDoLog(stdout), Ok;
        else if (a != "-" && a[0] == '-') return AjudaDoLog(stderr), Uso_;
        else if (arquivo) return AjudaDoLog(stderr), Uso_;
        else arquivo = a;
    }
    const LugarDoLog lugar = OndeFicaOLog();
    if (onde) {
        if (arquivo || resumo) return AjudaDoLog(stderr), Uso_;
        if (lugar.Diretorio.empty()) {
            for (const std::string& linha : PorQueNaoGravaLog(lugar, std::time(nullptr)))
                std::fprintf(stderr, "vltx: %s\n", linha.c_str());
            return Uso_;
        }
        std::printf("%s\n", lugar.Diretorio.c_str());
        return Ok;
    }
    if (!arquivo) {
        if (lugar.Diretorio.empty()) {
            for (const std::string& linha : PorQueNaoGravaLog(lugar, std::time(nullptr)))
                std::fprintf(stderr, "vltx: %s\n", linha.c_str());
            return Uso_;
        }
        arquivo = ArquivoDoDia(lugar.Diretorio, std::time(nullptr));
        if (!ExisteArquivo(*arquivo)) {
            std::fprintf(stderr,
                         "vltx: no log today: %s does not exist (from %s; LogSerial 1 switches the log on, "
                         "vltx log --where prints the directory)\n",
                         arquivo->c_str(), lugar.Origem.c_str());
            return Uso_;
        }
        if (const std::string dia = EscritoEmOutroDia(*arquivo, std::time(nullptr)); !dia.empty())
            std::fprintf(stderr, "vltx: %s was last written on %s: that day's log (the next record today starts it "
                                 "afresh)\n", arquivo->c_str(), dia.c_str());
    }
    return DecodificaArquivo(*arquivo, resumo);
}

// The options the command line takes, with whether each takes a value.
bool EhOpcao(const std::string& a) {
    for (const char* o : {"--port", "--lib", "--script"})
        if (a == o || a.rfind(std::string(o) + "=", 0) == 0) return true;
    return a == "--check" || a == "--list" || a == "--version" || a == "--help" || a == "-h";
}

}  // namespace

int main(int argc, char** argv) {
    std::string porta = PortaPadrao;
    std::string biblioteca;
    std::optional<std::string> roteiro;
    std::vector<std::string> palavras;
    bool verifica = false;
    bool versao = false;
    // The arguments the last call named still takes: options stand before
    // the calls or between whole calls, never among a call's arguments.
    int faltam = 0;
    const Exportacao* ultima = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto valor = [&](const char* opcao) -> std::optional<std::string> {
            const std::string prefixo = std::string(opcao) + "=";
            if (a.rfind(prefixo, 0) == 0) return a.substr(prefixo.size());
            if (a == opcao) {
                if (i + 1 < argc) return std::string(argv[++i]);
                std::fprintf(stderr, "vltx: %s needs a value\n", opcao);
                std::exit(Uso_);
            }
            return std::nullopt;
        };
        if (faltam > 0) {
            if (EhOpcao(a)) {
                std::fprintf(stderr,
                             "vltx: %s stands among the %d argument%s of %s: an option goes before the calls or "
                             "after a whole call (vltx %s ... %s ARG...)\n",
                             a.c_str(), ultima->Aridade, ultima->Aridade == 1 ? "" : "s",
                             std::string(NomeCurto(*ultima)).c_str(), a.c_str(), std::string(NomeCurto(*ultima)).c_str());
                return Uso_;
            }
            palavras.push_back(a);
            --faltam;
        } else if (a == "--help" || a == "-h") {
            Ajuda();
            return Ok;
        } else if (a == "--list") {
            Lista();
            return Ok;
        } else if (a == "--check") {
            verifica = true;
        } else if (a == "--version") {
            versao = true;  // after the options, so that --lib counts wherever it stands
        } else if (auto v = valor("--port")) {
            porta = *v;
        } else if (auto v = valor("--lib")) {
            biblioteca = *v;
        } else if (auto v = valor("--script")) {
            roteiro = *v;
        } else if (a == "-" && !roteiro && palavras.empty()) {
            roteiro = "-";  // the calls come on standard input
        } else if (a == "log" && palavras.empty() && !roteiro) {
            return Log(argc, argv, i + 1);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            std::fprintf(stderr, "vltx: unknown option %s (vltx --help)\n", a.c_str());
            return Uso_;
        } else if (a.size() > 1 && a[0] == '-' && palavras.empty()) {
            std::fprintf(stderr, "vltx: unknown option %s (vltx --help)\n", a.c_str());
            return Uso_;
        } else {
            palavras.push_back(a);
            ultima = ProcuraExportacao(a);
            faltam = ultima != nullptr ? ultima->Aridade : 0;
        }
    }

    if (versao) return Versao(biblioteca);

    std::vector<Chamada> chamadas;
    std::string erro;
    if (roteiro) {
        if (!palavras.empty()) {
            std::fprintf(stderr, "vltx: calls on the command line and --script together\n");
            return Uso_;
        }
        std::string texto;
        if (!LeTudo(*roteiro, texto)) {
            std::fprintf(stderr, "vltx: cannot read %s: %s\n", roteiro->c_str(), std::strerror(errno));
            return Uso_;
        }
        if (!LeRoteiro(texto, *roteiro == "-" ? "stdin" : *roteiro, chamadas, erro)) {
            std::fprintf(stderr, "vltx: %s\n", erro.c_str());
            return Uso_;
        }
    } else if (!LeChamadas(palavras, chamadas, erro)) {
        std::fprintf(stderr, "vltx: %s\n", erro.c_str());
        return Uso_;
    }
    if (chamadas.empty()) {
        Ajuda();
        return Uso_;
    }

    std::string carregada;
    void* lib = CarregaBiblioteca(biblioteca, carregada);
    if (lib == nullptr) return Uso_;
    Sessao sessao(lib, carregada);

    const bool abre = PrecisaDaPorta(chamadas);
    if (abre) {
        const Chamada abertura{ProcuraExportacao("InicializaDLL"), {porta}};
        if (!sessao.Executa(abertura) || !sessao.PortaAberta()) return SemPorta;
    }
    int saida = Ok;
    for (const Chamada& c : chamadas)
        if (!sessao.Executa(c)) saida = FaltaExportacao;
    if (abre && sessao.PortaAberta()) sessao.Executa({ProcuraExportacao("FinalizaDLL"), {}});
    // The library stays loaded to the end: unloading it is the host's last act.
    FechaBiblioteca(lib);
    if (verifica && sessao.Falhas() > 0) {
        std::fprintf(stderr, "vltx: %d call%s returned a failure code\n", sessao.Falhas(),
                     sessao.Falhas() == 1 ? "" : "s");
        if (saida == Ok) saida = ChamadaFalhou;
    }
    return saida;
}
