// Clocks on POSIX: calendar seconds, local time of day, and a sleep to a
// calendar second that never spins.
#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/plataforma.h"

namespace plataforma {

// The same clock DormeAte sleeps on: time() may read a coarser clock that
// trails it by a few milliseconds, and a wake-up would then sleep again and again.
std::int64_t RelogioSegundos() {
    timespec agora{};
    clock_gettime(CLOCK_REALTIME, &agora);
    return static_cast<std::int64_t>(agora.tv_sec);
}

Instante AgoraLocal() {
    timespec agora{};
    clock_gettime(CLOCK_REALTIME, &agora);
    time_t s = agora.tv_sec;
    tm local{};
    localtime_r(&s, &local);
    return Instante{local.tm_year + 1900, local.tm_mon, local.tm_mday, local.tm_wday, local.tm_hour,
                    local.tm_min,         local.tm_sec, static_cast<int>(agora.tv_nsec / 1000000)};
}

void DormeAte(std::int64_t alvo) {
    // Sleep on the real-time clock to the start of the second alvo, so that
    // time() reads alvo or later on waking.
    timespec prazo{static_cast<time_t>(alvo), 0};
    while (RelogioSegundos() < alvo) {
        int r = clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &prazo, nullptr);
        if (r != 0 && r != EINTR) break;
    }
}

}  // namespace plataforma
