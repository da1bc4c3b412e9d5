/* A stand-in target for the alarm: each time the shell opens it, it appends
   one line to the file named by RECORDER_LOG, "<UTC ms since 1601> <length of
   its argument> <argument>", and releases the semaphore named by
   RECORDER_SEMAPHORE, so a test can wait for an opening and count them. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The command line past the program's own name. */
static const char *Argument(const char *Line)
{
    BOOL quoted = FALSE;

    for (; *Line && (quoted || (*Line != ' ' && *Line != '\t')); Line++)
        if (*Line == '"')
            quoted = !quoted;
    while (*Line == ' ' || *Line == '\t')
        Line++;
    return Line;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char log[MAX_PATH], name[MAX_PATH], head[64];
    const char *argument = Argument(GetCommandLineA());
    ULARGE_INTEGER now;
    FILETIME utc;
    HANDLE file, semaphore;
    DWORD written;
    size_t length = strlen(argument);
    char *line = (char *)malloc(length + sizeof head + 2);

    GetSystemTimeAsFileTime(&utc);
    now.LowPart = utc.dwLowDateTime;
    now.HighPart = utc.dwHighDateTime;
    if (!line || !GetEnvironmentVariableA("RECORDER_LOG", log, sizeof log))
        return 1;
    snprintf(head, sizeof head, "%llu %u ", now.QuadPart / 10000, (unsigned)length);
    strcpy(line, head);
    strcat(line, argument);
    strcat(line, "\n");

    /* Openings that overlap take turns: Wine appends by seeking to the end
       and writing, so two recorders at once could write at the same end and
       one line would be lost ("logged 42 openings, 43 were counted"). */
    snprintf(name, sizeof name, "%s-log", log);
    for (char *c = name; *c; c++)
        if (*c == '\\')
            *c = '/';
    HANDLE turn = CreateMutexA(NULL, FALSE, name);
    if (turn)
        WaitForSingleObject(turn, 10000);
    file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
        CloseHandle(file);
    }
    if (turn) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
    if (file == INVALID_HANDLE_VALUE)
        return 1;

    if (GetEnvironmentVariableA("RECORDER_SEMAPHORE", name, sizeof name)) {
        semaphore = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, name);
        if (semaphore) {
            ReleaseSemaphore(semaphore, 1, NULL);
            CloseHandle(semaphore);
        }
    }
    free(line);
    return 0;
}
