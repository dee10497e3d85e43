// Frame fields: the writers of every fixed-width field of a command frame,
// all of them working in BufComando at fixed offsets.
#pragma once

#include <cstdint>

// The decimal text rule: blanks, one sign, digits up to the first non-digit;
// no digits give 0; overflow wraps as 32-bit arithmetic does. A null reads as "".
inline std::int32_t ConverteDecimal(const char* texto) {
    const auto* p = reinterpret_cast<const unsigned char*>(texto != nullptr ? texto : "");
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negativo = false;
    if (*p == '+' || *p == '-') negativo = *p++ == '-';
    std::uint32_t valor = 0;
    for (; *p >= '0' && *p <= '9'; ++p) valor = valor * 10u + static_cast<std::uint32_t>(*p - '0');
    if (negativo) valor = 0u - valor;
    return static_cast<std::int32_t>(valor);
}

// One byte: the first byte of texto (0 for an empty string). Leaves no zero byte.
void EscreveCaractere(int deslocamento, const char* texto);
// N bytes of text, cut or padded with blanks, and the zero byte behind them.
void EscreveTextoEsquerda(int deslocamento, int largura, const char* texto);
void EscreveTextoDireita(int deslocamento, int largura, const char* texto);
// printf("%0N.Nd"): the whole decimal text of valor with at least minimo
// digits, then its zero byte; what runs over is for the next field to cover.
void EscreveNumero(int deslocamento, int minimo, std::int64_t valor);
// Raw bytes, clipped at the end of BufComando.
void EscreveBytes(int deslocamento, const void* dados, int tamanho);
