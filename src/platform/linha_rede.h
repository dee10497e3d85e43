// Network lines: a printer behind a serial device server or ser2net, named
// "socket://HOST:PORT" (a raw TCP byte stream) or "rfc2217://HOST:PORT"
// (Telnet with the COM-PORT-OPTION). Two rows of the kinds of line
// (tipos_linha.h), the same on every system: only the socket calls
// (soquete.h) differ between systems.
#pragma once

#include <cstddef>

namespace plataforma::rede {

// How long a connection may take to be made (and, for rfc2217://, how long
// the server then has to take the option): past it the open fails.
constexpr int PrazoConexaoMs = 3000;

constexpr char PrefixoRaw[] = "socket://";
constexpr char PrefixoRfc2217[] = "rfc2217://";

// "HOST:PORT" after the prefix, HOST possibly "[v6]", into its parts: false
// when malformed (no port, a port outside 1 to 65535 or with more than
// digits, an empty or overlong host).
bool SeparaEndereco(const char* resto, char* host, std::size_t tamHost, char* porta, std::size_t tamPorta);

}  // namespace plataforma::rede
