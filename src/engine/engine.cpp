/*
 * engine.cpp - what the two file phases share (engine_private.h):
 *
 *   1. The per-target decisions kept between the phases
 *   2. Names: package names, targets, temporary and backup names
 *   3. Files: the checked copy, the CRC-32 of a file, the gauge
 */
#include "engine/engine_private.h"

#include "platform/dialog.h"
#include "records/patchini.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "shell/progress.h"
#include "ui/gauge.h"

#include <string.h>

/* ---- 1. Decisions ---------------------------------------------------------- */

static BYTE* s_pbDecisions;
static DWORD s_dwSlots;
static int s_iTargets;

int EngineResetDecisions(DWORD dwSlots, int iTargets)
{
    EngineFreeDecisions();
    if (iTargets < 1) iTargets = 1;
    s_pbDecisions = (BYTE*)PlatHeapAlloc(((size_t)dwSlots + 1) * (size_t)iTargets);
    if (!s_pbDecisions) return 0;
    s_dwSlots = dwSlots;
    s_iTargets = iTargets;
    return 1;
}

void EngineSetDecision(DWORD dwSlot, int iTarget, int iAction)
{
    if (!s_pbDecisions || dwSlot > s_dwSlots || iTarget < 0 || iTarget >= s_iTargets) return;
    s_pbDecisions[(size_t)dwSlot * (size_t)s_iTargets + (size_t)iTarget] = (BYTE)iAction;
}

int EngineDecision(DWORD dwSlot, int iTarget)
{
    if (!s_pbDecisions || dwSlot > s_dwSlots || iTarget < 0 || iTarget >= s_iTargets) return ENGINE_UNTOUCHED;
    return s_pbDecisions[(size_t)dwSlot * (size_t)s_iTargets + (size_t)iTarget];
}

int EngineDecisionsReady(DWORD dwSlots) { return s_pbDecisions != NULL && s_dwSlots >= dwSlots; }

void EngineFreeDecisions(void)
{
    if (s_pbDecisions) PlatHeapFree(s_pbDecisions);
    s_pbDecisions = NULL;
    s_dwSlots = 0;
    s_iTargets = 0;
}

/* ---- 2. Names ------------------------------------------------------------- */

int EngineNameIsSafe(const char* szName)
{
    size_t i, iStart = 0, cch;
    if (!szName || !szName[0]) return 0;
    cch = strlen(szName);
    if (cch > 259) return 0;
    if (szName[0] == '\\' || szName[0] == '/') return 0;
    for (i = 0; i <= cch; i++) {
        char ch = szName[i];
        if (ch == ':') return 0;
        if (ch == '\\' || ch == '/' || ch == 0) {
            size_t cchPart = i - iStart;
            if (cchPart == 0) return 0;
            if (cchPart == 1 && szName[iStart] == '.') return 0;
            if (cchPart == 2 && szName[iStart] == '.' && szName[iStart + 1] == '.') return 0;
            iStart = i + 1;
        }
    }
    return 1;
}

int EngineTargetCount(DWORD dwDirectory)
{
    if (dwDirectory == DIR_DATA) return giPartitions > 0 ? giPartitions : 0;
    return 1;
}

int EngineTargets(const char* szName, DWORD dwDirectory, char (*szTargets)[261], int* piTargets)
{
    int i, cTargets = EngineTargetCount(dwDirectory);
    *piTargets = 0;
    for (i = 0; i < cTargets; i++) {
        char szPath[TEXT_FORMAT_MAX];
        if (dwDirectory == DIR_DATA)
            TextFormat(szPath, sizeof(szPath), "%s\\%s", gpQuillData && gpQuillData[i] ? gpQuillData[i] : "",
                       szName);
        else if (dwDirectory == DIR_SYSTEM)
            TextFormat(szPath, sizeof(szPath), "%s\\%s", gpSystemDir ? gpSystemDir : "", szName);
        else
            TextCopy(szPath, sizeof(szPath), szName);
        if (strlen(szPath) > 259) {
            LogFormat(1, "Path too long: %s", szPath);
            return 0;
        }
        TextCopy(szTargets[i], 261, szPath);
    }
    *piTargets = cTargets;
    return 1;
}

void EngineTempName(DWORD dwEntry, char* szOut, size_t cbOut) { TextFormat(szOut, cbOut, "UPTMP%04d.TMP", (int)dwEntry); }

int EngineBackupBeside(const char* szPath, DWORD dwEntry, char* szOut, size_t cbOut)
{
    char szFile[BACKUP_NAME_SIZE];
    char szDir[TEXT_FORMAT_MAX];
    const char* pSlash = strrchr(szPath, '\\');
    size_t cchDir = pSlash ? (size_t)(pSlash - szPath) + 1 : 0;
    BackupFileName(szPath, dwEntry, szFile);
    TextCopyN(szDir, sizeof(szDir), szPath, cchDir);
    if (strlen(szDir) + strlen(szFile) > 259) return 0;
    TextFormat(szOut, cbOut, "%s%s", szDir, szFile);
    return 1;
}

int EnginePathHas(const char* szPath, const char* szPart)
{
    size_t cchPart = strlen(szPart);
    const char* p;
    for (p = szPath; *p; p++) {
        size_t i;
        for (i = 0; i < cchPart; i++) {
            char a = p[i], b = szPart[i];
            if (a >= 'A' && a <= 'Z') a = (char)(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z') b = (char)(b - 'A' + 'a');
            if (a != b) break;
        }
        if (i == cchPart) return 1;
    }
    return 0;
}

/* ---- 3. Files ------------------------------------------------------------- */

#define ENGINE_COPY_BUFFER 65536

int EngineCopyNew(const char* szSource, const char* szNew)
{
    PLATFILE* pfIn;
    PLATFILE* pfOut;
    BYTE* pbBuffer;
    int bOk = 1;
    pfIn = PlatFopen(szSource, "rb");
    if (!pfIn) return 0;
    pfOut = PlatFopen(szNew, "wb");
    if (!pfOut) {
        PlatFclose(pfIn);
        return 0;
    }
    pbBuffer = (BYTE*)PlatHeapAlloc(ENGINE_COPY_BUFFER);
    if (!pbBuffer) bOk = 0;
    while (bOk) {
        size_t cbRead = PlatFread(pbBuffer, 1, ENGINE_COPY_BUFFER, pfIn);
        if (cbRead == 0) {
            if (PlatFerror(pfIn)) bOk = 0;
            break;
        }
        if (PlatFwrite(pbBuffer, 1, cbRead, pfOut) != cbRead) bOk = 0;
    }
    if (pbBuffer) PlatHeapFree(pbBuffer);
    PlatFclose(pfIn);
    if (PlatFclose(pfOut) != 0) bOk = 0;
    if (!bOk) {
        DWORD dwError = PlatGetLastError();
        PlatDeleteFile(szNew);
        PlatSetLastError(dwError ? dwError : ERROR_WRITE_FAULT);
    }
    return bOk;
}

int EngineCopyFile(const char* szSource, const char* szDest)
{
    char szNew[TEXT_FORMAT_MAX];
    TextFormat(szNew, sizeof(szNew), "%s.UPN", szDest);
    if (!EngineCopyNew(szSource, szNew)) return 0;
    if ((FileExists(szDest) && !PlatDeleteFile(szDest)) || !PlatMoveFile(szNew, szDest)) {
        DWORD dwError = PlatGetLastError();
        PlatDeleteFile(szNew);
        PlatSetLastError(dwError);
        return 0;
    }
    return 1;
}

int EngineFileCrc(const char* szPath, DWORD* pdwCrc, DWORD* pdwSize)
{
    PLATFILE* pf = PlatFopen(szPath, "rb");
    if (!pf) return 0;
    *pdwSize = StreamSize(pf);
    *pdwCrc = FileCrc32(pf);
    int bOk = !PlatFerror(pf);
    PlatFclose(pf);
    return bOk;
}

void EngineGauge(HWND hGauge, int iCommand, DWORD dwValue)
{
    if (hGauge) PlatSendMessage(hGauge, WM_COMMAND, (WPARAM)iCommand, (LPARAM)dwValue);
    PumpMessages();
}

int EngineUnattended(void) { return (gwOptions & OPT_NOUSER) != 0; }
