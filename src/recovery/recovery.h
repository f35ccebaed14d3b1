/*
 * recovery.h - restoring the files of a recorded level, and bringing an
 * installation back to the package's base release or another fix-pack level.
 */
#ifndef HERON_RECOVERY_RECOVERY_H
#define HERON_RECOVERY_RECOVERY_H

/* 1 when the installation is at szBaseLabel, found so or restored from its
 * backups; 0 when it could not be brought there. szOtherLabel is not used. */
int RestoreBaseRelease(const char* szBaseLabel, const char* szOtherLabel);

/* 1 when the fix-pack level of the revert label was restored. */
int RestoreBadFixpack(void);

/* 1 when the files of the recorded level szLabel were restored. */
int RestoreFiles(const char* szLabel);

#endif
