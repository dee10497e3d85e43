#include "servico.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/loopback.h"

using nlohmann::json;

std::string Resposta::Cabecalho(const std::string& nome) const {
    auto minusculas = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    const std::string todos = minusculas(Cabecalhos), procurado = "\r\n" + minusculas(nome) + ": ";
    const std::size_t p = todos.find(procurado);
    if (p == std::string::npos) return {};
    const std::size_t inicio = p + procurado.size();
    return Cabecalhos.substr(inicio, Cabecalhos.find("\r\n", inicio) - inicio);
}

namespace {

bool EnviaTudo(int fd, const std::string& s) {
    std::size_t off = 0;
    while (off < s.size()) {
        const ssize_t n = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
        if (n <= 0) return false;
        off += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

Resposta Pede(int porta, const std::string& metodo, const std::string& caminho, const std::string& corpo,
              const std::vector<std::string>& cabecalhos) {
    Resposta r;
    const int fd = ConectaLoopback(porta);
    if (fd < 0) return r;
    std::string req = metodo + " " + caminho + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    bool tipo = false;
    for (const std::string& c : cabecalhos) {
        req += c + "\r\n";
        tipo = tipo || c.rfind("Content-Type:", 0) == 0;
    }
    if (!corpo.empty() || metodo == "POST") {
        if (!tipo) req += "Content-Type: application/json\r\n";
        req += "Content-Length: " + std::to_string(corpo.size()) + "\r\n";
    }
    req += "\r\n" + corpo;
    EnviaTudo(fd, req);
    std::string tudo;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        tudo.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    const std::size_t fim = tudo.find("\r\n\r\n");
    if (tudo.rfind("HTTP/1.1 ", 0) != 0 || fim == std::string::npos) return r;
    r.Status = std::stoi(tudo.substr(9, 3));
    r.Cabecalhos = tudo.substr(0, fim + 2);
    r.Corpo = tudo.substr(fim + 4);
    return r;
}

Eventos::Eventos(int porta, const std::string& cabecalho, const std::string& caminho) {
    fd_ = ConectaLoopback(porta);
    EnviaTudo(fd_, "GET " + caminho + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + cabecalho + "\r\n");
    // The stream is open once its first comment has come: every event
    // after this one reaches us.
    std::string inicio;
    char buf[65536];
    while (inicio.find("vltxd events\n\n") == std::string::npos) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        const ssize_t n = recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) break;
        inicio.append(buf, static_cast<std::size_t>(n));
    }
    const std::size_t fim = inicio.find("vltxd events\n\n");
    std::string resto = fim == std::string::npos ? std::string() : inicio.substr(fim + 14);
    fio_ = std::thread([this, resto]() mutable {
        char b[65536];
        for (;;) {
            std::size_t p;
            while ((p = resto.find("\n\n")) != std::string::npos) {
                const std::string bloco = resto.substr(0, p);
                resto.erase(0, p + 2);
                const std::size_t d = bloco.find("data: ");
                if (d == std::string::npos) continue;
                json e = json::parse(bloco.substr(d + 6), nullptr, false);
                std::lock_guard<std::mutex> g(trava_);
                eventos_.push_back(e);
            }
            const ssize_t n = recv(fd_, b, sizeof b, 0);
            if (n <= 0) return;
            resto.append(b, static_cast<std::size_t>(n));
        }
    });
}

Eventos::~Eventos() {
    shutdown(fd_, SHUT_RDWR);
    fio_.join();
    close(fd_);
}

std::vector<json> Eventos::Todos() {
    std::lock_guard<std::mutex> g(trava_);
    return eventos_;
}

Servico::~Servico() { Mata(SIGTERM); }

bool Servico::Inicia(const std::vector<Impressora>& impressoras, const std::string& extra, const std::string& programa) {
    programa_ = programa;
    porta_ = PortaLivre();
    std::ofstream c(Configuracao());
    c << "listen = \"127.0.0.1:" << porta_ << "\"\nstate_dir = \"" << Estado() << "\"\n"
      << "library = \"" << VLTXDRV_SO << "\"\nrestart_min_ms = 100\nreopen_ms = 200\n" << extra << "\n";
    ids_.clear();
    for (const Impressora& i : impressoras) {
        c << "[[printer]]\nid = \"" << i.Id << "\"\nport = \"" << i.Porta << "\"\n" << i.Extra << "\n";
        ids_.push_back(i.Id);
    }
    c.close();
    return Reinicia();
}

bool Servico::Reinicia() {
    Mata(SIGTERM);
    const std::string erros = dir_ + "/vltxd.err";
    pid_ = fork();
    if (pid_ == 0) {
        int e = open(erros.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (e >= 0) dup2(e, 2);
        for (const std::string& a : Ambiente) putenv(const_cast<char*>(a.c_str()));
        execl(programa_.c_str(), programa_.c_str(), "--config", Configuracao().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ++inicios_;
    // Listening once the port answers.
    const auto fim = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < fim) {
        const int fd = ConectaLoopback(porta_);
        if (fd >= 0) {
            close(fd);
            return !EsperaProntas || Prontas();
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool Servico::Prontas(int ms) {
    const auto fim = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < fim) {
        json j = Pede(porta_, "GET", "/printers", "", Autorizacao.empty() ? std::vector<std::string>{} : std::vector<std::string>{Autorizacao}).Json();
        bool todas = !j.is_discarded() && j.contains("printers");
        if (todas)
            for (const json& p : j["printers"]) todas = todas && p.value("worker", "") == "ready";
        if (todas) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void Servico::Mata(int sinal) {
    if (pid_ <= 0) return;
    kill(pid_, sinal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string Servico::Erros() const { return LeArquivo(dir_ + "/vltxd.err"); }

Resposta Servico::Recibo(const std::string& impressora, const json& corpo, const std::string& chave,
                         const std::string& espera) {
    return Pede(porta_, "POST", "/printers/" + impressora + "/receipt?wait=" + espera, corpo.dump(),
                {"Idempotency-Key: " + chave});
}

std::unique_ptr<SimuladorEmExecucao> SimuladorEm(const std::string& diretorio, const std::vector<std::string>& opcoes) {
    mkdir(diretorio.c_str(), 0700);
    auto s = std::make_unique<SimuladorEmExecucao>(diretorio, opcoes);
    EXPECT_FALSE(s->Escravo().empty()) << s->Erros();
    return s;
}

json EsperaImpressora(int porta, const std::string& id, const std::string& estado, int ms) {
    json p;
    const auto fim = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < fim) {
        p = Pede(porta, "GET", "/printers/" + id).Json();
        if (!p.is_discarded() && p["worker"] == estado) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return p;
}

json ReciboCompleto() {
    return json::parse(R"({
      "items": [
        {"code": "7891234567895", "description": "CAFE 500G", "quantity": "1000", "price": "1590",
         "tax": "T1", "unit": "UN", "decimals": "2",
         "discount": {"type": "D", "description": "DESC CAFE", "value": "100"}},
        {"code": "7896005800010", "description": "LEITE 1L", "quantity": "2000", "price": "459",
         "tax": "T2", "unit": "UN", "decimals": "2"}
      ],
      "subtotal": {"kind": "discount", "description": "DESC SUB", "value": "50"},
      "buyer": {"name": "MARIA DE SOUZA", "type": "F", "document": "12345678909",
                "address1": "RUA DAS FLORES, 100", "address2": "SAO PAULO - SP"},
      "payments": [{"form": "01", "description": "DINHEIRO", "value": "2000"},
                   {"form": "02", "description": "CARTAO", "value": "358"}],
      "advertising": ["VOLTE SEMPRE"],
      "operator": "CAIXA01"
    })");
}
