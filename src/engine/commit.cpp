/*
 * commit.cpp - RenameTempFiles: the temporary files prepared by
 * CreateUpgradedFiles take the places of the installed files, following the
 * decision kept for every target (engine_private.h):
 *
 *   replace   the installed file is removed (a locked one moved aside to
 *             "%s.hf"), then the temporary file is renamed into place at the
 *             entry's last such target and copied to the others; a copy is
 *             written beside the target first ("%s.UPN") and renamed in, so
 *             a failed copy leaves the installed file untouched
 *   remove    the installed file is removed
 *   keep      nothing happens (a kind-1 file of another version, a missing
 *             source, a file of an earlier fix)
 *   cabinet   the tree is emptied and refilled from the temporary cabinet
 *
 * An empty temporary file is an empty file like any other. A system-
 * directory target is replaced like the others. The question about a locked
 * file is never asked in an unattended run: there it counts as Cancel.
 */
#include "engine/engine.h"
#include "engine/engine_private.h"

#include "platform/dialog.h"
#include "platform/ui.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "shell/progress.h"
#include "ui/gauge.h"
#include "ui/resource.h"

#include <string.h>

/* Removes an installed file before its replacement. 1 to go on, 0 to stop. */
static int CommitRemoveTarget(const char* szTarget, int* pbAsked)
{
    if (!FileExists(szTarget)) return 1;
    if (PlatDeleteFile(szTarget)) return 1;
    for (;;) {
        DWORD dwError = PlatGetLastError();
        if (dwError == ERROR_FILE_NOT_FOUND) {
            LogFormat(1, "File not found %s", szTarget);
            return 1;
        }
        if (dwError != ERROR_ACCESS_DENIED) break;
        {
            char szAside[TEXT_FORMAT_MAX];
            char szText[TEXT_FORMAT_MAX];
            TextFormat(szAside, sizeof(szAside), "%s.hf", szTarget);
            if (strlen(szAside) <= 259 && PlatMoveFile(szTarget, szAside)) return 1;
            TextFormat(szText, sizeof(szText), "Can't rename old %s: access problem", szTarget);
            LogLine(szText, 1);
            if (!*pbAsked) LogLine(szText, 1);
            *pbAsked = 1;
            if (EngineUnattended() || PlatMessageBox(NULL, szText, "Error", MB_OKCANCEL) != IDOK) break;
            if (PlatDeleteFile(szTarget)) return 1;
        }
    }
    LogFormat(1, "Failed to remove src file %s.", szTarget);
    return 0;
}

/* The product's key file (text 1) in the program directory. */
static int CommitIsKeyFile(const FILE_TABLE_ENTRY* pSlot)
{
    return pSlot->dwDirectory == DIR_PROGRAM && TextEqualNoCase(pSlot->lpFile, StringText(1));
}

/* One slot: 1 when every target was committed. */
static int CommitSlot(DWORD n, const FILE_TABLE_ENTRY* pSlot, char (*szTargets)[261], int* pbAsked)
{
    char szTemp[32];
    int j, cTargets = 0, iLast = -1, iLastCab = -1;
    if (!EngineTargets(pSlot->lpFile, pSlot->dwDirectory, szTargets, &cTargets)) return 0;
    EngineTempName(n, szTemp, sizeof(szTemp));
    for (j = 0; j < cTargets; j++) {
        int iAction = EngineDecision(n, j);
        if (iAction == ENGINE_REPLACE) iLast = j;
        if (iAction == ENGINE_CAB_TOOLKIT || iAction == ENGINE_CAB_PLUGINS) iLastCab = j;
    }
    for (j = 0; j < cTargets; j++) {
        const char* szTarget = szTargets[j];
        int iAction = EngineDecision(n, j);
        LogFormat(1, "Rename: canFileName: %s, dw = %d", szTarget, (int)n);
        switch (iAction) {
        case ENGINE_REPLACE:
            CreatePath(szTarget);
            if (!FileExists(szTemp)) {
                LogFormat(1, "Failed to rename temp file %s to %s.", szTemp, szTarget);
                return 0;
            }
            if (j == iLast) {
                if (!CommitRemoveTarget(szTarget, pbAsked)) return 0;
                if (!PlatMoveFile(szTemp, szTarget)) {
                    LogFormat(1, "Failed to rename temp file %s to %s.", szTemp, szTarget);
                    return 0;
                }
            } else {
                char szNew[TEXT_FORMAT_MAX];
                TextFormat(szNew, sizeof(szNew), "%s.UPN", szTarget);
                if (!EngineCopyNew(szTemp, szNew)) {
                    LogLine("CopyFiles:", 1);
                    LogFormat(1, "Failed to rename temp file %s to %s.", szTemp, szTarget);
                    return 0;
                }
                LogLine("CopyFiles:", 1);
                if (!CommitRemoveTarget(szTarget, pbAsked)) {
                    PlatDeleteFile(szNew);
                    return 0;
                }
                if (!PlatMoveFile(szNew, szTarget)) {
                    PlatDeleteFile(szNew);
                    LogFormat(1, "Failed to rename temp file %s to %s.", szTemp, szTarget);
                    return 0;
                }
            }
            LogFormat(1, "Renamed %s to %s.", szTemp, szTarget);
            break;
        case ENGINE_REMOVE:
            if (!CommitRemoveTarget(szTarget, pbAsked)) return 0;
            LogFormat(1, "Removed %s", szTarget);
            break;
        case ENGINE_CAB_TOOLKIT:
        case ENGINE_CAB_PLUGINS:
            if (!CabinetRefillTree(iAction, CabinetDataDirOf(pSlot->dwDirectory, j), szTarget, szTemp)) return 0;
            if (j == iLastCab) PlatDeleteFile(szTemp);
            break;
        case ENGINE_KEEP:
            LogFormat(1, "Kept %s", szTarget);
            break;
        default:
            break;
        }
    }
    return 1;
}

int RenameTempFiles(const FILE_TABLE_ENTRY* pTable, DWORD dwEntries)
{
    char (*szTargets)[261];
    int iResult = 1, bAsked = 0;
    int bProgress = giPartitions > 1;
    DWORD n;

    if (dwEntries > FILE_TABLE_MAX) return 0;
    for (n = 1; pTable && n <= dwEntries; n++) {
        if (pTable[n].lpFile && !EngineNameIsSafe(pTable[n].lpFile)) {
            LogFormat(0, "Refused file name %s of entry %d: not a relative name", pTable[n].lpFile, (int)n);
            return 0;
        }
    }
    if (dwEntries > 0 && !EngineDecisionsReady(dwEntries)) {
        LogLine("RenameTempFiles: no prepared files", 0);
        return 0;
    }
    szTargets = (char(*)[261])PlatHeapAlloc(261 * (size_t)(giPartitions > 0 ? giPartitions + 1 : 2));
    if (!szTargets) return 0;

    if (bProgress && ghMainDlg) {
        PlatSetDlgItemText(ghMainDlg, IDC_MESSAGE, "Renaming temporary files");
        PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_MESSAGE), SW_SHOW);
        if (ghGaugeFile) {
            PlatSendMessage(ghGaugeFile, WM_COMMAND, GAUGE_SETRANGE, (LPARAM)dwEntries);
            PlatSendMessage(ghGaugeFile, WM_COMMAND, GAUGE_SETPOS, 0);
            PlatShowWindow(ghGaugeFile, SW_SHOW);
        }
        PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_FILE_CAP), SW_HIDE);
        PlatShowWindow(PlatGetDlgItem(ghMainDlg, IDC_TOTAL_CAP), SW_HIDE);
        if (ghGaugeTotal) PlatShowWindow(ghGaugeTotal, SW_HIDE);
    }
    /* The key file goes last: its stamp names the new level only once
     * every other file is in place, so that a run stopped half way is still
     * identified at the level it started from and can be run again. */
    for (n = 1; pTable && n <= dwEntries && iResult; n++) {
        if (bProgress) EngineGauge(ghGaugeFile, GAUGE_SETPOS, n);
        if (!pTable[n].lpFile || CommitIsKeyFile(&pTable[n])) continue;
        if (!CommitSlot(n, &pTable[n], szTargets, &bAsked)) iResult = 0;
    }
    for (n = 1; pTable && n <= dwEntries && iResult; n++) {
        if (pTable[n].lpFile && CommitIsKeyFile(&pTable[n]) && !CommitSlot(n, &pTable[n], szTargets, &bAsked))
            iResult = 0;
    }
    if (ghGaugeFile) PlatShowWindow(ghGaugeFile, SW_HIDE);
    PlatHeapFree(szTargets);
    return iResult;
}
