#include "vltx/diagnostico.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/posix/trava_uucp.h"

namespace {

std::string NomeDoProcesso(long pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/comm");
    std::string nome;
    std::getline(f, nome);
    return nome.empty() ? std::to_string(pid) : std::to_string(pid) + " (" + nome + ")";
}

std::string NomeDoGrupo(gid_t gid) {
    const group* g = getgrgid(gid);
    return g != nullptr ? g->gr_name : std::to_string(gid);
}

std::string NomeDoDono(uid_t uid) {
    const passwd* p = getpwuid(uid);
    return p != nullptr ? p->pw_name : std::to_string(uid);
}

// "crw-rw----", as ls shows it.
std::string Modo(mode_t m) {
    std::string s = S_ISCHR(m) ? "c" : S_ISDIR(m) ? "d" : S_ISREG(m) ? "-" : S_ISFIFO(m) ? "p" : "?";
    const char* letras = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i) s += (m & (0400 >> i)) != 0 ? letras[i] : '-';
    return s;
}

bool NoGrupo(const Credenciais& quem, gid_t gid) {
    return quem.Gid == gid || std::find(quem.Grupos.begin(), quem.Grupos.end(), gid) != quem.Grupos.end();
}

// Listed in the group database though the process does not carry the
// group: added after this login session began.
bool ListadoNoGrupo(const std::string& usuario, gid_t gid) {
    const group* g = getgrgid(gid);
    if (g == nullptr || usuario.empty()) return false;
    for (char** m = g->gr_mem; m != nullptr && *m != nullptr; ++m)
        if (usuario == *m) return true;
    return false;
}

// Read and write, as the driver opens it, judged from the mode bits the
// way the kernel judges them (owner, else group, else others).
std::vector<std::string> Permissao(const std::string& caminho, const struct stat& st, const Credenciais& quem) {
    if (quem.Uid == 0) return {};
    const mode_t rw = quem.Uid == st.st_uid ? 0600 : NoGrupo(quem, st.st_gid) ? 0060 : 0006;
    if ((st.st_mode & rw) == rw) return {};
    const std::string grupo = NomeDoGrupo(st.st_gid);
    const std::string usuario = quem.Usuario.empty() ? "this user" : quem.Usuario;
    std::vector<std::string> linhas = {"permission denied: " + caminho + " is " + Modo(st.st_mode) + " " +
                                       NomeDoDono(st.st_uid) + ":" + grupo + ", and " + usuario +
                                       " may not read and write it"};
    if (quem.Uid != st.st_uid && !NoGrupo(quem, st.st_gid) && (st.st_mode & 0060) == 0060) {
        if (ListadoNoGrupo(quem.Usuario, st.st_gid))
            linhas.push_back("  " + usuario + " was added to the group " + grupo +
                             " after this session began: log out and in again (or run newgrp " + grupo + ")");
        else
            linhas.push_back("  hint: the group " + grupo + " may use it and " + usuario +
                             " is not in it: sudo usermod -aG " + grupo + " " + usuario + ", then log in again");
    }
    return linhas;
}

std::vector<std::string> TravaUucp(const std::string& caminho) {
    char arquivo[PATH_MAX];
    long pid = 0;
    bool emVigor = false;
    if (!plataforma::LeTravaUucp(caminho.c_str(), arquivo, sizeof arquivo, pid, emVigor) || !emVigor) return {};
    if (pid > 0)
        return {"locked: the lock file " + std::string(arquivo) + " names process " + NomeDoProcesso(pid) +
                ", which is running; the driver leaves the device to it"};
    return {"locked: " + std::string(arquivo) +
            " names no process (being written, or no regular file): the driver takes the device for busy"};
}

std::string Quem(dev_t rdev, const std::vector<std::string>& conhecidos = {}) {
    std::vector<std::string> donos = conhecidos.empty() ? QuemTemAberto(rdev) : conhecidos;
    if (donos.empty()) return " (no process this user may look into holds it: try as root, or fuser -v)";
    std::string s = ": held by";
    for (const std::string& d : donos) s += " " + d;
    return s;
}

// Opens the device as the driver does and looks at what holds it. Opening
// a real line raises its control lines for a moment, as the driver's own
// attempt did just before.
std::vector<std::string> Abertura(const std::string& caminho, const struct stat& st) {
    const int fd = open(caminho.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int erro = errno;
        if (erro == EBUSY) return {"in use: another process opened it in exclusive mode" + Quem(st.st_rdev)};
        return {"the open fails: " + std::string(std::strerror(erro)) +
                (erro == ENXIO || erro == EIO ? " (the device is gone: unplugged, or a pseudo-terminal whose other "
                                                "end closed)"
                                              : "")};
    }
    std::vector<std::string> linhas;
    if (isatty(fd) == 0) {
        linhas.push_back("not a terminal: " + caminho + " opens, but the driver drives serial lines only");
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        linhas.push_back("in use: another process holds the device's lock (flock)" +
                         Quem(st.st_rdev, QuemTemFlock(st)));
    } else {
#ifdef TIOCGEXCL
        int exclusivo = 0;
        if (ioctl(fd, TIOCGEXCL, &exclusivo) == 0 && exclusivo != 0)
            linhas.push_back("in use: another process has it in exclusive mode (TIOCEXCL)" + Quem(st.st_rdev));
#endif
    }
    close(fd);
    return linhas;
}

// The processes other than this one with the character device rdev open;
// only those /proc lets us look into.
std::vector<long> PidsComAberto(dev_t rdev) {
    std::vector<long> pids;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return pids;
    const long eu = getpid();
    while (const dirent* e = readdir(proc)) {
        char* fim = nullptr;
        const long pid = std::strtol(e->d_name, &fim, 10);
        if (pid <= 0 || *fim != '\0' || pid == eu) continue;
        const std::string dir = std::string("/proc/") + e->d_name + "/fd";
        DIR* fds = opendir(dir.c_str());
        if (fds == nullptr) continue;  // another user's process, or gone
        bool tem = false;
        while (const dirent* f = readdir(fds)) {
            struct stat st {};
            if (!tem && f->d_name[0] != '.' && stat((dir + "/" + f->d_name).c_str(), &st) == 0 &&
                S_ISCHR(st.st_mode) && st.st_rdev == rdev)
                tem = true;
        }
        closedir(fds);
        if (tem) pids.push_back(pid);
    }
    closedir(proc);
    return pids;
}

// The number of a pseudo-terminal's slave (/dev/pts/N), or -1 for another device.
int IndiceDoPty(dev_t rdev) {
    const unsigned maior = major(rdev);
    return maior >= 136 && maior <= 143 ? static_cast<int>((maior - 136) * 256 + minor(rdev)) : -1;
}

// Whether pid holds the master side of pseudo-terminal N: the other end of
// the line (a simulator, a serial-over-network daemon), not a second reader.
bool TemOMestre(long pid, int indice) {
    const std::string base = "/proc/" + std::to_string(pid);
    DIR* fds = opendir((base + "/fd").c_str());
    if (fds == nullptr) return false;
    bool tem = false;
    while (const dirent* f = readdir(fds)) {
        if (tem || f->d_name[0] == '.') continue;
        char alvo[PATH_MAX];
        const ssize_t n = readlink((base + "/fd/" + f->d_name).c_str(), alvo, sizeof alvo - 1);
        if (n <= 0) continue;
        const std::string destino(alvo, static_cast<std::size_t>(n));
        if (destino != "/dev/ptmx" && destino != "/dev/pts/ptmx") continue;
        // The kernel names the master's slave in fdinfo; without it, any master counts.
        std::ifstream info(base + "/fdinfo/" + f->d_name);
        bool nomeado = false;
        for (std::string linha; std::getline(info, linha);)
            if (linha.rfind("tty-index:", 0) == 0) {
                nomeado = true;
                tem = std::strtol(linha.c_str() + 10, nullptr, 10) == indice;
            }
        if (!nomeado) tem = true;
    }
    closedir(fds);
    return tem;
}

}  // namespace

Credenciais CredenciaisDoProcesso() {
    Credenciais c;
    c.Uid = geteuid();
    c.Gid = getegid();
    const int n = getgroups(0, nullptr);
    if (n > 0) {
        c.Grupos.resize(static_cast<std::size_t>(n));
        c.Grupos.resize(static_cast<std::size_t>(std::max(0, getgroups(n, c.Grupos.data()))));
    }
    if (const passwd* p = getpwuid(c.Uid)) c.Usuario = p->pw_name;
    return c;
}

std::vector<std::string> QuemTemAberto(dev_t rdev) {
    std::vector<std::string> donos;
    for (long pid : PidsComAberto(rdev)) donos.push_back(NomeDoProcesso(pid));
    return donos;
}

std::vector<std::string> OutrosComADispositivoAberta(const std::string& caminho) {
    struct stat st {};
    if (stat(caminho.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    std::vector<std::string> outros;
    const int pty = IndiceDoPty(st.st_rdev);
    for (long pid : PidsComAberto(st.st_rdev))
        if (pty < 0 || !TemOMestre(pid, pty)) outros.push_back(NomeDoProcesso(pid));
    return outros;
}

std::vector<std::string> QuemTemFlock(const struct stat& st) {
    // "1: FLOCK  ADVISORY  WRITE 10375 fe:00:10953024 0 EOF"; a waiter's line has "->".
    std::vector<std::string> donos;
    std::ifstream f("/proc/locks");
    char marca[32];
    std::snprintf(marca, sizeof marca, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    for (std::string linha; std::getline(f, linha);) {
        std::istringstream campos(linha);
        std::string numero, tipo, modo, acesso, pid, arquivo;
        campos >> numero >> tipo >> modo >> acesso >> pid >> arquivo;
        if (tipo == "FLOCK" && arquivo == marca) donos.push_back(NomeDoProcesso(std::strtol(pid.c_str(), nullptr, 10)));
    }
    return donos;
}

std::vector<std::string> PorQueNaoAbre(const std::string& caminho, const Credenciais& quem) {
    struct stat st {};
    if (stat(caminho.c_str(), &st) != 0) {
        const int erro = errno;
        char alvo[PATH_MAX];
        const ssize_t n = readlink(caminho.c_str(), alvo, sizeof alvo - 1);
        if (erro == ENOENT && n > 0)
            return {"no such device: " + caminho + " is a link to " + std::string(alvo, static_cast<std::size_t>(n)) +
                    ", which does not exist (a simulator or adapter that went away)"};
        if (erro == ENOENT) return {"no such device: " + caminho + " does not exist"};
        return {"cannot look at " + caminho + ": " + std::strerror(erro)};
    }
    if (std::vector<std::string> trava = TravaUucp(caminho); !trava.empty()) return trava;
    if (std::vector<std::string> p = Permissao(caminho, st, quem); !p.empty()) return p;
    if (!S_ISCHR(st.st_mode))
        return {"not a device: " + caminho + " is " + (S_ISDIR(st.st_mode) ? "a directory" : "no character device") +
                "; the driver drives serial lines only"};
    return Abertura(caminho, st);
}
