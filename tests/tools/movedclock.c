/* A preload library for Wine's processes and its server: adds an offset
   to the real-time clock, so that a test can move every clock of a Wine
   world at once, waitable timers and zone rules included.  The offset, in
   seconds, is read from the file named by MOVED_CLOCK_FILE, again whenever
   a fifth of a second of real time has passed, so a test can move the
   clock forward while a timer waits, as a computer sees on waking.

   Built for Linux, not Windows, once for each architecture of Wine: i386
   builds read the clock through glibc's 64-bit time calls, x86-64 builds
   through the classic names, which are covered on both. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <sys/time.h>
#include <sys/syscall.h>
#include <unistd.h>

struct time64 { int64_t sec; int64_t nsec; };      /* glibc's __timespec64 on i386 */
struct timeval64 { int64_t sec; int64_t usec; };   /* glibc's __timeval64 on i386 */

static double Offset;         /* seconds added to real time */
static int64_t LastRead = -1; /* real seconds * 5 at the last read of the file */

/* Straight from the kernel: glibc's own calls would come back here.  Only
   i386 has the separate 64-bit call; the classic one takes the native
   timespec, of 32-bit fields there and 64-bit ones on x86-64. */
static int RawClock(clockid_t clock, struct time64 *now)
{
    struct timespec native;

#ifdef SYS_clock_gettime64
    if (syscall(SYS_clock_gettime64, clock, now) == 0)
        return 0;
#endif
    if (syscall(SYS_clock_gettime, clock, &native))
        return -1;
    now->sec = native.tv_sec;
    now->nsec = native.tv_nsec;
    return 0;
}

static double CurrentOffset(int64_t realSec, int64_t realNsec)
{
    int64_t tick = realSec * 5 + realNsec / 200000000;
    const char *name = getenv("MOVED_CLOCK_FILE");

    if (name && tick != LastRead) {
        FILE *file = fopen(name, "r");
        double value;
        if (file) {
            if (fscanf(file, "%lf", &value) == 1)
                Offset = value;
            fclose(file);
        }
        LastRead = tick;
    }
    return Offset;
}

static void Move(clockid_t clock, struct time64 *now)
{
    if (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE) {
        double offset = CurrentOffset(now->sec, now->nsec);
        int64_t whole = (int64_t)offset, nsec = (int64_t)((offset - whole) * 1e9);
        now->sec += whole;
        now->nsec += nsec;
        if (now->nsec >= 1000000000) { now->sec++; now->nsec -= 1000000000; }
        if (now->nsec < 0) { now->sec--; now->nsec += 1000000000; }
    }
}

/* Clock, moved when it is the real-time clock; -1 when it cannot be read. */
static int MovedClock(clockid_t clock, struct time64 *now)
{
    if (RawClock(clock, now))
        return -1;
    Move(clock, now);
    return 0;
}

int __clock_gettime64(clockid_t clock, struct time64 *now)
{
    return MovedClock(clock, now);
}

int clock_gettime(clockid_t clock, struct timespec *now)
{
    struct time64 t;
    if (MovedClock(clock, &t))
        return -1;
    now->tv_sec = (time_t)t.sec;
    now->tv_nsec = (long)t.nsec;
    return 0;
}

int __gettimeofday64(struct timeval64 *now, void *zone)
{
    struct time64 t;
    (void)zone;
    MovedClock(CLOCK_REALTIME, &t);
    now->sec = t.sec;
    now->usec = t.nsec / 1000;
    return 0;
}

int gettimeofday(struct timeval *now, void *zone)
{
    struct time64 t;
    (void)zone;
    MovedClock(CLOCK_REALTIME, &t);
    now->tv_sec = (time_t)t.sec;
    now->tv_usec = (long)(t.nsec / 1000);
    return 0;
}

time_t time(time_t *out)
{
    struct time64 t;
    MovedClock(CLOCK_REALTIME, &t);
    if (out)
        *out = (time_t)t.sec;
    return (time_t)t.sec;
}
