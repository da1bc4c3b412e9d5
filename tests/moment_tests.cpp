/* The time rule, the conversion to UTC and the status text, with dates of
   the tests' choosing. */
#include "../engine/moment.h"
#include "../resources/resource.h"
#include "support.h"

#include <gtest/gtest.h>
#include <string.h>

static SYSTEMTIME Next(const SYSTEMTIME &Picked, const SYSTEMTIME &Now)
{
    SYSTEMTIME due;

    NextAlarmMoment(&Picked, &Now, &due);
    return due;
}

#define EXPECT_MOMENT(time, y, mo, d, h, mi, s) do {                          \
        EXPECT_EQ((y), (time).wYear); EXPECT_EQ((mo), (time).wMonth);       \
        EXPECT_EQ((d), (time).wDay); EXPECT_EQ((h), (time).wHour);          \
        EXPECT_EQ((mi), (time).wMinute); EXPECT_EQ((s), (time).wSecond);    \
        EXPECT_EQ(0, (time).wMilliseconds);                                 \
    } while (0)

TEST(TimeRule, LaterTodayIsToday)
{
    SYSTEMTIME now = MakeTime(2008, 1, 21, 6, 4, 59, 999);

    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 6, 5, 0), now), 2008, 1, 21, 6, 5, 0);
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 23, 59, 59), now), 2008, 1, 21, 23, 59, 59);
}

TEST(TimeRule, PastOrWithinTheCurrentSecondIsTomorrow)
{
    SYSTEMTIME now = MakeTime(2008, 1, 21, 6, 5, 0, 300);

    /* Same second, even with the picker's milliseconds later than the clock's. */
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 6, 5, 0, 900), now), 2008, 1, 22, 6, 5, 0);
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 6, 5, 0, 0), now), 2008, 1, 22, 6, 5, 0);
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 6, 4, 59), now), 2008, 1, 22, 6, 4, 59);
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 0, 0, 0), now), 2008, 1, 22, 0, 0, 0);
    /* Exactly one day of 100 ns units is added. */
    EXPECT_EQ(FileTimeOf(MakeTime(2008, 1, 21, 6, 4, 59)) + 864000000000ULL,
              FileTimeOf(Next(MakeTime(2008, 1, 21, 6, 4, 59), now)));
}

TEST(TimeRule, DayCarriesAcrossMonthAndYearEnds)
{
    EXPECT_MOMENT(Next(MakeTime(2007, 12, 31, 23, 0, 0), MakeTime(2007, 12, 31, 23, 30, 0)),
                  2008, 1, 1, 23, 0, 0);
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 31, 7, 0, 0), MakeTime(2008, 1, 31, 8, 0, 0)), 2008, 2, 1, 7, 0, 0);
    /* 2008 is a leap year, 2007 and 2100 are not. */
    EXPECT_MOMENT(Next(MakeTime(2008, 2, 28, 7, 0, 0), MakeTime(2008, 2, 28, 8, 0, 0)), 2008, 2, 29, 7, 0, 0);
    EXPECT_MOMENT(Next(MakeTime(2008, 2, 29, 7, 0, 0), MakeTime(2008, 2, 29, 8, 0, 0)), 2008, 3, 1, 7, 0, 0);
    EXPECT_MOMENT(Next(MakeTime(2007, 2, 28, 7, 0, 0), MakeTime(2007, 2, 28, 8, 0, 0)), 2007, 3, 1, 7, 0, 0);
    EXPECT_MOMENT(Next(MakeTime(2100, 2, 28, 7, 0, 0), MakeTime(2100, 2, 28, 8, 0, 0)), 2100, 3, 1, 7, 0, 0);
}

TEST(TimeRule, StalePickerDateIsIgnored)
{
    /* The picker carries the day the window was opened: days, or years, ago,
       or even a later day when the clock was put back since. */
    SYSTEMTIME now = MakeTime(2026, 12, 9, 22, 0, 0);

    EXPECT_MOMENT(Next(MakeTime(2026, 12, 2, 23, 15, 0), now), 2026, 12, 9, 23, 15, 0);
    EXPECT_MOMENT(Next(MakeTime(2026, 12, 2, 6, 30, 0), now), 2026, 12, 10, 6, 30, 0);
    EXPECT_MOMENT(Next(MakeTime(2001, 3, 4, 6, 30, 0), now), 2026, 12, 10, 6, 30, 0);
    EXPECT_MOMENT(Next(MakeTime(2027, 1, 5, 6, 30, 0), now), 2026, 12, 10, 6, 30, 0);
}

TEST(StatusText, FormatsWithoutLeadingZerosAndPadsWithSpaces)
{
    char text[128];
    SYSTEMTIME due = MakeTime(2008, 1, 21, 6, 5, 0);

    FormatAlarmStatus(text, sizeof text, &due);
    EXPECT_STREQ("Alarm set for 2008-1-21 6: 5: 0", text);
    due = MakeTime(2008, 12, 31, 23, 59, 58);
    FormatAlarmStatus(text, sizeof text, &due);
    EXPECT_STREQ("Alarm set for 2008-12-31 23:59:58", text);
}

TEST(StatusText, NeverWritesPastItsBuffer)
{
    char text[24];
    SYSTEMTIME due = MakeTime(2008, 12, 31, 23, 59, 58);

    memset(text, '#', sizeof text);
    FormatAlarmStatus(text, 16, &due);
    EXPECT_STREQ("Alarm set for 2", text);
    for (size_t i = 16; i < sizeof text; i++)
        EXPECT_EQ('#', text[i]) << "at " << i;
}

/* Rules of central Europe: UTC+1, UTC+2 from the last Sunday of March, 02:00,
   to the last Sunday of October, 03:00. */
static TIME_ZONE_INFORMATION CentralEurope(void)
{
    TIME_ZONE_INFORMATION zone = {};

    zone.Bias = -60;
    zone.DaylightBias = -60;
    zone.StandardDate.wMonth = 10;
    zone.StandardDate.wDay = 5;
    zone.StandardDate.wHour = 3;
    zone.DaylightDate.wMonth = 3;
    zone.DaylightDate.wDay = 5;
    zone.DaylightDate.wHour = 2;
    return zone;
}

static FILETIME Utc(const SYSTEMTIME &Time)
{
    FILETIME moment;

    SystemTimeToFileTime(&Time, &moment);
    return moment;
}

static ULONGLONG Value(const FILETIME &Moment)
{
    return ((ULONGLONG)Moment.dwHighDateTime << 32) | Moment.dwLowDateTime;
}

/* Converts a local due moment with Zone (NULL: this machine's) and checks the UTC result. */
static void ExpectUtc(const TIME_ZONE_INFORMATION *Zone, SYSTEMTIME Due, const SYSTEMTIME &NowUtc,
                      const SYSTEMTIME &Expected)
{
    FILETIME now = Utc(NowUtc), due;

    ASSERT_TRUE(AlarmMomentToUtc(Zone, &Due, &now, &due));
    EXPECT_EQ(FileTimeOf(Expected), Value(due));
}

TEST(DaylightSaving, GivenZoneUsesTheOffsetOfTheDueDay)
{
    TIME_ZONE_INFORMATION zone = CentralEurope();

    /* Armed on the evening before the change: the offset of the due morning counts. */
    ExpectUtc(&zone, MakeTime(2026, 3, 29, 7, 0, 0), MakeTime(2026, 3, 28, 21, 0, 0), MakeTime(2026, 3, 29, 5, 0, 0));
    ExpectUtc(&zone, MakeTime(2026, 10, 25, 7, 0, 0), MakeTime(2026, 10, 24, 20, 0, 0), MakeTime(2026, 10, 25, 6, 0, 0));
    ExpectUtc(&zone, MakeTime(2026, 1, 21, 6, 30, 0), MakeTime(2026, 1, 20, 20, 0, 0), MakeTime(2026, 1, 21, 5, 30, 0));
    ExpectUtc(&zone, MakeTime(2026, 7, 21, 6, 30, 0), MakeTime(2026, 7, 20, 20, 0, 0), MakeTime(2026, 7, 21, 4, 30, 0));
}

TEST(DaylightSaving, MachineZoneFromTheEnvironment)
{
    TIME_ZONE_INFORMATION zone;

    /* Under Wine this test runs with TZ=Europe/Berlin, which Wine takes as the
       machine's zone; on Windows the zone is the machine's own. */
    GetTimeZoneInformation(&zone);
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") && zone.Bias != -60)
        GTEST_SKIP() << "needs the machine's zone to be central European time";
    ASSERT_EQ(-60, zone.Bias);
    ASSERT_EQ(-60, zone.DaylightBias);

    ExpectUtc(NULL, MakeTime(2027, 3, 28, 7, 0, 0), MakeTime(2027, 3, 27, 21, 0, 0), MakeTime(2027, 3, 28, 5, 0, 0));
    ExpectUtc(NULL, MakeTime(2027, 3, 27, 7, 0, 0), MakeTime(2027, 3, 26, 21, 0, 0), MakeTime(2027, 3, 27, 6, 0, 0));
    ExpectUtc(NULL, MakeTime(2027, 10, 31, 7, 0, 0), MakeTime(2027, 10, 30, 20, 0, 0), MakeTime(2027, 10, 31, 6, 0, 0));
    ExpectUtc(NULL, MakeTime(2027, 10, 30, 7, 0, 0), MakeTime(2027, 10, 29, 20, 0, 0), MakeTime(2027, 10, 30, 5, 0, 0));
}

TEST(DaylightSaving, RepeatedHourNeverArmsThePast)
{
    /* 02:15 in the second pass of the repeated hour is 01:15 UTC.  02:45 is
       later by the wall clock, but its first pass, 00:45 UTC, is over. */
    SYSTEMTIME now = MakeTime(2027, 10, 31, 1, 15, 0);
    SYSTEMTIME due = Next(MakeTime(2027, 10, 31, 2, 45, 0), MakeTime(2027, 10, 31, 2, 15, 0));
    FILETIME nowUtc = Utc(now), dueUtc;

    ASSERT_TRUE(AlarmMomentToUtc(NULL, &due, &nowUtc, &dueUtc));
    EXPECT_GT(Value(dueUtc), Value(nowUtc));
    EXPECT_EQ(2, due.wHour);
    EXPECT_EQ(45, due.wMinute);
    /* Whichever pass is taken, it is the earliest one still to come. */
    EXPECT_LE(Value(dueUtc), FileTimeOf(MakeTime(2027, 11, 1, 1, 45, 0)));
}

TEST(DaylightSaving, SkippedHourStillArmsAfterNow)
{
    TIME_ZONE_INFORMATION zone = CentralEurope();
    SYSTEMTIME due = MakeTime(2026, 3, 29, 2, 30, 0);  /* the clock jumps from 02:00 to 03:00 */
    FILETIME now = Utc(MakeTime(2026, 3, 28, 21, 0, 0)), dueUtc;

    ASSERT_TRUE(AlarmMomentToUtc(&zone, &due, &now, &dueUtc));
    EXPECT_GT(Value(dueUtc), Value(now));
    EXPECT_LT(Value(dueUtc), FileTimeOf(MakeTime(2026, 3, 29, 2, 0, 0)));
}
