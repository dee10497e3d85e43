// Answers the questions of the profile comparison with the system's own
// reader, GetPrivateProfileStringA, in the two ways the driver asks:
//   leitor_windows.exe DIR
// DIR\perguntas holds one question a line: the file's name (in DIR), the
// section and the key in hexadecimal ("-" for no key: the section test),
// separated by tabs. DIR\respostas.windows gets one answer a line: the count,
// a tab, and the buffer's bytes up to the NUL behind the count in hexadecimal.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "perfil_perguntas.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: leitor_windows DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::FILE* perguntas = std::fopen((dir + "\\perguntas").c_str(), "rb");
    std::FILE* respostas = std::fopen((dir + "\\respostas.windows").c_str(), "wb");
    if (perguntas == nullptr || respostas == nullptr) {
        std::fprintf(stderr, "leitor_windows: cannot open the files in %s\n", dir.c_str());
        return 1;
    }
    perfil::Pergunta p;
    unsigned long quantas = 0;
    while (perfil::LePergunta(perguntas, p)) {
        char buf[perfil::TamanhoBuffer + 8];
        std::memset(buf, '#', sizeof buf);
        const std::string caminho = dir + "\\" + p.arquivo;
        const DWORD n = GetPrivateProfileStringA(p.secao.c_str(), p.temChave ? p.chave.c_str() : nullptr,
                                                 p.temChave ? perfil::PadraoChave : "", buf,
                                                 perfil::TamanhoBuffer, caminho.c_str());
        perfil::EscreveResposta(respostas, n, buf);
        ++quantas;
    }
    std::fclose(respostas);
    std::fclose(perguntas);
    std::printf("%lu questions answered\n", quantas);
    return 0;
}
