// Network lines: a printer behind a serial device server or ser2net, named
// "socket://HOST:PORT" (a raw TCP byte stream) or "rfc2217://HOST:PORT"
// (Telnet with the COM-PORT-OPTION). linha.cpp hands every seam operation
// on such a name or handle to these, so that the driver above sees a
// serial line like any other.
#pragma once

#include "platform/plataforma.h"

namespace plataforma::rede {

// How long a connection may take to be made (and, for rfc2217://, how long
// the server then has to take the option): past it the open fails.
constexpr int PrazoConexaoMs = 3000;

// Whether the name is one of the two URL forms.
bool EhEndereco(const char* nome);
constexpr int MaxLinhas = 8;
// Handles above those of the ttys, so the two never meet.
constexpr Dispositivo PrimeiroHandle = 0x100;

// Whether the handle is one of a network line: inline, since every seam
// operation on a tty asks it first.
constexpr bool EhRede(Dispositivo d) { return d > PrimeiroHandle && d <= PrimeiroHandle + MaxLinhas; }

Dispositivo Abre(const char* nome);
bool LeConfig(Dispositivo d, ConfigLinha& config);
bool AplicaConfig(Dispositivo d, const ConfigLinha& config);
bool AplicaTempos(Dispositivo d, const TemposLinha& tempos);
bool Purga(Dispositivo d, std::uint32_t filas);
bool LeErros(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado);
bool Le(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos);
bool Escreve(Dispositivo d, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos);
bool Fecha(Dispositivo d);
bool Espera(Dispositivo d, std::uint32_t milissegundos);
bool Caiu(Dispositivo d);

}  // namespace plataforma::rede
