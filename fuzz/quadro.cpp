// The frame builder over random arguments for every row of the frame table,
// on the scripted line. Each input picks a row and gives it texts (absent,
// empty, cut by a NUL, long, high bytes, digit strings with signs and more
// digits than 32 bits hold), an integer, layout numbers and how many fields
// to write. Then:
// - MontaQuadro writes the row's header and touches nothing of the driver
//   state but BufComando;
// - ExecutaLinha sends exactly the row's frame length, and those bytes are
//   the ones MontaQuadro built; the result is the printer's reply byte (33
//   for "04"), and the rest of the state keeps its values.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apoio.h"
#include "driver/comandos.h"
#include "driver/estado.h"
#include "fake/plataforma_fake.h"
#include "vltxdrv.h"

namespace {

constexpr int MaxTextos = 9;
constexpr int NumerosLayout = 25;

// The reply the scripted printer gives to the next frame.
unsigned char byteResposta = 0;
std::uint16_t tamanhoResposta = 1;

[[noreturn]] void Falha(const Comando& c, const char* porque) {
    std::fprintf(stderr, "row %s \"%s\" (%u bytes): %s\n", c.Exportacao, c.Codigo, unsigned{c.TamanhoQuadro}, porque);
    std::abort();
}

const unsigned char* Bytes() { return reinterpret_cast<const unsigned char*>(&EstadoDriver); }

bool ForaDoQuadroIgual(const unsigned char* salvo) {
    const std::size_t inicio = static_cast<std::size_t>(EstadoDriver.BufComando - Bytes());
    const std::size_t fim = inicio + sizeof EstadoDriver.BufComando;
    return std::memcmp(salvo, Bytes(), inicio) == 0 &&
           std::memcmp(salvo + fim, Bytes() + fim, sizeof EstadoDriver - fim) == 0;
}

std::string Texto(FuzzedDataProvider& fdp) {
    switch (fdp.ConsumeIntegralInRange(0, 6)) {
        case 0: return {};
        case 1: return fdp.ConsumeRandomLengthString(1000);  // NULs inside cut the C string
        case 2: {  // longer than any field
            const std::size_t n = fdp.ConsumeIntegralInRange<std::size_t>(0, 2000);
            return std::string(n, static_cast<char>(fdp.ConsumeIntegralInRange(1, 255)));
        }
        case 3: {  // a decimal text: blanks, a sign, digits (up to far past 32 bits), a tail
            std::string s(fdp.ConsumeIntegralInRange(0, 3), ' ');
            const int sinal = fdp.ConsumeIntegralInRange(0, 2);
            if (sinal > 0) s += sinal == 1 ? '-' : '+';
            const int digitos = fdp.ConsumeIntegralInRange(0, 40);
            for (int i = 0; i < digitos; ++i) s += static_cast<char>('0' + fdp.ConsumeIntegralInRange(0, 9));
            if (fdp.ConsumeBool()) s += fdp.ConsumeRandomLengthString(8);
            return s;
        }
        case 4: {  // bytes above 127 only
            std::string s = fdp.ConsumeRandomLengthString(300);
            for (char& c : s) c = static_cast<char>(static_cast<unsigned char>(c) | 0x80);
            return s;
        }
        case 5: return std::to_string(fdp.ConsumeIntegral<std::int64_t>());
        default: return std::to_string(fdp.ConsumeIntegral<std::int32_t>());
    }
}

// Argumentos holds its texts in an initializer list, which only a braced
// list can make: one call per count.
template <typename F>
void ComTextos(int n, const char* const* t, std::int32_t inteiro, const std::int32_t* numeros, int campos, F&& f) {
    switch (n) {
        case 0: f(Argumentos{{}, inteiro, numeros, campos}); break;
        case 1: f(Argumentos{{t[0]}, inteiro, numeros, campos}); break;
        case 2: f(Argumentos{{t[0], t[1]}, inteiro, numeros, campos}); break;
        case 3: f(Argumentos{{t[0], t[1], t[2]}, inteiro, numeros, campos}); break;
        case 4: f(Argumentos{{t[0], t[1], t[2], t[3]}, inteiro, numeros, campos}); break;
        case 5: f(Argumentos{{t[0], t[1], t[2], t[3], t[4]}, inteiro, numeros, campos}); break;
        case 6: f(Argumentos{{t[0], t[1], t[2], t[3], t[4], t[5]}, inteiro, numeros, campos}); break;
        case 7: f(Argumentos{{t[0], t[1], t[2], t[3], t[4], t[5], t[6]}, inteiro, numeros, campos}); break;
        case 8: f(Argumentos{{t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7]}, inteiro, numeros, campos}); break;
        default: f(Argumentos{{t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8]}, inteiro, numeros, campos}); break;
    }
}

void Verifica(const Comando& c, const Argumentos& a) {
    // Every byte that is not BufComando, BufTroca included, holds a pattern.
    std::memset(EstadoDriver.BufTroca, 0xc3, sizeof EstadoDriver.BufTroca);
    static unsigned char antes[sizeof(EstadoDriver_t)];
    std::memcpy(antes, Bytes(), sizeof antes);

    MontaQuadro(c, a);
    if (!ForaDoQuadroIgual(antes)) Falha(c, "MontaQuadro changed driver state outside BufComando");
    const unsigned char cabecalho[4] = {27, 'f', static_cast<unsigned char>(c.Codigo[0]),
                                        static_cast<unsigned char>(c.Codigo[1])};
    if (std::memcmp(EstadoDriver.BufComando, cabecalho, 4) != 0) Falha(c, "the frame does not start with its header");
    const std::string montado(reinterpret_cast<const char*>(EstadoDriver.BufComando), c.TamanhoQuadro);

    const bool portaAberta = EstadoDriver.PortaAberta;
    const bool logAtivo = EstadoDriver.LogAtivo;
    const std::int32_t proximoTimeout = EstadoDriver.ProximoTimeout;
    static char arqLog[sizeof EstadoDriver.ArqLog];
    std::memcpy(arqLog, EstadoDriver.ArqLog, sizeof arqLog);
    fake::linha.escrito.clear();
    fake::linha.timeoutsLeitura.clear();
    fake::linha.entrada.clear();
    tamanhoResposta = c.TamanhoResposta;

    const std::size_t escritoAntes = fake::linha.escrito.size();
    const std::int32_t r = ExecutaLinha(c, a);
    if (fake::linha.escrito.size() != escritoAntes + c.TamanhoQuadro) Falha(c, "the frame sent is not the row's length");
    if (fake::linha.escrito.compare(escritoAntes, std::string::npos, montado) != 0)
        Falha(c, "the frame sent differs from the one MontaQuadro built");
    const bool leitura = c.Codigo[0] == '0' && c.Codigo[1] == '4';
    if (r != (leitura ? 33 : byteResposta)) Falha(c, "the result is not the reply byte");
    if (EstadoDriver.PortaAberta != portaAberta || EstadoDriver.LogAtivo != logAtivo ||
        EstadoDriver.ProximoTimeout != proximoTimeout ||
        std::memcmp(EstadoDriver.ArqLog, arqLog, sizeof arqLog) != 0)
        Falha(c, "the exchange changed the driver's settings");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& raiz = fuzz::DiretorioPrivado();
    for (const char* sub : {"/c", "/registry"})
        if (mkdir((raiz + sub).c_str(), 0700) != 0) {
            std::perror("mkdir");
            std::abort();
        }
    setenv("VLTXDRV_DRIVE_C", (raiz + "/c").c_str(), 1);
    setenv("VLTXDRV_REGISTRY", (raiz + "/registry").c_str(), 1);
    fake::Reinicia();
    fake::linha.aoEscrever = [](const std::string&) {
        fake::Responde(std::string(tamanhoResposta, static_cast<char>(byteResposta)));
    };
    if (ecf_InicializaDLL("COM1") != 33 || !EstadoDriver.PortaAberta || EstadoDriver.LogAtivo) {
        std::fprintf(stderr, "the port does not open on the scripted line with the log off\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    FuzzedDataProvider fdp(dados, tamanho);
    const Comando& c = tabela::Comandos[fdp.ConsumeIntegralInRange(0, NumComandos - 1)];
    byteResposta = fdp.ConsumeIntegral<unsigned char>();
    const std::int32_t inteiro = fdp.ConsumeIntegral<std::int32_t>();
    const int campos = fdp.ConsumeBool() ? 255 : fdp.ConsumeIntegralInRange(-2, 40);

    // Layout numbers: mostly what a layout file gives (-1 up to a few hundred),
    // now and then any 32-bit value.
    std::int32_t numeros[NumerosLayout];
    for (std::int32_t& x : numeros)
        x = fdp.ConsumeBool() ? fdp.ConsumeIntegral<std::int32_t>() : fdp.ConsumeIntegralInRange(-1, 999);

    const int n = fdp.ConsumeIntegralInRange(0, MaxTextos);
    std::string textos[MaxTextos];
    const char* ponteiros[MaxTextos] = {};
    for (int i = 0; i < n; ++i) {
        const bool nulo = fdp.ConsumeIntegralInRange(0, 15) == 0;  // a host's null string
        textos[i] = Texto(fdp);
        ponteiros[i] = nulo ? nullptr : textos[i].c_str();
    }
    ComTextos(n, ponteiros, inteiro, numeros, campos, [&c](const Argumentos& a) { Verifica(c, a); });
    return 0;
}
