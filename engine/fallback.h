/* When the target cannot be opened, or is missing at Activate: the boxes
   that say so.  The texts are pure functions, so any case can be tried. */
#ifndef TARROWICK_FALLBACK_H
#define TARROWICK_FALLBACK_H

#include "target.h"

#include <windows.h>
#include <stddef.h>

/* The box shown when the alarm could not open Target: what, why, and that
   its own sound rings and the alarm is set again.  Never past Size. */
void FormatOpenFailure(char *Text, size_t Size, const char *Target, INT_PTR Result);
#define OPEN_FAILED_CAPTION "Tarrowick could not open the alarm's target"

/* The warning at Activate for a target that is empty or missing.  Never past Size. */
void FormatTargetWarning(char *Text, size_t Size, const char *Target, TargetKind Kind);
#define TARGET_CAPTION "Tarrowick: the alarm's target is missing"

/* Shows the open-failure box for Target, owned by the main window, on the
   calling thread, and stops Tarrowick's own sound once the last such box
   is closed.  Call with no lock held. */
void ReportOpenFailure(const char *Target, INT_PTR Result);

#endif
