// vltx-ref: writes the reference and the binding declarations from the
// driver's tables, and checks the hand-kept files against them.
//
//   vltx-ref --root DIR --write   write every generated file under DIR
//   vltx-ref --root DIR --check   exit 1 when a generated file is stale, or
//                                 the header or the tables disagree
//   vltx-ref --tu FILE            write the C89 check of include/vltxdrv.h
//   vltx-ref --meanings [EXPORT...]
//                                 print what every binding's meaning function
//                                 must say: "CODE<TAB>TEXT" for -1 to 256 with
//                                 no export named, then "EXPORT<TAB>CODE<TAB>TEXT"
//                                 for each export named (TEXT empty for none)
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

// What a binding's meaning(export, code) says: every reading that applies.
std::string SignificadoNaExportacao(const ExportacaoModelo& e, long long codigo) {
    std::string s;
    for (const ResultadoModelo& r : e.Resultados)
        if (r.De <= codigo && codigo <= r.Ate) s += (s.empty() ? "" : descricao::SeparadorDeLeituras) + r.Texto;
    return s;
}

int Significados(const Modelo& modelo, int argc, char** argv, int primeiro) {
    for (long long c = -1; c <= 256; ++c) std::printf("%lld\t%s\n", c, SignificadoSemExportacao(c).c_str());
    for (int i = primeiro; i < argc; ++i) {
        const std::string nome = argv[i];
        const ExportacaoModelo* e = nullptr;
        for (const ExportacaoModelo& x : modelo.Exportacoes)
            if (x.Nome == nome) e = &x;
        if (e == nullptr) {
            std::fprintf(stderr, "vltx-ref: no export %s\n", nome.c_str());
            return 2;
        }
        for (long long c = -1; c <= 256; ++c)
            std::printf("%s\t%lld\t%s\n", nome.c_str(), c, SignificadoNaExportacao(*e, c).c_str());
    }
    return 0;
}

int Uso() {
    std::fputs("usage: vltx-ref --root DIR (--write | --check)\n       vltx-ref --tu FILE\n"
               "       vltx-ref --meanings [EXPORT...]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--meanings") == 0) return Significados(ConstroiModelo(), argc, argv, 2);
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
