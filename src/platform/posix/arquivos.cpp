// Files on POSIX: low-level handles as the C runtime's _open hands them out,
// and the directory that stands for drive C.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/plataforma.h"
#include "platform/posix/diretorios.h"
#include "platform/posix/escrita.h"

namespace plataforma {
namespace {

// Descriptors 0 to 2 belong to the host; a handle is positive anyway, so
// the descriptor rides one above it.
Arquivo Handle(int fd) { return fd < 0 ? -1 : fd + 1; }
int Fd(Arquivo a) { return a - 1; }

// Opens one of the driver's own files: never through a symbolic link, never
// blocking on a FIFO or a device, and only a regular file with this one
// name (a hard link planted at the path would have us write another file).
int AbrePropria(const char* caminho, int flags, bool trunca) {
    int fd = open(caminho, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                  S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || (trunca && ftruncate(fd, 0) != 0)) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

const char* DiretorioC() {
    static char caminho[PATH_MAX];
    DiretorioBase("VLTXDRV_DRIVE_C", "c", caminho, sizeof caminho - 1);
    std::strcat(caminho, "/");
    return caminho;
}

Arquivo AbreArquivoExistente(const char* caminho) {
    return Handle(AbrePropria(caminho, O_RDWR | O_APPEND, false));
}

Arquivo CriaArquivo(const char* caminho, bool trunca) {
    return Handle(AbrePropria(caminho, O_RDWR | O_CREAT, trunca));
}

bool ArquivoSaidaUtilizavel(const char* caminho) {
    if (caminho == nullptr || *caminho == '\0') return false;
    struct stat st {};
    if (stat(caminho, &st) == 0) return S_ISREG(st.st_mode) && access(caminho, W_OK) == 0;
    if (errno != ENOENT) return false;
    // A free name: its directory must be there and take a new file.
    char diretorio[PATH_MAX];
    const char* barra = std::strrchr(caminho, '/');
    if (barra == nullptr) {
        std::strcpy(diretorio, ".");
    } else {
        const std::size_t n = barra == caminho ? 1 : static_cast<std::size_t>(barra - caminho);
        if (n >= sizeof diretorio) return false;
        std::memcpy(diretorio, caminho, n);
        diretorio[n] = '\0';
    }
    return stat(diretorio, &st) == 0 && S_ISDIR(st.st_mode) && access(diretorio, W_OK | X_OK) == 0;
}

Arquivo CriaArquivoSaida(const char* caminho, bool exclusivo) {
    if (exclusivo) {
        // The driver's private copy: whatever stands at its name (a file
        // left by an earlier call, or a link someone planted) goes, and the
        // copy is made anew there, exclusively, so that nothing planted
        // can be written through.
        unlink(caminho);
        return Handle(open(caminho, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    }
    // Something there that is not a regular file (a directory, a device, a
    // FIFO) is refused before it is opened: opening a device can act on it.
    struct stat antes {};
    if (stat(caminho, &antes) == 0 && !S_ISREG(antes.st_mode)) return -1;
    int fd = open(caminho, O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Handle(fd);
}

Arquivo AbreArquivoLeituraEscrita(const char* caminho) {
    int fd = open(caminho, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st {};
    // "r+" asks for writing too: a file nobody may write fails, root or not.
    // Only regular files: a FIFO would block the reader, a device never end.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
        access(caminho, W_OK) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Handle(fd);
}

bool EscreveArquivo(Arquivo a, const void* dados, std::size_t tamanho) {
    if (a <= 0) return false;
    return escrita::EscreveTudo(Fd(a), dados, tamanho);
}

long LeArquivo(Arquivo a, void* destino, std::size_t tamanho) {
    if (a <= 0) return -1;
    for (;;) {
        ssize_t n = read(Fd(a), destino, tamanho);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

int DiaModificacao(Arquivo a) {
    struct stat st {};
    if (a <= 0 || fstat(Fd(a), &st) != 0) return -1;
    tm local{};
    time_t quando = st.st_mtime;
    if (localtime_r(&quando, &local) == nullptr) return -1;
    return local.tm_mday;
}

bool FechaArquivo(Arquivo a) {
    if (a <= 0) return false;
    return close(Fd(a)) == 0;
}

bool ApagaArquivo(const char* caminho) { return unlink(caminho) == 0; }

}  // namespace plataforma
