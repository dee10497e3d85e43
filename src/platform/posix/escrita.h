// Writing a file within the file-size limit (RLIMIT_FSIZE). A write past
// the limit raises SIGXFSZ, whose default action kills the process: the
// host, for a log record or a readout chunk it never asked to be written.
// So the room left under the limit is tested first, and a write that does
// not fit is not made at all: it counts as failed, and a record or a chunk
// goes whole or not at all. A write that still meets the limit (another
// process appended to the same file meanwhile) runs with the signal held
// back, and the signal it raised is taken off again.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace plataforma {
namespace escrita {

// The limit's bytes; false when there is none.
inline bool LimiteDeTamanho(std::uint64_t& limite) {
    rlimit r{};
    if (getrlimit(RLIMIT_FSIZE, &r) != 0 || r.rlim_cur == RLIM_INFINITY) return false;
    limite = r.rlim_cur;
    return true;
}

// Whether n bytes written at fd's position (its end, in append mode) stay
// within the limit.
inline bool Cabe(int fd, std::size_t n, std::uint64_t limite) {
    const int flags = fcntl(fd, F_GETFL);
    off_t posicao = -1;
    if (flags >= 0 && (flags & O_APPEND) != 0) {
        struct stat st {};
        if (fstat(fd, &st) == 0) posicao = st.st_size;
    } else {
        posicao = lseek(fd, 0, SEEK_CUR);
    }
    if (posicao < 0) return false;
    const auto p = static_cast<std::uint64_t>(posicao);
    return p <= limite && n <= limite - p;
}

// Holds SIGXFSZ back in this thread while it lives; a SIGXFSZ that came up
// meanwhile (and was not pending before) is taken off at the end.
class SinalRetido {
public:
    SinalRetido() {
        sigemptyset(&sinal_);
        sigaddset(&sinal_, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &sinal_, &antes_);
        sigset_t pendentes;
        jaPendente_ = sigpending(&pendentes) == 0 && sigismember(&pendentes, SIGXFSZ) == 1;
    }
    ~SinalRetido() {
        sigset_t pendentes;
        if (!jaPendente_ && sigpending(&pendentes) == 0 && sigismember(&pendentes, SIGXFSZ) == 1) {
            const timespec agora{0, 0};
            const int erro = errno;
            sigtimedwait(&sinal_, nullptr, &agora);
            errno = erro;
        }
        pthread_sigmask(SIG_SETMASK, &antes_, nullptr);
    }
    SinalRetido(const SinalRetido&) = delete;
    SinalRetido& operator=(const SinalRetido&) = delete;

private:
    sigset_t sinal_;
    sigset_t antes_;
    bool jaPendente_ = false;
};

// write(2) until all n bytes have gone; false, with nothing or part
// written, on an error, and with nothing written when they do not fit
// under the limit.
inline bool EscreveTudo(int fd, const void* dados, std::size_t n) {
    const auto escreve = [&] {
        const auto* p = static_cast<const unsigned char*>(dados);
        std::size_t falta = n;
        while (falta > 0) {
            const ssize_t k = write(fd, p, falta);
            if (k < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            p += k;
            falta -= static_cast<std::size_t>(k);
        }
        return true;
    };
    std::uint64_t limite = 0;
    if (!LimiteDeTamanho(limite)) return escreve();
    if (!Cabe(fd, n, limite)) {
        errno = EFBIG;
        return false;
    }
    SinalRetido retido;
    return escreve();
}

}  // namespace escrita
}  // namespace plataforma
