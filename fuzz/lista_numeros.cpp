// cheque::LeListaNumeros over any text: every output is -1 or a number, only
// the asked-for outputs are written, and it says true exactly when the text
// held count-1 commas and every field got a number. The values are checked
// against a plain re-reading of the text by fields.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cheque/cheque.h"

namespace {

constexpr int Quantidades[] = {2, 3, 4, 6};
constexpr int Guardas = 8;
constexpr std::int32_t Sentinela = 0x5a5a5a5a;

[[noreturn]] void Falha(const char* porque, int quantidade, int campo) {
    std::fprintf(stderr, "LeListaNumeros, count %d, field %d: %s\n", quantidade, campo, porque);
    std::abort();
}

// The values of the first quantidade fields as the rules give them: each
// field's last digit run, held at the maximum past 19 digits or past the
// maximum; -1 for a field with no run.
void ValoresEsperados(const char* texto, int quantidade, std::int32_t* valores) {
    for (int i = 0; i < quantidade; ++i) valores[i] = -1;
    int campo = 0;
    for (const char* p = texto; *p != '\0';) {
        if (*p == ',') {
            ++campo;
            ++p;
            continue;
        }
        if (*p < '0' || *p > '9') {
            ++p;
            continue;
        }
        const char* inicio = p;
        while (*p >= '0' && *p <= '9') ++p;
        if (campo >= quantidade) continue;
        const std::size_t digitos = static_cast<std::size_t>(p - inicio);
        std::uint64_t v = 0;  // 19 digits fit in 64 bits unsigned
        if (digitos <= 19)
            for (const char* q = inicio; q < p; ++q) v = v * 10 + static_cast<std::uint64_t>(*q - '0');
        valores[campo] = digitos > 19 || v > static_cast<std::uint64_t>(cheque::NumeroMaximo)
                             ? cheque::NumeroMaximo
                             : static_cast<std::int32_t>(v);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    // The text as a host hands it: up to its first NUL, in a block of its own
    // size so a read past the terminator is caught.
    const std::unique_ptr<char[]> texto(new char[tamanho + 1]);
    if (tamanho > 0) std::memcpy(texto.get(), dados, tamanho);
    texto[tamanho] = '\0';
    const char* t = texto.get();
    int virgulas = 0;
    for (const char* p = t; *p != '\0'; ++p) virgulas += *p == ',';

    for (const int quantidade : Quantidades) {
        std::int32_t numeros[6 + Guardas];
        for (std::int32_t& x : numeros) x = Sentinela;
        const bool ok = cheque::LeListaNumeros(t, quantidade, numeros);

        std::int32_t esperados[6];
        ValoresEsperados(t, quantidade, esperados);
        bool algumAusente = false;
        for (int i = 0; i < quantidade; ++i) {
            if (numeros[i] < -1) Falha("negative output other than -1", quantidade, i);
            if (numeros[i] != esperados[i]) Falha("value differs from the field's last digit run", quantidade, i);
            algumAusente |= numeros[i] == -1;
        }
        for (int i = quantidade; i < 6 + Guardas; ++i)
            if (numeros[i] != Sentinela) Falha("wrote past the asked-for outputs", quantidade, i);
        const bool esperado = virgulas == quantidade - 1 && !algumAusente;
        if (ok != esperado) Falha(ok ? "true without count-1 commas and every field" : "false on a whole list", quantidade, -1);
    }
    return 0;
}
