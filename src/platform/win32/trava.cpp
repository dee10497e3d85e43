// The process-wide recursive lock every export holds for its whole call: a
// critical section, made on first use (C++ makes that first use safe even
// when two threads race to it) and deleted when the library unloads.
#include "platform/plataforma.h"

#include <windows.h>

#include <cstdio>

namespace plataforma {
namespace {

struct Secao {
    CRITICAL_SECTION secao;
    Secao() { InitializeCriticalSection(&secao); }
    ~Secao() { DeleteCriticalSection(&secao); }
    Secao(const Secao&) = delete;
    Secao& operator=(const Secao&) = delete;
};

CRITICAL_SECTION* SecaoDoDriver() {
    static Secao unica;
    return &unica.secao;
}

}  // namespace

void Trava() { EnterCriticalSection(SecaoDoDriver()); }
void Destrava() { LeaveCriticalSection(SecaoDoDriver()); }

}  // namespace plataforma

namespace plataforma {

// A named mutex in the global namespace, so that every session's processes
// share it as they share the files it guards; where the global namespace is
// refused, the session's own. Abandoned by a holder that died, it is taken
// all the same: the files it guards are made anew by the next holder.
TravaGlobal TomaTravaGlobal(const char* nome) {
    char global[128], local[128];
    std::snprintf(global, sizeof global, "Global\\vltxdrv.%s", nome);
    std::snprintf(local, sizeof local, "vltxdrv.%s", nome);
    HANDLE h = CreateMutexA(nullptr, FALSE, global);
    if (h == nullptr) h = CreateMutexA(nullptr, FALSE, local);
    if (h == nullptr) return 0;
    const DWORD r = WaitForSingleObject(h, INFINITE);
    if (r != WAIT_OBJECT_0 && r != WAIT_ABANDONED) {
        CloseHandle(h);
        return 0;
    }
    return reinterpret_cast<TravaGlobal>(h);
}

// Held while the named object exists: made here, it lives as long as a
// handle to it is open, and the system closes the handles of a process that
// ends. No thread owns it, so a host may release it from another thread.
bool TentaTravaGlobal(const char* nome, TravaGlobal* trava) {
    *trava = 0;
    char global[160], local[160];
    std::snprintf(global, sizeof global, "Global\\vltxdrv.exclusivo.%s", nome);
    std::snprintf(local, sizeof local, "vltxdrv.exclusivo.%s", nome);
    HANDLE h = CreateMutexA(nullptr, FALSE, global);
    if (h == nullptr) h = CreateMutexA(nullptr, FALSE, local);
    if (h == nullptr) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        AnotaFalhaSistema("CreateMutexA", ERROR_ALREADY_EXISTS, "ERROR_ALREADY_EXISTS");
        CloseHandle(h);
        return false;
    }
    // Told apart from a mutex of TomaTravaGlobal by its low bit: handles are multiples of 4.
    *trava = reinterpret_cast<TravaGlobal>(h) | 1;
    return true;
}

void SoltaTravaGlobal(TravaGlobal trava) {
    if ((trava & 1) != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(trava & ~TravaGlobal{1}));
        return;
    }
    if (trava == 0) return;
    HANDLE h = reinterpret_cast<HANDLE>(trava);
    ReleaseMutex(h);
    CloseHandle(h);
}

}  // namespace plataforma
