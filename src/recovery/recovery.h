/*
 * recovery.h - restoring the files of a recorded level, and bringing an
 * installation back to the package's base release or another fix-pack level.
 */
#ifndef HERON_RECOVERY_RECOVERY_H
#define HERON_RECOVERY_RECOVERY_H

#include <stddef.h>

/* 1 when the installation is at szBaseLabel, found so or restored from its
 * backups; 0 when it could not be brought there. szOtherLabel is not used.
 * Backups that are present but fail their recorded checksums are restored
 * only with FORCE; missing ones leave the set usable with gaps. A hotfix that
 * would revert a fix pack asks first; an unattended run answers No. */
int RestoreBaseRelease(const char* szBaseLabel, const char* szOtherLabel);

/* 1 when the fix-pack level of the revert label was restored. */
int RestoreBadFixpack(void);

/*
 * 1 when every file of the recorded level szLabel was restored: for each
 * entry of the level's section of the patch registry file, the installed
 * file is first saved into the installed release's backup directory
 * (gszBackupDir is left naming it), then the recorded backup is copied over
 * it, in the program directory or in every data directory that holds it.
 * A failed save or copy fails the result (a failed save leaves that file
 * untouched); a missing backup is looked for in every recorded level.
 */
int RestoreFiles(const char* szLabel);

/* 1 when a backup named szName in one of the recorded levels' backup
 * directories matches szChecksum ("%#lxL"), or the package's old checksum of
 * the file that szTarget names, and was copied over szTarget. */
int FindBackupInLabels(const char* szName, const char* szTarget, const char* szChecksum);

/* A file of the program directory that starts like szFile (less its
 * extension) and has the package's old checksum of szFile: its name relative
 * to the program directory in szOut, else szOut is empty. */
void FindBackupByChecksum(const char* szFile, char* szOut, size_t cbOut);

#endif
