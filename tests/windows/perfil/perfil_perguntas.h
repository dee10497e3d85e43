// The question and answer files of the profile comparison, shared by the
// reader run under Wine and the comparison run natively.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace perfil {

// What the cheque layout reading asks for: 80 bytes, "ERR" for a key read.
constexpr std::uint32_t TamanhoBuffer = 80;
constexpr const char* PadraoChave = "ERR";

struct Pergunta {
    std::string arquivo;
    std::string secao;
    std::string chave;
    bool temChave = false;
};

inline void EscreveHex(std::FILE* f, const std::string& s) {
    for (unsigned char c : s) std::fprintf(f, "%02x", c);
}

inline bool LeHex(const std::string& hex, std::string& saida) {
    saida.clear();
    if (hex.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned v = 0;
        if (std::sscanf(hex.c_str() + i, "%2x", &v) != 1) return false;
        saida.push_back(static_cast<char>(v));
    }
    return true;
}

inline bool LeLinha(std::FILE* f, std::string& linha) {
    linha.clear();
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') return true;
        linha.push_back(static_cast<char>(c));
    }
    return !linha.empty();
}

inline void EscrevePergunta(std::FILE* f, const Pergunta& p) {
    std::fprintf(f, "%s\t", p.arquivo.c_str());
    EscreveHex(f, p.secao);
    std::fputc('\t', f);
    if (p.temChave)
        EscreveHex(f, p.chave);
    else
        std::fputc('-', f);
    std::fputc('\n', f);
}

inline bool LePergunta(std::FILE* f, Pergunta& p) {
    std::string linha;
    if (!LeLinha(f, linha)) return false;
    const auto t1 = linha.find('\t');
    const auto t2 = linha.find('\t', t1 + 1);
    if (t1 == std::string::npos || t2 == std::string::npos) return false;
    p.arquivo = linha.substr(0, t1);
    if (!LeHex(linha.substr(t1 + 1, t2 - t1 - 1), p.secao)) return false;
    const std::string chave = linha.substr(t2 + 1);
    p.temChave = chave != "-";
    return !p.temChave || LeHex(chave, p.chave);
}

// The count and the bytes up to it with the NUL behind them: all the A
// reader promises (its list's second NUL is that NUL; an empty answer leaves
// the byte after the first NUL as it was).
inline void EscreveResposta(std::FILE* f, std::uint32_t n, const char* buf) {
    std::uint32_t fim = n + 1;
    if (fim > TamanhoBuffer) fim = TamanhoBuffer;
    std::fprintf(f, "%u\t", static_cast<unsigned>(n));
    EscreveHex(f, std::string(buf, fim));
    std::fputc('\n', f);
}

}  // namespace perfil
