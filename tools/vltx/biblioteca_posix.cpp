#include "vltx/biblioteca.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <ctime>

#include "vltx/diagnostico.h"
#include "vltx/diagnostico_rede.h"
#include "vltx/lugar_do_log.h"

// Where an install puts the library, from the directory of vltx, and the
// name the loader knows it by (the build passes both).
#ifndef VLTX_LIB_RELATIVA
#define VLTX_LIB_RELATIVA "../lib"
#endif
#ifndef VLTXDRV_SONAME
#define VLTXDRV_SONAME "libvltxdrv.so.2"
#endif

namespace {

std::string DiretorioDoPrograma() {
    char caminho[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", caminho, sizeof caminho - 1);
    if (n <= 0) return ".";
    caminho[n] = '\0';
    std::string s(caminho);
    return s.substr(0, s.rfind('/'));
}

}  // namespace

void* AbreBiblioteca(const std::string& caminho, std::string& erro) {
    void* lib = dlopen(caminho.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) erro = dlerror();
    return lib;
}

void* SimboloDe(void* biblioteca, const char* nome) { return dlsym(biblioteca, nome); }

void FechaBiblioteca(void* biblioteca) { dlclose(biblioteca); }

std::vector<std::string> CandidatosBiblioteca() {
    std::vector<std::string> candidatos;
    const std::string dir = DiretorioDoPrograma();
    for (const char* relativo : {"/" VLTX_LIB_RELATIVA "/" VLTXDRV_SONAME, "/libvltxdrv.so", "/../libvltxdrv.so",
                                 "/../../libvltxdrv.so"})
        if (access((dir + relativo).c_str(), R_OK) == 0) candidatos.push_back(dir + relativo);
    candidatos.push_back(VLTXDRV_SONAME);
    candidatos.push_back("libvltxdrv.so");
    return candidatos;
}

bool SaidaEhTerminal() { return isatty(STDOUT_FILENO) != 0; }

bool ExisteArquivo(const std::string& caminho) { return access(caminho.c_str(), F_OK) == 0; }

std::vector<std::string> Avisos(std::string_view exportacao, const std::vector<std::string>& argumentos, int valor) {
    if (exportacao == "ecf_LogSerial" && valor == 1) {
        std::vector<std::string> causas = PorQueNaoGravaLog(OndeFicaOLog(), std::time(nullptr));
        if (!causas.empty()) causas.insert(causas.begin(), "the log switch is on, but no log can be written:");
        return causas;
    }
    if (exportacao != "ecf_InicializaDLL") return {};
    const std::string& porta = argumentos[0];
    if (EhEnderecoDeRede(porta)) return valor == 3 || valor == 4 ? PorQueNaoConecta(porta) : std::vector<std::string>{};
    if (valor == 3) return PorQueNaoAbre(porta, CredenciaisDoProcesso());
    if (valor != 33) return {};
    std::vector<std::string> avisos;
    for (const std::string& outro : OutrosComADispositivoAberta(porta))
        avisos.push_back("also open in process " + outro + ", without a lock: it may read the printer's replies "
                         "before the driver does (close it, or let it take the device's UUCP lock)");
    return avisos;
}
