// SERIAL: the driver's only door to the printer.
#pragma once

#include <cstdint>

#include "platform/plataforma.h"

// Why the last operation of SERIAL failed.
enum ErroSerial : std::int32_t {
    SemErro = 0,
    NaoInicializada = 1,
    JaInicializada = 2,
    ErroAbertura = 3,
    ErroConfiguracao = 4,
    ErroFlush = 5,
    BufferPequeno = 6,
    TimeoutCts = 7,
    TransmissaoPendente = 8,
    ErroTransmissao = 9,
    RecepcaoIncompleta = 10,
    ErroRecepcao = 11,
    ErroFraming = 12,
    ErroOverrun = 13,
    ErroBreak = 14,
    ErroDevice = 15,
    OverflowRecepcao = 16,
    ErroParidade = 17,
    TransmissaoCheia = 18,
};

// Queue selector of Limpa and FilaOcupada.
enum Fila : std::int32_t { Ambas = 0, Entrada = 1, Saida = 2 };

class SERIAL {
public:
    SERIAL() { Zera(); }
    // A device another process opened (see MarcaHerdada) is left to it.
    ~SERIAL() {
        if (!Herdada) Fecha();
    }
    SERIAL(const SERIAL&) = delete;
    SERIAL& operator=(const SERIAL&) = delete;

    void Zera();
    std::int32_t Abre(const char* dispositivo, std::uint32_t velocidade, std::uint32_t maxLeitura,
                      std::uint32_t maxEscrita);
    std::int32_t Fecha();
    std::int32_t Limpa(std::int32_t fila);
    std::int32_t FilaOcupada(std::int32_t fila);
    std::int32_t CtsLivre();
    std::int32_t Envia(const void* dados, std::uint32_t quantidade, std::uint32_t* escritos, std::uint8_t cts);
    std::int32_t Recebe(void* destino, std::uint32_t quantidade, std::uint32_t* lidos, std::uint32_t segundos);
    // Returns the last error and clears it; mensagem (40 bytes or more) gets its text.
    std::int32_t UltimoErro(char* mensagem);

    bool Aberta() const { return Handle != 0; }
    // This process is a fork of the one that opened the device: the device
    // (its exclusive mode, its locks, its lock file) is that process's, and
    // destroying this object at unload leaves it alone. An explicit Fecha
    // still closes it.
    void MarcaHerdada() { Herdada = Handle != 0; }
    // Blocks until input waits or the time runs out (the readouts wait on it).
    bool EsperaEntrada(std::uint32_t milissegundos) { return plataforma::EsperaEntrada(Handle, milissegundos); }
    // True once the line has dropped; every send and receive then fails with
    // ErroDevice until the port is closed.
    bool Caiu() const { return Handle != 0 && plataforma::LinhaCaiu(Handle); }

    // After a failed exchange the printer may still be sending (a late
    // reply, the rest of a cut one), and the protocol has no sequence
    // numbers: the next command would take those bytes as its own reply.
    // Reads and hands to descartados each piece that arrives until the line
    // has been quiet for silencioMs, or limiteMs have passed in all.
    using Descarte = void (*)(const unsigned char* bytes, std::uint32_t n, void* contexto);
    void Assenta(std::uint32_t silencioMs, std::uint32_t limiteMs, Descarte descartados, void* contexto);

private:
    std::int32_t Falha(std::int32_t erro) {
        Erro = erro;
        return 0;
    }

    plataforma::ConfigLinha Config{};
    std::int32_t Erro;
    std::uint32_t ErrosCom;
    std::uint32_t LimiteLeitura;
    std::uint32_t LimiteEscrita;
    plataforma::Dispositivo Handle;
    bool Herdada;
    plataforma::TemposLinha Tempos{};
};

// The Portuguese text of a link error, as UltimoErro gives it.
const char* MensagemErroSerial(std::int32_t erro);
