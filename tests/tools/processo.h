// Running the tools as a user does: vltx to its end, vltx-sim in the
// background with its link and paper roll in a test's own directory.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct Execucao {
    int Codigo = -1;  // exit status; -1 when killed at the deadline
    std::string Saida;
    std::string Erros;
};

// Runs argv with the environment plus ambiente ("NAME=value"), feeding
// entrada on standard input; kills it after segundos.
Execucao Executa(const std::vector<std::string>& argv, const std::vector<std::string>& ambiente = {},
                 const std::string& entrada = {}, int segundos = 30);

// A fresh directory under /tmp, removed with everything in it.
class DiretorioTemporario {
public:
    DiretorioTemporario();
    ~DiretorioTemporario();
    const std::string& Caminho() const { return caminho_; }

private:
    std::string caminho_;
};

// vltx-sim --link DIR/ecf0 --paper DIR/papel.txt, plus the options given.
class SimuladorEmExecucao {
public:
    SimuladorEmExecucao(const std::string& diretorio, const std::vector<std::string>& opcoes = {});
    ~SimuladorEmExecucao();
    SimuladorEmExecucao(const SimuladorEmExecucao&) = delete;
    SimuladorEmExecucao& operator=(const SimuladorEmExecucao&) = delete;

    const std::string& Link() const { return link_; }
    // The slave's path as the simulator printed it; empty when it did not start.
    const std::string& Escravo() const { return escravo_; }
    std::string Papel() const;
    std::string Erros() const;
    // Waits up to ms for the simulator to exit on its own.
    bool Terminou(int ms);

private:
    std::string diretorio_;
    std::string link_;
    std::string escravo_;
    pid_t pid_ = -1;
    int saida_ = -1;
    bool terminou_ = false;
};

std::string LeArquivo(const std::string& caminho);
// How many times agulha occurs in palheiro.
int Conta(const std::string& palheiro, const std::string& agulha);
