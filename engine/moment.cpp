#include "moment.h"

#include <stdio.h>

static ULONGLONG FileTimeValue(const FILETIME *Time)
{
    ULARGE_INTEGER value;
    value.LowPart = Time->dwLowDateTime;
    value.HighPart = Time->dwHighDateTime;
    return value.QuadPart;
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

static BOOL SameSecond(const SYSTEMTIME *A, const SYSTEMTIME *B)
{
    return A->wSecond == B->wSecond && A->wMinute == B->wMinute && A->wHour == B->wHour
        && A->wDay == B->wDay && A->wMonth == B->wMonth && A->wYear == B->wYear;
}

void NextAlarmMoment(const SYSTEMTIME *Picked, const SYSTEMTIME *Now, SYSTEMTIME *Due)
{
    FILETIME due, now;

    /* Today's date with the picked time of day, on the whole second: the
       picker's milliseconds are those of the moment the window opened. */
    *Due = *Now;
    Due->wHour = Picked->wHour;
    Due->wMinute = Picked->wMinute;
    Due->wSecond = Picked->wSecond;
    Due->wMilliseconds = 0;

    SystemTimeToFileTime(Due, &due);
    SystemTimeToFileTime(Now, &now);
    if (CompareFileTime(&due, &now) < 0 || SameSecond(Due, Now))
        AddAlarmDays(Due, 1);
}

BOOL AlarmMomentToUtc(const TIME_ZONE_INFORMATION *Zone, SYSTEMTIME *Due,
                      const FILETIME *NowUtc, FILETIME *DueUtc)
{
    SYSTEMTIME utc;
    int attempt;

    /* The zone's bias is the one in force on the due day, not today's, so the
       first alarm after a change of daylight saving time is not an hour out.
       Around the change itself the local moment can map to a UTC moment already
       past; the next day's occurrence is then the next one. */
    for (attempt = 0; attempt < 3; attempt++) {
        if (!TzSpecificLocalTimeToSystemTime(Zone, Due, &utc) || !SystemTimeToFileTime(&utc, DueUtc))
            return FALSE;
        if (FileTimeValue(DueUtc) > FileTimeValue(NowUtc))
            return TRUE;
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
