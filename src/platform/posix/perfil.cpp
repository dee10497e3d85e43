// The profile (INI) reader on POSIX, standing in for GetPrivateProfileStringA:
// the file's reading. What its text answers is perfil_texto.cpp's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/plataforma.h"
#include "platform/posix/perfil_texto.h"

namespace plataforma {
namespace {

struct ArquivoLido {
    const char* caminho;
    int fd = -1;
};

// Opens the file at the first block: only a regular file is read.
long LeArquivo(void* contexto, unsigned char* p, std::size_t n) {
    auto& a = *static_cast<ArquivoLido*>(contexto);
    if (a.fd < 0) {
        // Not blocking on open, so a FIFO or a device at the path cannot hang us.
        a.fd = open(a.caminho, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
        if (a.fd < 0) return -1;
        struct stat st {};
        if (fstat(a.fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    }
    for (;;) {
        const ssize_t lidos = read(a.fd, p, n);
        if (lidos < 0 && errno == EINTR) continue;
        return lidos > 0 ? static_cast<long>(lidos) : 0;  // an error ends the file
    }
}

}  // namespace

std::uint32_t LePerfil(const char* secao, const char* chave, const char* padrao, char* destino,
                       std::uint32_t tamanho, const char* arquivo) {
    if (arquivo == nullptr) return perfil::Responde(secao, chave, padrao, destino, tamanho, nullptr);
    ArquivoLido a{arquivo};
    perfil::Fonte fonte{LeArquivo, &a};
    const std::uint32_t n = perfil::Responde(secao, chave, padrao, destino, tamanho, &fonte);
    if (a.fd >= 0) close(a.fd);
    return n;
}

}  // namespace plataforma
