/*
 * store.h - the package store: resources by kind and id, the string table,
 * the file table built from the release table, and the contents listing.
 *
 * Resource kinds (type name, id):
 *   1 "VERSION"         1        the release table, plain
 *   2 "FILEENTRY"       1..N     record of payload file N, plain
 *   3 "UPDATE"          1..N     payload file N, compressed
 *   5 "LICENSEENTRY"    2        the agreement text, compressed
 *   6 "UPDATE64ENTRY"   3        the version-stamp tool, compressed
 *   7 "UPDATECABENTRY"  4        the cabinet tool, compressed
 * Kind 4 exists in no package. A compressed resource is a 4-byte
 * little-endian uncompressed size followed by a DCL implode stream.
 *
 * FILEENTRY record (little-endian, n + 37 bytes):
 *   0       n+1  relative path, NUL-terminated, "\" between directories
 *   n+1     4    kind: 1 delta, 2 whole file, 3 removed, 4 earlier fix
 *   n+5     4    directory: 1 program, 2 each data directory, 3 system
 *   n+9     4    old size        n+13  4  new size
 *   n+17    4    old CRC-32      n+21  4  new CRC-32
 *   n+25    4    old time        n+29  4  new time (seconds since 1970, UTC)
 *   n+33    4    delta blocks
 *
 * VERSION resource (release table, little-endian):
 *   0    100  from-release label field     100  100  to-release label field
 *   200  4    key-file value               204  4    checksum record count
 *   208  4    new key-file CRC-32          212  4    payload count
 *   216  4    file record count (when the upgrade type is not 0)
 *   220  4    data space (KB)              224  4    program space (KB)
 *   228  4    upgrade type (0, 1 hotfix, 2 fix pack)
 *   232  ...  checksum records: CRC-32 (4), label field (100), name + NUL
 *        ...  file records: name length (4), kind (4), directory (4),
 *             old CRC-32 (4), new CRC-32 (4), payload id (4), name + NUL
 * A label field is the label text, blanks, "|" filler up to byte 98, and a
 * NUL in byte 99.
 */
#ifndef HERON_PACKAGE_STORE_H
#define HERON_PACKAGE_STORE_H

#include "platform/platform.h"

#define KIND_VERSION 1
#define KIND_FILEENTRY 2
#define KIND_UPDATE 3
#define KIND_LICENSE 5
#define KIND_UPDATE64 6
#define KIND_UPDATECAB 7

#define FILE_KIND_DELTA 1
#define FILE_KIND_WHOLE 2
#define FILE_KIND_REMOVED 3
#define FILE_KIND_EARLIER 4

#define DIR_PROGRAM 1
#define DIR_DATA 2
#define DIR_SYSTEM 3

#define VERSION_HEADER_SIZE 232
#define LABEL_FIELD_SIZE 100
#define CHECKSUM_RECORD_FIXED 104
#define FILE_RECORD_FIXED 24
#define FILEENTRY_FIXED 36

#define FILE_TABLE_SLOTS 20001
#define FILE_TABLE_MAX 20000

/* The fields after the name of a FILEENTRY record. */
typedef struct FILEENTRY_FIELDS {
    DWORD dwKind;
    DWORD dwDirectory;
    DWORD dwOldSize;
    DWORD dwNewSize;
    DWORD dwOldCrc;
    DWORD dwNewCrc;
    DWORD dwOldTime;
    DWORD dwNewTime;
    DWORD dwDeltaBlocks;
} FILEENTRY_FIELDS;

/* One entry of the file table. */
typedef struct FILE_TABLE_ENTRY {
    char* lpFile;       /* relative path, own copy; NULL in empty slots */
    DWORD dwDirectory;  /* 1 program, 2 data, 3 system */
    DWORD dwOldCrc;     /* CRC-32 of the installed file the package replaces */
    DWORD dwPayloadId;  /* id of its FILEENTRY and UPDATE resources */
    DWORD dwKind;       /* kind code of the file record */
    DWORD dwNewCrc;     /* CRC-32 of the new file */
} FILE_TABLE_ENTRY;

/* The bytes of the resource of a kind (and, for kinds 2 and 3, an id); NULL
 * when the kind is unknown or the resource is missing. *pcbSize (optional)
 * receives the length. The bytes stay valid for the whole run. */
const BYTE* FindPayload(DWORD dwId, int iKind, DWORD* pcbSize);
/* Loads string ids 0, 1, ... up to the first without text into gpStrings;
 * gdwStringCount = the number loaded. 1 when at least one loaded. */
int LoadStrings(void);
/* Releases the string table. */
void FreeStrings(void);
/* Reads the release table into the caller's FILE_TABLE_SLOTS entries and
 * returns the number of file records, 0 when the release table is missing or
 * damaged (error box with string 32, owned by the wizard when it exists;
 * then gdwChecksums, dwNumFiles and gdwPayloadCount are all 0).
 * Sets gdwChecksums, dwNumFiles and, when the upgrade type is not 0,
 * gdwPayloadCount. Never fills slots beyond FILE_TABLE_MAX. */
DWORD LoadFileTable(FILE_TABLE_ENTRY* pTable);
/* Releases the names of a table filled by LoadFileTable. */
void FreeFileTable(FILE_TABLE_ENTRY* pTable);
/* Reads a FILEENTRY record: the name (at most cbName-1 characters) and its
 * fields. 0 when the record is missing or shorter than it claims. */
int ReadFileEntry(DWORD dwId, char* szName, size_t cbName, FILEENTRY_FIELDS* pFields);
/* 1 when the last LoadFileTable found the release table missing or damaged
 * (not merely empty). */
int FileTableDamaged(void);
/* The CONTENTS mode: an information box with the package's file names.
 * Returns 0 when the release table is missing or damaged, else 1. */
int ListContents(void);

/* Little-endian helpers for package bytes. */
DWORD ReadLe32(const BYTE* pb);

#endif
