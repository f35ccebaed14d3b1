/*
 * log.cpp - the upgrade log.
 *
 * File:   "%s\\%s" of the temporary directory (TEMP, or \TEMP at the root of
 *         the current drive) and "UPGRADE.LOG", text mode (CR LF on disk).
 * Header: "Heron Hotfix Installer FI1.01 for W32Intel"
 *         "Executable created <build time> <build date> for <string 0>."
 *         "Upgrade started at hh:mm:ss Mmm dd yyyy in <working directory>."
 *         two empty lines
 * Close:  the temporary log is copied line by line to the end of the program
 *         directory's UPGRADE.LOG, two empty lines follow, the temporary log
 *         is deleted. Without a program directory, or when that file cannot
 *         be opened, the temporary log stays open and in place.
 *
 * State:  the one log stream (absent before OpenLog and after a successful
 *         CloseLog); reads gpProgramDir and the string table.
 */
#include "shell/log.h"

#include "build_stamp.h"
#include "platform/platform.h"
#include "shell/globals.h"
#include "shell/text.h"
#include "shell/utils.h"

#include <stdarg.h>
#include <string.h>

#define LOG_VERSION "FI1.01"
#define LOG_PLATFORM "W32Intel"
#define LOG_NAME "UPGRADE.LOG"

static PLATFILE* s_pLog;
static char s_szTempLog[260];
static char s_szMovedLog[260]; /* the program directory's log once CloseLog moved it there */

int LogIsOpen(void) { return s_pLog != NULL; }

static void LogTabs(int iIndent)
{
    while (iIndent-- > 0) PlatFwrite("\t", 1, 1, s_pLog);
}

int OpenLog(void)
{
    char szTempDir[260];
    char szTime[64];
    char szStart[64];
    char szCwd[256];
    char szLine[TEXT_FORMAT_MAX];
    DWORD cch;

    cch = PlatGetEnvironmentVariable("TEMP", szTempDir, sizeof(szTempDir));
    if (cch == 0 || cch >= sizeof(szTempDir)) TextCopy(szTempDir, sizeof(szTempDir), "\\TEMP");
    /* The log's path whole, never a shorter name. */
    if (strlen(szTempDir) + 1 + strlen(LOG_NAME) >= sizeof(s_szTempLog)) return 0;
    /* One directory level; a failure (it exists) is ignored. */
    PlatCreateDirectory(szTempDir);
    TextFormat(s_szTempLog, sizeof(s_szTempLog), "%s\\%s", szTempDir, LOG_NAME);

    s_pLog = PlatFopen(s_szTempLog, "w+");
    if (!s_pLog) return 0;

    /* "Www Mmm dd hh:mm:ss yyyy" -> "hh:mm:ss Mmm dd yyyy" */
    PlatLocalTimeText(PlatTime(), szTime, sizeof(szTime));
    if (strlen(szTime) == 24) {
        TextCopyN(szStart, sizeof(szStart), szTime + 11, 8);
        TextAppend(szStart, sizeof(szStart), " ");
        {
            char szMonthDay[8];
            TextCopyN(szMonthDay, sizeof(szMonthDay), szTime + 4, 6);
            TextAppend(szStart, sizeof(szStart), szMonthDay);
        }
        TextAppend(szStart, sizeof(szStart), " ");
        TextAppend(szStart, sizeof(szStart), szTime + 20);
    } else {
        TextCopy(szStart, sizeof(szStart), szTime);
    }
    szCwd[0] = 0;
    if (PlatGetCurrentDirectory(sizeof(szCwd), szCwd) >= sizeof(szCwd)) szCwd[0] = 0;

    TextFormat(szLine, sizeof(szLine), "Heron Hotfix Installer %s for %s\n", LOG_VERSION, LOG_PLATFORM);
    PlatFputs(szLine, s_pLog);
    TextFormat(szLine, sizeof(szLine), "Executable created %s %s for %s.\n", HERON_BUILD_TIME, HERON_BUILD_DATE,
               StringText(0));
    PlatFputs(szLine, s_pLog);
    TextFormat(szLine, sizeof(szLine), "Upgrade started at %s in %s.\n", szStart, szCwd);
    PlatFputs(szLine, s_pLog);
    PlatFputs("\n\n", s_pLog);
    PlatFflush(s_pLog);
    return 1;
}

void LogLine(const char* szText, int iIndent)
{
    if (!s_pLog || !szText || !*szText) return;
    LogTabs(iIndent);
    PlatFputs(szText, s_pLog);
    PlatFputs("\n", s_pLog);
    PlatFflush(s_pLog);
}

void LogString(int iId, int iIndent)
{
    if (!s_pLog) return;
    LogTabs(iIndent);
    PlatFputs(StringText(iId), s_pLog);
    PlatFputs("\n", s_pLog);
}

void LogFormat(int iIndent, const char* szFormat, ...)
{
    char szLine[TEXT_FORMAT_MAX];
    va_list args;
    va_start(args, szFormat);
    TextFormatV(szLine, sizeof(szLine), szFormat, args);
    va_end(args);
    LogLine(szLine, iIndent);
}

void CloseLog(void)
{
    char szFinal[260];
    char szLine[1024];
    PLATFILE* pFinal;

    if (!s_pLog) return;
    if (!gpProgramDir || !gpProgramDir[0]) return;
    /* Never a shorter name: the log then stays in the temporary directory. */
    if (!JoinPath(szFinal, sizeof(szFinal), gpProgramDir, LOG_NAME)) return;
    pFinal = PlatFopen(szFinal, "a");
    if (!pFinal) return;

    PlatFflush(s_pLog);
    PlatFseek(s_pLog, 0, 0);
    /* Line by line, unchanged: a line longer than the buffer passes in pieces. */
    while (PlatFgets(szLine, sizeof(szLine), s_pLog)) PlatFputs(szLine, pFinal);
    PlatFputs("\n\n", pFinal);
    PlatFclose(pFinal);
    PlatFclose(s_pLog);
    s_pLog = NULL;
    PlatDeleteFile(s_szTempLog);
    TextCopy(s_szMovedLog, sizeof(s_szMovedLog), szFinal);
}

const char* LogPath(void)
{
    if (s_szMovedLog[0] && !s_pLog) return s_szMovedLog;
    return s_szTempLog;
}
