/*
 * cabinet.cpp - the two directory trees that travel as one cabinet each:
 *
 *   toolkit tree  "garnet\js\dojo-1.3.2" in every data directory, entry
 *                 file "gar-dojo.cab" (directory code 2)
 *   plug-in tree  "osgi\shared\eclipse\plugins" in the program directory,
 *                 entry file "osgi_plugins.cab" (directory code 1)
 *
 * The cabinet tool is the one start-up wrote into gszStartDir as
 * "cabarc.exe"; it runs as a child process with the current directory as its
 * working directory and is waited for without a time limit. Command lines:
 *
 *   back up   "<tool>" -r -p n "<archive>" garnet\js\dojo-1.3.2\*       (from the data directory)
 *             "<tool>" -r -p n "<archive>" osgi\shared\eclipse\plugins\* (from the program directory)
 *   unpack    "<tool>" -p x "<cabinet>" * "<tree>\"
 *             "<tool>" -p -o x "<cabinet>" * "<tree>\"                  (plug-ins, revert)
 *
 * The back-up cabinet is made while files are prepared, before anything is
 * replaced; the tree is emptied and refilled by the commit. A tree is emptied
 * only once its back-up cabinet exists and the tool that made it exited 0; an
 * existing back-up cabinet is never made again (a second run would otherwise
 * pack the already upgraded tree over the first backup); every tool run that
 * cannot start or exits with another status fails the run. The current
 * directory is the program directory again after every call.
 */
#include "engine/engine_private.h"

#include "platform/process.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <string.h>

const char* CabinetDataDirOf(DWORD dwDirectory, int iTarget)
{
    if (dwDirectory != DIR_DATA || !gpQuillData || iTarget < 0 || iTarget >= giPartitions) return NULL;
    return gpQuillData[iTarget];
}

static void CabinetBackHome(void)
{
    if (gpProgramDir) PlatSetCurrentDirectory(gpProgramDir);
}

/* Runs the tool; 1 started (exit status in *pdwExit), 0 not started. */
static int CabinetRun(const char* szCommand, DWORD* pdwExit)
{
    PLAT_PROCESS proc;
    *pdwExit = 0xFFFFFFFFu;
    if (!PlatCreateProcess(szCommand, NULL, 0, 1, &proc)) return 0;
    PlatWaitForSingleObject(proc.hProcess, INFINITE);
    if (!PlatGetExitCodeProcess(proc.hProcess, pdwExit)) *pdwExit = 0xFFFFFFFFu;
    PlatCloseHandle(proc.hThread);
    PlatCloseHandle(proc.hProcess);
    return 1;
}

/* The archive as a full path (a relative backup path is taken from the
 * program directory). */
static int CabinetArchivePath(const char* szArchive, char* szOut, size_t cbOut)
{
    char szPath[TEXT_FORMAT_MAX];
    if (szArchive[0] && (szArchive[1] == ':' || szArchive[0] == '\\')) TextCopy(szPath, sizeof(szPath), szArchive);
    else TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir ? gpProgramDir : "", szArchive);
    if (strlen(szPath) > 259) return 0;
    return TextCopy(szOut, cbOut, szPath);
}

static int CabinetTreePath(int iAction, const char* szDataDir, char* szOut, size_t cbOut)
{
    char szPath[TEXT_FORMAT_MAX];
    if (iAction == ENGINE_CAB_TOOLKIT) TextFormat(szPath, sizeof(szPath), "%s\\%s", szDataDir ? szDataDir : "", ENGINE_TOOLKIT_TREE);
    else TextFormat(szPath, sizeof(szPath), "%s\\%s", gpProgramDir ? gpProgramDir : "", ENGINE_PLUGINS_TREE);
    if (strlen(szPath) > 259) return 0;
    return TextCopy(szOut, cbOut, szPath);
}

/* 1 when the directory holds at least one entry besides "." and "..". */
static int CabinetTreeHasFiles(const char* szTree)
{
    char szPattern[TEXT_FORMAT_MAX];
    PLAT_FIND_DATA data;
    HANDLE hFind;
    int bAny = 0;
    TextFormat(szPattern, sizeof(szPattern), "%s\\*", szTree);
    hFind = PlatFindFirstFile(szPattern, &data);
    if (!hFind) return 0;
    do {
        if (!IsDotEntry(data.cFileName)) bAny = 1;
    } while (!bAny && PlatFindNextFile(hFind, &data));
    PlatFindClose(hFind);
    return bAny;
}

int CabinetBackupTree(int iAction, const char* szDataDir, const char* szTarget, const char* szArchive)
{
    char szFull[261], szTree[261], szCommand[TEXT_FORMAT_MAX];
    DWORD dwExit;
    if (!CabinetArchivePath(szArchive, szFull, sizeof(szFull)) || !CabinetTreePath(iAction, szDataDir, szTree, sizeof(szTree))) {
        LogFormat(1, "Path too long: backup of %s", szTarget);
        return 0;
    }
    if (FileExists(szFull)) {
        LogFormat(1, "Backup cabinet %s exists: kept", szFull);
        return 1;
    }
    if (!DirectoryExists(szTree) || !CabinetTreeHasFiles(szTree)) {
        LogFormat(1, "Nothing to back up in %s", szTree);
        return 1;
    }
    TextFormat(szCommand, sizeof(szCommand), "\"%s\\%s\" -r -p n \"%s\" %s\\*", gszStartDir, ENGINE_CAB_TOOL, szFull,
               iAction == ENGINE_CAB_TOOLKIT ? ENGINE_TOOLKIT_TREE : ENGINE_PLUGINS_TREE);
    PlatSetCurrentDirectory(iAction == ENGINE_CAB_TOOLKIT ? szDataDir : gpProgramDir);
    if (!CabinetRun(szCommand, &dwExit)) {
        DWORD dwError = PlatGetLastError();
        LogLine(szCommand, 0);
        LogFormat(0, "Failed Backing up %s to %s (%ld)", szTarget, szFull, dwError);
        CabinetBackHome();
        return 0;
    }
    CabinetBackHome();
    if (dwExit != 0 || !FileExists(szFull)) {
        LogLine(szCommand, 0);
        LogFormat(0, "Cabinet tool exited %d backing up %s to %s", (int)dwExit, szTarget, szFull);
        return 0;
    }
    LogFormat(1, "Backed up %s to %s", szTarget, szFull);
    return 1;
}

int CabinetRefillTree(int iAction, const char* szDataDir, const char* szTarget, const char* szTemp)
{
    char szTree[261], szTempFull[TEXT_FORMAT_MAX], szCommand[TEXT_FORMAT_MAX], szMarker[TEXT_FORMAT_MAX];
    const char* szCabinet = szTarget;
    const char* szWhich = iAction == ENGINE_CAB_TOOLKIT ? "dojo" : "osgi";
    int bRevert = giOperationMode != MODE_UPGRADE;
    DWORD dwExit;
    if (!CabinetTreePath(iAction, szDataDir, szTree, sizeof(szTree))) {
        LogFormat(1, "Path too long: tree of %s", szTarget);
        return 0;
    }
    TextFormat(szTempFull, sizeof(szTempFull), "%s\\%s", gpProgramDir ? gpProgramDir : "", szTemp);

    /* The tree emptied and made again. A file that cannot be removed stays
     * beside the new tree's files: the log says so. */
    if (!RemoveTree(szTree) && DirectoryExists(szTree))
        LogFormat(1, "Could not empty %s (%ld): files of the level before may remain in it", szTree,
                  (long)PlatGetLastError());
    TextFormat(szMarker, sizeof(szMarker), "%s\\x", szTree);
    CreatePath(szMarker);

    /* The plug-in cabinet of an upgrade is copied into the tree itself. */
    if (iAction == ENGINE_CAB_PLUGINS && !bRevert) {
        PlatSetCurrentDirectory(szTree);
        szCabinet = ENGINE_PLUGINS_CAB;
    }
    if (!EngineCopyFile(szTempFull, szTarget)) {
        LogFormat(1, "CopyFiles (%s):", szWhich);
        LogFormat(1, "Failed to rename temp file %s to %s.", szTempFull, szTarget);
        CabinetBackHome();
        return 0;
    }
    if (iAction == ENGINE_CAB_TOOLKIT) PlatSetCurrentDirectory(bRevert ? szDataDir : szTree);
    TextFormat(szCommand, sizeof(szCommand), "\"%s\\%s\" %s x \"%s\" * \"%s\\\"", gszStartDir, ENGINE_CAB_TOOL,
               iAction == ENGINE_CAB_PLUGINS && bRevert ? "-p -o" : "-p", szCabinet, szTree);
    if (!CabinetRun(szCommand, &dwExit)) {
        DWORD dwError = PlatGetLastError();
        LogLine(szCommand, 0);
        LogFormat(0, "Failed extracting from %s to %s (%ld)", szTarget, szTree, dwError);
        PlatDeleteFile(szTarget);
        CabinetBackHome();
        return 0;
    }
    PlatDeleteFile(szTarget);
    CabinetBackHome();
    if (dwExit != 0) {
        LogLine(szCommand, 0);
        LogFormat(0, "Cabinet tool exited %d extracting %s to %s", (int)dwExit, szTarget, szTree);
        return 0;
    }
    LogFormat(1, "Extracted %s to %s", szTarget, szTree);
    return 1;
}
