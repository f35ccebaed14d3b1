/*
 * backupset.h - verification of a recorded level's backups and of a level's
 * installed files against the patch registry file.
 *
 * A level's section of the registry file ("%s\\%s" of the program directory
 * and gpszPatchIni) is named by its label in double quotes and lists, for
 * k = 001, 002, ...: File%03d (relative name), Checksum%03d (CRC-32 as
 * "%#lxL") and BackupName%03d (backup path relative to the program
 * directory). A checksum text is read as the number it stands for
 * (ParseChecksumText of records/patchini.h), so "0L", "0x0L" and "0x1a2bL"
 * compare by value.
 */
#ifndef HERON_IDENTIFY_BACKUPSET_H
#define HERON_IDENTIFY_BACKUPSET_H

#include "platform/platform.h"

/*
 * 1: every backup of the level is present with its recorded checksum (or is
 * one the check tolerates); -1: usable with gaps (a backup of an unlisted
 * kind cannot be read, or the registry cannot be read); 0: unusable (a
 * backup is present with another checksum and is not tolerated, or the
 * registry has no entry for the level at all). Sets gdwBackupCount.
 * Trims trailing blanks off szLabel.
 */
int VerifyBackupSet(char* szLabel);

/* 2: the level passes; 0: the key file does not match its recorded checksum;
 * 1: the registry cannot be read. Writes its findings to pfListing (may be
 * NULL). Trims trailing blanks off szLabel. A level without a section
 * passes with nothing written. */
int CheckInstalledFiles(char* szLabel, PLATFILE* pfListing);

#endif
