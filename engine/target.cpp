#include "target.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

TargetKind ClassifyTarget(const char *Target, char *Path, size_t Size)
{
    size_t start = 0, end = strlen(Target);

    while (start < end && (Target[start] == ' ' || Target[start] == '\t'))
        start++;
    while (end > start && (Target[end - 1] == ' ' || Target[end - 1] == '\t'))
        end--;
    /* The shell drops a pair of quotes around the whole target. */
    if (end - start >= 2 && Target[start] == '"' && Target[end - 1] == '"') {
        start++;
        end--;
    }
    if (start == end)
        return TARGET_EMPTY;
    const char *t = Target + start;
    BOOL drive = end - start >= 3 && ((t[0] | 0x20) >= 'a' && (t[0] | 0x20) <= 'z') && t[1] == ':'
              && (t[2] == '\\' || t[2] == '/');
    BOOL share = end - start >= 3 && (t[0] == '\\' || t[0] == '/') && t[1] == t[0];
    if (!drive && !share)
        return TARGET_OTHER;
    snprintf(Path, Size, "%.*s", (int)(end - start), t);
    return TARGET_PATH;
}

BOOL IsMissingTarget(DWORD Attributes, DWORD Error)
{
    if (Attributes != INVALID_FILE_ATTRIBUTES)
        return FALSE;
    switch (Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:       /* a drive with no disk in it */
    case ERROR_BAD_NETPATH:     /* a server that is not there */
    case ERROR_BAD_NET_NAME:    /* a share that is not there */
        return TRUE;
    }
    /* Access denied and the like: it is there, and its player may read it. */
    return FALSE;
}

void ShortenTarget(char *Text, size_t Size, const char *Target)
{
    const size_t limit = 120, head = 50;
    size_t length = strlen(Target);

    if (length <= limit)
        snprintf(Text, Size, "%s", Target);
    else
        snprintf(Text, Size, "%.*s...%s", (int)head, Target, Target + length - (limit - head - 3));
}

const char *OpenFailureReason(const char *Target, INT_PTR Result)
{
    if (!*Target)
        return "The File / URL field is empty.";
    switch (Result) {
    case ERROR_FILE_NOT_FOUND:
        return "There is no such file.";
    case ERROR_PATH_NOT_FOUND:
        return "There is no such folder or drive.";
    case SE_ERR_ACCESSDENIED:
        return "Access to it is denied.";
    case ERROR_BAD_FORMAT:
        return "It is not a program that this computer can run.";
    case SE_ERR_NOASSOC:
        return "No program is set up to open this kind of file.";
    case SE_ERR_ASSOCINCOMPLETE:
        return "The program set up for this kind of file is not installed completely.";
    case SE_ERR_SHARE:
        return "Another program holds it open.";
    case SE_ERR_DDEBUSY:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDETIMEOUT:
        return "The program for it did not answer.";
    case SE_ERR_DLLNOTFOUND:
        return "A part of Windows needed to open it could not be loaded.";
    case 0:
    case SE_ERR_OOM:
        return "The computer ran out of memory.";
    }
    return "Windows could not open it.";
}
