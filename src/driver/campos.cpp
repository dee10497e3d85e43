#include "driver/campos.h"

#include <cstdio>
#include <cstring>

#include "driver/estado.h"

void EscreveBytes(int deslocamento, const void* dados, int tamanho) {
    if (deslocamento < 0 || deslocamento >= TamanhoBuffer || tamanho <= 0) return;
    if (tamanho > TamanhoBuffer - deslocamento) tamanho = TamanhoBuffer - deslocamento;
    std::memcpy(EstadoDriver.BufComando + deslocamento, dados, static_cast<std::size_t>(tamanho));
}

void EscreveCaractere(int deslocamento, const char* texto) {
    const unsigned char c = static_cast<unsigned char>(Texto(texto)[0]);
    EscreveBytes(deslocamento, &c, 1);
}

namespace {
void EscreveTexto(int deslocamento, int largura, const char* texto, bool esquerda) {
    unsigned char campo[TamanhoBuffer + 1];
    if (largura < 0 || largura > TamanhoBuffer) return;
    const char* t = Texto(texto);
    const int n = static_cast<int>(strnlen(t, static_cast<std::size_t>(largura)));
    const int brancos = largura - n;
    std::memset(campo, ' ', static_cast<std::size_t>(largura));
    std::memcpy(campo + (esquerda ? 0 : brancos), t, static_cast<std::size_t>(n));
    campo[largura] = 0;
    EscreveBytes(deslocamento, campo, largura + 1);
}
}  // namespace

void EscreveTextoEsquerda(int deslocamento, int largura, const char* texto) {
    EscreveTexto(deslocamento, largura, texto, true);
}

void EscreveTextoDireita(int deslocamento, int largura, const char* texto) {
    EscreveTexto(deslocamento, largura, texto, false);
}

void EscreveNumero(int deslocamento, int minimo, std::int64_t valor) {
    char texto[48];
    int n = std::snprintf(texto, sizeof texto, "%.*lld", minimo, static_cast<long long>(valor));
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof texto)) n = sizeof texto - 1;
    EscreveBytes(deslocamento, texto, n + 1);
}
