// The simulator's paper roll: what the printer did with each frame, in a
// readable form. Each command is named by its row's description and its
// fields by the row's field names; the printer adds its own lines (the
// receipt number, the item number, a report's totals, a readout's size).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "driver/comandos.h"

class Papel {
public:
    // Writes to saida (stdout or the --paper file), flushed after each entry.
    explicit Papel(std::FILE* saida) : saida_(saida) {}

    // One frame: its row (null when unknown), its bytes, the printer's own
    // lines, and what it answered ("0", "10 busy", "no answer").
    void Comando(const ::Comando* c, std::string_view quadro, const std::vector<std::string>& notas,
                 const std::string& resposta);
    // More of the last command's lines (what followed its answer).
    void Linhas(const std::vector<std::string>& linhas);
    // A line of the printer's own outside any frame.
    void Nota(const std::string& texto);

    static constexpr std::size_t Largura = 48;
    static constexpr std::size_t LarguraTexto = 40;

private:
    void Escreve(const std::string& linha);
    std::FILE* saida_;
};
