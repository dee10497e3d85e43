// Clocks on Windows: a monotonic clock for every duration (the performance
// counter: it never follows a change of the system time, and is there on
// every Windows the DLL loads on), the local time of day with its
// milliseconds for the log, and a sleep to a second of the monotonic clock.
#include "platform/plataforma.h"

#include <windows.h>

namespace plataforma {

std::int64_t RelogioMilissegundos() {
    static const std::int64_t frequencia = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const std::int64_t t = static_cast<std::int64_t>(c.QuadPart);
    return t / frequencia * 1000 + t % frequencia * 1000 / frequencia;
}

std::int64_t RelogioSegundos() { return RelogioMilissegundos() / 1000; }

Instante AgoraLocal() {
    // One reading: the seconds and the milliseconds belong together.
    SYSTEMTIME st;
    GetLocalTime(&st);
    return Instante{st.wYear, st.wMonth - 1, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond,
                    st.wMilliseconds};
}

void DormeAte(std::int64_t alvo) {
    // Sleep to the start of the second alvo; again if the sleep came back
    // early, so that RelogioSegundos reads alvo or later on return.
    while (RelogioSegundos() < alvo) {
        const std::int64_t resta = alvo * 1000 - RelogioMilissegundos();
        Sleep(resta > 0 ? static_cast<DWORD>(resta < 0x7fffffff ? resta : 0x7fffffff) : 1);
    }
}

}  // namespace plataforma
