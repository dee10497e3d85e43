// Each test binary keeps its log directory and settings store in a fresh
// temporary directory of its own.
#pragma once

#include <string>

namespace ambiente {
// The directories that stand for "c:\" and the registry for this run.
const std::string& DiretorioC();
const std::string& Registro();
// Reads a whole file; empty when missing.
std::string LeArquivo(const std::string& caminho);
// The log file the driver writes today.
std::string ArquivoLogHoje();
// Empties both directories.
void Limpa();
}  // namespace ambiente
