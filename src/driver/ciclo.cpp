// Opening and closing the printer port, and the exports that steer the exchange.
#include <cstdio>

#include "driver/campos.h"
#include "driver/estado.h"
#include "driver/log.h"
#include "vltxdrv.h"

namespace {

constexpr const char* Grupo = "Corvane";
constexpr const char* Aplicacao = "Veltrix";
constexpr const char* Versao = "V2.60";
constexpr const char* EntradaLog = "Gerar Log";

}  // namespace

extern "C" {

VLTX_API int32_t VLTX_CALL ecf_InicializaDLL(const char* porta) {
    Guarda guarda;
    if (EstadoDriver.PortaAberta) return 1;
    if (!EstadoDriver.Porta.Abre(Texto(porta), 9600, 1024, 860))
        return TraduzErro(EstadoDriver.Porta.UltimoErro(nullptr), EstadoDriver.Porta.FalhaDoSistema());
    char valor[10] = {};
    bool lido = AcessaRegistry(Grupo, Aplicacao, Versao, EntradaLog, valor, "0", sizeof valor, 0);
    EstadoDriver.LogAtivo = lido && valor[0] == '1';
    EstadoDriver.PortaAberta = true;
    EstadoDriver.Porta.Limpa(Ambas);
    return 33;
}

VLTX_API int32_t VLTX_CALL ecf_FinalizaDLL(void) {
    Guarda guarda;
    if (!EstadoDriver.PortaAberta) return 2;
    if (!EstadoDriver.Porta.Fecha()) return TraduzErro(EstadoDriver.Porta.UltimoErro(nullptr));
    char valor[2] = {EstadoDriver.LogAtivo ? '1' : '0', 0};
    AcessaRegistry(Grupo, Aplicacao, Versao, EntradaLog, valor, "0", sizeof valor, 1);
    EstadoDriver.PortaAberta = false;
    return 33;
}

VLTX_API int32_t VLTX_CALL ecf_VersaoDLL(char* versao) {
    if (versao == nullptr) return 0;
    return std::sprintf(versao, "%s - %s", "Veltrix", "V2.60");
}

VLTX_API int32_t VLTX_CALL ecf_LogSerial(const char* ativa) {
    Guarda guarda;
    EstadoDriver.LogAtivo = Texto(ativa)[0] == '1';
    return EstadoDriver.LogAtivo ? 1 : 0;
}

VLTX_API int32_t VLTX_CALL ecf_ProximoTimeout(const char* segundos) {
    Guarda guarda;
    EstadoDriver.ProximoTimeout = ConverteDecimal(segundos);
    return EstadoDriver.ProximoTimeout;
}

}  // extern "C"

// The two counter exports; their names ("@Log@C6_4", "@Log@C6_5") are given
// them by the export table of each platform.
extern "C" VLTX_API void VLTX_CALL vLog_C6_4(void) { --ContadorLog; }
extern "C" VLTX_API void VLTX_CALL vLog_C6_5(void) { ++ContadorLog; }
