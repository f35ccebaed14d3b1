// Throughput of Explode and UpdateCrc32 beside independent implementations:
// libstorm's explode on the same stream (when libstorm is linked) and zlib's
// crc32 on the same buffer (when zlib is linked). Output throughput counts
// decoded bytes. A summary with the ratios is printed after the runs.

#include "package/explode/crc32.h"
#include "package/explode/explode.h"

#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#ifdef HERON_HAVE_ZLIB
#include <zlib.h>
#endif

#ifdef HERON_HAVE_STORM
#include "support/storm.h"
#endif

namespace
{

typedef std::vector<unsigned char> Bytes;

const size_t kcbPlain = 4 << 20;

// Text of varying lines, structured binary records and noise, in stretches.
Bytes MixedData(size_t cb)
{
    static const char* const aszWords[] = {"release", "table", "file", "checksum", "backup", "upgrade",
                                           "the", "of", "and", "version", "registry", "install"};
    Bytes ab;
    uint32_t x = 12345;
    auto Next = [&x]() { return x = x * 1664525u + 1013904223u; };
    while (ab.size() < cb)
    {
        switch (Next() >> 30)
        {
        case 0:
        case 1: // text
            for (int i = 0; i < 200; i++)
            {
                const char* sz = aszWords[(Next() >> 20) % 12];
                ab.insert(ab.end(), sz, sz + strlen(sz));
                ab.push_back((Next() >> 28) == 0 ? '\n' : ' ');
            }
            break;
        case 2: // records: small integers, offsets, padding
            for (int i = 0; i < 100; i++)
            {
                uint32_t dw = i * 0x40 + (Next() >> 28);
                ab.insert(ab.end(), {(unsigned char)dw, (unsigned char)(dw >> 8), 0, 0, 0x4C, 0x01, 0, 0});
            }
            break;
        default: // noise
            for (int i = 0; i < 300; i++)
                ab.push_back((unsigned char)(Next() >> 24));
        }
    }
    ab.resize(cb);
    return ab;
}

struct MEMORY_IO
{
    const Bytes* pIn;
    size_t iIn;
    unsigned char* pbOut;
    size_t cbOut;
};

unsigned int MemoryRead(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    MEMORY_IO* p = (MEMORY_IO*)pContext;
    size_t cb = std::min<size_t>(*pcbSize, p->pIn->size() - p->iIn);
    memcpy(pbBuf, p->pIn->data() + p->iIn, cb);
    p->iIn += cb;
    return (unsigned int)cb;
}

void MemoryWrite(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    MEMORY_IO* p = (MEMORY_IO*)pContext;
    memcpy(p->pbOut + p->cbOut, pbBuf, *pcbSize);
    p->cbOut += *pcbSize;
}

const Bytes& Plain()
{
    static const Bytes ab = MixedData(kcbPlain);
    return ab;
}

#ifdef HERON_HAVE_STORM

// The plain data imploded by libstorm (nType 0 binary, 1 ASCII; 4,096-byte
// dictionary).
const Bytes& Imploded(unsigned int nType)
{
    static Bytes aab[2];
    if (aab[nType].empty())
    {
        std::vector<char> work(65536);
        Bytes abOut(kcbPlain + kcbPlain / 4);
        MEMORY_IO io = {&Plain(), 0, abOut.data(), 0};
        unsigned int cbDict = 4096;
        implode(MemoryRead, MemoryWrite, work.data(), &io, &nType, &cbDict);
        aab[nType].assign(abOut.begin(), abOut.begin() + io.cbOut);
    }
    return aab[nType];
}

void BM_Explode(benchmark::State& state, bool fHeron, unsigned int nType)
{
    const Bytes& abIn = Imploded(nType);
    Bytes abOut(kcbPlain + 8192);
    std::vector<char> work(65536);
    for (auto _ : state)
    {
        MEMORY_IO io = {&abIn, 0, abOut.data(), 0};
        memset(work.data(), 0, EXPLODE_WORK_SIZE);
        unsigned int nCode = fHeron ? Explode(MemoryRead, MemoryWrite, work.data(), &io)
                                    : explode(MemoryRead, MemoryWrite, work.data(), &io);
        if (nCode != 0 || io.cbOut != kcbPlain || memcmp(abOut.data(), Plain().data(), 64) != 0)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(abOut.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kcbPlain);
    state.counters["ratio"] = (double)abIn.size() / kcbPlain;
}
BENCHMARK_CAPTURE(BM_Explode, heron_binary, true, 0u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Explode, storm_binary, false, 0u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Explode, heron_ascii, true, 1u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Explode, storm_ascii, false, 1u)->Unit(benchmark::kMillisecond);

#endif // HERON_HAVE_STORM

void BM_Crc32(benchmark::State& state, bool fSliced)
{
    const Bytes& ab = Plain();
    for (auto _ : state)
    {
        unsigned int dwCrc = fSliced ? UpdateCrc32Sliced(ab.data(), (unsigned int)ab.size(), 0xFFFFFFFFu)
                                     : UpdateCrc32(ab.data(), (unsigned int)ab.size(), 0xFFFFFFFFu);
        benchmark::DoNotOptimize(dwCrc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)ab.size());
}
BENCHMARK_CAPTURE(BM_Crc32, heron, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Crc32, heron_sliced, true)->Unit(benchmark::kMicrosecond);

#ifdef HERON_HAVE_ZLIB
void BM_Crc32Zlib(benchmark::State& state)
{
    const Bytes& ab = Plain();
    for (auto _ : state)
    {
        uLong dwCrc = crc32(0, ab.data(), (uInt)ab.size());
        benchmark::DoNotOptimize(dwCrc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)ab.size());
}
BENCHMARK(BM_Crc32Zlib)->Name("BM_Crc32/zlib")->Unit(benchmark::kMicrosecond);
#endif

// Keeps each run's bytes per second for the summary.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> mapRate;

    void ReportRuns(const std::vector<Run>& reports) override
    {
        for (const Run& run : reports)
        {
            auto it = run.counters.find("bytes_per_second");
            if (!run.error_occurred && run.aggregate_name.empty() && it != run.counters.end())
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
    printf("%-24s %9.1f MB/s vs %9.1f MB/s  ratio %.2fx", szWhat, itHeron->second / 1e6, itPeer->second / 1e6,
           dRatio);
    if (dTarget > 0)
        printf("  (target >= %.1fx: %s)", dTarget, dRatio >= dTarget ? "met" : "NOT met");
    printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printf("\nSummary (%zu MB of mixed data)\n", kcbPlain >> 20);
    PrintRatio(reporter, "Explode binary vs storm", "BM_Explode/heron_binary", "BM_Explode/storm_binary", 1.0);
    PrintRatio(reporter, "Explode ASCII vs storm", "BM_Explode/heron_ascii", "BM_Explode/storm_ascii", 1.0);
    PrintRatio(reporter, "UpdateCrc32 vs zlib", "BM_Crc32/heron", "BM_Crc32/zlib", 1.0);
    PrintRatio(reporter, "(table-only path)", "BM_Crc32/heron_sliced", "BM_Crc32/zlib", 0);
    return 0;
}
