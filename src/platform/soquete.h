// The system's TCP sockets, as the network lines (linha_rede.cpp) use them:
// POSIX sockets in posix/soquete.cpp, Winsock in win32/soquete.cpp. Only
// the calls live here; what the lines do with the bytes is portable.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plataforma::soquete {

// A socket of the system (a descriptor, a Winsock SOCKET); Nenhum when none.
using Soquete = std::intptr_t;
constexpr Soquete Nenhum = -1;

// Resolves host and the decimal port and connects, giving up at the moment
// prazo of RelogioMilissegundos(): Nenhum when no connection was made by
// then. The connection sends small writes at once (no Nagle delay) and is
// not inherited by programs the host starts.
Soquete Conecta(const char* host, const char* porta, std::int64_t prazo);
// Sends what of the n bytes the network takes by the moment prazo,
// waiting for room until then; a moment already past waits not at all.
// The count sent (fewer than n when prazo came first), -1 when the
// connection is lost.
long EnviaAte(Soquete s, const unsigned char* bytes, std::size_t n, std::int64_t prazo);
// Takes what the socket holds now, without waiting: the count taken, 0 when
// nothing is there, -1 when the connection is lost (closed by the far side
// or failed).
long RecebeAgora(Soquete s, unsigned char* destino, std::size_t n);
// Waits until the socket is readable (data, or the far side's close) or
// milissegundos pass: 1 readable, 0 time up or interrupted, -1 failed.
int EsperaLeitura(Soquete s, int milissegundos);
// Whether a socket that was readable with nothing to read has been closed
// by the far side (or failed).
bool Encerrado(Soquete s);
// The bytes received and not yet read.
std::uint32_t NaEntrada(Soquete s);
// The bytes written and not yet handed to the network: a port's output
// queue holds bytes not yet on the wire. 0 where the system cannot tell.
std::uint32_t NaSaida(Soquete s);
bool Fecha(Soquete s);
// The far side's address and port as numbers ("192.0.2.10:3001",
// "[2001:db8::10]:3002"): the same for every name of the same server.
bool EnderecoRemoto(Soquete s, char* texto, std::size_t tamanho);

// Each call that fails notes why (AnotaFalhaSistema): the name look-up,
// connect (a connection not made by the deadline: ETIMEDOUT), send, recv (a
// close by the far side: "EOF"), the wait.

}  // namespace plataforma::soquete
