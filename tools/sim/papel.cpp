#include "sim/papel.h"

#include <algorithm>

#include "comum/quadro.h"

void Papel::Escreve(const std::string& linha) {
    std::fputs(linha.c_str(), saida_);
    std::fputc('\n', saida_);
}

void Papel::Comando(const ::Comando* c, std::string_view quadro, const std::vector<std::string>& notas,
                    const std::string& resposta) {
    std::string titulo;
    if (c != nullptr) {
        titulo = std::string("[") + c->Codigo + "] " + c->Descricao;
    } else {
        titulo = "[" + Legivel(quadro.substr(2, 2)) + "] unknown command";
    }
    const std::string direita = "-> " + resposta;
    if (titulo.size() + 1 + direita.size() < Largura) titulo.resize(Largura - direita.size(), ' ');
    else titulo += "  ";
    Escreve(titulo + direita);
    for (const std::string& nota : notas) Escreve("     " + nota);
    if (c == nullptr) {
        std::fflush(saida_);
        return;
    }

    const std::vector<CampoLido> campos = LeCampos(*c, quadro);
    auto posicao = [c](std::size_t i) {
        return c->Campos[i].Tipo == TipoCampo::NumeroLayout || c->Campos[i].Tipo == TipoCampo::ByteLayout;
    };
    // A cheque's layout numbers place its texts: one wrapped line of them.
    std::string layout;
    for (std::size_t i = 0; i < campos.size(); ++i) {
        if (!posicao(i)) continue;
        const std::string item = std::string(campos[i].Nome) + "=" + campos[i].Valor;
        if (!layout.empty() && layout.size() + 1 + item.size() > Largura - 5) {
            Escreve("     " + layout);
            layout = "      ";
        }
        layout += (layout.empty() ? "layout " : " ") + item;
    }
    if (!layout.empty()) Escreve("     " + layout);
    std::size_t largura = 0;
    for (std::size_t i = 0; i < campos.size(); ++i)
        if (!posicao(i)) largura = std::max(largura, std::string_view(campos[i].Nome).size());
    for (std::size_t i = 0; i < campos.size(); ++i) {
        if (posicao(i)) continue;
        const CampoLido& f = campos[i];
        std::string nome = f.Nome;
        nome.resize(largura, ' ');
        if (f.Bloco && f.Valor.size() > LarguraTexto) {
            Escreve("     " + std::string(f.Nome));
            for (const std::string& l : QuebraLinhas(BytesDoCampo(c->Campos[i], quadro), LarguraTexto))
                Escreve(l.empty() ? "     |" : "     | " + l);
        } else {
            Escreve(f.Valor.empty() ? "     " + std::string(f.Nome) : "     " + nome + "  " + f.Valor);
        }
    }
    std::fflush(saida_);
}

void Papel::Linhas(const std::vector<std::string>& linhas) {
    for (const std::string& l : linhas) Escreve("     " + l);
    std::fflush(saida_);
}

void Papel::Nota(const std::string& texto) {
    Escreve("** " + texto);
    std::fflush(saida_);
}
