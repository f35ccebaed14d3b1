/*
 * cmdline.cpp - the two text rules that starting a program depends on, kept
 * free of system calls so the project's tools can link them too.
 *
 * Command line -> arguments (the Microsoft C runtime's rules):
 *   argv[0]      the program token: characters up to the first blank or tab
 *                outside double quotes; quotes only toggle, backslashes are
 *                plain characters.
 *   argv[1..]    blanks and tabs separate; inside an argument
 *                  2n backslashes + '"'    -> n backslashes, then the quote
 *                                             toggles the quoted mode, except
 *                                             that '""' inside quotes gives
 *                                             one literal '"' and stays quoted
 *                  2n+1 backslashes + '"'  -> n backslashes and a literal '"'
 *                  backslashes elsewhere   -> literal
 *                a trailing blank makes no empty argument; '""' alone does.
 *
 * Search path list -> directories (the PATH variable):
 *   a text that contains ";" or a backslash is in Windows form and splits on
 *   ";" (double quotes around an entry are dropped); any other text splits
 *   on ":". Empty entries are skipped.
 */
#include "platform/process.h"

#include <string.h>

static int CmdIsBlank(char ch) { return ch == ' ' || ch == '\t'; }

int PlatSplitCommandLine(const char* szCommandLine, char** ppszArgs, int cArgsMax, char* szBuf, size_t cbBuf)
{
    const char* p = szCommandLine ? szCommandLine : "";
    size_t iOut = 0;
    int cArgs = 0;
    int bQuoted = 0;

    /* Every argument is at most as long as its source text and the blank
     * that ends it makes room for its NUL, so strlen + 1 bytes always do. */
    if (!szBuf || cbBuf < strlen(p) + 1) return -1;

    while (CmdIsBlank(*p)) p++;
    if (!*p) return 0;

    /* The program token. */
    if (cArgs < cArgsMax && ppszArgs) ppszArgs[cArgs] = szBuf + iOut;
    while (*p && (bQuoted || !CmdIsBlank(*p))) {
        if (*p == '"') bQuoted = !bQuoted;
        else szBuf[iOut++] = *p;
        p++;
    }
    szBuf[iOut++] = 0;
    cArgs++;

    for (;;) {
        while (CmdIsBlank(*p)) p++;
        if (!*p) break;
        if (cArgs < cArgsMax && ppszArgs) ppszArgs[cArgs] = szBuf + iOut;
        bQuoted = 0;
        while (*p && (bQuoted || !CmdIsBlank(*p))) {
            if (*p == '\\') {
                size_t cSlashes = 0;
                while (*p == '\\') {
                    cSlashes++;
                    p++;
                }
                if (*p == '"') {
                    size_t i;
                    for (i = 0; i < cSlashes / 2; i++) szBuf[iOut++] = '\\';
                    if (cSlashes % 2) {
                        szBuf[iOut++] = '"';
                        p++;
                    }
                    /* An even count leaves the quote to the branch below. */
                } else {
                    size_t i;
                    for (i = 0; i < cSlashes; i++) szBuf[iOut++] = '\\';
                }
                continue;
            }
            if (*p == '"') {
                if (bQuoted && p[1] == '"') {
                    szBuf[iOut++] = '"';
                    p += 2;
                } else {
                    bQuoted = !bQuoted;
                    p++;
                }
                continue;
            }
            szBuf[iOut++] = *p++;
        }
        szBuf[iOut++] = 0;
        cArgs++;
    }
    return cArgs;
}

int PlatNextSearchDir(const char* szList, size_t* piPos, char* szDir, size_t cbDir)
{
    char chSep;
    if (!szList || !piPos || !szDir || cbDir == 0) return 0;
    chSep = (strchr(szList, ';') || strchr(szList, '\\')) ? ';' : ':';
    while (szList[*piPos]) {
        const char* pStart = szList + *piPos;
        const char* pEnd = strchr(pStart, chSep);
        size_t cch;
        if (!pEnd) pEnd = pStart + strlen(pStart);
        *piPos = (size_t)(pEnd - szList) + (*pEnd ? 1 : 0);
        if (chSep == ';') {
            while (pStart < pEnd && CmdIsBlank(*pStart)) pStart++;
            while (pEnd > pStart && CmdIsBlank(pEnd[-1])) pEnd--;
            if (pEnd - pStart >= 2 && *pStart == '"' && pEnd[-1] == '"') {
                pStart++;
                pEnd--;
            }
        }
        cch = (size_t)(pEnd - pStart);
        /* An entry that does not fit would name another directory: skip it. */
        if (cch == 0 || cch >= cbDir) continue;
        memcpy(szDir, pStart, cch);
        szDir[cch] = 0;
        return 1;
    }
    szDir[0] = 0;
    return 0;
}
