// The test printer: on the master side of a pseudo-terminal (the driver
// opens the slave path like any serial device), or on a connected socket (a
// printer behind a network server). It reads whole frames by the frame
// table and answers each as the test says. The unit tests run it in
// process; the Windows harness runs it as impressora_pty
// (tests/windows/impressora), so a change of the protocol is made here once.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Impressora {
public:
    // What the printer answers to a frame; an empty string stays silent.
    using Resposta = std::function<std::string(const std::string& quadro)>;

    // What a descriptor carries besides data (Telnet): takes it out of
    // bytes in place, may answer on fd, and says how many data bytes remain.
    using Filtro = std::size_t (*)(int fd, char* bytes, std::size_t n);

    Impressora();
    // On a connected descriptor of the caller's (closed with the printer);
    // the background printer ends when the far end closes.
    Impressora(int fd, Filtro filtro);
    ~Impressora();
    Impressora(const Impressora&) = delete;
    Impressora& operator=(const Impressora&) = delete;

    const char* Caminho() const { return caminho_; }
    int Mestre() const { return mestre_; }

    // Answers every frame in a background thread (the default: status 0).
    void Atende(Resposta resposta);
    // Answers every frame with the same bytes.
    void AtendeCom(const std::string& bytes);
    // Cuts the first reply by a pause: ten bytes, then twenty more 250 ms
    // later; every later frame is answered 06.
    void AtendeCortandoAPrimeira();
    void Para();
    // Waits for the background printer to end (the far end closed).
    void EsperaFim();

    // Frames seen by the background printer, in order.
    std::vector<std::string> Quadros();
    std::string UltimoQuadro();

    // Direct use of the line, without the background printer.
    std::string Le(std::size_t n, int ms = 3000);
    void Envia(const std::string& bytes);
    // Closes the master: the line drops.
    void Desliga();
    // A new line in place of the old one (a new path): the printer is back.
    void Reabre();

private:
    void Abre();
    void Laco();
    std::string LeQuadro();

    int mestre_ = -1;
    int escravo_ = -1;
    char caminho_[128] = {};
    std::thread fio_;
    std::atomic<bool> parar_{false};
    std::atomic<bool> fim_{false};
    Filtro filtro_ = nullptr;
    bool adotado_ = false;
    std::mutex trava_;
    std::vector<std::string> quadros_;
    Resposta resposta_;
};

// A frame of the given bytes, written as the tests read it: header + fields.
std::string Quadro(const char* codigo, const std::string& campos = {});
// A string of n copies of c.
inline std::string Rep(std::size_t n, char c) { return std::string(n, c); }
