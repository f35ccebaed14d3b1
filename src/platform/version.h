/*
 * version.h - file version resources (GetFileVersionInfoSizeA,
 * GetFileVersionInfoA, VerQueryValueA, GetUserDefaultLangID).
 *
 * The Linux backend reads the VS_VERSIONINFO resource of a Portable
 * Executable straight from the file (platform/pe.h), so a product file
 * answers the same as through the Win32 version API.
 *
 * The information block that PlatGetFileVersionInfo fills:
 *   0                 the VS_VERSIONINFO resource as the file holds it
 *                     (UTF-16 keys and texts), its first 16-bit word being
 *                     its length L
 *   align4(L)         L bytes of room where PlatVerQueryValue puts the
 *                     single-byte copy of a text value it hands out (a value
 *                     at offset o of the resource is copied to align4(L) + o)
 * which mirrors how VerQueryValueA keeps its converted texts inside the
 * caller's block. Texts are converted unit by unit: U+0000-U+00FF become the
 * byte of the same value, anything else "?".
 */
#ifndef HERON_PLATFORM_VERSION_H
#define HERON_PLATFORM_VERSION_H

#include "platform/platform.h"

#ifndef ERROR_BAD_FORMAT
#define ERROR_BAD_FORMAT 11
#endif
#ifndef ERROR_RESOURCE_DATA_NOT_FOUND
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813
#endif

/*
 * GetFileVersionInfoSizeA: the size of the information block of the file's
 * version resource, 0 on failure with the last error: 2 or 3 for a missing
 * file, 1812 for a file that is not a Portable Executable, 1813 for one
 * without a (sound) version resource. *pdwHandle, when given, is set to 0.
 * The fault name is "GetFileVersionInfoSize".
 */
DWORD PlatGetFileVersionInfoSize(const char* szPath, DWORD* pdwHandle);

/*
 * GetFileVersionInfoA: fills pvData (cbData bytes, at least the size given
 * above) with the information block. 1, or 0 with the last error as above, or
 * 122 when cbData is too small (the block is then left untouched, so that no
 * later query walks past a cut copy). dwHandle is ignored. Fault name
 * "GetFileVersionInfo".
 */
BOOL PlatGetFileVersionInfo(const char* szPath, DWORD dwHandle, DWORD cbData, void* pvData);

/*
 * VerQueryValueA on a block filled by PlatGetFileVersionInfo:
 *   "\"                          the 52-byte fixed information; *puLen 52
 *   "\VarFileInfo\Translation"   the array of 32-bit translations (language
 *                                in the low word, code page in the high);
 *                                *puLen its size in bytes
 *   "\StringFileInfo\llllcccc\Name"  the text, single-byte and NUL-terminated
 *                                inside the block; *puLen its length in
 *                                characters including the NUL
 * Keys match without regard to case. 1 with *ppvBuffer and *puLen set, 0 when
 * the path is missing (a value of 0 bytes counts as missing, as on Windows).
 */
BOOL PlatVerQueryValue(void* pvBlock, const char* szSubBlock, void** ppvBuffer, UINT* puLen);

/*
 * GetUserDefaultLangID. On Linux: HERON_LANGID (hexadecimal, e.g. "0407")
 * when set, else the language of LC_ALL, LC_MESSAGES or LANG ("de_DE.UTF-8"
 * gives 0x0407; known languages are listed in version.cpp), else 0x0409.
 */
WORD PlatGetUserDefaultLangID(void);

#endif
