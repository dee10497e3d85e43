#include "vltx/biblioteca.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include "vltx/diagnostico.h"

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

std::vector<std::string> CausasDaFalha(const std::string& porta) {
    return PorQueNaoAbre(porta, CredenciaisDoProcesso());
}
