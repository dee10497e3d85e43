#include "processo.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

using Relogio = std::chrono::steady_clock;

int Restante(Relogio::time_point prazo) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(prazo - Relogio::now()).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

struct Argv {
    std::vector<std::string> textos;
    std::vector<char*> ponteiros;
    explicit Argv(const std::vector<std::string>& t) : textos(t) {
        for (std::string& s : textos) ponteiros.push_back(s.data());
        ponteiros.push_back(nullptr);
    }
};

std::vector<std::string> Ambiente(const std::vector<std::string>& extra) {
    std::vector<std::string> todos;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        bool trocada = false;
        for (const std::string& x : extra)
            if (var.substr(0, var.find('=') + 1) == x.substr(0, x.find('=') + 1)) trocada = true;
        if (!trocada) todos.push_back(var);
    }
    todos.insert(todos.end(), extra.begin(), extra.end());
    return todos;
}

}  // namespace

Execucao Executa(const std::vector<std::string>& argv, const std::vector<std::string>& ambiente,
                 const std::string& entrada, int segundos) {
    Argv args(argv);
    Argv env(Ambiente(ambiente));
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execve(args.ponteiros[0], args.ponteiros.data(), env.ponteiros.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    if (!entrada.empty() && write(in[1], entrada.data(), entrada.size()) < 0) {
    }
    close(in[1]);

    Execucao r;
    const Relogio::time_point prazo = Relogio::now() + std::chrono::seconds(segundos);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* destinos[2] = {&r.Saida, &r.Erros};
    int abertos = 2;
    bool morto = false;
    while (abertos > 0) {
        int n = poll(fds, 2, Restante(prazo));
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) {
            kill(pid, SIGKILL);
            morto = true;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            ssize_t lidos = read(fds[i].fd, buf, sizeof buf);
            if (lidos > 0) {
                destinos[i]->append(buf, static_cast<std::size_t>(lidos));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --abertos;
            }
        }
    }
    for (pollfd& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.Codigo = !morto && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

DiretorioTemporario::DiretorioTemporario() {
    char modelo[] = "/tmp/vltx-tools-XXXXXX";
    if (mkdtemp(modelo) != nullptr) caminho_ = modelo;
}

DiretorioTemporario::~DiretorioTemporario() {
    std::error_code e;
    if (!caminho_.empty()) std::filesystem::remove_all(caminho_, e);
}

SimuladorEmExecucao::SimuladorEmExecucao(const std::string& diretorio, const std::vector<std::string>& opcoes)
    : diretorio_(diretorio), link_(diretorio + "/ecf0") {
    std::vector<std::string> argv = {VLTX_SIM_BIN, "--link", link_, "--paper", diretorio + "/papel.txt"};
    // On a TCP port there is no pseudo-terminal to link to.
    if (!opcoes.empty() && opcoes[0] == "--tcp") argv.erase(argv.begin() + 1, argv.begin() + 3);
    argv.insert(argv.end(), opcoes.begin(), opcoes.end());
    Argv args(argv);
    const std::string erros = diretorio + "/sim.err";
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        int e = open(erros.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out[1], 1);
        if (e >= 0) dup2(e, 2);
        execv(args.ponteiros[0], args.ponteiros.data());
        _exit(127);
    }
    close(out[1]);
    saida_ = out[0];
    // The first line is the slave's path, printed once the link is there.
    const Relogio::time_point prazo = Relogio::now() + std::chrono::seconds(5);
    std::string linha;
    while (linha.find('\n') == std::string::npos) {
        pollfd pf{saida_, POLLIN, 0};
        if (poll(&pf, 1, Restante(prazo)) <= 0) break;
        char buf[256];
        ssize_t n = read(saida_, buf, sizeof buf);
        if (n <= 0) break;
        linha.append(buf, static_cast<std::size_t>(n));
    }
    if (linha.find('\n') != std::string::npos) escravo_ = linha.substr(0, linha.find('\n'));
}

bool SimuladorEmExecucao::Terminou(int ms) {
    if (terminou_) return true;
    const Relogio::time_point prazo = Relogio::now() + std::chrono::milliseconds(ms);
    for (;;) {
        pollfd pf{saida_, POLLIN, 0};
        if (poll(&pf, 1, Restante(prazo)) <= 0) return false;
        char buf[256];
        if (read(saida_, buf, sizeof buf) <= 0) break;
    }
    waitpid(pid_, nullptr, 0);
    terminou_ = true;
    return true;
}

SimuladorEmExecucao::~SimuladorEmExecucao() {
    if (pid_ > 0 && !terminou_) {
        kill(pid_, SIGTERM);
        if (!Terminou(5000)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    if (saida_ >= 0) close(saida_);
}

std::string SimuladorEmExecucao::Papel() const { return LeArquivo(diretorio_ + "/papel.txt"); }
std::string SimuladorEmExecucao::Erros() const { return LeArquivo(diretorio_ + "/sim.err"); }

std::string LeArquivo(const std::string& caminho) {
    std::ifstream f(caminho, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

int Conta(const std::string& palheiro, const std::string& agulha) {
    int n = 0;
    for (std::size_t p = palheiro.find(agulha); p != std::string::npos; p = palheiro.find(agulha, p + 1)) ++n;
    return n;
}
