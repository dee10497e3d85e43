// The one driver-wide state and the exchange every command goes through.
#pragma once

#include <climits>
#include <cstdint>

#include "driver/serial.h"

constexpr int TamanhoBuffer = 856;

struct EstadoDriver_t {
    SERIAL Porta;
    unsigned char BufComando[TamanhoBuffer];
    unsigned char BufTroca[TamanhoBuffer];
    bool PortaAberta;
    bool LogAtivo;
    std::int32_t ProximoTimeout;
    // The day's log path; here a whole directory path, not a drive letter.
    char ArqLog[PATH_MAX];
};

// Static, zero at load; Porta constructed closed.
extern EstadoDriver_t EstadoDriver;
extern std::int32_t ContadorLog;

// After a failed exchange the line counts as back in step with the printer
// once it has been quiet this long; the settling never takes longer than
// the limit, however much the printer keeps sending.
constexpr std::uint32_t SilencioAposFalhaMs = 300;
constexpr std::uint32_t LimiteAssentarMs = 2000;

// Writes 27, 'f' and the two characters of the code into frame[0..3].
void MontaCabecalho(unsigned char* frame, const char* codigo);

// Sends the first tamanhoQuadro bytes of BufComando and reads tamanhoResposta
// bytes of reply into BufTroca: the printer's status byte, 33 for "04", 2
// with the port closed, or the mapped link failure.
std::int32_t ExecutaComando(std::int32_t tamanhoQuadro, std::int32_t tamanhoResposta, std::int32_t timeout,
                            std::uint8_t cts);

// Maps a link error to the driver's return code, logging it when the log is
// on, and after it the system's reason when the failure has one.
std::int32_t TraduzErro(std::int32_t erro, const plataforma::FalhaSistema& motivo = {});

// True when the last ExecutaComando sent its frame and got its whole reply:
// the driver's own knowledge that the result is the printer's byte.
bool UltimaTrocaCompleta();

// Held by every export for its whole call: one exchange at a time per process.
class Guarda {
public:
    Guarda() { plataforma::Trava(); }
    ~Guarda() { plataforma::Destrava(); }
    Guarda(const Guarda&) = delete;
    Guarda& operator=(const Guarda&) = delete;
};

// A host's null string reads as the empty string.
inline const char* Texto(const char* p) { return p != nullptr ? p : ""; }
