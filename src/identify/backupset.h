/*
 * backupset.h - verification of a recorded level's backups and of a level's
 * installed files against the patch registry file.
 */
#ifndef HERON_IDENTIFY_BACKUPSET_H
#define HERON_IDENTIFY_BACKUPSET_H

#include "platform/platform.h"

/* 1: every backup of the level is present with its recorded checksum (or
 * tolerated); 0: a backup does not match in a package with upgrade type 0;
 * -1: a backup does not match in any other package, an unlisted kind cannot
 * be read, or the registry cannot be read. Trims trailing blanks off szLabel. */
int VerifyBackupSet(char* szLabel);

/* 2: the level passes; 0: the key file does not match its recorded checksum;
 * 1: the registry cannot be read. Writes its findings to pfListing (may be
 * NULL). Trims trailing blanks off szLabel. */
int CheckInstalledFiles(char* szLabel, PLATFILE* pfListing);

#endif
