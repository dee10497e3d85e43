// The log decoder over any bytes: whatever the file holds, it decodes
// without a crash, an undefined operation or a leak, and reads the same
// whether the file comes whole or a few bytes at a time (the first byte
// says how many), so that no record, stamp or CR LF read across the end of
// a block reads differently.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "vltx/decodifica_log.h"

namespace {

std::string AosPoucos(std::string_view arquivo, std::size_t bloco, bool resumo) {
    const LeituraLog entrada = [&](char* destino, std::size_t n) {
        n = std::min({n, bloco, arquivo.size()});
        std::memcpy(destino, arquivo.data(), n);
        arquivo.remove_prefix(n);
        return n;
    };
    std::string texto;
    const EscritaLog saida = [&](std::string_view s) { texto += s; };
    resumo ? ResumoDoLog(entrada, saida) : DecodificaLog(entrada, saida);
    return texto;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dados, std::size_t tamanho) {
    const std::string_view arquivo(reinterpret_cast<const char*>(dados), tamanho);
    const std::size_t bloco = tamanho > 0 ? 1 + dados[0] % 13 : 1;
    if (DecodificaLog(arquivo) != AosPoucos(arquivo, bloco, false)) std::abort();
    if (ResumoDoLog(arquivo) != AosPoucos(arquivo, bloco, true)) std::abort();
    return 0;
}
