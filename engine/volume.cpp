/* Core Audio in plain C style, through the interfaces' tables of calls. */
#define CINTERFACE
#define COBJMACROS
#include "volume.h"
#include "alarm.h"

#include <objbase.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <stdio.h>

SoundOutputCall ReadSoundOutput = ReadCoreAudio;
SoundRefusal SoundWarned = SOUND_ON;

SoundRefusal DecideSound(const SoundOutput *Output)
{
    /* An error, or no Core Audio (before Vista, or a system without it),
       is taken as fine: a warning that may be wrong would teach the user
       to ignore the one that is right. */
    if (!Output->Read)
        return SOUND_ON;
    if (!Output->Present)
        return SOUND_NO_OUTPUT;
    if (Output->Muted)
        return SOUND_MUTED;
    return Output->Level < SOUND_LOW_LEVEL ? SOUND_LOW : SOUND_ON;
}

void FormatSoundWarning(char *Text, size_t Size, SoundRefusal Refusal, float Level)
{
    char found[96];
    const char *todo;

    switch (Refusal) {
    case SOUND_NO_OUTPUT:
        snprintf(found, sizeof found, "This computer has no sound output");
        todo = "Connect or switch on speakers or headphones";
        break;
    case SOUND_MUTED:
        snprintf(found, sizeof found, "This computer's sound is muted");
        todo = "Unmute the sound";
        break;
    default:
        snprintf(found, sizeof found, "This computer's volume is at %d %%", (int)(Level * 100 + 0.5f));
        todo = "Turn the volume up";
        break;
    }
    snprintf(Text, Size,
             "%s.\n\nThe alarm is set, but it may not be heard. %s before the alarm's time.\n\n"
             "Tarrowick cannot see the volume of the program that plays your song, nor "
             "whether headphones are plugged in.", found, todo);
}

/* Core Audio's identifiers, written out: not every SDK's import libraries
   hold them. */
static const GUID DeviceEnumeratorClass = { 0xBCDE0395, 0xE52F, 0x467C, { 0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E } };
static const GUID DeviceEnumeratorInterface = { 0xA95664D2, 0x9614, 0x4F35, { 0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6 } };
static const GUID EndpointVolumeInterface = { 0x5CDF2C82, 0x841E, 0x4546, { 0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A } };

void ReadCoreAudio(SoundOutput *Output)
{
    IMMDeviceEnumerator *devices = NULL;
    IMMDevice *device = NULL;
    IAudioEndpointVolume *volume = NULL;
    HRESULT found;

    ZeroMemory(Output, sizeof *Output);
    if (FAILED(CoCreateInstance(DeviceEnumeratorClass, NULL, CLSCTX_INPROC_SERVER, DeviceEnumeratorInterface,
                                (void **)&devices)))
        return;
    found = IMMDeviceEnumerator_GetDefaultAudioEndpoint(devices, eRender, eConsole, &device);
    /* No default output device is an answer too. */
    if (found == HRESULT_FROM_WIN32(ERROR_NOT_FOUND))
        Output->Read = TRUE;
    else if (SUCCEEDED(found)
             && SUCCEEDED(IMMDevice_Activate(device, EndpointVolumeInterface, CLSCTX_INPROC_SERVER, NULL,
                                             (void **)&volume))
             && SUCCEEDED(IAudioEndpointVolume_GetMute(volume, &Output->Muted))
             && SUCCEEDED(IAudioEndpointVolume_GetMasterVolumeLevelScalar(volume, &Output->Level)))
        Output->Read = Output->Present = TRUE;
    if (volume)
        IAudioEndpointVolume_Release(volume);
    if (device)
        IMMDevice_Release(device);
    IMMDeviceEnumerator_Release(devices);
}

void WarnIfSilent(void)
{
    SoundOutput output;
    char text[512];

    ReadSoundOutput(&output);
    SoundRefusal refusal = DecideSound(&output);
    /* Once for each state: the same again says nothing, a new one, or the
       same after it was put right, says it again. */
    if (refusal == SoundWarned)
        return;
    SoundWarned = refusal;
    if (refusal == SOUND_ON)
        return;
    FormatSoundWarning(text, sizeof text, refusal, output.Level);
    MessageBoxA(MainWindow, text, SOUND_CAPTION, MB_ICONWARNING);
}
