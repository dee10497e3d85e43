// The profile parser over any text and any names, in memory (the reading of
// the file is posix/perfil.cpp's). The input is
//   section NUL key NUL file contents
// (a missing piece is empty). Both uses the cheque makes of it are run: the
// section test (no key, default "", 80 bytes) and key reads with the default
// "ERR" into 80 bytes, for the input's key and the cheque's seven keys. The
// count is below the buffer size, the buffer holds a NUL at the count, and
// no byte around the 80 is touched.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apoio.h"
#include "platform/posix/perfil_texto.h"

namespace {

constexpr std::uint32_t Tamanho = 80;
constexpr std::size_t Guarda = 32;
constexpr unsigned char Marca = 0xa5;

const char* const ChavesCheque[] = {"Valor", "Extenso", "Favorecido", "Cidade", "Mensagem", "Data", "eSpacamento"};

[[noreturn]] void Falha(const char* porque, const char* chave) {
    std::fprintf(stderr, "LePerfil, key %s: %s\n", chave != nullptr ? chave : "(none)", porque);
    std::abort();
}

void Le(const std::string& secao, const char* chave, const char* padrao, const std::uint8_t* texto, std::size_t tamanhoTexto) {
    // Guard bytes on both sides of the caller's buffer, in one block.
    unsigned char bloco[Guarda + Tamanho + Guarda];
    std::memset(bloco, Marca, sizeof bloco);
    char* destino = reinterpret_cast<char*>(bloco + Guarda);
    const std::uint32_t n = plataforma::perfil::LeTexto(secao.c_str(), chave, padrao, destino, Tamanho, texto, tamanhoTexto);
    for (std::size_t i = 0; i < Guarda; ++i)
        if (bloco[i] != Marca || bloco[Guarda + Tamanho + i] != Marca) Falha("wrote outside the buffer", chave);
    if (n >= Tamanho) Falha("count not below the buffer size", chave);
    if (std::memchr(destino, '\0', Tamanho) == nullptr) Falha("no NUL within the buffer", chave);
    if (destino[n] != '\0') Falha("no NUL at the count", chave);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string secao = fuzz::Corta(dados, tamanho);
    const std::string chave = fuzz::Corta(dados, tamanho);

    Le(secao, nullptr, "", dados, tamanho);
    Le(secao, chave.c_str(), "ERR", dados, tamanho);
    for (const char* c : ChavesCheque) Le(secao, c, "ERR", dados, tamanho);
    return 0;
}
