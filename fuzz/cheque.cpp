// The whole cheque path, from the host's layout file to the frame, with the
// port closed. The input is
//   section NUL text1 NUL ... text7 NUL layout file
// (a missing piece is empty). The result is 2 (the frame was built and the
// closed port refused it) or a layout failure 20..28; the driver state
// outside BufComando is left byte for byte as it was; a built frame carries
// the cheque command's header and leaves no copy behind, a refused layout
// leaves the copy for the host to look at.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apoio.h"
#include "cheque/cheque.h"
#include "driver/estado.h"
#include "platform/plataforma.h"
#include "vltxdrv.h"

namespace {

std::string arquivoLayout;
std::string copia;

[[noreturn]] void Falha(const char* porque, std::int32_t resultado) {
    std::fprintf(stderr, "ecf_ImprimeCheque returned %d: %s\n", static_cast<int>(resultado), porque);
    std::abort();
}

const unsigned char* Bytes(const EstadoDriver_t& e) { return reinterpret_cast<const unsigned char*>(&e); }

// Whether the bytes of the state outside BufComando equal the saved ones.
bool ForaDoQuadroIgual(const unsigned char* salvo) {
    const std::size_t inicio = static_cast<std::size_t>(EstadoDriver.BufComando - Bytes(EstadoDriver));
    const std::size_t fim = inicio + sizeof EstadoDriver.BufComando;
    return std::memcmp(salvo, Bytes(EstadoDriver), inicio) == 0 &&
           std::memcmp(salvo + fim, Bytes(EstadoDriver) + fim, sizeof EstadoDriver - fim) == 0;
}

bool Existe(const std::string& caminho) {
    struct stat st {};
    return lstat(caminho.c_str(), &st) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& raiz = fuzz::DiretorioPrivado();
    for (const char* sub : {"/c", "/registry", "/layouts"})
        if (mkdir((raiz + sub).c_str(), 0700) != 0) {
            std::perror("mkdir");
            std::abort();
        }
    setenv("VLTXDRV_DRIVE_C", (raiz + "/c").c_str(), 1);
    setenv("VLTXDRV_REGISTRY", (raiz + "/registry").c_str(), 1);
    arquivoLayout = raiz + "/layouts/cheque.ini";
    copia = std::string(plataforma::DiretorioC()) + cheque::NomeCopia;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string secao = fuzz::Corta(dados, tamanho);
    std::string textos[7];
    for (std::string& t : textos) t = fuzz::Corta(dados, tamanho);
    fuzz::GravaArquivo(arquivoLayout, dados, tamanho);
    std::remove(copia.c_str());

    std::memset(EstadoDriver.BufComando, 0, 4);
    static unsigned char antes[sizeof(EstadoDriver_t)];
    std::memcpy(antes, Bytes(EstadoDriver), sizeof antes);

    const std::int32_t r =
        ecf_ImprimeCheque(textos[0].c_str(), textos[1].c_str(), textos[2].c_str(), textos[3].c_str(),
                          textos[4].c_str(), textos[5].c_str(), textos[6].c_str(), secao.c_str(), arquivoLayout.c_str());

    if (r != 2 && (r < 20 || r > 28)) Falha("not 2 nor a layout failure 20..28", r);
    if (!ForaDoQuadroIgual(antes)) Falha("driver state outside BufComando changed", r);
    if (r == 2) {
        const unsigned char cabecalho[4] = {27, 'f', '3', '4'};
        if (std::memcmp(EstadoDriver.BufComando, cabecalho, 4) != 0) Falha("no cheque frame header in BufComando", r);
        if (Existe(copia)) Falha("the layout copy was left behind after a good layout", r);
    } else if (r > 20 && !Existe(copia)) {
        Falha("the layout copy is gone after a refused layout", r);
    }
    return 0;
}
