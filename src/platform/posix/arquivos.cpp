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

namespace plataforma {
namespace {

// Descriptors 0 to 2 belong to the host; a handle is positive anyway, so
// the descriptor rides one above it.
Arquivo Handle(int fd) { return fd < 0 ? -1 : fd + 1; }
int Fd(Arquivo a) { return a - 1; }

}  // namespace

const char* DiretorioC() {
    static char caminho[PATH_MAX];
    DiretorioBase("VLTXDRV_DRIVE_C", "c", caminho, sizeof caminho - 1);
    std::strcat(caminho, "/");
    return caminho;
}

Arquivo AbreArquivoExistente(const char* caminho) {
    return Handle(open(caminho, O_RDWR | O_APPEND | O_CLOEXEC));
}

Arquivo CriaArquivo(const char* caminho) {
    return Handle(open(caminho, O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH));
}

Arquivo CriaArquivoSaida(const char* caminho, bool exclusivo) {
    // Something there that is not a regular file (a directory, a device, a
    // FIFO) is refused before it is opened: opening a device can act on it.
    struct stat antes {};
    if (stat(caminho, &antes) == 0 && !S_ISREG(antes.st_mode)) return -1;
    int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (exclusivo) flags |= O_NOFOLLOW;
    int fd = open(caminho, flags, exclusivo ? 0600 : 0666);
    if (fd < 0) return -1;
    struct stat st {};
    // The private copy is truncated only when it is our own file under this
    // one name: a hard link planted at the path would have us cut another file.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        (exclusivo && (st.st_nlink != 1 || st.st_uid != geteuid())) || ftruncate(fd, 0) != 0) {
        close(fd);
        return -1;
    }
    if (exclusivo) fchmod(fd, 0600);
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
    const auto* p = static_cast<const unsigned char*>(dados);
    while (tamanho > 0) {
        ssize_t n = write(Fd(a), p, tamanho);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        tamanho -= static_cast<std::size_t>(n);
    }
    return true;
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
