/*
 * patchini.h - the patch registry file and the backup layout: release label
 * rules, backup names, and the recording of an installed fix.
 *
 * The patch registry file ("%s\\%s" of the program directory and
 * gpszPatchIni: "PATCH.INI", or "GWA.INI" in a web-access package) is a
 * profile file, written and read only through platform/profile.h:
 *
 *   [FIXPACKS]                   levels installed by fix packs
 *   Label001="<label>"           numbered from 001 without gaps, in the
 *   Label002="<label>"           order the levels were first recorded
 *   [HOTFIXES]                   the same for hotfixes
 *   ["<label>"]                  one section per level; the quotes are part
 *   File001=<relative path>      of the section name
 *   Checksum001=0x<crc>L         "%#lxL" of the file's CRC-32 at that level
 *   BackupName001=<dir>\<file>   BackupEntryPath of the label, file and N
 *   File002=...
 *
 * A release label is the word Release, a blank, the release name, "|" and
 * the release date; a label field pads it with blanks and "|" filler, which
 * TrimLabel removes. Backup directory of a level: BackupDirName(label) in the
 * program directory; backup file of a record: "%s%04d.IIB" of the file's
 * base name less its extension and the payload number N.
 */
#ifndef HERON_RECORDS_PATCHINI_H
#define HERON_RECORDS_PATCHINI_H

#include "platform/platform.h"

/* Size of the buffers that BackupDirName, BackupFileName and BackupEntryPath fill. */
#define BACKUP_NAME_SIZE 260

#define PATCHINI_FIXPACKS "FIXPACKS"
#define PATCHINI_HOTFIXES "HOTFIXES"
#define PATCHINI_END_MARK "DEFAULT"
#define PATCHINI_VALUE_SIZE 260

/* The size of a file record of the release table before its name. */
#define PATCHINI_RECORD_FIXED 24

/*
 * Cuts a label field back to the label text, in place: at the first of two
 * adjacent "|", or else at the second "|", with the blanks before the cut
 * removed (never before the first character). A text with one "|" and no
 * second one, or none, is left as it is. NULL is ignored.
 */
void TrimLabel(char* szLabel);

/* A new heap text: szLabel up to, not including, its first "|" (all of it
 * without one). The callers keep it for the run; on lack of memory the result
 * is a shared empty text. */
char* LabelName(const char* szLabel);

/* A new heap text: LabelName of szA, "+", then szB up to its first "|".
 * Same ownership and failure as LabelName. */
char* JoinLabelNames(const char* szA, const char* szB);

/* The decimal number right after the first "FP" of szText, 0 when there is
 * no "FP" (or no digit after it). Saturates at 2147483647. */
int FixPackNumber(const char* szText);

/*
 * Writes the backup directory name of szLabel into szOut (BACKUP_NAME_SIZE
 * bytes) and returns szOut: the characters before the first "|" without
 * blanks and dots, and, in a web-access package (string 42 exactly "GWA"),
 * "_GWA" appended unless the name already contains "GWA".
 */
char* BackupDirName(const char* szLabel, char* szOut);

/* Writes "%s%04d.IIB" of the file's base name less its extension and
 * dwPayload into szOut (BACKUP_NAME_SIZE bytes); returns szOut, or NULL
 * (szOut "") when the name would not fit whole. */
char* BackupFileName(const char* szFile, DWORD dwPayload, char* szOut);

/* Writes "%s\\%s" of BackupDirName(szLabel) and BackupFileName(szFile,
 * dwPayload) into szOut (BACKUP_NAME_SIZE bytes); returns szOut. A path that
 * does not fit is never cut: szOut is then "", "Backup path too long: %s\\%s"
 * of the directory name and szFile is logged (indent 1), the result is NULL. */
char* BackupEntryPath(const char* szLabel, const char* szFile, DWORD dwPayload, char* szOut);

/*
 * Records an installed fix from szFromLabel to szToLabel in the patch
 * registry file: creates the file with an empty list section when it is
 * missing, lists szToLabel in "FIXPACKS" (dwUpgradeType 2) or "HOTFIXES"
 * (otherwise) when it is not listed yet, then runs UpdatePatchIni.
 * pbRecords holds dwRecords file records of the release table (24-byte
 * header, NUL-terminated name) in cbRecords bytes.
 * Logs (indent 1) "Writing profile section to  patch.ini error: %d" when the
 * file cannot be created and "Getting profile string for  %s, section %s
 * patch.ini error: %d" for an empty "Label%03d" value; both record nothing.
 * A registry path that does not fit logs "Path too long: %s\\%s" (indent 0)
 * and records nothing; so does a backup path that does not fit ("Backup path
 * too long"). The recording works on a copy that replaces the file whole, or
 * the file is left as it was. Returns 1 when the file was written (a damaged
 * record leaves the records after it out, logged), else 0.
 * Reads gpProgramDir, gpszPatchIni, dwUpgradeType.
 */
int RecordFix(const char* szFromLabel, const char* szToLabel, DWORD dwRecords, const BYTE* pbRecords,
              DWORD cbRecords);

/*
 * Rewrites the to-label's section with every file record (name, new CRC-32,
 * backup path in the to-level's directory) and adds to the from-label's
 * section, after its last entry, each file it does not list yet (old CRC-32,
 * backup path in the from-level's directory). Entries already in the
 * from-label's section stay as they are.
 * Logs (indent 1) "Writing profile section to  patch.ini error: %d" when the
 * to-label's section cannot be emptied (nothing more is written), and a
 * damaged record ("Damaged file record %d in the release table", the rest is
 * left out). The from-label's section is read first; a failed read logs
 * "Getting profile string for  File%03d, section %s patch.ini error: %d"
 * (indent 1) and changes nothing. Returns 1 when every record was written.
 * When memory for the kept names runs out it logs "Memory
 * allocation for canPatchFilesn  %d failed: %d" and ends the process with
 * exit code 1. Shows its progress through the door of shell/progress.h
 * (range, then one step per record, hidden at the end; status "Updating
 * patch information"), draining window messages after each step.
 */
int UpdatePatchIni(const char* szFromLabel, const char* szToLabel, DWORD dwRecords, const BYTE* pbRecords,
                   DWORD cbRecords);

/* Reads a checksum value as written ("0x1a2bL", "0L", and also "0x0L", with
 * or without "0x" and "L"); checksums are compared as numbers, never as
 * texts. 1 and *pdwCrc set when the text is one hexadecimal number of at most
 * 32 bits, else 0 (*pdwCrc 0). */
int ParseChecksumText(const char* szText, DWORD* pdwCrc);

#endif
