#include "fallback.h"
#include "alarmsound.h"
#include "alarm.h"

#include <stdio.h>

void FormatOpenFailure(char *Text, size_t Size, const char *Target, INT_PTR Result)
{
    char shown[128];

    ShortenTarget(shown, sizeof shown, Target);
    snprintf(Text, Size,
             "The alarm went off, but Tarrowick could not open its target:\n\n%s\n\n%s\n\n"
             "Tarrowick is ringing its own alarm sound instead; close this box to stop it. "
             "The alarm is set again for its next time.",
             *Target ? shown : "(nothing)", OpenFailureReason(Target, Result));
}

void FormatTargetWarning(char *Text, size_t Size, const char *Target, TargetKind Kind)
{
    char shown[128];

    ShortenTarget(shown, sizeof shown, Target);
    if (Kind == TARGET_EMPTY)
        snprintf(Text, Size,
                 "The File / URL field is empty, so the alarm has nothing to open.\n\n"
                 "The alarm is set, and at its time Tarrowick will ring its own alarm sound. "
                 "To wake to a song or a web page, switch the alarm off, fill in the field and "
                 "switch it on again.");
    else
        snprintf(Text, Size,
                 "The alarm's target does not exist:\n\n%s\n\n"
                 "The alarm is set. If the file is still missing at the alarm's time, Tarrowick "
                 "will ring its own alarm sound instead. To wake to your song, choose a file "
                 "that exists, and make sure its disk or network share will be there then.",
                 shown);
}

static LONG AlarmSoundBoxes;  /* open-failure boxes up; any thread, interlocked */

void ReportOpenFailure(const char *Target, INT_PTR Result)
{
    char text[1024];

    FormatOpenFailure(text, sizeof text, Target, Result);
    InterlockedIncrement(&AlarmSoundBoxes);
    MessageBoxA(MainWindow, text, OPEN_FAILED_CAPTION, MB_ICONWARNING);
    if (InterlockedDecrement(&AlarmSoundBoxes) == 0)
        StopAlarmSound();
}
