#include "vltx/lugar_do_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/diretorios.h"

namespace {

std::string Variavel(const char* nome) {
    const char* v = std::getenv(nome);
    return v != nullptr ? v : "";
}

// How an environment variable stands for the library: absolute, or ignored.
std::string Estado(const char* nome, bool qualquer) {
    const std::string v = Variavel(nome);
    if (v.empty()) return "$" + std::string(nome) + " is unset";
    if (!qualquer && v[0] != '/') return "$" + std::string(nome) + "=" + v + " is not an absolute path: not used";
    return "$" + std::string(nome) + "=" + v;
}

// Whether a directory can be made at caminho: its nearest existing
// ancestor must take new entries.
std::string AncestralQueBloqueia(std::string caminho) {
    while (!caminho.empty()) {
        const std::size_t barra = caminho.rfind('/');
        caminho = barra == 0 ? "/" : caminho.substr(0, barra == std::string::npos ? 0 : barra);
        struct stat st {};
        if (caminho.empty() || stat(caminho.c_str(), &st) != 0) {
            if (caminho == "/") break;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) return caminho + " is not a directory";
        if (access(caminho.c_str(), W_OK | X_OK) != 0) return caminho + " is not writable (" + std::strerror(errno) + ")";
        return "";
    }
    return "no part of the path exists";
}

}  // namespace

LugarDoLog OndeFicaOLog() {
    LugarDoLog l;
    char casa[PATH_MAX];
    const char* casaUsuario = plataforma::CasaDoUsuario(casa, sizeof casa);
    char dir[PATH_MAX];
    if (plataforma::CaminhoBase("VLTXDRV_DRIVE_C", "c", casaUsuario, dir, sizeof dir)) l.Diretorio = dir;
    l.Procurou.push_back(Estado("VLTXDRV_DRIVE_C", true));
    l.Procurou.push_back(Estado("XDG_STATE_HOME", false) + " (then $XDG_STATE_HOME/vltxdrv/c)");
    l.Procurou.push_back(Estado("HOME", false) + " (then $HOME/.local/state/vltxdrv/c)");
    l.Procurou.push_back(casaUsuario != nullptr
                             ? "the passwd entry's home " + std::string(casaUsuario) +
                                   " (then HOME/.local/state/vltxdrv/c)"
                             : "the passwd entry's home: none, or missing, or writable by others: not used");
    if (!Variavel("VLTXDRV_DRIVE_C").empty()) l.Origem = "VLTXDRV_DRIVE_C";
    else if (Variavel("XDG_STATE_HOME").rfind('/', 0) == 0) l.Origem = "XDG_STATE_HOME";
    else if (Variavel("HOME").rfind('/', 0) == 0) l.Origem = "HOME";
    else if (casaUsuario != nullptr) l.Origem = "the passwd entry's home";
    return l;
}

std::string ArquivoDoDia(const std::string& diretorio, std::time_t quando) {
    std::tm local{};
    localtime_r(&quando, &local);
    static const char* const Dias[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return diretorio + "/" + Dias[local.tm_wday % 7] + ".log";
}

std::string EscritoEmOutroDia(const std::string& arquivo, std::time_t quando) {
    struct stat st {};
    if (stat(arquivo.c_str(), &st) != 0) return "";
    std::tm escrito{}, hoje{};
    localtime_r(&st.st_mtime, &escrito);
    localtime_r(&quando, &hoje);
    if (escrito.tm_year == hoje.tm_year && escrito.tm_yday == hoje.tm_yday) return "";
    char dia[16];
    std::strftime(dia, sizeof dia, "%Y-%m-%d", &escrito);
    return dia;
}

namespace {

std::vector<std::string> Motivo(const LugarDoLog& lugar, std::time_t quando) {
    if (lugar.Diretorio.empty()) {
        std::vector<std::string> s = {"no directory for the log: the library drops every record. It looked at:"};
        for (const std::string& p : lugar.Procurou) s.push_back("  " + p);
        s.push_back("  set VLTXDRV_DRIVE_C to a writable directory (or HOME)");
        return s;
    }
    const std::string& d = lugar.Diretorio;
    const std::string origem = " (from " + lugar.Origem + ")";
    struct stat st {};
    if (stat(d.c_str(), &st) != 0) {
        const std::string bloqueio = AncestralQueBloqueia(d);
        if (bloqueio.empty()) return {};  // the library creates it on the first record
        return {"the log directory " + d + origem + " does not exist and cannot be made: " + bloqueio};
    }
    if (!S_ISDIR(st.st_mode)) return {"the log directory " + d + origem + " is not a directory"};
    if (access(d.c_str(), W_OK | X_OK) != 0)
        return {"the log directory " + d + origem + " is not writable: " + std::strerror(errno)};
    const std::string arquivo = ArquivoDoDia(d, quando);
    if (lstat(arquivo.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || st.st_nlink != 1)
            return {"the day's log " + arquivo + " is not a plain file (a link, a directory, a device, or a file "
                    "with other hard links): the library will not write it"};
        if (access(arquivo.c_str(), W_OK) != 0)
            return {"the day's log " + arquivo + " is not writable: " + std::strerror(errno)};
    }
    return {};
}

}  // namespace

std::vector<std::string> PorQueNaoGravaLog(const LugarDoLog& lugar, std::time_t quando) {
    std::vector<std::string> s = Motivo(lugar, quando);
    if (s.empty() || lugar.Diretorio.empty()) return s;
    s.push_back("  the library looks, in this order, at:");
    for (const std::string& p : lugar.Procurou) s.push_back("    " + p);
    return s;
}
