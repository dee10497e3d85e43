// vltx-ref: writes the reference and the binding declarations from the
// driver's tables, and checks the hand-kept files against them.
//
//   vltx-ref --root DIR --write   write every generated file under DIR
//   vltx-ref --root DIR --check   exit 1 when a generated file is stale, or
//                                 the header or the tables disagree
//   vltx-ref --tu FILE            write the C89 check of include/vltxdrv.h
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cabecalho.h"
#include "emissor.h"

namespace {

bool Le(const std::string& caminho, std::string& conteudo) {
    std::ifstream f(caminho, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    conteudo = s.str();
    return true;
}

bool Grava(const std::string& caminho, const std::string& conteudo) {
    std::string atual;
    if (Le(caminho, atual) && atual == conteudo) return true;
    std::ofstream f(caminho, std::ios::binary | std::ios::trunc);
    f << conteudo;
    return static_cast<bool>(f.flush());
}

int Uso() {
    std::fputs("usage: vltx-ref --root DIR (--write | --check)\n       vltx-ref --tu FILE\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string raiz, tu;
    bool escreve = false, confere = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--root" && i + 1 < argc) raiz = argv[++i];
        else if (a == "--tu" && i + 1 < argc) tu = argv[++i];
        else if (a == "--write") escreve = true;
        else if (a == "--check") confere = true;
        else return Uso();
    }
    const Modelo modelo = ConstroiModelo();
    int falhas = 0;
    for (const std::string& e : modelo.Erros) {
        std::fprintf(stderr, "vltx-ref: %s\n", e.c_str());
        ++falhas;
    }
    if (!tu.empty()) {
        if (!Grava(tu, UnidadeDeVerificacao(modelo))) {
            std::fprintf(stderr, "vltx-ref: cannot write %s\n", tu.c_str());
            return 1;
        }
        return falhas == 0 ? 0 : 1;
    }
    if (raiz.empty() || escreve == confere) return Uso();

    for (const Emissor* emissor : Emissores()) {
        for (const ArquivoGerado& a : emissor->Gera(modelo)) {
            const std::string caminho = raiz + "/" + a.Caminho;
            if (escreve) {
                if (!Grava(caminho, a.Conteudo)) {
                    std::fprintf(stderr, "vltx-ref: cannot write %s\n", caminho.c_str());
                    ++falhas;
                }
                continue;
            }
            std::string atual;
            if (!Le(caminho, atual)) {
                std::fprintf(stderr, "vltx-ref: %s is missing (%s)\n", a.Caminho.c_str(), emissor->Nome);
                ++falhas;
            } else if (atual != a.Conteudo) {
                std::fprintf(stderr, "vltx-ref: %s is stale: regenerate it (%s)\n", a.Caminho.c_str(), emissor->Nome);
                ++falhas;
            }
        }
    }
    std::string cabecalho;
    if (!Le(raiz + "/include/vltxdrv.h", cabecalho)) {
        std::fprintf(stderr, "vltx-ref: include/vltxdrv.h cannot be read\n");
        ++falhas;
    } else {
        for (const std::string& e : ConfereCabecalho(modelo, cabecalho)) {
            std::fprintf(stderr, "vltx-ref: %s\n", e.c_str());
            ++falhas;
        }
    }
    if (falhas == 0 && confere) std::puts("vltx-ref: the generated files, the header and the export tables agree");
    return falhas == 0 ? 0 : 1;
}
