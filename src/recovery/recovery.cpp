/*
 * recovery.cpp - restoring recorded levels.
 *
 * Not built yet: every operation fails, so no caller takes an installation
 * for restored when it was not.
 */
#include "recovery/recovery.h"

#include "shell/log.h"

int RestoreBaseRelease(const char* szBaseLabel, const char* szOtherLabel)
{
    (void)szBaseLabel;
    (void)szOtherLabel;
    LogLine("Restoring a recorded level is not available in this build", 1);
    return 0;
}

int RestoreBadFixpack(void)
{
    LogLine("Restoring a recorded level is not available in this build", 1);
    return 0;
}

int RestoreFiles(const char* szLabel)
{
    (void)szLabel;
    LogLine("Restoring a recorded level is not available in this build", 1);
    return 0;
}
