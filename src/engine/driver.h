/*
 * driver.h - one upgrade or revert from end to end.
 *
 * Order of one run: the file table from the release table's file records
 * (refused whole when a record is damaged), the key file's copy for the
 * level (fix packs, before anything is replaced), the two file phases, the
 * key file's copy back (revert), the release stamp, the configuration keys,
 * and the record of the fix or the removal of emptied backup directories.
 * Nothing after a failed step changes the configuration or the records.
 *
 * A run that fails in its file phases puts the files back as they were
 * before it: an upgrade from the backups it made (and from copies it keeps of
 * the files a delta replaces), a revert from copies it keeps of every target
 * and of the backups it consumes. The log says which files came back.
 */
#ifndef HERON_ENGINE_DRIVER_H
#define HERON_ENGINE_DRIVER_H

#include "package/store.h"

/* 1 when the upgrade or revert and its follow-up steps succeeded. */
int UpgradeQuillVersion(void);

/* What the last failed run of UpgradeQuillVersion failed at (a log line of
 * it), "" after a success. */
extern char gszDriverFailure[260];

/*
 * Builds the driver's file table from the release table's file records:
 * slot k (1 to dwEntries) gets the name and directory of the record whose
 * entry number is k. pbRecords holds dwRecords records in cbRecords bytes.
 * 1 when every record is whole, names an entry from 1 to dwEntries that no
 * other record names, and every entry is named; otherwise 0 with the reason
 * logged, and the table is left empty. Logs each record as read.
 */
int BuildDriverTable(const BYTE* pbRecords, DWORD cbRecords, DWORD dwRecords, DWORD dwEntries,
                     FILE_TABLE_ENTRY* pTable);

/*
 * Stamps szLabel into the key file with the version-stamp tool and checks the
 * tool's exit code: 1 when the tool ran and reported success, else 0 (logs
 * the command line and "Failed to upgrade qstrings.dll version: %d" when it
 * could not start, "The version-stamp tool failed with exit code %d" when it
 * failed). Logs the key file's path and "Upgraded version to %s" on success.
 * The program directory is the current directory afterwards.
 */
int StampKeyFile(const char* szLabel);

/* A revert that was stopped after its files and stamp were back, before its
 * records (the note "UPRBREVERT.INI" in the program directory names its
 * level, and the installation is identified at that level): finishes the
 * records (key file, configuration keys, patch registry, level directories).
 * Called after identification, never in a dry run. 1 when it finished one
 * (gbRevertFinished is then set: a revert to that level has nothing left to
 * do), 0 when there was none to finish, -1 when finishing failed (logged;
 * the note stays for the next run). */
int FinishStoppedRevert(void);
extern int gbRevertFinished;

#endif
