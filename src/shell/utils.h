/*
 * utils.h - small operations on files, directories and path texts.
 *
 * Paths are single-byte Windows paths of at most 259 characters. Failure is
 * 0 (or an empty output); only CopyFileContents and FileCrc32 log, and only
 * the failures named at each function. No message boxes.
 */
#ifndef HERON_SHELL_UTILS_H
#define HERON_SHELL_UTILS_H

#include "platform/platform.h"

/* 1 when the file opens for reading (it is closed at once). */
int FileExists(const char* szPath);
/* 1 when the path names a directory: made current, then the previous current
 * directory is restored whatever its length. */
int DirectoryExists(const char* szPath);
/* Size from the file system; 0 when the file cannot be read (like an empty
 * file) and for a directory. */
DWORD FileSizeOf(const char* szPath);
/* Seeks to the end, takes the position, goes back to the start; 0 for NULL. */
DWORD StreamSize(PLATFILE* pf);
/* CRC-32 of the whole stream from its start; the stream is at its start again
 * afterwards. 0 for NULL. Logs "Failed to alloc memory on line 2368 in utils". */
DWORD FileCrc32(PLATFILE* pf);
/* Copies the source's bytes into the destination (created or emptied).
 * Logs "Can't open old backup file %s for reading" / "Can't open new backup
 * file %s for writing" (indent 1) and the allocation failure (indent 0).
 * A failed read, write or close logs "Can't write new backup file %s"
 * (indent 1) and gives 0: a cut copy is never reported as done. */
int CopyFileContents(const char* szSource, const char* szDest);
/* Creates every directory named along the path; the part after the last
 * separator is a file name and is not created. Returns the result of the
 * last creation (1 new, 0 existed or failed), 1 when there is no separator. */
int CreatePath(const char* szPath);
/* Deletes the directory's contents depth first; the directory stays.
 * Entries whose names contain "nl1", "nl2" or "nl3" and read-only files are
 * kept. A symbolic link or junction is removed itself, never followed. A
 * path that would not fit its buffer stops the removal (0). 1 when the
 * listing ended normally. */
int RemoveTree(const char* szDir);
/* "%s\\%s" of szDir and szName into szOut of cbOut bytes. A path that does
 * not fit is never cut: szOut is then "", "Path too long: %s\\%s" is logged
 * (indent 0) and the result is 0. */
int JoinPath(char* szOut, size_t cbOut, const char* szDir, const char* szName);
/* The part after the last backslash, or the whole path (cbOut bytes at most). */
void BaseName(const char* szPath, char* szOut, size_t cbOut);
/* The text before the last ".", or the whole text. */
void StripExtension(const char* szName, char* szOut, size_t cbOut);
/* The text after the last "."; empty when there is none. */
void ExtensionOf(const char* szName, char* szOut, size_t cbOut);
/* Removes blanks from the end of the text in place. */
void TrimTrailingBlanks(char* szText);
/* 1 for "." and "..". */
int IsDotEntry(const char* szName);
/* Copies cb bytes when cb is above 0. */
void CopyBytes(void* pDest, const void* pSource, long cb);

#endif
