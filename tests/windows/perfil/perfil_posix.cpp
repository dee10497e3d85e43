// The profile comparison's native side:
//   perfil_posix gera DIR [FILES [SEED]]  writes the layout files and DIR/perguntas
//   perfil_posix compara DIR              answers DIR/perguntas with the
//       project's own parser (over each file's text in memory) and compares every answer with
//       DIR/respostas.windows (GetPrivateProfileStringA under Wine)
// "compara" prints PASS:/FAIL: lines (the first differences in full) and
// exits 1 on any difference.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "perfil_perguntas.h"
#include "platform/posix/perfil_texto.h"

namespace {

// The questions come file by file: each file is read once.
const std::string& Texto(const std::string& caminho) {
    static std::string lido, texto;
    if (lido == caminho) return texto;
    lido = caminho;
    texto.clear();
    if (std::FILE* f = std::fopen(caminho.c_str(), "rb")) {
        char bloco[4096];
        std::size_t n;
        while ((n = std::fread(bloco, 1, sizeof bloco, f)) > 0) texto.append(bloco, n);
        std::fclose(f);
    }
    return texto;
}

std::string Resposta(const perfil::Pergunta& p, const std::string& dir) {
    char buf[perfil::TamanhoBuffer + 8];
    std::memset(buf, '#', sizeof buf);
    const std::string& arquivo = Texto(dir + "/" + p.arquivo);
    const std::uint32_t n = plataforma::perfil::LeTexto(
        p.secao.c_str(), p.temChave ? p.chave.c_str() : nullptr, p.temChave ? perfil::PadraoChave : "", buf,
        perfil::TamanhoBuffer, reinterpret_cast<const unsigned char*>(arquivo.data()), arquivo.size());
    char* texto = nullptr;
    std::size_t tamanho = 0;
    std::FILE* f = open_memstream(&texto, &tamanho);
    perfil::EscreveResposta(f, n, buf);
    std::fclose(f);
    std::string r(texto, tamanho);
    std::free(texto);
    if (!r.empty() && r.back() == '\n') r.pop_back();
    return r;
}

int Compara(const std::string& dir) {
    std::FILE* perguntas = std::fopen((dir + "/perguntas").c_str(), "rb");
    std::FILE* windows = std::fopen((dir + "/respostas.windows").c_str(), "rb");
    if (perguntas == nullptr || windows == nullptr) {
        std::printf("FAIL: profile reader: no questions or no answers of GetPrivateProfileStringA in %s\n",
                    dir.c_str());
        return 1;
    }
    perfil::Pergunta p;
    std::string esperada;
    unsigned long respostas = 0, diferentes = 0;
    std::vector<std::string> arquivos;
    while (perfil::LePergunta(perguntas, p)) {
        if (arquivos.empty() || arquivos.back() != p.arquivo) arquivos.push_back(p.arquivo);
        if (!perfil::LeLinha(windows, esperada)) {
            std::printf("FAIL: profile reader: GetPrivateProfileStringA answered only %lu questions\n", respostas);
            return 1;
        }
        ++respostas;
        const std::string obtida = Resposta(p, dir);
        if (obtida == esperada) continue;
        if (++diferentes <= 20) {
            std::printf("  %s, section ", p.arquivo.c_str());
            perfil::EscreveHex(stdout, p.secao);
            std::printf(", key %s", p.temChave ? "" : "(none)");
            if (p.temChave) perfil::EscreveHex(stdout, p.chave);
            std::printf(": Windows %s, ours %s\n", esperada.c_str(), obtida.c_str());
        }
    }
    if (diferentes > 0) {
        std::printf("FAIL: profile reader: %lu of %lu answers on %zu files differ from GetPrivateProfileStringA\n",
                    diferentes, respostas, arquivos.size());
        return 1;
    }
    std::printf("PASS: profile reader: %zu files, %lu answers, every one as GetPrivateProfileStringA gives it\n",
                arquivos.size(), respostas);
    return 0;
}

}  // namespace

int Gera(const std::string& dir, int arquivos, unsigned semente);

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "compara") == 0) return Compara(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "gera") == 0)
        return Gera(argv[2], argc > 3 ? std::atoi(argv[3]) : 400,
                    argc > 4 ? static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)) : 15u);
    std::fprintf(stderr, "usage: perfil_posix gera DIR [FILES [SEED]] | compara DIR\n");
    return 2;
}
