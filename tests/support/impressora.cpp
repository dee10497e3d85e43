#include "support/impressora.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

#include "driver/comandos.h"

Impressora::Impressora() { Abre(); }

Impressora::Impressora(int fd, Filtro filtro) : mestre_(fd), filtro_(filtro), adotado_(true) {}

void Impressora::EsperaFim() {
    if (fio_.joinable()) fio_.join();
}

void Impressora::Reabre() {
    Para();
    if (mestre_ >= 0) close(mestre_);
    if (escravo_ >= 0) close(escravo_);
    mestre_ = escravo_ = -1;
    Abre();
}

void Impressora::Abre() {
    if (openpty(&mestre_, &escravo_, caminho_, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    termios t{};
    tcgetattr(mestre_, &t);
    cfmakeraw(&t);
    tcsetattr(mestre_, TCSANOW, &t);
    // The slave stays open here so the line does not hang up between opens.
}

Impressora::~Impressora() {
    Para();
    if (mestre_ >= 0) close(mestre_);
    if (escravo_ >= 0) close(escravo_);
}

void Impressora::Atende(Resposta resposta) {
    Para();
    resposta_ = std::move(resposta);
    parar_ = false;
    fio_ = std::thread([this] { Laco(); });
}

void Impressora::AtendeCom(const std::string& bytes) {
    Atende([bytes](const std::string&) { return bytes; });
}

void Impressora::AtendeCortandoAPrimeira() {
    auto quadros = std::make_shared<int>(0);
    Atende([this, quadros](const std::string&) -> std::string {
        if ((*quadros)++ > 0) return "\x06";
        Envia(std::string(10, 'a'));
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return std::string(20, 'b');
    });
}

void Impressora::Para() {
    parar_ = true;
    if (fio_.joinable()) fio_.join();
}

std::vector<std::string> Impressora::Quadros() {
    std::lock_guard<std::mutex> g(trava_);
    return quadros_;
}

std::string Impressora::UltimoQuadro() {
    std::lock_guard<std::mutex> g(trava_);
    return quadros_.empty() ? std::string() : quadros_.back();
}

std::string Impressora::Le(std::size_t n, int ms) {
    std::string lido;
    auto fim = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (lido.size() < n) {
        auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(fim - std::chrono::steady_clock::now());
        if (resta.count() <= 0) break;
        pollfd pf{mestre_, POLLIN, 0};
        if (poll(&pf, 1, static_cast<int>(resta.count())) <= 0) continue;
        char buf[1024];
        ssize_t r = read(mestre_, buf, std::min(sizeof buf, n - lido.size()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (adotado_) fim_ = true;  // the far end closed (a pseudo-terminal's slave stays open here)
            break;
        }
        std::size_t dados = static_cast<std::size_t>(r);
        if (filtro_ != nullptr) dados = filtro_(mestre_, buf, dados);
        lido.append(buf, dados);
    }
    return lido;
}

void Impressora::Envia(const std::string& bytes) {
    std::size_t feito = 0;
    while (feito < bytes.size()) {
        ssize_t r = write(mestre_, bytes.data() + feito, bytes.size() - feito);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;
        feito += static_cast<std::size_t>(r);
    }
}

void Impressora::Desliga() {
    Para();
    if (mestre_ >= 0) close(mestre_);
    mestre_ = -1;
}

// One frame: the header names the command, the table its length. The cheque
// has two lengths: the longer one is whatever follows without a pause.
std::string Impressora::LeQuadro() {
    std::string quadro = Le(4, 100);
    if (quadro.size() < 4) return quadro;
    const Comando* c = ComandoPorCodigo(quadro.c_str() + 2);
    std::size_t tamanho = c != nullptr ? c->TamanhoQuadro : 4;
    quadro += Le(tamanho - 4, 2000);
    // The driver writes a frame in one piece: a short pause tells the two apart.
    if (c != nullptr && quadro.compare(2, 2, "34") == 0) quadro += Le(189 - 169, 20);
    return quadro;
}

void Impressora::Laco() {
    while (!parar_ && !fim_) {
        std::string quadro = LeQuadro();
        if (quadro.empty()) continue;
        {
            std::lock_guard<std::mutex> g(trava_);
            quadros_.push_back(quadro);
        }
        std::string resposta = resposta_ ? resposta_(quadro) : std::string(1, '\0');
        if (!resposta.empty()) Envia(resposta);
    }
}

std::string Quadro(const char* codigo, const std::string& campos) {
    return std::string("\x1b" "f") + codigo + campos;
}
