#pragma once

#include <QtGlobal>

// The one rounding rule of every percentage the user sees (the download popup, the update bar):
// whole percents rounded down in integers, so that 29 of 100 is 29 and not the 28 that a
// truncated 29.0 / 100 * 100 gives, and 100 only when done.
inline int percentOf(qint64 done, qint64 total)
{
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return 100;
    return int(done * 100 / total);
}
