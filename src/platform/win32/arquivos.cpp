// Files on Windows: the C runtime's low-level handles, always in binary
// mode (the driver writes its own CR LF where a text stream would), and
// drive C itself.
#include "platform/plataforma.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace plataforma {
namespace {

// Descriptors 0 to 2 may be free in a process without a console, and the
// driver takes 0 for a failure: the handle rides one above the descriptor.
Arquivo Handle(int fd) { return fd < 0 ? -1 : fd + 1; }
int Fd(Arquivo a) { return a - 1; }

// How a file of the host's or the driver's own is to be opened.
enum class Uso {
    Saida,           // created or truncated
    SaidaPrivada,    // the same, and never through a link or a second name
    LeituraEscrita,  // an existing file, read ("r+" asks for writing too)
};

// A file the use may open: a regular file on disk, not a directory, a
// device or a pipe (opening a device for writing can act on it, reading one
// never ends), not read-only (Windows refuses to open it for writing; the
// test is made here too, so that it holds for every account), and for a
// private file no link and no second name.
bool Regular(HANDLE h, bool privado) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0 &&
           (!privado || ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && info.nNumberOfLinks == 1));
}

// What stands at the path, looked at without reading or writing it, before
// anything is opened for use. Nothing there is fine for an output.
bool Aceita(const char* caminho, Uso uso) {
    const bool privado = uso == Uso::SaidaPrivada;
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (privado ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE h = CreateFileA(caminho, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return uso != Uso::LeituraEscrita && GetLastError() == ERROR_FILE_NOT_FOUND;
    const bool ok = Regular(h, privado);
    CloseHandle(h);
    return ok;
}

}  // namespace

const char* DiretorioC() { return "c:\\"; }

// The driver's own files (the log): a regular file with one name, no link.
Arquivo AbreArquivoExistente(const char* caminho) {
    if (caminho == nullptr || !Aceita(caminho, Uso::SaidaPrivada)) return -1;
    return Handle(_sopen(caminho, _O_RDWR | _O_APPEND | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE));
}

Arquivo CriaArquivo(const char* caminho, bool trunca) {
    if (caminho == nullptr || !Aceita(caminho, Uso::SaidaPrivada)) return -1;
    const int flags = _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT | (trunca ? _O_TRUNC : 0);
    return Handle(_sopen(caminho, flags, _SH_DENYNO, _S_IREAD | _S_IWRITE));
}

bool ArquivoSaidaUtilizavel(const char* caminho) {
    if (caminho == nullptr || *caminho == '\0' || !Aceita(caminho, Uso::Saida)) return false;
    if (GetFileAttributesA(caminho) != INVALID_FILE_ATTRIBUTES) return true;
    // A free name: its folder must be there.
    char pasta[MAX_PATH];
    char* nome = nullptr;
    const DWORD n = GetFullPathNameA(caminho, sizeof pasta, pasta, &nome);
    if (n == 0 || n >= sizeof pasta || nome == nullptr) return false;
    *nome = '\0';
    const DWORD atributos = GetFileAttributesA(pasta);
    return atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Arquivo CriaArquivoSaida(const char* caminho, bool exclusivo) {
    // Windows has no owner-only mode bits to set: the file takes the
    // permissions of its directory. What can be refused is refused before
    // the open, so that no device is opened for writing.
    if (caminho == nullptr || !Aceita(caminho, exclusivo ? Uso::SaidaPrivada : Uso::Saida)) return -1;
    HANDLE h = CreateFileA(caminho, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | (exclusivo ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    // Looked at again on the open handle: the path may have changed between.
    if (!Regular(h, exclusivo) || !SetEndOfFile(h)) {
        CloseHandle(h);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return -1;
    }
    return Handle(fd);
}

Arquivo AbreArquivoLeituraEscrita(const char* caminho) {
    // Opened for reading and writing, as "r+" opens it.
    if (caminho == nullptr || !Aceita(caminho, Uso::LeituraEscrita)) return -1;
    const int fd = _sopen(caminho, _O_RDWR | _O_BINARY | _O_NOINHERIT, _SH_DENYNO);
    return Handle(fd);
}

bool EscreveArquivo(Arquivo a, const void* dados, std::size_t tamanho) {
    if (a <= 0) return false;
    const auto* p = static_cast<const unsigned char*>(dados);
    while (tamanho > 0) {
        const unsigned pedaco = tamanho > 0x40000000 ? 0x40000000u : static_cast<unsigned>(tamanho);
        const int n = _write(Fd(a), p, pedaco);
        if (n <= 0) return false;
        p += n;
        tamanho -= static_cast<std::size_t>(n);
    }
    return true;
}

long LeArquivo(Arquivo a, void* destino, std::size_t tamanho) {
    if (a <= 0) return -1;
    const unsigned pedaco = tamanho > 0x40000000 ? 0x40000000u : static_cast<unsigned>(tamanho);
    return _read(Fd(a), destino, pedaco);
}

int DiaModificacao(Arquivo a) {
    struct _stat64 st {};
    if (a <= 0 || _fstat64(Fd(a), &st) != 0) return -1;
    const __time64_t quando = st.st_mtime;
    const std::tm* local = _localtime64(&quando);
    return local != nullptr ? local->tm_mday : -1;
}

bool FechaArquivo(Arquivo a) {
    if (a <= 0) return false;
    return _close(Fd(a)) == 0;
}

bool ApagaArquivo(const char* caminho) { return std::remove(caminho) == 0; }

}  // namespace plataforma
