// Clocks on Windows: calendar seconds, the local time of day with its
// milliseconds, and a sleep to a calendar second.
#include "platform/plataforma.h"

#include <windows.h>

#include <ctime>

namespace plataforma {
namespace {

// The system clock in milliseconds since 1970, the epoch time() counts from.
std::int64_t AgoraMs() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    constexpr std::uint64_t De1601a1970 = 116444736000000000ULL;  // in 100 ns units
    return static_cast<std::int64_t>((t.QuadPart - De1601a1970) / 10000);
}

}  // namespace

std::int64_t RelogioSegundos() { return static_cast<std::int64_t>(_time64(nullptr)); }

Instante AgoraLocal() {
    // One reading: the seconds and the milliseconds belong together.
    SYSTEMTIME st;
    GetLocalTime(&st);
    return Instante{st.wYear, st.wMonth - 1, st.wDay, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond,
                    st.wMilliseconds};
}

void DormeAte(std::int64_t alvo) {
    // Sleep to the start of the second alvo; again if the sleep came back
    // early, so that time() reads alvo or later on return.
    while (RelogioSegundos() < alvo) {
        const std::int64_t resta = alvo * 1000 - AgoraMs();
        Sleep(resta > 0 ? static_cast<DWORD>(resta < 0x7fffffff ? resta : 0x7fffffff) : 1);
    }
}

}  // namespace plataforma
