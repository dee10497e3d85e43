/* A fast clock for a whole process, preloaded (LD_PRELOAD) into vltxd by
 * the report test: the monotonic clock runs VLTXD_RELOGIO_FATOR times as
 * fast from the moment the process starts, and a sleep on it to a deadline
 * lasts that many times less. The driver's report wait (15 s, then 3 s
 * between polls) then takes a second of the suite's time. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>

static int (*real_gettime)(clockid_t, struct timespec*);
static int (*real_nanosleep)(clockid_t, int, const struct timespec*, struct timespec*);
static long long base_ns;
static long long fator = 1;

static long long ns(const struct timespec* t) { return (long long)t->tv_sec * 1000000000LL + t->tv_nsec; }

static struct timespec ts(long long v) {
    struct timespec t;
    t.tv_sec = (time_t)(v / 1000000000LL);
    t.tv_nsec = (long)(v % 1000000000LL);
    return t;
}

/* Found on first use too: a sanitizer's runtime may read the clock before
 * this library's constructor has run. */
static void procura(void) {
    if (real_gettime == NULL) real_gettime = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    if (real_nanosleep == NULL)
        real_nanosleep =
            (int (*)(clockid_t, int, const struct timespec*, struct timespec*))dlsym(RTLD_NEXT, "clock_nanosleep");
}

__attribute__((constructor)) static void inicia(void) {
    procura();
    const char* f = getenv("VLTXD_RELOGIO_FATOR");
    if (f != NULL && atoll(f) > 0) fator = atoll(f);
    struct timespec t;
    real_gettime(CLOCK_MONOTONIC, &t);
    base_ns = ns(&t);
}

int clock_gettime(clockid_t relogio, struct timespec* t) {
    procura();
    const int r = real_gettime(relogio, t);
    if (r == 0 && relogio == CLOCK_MONOTONIC && base_ns != 0) *t = ts(base_ns + (ns(t) - base_ns) * fator);
    return r;
}

int clock_nanosleep(clockid_t relogio, int flags, const struct timespec* pedido, struct timespec* resto) {
    procura();
    if (relogio != CLOCK_MONOTONIC || base_ns == 0) return real_nanosleep(relogio, flags, pedido, resto);
    struct timespec real = (flags & TIMER_ABSTIME) ? ts(base_ns + (ns(pedido) - base_ns) / fator) : ts(ns(pedido) / fator);
    return real_nanosleep(relogio, flags, &real, resto);
}
