/* Whether the computer's own sound output will let the alarm be heard:
   Tarrowick cannot turn a muted computer up, but it can say so while the
   user is still there to do it. */
#ifndef TARROWICK_VOLUME_H
#define TARROWICK_VOLUME_H

#include <windows.h>
#include <stddef.h>

/* What was read of the default output device for the console role. */
struct SoundOutput {
    BOOL Read;     /* Core Audio answered: a device, or that there is none */
    BOOL Present;  /* there is a default output device */
    BOOL Muted;    /* it is muted */
    float Level;   /* its master volume, from 0 to 1 */
};

/* Why the alarm may not be heard, if it may not. */
enum SoundRefusal {
    SOUND_ON,         /* nothing says it will not be heard, or nothing could be read */
    SOUND_NO_OUTPUT,  /* there is no output device at all */
    SOUND_MUTED,      /* the output is muted */
    SOUND_LOW         /* the volume is below SOUND_LOW_LEVEL */
};

/* Below a tenth of the full volume an alarm in the next room wakes nobody. */
#define SOUND_LOW_LEVEL 0.10f

/* The decision for what was read; pure, so any combination can be tried. */
SoundRefusal DecideSound(const SoundOutput *Output);

/* The warning for Refusal, Level being the volume read; never past Size. */
void FormatSoundWarning(char *Text, size_t Size, SoundRefusal Refusal, float Level);
#define SOUND_CAPTION "Tarrowick: the alarm may not be heard"

/* Reads the default output device through Core Audio (the calling thread
   has COM set up); tests point it elsewhere.  Window thread. */
typedef void (*SoundOutputCall)(SoundOutput *Output);
extern SoundOutputCall ReadSoundOutput;
void ReadCoreAudio(SoundOutput *Output);

/* The state last warned of in this run, SOUND_ON once the sound is found
   on again (window thread). */
extern SoundRefusal SoundWarned;

/* After Activate or Test: reads the sound output and, when the alarm may
   not be heard, says so in a box owned by the main window, once for each
   state.  Window thread, no lock held, after the status line and the wake
   warning. */
void WarnIfSilent(void);

#endif
