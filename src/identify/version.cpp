/*
 * version.cpp - the version probes (version.h).
 *
 * The stamp tool's contract (docs/version-stamp.md):
 *   read   UpdateVersion.exe "<program dir>" myversion read 
 *          -> "<program dir>\currver.txt" holds the stamp text
 *   write  UpdateVersion.exe "<program dir>" "<label>" write 
 *          -> the key file's stamp is the label
 * Both lines end with a blank, as the tool has always been given them. The
 * tool is named without a path; the platform finds it in the installer's own
 * directory or the current directory, so the start-up directory, where
 * start-up wrote it, is made current while it is started.
 *
 * File versions come from the version resource: the FileVersion text of
 * "\StringFileInfo\<language><code page>\FileVersion".
 */
#include "identify/version.h"

#include "platform/process.h"
#include "platform/version.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

#define VERSION_KEY_FILE "qstrings.dll"
#define VERSION_STAMP_FILE "currver.txt"
#define VERSION_TOOL "UpdateVersion.exe"

/* ---- The stamp tool -------------------------------------------------------- */

/*
 * Starts szCommandLine with gszStartDir as the current directory and waits
 * for it without a time limit. 1 when it ran; 0 when it could not be started,
 * with the system's error in *pdwError. The current directory is szAfter
 * afterwards, or the one before the call when szAfter is NULL.
 */
static int VersionRunTool(const char* szCommandLine, const char* szAfter, DWORD* pdwError)
{
    char szSaved[MAX_PATH];
    PLAT_PROCESS proc;
    DWORD cch;
    int bStarted;

    szSaved[0] = 0;
    if (!szAfter) {
        cch = PlatGetCurrentDirectory(sizeof(szSaved), szSaved);
        if (cch == 0 || cch >= sizeof(szSaved)) szSaved[0] = 0;
    }
    if (gszStartDir[0]) PlatSetCurrentDirectory(gszStartDir);

    memset(&proc, 0, sizeof(proc));
    bStarted = PlatCreateProcess(szCommandLine, NULL, 0, 0, &proc) ? 1 : 0;
    *pdwError = bStarted ? 0 : PlatGetLastError();
    if (bStarted) {
        PlatWaitForSingleObject(proc.hProcess, INFINITE);
        PlatCloseHandle(proc.hThread);
        PlatCloseHandle(proc.hProcess);
    }

    if (szAfter) PlatSetCurrentDirectory(szAfter);
    else if (szSaved[0]) PlatSetCurrentDirectory(szSaved);
    PlatSetLastError(*pdwError);
    return bStarted;
}

void ReadVersionStamp(void)
{
    char szKeyFile[MAX_PATH];
    char szStampFile[MAX_PATH];
    char szCommand[TEXT_FORMAT_MAX];
    PLATFILE* pf;
    size_t cbRead;
    DWORD dwError;

    if (strcmp(StringText(42), "QSD") == 0) return;

    /* Paths that do not fit would name other files: the run stops. */
    if (!JoinPath(szKeyFile, sizeof(szKeyFile), gpProgramDir, VERSION_KEY_FILE) ||
        !JoinPath(szStampFile, sizeof(szStampFile), gpProgramDir, VERSION_STAMP_FILE)) {
        PlatExitProcess(1);
        return;
    }
    LogLine(szKeyFile, 0);
    LogLine(szStampFile, 0);

    TextFormat(szCommand, sizeof(szCommand), "%s \"%s\" myversion read ", VERSION_TOOL, gpProgramDir);
    /* A stamp file left by an earlier run would otherwise be taken for this
     * run's answer when the tool fails inside. */
    PlatDeleteFile(szStampFile);
    if (!VersionRunTool(szCommand, NULL, &dwError)) {
        LogLine(szCommand, 0);
        LogFormat(0, "Failed to read version from  qstrings.dll version: %d", (int)dwError);
        PlatExitProcess(1);
        return;
    }

    pf = PlatFopen(szStampFile, "r");
    if (!pf) {
        LogFormat(0, "Can't open %s", szStampFile);
        PlatExitProcess(1);
        return;
    }
    cbRead = PlatFread(gszCurrentRelease, 1, STAMP_READ_MAX, pf);
    gszCurrentRelease[cbRead] = 0;
    if (gszCurrentRelease[0] == 0) {
        PlatFclose(pf);
        LogFormat(0, "Can't read from  %s", szStampFile);
        PlatExitProcess(1);
        return;
    }
    LogLine(gszCurrentRelease, 0);
    PlatFclose(pf);
}

int WriteVersionStamp(const char* szLabel)
{
    char szKeyFile[MAX_PATH];
    char szCommand[TEXT_FORMAT_MAX];
    DWORD dwError;

    TextFormat(szKeyFile, sizeof(szKeyFile), "%s\\%s", gpProgramDir, VERSION_KEY_FILE);
    LogLine(szKeyFile, 0);
    TextFormat(szCommand, sizeof(szCommand), "%s \"%s\" \"%s\" write ", VERSION_TOOL, gpProgramDir, szLabel);
    if (!VersionRunTool(szCommand, gpProgramDir, &dwError)) {
        LogLine(szCommand, 0);
        LogFormat(0, "Failed to upgrade qstrings.dll version: %d", (int)dwError);
        return 0;
    }
    LogFormat(0, "Upgraded version to %s", szLabel);
    return 1;
}

/* ---- File versions ----------------------------------------------------------- */

/* strtok_r without the library's hidden state: the next piece of *ppNext
 * between szDelims, NUL-terminated in place; NULL when none is left. */
static char* VersionToken(char** ppNext, const char* szDelims)
{
    char* p = *ppNext;
    char* pStart;
    if (!p) return NULL;
    while (*p && strchr(szDelims, *p)) p++;
    if (!*p) {
        *ppNext = p;
        return NULL;
    }
    pStart = p;
    while (*p && !strchr(szDelims, *p)) p++;
    if (*p) *p++ = 0;
    *ppNext = p;
    return pStart;
}

/* The decimal number at the start of a piece: blanks skipped, digits up to
 * the first other character; saturates instead of overflowing. */
static int VersionNumber(const char* sz)
{
    long long ll = 0;
    while (*sz == ' ' || *sz == '\t' || *sz == '\n' || *sz == '\r' || *sz == '\v' || *sz == '\f') sz++;
    for (; *sz >= '0' && *sz <= '9'; sz++) {
        ll = ll * 10 + (*sz - '0');
        if (ll > 0x7FFFFFFF) ll = 0x7FFFFFFF;
    }
    return (int)ll;
}

/* Reads four pieces: the first three ended by szDelims, the fourth by szLast. */
static int VersionParse(char* szText, const char* szDelims, const char* szLast, int* piMajor, int* piMinor,
                        int* piRelease, int* piBuild)
{
    char* pNext = szText;
    char* apPieces[4];
    int i;
    if (!szText) return 0;
    for (i = 0; i < 4; i++) {
        apPieces[i] = VersionToken(&pNext, i < 3 ? szDelims : szLast);
        if (!apPieces[i]) return 0;
    }
    *piMajor = VersionNumber(apPieces[0]);
    *piMinor = VersionNumber(apPieces[1]);
    *piRelease = VersionNumber(apPieces[2]);
    *piBuild = VersionNumber(apPieces[3]);
    return 1;
}

int ParseDottedVersion(char* szText, int* piMajor, int* piMinor, int* piRelease, int* piBuild)
{
    return VersionParse(szText, ".", ".", piMajor, piMinor, piRelease, piBuild);
}

int ParseCommaVersion(char* szText, int* piMajor, int* piMinor, int* piRelease, int* piBuild)
{
    return VersionParse(szText, ",", ".", piMajor, piMinor, piRelease, piBuild);
}

int ReadFileVersion(const char* szPath, int* piMajor, int* piMinor, int* piRelease, int* piBuild)
{
    char szQuery[64];
    char szText[FILE_VERSION_KEEP + 6];
    DWORD dwHandle = 0, cbInfo;
    BYTE* pbInfo;
    void* pvValue = NULL;
    UINT uLen = 0;

    cbInfo = PlatGetFileVersionInfoSize(szPath, &dwHandle);
    if (cbInfo == 0) {
        LogFormat(1, "GetFileVersionInfoSize call failed for %s", szPath);
        return 0;
    }
    pbInfo = (BYTE*)PlatHeapAlloc((size_t)cbInfo + 1);
    if (!pbInfo || !PlatGetFileVersionInfo(szPath, dwHandle, cbInfo, pbInfo)) {
        LogFormat(1, "GetFileVersionInfo call failed for %s", szPath);
        if (pbInfo) PlatHeapFree(pbInfo);
        return 0;
    }

    if (PlatVerQueryValue(pbInfo, "\\VarFileInfo\\Translation", &pvValue, &uLen) && uLen == 4) {
        const BYTE* pb = (const BYTE*)pvValue;
        WORD wLang = (WORD)(pb[0] | (pb[1] << 8));
        WORD wCodePage = (WORD)(pb[2] | (pb[3] << 8));
        TextFormat(szQuery, sizeof(szQuery), "\\StringFileInfo\\%02x%02x%02x%02x\\FileVersion", wLang >> 8,
                   wLang & 0xFF, wCodePage >> 8, wCodePage & 0xFF);
    } else {
        TextFormat(szQuery, sizeof(szQuery), "\\StringFileInfo\\%04X04B0\\FileVersion",
                   (int)PlatGetUserDefaultLangID());
    }

    if (!PlatVerQueryValue(pbInfo, szQuery, &pvValue, &uLen) || !pvValue) {
        LogFormat(1, "VerQueryValue call failed for %s", szPath);
        PlatHeapFree(pbInfo);
        return 0;
    }
    if (uLen >= 256) TextCopyN(szText, sizeof(szText), (const char*)pvValue, FILE_VERSION_KEEP);
    else TextCopy(szText, sizeof(szText), (const char*)pvValue);
    PlatHeapFree(pbInfo);

    LogFormat(1, "versionInfo is  %s for file %s", szText, szPath);
    /* The comma form reads the text as the dotted form left it. */
    if (ParseDottedVersion(szText, piMajor, piMinor, piRelease, piBuild)) return 1;
    return ParseCommaVersion(szText, piMajor, piMinor, piRelease, piBuild);
}
