// The registry on POSIX: a settings store in a directory. Keys are
// directories, values are files holding their text, each written whole
// through a temporary file, fsync and rename so a power cut never leaves a
// torn value.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plataforma.h"
#include "platform/posix/diretorios.h"
#include "platform/posix/escrita.h"

namespace plataforma {
namespace {

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_BAD_PATHNAME = 161;
constexpr long ERROR_MORE_DATA = 234;

constexpr int MaxChaves = 16;
char chaves[MaxChaves][PATH_MAX];
bool emUso[MaxChaves];

const char* Raiz() {
    static char raiz[PATH_MAX];
    DiretorioBase("VLTXDRV_REGISTRY", "registry", raiz, sizeof raiz - 64);
    std::size_t n = std::strlen(raiz);
    std::snprintf(raiz + n, sizeof raiz - n, "/HKEY_LOCAL_MACHINE");
    mkdir(raiz, 0700);
    // Like every Windows machine, the store always has HKEY_LOCAL_MACHINE\Software.
    char software[PATH_MAX];
    std::snprintf(software, sizeof software, "%s/Software", raiz);
    mkdir(software, 0700);
    return raiz;
}

const char* CaminhoDe(Chave c) {
    if (c == HKEY_LOCAL_MACHINE) return Raiz();
    if (c < 2 || c >= MaxChaves + 2 || !emUso[c - 2]) return nullptr;
    return chaves[c - 2];
}

bool NomeValido(const char* nome) {
    return nome != nullptr && *nome != '\0' && std::strchr(nome, '/') == nullptr && std::strcmp(nome, ".") != 0 &&
           std::strcmp(nome, "..") != 0;
}

long Guarda(const char* caminho, Chave* chave) {
    for (int i = 0; i < MaxChaves; ++i) {
        if (emUso[i]) continue;
        std::snprintf(chaves[i], sizeof chaves[i], "%s", caminho);
        emUso[i] = true;
        *chave = i + 2;
        return ERROR_SUCCESS;
    }
    return ERROR_ACCESS_DENIED;
}

long ErroDe(int e) { return e == ENOENT || e == ENOTDIR ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED; }

}  // namespace

long RegistroAbreChave(Chave pai, const char* nome, Chave* chave) {
    const char* base = CaminhoDe(pai);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if (!NomeValido(nome)) return ERROR_BAD_PATHNAME;
    char caminho[PATH_MAX];
    std::snprintf(caminho, sizeof caminho, "%s/%s", base, nome);
    struct stat st {};
    if (stat(caminho, &st) != 0) return ErroDe(errno);
    if (!S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return Guarda(caminho, chave);
}

long RegistroCriaChave(Chave pai, const char* nome, Chave* chave, std::uint32_t* disposicao) {
    const char* base = CaminhoDe(pai);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if (!NomeValido(nome)) return ERROR_BAD_PATHNAME;
    char caminho[PATH_MAX];
    std::snprintf(caminho, sizeof caminho, "%s/%s", base, nome);
    std::uint32_t como = REG_CREATED_NEW_KEY;
    if (mkdir(caminho, 0700) != 0) {
        struct stat st {};
        if (errno != EEXIST || stat(caminho, &st) != 0 || !S_ISDIR(st.st_mode)) return ErroDe(errno);
        como = REG_OPENED_EXISTING_KEY;
    }
    if (disposicao != nullptr) *disposicao = como;
    return Guarda(caminho, chave);
}

long RegistroLeValor(Chave chave, const char* nome, char* valor, std::uint32_t* tamanho) {
    const char* base = CaminhoDe(chave);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if (!NomeValido(nome)) return ERROR_FILE_NOT_FOUND;
    char caminho[PATH_MAX];
    std::snprintf(caminho, sizeof caminho, "%s/%s", base, nome);
    // A value is a regular file of the store's own: no link is followed, and
    // a FIFO or a device planted there can neither block nor feed the read.
    int fd = open(caminho, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno == ELOOP ? ERROR_ACCESS_DENIED : ErroDe(errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        close(fd);
        return ERROR_ACCESS_DENIED;
    }
    char texto[4096];
    ssize_t n = read(fd, texto, sizeof texto - 1);
    close(fd);
    if (n < 0) return ERROR_ACCESS_DENIED;
    // The file holds the text; the value is that text and its NUL.
    std::uint32_t precisa = static_cast<std::uint32_t>(n) + 1;
    std::uint32_t cabe = *tamanho;
    *tamanho = precisa;
    if (precisa > cabe) return ERROR_MORE_DATA;
    std::memcpy(valor, texto, static_cast<std::size_t>(n));
    valor[n] = '\0';
    return ERROR_SUCCESS;
}

long RegistroGravaValor(Chave chave, const char* nome, const char* texto, std::uint32_t tamanho) {
    const char* base = CaminhoDe(chave);
    if (base == nullptr) return ERROR_INVALID_HANDLE;
    if (!NomeValido(nome)) return ERROR_BAD_PATHNAME;
    char caminho[PATH_MAX], temporario[PATH_MAX];
    std::snprintf(caminho, sizeof caminho, "%s/%s", base, nome);
    // A fresh temporary of a name nobody can guess, created exclusively:
    // nothing planted in advance is written through or renamed over the value.
    std::snprintf(temporario, sizeof temporario, "%s/.%s.XXXXXX", base, nome);
    std::size_t n = tamanho > 0 ? strnlen(texto, tamanho) : 0;
    int fd = mkostemp(temporario, O_CLOEXEC);
    if (fd < 0) return ERROR_ACCESS_DENIED;
    bool ok = escrita::EscreveTudo(fd, texto, n) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporario, caminho) != 0) {
        unlink(temporario);
        return ERROR_ACCESS_DENIED;
    }
    int dir = open(base, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return ERROR_SUCCESS;
}

long RegistroFechaChave(Chave chave) {
    if (chave == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    if (chave < 2 || chave >= MaxChaves + 2 || !emUso[chave - 2]) return ERROR_INVALID_HANDLE;
    emUso[chave - 2] = false;
    return ERROR_SUCCESS;
}

char* MensagemSistema(long codigo) {
    static char arquivoNaoEncontrado[] = "The system cannot find the file specified.";
    static char acessoNegado[] = "Access is denied.";
    static char handleInvalido[] = "The handle is invalid.";
    static char caminhoInvalido[] = "The specified path is invalid.";
    static char maisDados[] = "More data is available.";
    switch (codigo) {
        case ERROR_FILE_NOT_FOUND: return arquivoNaoEncontrado;
        case ERROR_ACCESS_DENIED: return acessoNegado;
        case ERROR_INVALID_HANDLE: return handleInvalido;
        case ERROR_BAD_PATHNAME: return caminhoInvalido;
        case ERROR_MORE_DATA: return maisDados;
        default: return nullptr;
    }
}

void LiberaMensagemSistema(char*) {}

}  // namespace plataforma
