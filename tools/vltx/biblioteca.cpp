#include "vltx/biblioteca.h"

#include <cstdlib>
#include <vector>

void* CarregaBiblioteca(const std::string& pedida, std::string& carregada, std::string& erros) {
    std::vector<std::string> candidatos;
    if (!pedida.empty()) {
        candidatos.push_back(pedida);
    } else if (const char* env = std::getenv("VLTXDRV_LIB"); env != nullptr && *env != '\0') {
        candidatos.push_back(env);
    } else {
        candidatos = CandidatosBiblioteca();
    }
    for (const std::string& c : candidatos) {
        std::string erro;
        if (void* lib = AbreBiblioteca(c, erro)) {
            carregada = c;
            return lib;
        }
        erros += "\n  " + erro;
    }
    return nullptr;
}
