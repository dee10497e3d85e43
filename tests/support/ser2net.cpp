#include "support/ser2net.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "support/loopback.h"

extern char** environ;

namespace {

bool Escuta(int porta) {
    const int fd = ConectaLoopback(porta);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

}  // namespace

Ser2net::Ser2net(const char* dispositivo, Modo modo, bool recusaOcupada) : modo_(modo), recusaOcupada_(recusaOcupada) {
    char modelo[] = "/tmp/vltxdrv-ser2net-XXXXXX";
    if (mkdtemp(modelo) == nullptr) throw std::runtime_error("mkdtemp");
    dir_ = modelo;
    porta_ = PortaLivre();
    url_ = std::string(modo == Raw ? "socket://" : "rfc2217://") + "127.0.0.1:" + std::to_string(porta_);
    Inicia(dispositivo);
}

Ser2net::~Ser2net() {
    Mata();
    std::error_code e;
    std::filesystem::remove_all(dir_, e);
}

// ser2net 4 reads YAML; "local" ignores the modem lines, and a new client
// takes the port from one that is still going away.
void Ser2net::Inicia(const char* dispositivo) {
    Mata();
    const std::string config = dir_ + "/ser2net.yaml";
    std::ofstream(config) << "connection: &impressora\n"
                          << "  accepter: " << (modo_ == Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1,"
                          << porta_ << "\n"
                          << "  connector: serialdev," << dispositivo << ",9600n81,local\n"
                          << "  options:\n"
                          << "    kickolduser: " << (recusaOcupada_ ? "false" : "true") << "\n";
    const std::string pid = dir_ + "/ser2net.pid";
    const std::string saida = dir_ + "/ser2net.out";
    // -n: stay in the foreground; -u: the printer's pty takes no UUCP lock.
    const char* argv[] = {"ser2net", "-n", "-u", "-c", config.c_str(), "-P", pid.c_str(), nullptr};
    posix_spawn_file_actions_t acoes;
    posix_spawn_file_actions_init(&acoes);
    posix_spawn_file_actions_addopen(&acoes, 1, saida.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&acoes, 1, 2);
    const int r = posix_spawnp(&pid_, "ser2net", &acoes, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&acoes);
    if (r != 0) throw std::runtime_error("ser2net cannot be started (apt-get install ser2net)");
    const auto fim = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!Escuta(porta_)) {
        int estado = 0;
        if (waitpid(pid_, &estado, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("ser2net exited at start (" + saida + ")");
        }
        if (std::chrono::steady_clock::now() > fim) throw std::runtime_error("ser2net does not listen");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Ser2net::Mata() {
    if (pid_ < 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
