// The registry on Windows: the real one, and the system's own error texts.
#include "platform/plataforma.h"

namespace {
// Read before windows.h turns the name into a macro of its own.
constexpr plataforma::Chave RaizDoDriver = plataforma::HKEY_LOCAL_MACHINE;
}  // namespace

#include <windows.h>

namespace plataforma {
namespace {

HKEY Nativa(Chave c) { return c == RaizDoDriver ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(c); }
Chave DoDriver(HKEY h) { return reinterpret_cast<Chave>(h); }

// Opening "Software" asks only for creating keys under it; every level of
// the driver's own key also lets its values be read and written, which is
// all the driver does with the last one.
constexpr REGSAM DireitosSoftware = KEY_CREATE_SUB_KEY;
constexpr REGSAM DireitosNivel = KEY_CREATE_SUB_KEY | KEY_QUERY_VALUE | KEY_SET_VALUE;

}  // namespace

long RegistroAbreChave(Chave pai, const char* nome, Chave* chave) {
    HKEY h = nullptr;
    const LONG r = RegOpenKeyExA(Nativa(pai), nome, 0, DireitosSoftware, &h);
    if (r == ERROR_SUCCESS) *chave = DoDriver(h);
    return r;
}

long RegistroCriaChave(Chave pai, const char* nome, Chave* chave, std::uint32_t* disposicao) {
    HKEY h = nullptr;
    DWORD como = 0;
    char classe[] = "REG_SZ";
    const LONG r = RegCreateKeyExA(Nativa(pai), nome, 0, classe, REG_OPTION_NON_VOLATILE, DireitosNivel, nullptr, &h,
                                   &como);
    if (r == ERROR_SUCCESS) {
        *chave = DoDriver(h);
        if (disposicao != nullptr) *disposicao = como;
    }
    return r;
}

long RegistroLeValor(Chave chave, const char* nome, char* valor, std::uint32_t* tamanho) {
    DWORD bytes = *tamanho;
    const LONG r = RegQueryValueExA(Nativa(chave), nome, nullptr, nullptr, reinterpret_cast<BYTE*>(valor), &bytes);
    *tamanho = bytes;
    return r;
}

long RegistroGravaValor(Chave chave, const char* nome, const char* texto, std::uint32_t tamanho) {
    return RegSetValueExA(Nativa(chave), nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(texto), tamanho);
}

long RegistroFechaChave(Chave chave) { return RegCloseKey(Nativa(chave)); }

char* MensagemSistema(long codigo) {
    char* texto = nullptr;
    // Inserts are left as they stand: a message with %1 in it and no
    // arguments is not formatted with whatever the stack holds.
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(codigo), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&texto), 0,
        nullptr);
    if (n == 0) {
        if (texto != nullptr) LocalFree(texto);
        return nullptr;
    }
    return texto;
}

void LiberaMensagemSistema(char* mensagem) {
    if (mensagem != nullptr) LocalFree(mensagem);
}

}  // namespace plataforma
