#pragma once
#include <cstddef>

namespace plataforma {
// The directory named by an environment variable, else
// ${XDG_STATE_HOME:-$HOME/.local/state}/vltxdrv/<sufixo>; created on first use.
const char* DiretorioBase(const char* variavel, const char* sufixo, char* destino, std::size_t tamanho);
}
