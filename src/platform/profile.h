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

/* GetPrivateProfileStringA: copies the value (or the default) into szBuf of
 * cchBuf characters and returns the number of characters copied. szKey NULL
 * lists the keys of the section, szSection NULL the sections. */
DWORD PlatGetPrivateProfileString(const char* szSection, const char* szKey, const char* szDefault, char* szBuf,
                                  DWORD cchBuf, const char* szFile);
/* WritePrivateProfileStringA: szValue NULL deletes the key, szKey NULL the
 * section. 1 or 0 (with the last error). */
BOOL PlatWritePrivateProfileString(const char* szSection, const char* szKey, const char* szValue,
                                   const char* szFile);
/* GetPrivateProfileSectionA: "key=value\0...\0\0"; returns the length
 * without the final NUL. */
DWORD PlatGetPrivateProfileSection(const char* szSection, char* szBuf, DWORD cchBuf, const char* szFile);
/* WritePrivateProfileSectionA: szEntries is "key=value\0...\0\0"; an empty
 * list empties the section but keeps (or creates) its header and the file;
 * NULL deletes the section. 1 or 0. */
BOOL PlatWritePrivateProfileSection(const char* szSection, const char* szEntries, const char* szFile);

#endif
