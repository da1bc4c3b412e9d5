/* The alarm's time rule and its status text: pure functions of the times
   they are given, so any date can be tried without waiting for the clock. */
#ifndef TARROWICK_MOMENT_H
#define TARROWICK_MOMENT_H

#include <windows.h>
#include <stddef.h>

/* One day in FILETIME units of 100 ns. */
#define ALARM_DAY 864000000000ULL

/* Adds Days days to a calendar time, as a 64-bit count of 100 ns units. */
void AddAlarmDays(SYSTEMTIME *Time, unsigned Days);

/* The next local moment at the time of day of *Picked after *Now (both local):
   today's when it is later than now and not within the current second, else
   tomorrow's.  The date of *Picked is ignored: a picker's date is the day the
   window was opened, which may be days old. */
void NextAlarmMoment(const SYSTEMTIME *Picked, const SYSTEMTIME *Now, SYSTEMTIME *Due);

/* Converts the local moment *Due to UTC under the zone rules in force at that
   moment (Zone NULL: this machine's zone).  A result at or before *NowUtc, which
   a change of clock can produce, moves *Due on a day and tries again.  FALSE when
   no conversion succeeded. */
BOOL AlarmMomentToUtc(const TIME_ZONE_INFORMATION *Zone, SYSTEMTIME *Due,
                      const FILETIME *NowUtc, FILETIME *DueUtc);

/* Writes "Alarm set for ..." for the local moment *Due; never past Size. */
void FormatAlarmStatus(char *Text, size_t Size, const SYSTEMTIME *Due);

#endif
