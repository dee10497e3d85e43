// The driver's files for a benchmark run: a fresh directory of its own, so a
// run never touches the user's log or settings.
#pragma once

#include <cstdlib>
#include <string>

inline void Diretorios() {
    static bool feito = false;
    if (feito) return;
    char modelo[] = "/tmp/vltxdrv-bench-XXXXXX";
    std::string base = mkdtemp(modelo);
    setenv("VLTXDRV_DRIVE_C", (base + "/c").c_str(), 1);
    setenv("VLTXDRV_REGISTRY", (base + "/registry").c_str(), 1);
    feito = true;
}
