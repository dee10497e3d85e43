// Where the driver keeps its files on POSIX. The directory is, in order:
//   1. the environment variable named (VLTXDRV_DRIVE_C, VLTXDRV_REGISTRY), as given;
//   2. $XDG_STATE_HOME/vltxdrv/<sufixo>, when XDG_STATE_HOME is an absolute path;
//   3. $HOME/.local/state/vltxdrv/<sufixo>, when HOME is an absolute path;
//   4. <home>/.local/state/vltxdrv/<sufixo>, <home> being the home directory of
//      the effective user's passwd entry, when it is an existing directory
//      owned by that user or by root and writable by nobody else;
//   5. none: a path under /dev/null, so that no file can be opened or created
//      there (the log's records are dropped, the settings read their
//      defaults) and nothing lands in the current directory, "/" or /tmp.
// Empty or relative values of XDG_STATE_HOME and HOME count as unset.
#pragma once
#include <cstddef>

namespace plataforma {

// The home directory of the effective user's passwd entry when it may hold
// the driver's files (see 4. above), else nullptr. casa holds tamanho bytes.
const char* CasaDoUsuario(char* casa, std::size_t tamanho);

// The directory of 1. to 5. above, computed and nothing created; casaUsuario
// stands for 4. (nullptr: no such home). False when the answer is 5. (destino
// then holds that path) or the path does not fit.
bool CaminhoBase(const char* variavel, const char* sufixo, const char* casaUsuario, char* destino,
                 std::size_t tamanho);

// CaminhoBase with the user's own home, and the directory created on first
// use (mode 0700); in case 5. nothing is created.
const char* DiretorioBase(const char* variavel, const char* sufixo, char* destino, std::size_t tamanho);

}  // namespace plataforma
