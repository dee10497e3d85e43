// The kinds of line the driver can talk to a printer through, as one table
// (linhas.cpp). Each row says how a port name of its kind is recognised and
// carries the operations of such a line, with the meaning the seam gives
// them in plataforma.h. The seam's line operations look the row up from the
// handle and call through it, so that no operation asks which kind of line
// it holds. A new kind of line is one row and one file.
//
// A row's operations see only handles of their own kind, and hand out
// handles from 1 to MaxLocal; the seam's handle also names the row.
#pragma once

#include "platform/plataforma.h"

namespace plataforma {

struct TipoLinha {
    const char* nome;  // for people: "serial", "socket", "rfc2217"
    // Whether a port name is one of this kind. The rows are asked in order.
    bool (*Reconhece)(const char* nome);
    // The seam's operations, on this kind's own handles (1 to MaxLocal).
    Dispositivo (*Abre)(const char* nome);
    bool (*LeConfig)(Dispositivo d, ConfigLinha& config);
    bool (*AplicaConfig)(Dispositivo d, const ConfigLinha& config);
    bool (*AplicaTempos)(Dispositivo d, const TemposLinha& tempos);
    bool (*Purga)(Dispositivo d, std::uint32_t filas);
    bool (*LeErros)(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado);
    bool (*Le)(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos);
    bool (*Escreve)(Dispositivo d, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos);
    bool (*Espera)(Dispositivo d, std::uint32_t milissegundos);
    bool (*Caiu)(Dispositivo d);
    bool (*Fecha)(Dispositivo d);
};

// The largest handle a row may hand out.
constexpr Dispositivo MaxLocal = 0xFF;

// The rows, each defined in its own file: a local port of the system
// (posix/linha.cpp, win32/linha.cpp) and the two network lines
// (linha_rede.cpp, over the system's sockets of posix/ or win32/soquete.cpp).
extern const TipoLinha LinhaSerial;
extern const TipoLinha LinhaSocket;
extern const TipoLinha LinhaRfc2217;

// The row a port name belongs to (the serial port takes any name no other
// row claims): null for none.
const TipoLinha* TipoDoNome(const char* nome);

}  // namespace plataforma
