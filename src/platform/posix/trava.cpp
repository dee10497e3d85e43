// The process-wide recursive lock every export holds for its whole call,
// and the locks shared with the driver's other processes on the machine.
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/plataforma.h"

namespace plataforma {
namespace {
pthread_mutex_t trava = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
}

void Trava() { pthread_mutex_lock(&trava); }
void Destrava() { pthread_mutex_unlock(&trava); }

// A lock file beside the driver's files, held with flock: the kernel drops
// the lock when its holder dies, so a crash leaves nothing to clean up. The
// file itself stays; it is never written.
namespace {

// The lock file of nome, opened: -1 when it cannot be.
int AbreArquivoDeTrava(const char* nome) {
    char caminho[PATH_MAX];
    const int n = std::snprintf(caminho, sizeof caminho, "%s%s.lock", DiretorioC(), nome);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof caminho) return -1;
    const int fd = open(caminho, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// flock, again when a signal cuts it short: 0, or the error.
int Flock(int fd, int modo) {
    int r;
    while ((r = flock(fd, modo)) != 0 && errno == EINTR) {
    }
    return r == 0 ? 0 : errno;
}

}  // namespace

TravaGlobal TomaTravaGlobal(const char* nome) {
    const int fd = AbreArquivoDeTrava(nome);
    if (fd < 0) return 0;
    if (Flock(fd, LOCK_EX) != 0) {
        close(fd);
        return 0;
    }
    return fd + 1;
}

// A lock file is its own open: another open of the same file in this
// process conflicts with it as another process's does.
bool TentaTravaGlobal(const char* nome, TravaGlobal* trava) {
    *trava = 0;
    const int fd = AbreArquivoDeTrava(nome);
    if (fd < 0) return true;
    const int erro = Flock(fd, LOCK_EX | LOCK_NB);
    if (erro != 0) {
        close(fd);
        AnotaFalhaSistema("flock", erro, strerrorname_np(erro));
        return erro != EWOULDBLOCK;
    }
    *trava = fd + 1;
    return true;
}

void SoltaTravaGlobal(TravaGlobal trava) {
    if (trava <= 0) return;
    close(static_cast<int>(trava - 1));  // closing the file releases its flock
}

}  // namespace plataforma
