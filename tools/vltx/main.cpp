// vltx: the driver from a shell. Loads libvltxdrv.so as a host does, opens
// the port, runs exports by name and prints each result with its meaning.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "comum/quadro.h"
#include "vltx/biblioteca.h"
#include "vltx/decodifica_log.h"
#include "vltx/diagnostico.h"
#include "vltx/exportacoes.h"
#include "vltx/progresso.h"
#include "vltx/roteiro.h"
#include "vltx/significado.h"
#include "vltxdrv.h"

// The name the loader knows the library by, for the usage text (the build passes it).
#ifndef VLTXDRV_SONAME
#define VLTXDRV_SONAME "libvltxdrv.so.2"
#endif

namespace {

constexpr const char* PortaPadrao = "/tmp/ecf0";

enum Saida { Ok = 0, Uso_ = 1, SemPorta = 2, FaltaExportacao = 3, ChamadaFalhou = 4 };

void Ajuda() {
    std::printf(
        "usage: vltx [--port PATH] [--lib PATH] [--check] CALL [ARG...] [CALL [ARG...]]...\n"
        "       vltx [--port PATH] [--lib PATH] [--check] --script FILE   (FILE \"-\", or \"vltx -\": stdin)\n"
        "       vltx log [--summary] FILE                      (decode a diagnostic log; \"-\": stdin)\n"
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
        "a lock file and its process, another process holding the device.\n"
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

int DecodificaArquivo(const std::string& caminho, bool resumo) {
    std::string conteudo;
    if (!LeTudo(caminho, conteudo)) {
        std::fprintf(stderr, "vltx: cannot read %s: %s\n", caminho.c_str(), std::strerror(errno));
        return Uso_;
    }
    std::fputs((resumo ? ResumoDoLog(conteudo) : DecodificaLog(conteudo)).c_str(), stdout);
    return Ok;
}

void* CarregaBiblioteca(const std::string& pedida, std::string& carregada) {
    std::string erros;
    if (void* lib = ::CarregaBiblioteca(pedida, carregada, erros)) return lib;
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
    if (isatty(STDOUT_FILENO) == 0) return nullptr;
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
        void* simbolo = dlsym(lib_, c.Alvo->Nome);
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
        if (std::string_view(c.Alvo->Nome) == "ecf_InicializaDLL" && r.Valor == 3)
            for (const std::string& causa : PorQueNaoAbre(c.Argumentos[0], CredenciaisDoProcesso()))
                std::printf("! %s\n", causa.c_str());
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
    auto versaoDll = reinterpret_cast<int32_t (*)(char*)>(dlsym(lib, "ecf_VersaoDLL"));
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

}  // namespace

int main(int argc, char** argv) {
    std::string porta = PortaPadrao;
    std::string biblioteca;
    std::optional<std::string> roteiro;
    std::vector<std::string> palavras;
    bool verifica = false;
    bool versao = false;
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
        if (!palavras.empty()) {
            palavras.push_back(a);  // options come before the calls
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
        } else if (a == "-" && !roteiro) {
            roteiro = "-";  // the calls come on standard input
        } else if (a == "log" && palavras.empty() && !roteiro) {
            const bool resumo = i + 1 < argc && std::strcmp(argv[i + 1], "--summary") == 0;
            const int arquivo = i + 1 + (resumo ? 1 : 0);
            if (arquivo + 1 != argc || std::strcmp(argv[arquivo], "--help") == 0) {
                const bool ajuda = arquivo + 1 == argc;
                std::fprintf(ajuda ? stdout : stderr,
                             "usage: vltx log [--summary] FILE   (\"-\": standard input)\n"
                             "Decodes a diagnostic log: each frame sent named by its command and split into\n"
                             "its fields, each reply with its status byte, each driver error with its\n"
                             "meaning, the settings lines as they are.\n"
                             "--summary: the frames sent per command with their failures and times, every\n"
                             "failure with its code and meaning, the slowest exchanges (TX to RX), the\n"
                             "status bytes other than 0, and the bytes discarded after failed exchanges.\n");
                return ajuda ? Ok : Uso_;
            }
            return DecodificaArquivo(argv[arquivo], resumo);
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "vltx: unknown option %s (vltx --help)\n", a.c_str());
            return Uso_;
        } else {
            palavras.push_back(a);
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
    dlclose(lib);
    if (verifica && sessao.Falhas() > 0) {
        std::fprintf(stderr, "vltx: %d call%s returned a failure code\n", sessao.Falhas(),
                     sessao.Falhas() == 1 ? "" : "s");
        if (saida == Ok) saida = ChamadaFalhou;
    }
    return saida;
}
