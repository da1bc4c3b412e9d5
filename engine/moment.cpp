#include "moment.h"

#include <stdio.h>

ULONGLONG FileTimeValue(const FILETIME *Time)
{
    ULARGE_INTEGER value;
    value.LowPart = Time->dwLowDateTime;
    value.HighPart = Time->dwHighDateTime;
    return value.QuadPart;
}

void UtcToLocal(const FILETIME *Utc, SYSTEMTIME *Local)
{
    SYSTEMTIME utc;

    FileTimeToSystemTime(Utc, &utc);
    SystemTimeToTzSpecificLocalTime(NULL, &utc, Local);
}

void AddAlarmDays(SYSTEMTIME *Time, unsigned Days)
{
    FILETIME moment;
    ULARGE_INTEGER value;

    SystemTimeToFileTime(Time, &moment);
    value.QuadPart = FileTimeValue(&moment) + Days * ALARM_DAY;
    moment.dwLowDateTime = value.LowPart;
    moment.dwHighDateTime = value.HighPart;
    FileTimeToSystemTime(&moment, Time);
}

static FILETIME AsFileTime(ULONGLONG Value)
{
    FILETIME moment = { (DWORD)Value, (DWORD)(Value >> 32) };
    return moment;
}

/* The local reading of the UTC moment At under Zone, in FILETIME units. */
static BOOL LocalReading(const TIME_ZONE_INFORMATION *Zone, ULONGLONG At, ULONGLONG *Local)
{
    FILETIME at = AsFileTime(At), local;
    SYSTEMTIME utc, reading;

    if (!FileTimeToSystemTime(&at, &utc) || !SystemTimeToTzSpecificLocalTime(Zone, &utc, &reading)
        || !SystemTimeToFileTime(&reading, &local))
        return FALSE;
    *Local = FileTimeValue(&local);
    return TRUE;
}

/* The UTC moment at which the clocks of Zone pass the local moment Local:
   the earliest after Now when the clocks show it twice (a change back), and
   the moment the clocks jump over it when they never show it (a change
   forward).  FALSE when it has passed. */
static BOOL ClocksPass(const TIME_ZONE_INFORMATION *Zone, ULONGLONG Local, ULONGLONG Now, ULONGLONG *Utc)
{
    /* Offsets go from -12 to +14 hours, so the UTC moments that read Local
       lie within a day of it, and the zone's changes are months apart: the
       offsets a day either side are the only ones that can apply. */
    ULONGLONG sides[2] = { Local - ALARM_DAY, Local + ALARM_DAY }, reading, latest = 0, earliest = 0;
    BOOL shown = FALSE;

    for (int i = 0; i < 2; i++) {
        if (!LocalReading(Zone, sides[i], &reading))
            return FALSE;
        ULONGLONG candidate = Local - (reading - sides[i]);  /* Local less that offset */
        if (!LocalReading(Zone, candidate, &reading))
            return FALSE;
        if (candidate > latest)
            latest = candidate;
        if (reading != Local)
            continue;  /* under that offset the clocks never show Local */
        shown = TRUE;
        if (candidate > Now && (!earliest || candidate < earliest))
            earliest = candidate;
    }
    if (shown) {
        *Utc = earliest;
        return earliest != 0;
    }
    /* Skipped: the larger reading is the one under the offset before the
       change, which the clocks reach just as they jump past Local. */
    *Utc = latest;
    return latest > Now;
}

static BOOL SameDate(const SYSTEMTIME *A, const SYSTEMTIME *B)
{
    return A->wDay == B->wDay && A->wMonth == B->wMonth && A->wYear == B->wYear;
}

BOOL NextAlarmMoment(const TIME_ZONE_INFORMATION *Zone, const SYSTEMTIME *Picked, const FILETIME *NowUtc,
                     const SYSTEMTIME *LastFired, SYSTEMTIME *Due, FILETIME *DueUtc)
{
    SYSTEMTIME picked = *Picked;  /* Due may be the same record */
    FILETIME local;
    ULONGLONG utc, reading;

    /* Today's date on the clocks, with the picked time of day on the whole
       second: the picker's milliseconds are those of the moment the window
       opened. */
    if (!LocalReading(Zone, FileTimeValue(NowUtc), &reading))
        return FALSE;
    local = AsFileTime(reading);
    FileTimeToSystemTime(&local, Due);
    Due->wHour = picked.wHour;
    Due->wMinute = picked.wMinute;
    Due->wSecond = picked.wSecond;
    Due->wMilliseconds = 0;
    /* The offset is the one in force at the due moment, not today's, so the
       first alarm after a change of daylight saving time is not an hour
       out.  A time whose showings today have all passed, or a date that has
       had its firing, moves on a day. */
    for (int attempt = 0; attempt < 4; attempt++) {
        if (!SystemTimeToFileTime(Due, &local))
            return FALSE;
        if ((!LastFired || !SameDate(Due, LastFired))
            && ClocksPass(Zone, FileTimeValue(&local), FileTimeValue(NowUtc), &utc)) {
            *DueUtc = AsFileTime(utc);
            /* The clocks' own reading then: a skipped 02:30 rings at 03:30. */
            if (!LocalReading(Zone, utc, &reading))
                return FALSE;
            local = AsFileTime(reading);
            return FileTimeToSystemTime(&local, Due);
        }
        AddAlarmDays(Due, 1);
    }
    return FALSE;
}

void FormatAlarmStatus(char *Text, size_t Size, const SYSTEMTIME *Due)
{
    /* Minute and second are padded with a space, not a zero. */
    snprintf(Text, Size, "Alarm set for %u-%u-%u %u:%2u:%2u",
             (unsigned)Due->wYear, (unsigned)Due->wMonth, (unsigned)Due->wDay,
             (unsigned)Due->wHour, (unsigned)Due->wMinute, (unsigned)Due->wSecond);
}

void FormatMissedAlarm(char *Text, size_t Size, const SYSTEMTIME *Due, const SYSTEMTIME *Woke)
{
    snprintf(Text, Size,
             "The alarm set for %u-%u-%u %u:%2u:%2u was missed: this computer was asleep or off "
             "and woke at %u-%u-%u %u:%2u:%2u, too late to ring it.\n\n"
             "Wake timers may be switched off in the power options. The alarm is set again "
             "for its next time.",
             (unsigned)Due->wYear, (unsigned)Due->wMonth, (unsigned)Due->wDay,
             (unsigned)Due->wHour, (unsigned)Due->wMinute, (unsigned)Due->wSecond,
             (unsigned)Woke->wYear, (unsigned)Woke->wMonth, (unsigned)Woke->wDay,
             (unsigned)Woke->wHour, (unsigned)Woke->wMinute, (unsigned)Woke->wSecond);
}
