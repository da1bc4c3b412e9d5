/* What the alarm's target is: a path that can be looked up, or something
   the shell resolves by itself, and the words for why it could not be
   opened.  Pure functions, so any target can be tried. */
#ifndef TARROWICK_TARGET_H
#define TARROWICK_TARGET_H

#include <windows.h>
#include <stddef.h>

/* What kind of target the field holds, for the check at Activate. */
enum TargetKind {
    TARGET_EMPTY,  /* nothing, or only blanks or a pair of quotes */
    TARGET_PATH,   /* a full path (C:\... or \\server\...), which can be looked up */
    TARGET_OTHER   /* a web address, or anything else the shell resolves: not checked */
};

/* The kind of Target; for a path, *Path gets it without the quotes the
   shell would drop. */
TargetKind ClassifyTarget(const char *Target, char *Path, size_t Size);

/* TRUE when a look-up of a path that gave Attributes and left Error says
   that it is not there (as opposed to there but not readable). */
BOOL IsMissingTarget(DWORD Attributes, DWORD Error);

/* Target as it fits in a box: a long one keeps its start and its end, where
   the file's name is, with "..." between.  Never past Size. */
void ShortenTarget(char *Text, size_t Size, const char *Target);

/* Why the shell could not open Target, from ShellExecuteA's Result (32 or
   less; an empty target is never handed to the shell). */
const char *OpenFailureReason(const char *Target, INT_PTR Result);

#endif
