/*
 * config.h - the language-pack keys of the product's configuration file and
 * the saved copies of the configuration and patch registry files.
 *
 * Keys of section "Quill" of QUILL.INI: CFP_LP_CURRENT (the level installed),
 * CFP_LP_PREV (the level before the last change), CFP_LP_BASE_VERSION (the
 * base release of the current level). Before a run changes them, the whole
 * configuration file is saved as QUILL_INI.BCK, and PATCH.INI as
 * PATCH_INI.BCK, into the backup directory of the level that is left; a
 * backup once made is never overwritten. A revert puts the keys back from
 * that copy and PATCH.INI back whole. An empty QUILL_INI.BCK stands for a
 * configuration file that the upgrade created: the revert deletes it again.
 *
 * Configuration file of data directory i: with one data directory the
 * program directory's QUILL.INI; with several the data directory's, or the
 * program directory's when the data directory has none (handled once per run
 * even when several data directories share it).
 */
#ifndef HERON_RECORDS_CONFIG_H
#define HERON_RECORDS_CONFIG_H

#define CONFIG_FILE_NAME "QUILL.INI"
#define CONFIG_BACKUP_NAME "QUILL_INI.BCK"
#define PATCH_BACKUP_NAME "PATCH_INI.BCK"

/* 1 or 0; szTarget the level installed after the run, szSource before it. */
int UpdateQuillIni(const char* szTargetLabel, const char* szSourceLabel);

/* Puts szBackup back over szFile (configuration files and "PATCH.INI"). */
int RestoreQuillIni(const char* szFile, const char* szBackup);

/* Puts PATCH_INI.BCK back over the patch registry file szFile whole.
 * 1 restored (or nothing to do in a "QSD" package), 0 no backup, -1 the copy
 * failed (szFile is then left as it was). */
int RestorePatchIniWhole(const char* szFile, const char* szBackup);

/* Rolls the language-pack keys forward (the special revert path). */
void RollLpForward(void);

/* Copies szFile to szBackup unless szBackup exists. */
int BackupIfMissing(const char* szBackup, const char* szFile);

/* Copies szSource over szDest; 1 only when the copy is whole (same size as
 * the source), so a short write is a failure. */
int CopyFileWhole(const char* szSource, const char* szDest);

/* Removes the emptied backup directories of the recorded levels. */
void RemoveBackupDirs(void);

/* 1 when szDirectory was removed. */
int RemoveIniBackups(const char* szDirectory);

/* Set by UpdateQuillIni when a revert put the patch registry file back from
 * its backup: RemoveBackupDirs then keeps it (it holds the earlier levels). */
extern int gbPatchIniRestored;

/* Set while a revert that was stopped after it put the patch registry file
 * back (and removed the file's backup) is finished: the file stays. */
extern int gbPatchIniPutBack;

#endif
