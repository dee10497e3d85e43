// vltx-sim: a fiscal printer on a pseudo-terminal. Reads each frame (its
// length known from its code through the frame table), answers as the
// printer does, streams readouts, and keeps a paper roll of what it did.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/papel.h"

// A fault drill: what the printer does wrong, and to which frames.
struct Exercicio {
    enum Tipo { Silencio, Parcial, Status, Pausa, Queda } Tipo;
    std::string Codigo;  // only frames of this command; empty: every frame
    int Byte = 0;        // Status: the byte to answer
    int Segundos = -1;   // Pausa: the pause; -1: the stream's idle limit plus 2
};

struct Opcoes {
    std::string Link;              // a symbolic link to the slave, made and removed
    std::string ArquivoPapel;      // the paper roll's file; empty: stdout
    std::string Tcp;               // HOST:PORT to serve on instead of a pseudo-terminal
    int Consultas = 2;             // status polls answered 10 after report type 1
    int Pedaco = 256;              // bytes per chunk of a stream
    int PausaMs = 150;             // pause between the chunks of a stream
    int AtrasoMs = 0;              // wait before each answer
    int LinhasLeitura = 60;        // lines of a generated fiscal readout
    int APartirDe = 1;             // the drills act from this frame on (1: the first)
    std::vector<Exercicio> Exercicios;
};

// "HOST:PORT" of --tcp into its parts ("[v6]" unbracketed); false with a message.
bool SeparaHostPorta(const std::string& endereco, std::string& host, std::string& porta, std::string& erro);
// The address a listener got, as --tcp takes it back ("[v6]:PORT").
std::string HostPorta(const char* host, const char* porta);

class Simulador {
public:
    Simulador(const Opcoes& opcoes, Papel& papel);
    ~Simulador();
    Simulador(const Simulador&) = delete;
    Simulador& operator=(const Simulador&) = delete;

    // Opens the pseudo-terminal and makes the link; false with a message.
    bool Abre(std::string& erro);
    // Listens on HOST:PORT (port 0: any free one) instead: one client at a
    // time, raw bytes. Caminho() then gives the HOST:PORT it listens on.
    bool AbreTcp(const std::string& endereco, std::string& erro);
    const std::string& Caminho() const { return caminho_; }
    // Answers frames until parar is set (by a signal, which the waits let in
    // while the caller keeps it blocked) or a drill drops the line.
    void Executa(volatile std::sig_atomic_t& parar);

private:
    enum class Leitura { Ok, Parar, Curta };
    // Reads n more bytes into the buffer within ms; -1 ms waits without end.
    Leitura Le(std::size_t n, int ms);
    bool LeQuadro(std::string& quadro);
    void Atende(const std::string& quadro);
    bool Escreve(std::string_view bytes);
    void Dorme(int ms);
    void Transmite(const std::string& dados, const Exercicio* e, int limite, std::vector<std::string>& notas);
    const Exercicio* ExercicioPara(const std::string& quadro) const;
    void Derruba();

    std::string GeraLeitura(char tipo, const std::string& inicio, const std::string& fim) const;
    std::string GeraCmc7() const;
    std::string RespostaRegistrador(int numero) const;

    const Opcoes& opcoes_;
    Papel& papel_;
    // The line is the system's (linha_posix.cpp, linha_win32.cpp): a
    // descriptor, or a Winsock SOCKET; -1 when none.
#ifdef _WIN32
    using Descritor = std::intptr_t;
#else
    using Descritor = int;
#endif
    Descritor mestre_ = -1;
    Descritor escravo_ = -1;
    Descritor ouvinte_ = -1;  // the listening socket of --tcp; mestre_ is then the client
    std::string caminho_;
    std::string entrada_;  // bytes read from the line, not yet used
    volatile std::sig_atomic_t* parar_ = nullptr;
    bool caiu_ = false;

    // The printer's own state.
    int quadros_ = 0;
    int ocupado_ = 0;  // status polls still answered 10
    bool cupomAberto_ = false;
    int cupons_ = 0;
    int itensCupom_ = 0;
    int itens_ = 0;
    int cancelados_ = 0;
    int pagamentos_ = 0;
    int leiturasX_ = 0;
    int reducoesZ_ = 0;
    int cheques_ = 0;
};
