// The process-wide recursive lock every export holds for its whole call: a
// critical section, made on first use (C++ makes that first use safe even
// when two threads race to it) and deleted when the library unloads.
#include "platform/plataforma.h"

#include <windows.h>

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
