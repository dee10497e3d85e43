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
TravaGlobal TomaTravaGlobal(const char* nome) {
    char caminho[PATH_MAX];
    const int n = std::snprintf(caminho, sizeof caminho, "%s%s.lock", DiretorioC(), nome);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof caminho) return 0;
    const int fd = open(caminho, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return 0;
    }
    int r;
    while ((r = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
        close(fd);
        return 0;
    }
    return fd + 1;
}

void SoltaTravaGlobal(TravaGlobal trava) {
    if (trava <= 0) return;
    close(static_cast<int>(trava - 1));  // closing the file releases its flock
}

}  // namespace plataforma
