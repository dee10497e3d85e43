// The driver-wide state, the frame's header and the mapping of a link
// error to the driver's code (the exchange itself: executa_comando.cpp).
#include "driver/estado.h"

#include <cstdio>

#include "driver/log.h"

EstadoDriver_t EstadoDriver;
std::int32_t ContadorLog;

namespace {
// "Erro de Sistema [codigo]: chamada: NOME", or without the name where the
// system's error has none here.
void RegistraFalhaSistema(const plataforma::FalhaSistema& motivo) {
    if (motivo.chamada == nullptr) return;
    char texto[80];
    if (motivo.nome != nullptr)
        std::snprintf(texto, sizeof texto, "\nErro de Sistema [%ld]: %s: %s", motivo.codigo, motivo.chamada, motivo.nome);
    else
        std::snprintf(texto, sizeof texto, "\nErro de Sistema [%ld]: %s", motivo.codigo, motivo.chamada);
    plataforma::Arquivo arquivo = AbreLog();
    EscreveLog(arquivo, texto, 0);
    FechaLog(arquivo);
}
}  // namespace

void MontaCabecalho(unsigned char* frame, const char* codigo) {
    frame[0] = 27;
    frame[1] = 'f';
    frame[2] = static_cast<unsigned char>(codigo[0]);
    frame[3] = static_cast<unsigned char>(codigo[1]);
}

std::int32_t TraduzErro(std::int32_t erro, const plataforma::FalhaSistema& motivo) {
    const std::int32_t codigo = CodigoDoErro(erro);
    if (EstadoDriver.LogAtivo) {
        char texto[80];
        const int n = std::snprintf(texto, sizeof texto, "%ld", static_cast<long>(codigo));
        plataforma::Arquivo arquivo = AbreLog();
        RegistraCarimbo(arquivo, "Erro DLL", texto, static_cast<std::size_t>(n));
        FechaLog(arquivo);
        RegistraFalhaSistema(motivo);
    }
    return codigo;
}
