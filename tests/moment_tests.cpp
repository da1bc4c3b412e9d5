/* The time rule, the conversion to UTC and the status text, with dates of
   the tests' choosing. */
#include "../engine/moment.h"
#include "../engine/wake.h"
#include "../engine/fallback.h"
#include "../engine/alarmsound.h"
#include "../engine/volume.h"
#include "../resources/resource.h"
#include "support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

/* The time rule in a zone of UTC with no daylight saving time, where the
   local clock reads Now. */
static SYSTEMTIME Next(const SYSTEMTIME &Picked, const SYSTEMTIME &Now)
{
    TIME_ZONE_INFORMATION utc = {};
    SYSTEMTIME due = {};
    FILETIME now, dueUtc;

    SystemTimeToFileTime(&Now, &now);
    EXPECT_TRUE(NextAlarmMoment(&utc, &Picked, &now, NULL, &due, &dueUtc));
    EXPECT_EQ(FileTimeOf(due), ((ULONGLONG)dueUtc.dwHighDateTime << 32 | dueUtc.dwLowDateTime));
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

    ASSERT_TRUE(NextAlarmMoment(Zone, &Due, &now, NULL, &Due, &due));
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
   the UTC moment and local reading it must ring at; LastFired is the local
   date of the alarm's last firing, if it has one (wYear 0: none). */
struct AroundChange {
    const char *What;
    SYSTEMTIME Picked, NowUtc, RingsUtc, Shows;
    SYSTEMTIME LastFired = {};
};

static void ExpectRings(const TIME_ZONE_INFORMATION *Zone, const AroundChange &Case)
{
    SYSTEMTIME due;
    FILETIME now = Utc(Case.NowUtc), ring;
    const SYSTEMTIME *fired = Case.LastFired.wYear ? &Case.LastFired : NULL;

    ASSERT_TRUE(NextAlarmMoment(Zone, &Case.Picked, &now, fired, &due, &ring)) << Case.What;
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
        /* Once a night: a date that has had its firing is never taken again. */
        { "02:15 set at 02:45 in the first pass rings at its second showing", MakeTime(2026, 10, 25, 2, 15, 0),
          MakeTime(2026, 10, 25, 0, 45, 0), MakeTime(2026, 10, 25, 1, 15, 0), MakeTime(2026, 10, 25, 2, 15, 0) },
        { "rang at 02:15 in the first pass: the re-arm skips the second", MakeTime(2026, 10, 25, 2, 15, 0),
          MakeTime(2026, 10, 25, 0, 15, 0, 1), MakeTime(2026, 10, 26, 1, 15, 0), MakeTime(2026, 10, 26, 2, 15, 0),
          MakeTime(2026, 10, 25, 0, 0, 0) },
        { "rang at 02:15 in the first pass: a clock change at 02:05 in the second", MakeTime(2026, 10, 25, 2, 15, 0),
          MakeTime(2026, 10, 25, 1, 5, 0), MakeTime(2026, 10, 26, 1, 15, 0), MakeTime(2026, 10, 26, 2, 15, 0),
          MakeTime(2026, 10, 25, 0, 0, 0) },
        { "a clock change at 02:05 in the second pass, nothing rung", MakeTime(2026, 10, 25, 2, 15, 0),
          MakeTime(2026, 10, 25, 1, 5, 0), MakeTime(2026, 10, 25, 1, 15, 0), MakeTime(2026, 10, 25, 2, 15, 0) },
        { "rang yesterday: today's first showing", MakeTime(2026, 10, 25, 2, 15, 0),
          MakeTime(2026, 10, 25, 0, 5, 0), MakeTime(2026, 10, 25, 0, 15, 0), MakeTime(2026, 10, 25, 2, 15, 0),
          MakeTime(2026, 10, 24, 0, 0, 0) },
        { "rang at the jump for a skipped 02:30: the next day", MakeTime(2026, 3, 29, 2, 30, 0),
          MakeTime(2026, 3, 29, 1, 30, 0, 1), MakeTime(2026, 3, 30, 0, 30, 0), MakeTime(2026, 3, 30, 2, 30, 0),
          MakeTime(2026, 3, 29, 0, 0, 0) },
        { "an ordinary day: rang at 06:30, set again for tomorrow", MakeTime(2026, 7, 21, 6, 30, 0),
          MakeTime(2026, 7, 21, 4, 30, 0, 1), MakeTime(2026, 7, 22, 4, 30, 0), MakeTime(2026, 7, 22, 6, 30, 0),
          MakeTime(2026, 7, 21, 0, 0, 0) },
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
    ExpectRings(NULL, { "rang in the first pass", MakeTime(2027, 10, 31, 2, 15, 0), MakeTime(2027, 10, 31, 1, 5, 0),
                        MakeTime(2027, 11, 1, 1, 15, 0), MakeTime(2027, 11, 1, 2, 15, 0),
                        MakeTime(2027, 10, 31, 0, 0, 0) });
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

/* The alarm sound's image, read back as a player would: its header, its
   length, its level, and four beeps that ring, not click. */
TEST(AlarmSound, WaveIsOneSecondOfFourBeepsAndAPause)
{
    std::vector<BYTE> wave(ALARM_WAVE_BYTES + 16, 0xAB);
    auto word = [&](size_t At) { return (unsigned)(wave[At] | wave[At + 1] << 8); };
    auto dword = [&](size_t At) { return word(At) | word(At + 2) << 16; };

    EXPECT_EQ(0u, MakeAlarmWave(wave.data(), ALARM_WAVE_BYTES - 1)) << "too small a buffer";
    ASSERT_EQ(44144u, MakeAlarmWave(wave.data(), wave.size()));
    EXPECT_EQ(0xAB, wave[44144]) << "written past its length";
    EXPECT_EQ(0, memcmp(&wave[0], "RIFF", 4));
    EXPECT_EQ(44144u - 8, dword(4));
    EXPECT_EQ(0, memcmp(&wave[8], "WAVEfmt ", 8));
    EXPECT_EQ(16u, dword(16));
    EXPECT_EQ(1u, word(20)) << "PCM";
    EXPECT_EQ(1u, word(22)) << "mono";
    EXPECT_EQ(22050u, dword(24));
    EXPECT_EQ(44100u, dword(28)) << "bytes a second";
    EXPECT_EQ(2u, word(32));
    EXPECT_EQ(16u, word(34));
    EXPECT_EQ(0, memcmp(&wave[36], "data", 4));
    ASSERT_EQ(44100u, dword(40)) << "one second";

    /* Beeps are runs of sound; a pause is at least 40 ms of silence. */
    std::vector<std::pair<unsigned, unsigned>> beeps;  /* first and last sample */
    int peak = 0, step = 0, crossings = 0;
    unsigned silent = 1000;
    for (unsigned i = 0; i < 22050; i++) {
        int sample = (short)word(44 + 2 * i), before = i ? (short)word(42 + 2 * i) : 0;
        peak = std::max(peak, abs(sample));
        step = std::max(step, abs(sample - before));
        crossings += (before < 0) != (sample < 0);
        if (!sample) {
            silent++;
            continue;
        }
        if (silent >= 882)
            beeps.push_back({ i, i });
        beeps.back().second = i;
        silent = 0;
    }
    ASSERT_EQ(4u, beeps.size());
    for (auto &beep : beeps)
        EXPECT_NEAR(2205, (int)(beep.second - beep.first), 25) << "about 100 ms each";
    EXPECT_GE(22050 - beeps.back().second, 8000u) << "the pause before the next second's beeps";
    /* About -3 dB below full scale: loud, with room to spare. */
    EXPECT_GE(peak, 21000);
    EXPECT_LE(peak, 24000);
    /* 2205 Hz: two crossings a period, 220 periods in each 100 ms beep. */
    EXPECT_NEAR(4 * 441, crossings, 40);
    /* Faded in and out: no jump from silence to full level. */
    EXPECT_LE(step, 2 * 32767 * 7 / 10 * 96 / 100);
    EXPECT_EQ(0, (short)word(44 + 2 * beeps[0].first - 2));
    EXPECT_LT(abs((short)word(44 + 2 * beeps[0].first)), 2000) << "a beep starts at full level: a click";
}

TEST(TargetCheck, WhatIsLookedUpAndWhatCountsAsMissing)
{
    struct Case { const char *Target; TargetKind Kind; const char *Path; } cases[] = {
        { "", TARGET_EMPTY, NULL },
        { "   ", TARGET_EMPTY, NULL },
        { "\"\"", TARGET_EMPTY, NULL },
        { "C:\\Music\\song.mp3", TARGET_PATH, "C:\\Music\\song.mp3" },
        { " \"d:/Music/my song.mp3\" ", TARGET_PATH, "d:/Music/my song.mp3" },
        { "\\\\server\\share\\song.mp3", TARGET_PATH, "\\\\server\\share\\song.mp3" },
        { "http://example.com/radio", TARGET_OTHER, NULL },
        { "x-tarrowick-test://example.com", TARGET_OTHER, NULL },
        { "song.mp3", TARGET_OTHER, NULL },
        { "C:", TARGET_OTHER, NULL },
        { "\\song.mp3", TARGET_OTHER, NULL },
    };
    char path[64];

    for (const Case &c : cases) {
        strcpy(path, "unchanged");
        EXPECT_EQ(c.Kind, ClassifyTarget(c.Target, path, sizeof path)) << c.Target;
        EXPECT_STREQ(c.Path ? c.Path : "unchanged", path) << c.Target;
    }
    const DWORD missing[] = { ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME,
                              ERROR_NOT_READY, ERROR_INVALID_DRIVE, ERROR_INVALID_NAME, ERROR_BAD_PATHNAME };
    for (DWORD error : missing) {
        EXPECT_TRUE(IsMissingTarget(INVALID_FILE_ATTRIBUTES, error)) << error;
        EXPECT_FALSE(IsMissingTarget(FILE_ATTRIBUTE_NORMAL, error)) << "found, whatever the last error: " << error;
    }
    EXPECT_FALSE(IsMissingTarget(INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED)) << "there, but not for us to read";
    EXPECT_FALSE(IsMissingTarget(FILE_ATTRIBUTE_DIRECTORY, 0));
}

TEST(TargetCheck, BoxesNameTheTargetAndTheReason)
{
    char text[1024];
    std::string longTarget = "C:\\" + std::string(300, 'm') + "\\wake up.mp3";

    ShortenTarget(text, sizeof text, "C:\\song.mp3");
    EXPECT_STREQ("C:\\song.mp3", text);
    ShortenTarget(text, sizeof text, longTarget.c_str());
    EXPECT_EQ(120u, strlen(text));
    EXPECT_EQ(0u, std::string(text).find("C:\\mmm")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("mmm...mmm")) << text;
    EXPECT_EQ(120u - 13, std::string(text).find("m\\wake up.mp3")) << "the file's name is kept: " << text;

    const struct { INT_PTR Result; const char *Says; } reasons[] = {
        { ERROR_FILE_NOT_FOUND, "no such file" }, { ERROR_PATH_NOT_FOUND, "no such folder" },
        { SE_ERR_ACCESSDENIED, "denied" }, { SE_ERR_NOASSOC, "No program is set up to open this kind of file" },
        { SE_ERR_ASSOCINCOMPLETE, "not installed completely" }, { SE_ERR_SHARE, "holds it open" },
        { SE_ERR_DDETIMEOUT, "did not answer" }, { SE_ERR_OOM, "memory" }, { 0, "memory" },
        { ERROR_BAD_FORMAT, "not a program" }, { 17, "Windows could not open it" },
    };
    for (auto &reason : reasons) {
        FormatOpenFailure(text, sizeof text, longTarget.c_str(), reason.Result);
        std::string box = text;
        EXPECT_NE(std::string::npos, box.find(reason.Says)) << reason.Result << ": " << box;
        EXPECT_NE(std::string::npos, box.find("m\\wake up.mp3")) << box;
        EXPECT_NE(std::string::npos, box.find("its own alarm sound")) << box;
        EXPECT_NE(std::string::npos, box.find("set again for its next time")) << box;
    }
    FormatOpenFailure(text, sizeof text, "", 0);
    EXPECT_NE(std::string::npos, std::string(text).find("The File / URL field is empty.")) << text;

    FormatTargetWarning(text, sizeof text, "C:\\Music\\gone.mp3", TARGET_PATH);
    EXPECT_NE(std::string::npos, std::string(text).find("does not exist:\n\nC:\\Music\\gone.mp3\n")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("The alarm is set.")) << text;
    FormatTargetWarning(text, sizeof text, "", TARGET_EMPTY);
    EXPECT_EQ(0u, std::string(text).find("The File / URL field is empty")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("its own alarm sound")) << text;
    EXPECT_STRNE("Error", OPEN_FAILED_CAPTION);
    EXPECT_STRNE("Error", TARGET_CAPTION);
}

/* Every combination of what the sound check reads, against the rule
   written out: nothing read is fine; then no device, muted, under 10 %. */
TEST(SoundDecision, EveryCombinationOfWhatWasRead)
{
    const float levels[] = { 0.0f, 0.05f, 0.0999f, 0.10f, 0.5f, 1.0f };
    unsigned tried = 0;

    for (BOOL read = 0; read < 2; read++)
        for (BOOL present = 0; present < 2; present++)
            for (BOOL muted = 0; muted < 2; muted++)
                for (float level : levels) {
                    SoundOutput output = { read, present, muted, level };
                    SoundRefusal expected = !read ? SOUND_ON : !present ? SOUND_NO_OUTPUT : muted ? SOUND_MUTED
                                          : level < 0.1f ? SOUND_LOW : SOUND_ON;
                    EXPECT_EQ(expected, DecideSound(&output)) << read << present << muted << " " << level;
                    tried++;
                }
    EXPECT_EQ(48u, tried);
}

TEST(SoundDecision, WarningSaysWhatWasFoundAndWhatToDo)
{
    char text[512];

    FormatSoundWarning(text, sizeof text, SOUND_MUTED, 0.8f);
    EXPECT_EQ(0u, std::string(text).find("This computer's sound is muted.\n\nThe alarm is set, but it may not be "
                                         "heard. Unmute the sound before the alarm's time.")) << text;
    FormatSoundWarning(text, sizeof text, SOUND_LOW, 0.07f);
    EXPECT_EQ(0u, std::string(text).find("This computer's volume is at 7 %.")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("Turn the volume up before the alarm's time")) << text;
    FormatSoundWarning(text, sizeof text, SOUND_NO_OUTPUT, 0);
    EXPECT_EQ(0u, std::string(text).find("This computer has no sound output.")) << text;
    EXPECT_NE(std::string::npos, std::string(text).find("headphones")) << text;
    EXPECT_STRNE("Error", SOUND_CAPTION);
}
