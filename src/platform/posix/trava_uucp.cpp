// UUCP lock files. The lock is written whole into a temporary file of the
// lock directory and hard-linked to its name: link(2) fails if anything is
// there, so the lock appears atomically and complete, and nothing at the
// name (a symbolic link included) is ever opened for writing or followed.
#include "platform/posix/trava_uucp.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "platform/posix/escrita.h"

namespace plataforma {
namespace {

// A lock with no PID in it is taken for one being written for this long.
constexpr time_t IdadeSemPid = 10;
// Rounds of "the name is taken, its lock is stale, remove it": a third
// stale lock in a row means someone else is racing for it; let them have it.
constexpr int Tentativas = 3;

enum class Situacao { Livre, EmVigor, Velha };
enum class Resultado { Tomada, Ocupada, SemTrava };

// What a lock file holds: pid 0 when it holds no PID.
struct Conteudo {
    struct stat st {};
    long pid = 0;
};

bool Copia(char* destino, std::size_t tamanho, const char* formato, const char* a, const char* b = "") {
    const int n = std::snprintf(destino, tamanho, formato, a, b);
    return n >= 0 && static_cast<std::size_t>(n) < tamanho;
}

bool DiretorioTravas(char* destino, std::size_t tamanho) {
    const char* dir = std::getenv("VLTXDRV_LOCK_DIR");
    if (dir != nullptr && *dir != '\0') return Copia(destino, tamanho, "%s%s", dir);
    for (const char* candidato : {"/run/lock", "/var/lock"}) {
        struct stat st {};
        if (stat(candidato, &st) == 0 && S_ISDIR(st.st_mode)) return Copia(destino, tamanho, "%s%s", candidato);
    }
    return false;
}

bool Branco(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// "%10d\n" and other decimal texts amid blanks, else the old 4-byte binary
// form. No real PID reads as both: four digit or blank bytes make a binary
// number far above any PID limit.
long PidDe(const char* texto, std::size_t n) {
    std::size_t i = 0;
    while (i < n && Branco(texto[i])) ++i;
    long pid = 0;
    std::size_t digitos = 0;
    for (; i < n && texto[i] >= '0' && texto[i] <= '9' && digitos < 10; ++i, ++digitos)
        pid = pid * 10 + (texto[i] - '0');
    while (i < n && Branco(texto[i])) ++i;
    if (digitos > 0 && i == n && pid <= INT_MAX) return pid;
    if (n == sizeof(std::int32_t)) {
        std::int32_t binario = 0;
        std::memcpy(&binario, texto, sizeof binario);
        return binario > 0 ? binario : 0;
    }
    return 0;
}

// Reads a lock file without following a link at its name and without
// blocking on whatever is there. False (errno set) when it is no regular
// file or cannot be read.
bool LeTrava(const char* trava, Conteudo& c) {
    const int fd = open(trava, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    char texto[64];
    ssize_t n = -1;
    bool ok = fstat(fd, &c.st) == 0 && S_ISREG(c.st.st_mode);
    if (!ok) errno = EINVAL;
    while (ok && (n = read(fd, texto, sizeof texto)) < 0 && errno == EINTR) {
    }
    const int erro = errno;
    close(fd);
    errno = erro;
    if (!ok || n < 0) return false;
    c.pid = PidDe(texto, static_cast<std::size_t>(n));
    return true;
}

bool ProcessoVivo(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH; }

Situacao Examina(const char* trava, Conteudo& c) {
    if (!LeTrava(trava, c)) return errno == ENOENT || errno == ENOTDIR ? Situacao::Livre : Situacao::EmVigor;
    // Our own PID is a live process too: see the header.
    if (c.pid > 0) return ProcessoVivo(c.pid) ? Situacao::EmVigor : Situacao::Velha;
    return std::time(nullptr) - c.st.st_mtime >= IdadeSemPid ? Situacao::Velha : Situacao::EmVigor;
}

// The lock is honoured but none taken (the directory cannot be written).
Resultado SoHonra(const char* trava) {
    Conteudo c;
    return Examina(trava, c) == Situacao::EmVigor ? Resultado::Ocupada : Resultado::SemTrava;
}

// Removes the file read as c, and only it: a lock another process put in
// its place meanwhile stays. False with errno ENOENT when it went already.
bool RemoveSeAinda(const char* trava, const Conteudo& c) {
    struct stat agora {};
    if (lstat(trava, &agora) != 0) return false;
    if (agora.st_dev != c.st.st_dev || agora.st_ino != c.st.st_ino) {
        errno = ENOENT;
        return false;
    }
    return unlink(trava) == 0;
}

// A file of the lock directory holding our lock, under a unique name.
int CriaTemporario(const char* dir, char* temporario, std::size_t tamanho) {
    char modelo[32];
    std::snprintf(modelo, sizeof modelo, "LTMP.%ld.XXXXXX", static_cast<long>(getpid()));
    if (!Copia(temporario, tamanho, "%s/%s", dir, modelo)) return -1;
    const int fd = mkostemp(temporario, O_CLOEXEC);
    if (fd < 0) return -1;
    char texto[16];
    const int n = std::snprintf(texto, sizeof texto, "%10ld\n", static_cast<long>(getpid()));
    bool ok = fchmod(fd, 0644) == 0 && escrita::EscreveTudo(fd, texto, static_cast<std::size_t>(n));
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(temporario);
        return -1;
    }
    return 0;
}

Resultado Liga(const char* temporario, const char* trava) {
    for (int vez = 0; vez < Tentativas; ++vez) {
        if (link(temporario, trava) == 0) return Resultado::Tomada;
        if (errno != EEXIST) return SoHonra(trava);
        Conteudo c;
        const Situacao s = Examina(trava, c);
        if (s == Situacao::EmVigor) return Resultado::Ocupada;
        if (s == Situacao::Velha && !RemoveSeAinda(trava, c) && errno != ENOENT)
            return Resultado::SemTrava;  // stale but not ours to remove: the device is free all the same
    }
    return Resultado::Ocupada;
}

}  // namespace

bool NomeTravaUucp(const char* dispositivo, char* nome, std::size_t tamanho) {
    if (dispositivo == nullptr) return false;
    // As the other tools name it: a udev link (/dev/ecf0) locks its device.
    char real[PATH_MAX];
    const char* base = realpath(dispositivo, real) != nullptr ? real : dispositivo;
    if (std::strncmp(base, "/dev/", 5) == 0)
        base += 5;
    else
        while (*base == '/') ++base;
    if (*base == '\0' || !Copia(nome, tamanho, "LCK..%s", base) || std::strlen(nome) > NAME_MAX) return false;
    for (char* p = nome; *p != '\0'; ++p)
        if (*p == '/') *p = '_';
    return true;
}

bool TomaTravaUucp(const char* dispositivo, char* arquivoTrava, std::size_t tamanho) {
    if (tamanho > 0) arquivoTrava[0] = '\0';
    char dir[PATH_MAX], nome[NAME_MAX + 1], trava[PATH_MAX];
    if (!DiretorioTravas(dir, sizeof dir) || !NomeTravaUucp(dispositivo, nome, sizeof nome) ||
        !Copia(trava, sizeof trava, "%s/%s", dir, nome))
        return true;
    char temporario[PATH_MAX];
    // A lock that could not be released later (its path does not fit) is not taken.
    if (std::strlen(trava) >= tamanho || CriaTemporario(dir, temporario, sizeof temporario) != 0)
        return SoHonra(trava) != Resultado::Ocupada;
    const Resultado r = Liga(temporario, trava);
    unlink(temporario);
    if (r == Resultado::Tomada) std::memcpy(arquivoTrava, trava, std::strlen(trava) + 1);
    return r != Resultado::Ocupada;
}

bool LeTravaUucp(const char* dispositivo, char* arquivoTrava, std::size_t tamanho, long& pid, bool& emVigor) {
    char dir[PATH_MAX], nome[NAME_MAX + 1];
    if (tamanho == 0 || !DiretorioTravas(dir, sizeof dir) || !NomeTravaUucp(dispositivo, nome, sizeof nome) ||
        !Copia(arquivoTrava, tamanho, "%s/%s", dir, nome))
        return false;
    Conteudo c;
    const Situacao s = Examina(arquivoTrava, c);
    pid = c.pid;
    emVigor = s == Situacao::EmVigor;
    return s != Situacao::Livre;
}

void SoltaTravaUucp(char* arquivoTrava) {
    if (arquivoTrava == nullptr || arquivoTrava[0] == '\0') return;
    Conteudo c;
    if (LeTrava(arquivoTrava, c) && c.pid == getpid()) RemoveSeAinda(arquivoTrava, c);
    arquivoTrava[0] = '\0';
}

}  // namespace plataforma
