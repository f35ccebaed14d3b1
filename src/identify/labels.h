/*
 * labels.h - the checksum table, the match of the installed release against
 * the package's older levels, the backup search and the revert labels; and
 * the bounded readers of the release table's records that every part of
 * identification walks with.
 *
 * Release table after its 232-byte header (package/store.h draws it):
 *
 *   checksum record   CRC-32 (4) | label field (100) | name ... NUL
 *   ... gdwChecksums of them, then
 *   file record       name length (4) | kind (4) | directory (4) |
 *                     old CRC-32 (4) | new CRC-32 (4) | payload id (4) |
 *                     name ... NUL
 *
 * Records are not aligned; every field is copied out before use. A record
 * whose name does not end inside the resource, or a count that runs past the
 * resource's end, makes the table damaged: the readers say so and never read
 * beyond the bytes that are there.
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
 * The caller has checked the records with ReleaseTableLayout; a table that
 * is damaged all the same ends the walk early (result 0).
 * An entry that cannot be allocated: "Failed to allocate PCHECKFILE" and the
 * process ends with exit code 1.
 */
int VerifyLabels(const BYTE* pbRecords, DWORD cbRecords, const char* szToLabel, DWORD dwNumFiles);

/* 1 when a copy with entry dwNew's checksum now stands at its backup path. */
int FoundBackup(DWORD dwNew);

/* ---- Release-table records ------------------------------------------------ */

#define CHECKSUM_LABEL_FIELD 100

typedef struct CHECKSUM_RECORD {
    DWORD dwCrc;
    char szLabel[CHECKSUM_LABEL_FIELD + 1]; /* the label field, NUL-terminated (not trimmed) */
    const char* pszName;                    /* the record's name, inside the resource */
} CHECKSUM_RECORD;

typedef struct RELEASE_FILE_RECORD {
    DWORD dwNameLength;
    DWORD dwKind;
    DWORD dwDir;
    DWORD dwOldCrc;
    DWORD dwNewCrc;
    DWORD dwPayload;
    const char* pszName; /* inside the resource, NUL-terminated */
} RELEASE_FILE_RECORD;

/* Reads the checksum record at *pdwOffset of pb (cb bytes) and moves the
 * offset past it. 0 when the record does not end inside the bytes. */
int NextChecksumRecord(const BYTE* pb, DWORD cb, DWORD* pdwOffset, CHECKSUM_RECORD* pRecord);
/* The same for a file record. */
int NextFileRecord(const BYTE* pb, DWORD cb, DWORD* pdwOffset, RELEASE_FILE_RECORD* pRecord);
/*
 * Checks that dwChecksums checksum records and then dwFiles file records lie
 * inside pb (cb bytes, starting with the first checksum record); the offset
 * of the first file record goes to *pdwFiles. 1 when they all fit, 0 for a
 * damaged table.
 */
int ReleaseTableLayout(const BYTE* pb, DWORD cb, DWORD dwChecksums, DWORD dwFiles, DWORD* pdwFiles);

/* ---- Revert labels ---------------------------------------------------------- */

/* Releases every revert label; giFixLabels becomes 0. */
void ResetFixLabels(void);
/* Appends a copy of at most 100 characters of szLabel, trimmed by TrimLabel;
 * the table grows as needed. The new index, or -1 when memory ran out (the
 * label is then left out, logged "Can't allocate memory for a revert label"). */
int AddFixLabel(const char* szLabel);

/* ---- The wizard's status line and file gauge, as identification drives them */

/* Control 1012 of the wizard shows szText (nothing without a wizard). */
void IdentShowStatus(const char* szText);
/* Control 1012 hidden. */
void IdentHideStatus(void);
/* A gauge command (set range 102, set position 103) to the gauge, then the
 * window messages are drained. */
void IdentGauge(HWND hGauge, int iCommand, DWORD dwValue);
/* 1 when the environment variable exists, whatever its value. */
int IdentEnvSet(const char* szName);

#endif
