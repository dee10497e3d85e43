// What the fuzz targets share: a private scratch directory, on tmpfs when
// the machine has one, removed with everything in it when the run ends.
#pragma once

#include <dirent.h>
#include <ftw.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

namespace detalhe {
inline std::string& Raiz() {
    static std::string raiz;
    return raiz;
}
inline int ApagaEntrada(const char* caminho, const struct stat*, int, struct FTW*) { return remove(caminho); }
inline void Apaga(const std::string& dir) { nftw(dir.c_str(), ApagaEntrada, 16, FTW_DEPTH | FTW_PHYS); }
inline void ApagaRaiz() {
    if (!Raiz().empty()) Apaga(Raiz());
}
constexpr const char* Prefixo = "vltxdrv-fuzz-";

// A run that stops at a crash leaves its directory (no exit handler runs):
// the next run removes those whose process is gone.
inline void ApagaOrfaos(const std::string& base) {
    DIR* d = opendir(base.c_str());
    if (d == nullptr) return;
    const std::string prefixo = Prefixo;
    while (const dirent* e = readdir(d)) {
        const std::string nome = e->d_name;
        if (nome.compare(0, prefixo.size(), prefixo) != 0) continue;
        char* fim = nullptr;
        const long pid = std::strtol(nome.c_str() + prefixo.size(), &fim, 10);
        if (pid <= 0 || fim == nullptr || *fim != '-') continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) Apaga(base + "/" + nome);
    }
    closedir(d);
}
}  // namespace detalhe

// The run's own directory (made on the first call); aborts when none can be made,
// since a target without it would test nothing.
inline const std::string& DiretorioPrivado() {
    std::string& raiz = detalhe::Raiz();
    if (!raiz.empty()) return raiz;
    std::string bases[3];
    int n = 0;
    if (access("/dev/shm", W_OK) == 0) bases[n++] = "/dev/shm";
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0') bases[n++] = t;
    bases[n++] = "/tmp";
    for (int i = 0; i < n && raiz.empty(); ++i) {
        detalhe::ApagaOrfaos(bases[i]);
        std::string modelo = bases[i] + "/" + detalhe::Prefixo + std::to_string(getpid()) + "-XXXXXX";
        if (mkdtemp(modelo.data()) != nullptr) raiz = modelo;
    }
    if (raiz.empty()) {
        std::perror("vltxdrv fuzz: no scratch directory");
        std::abort();
    }
    std::atexit(detalhe::ApagaRaiz);
    return raiz;
}

// Writes bytes to a file of the scratch directory, replacing what it held.
inline void GravaArquivo(const std::string& caminho, const void* dados, std::size_t tamanho) {
    std::FILE* f = std::fopen(caminho.c_str(), "wb");
    if (f == nullptr || (tamanho > 0 && std::fwrite(dados, 1, tamanho, f) != tamanho) || std::fclose(f) != 0) {
        std::perror(caminho.c_str());
        std::abort();
    }
}

// Cuts the next NUL-terminated piece off the front of the input: the bytes up
// to the first NUL (or all of them), the NUL dropped.
inline std::string Corta(const unsigned char*& dados, std::size_t& tamanho) {
    std::size_t n = 0;
    while (n < tamanho && dados[n] != 0) ++n;
    std::string pedaco(reinterpret_cast<const char*>(dados), n);
    const std::size_t consumidos = n < tamanho ? n + 1 : n;
    dados += consumidos;
    tamanho -= consumidos;
    return pedaco;
}

}  // namespace fuzz
