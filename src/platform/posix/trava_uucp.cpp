// Placeholder until the UUCP lock files are written.
#include "platform/posix/trava_uucp.h"

namespace plataforma {
bool TomaTravaUucp(const char*, char* arquivoTrava, std::size_t tamanho) {
    if (tamanho > 0) arquivoTrava[0] = '\0';
    return true;
}
void SoltaTravaUucp(char* arquivoTrava) { arquivoTrava[0] = '\0'; }
}  // namespace plataforma
