// Where the driver keeps its files on POSIX: the directory that stands for
// drive C (the log, the cheque layout copy) and the settings store. A process
// with no HOME (a service) must not fall back to a directory that other
// users can write, where they could plant the files first.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/diretorios.h"

namespace plataforma {
namespace {

// Under a character device: nothing below it can exist or be created, by
// root either, and only single-level mkdir and open ever act below it.
constexpr const char* SemDiretorio = "/dev/null/vltxdrv";

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

// A variable that names an absolute path; a relative one would put the
// files wherever the host happens to run.
const char* Absoluta(const char* variavel) {
    const char* valor = std::getenv(variavel);
    return valor != nullptr && valor[0] == '/' ? valor : nullptr;
}

bool Formata(char* destino, std::size_t tamanho, const char* base, const char* meio, const char* sufixo) {
    const int n = std::snprintf(destino, tamanho, "%s%s%s", base, meio, sufixo);
    return n >= 0 && static_cast<std::size_t>(n) < tamanho;
}

// Whether 1. to 3. name the directory, the passwd entry then not needed.
bool AmbienteNomeia(const char* variavel) {
    const char* dir = std::getenv(variavel);
    return (dir != nullptr && *dir != '\0') || Absoluta("XDG_STATE_HOME") != nullptr || Absoluta("HOME") != nullptr;
}

bool Nenhum(char* destino, std::size_t tamanho) {
    std::snprintf(destino, tamanho, "%s", SemDiretorio);
    return false;
}

}  // namespace

const char* CasaDoUsuario(char* casa, std::size_t tamanho) {
    passwd entrada{};
    passwd* achada = nullptr;
    char memoria[16384];
    if (getpwuid_r(geteuid(), &entrada, memoria, sizeof memoria, &achada) != 0 || achada == nullptr) return nullptr;
    const char* dir = achada->pw_dir;
    if (dir == nullptr || dir[0] != '/') return nullptr;
    // A home that is missing (/nonexistent), shared or writable by others
    // (/tmp) is no better than no home.
    struct stat st {};
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    if ((st.st_uid != geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return nullptr;
    const int n = std::snprintf(casa, tamanho, "%s", dir);
    return n >= 0 && static_cast<std::size_t>(n) < tamanho ? casa : nullptr;
}

bool CaminhoBase(const char* variavel, const char* sufixo, const char* casaUsuario, char* destino,
                 std::size_t tamanho) {
    const char* dir = std::getenv(variavel);
    bool ok;
    if (dir != nullptr && *dir != '\0')
        ok = Formata(destino, tamanho, dir, "", "");
    else if (const char* estado = Absoluta("XDG_STATE_HOME"))
        ok = Formata(destino, tamanho, estado, "/vltxdrv/", sufixo);
    else if (const char* casa = Absoluta("HOME"))
        ok = Formata(destino, tamanho, casa, "/.local/state/vltxdrv/", sufixo);
    else if (casaUsuario != nullptr && casaUsuario[0] == '/')
        ok = Formata(destino, tamanho, casaUsuario, "/.local/state/vltxdrv/", sufixo);
    else
        ok = false;
    // A path cut short would name some other directory.
    if (!ok) return Nenhum(destino, tamanho);
    std::size_t n = std::strlen(destino);
    while (n > 1 && destino[n - 1] == '/') destino[--n] = '\0';
    return true;
}

const char* DiretorioBase(const char* variavel, const char* sufixo, char* destino, std::size_t tamanho) {
    char casa[4096];
    // Looked up on every call (the log opens often): only when needed, since
    // the passwd lookup may go to a network directory.
    const char* usuario = AmbienteNomeia(variavel) ? nullptr : CasaDoUsuario(casa, sizeof casa);
    if (CaminhoBase(variavel, sufixo, usuario, destino, tamanho)) CriaDiretorios(destino);
    return destino;
}

}  // namespace plataforma
