// The log decoder over any bytes: whatever the file holds, it decodes
// without a crash, an undefined operation or a leak.
#include <cstdint>
#include <string_view>

#include "vltx/decodifica_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string texto = DecodificaLog(std::string_view(reinterpret_cast<const char*>(dados), tamanho));
    // Keeps the result from being optimised away.
    volatile std::size_t n = texto.size();
    (void)n;
    return 0;
}
