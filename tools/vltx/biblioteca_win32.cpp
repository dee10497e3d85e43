#include "vltx/biblioteca.h"

#include <io.h>
#include <windows.h>

#include <cstdio>

namespace {

std::string DiretorioDoPrograma() {
    char caminho[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, caminho, sizeof caminho);
    if (n == 0 || n == sizeof caminho) return ".";
    std::string s(caminho, n);
    return s.substr(0, s.find_last_of("\\/"));
}

std::string TextoDoErro(DWORD codigo) {
    char texto[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, codigo, 0, texto,
                   sizeof texto, nullptr);
    std::string s = texto;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s + " (error " + std::to_string(codigo) + ")";
}

}  // namespace

void* AbreBiblioteca(const std::string& caminho, std::string& erro) {
    HMODULE lib = LoadLibraryA(caminho.c_str());
    if (lib == nullptr) erro = caminho + ": " + TextoDoErro(GetLastError());
    return reinterpret_cast<void*>(lib);
}

void* SimboloDe(void* biblioteca, const char* nome) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(biblioteca), nome));
}

void FechaBiblioteca(void* biblioteca) { FreeLibrary(static_cast<HMODULE>(biblioteca)); }

// vltxdrv.dll beside vltx.exe (as the kit puts them), then the loader's search.
std::vector<std::string> CandidatosBiblioteca() {
    std::vector<std::string> candidatos;
    const std::string aqui = DiretorioDoPrograma() + "\\vltxdrv.dll";
    if (GetFileAttributesA(aqui.c_str()) != INVALID_FILE_ATTRIBUTES) candidatos.push_back(aqui);
    candidatos.push_back("vltxdrv.dll");
    return candidatos;
}

bool SaidaEhTerminal() { return _isatty(_fileno(stdout)) != 0; }

bool ExisteArquivo(const std::string& caminho) {
    return GetFileAttributesA(caminho.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// A port name the driver hands to CreateFileA: what the system says of it.
std::vector<std::string> CausasDaFalha(const std::string& porta) {
    if (porta.rfind("socket://", 0) == 0 || porta.rfind("rfc2217://", 0) == 0)
        return {"nothing accepted a connection at " + porta + " within 3 s, or the name is malformed "
                "(HOST:PORT, the port 1 to 65535)"};
    HANDLE h = CreateFileA(porta.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return {};
    }
    const DWORD erro = GetLastError();
    std::vector<std::string> causas{porta + ": " + TextoDoErro(erro)};
    if (erro == ERROR_FILE_NOT_FOUND || erro == ERROR_PATH_NOT_FOUND)
        causas.push_back("no such port: COM1 to COM9 by name, from COM10 on as \\\\.\\COM10");
    if (erro == ERROR_ACCESS_DENIED || erro == ERROR_SHARING_VIOLATION)
        causas.push_back("another program holds the port: a port opens for one program at a time");
    return causas;
}

}  // namespace

std::vector<std::string> Avisos(std::string_view exportacao, const std::vector<std::string>& argumentos, int valor) {
    if (exportacao == "ecf_InicializaDLL" && valor == 3) return CausasDaFalha(argumentos[0]);
    return {};
}
