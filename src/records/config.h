/*
 * config.h - the language-pack keys of the product's configuration file and
 * the saved copies of the configuration and patch registry files.
 */
#ifndef HERON_RECORDS_CONFIG_H
#define HERON_RECORDS_CONFIG_H

/* 1 or 0; szTarget the level installed after the run, szSource before it. */
int UpdateQuillIni(const char* szTargetLabel, const char* szSourceLabel);

/* Puts szBackup back over szFile (configuration files and "PATCH.INI"). */
int RestoreQuillIni(const char* szFile, const char* szBackup);

/* Rolls the language-pack keys forward (the special revert path). */
void RollLpForward(void);

/* Copies szFile to szBackup unless szBackup exists. */
int BackupIfMissing(const char* szBackup, const char* szFile);

/* Removes the emptied backup directories of the recorded levels. */
void RemoveBackupDirs(void);

/* 1 when szDirectory was removed. */
int RemoveIniBackups(const char* szDirectory);

#endif
