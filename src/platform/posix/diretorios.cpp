// Where the driver keeps its files on POSIX: the directory that stands for
// drive C (the log, the cheque layout copy) and the settings store.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/diretorios.h"

namespace plataforma {
namespace {

bool CriaDiretorios(char* caminho) {
    for (char* p = caminho + 1; *p != '\0'; ++p) {
        if (*p != '/') continue;
        *p = '\0';
        bool ok = mkdir(caminho, 0700) == 0 || errno == EEXIST;
        *p = '/';
        if (!ok) return false;
    }
    return mkdir(caminho, 0700) == 0 || errno == EEXIST;
}

}  // namespace

const char* DiretorioBase(const char* variavel, const char* sufixo, char* destino, std::size_t tamanho) {
    const char* dir = std::getenv(variavel);
    if (dir != nullptr && *dir != '\0') {
        std::snprintf(destino, tamanho, "%s", dir);
    } else {
        const char* estado = std::getenv("XDG_STATE_HOME");
        if (estado != nullptr && *estado != '\0') {
            std::snprintf(destino, tamanho, "%s/vltxdrv/%s", estado, sufixo);
        } else {
            const char* casa = std::getenv("HOME");
            std::snprintf(destino, tamanho, "%s/.local/state/vltxdrv/%s", casa ? casa : "/tmp", sufixo);
        }
    }
    std::size_t n = std::strlen(destino);
    while (n > 1 && destino[n - 1] == '/') destino[--n] = '\0';
    CriaDiretorios(destino);
    return destino;
}

}  // namespace plataforma
