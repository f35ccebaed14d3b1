/*
 * result.cpp - the result file (result.h; fields in docs/result-file.md).
 */
#include "report/result.h"

#include "engine/decide.h"
#include "package/store.h"
#include "records/patchini.h"
#include "report/report.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"

#include <string.h>

#define RESULT_DOCUMENT_MAX 32768
#define RESULT_FIELD_MAX 2048

RESULT_COUNTS gResultCounts;

static long long s_llStart;
static int s_bWritten;
static char s_szReport[MAX_PATH];
static char s_szDescription[TEXT_FORMAT_MAX];
/* The document is built here, not on the heap: a run that ends because
 * memory ran out still reports. */
static char s_szDocument[RESULT_DOCUMENT_MAX];

void ResultBegin(void)
{
    s_llStart = PlatTime();
    s_bWritten = 0;
    s_szReport[0] = 0;
    s_szDescription[0] = 0;
    memset(&gResultCounts, 0, sizeof(gResultCounts));
}

void ResultCountAction(int iAction)
{
    switch (iAction) {
    case ACTION_REPLACE:
    case ACTION_TREE: gResultCounts.dwReplaced++; break;
    case ACTION_PATCH: gResultCounts.dwPatched++; break;
    case ACTION_ADD: gResultCounts.dwAdded++; break;
    case ACTION_REMOVE: gResultCounts.dwRemoved++; break;
    case ACTION_RESTORE: gResultCounts.dwRestored++; break;
    default: break;
    }
}

void ResultNoteDescription(const char* szText) { TextCopy(s_szDescription, sizeof(s_szDescription), szText); }

void ResultNoteReport(const char* szPath) { TextCopy(s_szReport, sizeof(s_szReport), szPath); }

/* ---- JSON texts ------------------------------------------------------------------ */

int JsonQuote(const char* szText, char* szOut, size_t cbOut)
{
    static const char s_szHex[] = "0123456789abcdef";
    const unsigned char* p = (const unsigned char*)(szText ? szText : "");
    size_t i = 0;
    if (cbOut < 5) {
        if (cbOut) szOut[0] = 0;
        return 0;
    }
    szOut[i++] = '"';
    for (; *p; p++) {
        char szEscape[8];
        size_t cch;
        unsigned char ch = *p;
        if (ch == '"' || ch == '\\') {
            szEscape[0] = '\\';
            szEscape[1] = (char)ch;
            cch = 2;
        } else if (ch == '\n' || ch == '\r' || ch == '\t') {
            szEscape[0] = '\\';
            szEscape[1] = ch == '\n' ? 'n' : ch == '\r' ? 'r' : 't';
            cch = 2;
        } else if (ch < 0x20 || ch >= 0x7f) {
            /* Control characters, DEL and the upper half (Latin-1) by number:
             * the document stays plain ASCII and therefore valid UTF-8. */
            memcpy(szEscape, "\\u00", 4);
            szEscape[4] = s_szHex[ch >> 4];
            szEscape[5] = s_szHex[ch & 15];
            cch = 6;
        } else {
            szEscape[0] = (char)ch;
            cch = 1;
        }
        if (i + cch + 2 > cbOut) {
            TextCopy(szOut, cbOut, "null");
            return 0;
        }
        memcpy(szOut + i, szEscape, cch);
        i += cch;
    }
    szOut[i++] = '"';
    szOut[i] = 0;
    return 1;
}

/* Days since 1970-01-01 to a civil date (proleptic Gregorian calendar). */
static void ResultCivil(long long llDays, int* piYear, int* piMonth, int* piDay)
{
    long long z = llDays + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    *piYear = (int)(y + (m <= 2));
    *piMonth = (int)m;
    *piDay = (int)d;
}

void ResultIsoTime(long long llTime, char* szOut, size_t cbOut)
{
    long long llDays = llTime >= 0 ? llTime / 86400 : -((-llTime + 86399) / 86400);
    long long llSeconds = llTime - llDays * 86400;
    int iYear, iMonth, iDay;
    ResultCivil(llDays, &iYear, &iMonth, &iDay);
    TextFormat(szOut, cbOut, "%04d-%02d-%02dT%02d:%02d:%02dZ", iYear, iMonth, iDay, (int)(llSeconds / 3600),
               (int)(llSeconds / 60 % 60), (int)(llSeconds % 60));
}

const char* ExitCodeMeaning(int iExitCode)
{
    switch (iExitCode) {
    case EXIT_DONE: return "done";
    case EXIT_STARTUP: return "stopped at start-up";
    case EXIT_DAMAGED: return "the package is damaged";
    case EXIT_NOT_APPLICABLE: return "the package does not apply";
    case EXIT_FAILED: return "the upgrade or revert failed";
    case EXIT_EXTRACT_WRITE: return "the extraction could not write a file";
    case EXIT_DRIFT: return "the installation differs from its records";
    default: return "unknown";
    }
}

/* ---- The document ---------------------------------------------------------------- */

typedef struct RESULT_DOC {
    char* psz;
    size_t cb;
    size_t cch;
    int bFirst;
} RESULT_DOC;

static void DocRaw(RESULT_DOC* pDoc, const char* sz)
{
    size_t cch = strlen(sz);
    if (pDoc->cch + cch + 1 > pDoc->cb) return; /* cannot happen at these sizes; never cut mid-field */
    memcpy(pDoc->psz + pDoc->cch, sz, cch + 1);
    pDoc->cch += cch;
}

static void DocKey(RESULT_DOC* pDoc, const char* szKey)
{
    char szQuoted[64];
    DocRaw(pDoc, pDoc->bFirst ? "\n  " : ",\n  ");
    pDoc->bFirst = 0;
    JsonQuote(szKey, szQuoted, sizeof(szQuoted));
    DocRaw(pDoc, szQuoted);
    DocRaw(pDoc, ": ");
}

static void DocText(RESULT_DOC* pDoc, const char* szKey, const char* szValue)
{
    char szQuoted[RESULT_FIELD_MAX];
    DocKey(pDoc, szKey);
    if (!szValue) {
        DocRaw(pDoc, "null");
        return;
    }
    JsonQuote(szValue, szQuoted, sizeof(szQuoted));
    DocRaw(pDoc, szQuoted);
}

static void DocNumber(RESULT_DOC* pDoc, const char* szKey, long long llValue)
{
    char szNumber[32];
    char szDigits[24];
    unsigned long long ull = llValue < 0 ? (unsigned long long)(-(llValue + 1)) + 1 : (unsigned long long)llValue;
    int i = (int)sizeof(szDigits) - 1;
    szDigits[i] = 0;
    do {
        szDigits[--i] = (char)('0' + (int)(ull % 10));
        ull /= 10;
    } while (ull && i > 0);
    TextFormat(szNumber, sizeof(szNumber), "%s%s", llValue < 0 ? "-" : "", szDigits + i);
    DocKey(pDoc, szKey);
    DocRaw(pDoc, szNumber);
}

static void DocBool(RESULT_DOC* pDoc, const char* szKey, int bValue)
{
    DocKey(pDoc, szKey);
    DocRaw(pDoc, bValue ? "true" : "false");
}

/* A label field of the release table at offset dwOffset, trimmed; "" when
 * the table is missing. */
static void ResultTableLabel(DWORD dwOffset, char* szOut, size_t cbOut)
{
    DWORD cb = 0;
    const BYTE* pb = FindPayload(1, KIND_VERSION, &cb);
    szOut[0] = 0;
    if (!pb || cb < VERSION_HEADER_SIZE) return;
    TextCopyN(szOut, cbOut, (const char*)pb + dwOffset, LABEL_FIELD_SIZE);
    TrimLabel(szOut);
}

/* The byte sum stored in the package file, as "0x%08x"; "" when the file
 * carries none or cannot be read. */
static void ResultByteSum(char* szOut, size_t cbOut)
{
    PLATFILE* pf;
    long long llOffset = 0;
    BYTE ab[4];
    szOut[0] = 0;
    if (!gszModulePath[0]) return;
    pf = PlatFopen(gszModulePath, "rb");
    if (!pf) return;
    if (PlatStoredSumOffset(pf, &llOffset) && PlatFseek(pf, llOffset, 0) == 0 && PlatFread(ab, 1, 4, pf) == 4) {
        DWORD dw = (DWORD)ab[0] | ((DWORD)ab[1] << 8) | ((DWORD)ab[2] << 16) | ((DWORD)ab[3] << 24);
        TextFormat(szOut, cbOut, "0x%08x", dw);
    }
    PlatFclose(pf);
}

/* The run's mode, as the command line chose it. */
static const char* ResultRunMode(void)
{
    if (giReportFlags & REPORT_PLAN) return "plan";
    if (giReportFlags & REPORT_VERIFY) return "verify";
    if (gwOptions == OPT_EXTRACT) return "extract";
    if (gwOptions & OPT_CONTENTS) return "contents";
    if (gwOptions & OPT_LISTFIX) return "listfix";
    if (gwOptions & OPT_FIXDETAILS) return "fixdetails";
    return "wizard";
}

/* The operation identification chose; "none" before it read the installed
 * release. */
static const char* ResultOperation(void)
{
    if (!gszCurrentRelease[0] || (giReportFlags & REPORT_VERIFY)) return "none";
    switch (giOperationMode) {
    case MODE_UPGRADE: return "upgrade";
    case MODE_REVERT: return "revert";
    case MODE_UNDETERMINED: return "undetermined";
    case MODE_FAILED_UPGRADE: return "failed upgrade";
    default: return "none";
    }
}

static void ResultBuild(RESULT_DOC* pDoc, int iExitCode, int bInterrupted)
{
    char szFrom[LABEL_FIELD_SIZE + 1], szTo[LABEL_FIELD_SIZE + 1], szInstalled[sizeof(gszCurrentRelease)];
    char szSum[16], szTime[32], szName[MAX_PATH];
    const char* pBase = strrchr(gszModulePath, '\\');
    long long llEnd = PlatTime();

    ResultTableLabel(0, szFrom, sizeof(szFrom));
    ResultTableLabel(100, szTo, sizeof(szTo));
    TextCopy(szInstalled, sizeof(szInstalled), gszCurrentRelease);
    /* The stamp file's text may end in a line end or blanks. */
    {
        size_t cch = strlen(szInstalled);
        while (cch && (szInstalled[cch - 1] == '\n' || szInstalled[cch - 1] == '\r' || szInstalled[cch - 1] == ' '))
            szInstalled[--cch] = 0;
    }
    ResultByteSum(szSum, sizeof(szSum));
    TextCopy(szName, sizeof(szName), pBase ? pBase + 1 : gszModulePath);

    DocRaw(pDoc, "{");
    DocNumber(pDoc, "exit_code", iExitCode);
    DocText(pDoc, "exit_meaning", ExitCodeMeaning(iExitCode));
    DocBool(pDoc, "interrupted", bInterrupted);
    DocText(pDoc, "run", ResultRunMode());
    DocBool(pDoc, "unattended", (gwOptions & OPT_NOUSER) != 0);
    DocText(pDoc, "operation", ResultOperation());
    DocText(pDoc, "from_level", szFrom[0] ? szFrom : NULL);
    DocText(pDoc, "to_level", szTo[0] ? szTo : NULL);
    DocText(pDoc, "installed_level", szInstalled[0] ? szInstalled : NULL);
    DocText(pDoc, "revert_label", gszRevertLabel[0] ? gszRevertLabel : NULL);
    DocText(pDoc, "package_name", szName[0] ? szName : NULL);
    DocText(pDoc, "package_path", gszModulePath[0] ? gszModulePath : NULL);
    DocText(pDoc, "package_description", s_szDescription[0] ? s_szDescription : NULL);
    DocText(pDoc, "package_byte_sum", szSum[0] ? szSum : NULL);
    DocNumber(pDoc, "files_replaced", gResultCounts.dwReplaced);
    DocNumber(pDoc, "files_patched", gResultCounts.dwPatched);
    DocNumber(pDoc, "files_added", gResultCounts.dwAdded);
    DocNumber(pDoc, "files_removed", gResultCounts.dwRemoved);
    DocNumber(pDoc, "files_restored", gResultCounts.dwRestored);
    DocText(pDoc, "log", LogPath()[0] ? LogPath() : NULL);
    DocText(pDoc, "report", s_szReport[0] ? s_szReport : NULL);
    ResultIsoTime(s_llStart, szTime, sizeof(szTime));
    DocText(pDoc, "started", szTime);
    ResultIsoTime(llEnd, szTime, sizeof(szTime));
    DocText(pDoc, "ended", szTime);
    DocNumber(pDoc, "started_epoch", s_llStart);
    DocNumber(pDoc, "ended_epoch", llEnd);
    DocRaw(pDoc, "\n}\n");
}

static int ResultWriteDocument(int iExitCode, int bInterrupted)
{
    char szTemp[MAX_PATH + 8];
    RESULT_DOC doc;
    PLATFILE* pf;
    int bOk;

    if (!(giReportFlags & REPORT_RESULT) || !gszResultFile[0] || s_bWritten) return 1;
    s_bWritten = 1;
    TextFormat(szTemp, sizeof(szTemp), "%s.tmp", gszResultFile);
    if (strlen(szTemp) > MAX_PATH - 1) {
        LogFormat(0, "Path too long: %s.tmp", gszResultFile);
        return 0;
    }
    doc.psz = s_szDocument;
    doc.cb = sizeof(s_szDocument);
    doc.cch = 0;
    doc.bFirst = 1;
    s_szDocument[0] = 0;
    ResultBuild(&doc, iExitCode, bInterrupted);

    pf = PlatFopen(szTemp, "wb");
    if (!pf) {
        LogFormat(0, "Can't write the result file %s: error %d", szTemp, (int)PlatGetLastError());
        return 0;
    }
    bOk = PlatFwrite(s_szDocument, 1, doc.cch, pf) == doc.cch;
    if (PlatFclose(pf) != 0) bOk = 0;
    if (bOk && PlatMoveFileReplace(szTemp, gszResultFile)) return 1;
    LogFormat(0, "Can't write the result file %s: error %d", gszResultFile, (int)PlatGetLastError());
    PlatDeleteFile(szTemp);
    return 0;
}

int ResultWrite(int iExitCode) { return ResultWriteDocument(iExitCode, 0); }

void ResultExitHook(UINT uExitCode) { ResultWriteDocument((int)uExitCode, 1); }
