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

void SoltaTravaGlobal(TravaGlobal trava) {
    if (trava == 0) return;
    HANDLE h = reinterpret_cast<HANDLE>(trava);
    ReleaseMutex(h);
    CloseHandle(h);
}

}  // namespace plataforma
