// Clocks on POSIX: a monotonic clock for every duration, the local wall
// time for the log, and a sleep to a second of the monotonic clock that
// never spins.
#include <sys/time.h>
#include <time.h>

#include <cerrno>

#include "platform/plataforma.h"

namespace plataforma {

std::int64_t RelogioSegundos() {
    timespec agora{};
    clock_gettime(CLOCK_MONOTONIC, &agora);
    return static_cast<std::int64_t>(agora.tv_sec);
}

std::int64_t RelogioMilissegundos() {
    timespec agora{};
    clock_gettime(CLOCK_MONOTONIC, &agora);
    return static_cast<std::int64_t>(agora.tv_sec) * 1000 + agora.tv_nsec / 1000000;
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
    // Sleep on the monotonic clock to the start of the second alvo, the
    // clock RelogioSegundos reads: on waking it reads alvo or later.
    timespec prazo{static_cast<time_t>(alvo), 0};
    while (RelogioSegundos() < alvo) {
        int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &prazo, nullptr);
        if (r != 0 && r != EINTR) break;
    }
}

}  // namespace plataforma
