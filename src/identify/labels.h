/*
 * labels.h - the checksum table, the match of the installed release against
 * the package's older levels, the backup search and the revert labels.
 *
 * The checksum table holds one entry per checksum record of the release
 * table, in record order; the restore of recorded levels reads it as well.
 */
#ifndef HERON_IDENTIFY_LABELS_H
#define HERON_IDENTIFY_LABELS_H

#include "platform/platform.h"

/* One checksum record, as identification keeps it for the run. */
typedef struct CHECKFILE {
    char* lpFile;                /* own copy of the record's relative file name */
    char canReleaseLabel[101];   /* the record's label, trimmed by TrimLabel */
    DWORD dwChecksum;            /* CRC-32 in that release; 0: not in that release */
    DWORD bPresent;              /* 1: a file record names it and it is installed */
    DWORD dwDir;                 /* directory code of that file record; 0 while not present */
    DWORD dwPayloadNum;          /* payload number N of its backup name; 0 while unknown */
} CHECKFILE, *PCHECKFILE;

/* Entries 0 to gdwChecksums - 1 are filled by VerifyLabels; the table grows
 * as needed (gdwCheckFileSlots slots allocated). */
extern PCHECKFILE* gpCheckFileTable;
extern DWORD gdwCheckFileSlots;

/*
 * Builds the checksum table from the release table's checksum records
 * (pbRecords, cbRecords bytes up to the resource's end), matches the
 * installed release, repairs backups and gathers the revert labels.
 * 1 when the installed release is one of the package's older levels.
 */
int VerifyLabels(const BYTE* pbRecords, DWORD cbRecords, const char* szToLabel, DWORD dwNumFiles);

/* 1 when a copy with entry dwNew's checksum now stands at its backup path. */
int FoundBackup(DWORD dwNew);

#endif
