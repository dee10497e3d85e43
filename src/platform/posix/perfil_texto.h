// The profile (INI) parser of the POSIX reader, apart from its file reading.
// It makes no system call: the reader hands it the file's bytes through a
// Fonte, and the fuzz target and the comparison with the Windows reader
// (tests/windows/perfil) hand it bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plataforma::perfil {

// Where the text comes from: le fills p with up to n bytes and says how many
// it gave, 0 at the end; -1 before any byte when the text cannot be read at
// all (then the answer is the one for an absent file).
struct Fonte {
    long (*le)(void* contexto, unsigned char* p, std::size_t n);
    void* contexto;
};

// LePerfil's answer over the text of fonte; a null fonte stands for a null
// file name. The source is read only when the question can be asked, and no
// further than the answer needs.
std::uint32_t Responde(const char* secao, const char* chave, const char* padrao, char* destino,
                       std::uint32_t tamanho, Fonte* fonte);

// The same over a text in memory.
std::uint32_t LeTexto(const char* secao, const char* chave, const char* padrao, char* destino,
                      std::uint32_t tamanho, const unsigned char* texto, std::size_t n);

}  // namespace plataforma::perfil
