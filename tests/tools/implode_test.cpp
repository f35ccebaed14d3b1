// Tests of the package builder's implode encoder: every stream must decode
// to its input through the installer's Explode and through libstorm's
// explode, for both literal modes and all three dictionary sizes.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "implode/implode.h"
#include "package/explode/explode.h"

#ifdef HERON_HAVE_STORM
#include "support/storm.h"
#endif

namespace {

typedef std::vector<unsigned char> Bytes;

struct DecodeIo {
    const Bytes* pIn;
    size_t iIn;
    Bytes out;
};

unsigned int ReadIo(char* pb, unsigned int* pcb, void* pv)
{
    DecodeIo* pio = (DecodeIo*)pv;
    size_t cb = pio->pIn->size() - pio->iIn;
    if (cb > *pcb)
        cb = *pcb;
    memcpy(pb, pio->pIn->data() + pio->iIn, cb);
    pio->iIn += cb;
    return (unsigned int)cb;
}

void WriteIo(char* pb, unsigned int* pcb, void* pv)
{
    DecodeIo* pio = (DecodeIo*)pv;
    pio->out.insert(pio->out.end(), (unsigned char*)pb, (unsigned char*)pb + *pcb);
}

enum Decoder { kOurs, kStorm };

// Decodes a stream; returns the decoder's code and its output in *pOut.
unsigned int Decode(Decoder decoder, const Bytes& stream, Bytes* pOut)
{
    DecodeIo io{&stream, 0, {}};
    std::vector<char> work(65536);
    unsigned int rc = 99;
    if (decoder == kOurs)
        rc = Explode(ReadIo, WriteIo, work.data(), &io);
#ifdef HERON_HAVE_STORM
    else
        rc = explode(ReadIo, WriteIo, work.data(), &io);
#endif
    *pOut = io.out;
    return rc;
}

std::vector<Decoder> Decoders()
{
#ifdef HERON_HAVE_STORM
    return {kOurs, kStorm};
#else
    return {kOurs};
#endif
}

Bytes Compress(const Bytes& in, int bAscii, unsigned cbDict)
{
    unsigned char* pb = nullptr;
    size_t cb = 0;
    EXPECT_EQ(1, Implode(in.data(), in.size(), bAscii, cbDict, &pb, &cb));
    Bytes out(pb, pb + cb);
    ImplodeFree(pb);
    return out;
}

uint32_t NextRandom(uint64_t* pqw)
{
    *pqw = *pqw * 6364136223846793005ull + 1442695040888963407ull;
    return (uint32_t)(*pqw >> 33);
}

Bytes Text(size_t cb)
{
    static const char* const aszWord[] = {"the ", "update ", "of ", "file ", "version ",
                                          "is ", "installed ", "\r\n", "a ", "backup "};
    uint64_t qw = 7;
    std::string s;
    while (s.size() < cb)
        s += aszWord[NextRandom(&qw) % 10];
    return Bytes(s.begin(), s.begin() + cb);
}

// Inputs that exercise the edges of the format: the block boundaries of the
// decoder's window, incompressible bytes, runs longer than the longest copy,
// repeats exactly at and just beyond the dictionary size, and pairs that
// recur only beyond the reach of a length-2 copy.
std::vector<std::pair<std::string, Bytes>> Inputs()
{
    std::vector<std::pair<std::string, Bytes>> a;
    uint64_t qw = 1;
    for (size_t cb : {0, 1, 2, 3, 4095, 4096, 4097, 8192}) {
        Bytes ab(cb);
        for (size_t i = 0; i < cb; i++)
            ab[i] = (unsigned char)("abcab\0\0x"[i % 8] + (i / 97) % 3);
        a.push_back({"pattern" + std::to_string(cb), ab});
    }
    Bytes random(100000);
    for (auto& b : random)
        b = (unsigned char)NextRandom(&qw);
    a.push_back({"random", random});
    Bytes runs;
    for (size_t cbRun : {1, 2, 3, 517, 518, 519, 520, 1036, 5000, 70000}) {
        runs.insert(runs.end(), cbRun, (unsigned char)(cbRun & 0xFF));
        runs.push_back('x');
    }
    a.push_back({"runs", runs});
    a.push_back({"text", Text(150000)});
    for (size_t cbPeriod : {1024, 1025, 2048, 2049, 4096, 4097}) {
        Bytes ab(cbPeriod * 5);
        for (size_t i = 0; i < cbPeriod; i++)
            ab[i] = (unsigned char)NextRandom(&qw);
        for (size_t i = cbPeriod; i < ab.size(); i++)
            ab[i] = ab[i - cbPeriod];
        a.push_back({"period" + std::to_string(cbPeriod), ab});
    }
    Bytes pairs;
    for (int k = 0; k < 2000; k++) {
        for (int i = 0; i < 255; i++)
            pairs.push_back((unsigned char)NextRandom(&qw));
        pairs.push_back('Q');
        pairs.push_back('Z');
    }
    a.push_back({"far-pairs", pairs});
    return a;
}

TEST(Implode, RoundTripsThroughBothDecoders)
{
    const unsigned acbDict[] = {1024, 2048, 4096};
    const unsigned char abDictBits[] = {4, 5, 6};
    for (const auto& input : Inputs()) {
        for (int bAscii = 0; bAscii <= 1; bAscii++) {
            for (int iDict = 0; iDict < 3; iDict++) {
                SCOPED_TRACE(input.first + (bAscii ? " ascii " : " binary ") +
                             std::to_string(acbDict[iDict]));
                Bytes stream = Compress(input.second, bAscii, acbDict[iDict]);
                ASSERT_GE(stream.size(), 5u);
                EXPECT_EQ(bAscii, stream[0]);
                EXPECT_EQ(abDictBits[iDict], stream[1]);
                for (Decoder decoder : Decoders()) {
                    Bytes out;
                    EXPECT_EQ(0u, Decode(decoder, stream, &out)) << "decoder " << decoder;
                    EXPECT_TRUE(out == input.second) << "decoder " << decoder;
                }
            }
        }
    }
}

TEST(Implode, UsesTheWholeDictionaryButNoMore)
{
    // A random block repeated at exactly the dictionary size is nearly free;
    // one byte further it is out of reach and stays incompressible.
    for (unsigned cbDict : {1024u, 2048u, 4096u}) {
        for (const auto& input : Inputs()) {
            if (input.first == "period" + std::to_string(cbDict)) {
                EXPECT_LT(Compress(input.second, 0, cbDict).size(), cbDict + cbDict / 4);
            } else if (input.first == "period" + std::to_string(cbDict + 1)) {
                EXPECT_GT(Compress(input.second, 0, cbDict).size(), input.second.size());
            }
        }
    }
}

TEST(Implode, ChoosesCopiesByTheirRealCost)
{
    // The format's own example: 15 bytes of text in ASCII mode fit 11 bytes.
    Bytes tic = {'t', 'i', 'c', ' ', 't', 'a', 'c', ' ', 't', 'i', 'c', ' ', 't', 'a', 'c'};
    EXPECT_LE(Compress(tic, 1, 1024).size(), 11u);
    // Text: ASCII literals pay off, and copies beat both literal modes.
    Bytes text = Text(150000);
    size_t cbBinary = Compress(text, 0, 4096).size();
    size_t cbAscii = Compress(text, 1, 4096).size();
    EXPECT_LT(cbAscii, cbBinary);
    EXPECT_LT(cbBinary, text.size() / 3);
    // Random bytes cost at most the 9 bits of a plain literal each.
    Bytes random;
    for (const auto& input : Inputs())
        if (input.first == "random")
            random = input.second;
    ASSERT_EQ(100000u, random.size());
    EXPECT_LE(Compress(random, 0, 4096).size(), random.size() * 9 / 8 + 5);
}

TEST(Implode, EmptyInputGivesAStreamTheDecodersAccept)
{
    for (int bAscii = 0; bAscii <= 1; bAscii++) {
        Bytes stream = Compress(Bytes(), bAscii, 4096);
        EXPECT_EQ(5u, stream.size());
        for (Decoder decoder : Decoders()) {
            Bytes out;
            EXPECT_EQ(0u, Decode(decoder, stream, &out));
            EXPECT_TRUE(out.empty());
        }
    }
}

TEST(Implode, RejectsInvalidArguments)
{
    unsigned char ab[4] = {1, 2, 3, 4};
    struct Case {
        const unsigned char* pb;
        size_t cb;
        int bAscii;
        unsigned cbDict;
    } aCase[] = {
        {ab, 4, 2, 4096}, {ab, 4, -1, 4096}, {ab, 4, 0, 512}, {ab, 4, 0, 8192},
        {ab, 4, 0, 3000}, {nullptr, 4, 0, 4096},
    };
    for (const Case& c : aCase) {
        unsigned char* pb = ab;
        size_t cb = 7;
        EXPECT_EQ(0, Implode(c.pb, c.cb, c.bAscii, c.cbDict, &pb, &cb));
        EXPECT_EQ(nullptr, pb);
        EXPECT_EQ(0u, cb);
    }
    EXPECT_EQ(0, Implode(ab, 4, 0, 4096, nullptr, nullptr));
}

} // namespace
