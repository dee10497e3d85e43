// What a result means, in plain words. The driver's codes and the printer's
// status byte share one range; what vltx knows of the port settles a 2, the
// rest is said with both readings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vltx/exportacoes.h"

// The words for a line failure code of the driver (3 to 19 and 29, and 1);
// null for any other value.
const char* FalhaDeLinha(std::int32_t codigo);

// The words for a cheque layout code (20 to 28); null for any other value.
const char* FalhaDeLayout(std::int32_t codigo);

// The meaning of a status byte that the printer contract gives, for the
// command whose frame asked for it ("08" type 1 and 33, "00" and 10, "53"
// and 2); null otherwise.
const char* StatusDoContrato(const char* codigo, char primeiroCampo, int status);

// The meaning of one call's result. portaAberta: whether the port was open
// when the call was made.
std::string Significado(const Exportacao& e, const std::vector<std::string>& argumentos, const Resultado& r,
                        bool portaAberta);
