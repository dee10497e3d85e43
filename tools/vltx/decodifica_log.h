// The diagnostic log made readable: each frame sent named by its command
// and split into its fields, each reply with its status byte, the bytes
// discarded from the line after a failed exchange, each driver error with
// its meaning, the settings lines as they are.
#pragma once

#include <string>
#include <string_view>

// The bytes as the file holds them (each line feed stored as CR LF).
std::string DecodificaLog(std::string_view arquivo);
