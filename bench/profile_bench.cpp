// Profile-file reads the way the installer does them: numbered keys
// ("Label001", "Label002", ...) read one after another until the default
// comes back. One iteration of BM_ReadNumberedKeys is 5,000 keys plus the
// final miss from one file of 5,000 entries (about 100 KB), so its time is
// the whole walk. BM_ReadNumberedKeysReparsing spreads the same reads over
// more files than the parse cache holds, so every call parses its file
// again: the cost without the cache. BM_WriteNumberedKeys writes 100 keys
// into a fresh file (each write flushes to the disk and renames).

#include "platform/profile.h"

#include <benchmark/benchmark.h>

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace
{

const int kcKeys = 5000;
const int kcFiles = 8; // more than the parse cache holds
const char* const kszSection = "\"Release 7.0.1|May 1, 2009\"";
std::string g_strRoot;

int RemoveEntry(const char* szPath, const struct stat*, int, struct FTW*) { return remove(szPath); }

void MakeMachine()
{
    char szTemplate[] = "/tmp/heron-bench-XXXXXX";
    if (!mkdtemp(szTemplate)) abort();
    g_strRoot = szTemplate;
    setenv("HERON_ROOT", g_strRoot.c_str(), 1);
    mkdir((g_strRoot + "/drive_c").c_str(), 0777);
    mkdir((g_strRoot + "/drive_c/VIREO").c_str(), 0777);
    // The files are written directly: 5,000 writes through the module would be 5,000 flushes.
    for (int iFile = 0; iFile < kcFiles; iFile++) {
        std::string strText = "[Product]\r\nVersion=7.0.1\r\n[" + std::string(kszSection) + "]\r\n";
        char szLine[128];
        for (int i = 1; i <= kcKeys; i++) {
            snprintf(szLine, sizeof(szLine), "Label%03d=\"File %d of the release|0x%08xL\"\r\n", i, i, i * 2654435761u);
            strText += szLine;
        }
        strText += "[Other]\r\nKey=Value\r\n";
        char szName[64];
        snprintf(szName, sizeof(szName), "/drive_c/VIREO/PATCH%d.INI", iFile);
        FILE* fp = fopen((g_strRoot + szName).c_str(), "wb");
        if (!fp) abort();
        fwrite(strText.data(), 1, strText.size(), fp);
        fclose(fp);
    }
}

// Reads Label001... from the file(s) until "DEFAULT"; returns the count.
int WalkKeys(int cFiles)
{
    char szKey[32], szFile[64], szBuf[260];
    int n = 0;
    for (;;) {
        snprintf(szKey, sizeof(szKey), "Label%03d", n + 1);
        snprintf(szFile, sizeof(szFile), "C:\\VIREO\\PATCH%d.INI", n % cFiles);
        PlatGetPrivateProfileString(kszSection, szKey, "DEFAULT", szBuf, sizeof(szBuf), szFile);
        if (strcmp(szBuf, "DEFAULT") == 0) return n;
        n++;
    }
}

void BM_ReadNumberedKeys(benchmark::State& state)
{
    for (auto _ : state) {
        int n = WalkKeys(1);
        if (n != kcKeys) state.SkipWithError("wrong key count");
    }
    state.counters["per_key"] = benchmark::Counter(kcKeys, benchmark::Counter::kIsIterationInvariantRate |
                                                               benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadNumberedKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadNumberedKeysReparsing(benchmark::State& state)
{
    for (auto _ : state) {
        int n = WalkKeys(kcFiles);
        if (n != kcKeys) state.SkipWithError("wrong key count");
    }
    state.counters["per_key"] = benchmark::Counter(kcKeys, benchmark::Counter::kIsIterationInvariantRate |
                                                               benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadNumberedKeysReparsing)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteNumberedKeys(benchmark::State& state)
{
    char szKey[32];
    int iRun = 0;
    for (auto _ : state) {
        char szFile[64];
        snprintf(szFile, sizeof(szFile), "C:\\VIREO\\W%d.INI", iRun++);
        for (int i = 1; i <= 100; i++) {
            snprintf(szKey, sizeof(szKey), "File%03d", i);
            if (!PlatWritePrivateProfileString(kszSection, szKey, "0x1a2b3c4dL", szFile))
                state.SkipWithError("write failed");
        }
    }
    state.counters["per_write"] = benchmark::Counter(100, benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}
BENCHMARK(BM_WriteNumberedKeys)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    MakeMachine();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    nftw(g_strRoot.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    return 0;
}
