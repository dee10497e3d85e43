// Reading a frame back into its command and its named fields, through the
// same table the driver builds frames from. Shared by the printer simulator
// (the paper roll) and vltx (the log decoder).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/comandos.h"

struct CampoLido {
    const char* Nome;
    std::string Valor;  // readable text: blanks of the alignment trimmed
    bool Bloco;         // a long text block, printed wrapped
};

// The row of a frame from its code; "34" by its length (169 or 189). Null
// when the code is unknown or the frame is shorter than its header.
const Comando* LinhaDoQuadro(std::string_view quadro);
// The same from the code's two digits and the frame's length alone.
const Comando* LinhaDoQuadro(std::string_view doisDigitos, std::size_t tamanho);

// The longest frame a code may have; 0 when the code is unknown.
int MaiorQuadro(const char* codigo);

// Every field of the row, decoded from the frame's bytes. A field that the
// frame does not reach reads as empty.
std::vector<CampoLido> LeCampos(const Comando& comando, std::string_view quadro);

// Bytes made readable: printable ASCII as it is, the Latin letters of the
// printer's code page (160 to 255) in UTF-8, every other byte as \xHH.
std::string Legivel(std::string_view bytes);

// A text block cut into lines of the given width, trailing blanks and
// trailing empty lines dropped, each line readable.
std::vector<std::string> QuebraLinhas(std::string_view bytes, std::size_t largura);

// The raw bytes of a field (for the blocks, which are wrapped from them).
std::string_view BytesDoCampo(const Campo& campo, std::string_view quadro);

// Exports are named with or without the "ecf_" prefix, in any case.
const Comando* LinhaDaExportacao(std::string_view nome);
