// The checks of include/vltxdrv.h against the model: the text scan run by
// vltx-ref --check, and the C89 translation unit whose compilation checks
// every prototype and constant (vltx-ref --tu).
#pragma once

#include <string>
#include <vector>

#include "modelo.h"

// Where the reference is installed with the header (the development files),
// and how the header's comments point at an export's section in it.
inline constexpr const char* ReferenciaInstalada = "/usr/share/doc/libvltxdrv-dev/reference.html";
inline constexpr const char* LugarDaReferencia = "reference.html";

// What is wrong with the header's text: missing or extra exports, missing
// reference comments, constants with other values. Empty when it agrees.
std::vector<std::string> ConfereCabecalho(const Modelo& m, const std::string& texto);

// A C89 source that includes vltxdrv.h and fails to compile unless every
// export has the described prototype and every constant its value.
std::string UnidadeDeVerificacao(const Modelo& m);
