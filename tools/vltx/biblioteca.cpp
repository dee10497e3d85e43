#include "vltx/biblioteca.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

// Where an install puts the library, from the program's directory, and the
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

void* CarregaBiblioteca(const std::string& pedida, std::string& carregada, std::string& erros) {
    std::vector<std::string> candidatos;
    if (!pedida.empty()) {
        candidatos.push_back(pedida);
    } else if (const char* env = std::getenv("VLTXDRV_LIB"); env != nullptr && *env != '\0') {
        candidatos.push_back(env);
    } else {
        const std::string dir = DiretorioDoPrograma();
        for (const char* relativo : {"/" VLTX_LIB_RELATIVA "/" VLTXDRV_SONAME, "/libvltxdrv.so",
                                     "/../libvltxdrv.so", "/../../libvltxdrv.so"})
            if (access((dir + relativo).c_str(), R_OK) == 0) candidatos.push_back(dir + relativo);
        candidatos.push_back(VLTXDRV_SONAME);
        candidatos.push_back("libvltxdrv.so");
    }
    for (const std::string& c : candidatos) {
        if (void* lib = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            carregada = c;
            return lib;
        }
        erros += std::string("\n  ") + dlerror();
    }
    return nullptr;
}
