/*
 * profile.h - profile files (GetPrivateProfileStringA and friends).
 *
 * The patch registry file, its backups and the product's QUILL.INI are read
 * and written only through these four operations, always with a full path.
 * The Linux backend copies the Win32 behaviour recorded by the project's
 * probes: case-insensitive names, quoted values read back without quotes,
 * CR LF line ends, files created as "[Sec]\r\nKey=Value\r\n".
 */
#ifndef HERON_PLATFORM_PROFILE_H
#define HERON_PLATFORM_PROFILE_H

#include "platform/platform.h"

/*
 * GetPrivateProfileStringA. Copies the value of szKey in szSection into szBuf
 * (at most cchBuf-1 characters and a NUL) and returns the characters copied.
 * Names match without regard to case, blanks around the arguments ignored; a
 * value enclosed in matching quotes comes back without them. A missing file,
 * section or key gives szDefault (NULL is "") without its trailing blanks;
 * the last error is then 2 (missing file) or 3 (missing directory), else 0.
 * An existing key with an empty value returns 0, as does a failure to read
 * an existing file (last error 5 or 8, buffer ""). szKey NULL lists the key
 * names of the section, szSection NULL the section names: each name ends with
 * a NUL, a final NUL follows, the result leaves that one out; a list that
 * does not fit is cut at cchBuf-2 and ends with two NULs.
 */
DWORD PlatGetPrivateProfileString(const char* szSection, const char* szKey, const char* szDefault, char* szBuf,
                                  DWORD cchBuf, const char* szFile);
/*
 * WritePrivateProfileStringA. Sets szKey=szValue in szSection, creating the
 * file and the section when missing; a new key goes at the end of its
 * section, an existing one is replaced in place under its old spelling.
 * szValue NULL deletes the key, szKey NULL the whole section. Other lines
 * stay byte for byte. Returns 1, or 0 with the last error: 2 szSection NULL,
 * 3 missing directory, 5 read-only file (left untouched), 87 empty name,
 * 112 disk full. The file is replaced whole or not at all.
 */
BOOL PlatWritePrivateProfileString(const char* szSection, const char* szKey, const char* szValue,
                                   const char* szFile);
/*
 * GetPrivateProfileSectionA: the entries of the section as
 * "key=value\0...\0\0" (blanks around '=' removed, quotes kept, comments and
 * blank lines left out) and their length without the final NUL. An empty or
 * missing section gives 0 and "\0\0" (last error 0; 2 for a missing file); a
 * list cut at cchBuf-2 sets 122.
 */
DWORD PlatGetPrivateProfileSection(const char* szSection, char* szBuf, DWORD cchBuf, const char* szFile);
/*
 * WritePrivateProfileSectionA: szEntries is "key=value\0...\0\0" and
 * replaces the section's entries (its comments stay); an empty list empties
 * the section but keeps (or creates) its header and the file; NULL deletes
 * the section. 1, or 0 with the last error as for the string writer.
 */
BOOL PlatWritePrivateProfileSection(const char* szSection, const char* szEntries, const char* szFile);
/*
 * Deferred writes: from PlatProfileDefer on, the writes to szFile (a file no
 * one else changes meanwhile) are kept in memory and reads of it answer from
 * there; PlatProfileFlush(1) then stores the result as one write would
 * (the file replaced whole, or not at all) and PlatProfileFlush(0) drops it.
 * The result is byte for byte that of the same writes done one by one; a
 * file written many times is written once. Only one file at a time; a new
 * PlatProfileDefer drops an earlier deferral. PlatProfileDefer returns 1
 * when the writes are deferred, 0 when they go to the file as usual (a
 * read-only or unreadable file, or the Windows build). PlatProfileFlush
 * returns 1, or 0 with the last error (5 a read-only file, 112 disk full).
 */
BOOL PlatProfileDefer(const char* szFile);
BOOL PlatProfileFlush(BOOL bStore);

#endif
