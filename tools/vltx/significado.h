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

// Whether a call's result is one of the driver's failure codes, for
// vltx --check. Per export:
//   InicializaDLL   every result but 33 (open) and 1 (open already);
//   FinalizaDLL     3 to 19 and 29 (2, not open, leaves it closed as asked);
//   VersaoDLL, LogSerial, ProximoTimeout and the exports without a result:
//                   never (their results are values, not codes);
//   LeRegistrador, LeECF types 4 to 7: every result but 33;
//   LeCMC7          20, and as a command below (33 is the line read);
//   ImprimeCheque   20 to 28, and as a command below;
//   any command     2 while the port is not open, and 3 to 19 and 29.
// A status byte of the printer with the number of a line failure counts as
// the failure: the number cannot tell them apart, and a false alarm is the
// cheaper mistake for a monitor. Other status bytes (0, 1, 2 while open, 30
// to 255) are the printer's word, not a failure of the driver.
bool Falhou(const Exportacao& e, const std::vector<std::string>& argumentos, const Resultado& r,
            bool portaAberta);
