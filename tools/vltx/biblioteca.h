// Finding and loading libvltxdrv as a host does, for vltx and vltxd.
#pragma once

#include <string>

// The path asked for; else VLTXDRV_LIB; else where an install puts the
// library beside the program, then next to it, one and two levels up (a
// build tree); else the loader's path. The handle, and in carregada the
// name that loaded; null with each candidate's reason in erros.
void* CarregaBiblioteca(const std::string& pedida, std::string& carregada, std::string& erros);
