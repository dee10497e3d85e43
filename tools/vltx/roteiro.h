// Calls as the user writes them: on the command line, or one per line of a
// script ("#" starts a comment; words split as a shell splits them, with
// single and double quotes and backslash escapes).
#pragma once

#include <string>
#include <vector>

#include "vltx/exportacoes.h"

struct Chamada {
    const Exportacao* Alvo;
    std::vector<std::string> Argumentos;
};

// The words of one script line; false with a message on an open quote.
bool Palavras(const std::string& linha, std::vector<std::string>& palavras, std::string& erro);

// A run of calls, each name followed by exactly as many arguments as its
// export takes. False with a message naming the fault.
bool LeChamadas(const std::vector<std::string>& palavras, std::vector<Chamada>& chamadas, std::string& erro);

// A whole script; errors carry the line number (origem:linha: ...).
bool LeRoteiro(const std::string& texto, const std::string& origem, std::vector<Chamada>& chamadas,
               std::string& erro);

// How the usage of one export reads: "VendaItem codigo descricao ...".
std::string Uso(const Exportacao& e);

// An argument as the user would type it back (quoted when needed).
std::string Citado(const std::string& palavra);
