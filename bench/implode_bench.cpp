// implode_bench.cpp - the package builder's implode encoder against libstorm's.
//
// Both encoders compress the same generated inputs (4 MiB of mixed
// program-like data, 4 MiB of prose) with a 4,096-byte dictionary in binary
// and ASCII literal mode. After the runs a table gives input MB/s of both,
// the stream sizes, and the ratios ours/theirs for size (goal <= 1.03) and
// speed (goal >= 1.00), speed taken from CPU time. Every stream of ours is
// checked by decoding it first.
#include <benchmark/benchmark.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "implode.h"

#ifdef HERON_HAVE_STORM
#include "support/storm.h"
#endif

namespace {

const size_t kcbInput = 4u << 20;
const unsigned kcbDict = 4096;

// ---- Generated inputs -------------------------------------------------------

struct Rng {
    uint64_t qw;
    uint32_t Next()
    {
        qw += 0x9E3779B97F4A7C15ull;
        uint64_t z = qw;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return (uint32_t)((z ^ (z >> 31)) >> 32);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

const char* const kaszWords[] = {
    "the", "of", "and", "to", "a", "in", "is", "that", "for", "it", "as", "was", "with", "be",
    "by", "on", "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have",
    "an", "had", "they", "you", "were", "their", "one", "all", "we", "can", "her", "has",
    "there", "been", "if", "more", "when", "will", "would", "who", "so", "no", "file", "update",
    "version", "install", "system", "folder", "program", "setup", "restart", "computer",
    "backup", "original", "replace", "registry", "settings", "product", "release", "package",
    "changes", "before", "after", "during", "between", "without", "through", "however",
    "because", "therefore", "information", "available", "following", "important", "problem",
    "solution", "network", "server", "client", "database", "report", "customer", "account",
    "service", "support", "license", "agreement", "warranty", "software", "hardware", "disk",
    "space", "memory", "directory", "windows", "application", "configuration", "option",
    "error", "message", "warning", "select", "click", "button", "continue", "cancel", "finish",
    "previous", "next", "directly", "automatically", "successfully", "completed", "required",
    "recommended", "current", "existing", "modified", "removed", "added", "fixed", "issue",
    "printing", "invoice", "order", "inventory", "payroll", "ledger", "balance", "total",
    "amount", "date", "time", "number", "name", "address", "phone", "city", "state", "country",
};

// Prose: Zipf-distributed words in sentences and paragraphs, wrapped at 72
// columns with CR LF line ends.
std::vector<unsigned char> MakeText(size_t cb, uint64_t qwSeed)
{
    const size_t nWords = sizeof(kaszWords) / sizeof(kaszWords[0]);
    std::vector<uint32_t> adwCum(nWords);
    uint32_t dwSum = 0;
    for (size_t i = 0; i < nWords; i++) {
        dwSum += (uint32_t)(100000 / (i + 2));
        adwCum[i] = dwSum;
    }
    Rng rng{qwSeed};
    std::string s;
    size_t cchLine = 0;
    while (s.size() < cb) {
        unsigned nSentences = 3 + rng.Below(6);
        for (unsigned k = 0; k < nSentences; k++) {
            unsigned nSentenceWords = 5 + rng.Below(16);
            for (unsigned w = 0; w < nSentenceWords; w++) {
                std::string word;
                if (rng.Below(40) == 0) {
                    word = std::to_string(rng.Below(w & 1 ? 100 : 10000));
                } else {
                    uint32_t dwPick = rng.Below(dwSum);
                    size_t i = 0;
                    while (adwCum[i] <= dwPick)
                        i++;
                    word = kaszWords[i];
                }
                if (w == 0)
                    word[0] = (char)(word[0] >= 'a' && word[0] <= 'z' ? word[0] - 32 : word[0]);
                if (w + 1 == nSentenceWords)
                    word += rng.Below(8) ? "." : "?";
                else if (rng.Below(10) == 0)
                    word += ",";
                if (cchLine + 1 + word.size() > 72) {
                    s += "\r\n";
                    cchLine = 0;
                } else if (cchLine > 0) {
                    s += ' ';
                    cchLine++;
                }
                s += word;
                cchLine += word.size();
            }
        }
        s += "\r\n\r\n";
        cchLine = 0;
    }
    s.resize(cb);
    return std::vector<unsigned char>(s.begin(), s.end());
}

// Program-like data: blocks of instruction-like byte patterns, tables of
// records, UTF-16 strings, prose, zero padding and incompressible bytes.
std::vector<unsigned char> MakeMixed(size_t cb, uint64_t qwSeed)
{
    Rng rng{qwSeed};
    std::vector<unsigned char> text = MakeText(1u << 20, qwSeed ^ 0x5555);
    std::vector<std::vector<unsigned char>> aInstr;
    for (int k = 0; k < 96; k++) {
        std::vector<unsigned char> ab(1 + rng.Below(4));
        for (auto& b : ab)
            b = (unsigned char)(rng.Below(4) ? rng.Below(16) * 16 + 0x0B : rng.Below(256));
        aInstr.push_back(ab);
    }
    std::vector<unsigned char> out;
    while (out.size() < cb) {
        unsigned iKind = rng.Below(100);
        size_t cbBlock = 1024 + rng.Below(15 * 1024);
        size_t cbEnd = out.size() + cbBlock;
        if (iKind < 40) {
            uint32_t dwBase = 0x401000 + rng.Below(0x10000);
            while (out.size() < cbEnd) {
                const auto& ab = aInstr[rng.Below(rng.Below(2) ? 16 : 96)];
                out.insert(out.end(), ab.begin(), ab.end());
                unsigned iImm = rng.Below(6);
                if (iImm == 0) {
                    uint32_t dw = dwBase + rng.Below(0x4000) * 4;
                    for (int k = 0; k < 4; k++)
                        out.push_back((unsigned char)(dw >> (8 * k)));
                } else if (iImm == 1) {
                    out.push_back((unsigned char)(rng.Below(32) * 4));
                }
            }
        } else if (iKind < 55) {
            uint32_t dwId = rng.Below(1000), dwOffset = rng.Below(1 << 20);
            while (out.size() < cbEnd) {
                unsigned char ab[24] = {0};
                dwId += 1;
                dwOffset += 16 + rng.Below(4096);
                memcpy(ab, &dwId, 4);
                memcpy(ab + 4, &dwOffset, 4);
                ab[8] = (unsigned char)(1u << rng.Below(4));
                ab[10] = (unsigned char)rng.Below(256);
                const char* szName = kaszWords[rng.Below(60)];
                memcpy(ab + 12, szName, strlen(szName) < 12 ? strlen(szName) : 12);
                out.insert(out.end(), ab, ab + sizeof(ab));
            }
        } else if (iKind < 70) {
            size_t iFrom = rng.Below((uint32_t)(text.size() - 16384));
            for (size_t k = 0; out.size() < cbEnd; k++) {
                out.push_back(text[iFrom + k]);
                out.push_back(0);
            }
        } else if (iKind < 85) {
            size_t iFrom = rng.Below((uint32_t)(text.size() - 16384));
            out.insert(out.end(), text.begin() + iFrom, text.begin() + iFrom + cbBlock);
        } else if (iKind < 92) {
            out.resize(out.size() + cbBlock / 4, 0);
        } else {
            while (out.size() < cbEnd)
                out.push_back((unsigned char)rng.Next());
        }
    }
    out.resize(cb);
    return out;
}

struct Input {
    const char* szName;
    std::vector<unsigned char> ab;
};

std::vector<Input>& Inputs()
{
    static std::vector<Input> s_aInput = {
        {"mixed", MakeMixed(kcbInput, 1)},
        {"text", MakeText(kcbInput, 2)},
    };
    return s_aInput;
}

// ---- Encoders ----------------------------------------------------------------

size_t OurImplode(const std::vector<unsigned char>& ab, int bAscii)
{
    unsigned char* pbOut = nullptr;
    size_t cbOut = 0;
    if (!Implode(ab.data(), ab.size(), bAscii, kcbDict, &pbOut, &cbOut))
        return 0;
    ImplodeFree(pbOut);
    return cbOut;
}

#ifdef HERON_HAVE_STORM
struct StormIo {
    const unsigned char* pbIn;
    size_t cbIn;
    size_t iIn;
    std::vector<unsigned char>* pOut;
};

unsigned int StormRead(char* pb, unsigned int* pcb, void* pv)
{
    StormIo* pio = (StormIo*)pv;
    size_t cb = pio->cbIn - pio->iIn < *pcb ? pio->cbIn - pio->iIn : *pcb;
    memcpy(pb, pio->pbIn + pio->iIn, cb);
    pio->iIn += cb;
    return (unsigned int)cb;
}

void StormWrite(char* pb, unsigned int* pcb, void* pv)
{
    StormIo* pio = (StormIo*)pv;
    pio->pOut->insert(pio->pOut->end(), (unsigned char*)pb, (unsigned char*)pb + *pcb);
}

size_t StormImplode(const std::vector<unsigned char>& ab, int bAscii, std::vector<unsigned char>* pOut)
{
    std::vector<char> work(65536);
    pOut->clear();
    StormIo io{ab.data(), ab.size(), 0, pOut};
    unsigned int dwType = (unsigned int)bAscii, dwDict = kcbDict;
    if (implode(StormRead, StormWrite, work.data(), &io, &dwType, &dwDict) != 0)
        return 0;
    return pOut->size();
}

// Decodes our stream with libstorm's explode; 1 when it gives ab back.
int CheckOurs(const std::vector<unsigned char>& ab, int bAscii)
{
    unsigned char* pbOut = nullptr;
    size_t cbOut = 0;
    if (!Implode(ab.data(), ab.size(), bAscii, kcbDict, &pbOut, &cbOut))
        return 0;
    std::vector<unsigned char> back;
    std::vector<char> work(65536);
    StormIo io{pbOut, cbOut, 0, &back};
    unsigned int rc = explode(StormRead, StormWrite, work.data(), &io);
    ImplodeFree(pbOut);
    return rc == 0 && back == ab;
}
#endif

void BM_Ours(benchmark::State& state, size_t iInput, int bAscii)
{
    const Input& in = Inputs()[iInput];
#ifdef HERON_HAVE_STORM
    if (!CheckOurs(in.ab, bAscii)) {
        state.SkipWithError("our stream does not decode to the input");
        return;
    }
#endif
    size_t cbOut = 0;
    for (auto _ : state) {
        cbOut = OurImplode(in.ab, bAscii);
        benchmark::DoNotOptimize(cbOut);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)in.ab.size());
    state.counters["packed"] = (double)cbOut;
}

#ifdef HERON_HAVE_STORM
void BM_Storm(benchmark::State& state, size_t iInput, int bAscii)
{
    const Input& in = Inputs()[iInput];
    std::vector<unsigned char> out;
    out.reserve(in.ab.size() * 2);
    size_t cbOut = 0;
    for (auto _ : state) {
        cbOut = StormImplode(in.ab, bAscii, &out);
        benchmark::DoNotOptimize(cbOut);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)in.ab.size());
    state.counters["packed"] = (double)cbOut;
}
#endif

// ---- Side-by-side table --------------------------------------------------------

struct Figures {
    double dSecondsPerRun = 0;
    double dPacked = 0;
};

// Keeps each benchmark's fastest run (CPU seconds per compression, which other
// load on the machine disturbs less than wall time) and its stream size.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, Figures> mapFigures;

    void ReportRuns(const std::vector<Run>& aRun) override
    {
        for (const Run& run : aRun) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            double dSeconds = run.cpu_accumulated_time / (double)run.iterations;
            Figures& f = mapFigures[run.benchmark_name()];
            if (f.dSecondsPerRun == 0 || dSeconds < f.dSecondsPerRun)
                f.dSecondsPerRun = dSeconds;
            auto it = run.counters.find("packed");
            if (it != run.counters.end())
                f.dPacked = it->second.value;
        }
        ConsoleReporter::ReportRuns(aRun);
    }
};

std::string BenchName(const char* szEncoder, const Input& in, int bAscii)
{
    return std::string(szEncoder) + "/" + in.szName + "/" + (bAscii ? "ascii" : "binary");
}

} // namespace

int main(int argc, char** argv)
{
    for (size_t i = 0; i < Inputs().size(); i++) {
        for (int bAscii = 0; bAscii <= 1; bAscii++) {
            const Input& in = Inputs()[i];
            benchmark::RegisterBenchmark(BenchName("Ours", in, bAscii).c_str(), BM_Ours, i, bAscii)
                ->Unit(benchmark::kMillisecond);
#ifdef HERON_HAVE_STORM
            benchmark::RegisterBenchmark(BenchName("Storm", in, bAscii).c_str(), BM_Storm, i, bAscii)
                ->Unit(benchmark::kMillisecond);
#endif
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

#ifdef HERON_HAVE_STORM
    printf("\n%-14s %10s %10s %10s %10s %7s %7s  %s\n", "input/mode", "ours MB/s", "storm MB/s",
           "ours size", "storm size", "size", "speed", "goals (size <= 1.03, speed >= 1.00)");
    for (const Input& in : Inputs()) {
        for (int bAscii = 0; bAscii <= 1; bAscii++) {
            auto itOurs = reporter.mapFigures.find(BenchName("Ours", in, bAscii));
            auto itStorm = reporter.mapFigures.find(BenchName("Storm", in, bAscii));
            if (itOurs == reporter.mapFigures.end() || itStorm == reporter.mapFigures.end())
                continue;
            const Figures& o = itOurs->second;
            const Figures& t = itStorm->second;
            double dMb = (double)in.ab.size() / 1e6;
            double dSize = o.dPacked / t.dPacked;
            double dSpeed = t.dSecondsPerRun / o.dSecondsPerRun;
            std::string sMode = std::string(in.szName) + "/" + (bAscii ? "ascii" : "binary");
            printf("%-14s %10.1f %10.1f %10.0f %10.0f %7.4f %7.2f  %s\n", sMode.c_str(),
                   dMb / o.dSecondsPerRun, dMb / t.dSecondsPerRun, o.dPacked, t.dPacked, dSize,
                   dSpeed, (dSize <= 1.03 && dSpeed >= 1.0) ? "met" : "MISSED");
        }
    }
#endif
    return 0;
}
