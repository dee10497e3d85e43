#include "comum/quadro.h"

#include <cstdio>
#include <strings.h>

namespace {

// Text fields this wide or wider are blocks of several printed lines.
constexpr int LarguraBloco = 60;

std::string_view Recorta(std::string_view quadro, std::size_t inicio, std::size_t largura) {
    if (inicio >= quadro.size()) return {};
    return quadro.substr(inicio, largura);
}

std::string_view AteNul(std::string_view bytes) {
    std::size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

std::string_view AparaDireita(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string_view AparaEsquerda(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

int Digitos(std::string_view s) {
    int valor = 0;
    for (char c : AparaEsquerda(s)) {
        if (c < '0' || c > '9') break;
        valor = valor * 10 + (c - '0');
        if (valor > 100000) break;
    }
    return valor;
}

}  // namespace

const Comando* LinhaDoQuadro(std::string_view quadro) {
    if (quadro.size() < 4) return nullptr;
    return LinhaDoQuadro(quadro.substr(2, 2), quadro.size());
}

const Comando* LinhaDoQuadro(std::string_view doisDigitos, std::size_t tamanho) {
    if (doisDigitos.size() != 2) return nullptr;
    const char codigo[3] = {doisDigitos[0], doisDigitos[1], 0};
    const Comando* primeiro = ComandoPorCodigo(codigo);
    if (primeiro == nullptr) return nullptr;
    // Two rows share a code only for the cheque; its length tells them apart.
    for (const Comando& c : tabela::Comandos)
        if (c.Codigo[0] == codigo[0] && c.Codigo[1] == codigo[1] && c.TamanhoQuadro == tamanho) return &c;
    const Comando* maior = primeiro;
    for (const Comando& c : tabela::Comandos)
        if (c.Codigo[0] == codigo[0] && c.Codigo[1] == codigo[1] && c.TamanhoQuadro > maior->TamanhoQuadro)
            maior = &c;
    return tamanho > maior->TamanhoQuadro ? maior : primeiro;
}

int MaiorQuadro(const char* codigo) {
    int maior = 0;
    for (const Comando& c : tabela::Comandos)
        if (c.Codigo[0] == codigo[0] && c.Codigo[1] == codigo[1] && c.TamanhoQuadro > maior) maior = c.TamanhoQuadro;
    return maior;
}

std::string_view BytesDoCampo(const Campo& campo, std::string_view quadro) {
    return Recorta(quadro, campo.Deslocamento, campo.Largura);
}

std::vector<CampoLido> LeCampos(const Comando& comando, std::string_view quadro) {
    std::vector<CampoLido> campos;
    int ultimoNumero = 0;
    for (int i = 0; i < comando.NumCampos; ++i) {
        const Campo& c = comando.Campos[i];
        std::string_view bytes = BytesDoCampo(c, quadro);
        CampoLido lido{c.Nome, {}, false};
        switch (c.Tipo) {
            case TipoCampo::Caractere:
            case TipoCampo::Fixo:
                lido.Valor = bytes.empty() || bytes[0] == '\0' ? std::string() : Legivel(bytes.substr(0, 1));
                break;
            case TipoCampo::Esquerda:
                lido.Bloco = c.Largura >= LarguraBloco;
                lido.Valor = Legivel(AparaDireita(bytes));
                break;
            case TipoCampo::Direita: lido.Valor = Legivel(AparaEsquerda(AparaDireita(bytes))); break;
            case TipoCampo::Numero:
                ultimoNumero = Digitos(bytes);
                lido.Valor = Legivel(bytes);
                break;
            case TipoCampo::Inteiro: lido.Valor = Legivel(bytes); break;
            case TipoCampo::TextoLivre: {
                // The count field before it says how much of the area is text.
                std::size_t quantos = ultimoNumero < 0 ? 0 : static_cast<std::size_t>(ultimoNumero);
                lido.Bloco = true;
                lido.Valor = Legivel(AparaDireita(AteNul(bytes.substr(0, quantos))));
                break;
            }
            case TipoCampo::NumeroLayout: lido.Valor = Legivel(AteNul(bytes)); break;
            case TipoCampo::ByteLayout:
                lido.Valor = bytes.empty() ? std::string()
                                           : std::to_string((static_cast<unsigned char>(bytes[0]) + 256 - 48) % 256);
                break;
        }
        campos.push_back(std::move(lido));
    }
    return campos;
}

std::string Legivel(std::string_view bytes) {
    std::string saida;
    saida.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7f && b != '\\') {
            saida += ch;
        } else if (b == '\\') {
            saida += "\\\\";
        } else if (b >= 0xa0) {
            // Latin-1 is the upper half of the printer's code page: U+00A0 to U+00FF.
            saida += static_cast<char>(0xc0 | (b >> 6));
            saida += static_cast<char>(0x80 | (b & 0x3f));
        } else {
            static constexpr char Hex[] = "0123456789abcdef";
            const char escape[4] = {'\\', 'x', Hex[b >> 4], Hex[b & 0xf]};
            saida.append(escape, sizeof escape);
        }
    }
    return saida;
}

std::vector<std::string> QuebraLinhas(std::string_view bytes, std::size_t largura) {
    std::vector<std::string> linhas;
    bytes = AteNul(bytes);
    for (std::size_t i = 0; i < bytes.size(); i += largura)
        linhas.push_back(Legivel(AparaDireita(bytes.substr(i, largura))));
    while (!linhas.empty() && linhas.back().empty()) linhas.pop_back();
    return linhas;
}

const Comando* LinhaDaExportacao(std::string_view nome) {
    if (nome.size() >= 4 && strncasecmp(nome.data(), "ecf_", 4) == 0) nome.remove_prefix(4);
    for (const Comando& c : tabela::Comandos) {
        std::string_view exportacao = c.Exportacao + 4;
        if (exportacao.size() == nome.size() && strncasecmp(exportacao.data(), nome.data(), nome.size()) == 0)
            return &c;
    }
    return nullptr;
}
