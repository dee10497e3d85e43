#include "vltx/roteiro.h"

#include <sstream>

bool Palavras(const std::string& linha, std::vector<std::string>& palavras, std::string& erro) {
    palavras.clear();
    std::string atual;
    bool temPalavra = false;
    std::size_t i = 0;
    while (i < linha.size()) {
        const char c = linha[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (temPalavra) palavras.push_back(atual);
            atual.clear();
            temPalavra = false;
            ++i;
        } else if (c == '#' && !temPalavra) {
            break;
        } else if (c == '\'') {
            std::size_t fim = linha.find('\'', i + 1);
            if (fim == std::string::npos) {
                erro = "single quote not closed";
                return false;
            }
            atual.append(linha, i + 1, fim - i - 1);
            temPalavra = true;
            i = fim + 1;
        } else if (c == '"') {
            ++i;
            bool fechou = false;
            while (i < linha.size()) {
                if (linha[i] == '"') {
                    fechou = true;
                    ++i;
                    break;
                }
                if (linha[i] == '\\' && i + 1 < linha.size() &&
                    (linha[i + 1] == '"' || linha[i + 1] == '\\' || linha[i + 1] == '$' || linha[i + 1] == '`'))
                    ++i;
                atual += linha[i++];
            }
            if (!fechou) {
                erro = "double quote not closed";
                return false;
            }
            temPalavra = true;
        } else if (c == '\\' && i + 1 < linha.size()) {
            atual += linha[i + 1];
            temPalavra = true;
            i += 2;
        } else {
            atual += c;
            temPalavra = true;
            ++i;
        }
    }
    if (temPalavra) palavras.push_back(atual);
    return true;
}

bool LeChamadas(const std::vector<std::string>& palavras, std::vector<Chamada>& chamadas, std::string& erro) {
    std::size_t i = 0;
    while (i < palavras.size()) {
        const Exportacao* e = ProcuraExportacao(palavras[i]);
        if (e == nullptr) {
            erro = "no export is called \"" + palavras[i] + "\" (vltx --list names them all)";
            return false;
        }
        const auto n = static_cast<std::size_t>(e->Aridade);
        if (palavras.size() - i - 1 < n) {
            erro = std::string(NomeCurto(*e)) + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s") +
                   ", " + std::to_string(palavras.size() - i - 1) + " given: " + Uso(*e);
            return false;
        }
        Chamada c{e, std::vector<std::string>(palavras.begin() + static_cast<long>(i) + 1,
                                             palavras.begin() + static_cast<long>(i + 1 + n))};
        chamadas.push_back(std::move(c));
        i += n + 1;
    }
    return true;
}

bool LeRoteiro(const std::string& texto, const std::string& origem, std::vector<Chamada>& chamadas,
               std::string& erro) {
    std::istringstream entrada(texto);
    std::string linha;
    int numero = 0;
    while (std::getline(entrada, linha)) {
        ++numero;
        std::vector<std::string> palavras;
        std::string motivo;
        bool ok = Palavras(linha, palavras, motivo);
        if (ok && palavras.empty()) continue;
        if (ok) {
            const Exportacao* e = ProcuraExportacao(palavras[0]);
            if (e != nullptr && palavras.size() - 1 > static_cast<std::size_t>(e->Aridade)) {
                motivo = std::string(NomeCurto(*e)) + " takes " + std::to_string(e->Aridade) + " arguments, " +
                         std::to_string(palavras.size() - 1) + " given: " + Uso(*e);
                ok = false;
            } else {
                ok = LeChamadas(palavras, chamadas, motivo);
            }
        }
        if (!ok) {
            erro = origem + ":" + std::to_string(numero) + ": " + motivo;
            return false;
        }
    }
    return true;
}

std::string Uso(const Exportacao& e) {
    std::string uso(NomeCurto(e));
    for (const std::string& p : NomesParametros(e)) uso += " " + p;
    return uso;
}

std::string Citado(const std::string& palavra) {
    bool simples = !palavra.empty();
    for (char c : palavra)
        if (c == ' ' || c == '"' || c == '\'' || c == '\\' || c == '#' || c == '\t' || c == '$' || c == '`')
            simples = false;
    if (simples) return palavra;
    std::string s = "\"";
    for (char c : palavra) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') s += '\\';
        s += c;
    }
    return s + "\"";
}
