// What vltx asks of the system to be a host: load the driver's library and
// find its exports (dlopen, LoadLibrary), where vltx itself lies, whether
// its output is a terminal, and why a port did not open.
// biblioteca_posix.cpp and biblioteca_win32.cpp.
#pragma once

#include <string>
#include <vector>

// The library at caminho, or null with the system's reason in erro.
void* AbreBiblioteca(const std::string& caminho, std::string& erro);
void* SimboloDe(void* biblioteca, const char* nome);
void FechaBiblioteca(void* biblioteca);

// Where the library may be, in the order to try: beside vltx and the
// places an install or a build puts it, then the loader's own search.
std::vector<std::string> CandidatosBiblioteca();

bool SaidaEhTerminal();

// Why the port did not open, a line each for a person; empty when unknown.
std::vector<std::string> CausasDaFalha(const std::string& porta);
