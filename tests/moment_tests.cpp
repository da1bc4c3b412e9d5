/* The time rule, the conversion to UTC and the status text, with dates of
   the tests' choosing. */
#include "../engine/moment.h"
#include "../engine/wake.h"
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
    /* The clock at the very start of the picked second: still this second. */
    EXPECT_MOMENT(Next(MakeTime(2008, 1, 21, 6, 5, 0, 0), MakeTime(2008, 1, 21, 6, 5, 0, 0)), 2008, 1, 22, 6, 5, 0);
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

/* One arming around a change: the picked local time, the UTC clock, and
   the UTC moment and local reading it must ring at. */
struct AroundChange {
    const char *What;
    SYSTEMTIME Picked, NowUtc, RingsUtc, Shows;
};

static void ExpectRings(const TIME_ZONE_INFORMATION *Zone, const AroundChange &Case)
{
    SYSTEMTIME due = Case.Picked;
    FILETIME now = Utc(Case.NowUtc), ring;

    ASSERT_TRUE(AlarmMomentToUtc(Zone, &due, &now, &ring)) << Case.What;
    EXPECT_EQ(FileTimeOf(Case.RingsUtc), Value(ring)) << Case.What;
    EXPECT_EQ(FileTimeOf(Case.Shows), FileTimeOf(due)) << Case.What;
    EXPECT_GT(Value(ring), Value(now)) << Case.What;
}

TEST(DaylightSaving, SkippedTimesRingAsTheClocksPassThemAndRepeatedOnesAtTheNextShowing)
{
    TIME_ZONE_INFORMATION zone = CentralEurope();
    /* 2026: forward at 01:00 UTC on 29 March (02:00 becomes 03:00), back at
       01:00 UTC on 25 October (03:00 becomes 02:00, 02:xx shown twice). */
    const AroundChange cases[] = {
        { "skipped 02:30 rings at 03:30", MakeTime(2026, 3, 29, 2, 30, 0), MakeTime(2026, 3, 28, 21, 0, 0),
          MakeTime(2026, 3, 29, 1, 30, 0), MakeTime(2026, 3, 29, 3, 30, 0) },
        { "skipped 02:00:30, a minute before the change", MakeTime(2026, 3, 29, 2, 0, 30),
          MakeTime(2026, 3, 29, 0, 58, 45), MakeTime(2026, 3, 29, 1, 0, 30), MakeTime(2026, 3, 29, 3, 0, 30) },
        { "just after the gap", MakeTime(2026, 3, 29, 3, 0, 0), MakeTime(2026, 3, 29, 0, 58, 45),
          MakeTime(2026, 3, 29, 1, 0, 0), MakeTime(2026, 3, 29, 3, 0, 0) },
        { "just before the gap", MakeTime(2026, 3, 29, 1, 59, 59), MakeTime(2026, 3, 29, 0, 58, 45),
          MakeTime(2026, 3, 29, 0, 59, 59), MakeTime(2026, 3, 29, 1, 59, 59) },
        { "repeated 02:45, first showing", MakeTime(2026, 10, 25, 2, 45, 0), MakeTime(2026, 10, 25, 0, 15, 0),
          MakeTime(2026, 10, 25, 0, 45, 0), MakeTime(2026, 10, 25, 2, 45, 0) },
        { "repeated 02:45 set at 02:15 on the second pass", MakeTime(2026, 10, 25, 2, 45, 0),
          MakeTime(2026, 10, 25, 1, 15, 0), MakeTime(2026, 10, 25, 1, 45, 0), MakeTime(2026, 10, 25, 2, 45, 0) },
        { "the day after a skip is the picked time again", MakeTime(2026, 3, 30, 2, 30, 0),
          MakeTime(2026, 3, 29, 1, 30, 0), MakeTime(2026, 3, 30, 0, 30, 0), MakeTime(2026, 3, 30, 2, 30, 0) },
        { "a time past on the clocks moves a day", MakeTime(2026, 10, 25, 2, 45, 0),
          MakeTime(2026, 10, 25, 1, 50, 0), MakeTime(2026, 10, 26, 1, 45, 0), MakeTime(2026, 10, 26, 2, 45, 0) },
    };

    for (const AroundChange &c : cases)
        ExpectRings(&zone, c);
}

TEST(DaylightSaving, MachineZoneSkipsAndRepeatsLikeTheGivenOne)
{
    TIME_ZONE_INFORMATION zone;

    GetTimeZoneInformation(&zone);
    if (zone.Bias != -60 || zone.DaylightBias != -60)
        GTEST_SKIP() << "needs the machine's zone to be central European time";
    /* 2027: forward on 28 March, back on 31 October. */
    ExpectRings(NULL, { "skipped", MakeTime(2027, 3, 28, 2, 0, 30), MakeTime(2027, 3, 28, 0, 58, 45),
                        MakeTime(2027, 3, 28, 1, 0, 30), MakeTime(2027, 3, 28, 3, 0, 30) });
    ExpectRings(NULL, { "second pass", MakeTime(2027, 10, 31, 2, 45, 0), MakeTime(2027, 10, 31, 1, 15, 0),
                        MakeTime(2027, 10, 31, 1, 45, 0), MakeTime(2027, 10, 31, 2, 45, 0) });
}

/* Every combination of what the wake check reads, against the rule written
   out: an ignored resume flag always refuses; a plan that cannot be read
   always allows; otherwise the present source's value alone decides. */
TEST(WakeDecision, EveryCombinationOfWhatWasRead)
{
    const DWORD errors[] = { 0, ERROR_SUCCESS, 722, ERROR_NOT_SUPPORTED, ERROR_ACCESS_DENIED };
    const WakeRefusal byValue[] = { WAKE_TIMERS_OFF, WAKE_ALLOWED, WAKE_IMPORTANT_ONLY, WAKE_ALLOWED };
    unsigned tried = 0;

    for (DWORD error : errors)
        for (BOOL read = 0; read < 2; read++)
            for (BOOL battery = 0; battery < 2; battery++)
                for (DWORD ac = 0; ac < 4; ac++)
                    for (DWORD dc = 0; dc < 4; dc++) {
                        WakeRefusal expected = error == 722 || error == 50 ? WAKE_NOT_SUPPORTED
                                             : !read ? WAKE_ALLOWED : byValue[battery ? dc : ac];
                        EXPECT_EQ(expected, DecideWake(error, read, battery, ac, dc))
                            << error << " " << read << " " << battery << " " << ac << " " << dc;
                        tried++;
                    }
    EXPECT_EQ(320u, tried);
}

TEST(WakeDecision, WarningSaysWhyAndWhatToDo)
{
    char text[512];

    FormatWakeWarning(text, sizeof text, WAKE_TIMERS_OFF, TRUE, 0);
    EXPECT_EQ(0u, std::string(text).find("This computer will not wake up from sleep for the alarm: "
                                         "the power plan does not allow wake timers on battery.")) << text;
    FormatWakeWarning(text, sizeof text, WAKE_IMPORTANT_ONLY, FALSE, 0);
    EXPECT_NE(std::string::npos, std::string(text).find("allows only important wake timers on mains power")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("leave the computer on, or allow wake timers")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("it will ring if the computer is awake")) << text;
}

TEST(StatusText, MissedAlarmNamesTheDueAndWakingMoments)
{
    char text[512];
    SYSTEMTIME due = MakeTime(2027, 3, 29, 6, 30, 0), woke = MakeTime(2027, 3, 29, 7, 2, 5);

    FormatMissedAlarm(text, sizeof text, &due, &woke);
    EXPECT_EQ(0u, std::string(text).find("The alarm set for 2027-3-29 6:30: 0 was missed: this computer was "
                                         "asleep or off and woke at 2027-3-29 7: 2: 5")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("Wake timers may be switched off")) << text;
}
