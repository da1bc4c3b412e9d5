/* The alarm's time rule and its status text: pure functions of the times
   they are given, so any date can be tried without waiting for the clock. */
#ifndef TARROWICK_MOMENT_H
#define TARROWICK_MOMENT_H

#include <windows.h>
#include <stddef.h>

/* One day in FILETIME units of 100 ns. */
#define ALARM_DAY 864000000000ULL

/* A FILETIME as one 64-bit count of 100 ns units. */
ULONGLONG FileTimeValue(const FILETIME *Time);

/* The local reading, on this machine's clock, of the UTC moment *Utc. */
void UtcToLocal(const FILETIME *Utc, SYSTEMTIME *Local);

/* Adds Days days to a calendar time, as a 64-bit count of 100 ns units. */
void AddAlarmDays(SYSTEMTIME *Time, unsigned Days);

/* The next showing of the time of day of *Picked after *NowUtc, under the
   zone rules in force then (Zone NULL: this machine's zone).  *Due gets the
   local time the clocks will show then, *DueUtc the moment.  The date of
   *Picked is ignored: a picker's date is the day the window was opened,
   which may be days old.
   - A time later today, and not within the current second, is today's.
   - A time that the clocks show twice takes its earliest showing still to
     come: set during the first pass of a repeated hour for a time earlier
     in it, it rings at the second showing.
   - A time they jump over rings as they jump, and *Due becomes what the
     clocks then read (02:30 skipped at 02:00 rings at 03:30).
   - LastFired, when given, is the local date (year, month, day) of the due
     moment of the alarm's last firing: no showing on that date is taken, so
     a time shown twice never rings twice.
   FALSE when no conversion succeeded. */
BOOL NextAlarmMoment(const TIME_ZONE_INFORMATION *Zone, const SYSTEMTIME *Picked, const FILETIME *NowUtc,
                     const SYSTEMTIME *LastFired, SYSTEMTIME *Due, FILETIME *DueUtc);

/* Writes "Alarm set for ..." for the local moment *Due; never past Size. */
void FormatAlarmStatus(char *Text, size_t Size, const SYSTEMTIME *Due);

/* A firing later than this after its due moment (FILETIME units, 10 minutes)
   was slept through: it is reported, not played. */
#define ALARM_LATE_LIMIT (10ULL * 60 * 10000000)

/* Writes the missed-alarm message for an alarm due at the local moment *Due
   that fired at *Woke; never past Size. */
void FormatMissedAlarm(char *Text, size_t Size, const SYSTEMTIME *Due, const SYSTEMTIME *Woke);

#endif
