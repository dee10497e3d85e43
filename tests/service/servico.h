// vltxd as its tests run it: simulators on pseudo-terminals or TCP ports,
// the service on a free loopback port with its state in a fresh directory,
// and a small HTTP client.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "processo.h"

struct Resposta {
    int Status = 0;  // 0: no answer
    std::string Cabecalhos;
    std::string Corpo;
    nlohmann::json Json() const { return nlohmann::json::parse(Corpo, nullptr, false); }
    std::string Cabecalho(const std::string& nome) const;
};

// One request on a connection of its own; the raw bytes when given.
Resposta Pede(int porta, const std::string& metodo, const std::string& caminho, const std::string& corpo = {},
              const std::vector<std::string>& cabecalhos = {});

// The events stream, read by a thread of its own.
class Eventos {
public:
    explicit Eventos(int porta, const std::string& cabecalho = {}, const std::string& caminho = "/events");
    ~Eventos();
    // Waits up to ms for an event for which pred holds; returns it (null when none).
    template <class P>
    nlohmann::json Espera(P pred, int ms = 20000);
    std::vector<nlohmann::json> Todos();

private:
    int fd_ = -1;
    std::thread fio_;
    std::mutex trava_;
    std::vector<nlohmann::json> eventos_;
};

struct Impressora {
    std::string Id;
    std::string Porta;     // filled by the harness: the pty's link, or socket://...
    std::string Extra;     // TOML lines added to the [[printer]] table
};

class Servico {
public:
    explicit Servico(const std::string& diretorio) : dir_(diretorio) {}
    ~Servico();
    // Writes the configuration (listen on a free port unless given) and starts vltxd.
    // programa: what runs in place of vltxd (a wrapper that then runs it).
    bool Inicia(const std::vector<Impressora>& impressoras, const std::string& extra = {},
                const std::string& programa = VLTXD_BIN);
    // Starts it again with the same configuration and state.
    bool Reinicia();
    void Mata(int sinal);
    // Waits until every printer's worker is ready.
    bool Prontas(int ms = 15000);
    int Porta() const { return porta_; }
    pid_t Pid() const { return pid_; }
    std::string Erros() const;
    std::string Configuracao() const { return dir_ + "/vltxd.toml"; }
    std::string Estado() const { return dir_ + "/state"; }
    std::vector<std::string> Ambiente;  // NAME=value for vltxd's environment
    bool EsperaProntas = true;  // Inicia waits for every printer's worker to be ready
    std::string Autorizacao;  // a header every request of the harness sends, when set
    Resposta Recibo(const std::string& impressora, const nlohmann::json& corpo, const std::string& chave,
                    const std::string& espera = "30000");

private:
    std::string dir_;
    pid_t pid_ = -1;
    int porta_ = 0;
    int inicios_ = 0;
    std::string programa_ = VLTXD_BIN;
    std::vector<std::string> ids_;
};

// vltx-sim in a directory of its own (made here), with the options given.
std::unique_ptr<SimuladorEmExecucao> SimuladorEm(const std::string& diretorio, const std::vector<std::string>& opcoes);
// Polls GET /printers/ID until its worker is in the state; returns the last answer.
nlohmann::json EsperaImpressora(int porta, const std::string& id, const std::string& estado, int ms = 10000);

// A receipt of every kind of step.
nlohmann::json ReciboCompleto();
// Polls GET /tasks/ID until pred holds on it; returns the last answer.
template <class P>
nlohmann::json EsperaTarefa(int porta, const std::string& id, P pred, int ms = 20000);

#include "servico_impl.h"
