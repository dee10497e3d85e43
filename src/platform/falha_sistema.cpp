// The system's reason for the last failed call of a line, on every system
// (and under the tests' fake line): the process holds one exchange at a
// time (the exports' lock), so one record serves every line.
#include "platform/plataforma.h"

namespace plataforma {
namespace {
FalhaSistema ultimaFalha;
}

FalhaSistema TiraFalhaSistema() {
    const FalhaSistema f = ultimaFalha;
    ultimaFalha = FalhaSistema{};
    return f;
}

void AnotaFalhaSistema(const char* chamada, long codigo, const char* nome) {
    ultimaFalha = FalhaSistema{chamada, codigo, nome};
}

}  // namespace plataforma
