// The per-file transforms beside a plain buffered copy, and the package
// builder's delta payloads beside bsdiff and xdelta3.
//
// Throughput: UpgradeFile writes a 4 MB file through the installer's file
// streams, from a whole-file payload and from a delta against an installed
// file on disk; the peer copies the same bytes between two files of the same
// streams with a 64 KB buffer. Opening the files is left out of the timing
// on both sides; bytes counted are the bytes written. Each figure is the
// median of 5 repetitions.
//
// Payload size: file pairs of 1 MB that differ by same-length edits,
// insertions, deletions and a mix; the delta is measured compressed as the
// package stores it, bsdiff's patch as written (bzip2 inside) and xdelta3's
// with its defaults. A peer that is not installed is left out of the table.

#include "engine/engine_private.h"
#include "engine/transforms/transforms.h"
#include "package/explode/crc32.h"
#include "implode.h"
#include "pack/pack_delta.h"
#include "platform/platform.h"

#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

namespace
{

typedef std::vector<uint8_t> Bytes;

const size_t kcbFile = 4 << 20;
const size_t kcbPair = 1 << 20;

uint32_t s_x = 12345;
uint32_t Next() { return s_x = s_x * 1664525u + 1013904223u; }

// Text lines and binary records in stretches, like product files.
Bytes MixedData(size_t cb)
{
    static const char* const aszWords[] = {"release", "table", "file", "checksum", "backup", "upgrade",
                                           "the", "of", "and", "version", "registry", "install"};
    Bytes ab;
    while (ab.size() < cb)
    {
        if ((Next() >> 31) == 0)
        {
            for (int i = 0; i < 200; i++)
            {
                const char* sz = aszWords[(Next() >> 20) % 12];
                ab.insert(ab.end(), sz, sz + strlen(sz));
                ab.push_back((Next() >> 28) == 0 ? '\n' : ' ');
            }
        }
        else
        {
            for (int i = 0; i < 100; i++)
            {
                uint32_t dw = i * 0x40 + (Next() >> 28);
                ab.insert(ab.end(), {(uint8_t)dw, (uint8_t)(dw >> 8), 0, 0, 0x4C, 0x01, 0, 0});
            }
        }
    }
    ab.resize(cb);
    return ab;
}

enum EditKind { EDIT_SAME, EDIT_INSERT, EDIT_DELETE, EDIT_MIXED };

// About dPercent of the bytes touched, in runs of 1 to 64 bytes.
Bytes Edit(const Bytes& old, EditKind kind, double dPercent)
{
    Bytes out;
    size_t cbTouched = (size_t)(old.size() * dPercent / 100.0);
    size_t cRuns = cbTouched / 32 + 1;
    size_t cbStep = old.size() / cRuns;
    size_t iPos = 0;
    for (size_t r = 0; r < cRuns; r++)
    {
        size_t iAt = r * cbStep + Next() % (cbStep / 2 + 1);
        if (iAt < iPos || iAt >= old.size())
            continue;
        out.insert(out.end(), old.begin() + iPos, old.begin() + iAt);
        size_t cb = 1 + Next() % 64;
        EditKind k = kind == EDIT_MIXED ? (EditKind)(Next() % 3) : kind;
        if (iAt + cb > old.size())
            cb = old.size() - iAt;
        if (k == EDIT_SAME)
        {
            for (size_t i = 0; i < cb; i++)
                out.push_back((uint8_t)(old[iAt + i] ^ (1 + Next() % 255)));
            iPos = iAt + cb;
        }
        else if (k == EDIT_INSERT)
        {
            for (size_t i = 0; i < cb; i++)
                out.push_back((uint8_t)('a' + Next() % 26));
            iPos = iAt;
        }
        else
        {
            iPos = iAt + cb;
        }
    }
    out.insert(out.end(), old.begin() + iPos, old.end());
    return out;
}

std::string s_strRoot;

void WriteHost(const std::string& strPath, const Bytes& v)
{
    FILE* fp = fopen(strPath.c_str(), "wb");
    if (!fp)
        return;
    if (!v.empty())
        fwrite(v.data(), 1, v.size(), fp);
    fclose(fp);
}

long HostSize(const std::string& strPath)
{
    struct stat st;
    return stat(strPath.c_str(), &st) == 0 ? (long)st.st_size : -1;
}

void Setup()
{
    if (!s_strRoot.empty())
        return;
    // Memory-backed files where there are any: the figures compare the
    // transforms' work, not the disk's mood.
    char szTemplate[64];
    struct stat st;
    snprintf(szTemplate, sizeof(szTemplate), "%s/heron-transform-bench-XXXXXX",
             stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp");
    if (!mkdtemp(szTemplate))
        abort();
    s_strRoot = szTemplate;
    setenv("HERON_ROOT", s_strRoot.c_str(), 1);
    mkdir((s_strRoot + "/drive_c").c_str(), 0755);
    mkdir((s_strRoot + "/drive_c/b").c_str(), 0755);
}

struct Pair
{
    Bytes old, now, payload;
    uint32_t dwBlocks;
};

Pair& ThroughputPair()
{
    static Pair pair;
    if (pair.old.empty())
    {
        Setup();
        pair.old = MixedData(kcbFile);
        pair.now = Edit(pair.old, EDIT_MIXED, 2.0);
        PackMakeDelta(pair.old, pair.now, &pair.payload, &pair.dwBlocks);
        WriteHost(s_strRoot + "/drive_c/b/old.bin", pair.old);
        WriteHost(s_strRoot + "/drive_c/b/new.bin", pair.now);
    }
    return pair;
}

void BM_Upgrade(benchmark::State& state, bool bDelta)
{
    Pair& pair = ThroughputPair();
    FILEENTRY_FIELDS fields = {};
    fields.dwKind = bDelta ? FILE_KIND_DELTA : FILE_KIND_WHOLE;
    fields.dwOldSize = (DWORD)pair.old.size();
    fields.dwNewSize = (DWORD)pair.now.size();
    fields.dwOldCrc = ~UpdateCrc32(pair.old.data(), (unsigned int)pair.old.size(), 0xFFFFFFFFu);
    fields.dwDeltaBlocks = pair.dwBlocks;
    const Bytes& payload = bDelta ? pair.payload : pair.now;
    for (auto _ : state)
    {
        // Opening a file scans for other processes that hold it (the
        // emulation's in-use test): kept out of the timing for both sides.
        state.PauseTiming();
        PLATFILE* pfSource = bDelta ? PlatFopen("C:\\b\\old.bin", "rb") : NULL;
        PLATFILE* pfOut = PlatFopen("C:\\b\\out.bin", "wb");
        state.ResumeTiming();
        // A delta reads its installed file twice: the version test (size and
        // CRC-32), then the transform.
        int iResult = UpgradeFile(pfSource, pfOut, payload.data(), (DWORD)payload.size(), &fields, "out.bin");
        if (pfSource)
            PlatFclose(pfSource);
        PlatFclose(pfOut);
        if (iResult != 1)
            state.SkipWithError("transform failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)pair.now.size());
}

void BM_Copy(benchmark::State& state)
{
    Pair& pair = ThroughputPair();
    Bytes vBuffer(65536);
    for (auto _ : state)
    {
        state.PauseTiming();
        PLATFILE* pfIn = PlatFopen("C:\\b\\new.bin", "rb");
        PLATFILE* pfOut = PlatFopen("C:\\b\\copy.bin", "wb");
        state.ResumeTiming();
        size_t cb;
        while ((cb = PlatFread(vBuffer.data(), 1, vBuffer.size(), pfIn)) > 0)
            PlatFwrite(vBuffer.data(), 1, cb, pfOut);
        PlatFclose(pfIn);
        PlatFclose(pfOut);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)pair.now.size());
}

BENCHMARK_CAPTURE(BM_Upgrade, whole_file, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Upgrade, delta, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Copy)->Name("BM_Copy/buffered")->Unit(benchmark::kMillisecond)->UseRealTime();

class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> mapRate;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports)
        {
            auto it = run.counters.find("bytes_per_second");
            // The median of the repetitions (the figure of a single run when
            // there are none): file writes on a shared machine are noisy.
            if (run.error_occurred || it == run.counters.end())
                continue;
            if (run.aggregate_name == "median")
                mapRate[run.run_name.str()] = it->second.value;
            else if (run.aggregate_name.empty() && !mapRate.count(run.run_name.str() + "#median"))
                mapRate[run.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(reports);
    }
};

void PrintRatio(const SummaryReporter& reporter, const char* szWhat, const std::string& sHeron,
                const std::string& sPeer, double dTarget)
{
    auto itHeron = reporter.mapRate.find(sHeron);
    auto itPeer = reporter.mapRate.find(sPeer);
    if (itHeron == reporter.mapRate.end() || itPeer == reporter.mapRate.end())
        return;
    double dRatio = itHeron->second / itPeer->second;
    printf("%-28s %9.1f MB/s vs %9.1f MB/s  ratio %.2fx  (target >= %.1fx: %s)\n", szWhat, itHeron->second / 1e6,
           itPeer->second / 1e6, dRatio, dTarget, dRatio >= dTarget ? "met" : "NOT met");
}

size_t ImplodedSize(const Bytes& v)
{
    unsigned char* pb = NULL;
    size_t cb = 0;
    if (!Implode(v.data(), v.size(), 0, 4096, &pb, &cb))
        return 0;
    ImplodeFree(pb);
    return cb + 4;
}

// Runs a peer tool; the size of its output, -1 when it is missing or failed.
long PeerSize(const char* szTool, const std::string& strCommand, const std::string& strOut)
{
    std::string strFind = std::string("command -v ") + szTool + " >/dev/null 2>&1";
    if (system(strFind.c_str()) != 0)
        return -1;
    remove(strOut.c_str());
    if (system((strCommand + " >/dev/null 2>&1").c_str()) != 0)
        return -1;
    return HostSize(strOut);
}

void PrintSizes()
{
    static const struct
    {
        const char* szName;
        EditKind kind;
        double dPercent;
    } aCases[] = {
        {"same-length edits 1%", EDIT_SAME, 1.0}, {"same-length edits 5%", EDIT_SAME, 5.0},
        {"insertions 1%", EDIT_INSERT, 1.0},      {"deletions 1%", EDIT_DELETE, 1.0},
        {"mixed 2%", EDIT_MIXED, 2.0},            {"mixed 9%", EDIT_MIXED, 9.0},
    };
    Setup();
    std::string strDir = s_strRoot + "/drive_c/b/";
    printf("\nDelta payload size on %zu KB pairs (bytes; ratios heron / peer)\n", kcbPair >> 10);
    printf("%-22s %9s %9s %9s %9s %8s %8s %8s\n", "pair", "whole", "heron", "bsdiff", "xdelta3", "/whole",
           "/bsdiff", "/xdelta3");
    for (const auto& c : aCases)
    {
        s_x = 777;
        Bytes old = MixedData(kcbPair);
        Bytes now = Edit(old, c.kind, c.dPercent);
        Bytes payload;
        uint32_t dwBlocks = 0;
        PackMakeDelta(old, now, &payload, &dwBlocks);
        bool bOk = PackCheckDelta(old, now, payload, dwBlocks) != 0;
        size_t cbHeron = ImplodedSize(payload), cbWhole = ImplodedSize(now);
        WriteHost(strDir + "p_old", old);
        WriteHost(strDir + "p_new", now);
        long cbBsdiff = PeerSize("bsdiff", "bsdiff " + strDir + "p_old " + strDir + "p_new " + strDir + "p.bsdiff",
                                 strDir + "p.bsdiff");
        long cbXdelta = PeerSize("xdelta3",
                                 "xdelta3 -f -e -s " + strDir + "p_old " + strDir + "p_new " + strDir + "p.xd3",
                                 strDir + "p.xd3");
        char szB[32] = "-", szX[32] = "-", szRB[16] = "-", szRX[16] = "-";
        if (cbBsdiff > 0)
        {
            snprintf(szB, sizeof(szB), "%ld", cbBsdiff);
            snprintf(szRB, sizeof(szRB), "%.2f", (double)cbHeron / cbBsdiff);
        }
        if (cbXdelta > 0)
        {
            snprintf(szX, sizeof(szX), "%ld", cbXdelta);
            snprintf(szRX, sizeof(szRX), "%.2f", (double)cbHeron / cbXdelta);
        }
        printf("%-22s %9zu %9zu %9s %9s %8.3f %8s %8s%s\n", c.szName, cbWhole, cbHeron, szB, szX,
               (double)cbHeron / cbWhole, szRB, szRX, bOk ? "" : "  (round trip FAILED)");
    }
    printf("targets: /bsdiff <= 1.50 on same-length edits; /whole < 1 for every pair (all under 10%% changed)\n");
}

} // namespace

int main(int argc, char** argv)
{
    // --no-sizes leaves the payload size table out (it runs the peers).
    bool bSizes = true;
    for (int i = 1; i < argc; i++)
    {
        if (strcmp(argv[i], "--no-sizes") == 0)
        {
            bSizes = false;
            for (int k = i; k < argc - 1; k++)
                argv[k] = argv[k + 1];
            argc--;
            i--;
        }
    }
    std::vector<char*> vArgs(argv, argv + argc);
    static char szRepetitions[] = "--benchmark_repetitions=5";
    bool bRepetitions = false;
    for (char* sz : vArgs)
        bRepetitions |= strncmp(sz, "--benchmark_repetitions", 23) == 0;
    if (!bRepetitions)
        vArgs.push_back(szRepetitions);
    argc = (int)vArgs.size();
    vArgs.push_back(NULL);
    argv = vArgs.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printf("\nSummary (%zu MB written per run)\n", kcbFile >> 20);
    PrintRatio(reporter, "UpgradeFile whole vs copy", "BM_Upgrade/whole_file/real_time", "BM_Copy/buffered/real_time", 0.8);
    PrintRatio(reporter, "UpgradeFile delta vs copy", "BM_Upgrade/delta/real_time", "BM_Copy/buffered/real_time", 0.8);
    if (bSizes)
        PrintSizes();
    if (!s_strRoot.empty())
        system(("rm -rf '" + s_strRoot + "'").c_str());
    return 0;
}
