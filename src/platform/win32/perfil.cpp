// The profile (INI) reader on Windows: the system's own.
#include "platform/plataforma.h"

#include <windows.h>

namespace plataforma {

std::uint32_t LePerfil(const char* secao, const char* chave, const char* padrao, char* destino,
                       std::uint32_t tamanho, const char* arquivo) {
    return GetPrivateProfileStringA(secao, chave, padrao, destino, tamanho, arquivo);
}

}  // namespace plataforma
