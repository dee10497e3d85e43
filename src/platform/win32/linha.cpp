// The serial line on Windows, a row of the kinds of line: a comm port opened
// exclusively and driven with plain synchronous ReadFile and WriteFile, as
// the driver was written for.
//
// One thing is added on top of the API. Waiting for input without taking it
// (EsperaEntrada) has no synchronous call of its own with a time-out:
// WaitCommEvent waits without one on a handle opened without overlapped I/O,
// and polling ClearCommError would spin. So the wait is a ReadFile of one
// byte under a time-out of its own, in slices of half a second with a look
// at the line between them (a hang-up need not end a pending read): the
// thread sleeps in the system until a byte comes or the slice is up. The
// byte it takes is kept with the port and
// given back as the first byte of the next read; the queue counts and a purge
// of the input queue include it, so the driver sees the line as if the byte
// were still in the queue.
#include "platform/plataforma.h"
#include "platform/tipos_linha.h"

// After plataforma.h: windows.h defines some of its names (CE_, PURGE_) as macros.
#include <windows.h>

#include <cstring>

#include "platform/win32/nome_erro.h"

namespace plataforma {
namespace {

struct Porta {
    HANDLE h = nullptr;            // null while the slot is free
    TemposLinha tempos{};          // the time-outs the driver applied last
    DWORD erros = 0;               // CE_ bits taken by this file's own ClearCommError calls
    bool temByte = false;          // a byte taken off the line by EsperaEntrada
    unsigned char byte = 0;
    bool caiu = false;             // the device went away (unplugged, its driver gone)
};

constexpr int MaxPortas = 8;
Porta portas[MaxPortas];

Porta* PortaDe(Dispositivo d) {
    if (d < 1 || d > MaxPortas || portas[d - 1].h == nullptr) return nullptr;
    return &portas[d - 1];
}

COMMTIMEOUTS Nativos(const TemposLinha& t) {
    return COMMTIMEOUTS{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                        t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
}

// How long one read of the wait for input may block. A read pending on a
// line that goes away need not end (Wine's ReadFile on a pseudo-terminal
// that hangs up waits out its whole time-out and returns no bytes and no
// error); ClearCommError between two reads tells, so a readout learns of
// the drop within this time instead of at its idle limit.
constexpr DWORD FatiaEsperaMs = 500;

// After a failed call: a device that is gone fails every call from now on
// with one of these; the line is then down until it is closed. A USB
// adapter pulled out fails with ERROR_ACCESS_DENIED or
// ERROR_DEVICE_NOT_CONNECTED on the handle that was opened for reading and
// writing; a hung-up line under Wine with ERROR_NOT_READY or ERROR_IO_DEVICE.
void NotaFalha(Porta& p, const char* chamada) {
    const DWORD erro = GetLastError();
    AnotaErroWindows(chamada, erro);
    switch (erro) {
        case ERROR_ACCESS_DENIED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_IO_DEVICE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:
            p.caiu = true;
            p.erros |= CE_IOE;
            break;
        default: break;
    }
}

// The queue state; error bits are kept for the driver's next LeErrosLinha.
bool Estado(Porta& p, COMSTAT& estado) {
    DWORD erros = 0;
    estado = COMSTAT{};
    if (!ClearCommError(p.h, &erros, &estado)) {
        NotaFalha(p, "ClearCommError");
        return false;
    }
    p.erros |= erros;
    return true;
}

// One ReadFile under time-outs of this file's own (the driver's are put
// back by the caller). False when the read failed.
bool LeCom(Porta& p, unsigned char* destino, DWORD quantidade, const COMMTIMEOUTS& tempos, DWORD* lidos) {
    *lidos = 0;
    COMMTIMEOUTS t = tempos;
    if (!SetCommTimeouts(p.h, &t)) return false;
    if (ReadFile(p.h, destino, quantidade, lidos, nullptr)) return true;
    NotaFalha(p, "ReadFile");
    COMSTAT estado;
    Estado(p, estado);
    return false;
}

void RestauraTempos(Porta& p) {
    COMMTIMEOUTS t = Nativos(p.tempos);
    SetCommTimeouts(p.h, &t);
}

// The rest of a read whose first byte EsperaEntrada already took. The
// driver's time-outs are kept as a comm port keeps them for a read whose
// first byte has come: the read ends with all its bytes, when the interval
// passes without a byte, or at the total time-out from its start.
bool LeAposByte(Porta& p, unsigned char* saida, DWORD quantidade, DWORD* recebidos) {
    const TemposLinha t = p.tempos;
    // GetTickCount, not GetTickCount64: the DLL keeps loading on Windows XP.
    // Differences of its readings stay right across its wrap.
    const DWORD inicio = GetTickCount();
    const std::uint64_t total =
        static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * quantidade + t.ReadTotalTimeoutConstant;
    bool ok = true;
    while (*recebidos < quantidade) {
        const DWORD passou = GetTickCount() - inicio;
        if (passou >= total) break;
        const std::uint64_t resta64 = total - passou;
        const DWORD resta = resta64 > MAXDWORD - 1 ? MAXDWORD - 1 : static_cast<DWORD>(resta64);
        COMSTAT estado;
        if (!Estado(p, estado)) {
            ok = false;
            break;
        }
        DWORD n = 0;
        if (estado.cbInQue == 0) {
            // Nothing queued: the next byte has the interval to come, one
            // byte read with that time-out. A zero interval means none.
            const DWORD janela = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout < resta ? t.ReadIntervalTimeout
                                                                                           : resta;
            if (!LeCom(p, saida + *recebidos, 1, COMMTIMEOUTS{0, 0, janela, 0, 0}, &n)) {
                ok = false;
                break;
            }
            if (n == 0) break;  // the interval passed
            *recebidos += n;
            continue;
        }
        // Bytes are queued: one read takes them and what follows; its own
        // interval timer starts with its first byte, which is there at once.
        ok = LeCom(p, saida + *recebidos, quantidade - *recebidos, COMMTIMEOUTS{t.ReadIntervalTimeout, 0, resta, 0, 0},
                   &n);
        *recebidos += n;
        break;
    }
    RestauraTempos(p);
    return ok;
}

Dispositivo Abre(const char* nome) {
    int slot = 0;
    while (slot < MaxPortas && portas[slot].h != nullptr) ++slot;
    if (slot == MaxPortas || nome == nullptr) return 0;
    HANDLE h = CreateFileA(nome, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        AnotaErroWindows("CreateFileA", GetLastError());
        return 0;
    }
    portas[slot] = Porta{};
    portas[slot].h = h;
    return slot + 1;
}

bool LeConfig(Dispositivo d, ConfigLinha& config) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(p->h, &dcb)) {
        AnotaErroWindows("GetCommState", GetLastError());
        return false;
    }
    static_assert(sizeof(DCB) <= sizeof(config.Nativo), "the device's DCB rides along in Nativo");
    std::memcpy(config.Nativo, &dcb, sizeof dcb);
    config.BaudRate = dcb.BaudRate;
    config.ByteSize = dcb.ByteSize;
    config.Parity = dcb.Parity;
    config.StopBits = dcb.StopBits;
    config.fParity = dcb.fParity != 0;
    config.fOutxCtsFlow = dcb.fOutxCtsFlow != 0;
    return true;
}

bool AplicaConfig(Dispositivo d, const ConfigLinha& config) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    // The record as the device gave it, with the driver's members on top.
    DCB dcb;
    std::memcpy(&dcb, config.Nativo, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = config.BaudRate;
    dcb.ByteSize = config.ByteSize;
    dcb.Parity = config.Parity;
    dcb.StopBits = config.StopBits;
    dcb.fParity = config.fParity ? 1 : 0;
    dcb.fOutxCtsFlow = config.fOutxCtsFlow ? 1 : 0;
    if (SetCommState(p->h, &dcb)) return true;
    NotaFalha(*p, "SetCommState");
    return false;
}

bool AplicaTempos(Dispositivo d, const TemposLinha& tempos) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    p->tempos = tempos;
    COMMTIMEOUTS t = Nativos(tempos);
    return SetCommTimeouts(p->h, &t) != FALSE;
}

bool Purga(Dispositivo d, std::uint32_t filas) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    if (filas & PURGE_RXCLEAR) p->temByte = false;
    if (PurgeComm(p->h, filas)) return true;
    AnotaErroWindows("PurgeComm", GetLastError());
    return false;
}

bool LeErros(Dispositivo d, std::uint32_t* erros, EstadoLinha* estado) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    COMSTAT cs;
    const bool ok = Estado(*p, cs);
    if (erros != nullptr) *erros = p->erros;
    p->erros = 0;
    if (estado != nullptr) {
        estado->cbInQue = cs.cbInQue + (p->temByte ? 1 : 0);
        estado->cbOutQue = cs.cbOutQue;
        estado->fCtsHold = cs.fCtsHold != 0;
    }
    return ok;
}

bool Le(Dispositivo d, void* destino, std::uint32_t quantidade, std::uint32_t* lidos) {
    Porta* p = PortaDe(d);
    if (lidos != nullptr) *lidos = 0;
    if (p == nullptr) return false;
    auto* saida = static_cast<unsigned char*>(destino);
    DWORD recebidos = 0;
    bool ok;
    if (!p->temByte || quantidade == 0) {
        ok = ReadFile(p->h, saida, quantidade, &recebidos, nullptr) != FALSE;
        if (!ok) NotaFalha(*p, "ReadFile");
    } else {
        saida[0] = p->byte;
        p->temByte = false;
        recebidos = 1;
        ok = LeAposByte(*p, saida, quantidade, &recebidos);
    }
    if (lidos != nullptr) *lidos = recebidos;
    return ok;
}

bool Escreve(Dispositivo d, const void* dados, std::uint32_t quantidade, std::uint32_t* escritos) {
    Porta* p = PortaDe(d);
    if (escritos != nullptr) *escritos = 0;
    if (p == nullptr) return false;
    DWORD feitos = 0;
    const bool ok = WriteFile(p->h, dados, quantidade, &feitos, nullptr) != FALSE;
    if (!ok) NotaFalha(*p, "WriteFile");
    if (escritos != nullptr) *escritos = feitos;
    return ok;
}

bool Fecha(Dispositivo d) {
    Porta* p = PortaDe(d);
    if (p == nullptr) return false;
    const bool ok = CloseHandle(p->h) != FALSE;
    *p = Porta{};
    return ok;
}

bool Caiu(Dispositivo d) {
    Porta* p = PortaDe(d);
    return p != nullptr && p->caiu;
}

bool Espera(Dispositivo d, std::uint32_t milissegundos) {
    Porta* p = PortaDe(d);
    if (p == nullptr || p->caiu) return false;
    if (p->temByte) return true;
    COMSTAT estado;
    if (Estado(*p, estado) && estado.cbInQue > 0) return true;
    if (milissegundos == 0 || p->caiu) return false;
    const DWORD inicio = GetTickCount();
    const DWORD espera = milissegundos < MAXDWORD ? milissegundos : MAXDWORD - 1;
    for (;;) {
        const DWORD passou = GetTickCount() - inicio;
        if (passou >= espera) return false;
        const DWORD fatia = espera - passou < FatiaEsperaMs ? espera - passou : FatiaEsperaMs;
        const DWORD antes = GetTickCount();
        DWORD n = 0;
        const bool ok = LeCom(*p, &p->byte, 1, COMMTIMEOUTS{0, 0, fatia, 0, 0}, &n);
        RestauraTempos(*p);
        if (ok && n == 1) {
            p->temByte = true;
            return true;
        }
        // A read can end quietly on a line that has gone: ask the line.
        if (p->caiu || !Estado(*p, estado) || p->caiu) return false;
        if (estado.cbInQue > 0) return true;
        // A read that fails or ends at once would have the caller come
        // straight back: the rest of the slice is slept out instead.
        const DWORD usado = GetTickCount() - antes;
        if (!ok || usado < fatia) Sleep(fatia - (usado < fatia ? usado : fatia));
    }
}

bool QualquerNome(const char* nome) { return nome != nullptr; }

}  // namespace

const TipoLinha LinhaSerial = {
    .nome = "serial", .Reconhece = QualquerNome, .Abre = Abre, .LeConfig = LeConfig,
    .AplicaConfig = AplicaConfig, .AplicaTempos = AplicaTempos, .Purga = Purga, .LeErros = LeErros,
    .Le = Le, .Escreve = Escreve, .Espera = Espera, .Caiu = Caiu, .Fecha = Fecha};

}  // namespace plataforma
