// Cheque printing from the host's layout file.
#pragma once

#include <cstdint>

namespace cheque {

// The temporary copy of the host's layout file, in the directory that stands
// for "c:\". One fixed name for every call.
inline constexpr const char* NomeCopia = "chqlay.ini";

// The largest number a list gives: a digit run longer than 19 digits, or
// whose value is above it, reads as this value.
inline constexpr std::int32_t NumeroMaximo = 2147483647;

// Reads a list of quantidade comma-separated numbers from texto into
// numeros[0 .. quantidade-1]. Every output starts at -1; a comma moves to the
// next field; a run of digits is a number and goes to its field (the last run
// of a field wins, runs of fields past the count are dropped); every other
// byte is skipped, so no output is ever negative. True only when the text
// held exactly quantidade - 1 commas and every field held a digit.
bool LeListaNumeros(const char* texto, int quantidade, std::int32_t* numeros);

}  // namespace cheque
