/*
 * entry.cpp - the process entry of the Linux build: hands the command line
 * (without the program name) to the installer's entry function, HeronMain,
 * and returns its exit code, after arming the faults of HERON_FAULT and
 * choosing the front end. The Windows build has WinMain instead.
 */
#include "platform/platform.h"
#include "platform/posix/frontends.h"
#include "platform/posix/posix.h"
#include "platform/ui.h"

#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    /* The Windows entry receives the command line as one text; rebuild it
     * from HERON_COMMAND_LINE when a parent passed it, else join argv. */
    static char szLine[8192];
    const char* szEnv = getenv("HERON_COMMAND_LINE");
    size_t cch = 0;
    szLine[0] = 0;
    /* Faults a test armed that cannot be armed end the run before it starts. */
    if (!PosixFaultInitFromEnv()) return 1;
    /* So are front-end settings that mean nothing. */
    if (!PosixCheckUiEnv()) return 1;
    if (szEnv && *szEnv) {
        /* Skip the program token, quoted or not. */
        const char* p = szEnv;
        while (*p == ' ' || *p == '\t') p++;
        if (*p == '"') {
            p++;
            while (*p && *p != '"') p++;
            if (*p) p++;
        } else {
            while (*p && *p != ' ' && *p != '\t') p++;
        }
        while (*p == ' ' || *p == '\t') p++;
        strncpy(szLine, p, sizeof(szLine) - 1);
    } else {
        for (int i = 1; i < argc; i++) {
            size_t cchArg = strlen(argv[i]);
            int bQuote = strchr(argv[i], ' ') != NULL;
            if (cch + cchArg + 4 >= sizeof(szLine)) break;
            if (i > 1) szLine[cch++] = ' ';
            if (bQuote) szLine[cch++] = '"';
            memcpy(szLine + cch, argv[i], cchArg);
            cch += cchArg;
            if (bQuote) szLine[cch++] = '"';
            szLine[cch] = 0;
        }
    }
    /* The front end starts before the installer, so that even its earliest
     * message boxes reach the person. */
    PlatSetFrontEnd(PlatUiMode() == UI_TUI ? PlatTuiFrontEnd() : PlatHeadlessFrontEnd());
    return HeronMain(NULL, szLine);
}
