// Start-up and shutdown of the shared library on POSIX.
#include <pthread.h>

#include "driver/estado.h"

extern "C" void vLog_C6_4(void);
extern "C" void vLog_C6_5(void);

namespace {
// A host that forks while the port is open: the child shares the parent's
// device, and its exit unloads the library in the child too. That unload
// must not close the device for the parent (clearing its exclusive mode on
// the shared descriptor would let any program open the printer's line).
void FilhoCriado() { EstadoDriver.Porta.MarcaHerdada(); }

__attribute__((constructor)) void Carrega() {
    vLog_C6_4();
    pthread_atfork(nullptr, nullptr, FilhoCriado);
}
__attribute__((destructor)) void Descarrega() { vLog_C6_5(); }
}  // namespace
