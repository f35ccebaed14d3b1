/*
 * running.cpp - the two guards around an upgrade: the product must not run
 * (its key library cannot be opened for update while a server or client has
 * it loaded), and after a server upgrade its statistics service must be
 * registered (the product's own batch file does that).
 */
#include "shell/running.h"

#include "platform/process.h"
#include "platform/registry.h"
#include "shell/discovery.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/text.h"
#include "shell/utils.h"

#define RUNNING_REG_ACCESS (KEY_READ | KEY_WOW64_64KEY)

int ProductRunning(void)
{
    char szKeyFile[MAX_PATH];
    PLATFILE* pf;
    if (!KeyFilePath(szKeyFile, sizeof(szKeyFile))) return 0;
    if (!FileExists(szKeyFile)) return 0;
    pf = PlatFopen(szKeyFile, "r+b");
    if (!pf) return RUNNING_STRING_ID;
    PlatFclose(pf);
    return 0;
}

/* 1 when the service key opens (it is closed again). */
static int RunningServiceKeyExists(void)
{
    HKEY hKey;
    if (PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, RUNNING_SERVICE_KEY, 0, RUNNING_REG_ACCESS, &hKey) != ERROR_SUCCESS)
        return 0;
    PlatRegCloseKey(hKey);
    return 1;
}

int RegisterStatService(void)
{
    char szBatch[TEXT_FORMAT_MAX];
    char szCommand[TEXT_FORMAT_MAX];
    const char* szProgramDir = gpProgramDir ? gpProgramDir : "";
    PLAT_PROCESS process;
    DWORD dwExitCode = 0;
    int bResult;

    if (RunningServiceKeyExists()) return 1;

    TextFormat(szBatch, sizeof(szBatch), "\"%s\\%s\"", szProgramDir, RUNNING_SERVICE_BATCH);
    LogLine(szBatch, 0);
    TextFormat(szCommand, sizeof(szCommand), "%s \"%s\"", szBatch, szProgramDir);

    if (!PlatCreateProcess(szCommand, NULL, 1, 1, &process)) {
        DWORD dwError = PlatGetLastError();
        LogLine(szCommand, 0);
        LogFormat(0, "Failed to execute %s: %d", szCommand, (int)dwError);
        return 0;
    }
    /* A blocking wait rather than polling the exit code for STILL_ACTIVE:
     * the same end, without spinning, and a child whose real exit code is
     * 259 cannot hold the installer forever. */
    PlatWaitForSingleObject(process.hProcess, INFINITE);
    if (!PlatGetExitCodeProcess(process.hProcess, &dwExitCode)) dwExitCode = 0;
    LogFormat(0, " %s: exited with %d", szCommand, (int)dwExitCode);

    if (RunningServiceKeyExists()) {
        LogLine("Entries for quilltat were created", 0);
        bResult = 1;
    } else {
        LogFormat(0, "Entries for quilltat were not created, please run %s manually", szCommand);
        bResult = 0;
    }
    PlatCloseHandle(process.hProcess);
    PlatCloseHandle(process.hThread);
    return bResult;
}
