// What vltx and vltxd ask of the system to be a host: load the driver's library and
// find its exports (dlopen, LoadLibrary), where vltx itself lies, whether
// its output is a terminal, what to tell a person of a result.
// biblioteca_posix.cpp and biblioteca_win32.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The library at caminho, or null with the system's reason in erro.
void* AbreBiblioteca(const std::string& caminho, std::string& erro);
void* SimboloDe(void* biblioteca, const char* nome);
void FechaBiblioteca(void* biblioteca);

// Where the library may be, in the order to try: beside vltx and the
// places an install or a build puts it, then the loader's own search.
std::vector<std::string> CandidatosBiblioteca();

// For vltx and vltxd alike: the path asked for; else VLTXDRV_LIB; else the
// candidates above. The handle, and in carregada the name that loaded; null
// with each candidate's reason in erros (biblioteca.cpp, on every system).
void* CarregaBiblioteca(const std::string& pedida, std::string& carregada, std::string& erros);

bool SaidaEhTerminal();

// What a person should know beyond an export's result, a line each: why
// the port did not open, another process reading the same device, a log
// switched on with nowhere to write. Empty when there is nothing to add.
std::vector<std::string> Avisos(std::string_view exportacao, const std::vector<std::string>& argumentos, int valor);

bool ExisteArquivo(const std::string& caminho);
