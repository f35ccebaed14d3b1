/*
 * updver.cpp - the version-stamp tool, written out by the installer as
 * "UpdateVersion.exe" (docs/version-stamp.md).
 *
 * Command lines (the installer's, word for word):
 *   UpdateVersion.exe "<program directory>" myversion read 
 *   UpdateVersion.exe "<program directory>" "<label>" write 
 * The arguments come from HERON_COMMAND_LINE when it is set (the whole line
 * as the parent gave it, split by the Microsoft C runtime's rules), else from
 * argv. The program directory is a Windows path (C:\VIREO\GARNET) and is
 * translated through the emulated machine.
 *
 * The key file is "qstrings.dll" in the program directory; its stamp is
 * string PEW_STAMP_ID of its string table, the release text followed by
 * blanks. read writes the stamp without the blanks and without a line end to
 * "currver.txt" in the program directory. write puts the label into the
 * stamp, blank-padded to the stamp's existing length, so nothing else in the
 * file moves; the new file is written beside the old one and renamed over
 * it, so the key file is either the old one or the new one, never half of
 * each.
 *
 * Exit codes: 0 done; 1 failed (message on standard error; after a failed
 * read no "currver.txt" is left, so the installer cannot take a stale stamp
 * for the current one); 2 wrong command line. Nothing is written to
 * standard output: the installer's own output must stay its own.
 */
#include "pe_writer.h"
#include "platform/pe.h"
#include "platform/platform.h"
#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#define UV_KEY_FILE "qstrings.dll"
#define UV_STAMP_FILE "currver.txt"
#define UV_PATH_MAX 4096
#define UV_ARGS_MAX 16
#define UV_FILE_MAX (256u * 1024u * 1024u)

static void UvError(const char* szFormat, const char* szA, const char* szB)
{
    fputs("UpdateVersion: ", stderr);
    fprintf(stderr, szFormat, szA ? szA : "", szB ? szB : "");
    fputc('\n', stderr);
}

/* "%s\\%s" of a Windows directory and a name, without doubling a backslash. */
static int UvJoin(const char* szDir, const char* szName, char* szOut, size_t cbOut)
{
    size_t cch = strlen(szDir);
    int n = snprintf(szOut, cbOut, (cch && szDir[cch - 1] == '\\') ? "%s%s" : "%s\\%s", szDir, szName);
    return n > 0 && (size_t)n < cbOut;
}

/* The host path of a Windows path; 0 with a message. */
static int UvHost(const char* szWin, char* szHost, size_t cbHost)
{
    if (PlatHostPath(szWin, szHost, cbHost)) return 1;
    UvError("cannot translate the path %s%s", szWin, "");
    return 0;
}

/* Reads the whole key file. 1 with a malloc'ed copy, 0 with a message. */
static int UvLoad(const char* szHost, const char* szWin, unsigned char** ppb, size_t* pcb, struct stat* pst)
{
    FILE* pf;
    unsigned char* pb;
    *ppb = NULL;
    *pcb = 0;
    if (stat(szHost, pst) != 0) {
        UvError("the key file %s is missing (%s)", szWin, strerror(errno));
        return 0;
    }
    if (!S_ISREG(pst->st_mode)) {
        UvError("the key file %s is not a file%s", szWin, "");
        return 0;
    }
    if ((unsigned long long)pst->st_size > UV_FILE_MAX) {
        UvError("the key file %s is too large%s", szWin, "");
        return 0;
    }
    pf = fopen(szHost, "rb");
    if (!pf) {
        UvError("cannot open the key file %s (%s)", szWin, strerror(errno));
        return 0;
    }
    pb = (unsigned char*)malloc(pst->st_size ? (size_t)pst->st_size : 1);
    if (!pb || fread(pb, 1, (size_t)pst->st_size, pf) != (size_t)pst->st_size) {
        UvError("cannot read the key file %s%s", szWin, "");
        free(pb);
        fclose(pf);
        return 0;
    }
    fclose(pf);
    *ppb = pb;
    *pcb = (size_t)pst->st_size;
    return 1;
}

/* Finds the stamp string. 1, or 0 with a message. */
static int UvFindStamp(const unsigned char* pb, size_t cb, const char* szWin, PE_STRING* pStamp)
{
    PE_IMAGE image;
    if (!PeParseImage(pb, cb, &image)) {
        UvError("the key file %s is not a Portable Executable%s", szWin, "");
        return 0;
    }
    if (!PeFindString(&image, PEW_STAMP_ID, pStamp) || pStamp->cchText == 0) {
        char szId[16];
        snprintf(szId, sizeof(szId), "%u", PEW_STAMP_ID);
        UvError("the key file %s has no release stamp (string %s)", szWin, szId);
        return 0;
    }
    return 1;
}

/* The stamp as single-byte text up to a NUL, trailing blanks removed. */
static void UvStampText(const unsigned char* pb, const PE_STRING* pStamp, char* szOut, size_t cbOut)
{
    size_t i, cch = 0;
    for (i = 0; i < pStamp->cchText && cch + 1 < cbOut; i++) {
        WORD w = PeRead16(pb + pStamp->offText + 2 * i);
        if (w == 0) break;
        szOut[cch++] = w <= 0xFF ? (char)w : '?';
    }
    while (cch > 0 && szOut[cch - 1] == ' ') cch--;
    szOut[cch] = 0;
}

static int UvRead(const char* szDir)
{
    char szKeyWin[UV_PATH_MAX], szKeyHost[UV_PATH_MAX], szOutWin[UV_PATH_MAX], szOutHost[UV_PATH_MAX];
    char szStamp[0x10000];
    unsigned char* pb;
    size_t cb;
    struct stat st;
    PE_STRING stamp;
    FILE* pf;
    int bOk;

    if (!UvJoin(szDir, UV_KEY_FILE, szKeyWin, sizeof(szKeyWin)) ||
        !UvJoin(szDir, UV_STAMP_FILE, szOutWin, sizeof(szOutWin))) {
        UvError("the program directory %s is too long%s", szDir, "");
        return 1;
    }
    if (!UvHost(szOutWin, szOutHost, sizeof(szOutHost))) return 1;
    /* Whatever happens below, an old stamp file must not survive to be read
     * as this run's answer. */
    unlink(szOutHost);
    if (!UvHost(szKeyWin, szKeyHost, sizeof(szKeyHost))) return 1;
    if (!UvLoad(szKeyHost, szKeyWin, &pb, &cb, &st)) return 1;
    if (!UvFindStamp(pb, cb, szKeyWin, &stamp)) {
        free(pb);
        return 1;
    }
    UvStampText(pb, &stamp, szStamp, sizeof(szStamp));
    free(pb);
    if (!szStamp[0]) {
        UvError("the release stamp of %s is empty%s", szKeyWin, "");
        return 1;
    }
    pf = fopen(szOutHost, "wb");
    if (!pf) {
        UvError("cannot create %s (%s)", szOutWin, strerror(errno));
        return 1;
    }
    bOk = fwrite(szStamp, 1, strlen(szStamp), pf) == strlen(szStamp);
    if (fclose(pf) != 0) bOk = 0;
    if (!bOk) {
        unlink(szOutHost);
        UvError("cannot write %s%s", szOutWin, "");
        return 1;
    }
    return 0;
}

/* Writes pb to a new file beside szHost and renames it over szHost. */
static int UvReplace(const char* szHost, const char* szWin, const unsigned char* pb, size_t cb, mode_t mode)
{
    char szTemp[UV_PATH_MAX + 32];
    char szDir[UV_PATH_MAX];
    char* pSlash;
    int fd, bOk = 1;
    size_t cbDone = 0;

    snprintf(szTemp, sizeof(szTemp), "%s.%ld.uvtmp", szHost, (long)getpid());
    fd = open(szTemp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 07777);
    if (fd < 0) {
        UvError("cannot create a new copy of %s (%s)", szWin, strerror(errno));
        return 0;
    }
    while (bOk && cbDone < cb) {
        ssize_t n = write(fd, pb + cbDone, cb - cbDone);
        if (n <= 0) bOk = 0;
        else cbDone += (size_t)n;
    }
    if (bOk && fsync(fd) != 0) bOk = 0;
    if (close(fd) != 0) bOk = 0;
    if (bOk && rename(szTemp, szHost) != 0) bOk = 0;
    if (!bOk) {
        UvError("cannot replace %s (%s)", szWin, strerror(errno));
        unlink(szTemp);
        return 0;
    }
    /* Make the rename itself durable. */
    snprintf(szDir, sizeof(szDir), "%s", szHost);
    pSlash = strrchr(szDir, '/');
    if (pSlash) {
        *(pSlash == szDir ? pSlash + 1 : pSlash) = 0;
        fd = open(szDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
    return 1;
}

static int UvWrite(const char* szDir, const char* szLabel)
{
    char szKeyWin[UV_PATH_MAX], szKeyHost[UV_PATH_MAX];
    char szLen[32];
    unsigned char* pb;
    size_t cb, cchLabel = strlen(szLabel), i;
    struct stat st;
    PE_STRING stamp, check;
    PE_IMAGE image;
    PLATFILE* pf;
    int bOk;

    if (!UvJoin(szDir, UV_KEY_FILE, szKeyWin, sizeof(szKeyWin))) {
        UvError("the program directory %s is too long%s", szDir, "");
        return 1;
    }
    if (!UvHost(szKeyWin, szKeyHost, sizeof(szKeyHost))) return 1;
    if (!UvLoad(szKeyHost, szKeyWin, &pb, &cb, &st)) return 1;
    if (!UvFindStamp(pb, cb, szKeyWin, &stamp)) {
        free(pb);
        return 1;
    }
    if (cchLabel == 0) {
        UvError("the label is empty; %s keeps its stamp%s", szKeyWin, "");
        free(pb);
        return 1;
    }
    if (cchLabel > stamp.cchText) {
        snprintf(szLen, sizeof(szLen), "%u > %u", (unsigned)cchLabel, (unsigned)stamp.cchText);
        UvError("the label is longer than the stamp's room in %s (%s characters)", szKeyWin, szLen);
        free(pb);
        return 1;
    }
    /* The key file must be writable as a Windows program would find it: not
     * read-only and not held by another process. */
    pf = PlatFopen(szKeyWin, "r+b");
    if (!pf) {
        snprintf(szLen, sizeof(szLen), "%lu", (unsigned long)PlatGetLastError());
        UvError("the key file %s cannot be written (error %s)", szKeyWin, szLen);
        free(pb);
        return 1;
    }
    PlatFclose(pf);

    for (i = 0; i < stamp.cchText; i++) {
        unsigned int u = i < cchLabel ? (unsigned char)szLabel[i] : ' ';
        pb[stamp.offText + 2 * i] = (unsigned char)(u & 0xFF);
        pb[stamp.offText + 2 * i + 1] = 0;
    }
    /* The new bytes must read back as the label before they replace anything. */
    if (!PeParseImage(pb, cb, &image) || !PeFindString(&image, PEW_STAMP_ID, &check) ||
        check.offText != stamp.offText || check.cchText != stamp.cchText) {
        UvError("internal check of the new %s failed%s", szKeyWin, "");
        free(pb);
        return 1;
    }
    bOk = UvReplace(szKeyHost, szKeyWin, pb, cb, st.st_mode);
    free(pb);
    return bOk ? 0 : 1;
}

static int UvUsage(void)
{
    fputs("usage: UpdateVersion.exe \"<program directory>\" myversion read\n"
          "       UpdateVersion.exe \"<program directory>\" \"<label>\" write\n",
          stderr);
    return 2;
}

int main(int argc, char** argv)
{
    const char* szLine = getenv("HERON_COMMAND_LINE");
    char* apszArgs[UV_ARGS_MAX];
    char** ppszArgs = argv;
    char* szBuf = NULL;
    int cArgs = argc, iResult;

    if (szLine && *szLine) {
        size_t cbBuf = strlen(szLine) + 1;
        szBuf = (char*)malloc(cbBuf);
        if (!szBuf) return 1;
        cArgs = PlatSplitCommandLine(szLine, apszArgs, UV_ARGS_MAX, szBuf, cbBuf);
        if (cArgs > UV_ARGS_MAX) cArgs = UV_ARGS_MAX;
        ppszArgs = apszArgs;
    }

    if (cArgs == 2 && (strcmp(ppszArgs[1], "--help") == 0 || strcmp(ppszArgs[1], "--version") == 0)) {
        if (strcmp(ppszArgs[1], "--version") == 0) puts("UpdateVersion FI1.01");
        else fputs("usage: UpdateVersion.exe \"<program directory>\" myversion read\n"
                   "       UpdateVersion.exe \"<program directory>\" \"<label>\" write\n",
                   stdout);
        iResult = 0;
    } else if (cArgs == 4 && strcasecmp(ppszArgs[3], "read") == 0) {
        iResult = UvRead(ppszArgs[1]);
    } else if (cArgs == 3 && strcasecmp(ppszArgs[2], "read") == 0) {
        iResult = UvRead(ppszArgs[1]);
    } else if (cArgs == 4 && strcasecmp(ppszArgs[3], "write") == 0) {
        iResult = UvWrite(ppszArgs[1], ppszArgs[2]);
    } else {
        iResult = UvUsage();
    }
    free(szBuf);
    return iResult;
}
