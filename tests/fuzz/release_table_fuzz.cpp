// Fuzz target of the release-table walk: any bytes as the records after the
// table's header (the first 8 bytes give the checksum and file record
// counts), through the bounded record readers, the layout check and the
// revert-label search that identification runs on them (for one input in
// 16, see below). The records sit in a buffer of exactly their size, so ASan
// catches any read past the end.
#include "identify/labels.h"
#include "shell/globals.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

static void Check(bool b)
{
    if (!b) abort();
}

static std::string g_strRoot;

static void RemoveMachine(void)
{
    std::string strDrive = g_strRoot + "/drive_c";
    rmdir((strDrive + "/Release801").c_str());
    rmdir(strDrive.c_str());
    rmdir(g_strRoot.c_str());
}

/* An emulated machine with one backup directory, so that labels of that
 * level are gathered. Made once, on tmpfs when there is one: the walk asks
 * the file system about every record. */
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static char szShm[] = "/dev/shm/heron-fuzz-XXXXXX";
    static char szTmp[] = "/tmp/heron-fuzz-XXXXXX";
    const char* szRoot = mkdtemp(szShm);
    if (!szRoot) szRoot = mkdtemp(szTmp);
    if (!szRoot) abort();
    g_strRoot = szRoot;
    setenv("HERON_ROOT", szRoot, 1);
    std::string strDrive = g_strRoot + "/drive_c";
    mkdir(strDrive.c_str(), 0777);
    mkdir((strDrive + "/Release801").c_str(), 0777);
    atexit(RemoveMachine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pbIn, size_t cbIn)
{
    static int s_bInDrive;
    if (!s_bInDrive) {
        /* Not at start-up: libFuzzer still reads its corpus by relative paths. */
        s_bInDrive = 1;
        PlatSetCurrentDirectory("C:\\");
    }
    if (cbIn < 8 || cbIn > 1u << 20) return 0;
    DWORD dwChecksums = (DWORD)pbIn[0] | ((DWORD)pbIn[1] << 8) | ((DWORD)pbIn[2] << 16) | ((DWORD)pbIn[3] << 24);
    DWORD dwFiles = (DWORD)pbIn[4] | ((DWORD)pbIn[5] << 8) | ((DWORD)pbIn[6] << 16) | ((DWORD)pbIn[7] << 24);
    DWORD cb = (DWORD)(cbIn - 8);
    BYTE* pb = (BYTE*)malloc(cb ? cb : 1);
    memcpy(pb, pbIn + 8, cb);

    DWORD dwOff = 0, dwFirstFile = 0, i;
    CHECKSUM_RECORD rec;
    RELEASE_FILE_RECORD file;
    for (i = 0; i < dwChecksums && NextChecksumRecord(pb, cb, &dwOff, &rec); i++) {
        Check(dwOff <= cb);
        Check(strlen(rec.szLabel) <= CHECKSUM_LABEL_FIELD);
        Check((const BYTE*)rec.pszName + strlen(rec.pszName) < pb + cb);
    }
    for (i = 0; i < dwFiles && NextFileRecord(pb, cb, &dwOff, &file); i++) {
        Check(dwOff <= cb);
        Check((const BYTE*)file.pszName + strlen(file.pszName) < pb + cb);
    }

    if (ReleaseTableLayout(pb, cb, dwChecksums, dwFiles, &dwFirstFile)) {
        Check(dwFirstFile <= cb);
        /* The search itself, for tables of the size of a small package and
         * one input in 16 (chosen by the input's bytes, so the same input
         * always goes the same way): it asks the file system about every
         * record, a hundred times the cost of the walk, and would keep the
         * walk's own checks to a few hundred executions a second. */
        uint32_t dwHash = 2166136261u;
        for (size_t k = 0; k < cbIn; k++) dwHash = (dwHash ^ pbIn[k]) * 16777619u;
        if (dwChecksums <= 64 && dwFiles <= 64 && (dwHash & 15) == 0) {
            gdwChecksums = dwChecksums;
            gdwPayloadCount = 0;
            dwUpgradeType = 2;
            strcpy(gszCurrentRelease, "Release 8.0.1|March 3, 2010");
            VerifyLabels(pb, cb, "Release 8.0.2|May 1, 2010", dwFiles);
            for (int k = 0; k < giFixLabels; k++) Check(strlen(gpcanFixLabels[k]) <= 100);
            ResetFixLabels();
        }
    }
    free(pb);
    return 0;
}
