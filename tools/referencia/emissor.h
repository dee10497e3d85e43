// A language's declarations, or a document, written from the model. Each
// emitter is one source file under emissores/ that defines one Emissor; the
// list in lista.cpp names them all. vltx-ref writes what they return into
// the tree (--write) or compares it with the tree (--check).
#pragma once

#include <string>
#include <vector>

#include "modelo.h"

struct ArquivoGerado {
    std::string Caminho;  // from the source root
    std::string Conteudo;
};

struct Emissor {
    const char* Nome;
    std::vector<ArquivoGerado> (*Gera)(const Modelo& modelo);
};

const std::vector<const Emissor*>& Emissores();

// The line every generated file starts with, in the file's comment syntax.
std::string AvisoGerado(const std::string& comentario);

// The reference's words for one export, as plain text: for docstrings and
// doc comments of every binding. Lines end with '\n'.
std::string ResumoEmTexto(const ExportacaoModelo& e);

// A string literal in the C family's syntax (C#, Java): backslash and
// double quote escaped.
std::string LiteralC(const std::string& s);

// "VendaItem" from "ecf_VendaItem"; "LogC6_4" from "@Log@C6_4".
std::string NomeCurto(const std::string& exportacao);
// "venda_item", "cmc7_to_ecf", "relatorio_xz", "log_c6_4".
std::string NomeSerpente(const std::string& exportacao);

// What a number means when no export is named, the same in every binding's
// meaning function: from 0 to 255 the status byte's words, then the driver
// code's of the same number, joined by the separator; "" for any other number.
std::string SignificadoSemExportacao(long long codigo);
