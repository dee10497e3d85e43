// A scripted serial line and clock behind the platform seam, for the
// failures a pseudo-terminal cannot produce and for long waits in no time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "platform/plataforma.h"

namespace fake {

// Bytes the printer sends, available from a moment of the fake clock on.
struct Pedaco {
    std::int64_t disponivelMs;
    std::string bytes;
};

struct Linha {
    // Failures to script.
    bool abreFalha = false;
    bool leConfigFalha = false;
    int aplicaConfigFalhaApos = -1;  // the n-th SetCommState fails (0 = the first)
    bool purgaFalha = false;
    bool ctsPreso = false;
    std::uint32_t saidaOcupada = 0;
    bool escreveFalha = false;
    bool leFalha = false;
    bool caiu = false;
    bool apagaFalha = false;  // deleting a file fails (as in a directory we may not write)  // the line has dropped: reads and writes fail, waits end at once
    std::uint32_t errosLinha = 0;  // CE_ bits handed out by the next ClearCommError
    std::uint32_t errosNaFalha = 0;  // CE_ bits a failed read or write leaves behind
    // The system's reason each scripted failure notes (none when chamada is null).
    plataforma::FalhaSistema motivo{};

    // What happened.
    bool aberta = false;
    std::string escrito;
    int escritas = 0;
    int aplicacoesConfig = 0;
    plataforma::ConfigLinha config{};
    plataforma::TemposLinha tempos{};
    std::deque<std::uint32_t> timeoutsLeitura;  // ReadTotalTimeoutConstant of each read
    int esperas = 0;                            // calls of EsperaEntrada

    // The printer: what arrives, and a hook called with each frame written.
    std::deque<Pedaco> entrada;
    std::function<void(const std::string& quadro)> aoEscrever;
};

extern Linha linha;
extern std::int64_t relogioMs;  // the fake monotonic clock, in milliseconds
// The wall clock stands this far from the monotonic one: setting it (an NTP
// step) changes only this, as on a real machine.
extern std::int64_t paredeMenosMonotonicoMs;
// From monotonic moment quandoMs on, the wall clock is set by passoMs.
void AcertaRelogioParede(std::int64_t quandoMs, std::int64_t passoMs);

void Reinicia();
// Queues bytes the printer sends atMs from now on the fake clock.
void Responde(const std::string& bytes, std::int64_t emMs = 0);

}  // namespace fake
