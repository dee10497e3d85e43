// Why a network port name does not open: the library answers
// ecf_InicializaDLL on "socket://HOST:PORT" or "rfc2217://HOST:PORT" with 3
// (no connection) or 4 (the server would not take the RFC 2217 option); the
// technician needs to know which step failed and what to look at.
#pragma once

#include <string>
#include <vector>

// Whether the name is one of the two URL forms the library connects to.
bool EhEnderecoDeRede(const std::string& nome);

// Connects as the library does (each address of the name, 3 s in all) and,
// for rfc2217://, negotiates the option; the causes found, each a line for a
// person. Empty when the connection and the negotiation succeed now.
std::vector<std::string> PorQueNaoConecta(const std::string& endereco);

// The words for a connect(2) failure (errno erro, 0 for the deadline) to
// alvo ("HOST:PORT", "ADDRESS"), as PorQueNaoConecta says them.
std::string FalhaDeConexao(int erro, const std::string& alvo, const std::string& endereco);
