// The seam's line operations, on every system: the row of the kinds'
// table that the port name or the handle belongs to does the work.
// The seam's handle carries the row's place in the table above the row's
// own handle: (place + 1) * 256 + handle of the row.
#include "platform/plataforma.h"
#include "platform/tipos_linha.h"

namespace plataforma {
namespace {

// The network lines first: their names are URLs, and the serial port takes
// whatever name is left, as the system's own device names go.
const TipoLinha* const Tipos[] = {&LinhaSocket, &LinhaRfc2217, &LinhaSerial};
constexpr Dispositivo QuantosTipos = sizeof Tipos / sizeof Tipos[0];

struct Local {
    const TipoLinha* tipo;
    Dispositivo d;
};

Local LocalDe(Dispositivo d) {
    const Dispositivo lugar = (d >> 8) - 1;
    const Dispositivo local = d & MaxLocal;
    if (lugar < 0 || lugar >= QuantosTipos || local == 0) return {nullptr, 0};
    return {Tipos[lugar], local};
}

}  // namespace

const TipoLinha* TipoDoNome(const char* nome) {
    if (nome == nullptr) return nullptr;
    for (const TipoLinha* t : Tipos)
        if (t->Reconhece(nome)) return t;
    return nullptr;
}

Dispositivo AbreDispositivo(const char* nome) {
    const TipoLinha* tipo = TipoDoNome(nome);
    if (tipo == nullptr) return 0;
    const Dispositivo local = tipo->Abre(nome);
    if (local <= 0 || local > MaxLocal) return 0;
    Dispositivo lugar = 0;
    while (Tipos[lugar] != tipo) ++lugar;
    return (lugar + 1) << 8 | local;
}

bool LeConfigLinha(Dispositivo d, ConfigLinha& config) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->LeConfig(l.d, config);
}

bool AplicaConfigLinha(Dispositivo d, const ConfigLinha& config) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->AplicaConfig(l.d, config);
}

bool AplicaTemposLinha(Dispositivo d, const TemposLinha& tempos) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->AplicaTempos(l.d, tempos);
}

bool PurgaLinha(Dispositivo d, std::uint32_t filas) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->Purga(l.d, filas);
}

bool LeErrosLinha(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->LeErros(l.d, erros, estado);
}

bool LeLinha(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos) {
    const Local l = LocalDe(d);
    if (l.tipo != nullptr) return l.tipo->Le(l.d, destino, quantidade, lidos);
    if (lidos != nullptr) *lidos = 0;
    return false;
}

bool EscreveLinha(Dispositivo d, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos) {
    const Local l = LocalDe(d);
    if (l.tipo != nullptr) return l.tipo->Escreve(l.d, dados, quantidade, escritos);
    if (escritos != nullptr) *escritos = 0;
    return false;
}

bool FechaDispositivo(Dispositivo d) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->Fecha(l.d);
}

bool EsperaEntrada(Dispositivo d, std::uint32_t milissegundos) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->Espera(l.d, milissegundos);
}

bool LinhaCaiu(Dispositivo d) {
    const Local l = LocalDe(d);
    return l.tipo != nullptr && l.tipo->Caiu(l.d);
}

}  // namespace plataforma
