/*
 * report.cpp - the report words, growing texts and their output (report.h).
 */
#include "report/report.h"

#include "platform/ui.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <stdarg.h>
#include <string.h>

DWORD giReportFlags;
char gszResultFile[MAX_PATH];

static char s_szTempDir[MAX_PATH];

int ReportDryRun(void) { return (giReportFlags & (REPORT_PLAN | REPORT_VERIFY)) != 0; }

/* ---- Texts that grow ------------------------------------------------------------ */

void ReportAppendRaw(REPORT_TEXT* pText, const char* szRaw)
{
    size_t cch = szRaw ? strlen(szRaw) : 0;
    if (!pText || pText->bFailed || cch == 0) return;
    if (pText->cch + cch + 1 > pText->cbAlloc) {
        size_t cbNew = pText->cbAlloc ? pText->cbAlloc : 4096;
        char* pszNew;
        while (cbNew < pText->cch + cch + 1) cbNew *= 2;
        pszNew = (char*)PlatHeapAlloc(cbNew);
        if (!pszNew) {
            pText->bFailed = 1;
            return;
        }
        if (pText->psz) {
            memcpy(pszNew, pText->psz, pText->cch + 1);
            PlatHeapFree(pText->psz);
        }
        pText->psz = pszNew;
        pText->cbAlloc = cbNew;
    }
    memcpy(pText->psz + pText->cch, szRaw, cch + 1);
    pText->cch += cch;
}

void ReportAppend(REPORT_TEXT* pText, const char* szFormat, ...)
{
    char szLine[TEXT_FORMAT_MAX];
    va_list args;
    va_start(args, szFormat);
    TextFormatV(szLine, sizeof(szLine), szFormat, args);
    va_end(args);
    ReportAppendRaw(pText, szLine);
}

void ReportFree(REPORT_TEXT* pText)
{
    if (!pText) return;
    PlatHeapFree(pText->psz);
    memset(pText, 0, sizeof(*pText));
}

const char* ReportString(const REPORT_TEXT* pText) { return pText && pText->psz ? pText->psz : ""; }

/* ---- Output ----------------------------------------------------------------------- */

void ReportNoteTempDir(void)
{
    char* pSlash;
    TextCopy(s_szTempDir, sizeof(s_szTempDir), LogPath());
    pSlash = strrchr(s_szTempDir, '\\');
    if (pSlash) *pSlash = 0;
    else s_szTempDir[0] = 0;
}

const char* ReportTempDir(void) { return s_szTempDir; }

/* Prints the text on standard output one line at a time. */
static void ReportPrint(const char* szText)
{
    const char* p = szText;
    char szLine[TEXT_FORMAT_MAX];
    while (*p) {
        const char* pEnd = strchr(p, '\n');
        size_t cch = pEnd ? (size_t)(pEnd - p) : strlen(p);
        /* A line longer than the buffer is printed in pieces, never lost. */
        while (cch >= sizeof(szLine)) {
            TextCopyN(szLine, sizeof(szLine), p, sizeof(szLine) - 1);
            PlatConsoleLine(szLine);
            p += sizeof(szLine) - 1;
            cch -= sizeof(szLine) - 1;
        }
        TextCopyN(szLine, sizeof(szLine), p, cch);
        PlatConsoleLine(szLine);
        p += cch;
        if (*p == '\n') p++;
    }
}

int ReportPublish(const char* szName, const REPORT_TEXT* pText)
{
    char szPath[MAX_PATH];
    const char* szText = ReportString(pText);
    PLATFILE* pf;
    int bWritten = 0;

    if (PlatUiMode() == UI_HEADLESS) ReportPrint(szText);
    if (!s_szTempDir[0] || !JoinPath(szPath, sizeof(szPath), s_szTempDir, szName)) {
        LogFormat(0, "No temporary directory for %s", szName);
        return 0;
    }
    pf = PlatFopen(szPath, "w");
    if (!pf) {
        LogFormat(0, "Can't write %s: error %d", szPath, (int)PlatGetLastError());
        return 0;
    }
    bWritten = PlatFputs(szText, pf) >= 0;
    if (PlatFclose(pf) != 0) bWritten = 0;
    if (!bWritten) LogFormat(0, "Can't write %s: error %d", szPath, (int)PlatGetLastError());
    else LogFormat(0, "Wrote %s", szPath);
    return bWritten;
}

/* ---- Files the tools write ---------------------------------------------------------- */

#define REPORT_GUARDS 4
#define REPORT_GUARD_MAX 4096

typedef struct REPORT_GUARD {
    char szPath[MAX_PATH];
    int bExisted;
    size_t cb;
    BYTE ab[REPORT_GUARD_MAX];
} REPORT_GUARD;

static REPORT_GUARD s_aGuards[REPORT_GUARDS];
static int s_cGuards;

void ReportGuardFile(const char* szPath)
{
    REPORT_GUARD* pGuard;
    PLATFILE* pf;
    if (s_cGuards >= REPORT_GUARDS || !szPath || !szPath[0]) return;
    pGuard = &s_aGuards[s_cGuards];
    if (!TextCopy(pGuard->szPath, sizeof(pGuard->szPath), szPath)) return;
    pGuard->bExisted = 0;
    pGuard->cb = 0;
    pf = PlatFopen(szPath, "rb");
    if (pf) {
        pGuard->bExisted = 1;
        pGuard->cb = PlatFread(pGuard->ab, 1, sizeof(pGuard->ab), pf);
        /* A larger file cannot be put back whole: it is not guarded. */
        if (PlatFgetc(pf) != -1) {
            PlatFclose(pf);
            return;
        }
        PlatFclose(pf);
    }
    s_cGuards++;
}

void ReportRestoreGuarded(void)
{
    int i;
    for (i = 0; i < s_cGuards; i++) {
        REPORT_GUARD* pGuard = &s_aGuards[i];
        PLATFILE* pf;
        BYTE ab[REPORT_GUARD_MAX];
        size_t cb = 0;
        int bSame = 0;
        pf = PlatFopen(pGuard->szPath, "rb");
        if (pf) {
            cb = PlatFread(ab, 1, sizeof(ab), pf);
            bSame = pGuard->bExisted && cb == pGuard->cb && memcmp(ab, pGuard->ab, cb) == 0 && PlatFgetc(pf) == -1;
            PlatFclose(pf);
        } else {
            bSame = !pGuard->bExisted;
        }
        if (bSame) continue;
        if (!pGuard->bExisted) {
            PlatDeleteFile(pGuard->szPath);
            continue;
        }
        pf = PlatFopen(pGuard->szPath, "wb");
        if (!pf) continue;
        PlatFwrite(pGuard->ab, 1, pGuard->cb, pf);
        PlatFclose(pf);
    }
    s_cGuards = 0;
}
