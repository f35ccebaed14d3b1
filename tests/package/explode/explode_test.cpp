// Tests of Explode: hand-checked streams, streams written here bit by bit,
// streams made by an independent implementation (libstorm) stored as bytes,
// and, when libstorm is linked, round trips and damaged streams compared
// with its decoder.

#include "package/explode/explode.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#ifdef HERON_HAVE_STORM
#include "support/storm.h"
#endif

namespace
{

typedef std::vector<unsigned char> Bytes;

// Input served in pieces of at most cbPiece bytes after the first read (a
// first read of 4 bytes or fewer is refused as a short stream); output and
// the sizes of every callback recorded.
struct RUN
{
    Bytes in;
    size_t iIn = 0;
    unsigned int cbPiece = EXPLODE_IN_SIZE;
    Bytes out;
    std::vector<unsigned int> acbWrites;
    std::vector<unsigned int> acbAsked;
    unsigned int nCode = 99;
};

unsigned int RunRead(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    RUN* pRun = (RUN*)pContext;
    pRun->acbAsked.push_back(*pcbSize);
    size_t cb = std::min<size_t>(*pcbSize, pRun->in.size() - pRun->iIn);
    if (pRun->iIn > 0)
        cb = std::min<size_t>(cb, pRun->cbPiece);
    if (cb > 0)
        memcpy(pbBuf, pRun->in.data() + pRun->iIn, cb);
    pRun->iIn += cb;
    *pcbSize = (unsigned int)cb;
    return (unsigned int)cb;
}

void RunWrite(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    RUN* pRun = (RUN*)pContext;
    pRun->acbWrites.push_back(*pcbSize);
    pRun->out.insert(pRun->out.end(), pbBuf, pbBuf + *pcbSize);
}

RUN Decode(const Bytes& in, unsigned int cbPiece = EXPLODE_IN_SIZE, int bFill = 0)
{
    RUN run;
    run.in = in;
    run.cbPiece = cbPiece;
    std::vector<char> work(EXPLODE_WORK_SIZE, (char)bFill);
    run.nCode = Explode(RunRead, RunWrite, work.data(), &run);
    return run;
}

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The block sizes a decoder must report for cbOut bytes of output.
std::vector<unsigned int> BlocksFor(size_t cbOut)
{
    std::vector<unsigned int> acb(cbOut / EXPLODE_BLOCK_SIZE, EXPLODE_BLOCK_SIZE);
    acb.push_back((unsigned int)(cbOut % EXPLODE_BLOCK_SIZE));
    return acb;
}

// A binary-mode stream written item by item, least significant bit first.
// Length and distance codes are (pattern, bits) pairs in stream order.
struct STREAM_WRITER
{
    Bytes ab;
    uint64_t qwAcc = 0;
    unsigned int cAcc = 0;
    unsigned int nDictBits;

    explicit STREAM_WRITER(unsigned int nDict) : ab{0, (unsigned char)nDict}, nDictBits(nDict) {}

    void Put(uint32_t dwValue, unsigned int cBits)
    {
        qwAcc |= (uint64_t)dwValue << cAcc;
        for (cAcc += cBits; cAcc >= 8; cAcc -= 8, qwAcc >>= 8)
            ab.push_back((unsigned char)qwAcc);
    }
    void Literal(unsigned char b) { Put(0, 1), Put(b, 8); }
    void Copy(unsigned int cbLen, unsigned int cbDist)
    {
        static const unsigned char abLenPattern[16] = {0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14,
                                                       0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00};
        static const unsigned char abLenBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
        static const unsigned short awLenBase[17] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 16, 24, 40, 72, 136, 264, 520};
        // Distance codes 0, 1, 2 and 63 cover what these tests need.
        static const struct { unsigned int nHigh, dwPattern, cBits; } aDist[] = {
            {0, 0x03, 2}, {1, 0x0D, 4}, {2, 0x05, 4}, {63, 0x00, 8}};
        int iLen = 15;
        while (awLenBase[iLen] > cbLen)
            iLen--;
        Put(1, 1);
        Put(abLenPattern[iLen], abLenBits[iLen]);
        Put(cbLen - awLenBase[iLen], iLen < 8 ? 0 : iLen - 7);
        unsigned int cLow = cbLen == 2 ? 2 : nDictBits;
        unsigned int nHigh = (cbDist - 1) >> cLow;
        for (const auto& d : aDist)
            if (d.nHigh == nHigh)
            {
                Put(d.dwPattern, d.cBits);
                Put((cbDist - 1) & ((1u << cLow) - 1), cLow);
                return;
            }
        ADD_FAILURE() << "no distance code for " << cbDist;
    }
    Bytes End()
    {
        Put(1, 1), Put(0x00, 7), Put(0xFF, 8); // length 519
        Bytes abOut = ab;
        if (cAcc > 0)
            abOut.push_back((unsigned char)qwAcc);
        return abOut;
    }
};

// Streams written by libstorm's implode, with what they decode to.
// Text, ASCII literals, 2,048-byte dictionary.
const unsigned char kabStormText[] = {
    0x01, 0x05, 0x02, 0xC5, 0xC3, 0x3B, 0xAA, 0x57, 0x28, 0xB6, 0x67, 0xDA, 0xEA, 0x66, 0x74, 0xDA,
    0xD6, 0x16, 0x79, 0x2B, 0x7C, 0x6F, 0x25, 0xCE, 0xF0, 0xBA, 0x96, 0x5C, 0xE3, 0x05, 0xFC, 0x03,
};
const char kszStormText[] = "It was the best of times, it was the worst of times.";

// StormBinaryPlain() twice: binary literals, 4,096-byte dictionary.
const unsigned char kabStormBinary[] = {
    0x00, 0x06, 0x00, 0x04, 0x20, 0x90, 0x00, 0x42, 0x06, 0x12, 0x31, 0x80, 0x44, 0x21, 0x93, 0x07,
    0x52, 0x2A, 0x62, 0xE1, 0x0A, 0x98, 0x48, 0xE2, 0xA6, 0x92, 0xAF, 0x74, 0x1B, 0x94, 0xEC, 0x71,
    0x35, 0xEE, 0x03, 0x96, 0x49, 0xD0, 0x28, 0x54, 0xC1, 0xD4, 0x2D, 0x85, 0x9C, 0x5E, 0x0F, 0xBC,
    0xBC, 0x3A, 0xC0, 0x65, 0x56, 0x04, 0x36, 0xC9, 0x5A, 0x38, 0x8A, 0xB7, 0x45, 0x18, 0x8C, 0x4D,
    0x0D, 0xF8, 0xB4, 0x2B, 0xA3, 0xCD, 0xCA, 0xB3, 0x27, 0xCC, 0xA0, 0x44, 0xCB, 0xE2, 0x4D, 0xCD,
    0xBC, 0x41, 0x15, 0x48, 0xE9, 0x68, 0x76, 0x66, 0x00, 0x27, 0x1E, 0xD9, 0xFA, 0x8C, 0x30, 0x06,
    0x87, 0x43, 0xB1, 0x3A, 0x27, 0xAC, 0x31, 0x22, 0x92, 0xAF, 0xD6, 0x9C, 0x19, 0xF0, 0x68, 0xE9,
    0x11, 0xC2, 0x60, 0x5A, 0xA8, 0x38, 0x43, 0x2E, 0xA0, 0x03, 0xA6, 0xC9, 0x0E, 0x15, 0x1A, 0x16,
    0xEA, 0x6D, 0x1B, 0xD6, 0x2A, 0xD3, 0xA1, 0x3B, 0x69, 0xBA, 0x4C, 0x59, 0x52, 0x24, 0xC8, 0x8F,
    0x1F, 0x41, 0x8A, 0x2C, 0x99, 0xD2, 0x25, 0xCD, 0x9D, 0x43, 0x99, 0x5A, 0x0D, 0xDB, 0x56, 0xCF,
    0x02, 0x0D, 0x2A, 0x76, 0x34, 0x01, 0x43, 0x77, 0x61, 0x48, 0x9C, 0x50, 0xD3, 0x18, 0x08, 0xD1,
    0x43, 0x0B, 0xDE, 0x8C, 0x39, 0xB5, 0xF2, 0x11, 0x61, 0x64, 0xED, 0x44, 0x9D, 0x62, 0x1C, 0xE0,
    0x18, 0x1B, 0xD1, 0x27, 0x1B, 0x0F, 0x4E, 0x03, 0xCE, 0x34, 0xD3, 0x41, 0xAA, 0xC2, 0xA0, 0x79,
    0x6A, 0xBC, 0x65, 0x89, 0x06, 0x85, 0xD9, 0x93, 0x67, 0x56, 0xB4, 0x95, 0x69, 0xC7, 0xA7, 0xC1,
    0x26, 0x18, 0xC2, 0xB6, 0xC4, 0x73, 0xD4, 0x22, 0x19, 0x9B, 0x08, 0xB3, 0xB8, 0x1C, 0x78, 0xE5,
    0xE5, 0x41, 0x2F, 0x39, 0x29, 0xBA, 0x61, 0xAA, 0x42, 0x01, 0xDA, 0x24, 0x2C, 0x1F, 0xC6, 0xB9,
    0xDA, 0xA3, 0x64, 0x43, 0x3A, 0x5F, 0x95, 0xDC, 0x24, 0x31, 0x51, 0x20, 0x1C, 0xB1, 0x54, 0x90,
    0xF2, 0x90, 0x89, 0x02, 0x24, 0x06, 0x89, 0x0C, 0x10, 0x12, 0x10, 0x08, 0x08, 0xA5, 0xAC, 0x07,
    0x90, 0xA4, 0x35, 0xE0, 0x1F,
};
Bytes StormBinaryPlain()
{
    Bytes ab;
    for (int i = 0; i < 300; i++)
        ab.push_back((unsigned char)(i * i % 251));
    return ab;
}

// Byte values 0 to 255 twice: every ASCII literal code, 1,024-byte dictionary.
const unsigned char kabStormAllBytes[] = {
    0x01, 0x04, 0x20, 0x09, 0xFC, 0x81, 0x1F, 0xF0, 0x05, 0x3E, 0xC0, 0x1B, 0x78, 0x01, 0x4F, 0xE0,
    0x01, 0x97, 0x18, 0xB8, 0x03, 0x37, 0x22, 0xE0, 0x0A, 0x5C, 0x80, 0x33, 0x70, 0x02, 0x8E, 0xC0,
    0x01, 0xD8, 0x03, 0x3B, 0x60, 0x0B, 0x6C, 0x80, 0x35, 0xB0, 0x02, 0x24, 0x81, 0x25, 0xB0, 0x00,
    0xE6, 0xC0, 0x0C, 0x98, 0x7A, 0x50, 0xC2, 0x01, 0x26, 0xA0, 0x00, 0xC6, 0x20, 0x87, 0x4D, 0x48,
    0x00, 0x0B, 0x6C, 0x7C, 0x29, 0x1E, 0x4C, 0x5C, 0x09, 0x0E, 0x36, 0x16, 0x26, 0x0C, 0x0C, 0x74,
    0xE8, 0xD0, 0x80, 0x11, 0x48, 0xA0, 0x81, 0x05, 0xE2, 0xC0, 0x50, 0x8C, 0x2A, 0x12, 0xBA, 0x28,
    0x50, 0xA1, 0x08, 0x40, 0x0C, 0x4C, 0x3E, 0x32, 0x8F, 0x8B, 0x04, 0xA2, 0x1C, 0x36, 0x0B, 0x11,
    0x0C, 0xC8, 0xA0, 0x83, 0x06, 0x22, 0x90, 0x40, 0x18, 0x54, 0x60, 0x00, 0x11, 0xE8, 0x3B, 0x4C,
    0x06, 0xDD, 0xA6, 0x51, 0x29, 0x16, 0x08, 0x21, 0x98, 0x64, 0x43, 0x27, 0x81, 0x4C, 0x53, 0x15,
    0x19, 0x02, 0x3C, 0x78, 0x70, 0x20, 0x05, 0x41, 0x10, 0x00, 0x7A, 0x40, 0x17, 0xE8, 0x00, 0x12,
    0x80, 0x38, 0x20, 0x06, 0x88, 0x02, 0x22, 0x80, 0x30, 0x20, 0x04, 0x08, 0x02, 0x02, 0x00, 0x3F,
    0xC0, 0x07, 0xF0, 0x02, 0x3C, 0x00, 0x37, 0xC0, 0x05, 0x70, 0x02, 0x1C, 0x00, 0x3B, 0xC0, 0x06,
    0xB0, 0x02, 0x2C, 0x00, 0x33, 0xC0, 0x04, 0x30, 0x02, 0x0C, 0x00, 0x3D, 0x40, 0x07, 0xD0, 0x02,
    0x34, 0x00, 0x35, 0x40, 0x05, 0x50, 0x02, 0x14, 0x00, 0x39, 0x40, 0x06, 0x90, 0x02, 0x24, 0x00,
    0x31, 0x40, 0x04, 0x10, 0x02, 0x04, 0x00, 0x3E, 0x80, 0x07, 0xE0, 0x02, 0x38, 0x00, 0x36, 0x80,
    0x05, 0x60, 0x02, 0x6D, 0xA0, 0x05, 0x34, 0x81, 0x06, 0x50, 0x07, 0x6A, 0x40, 0x15, 0xA8, 0x00,
    0x65, 0xA0, 0x04, 0x14, 0x81, 0x02, 0x90, 0x07, 0x72, 0x40, 0x16, 0xC8, 0x00, 0x69, 0x20, 0x05,
    0x24, 0x81, 0x04, 0x10, 0x07, 0x62, 0x40, 0x14, 0x88, 0x00, 0x61, 0x20, 0x04, 0x04, 0x81, 0x00,
    0xE0, 0x07, 0x7C, 0x80, 0x17, 0xF0, 0x00, 0x6E, 0xC0, 0x05, 0x38, 0x01, 0x07, 0x60, 0x07, 0x6C,
    0x80, 0x15, 0xB0, 0x00, 0x66, 0xC0, 0x04, 0x18, 0x01, 0x03, 0xA0, 0x07, 0x74, 0x80, 0x16, 0xD0,
    0x00, 0x18, 0x80, 0x1A, 0x40, 0x07, 0xD0, 0x00, 0x54, 0x40, 0x05, 0xA0, 0x00, 0xC8, 0x00, 0x12,
    0xA0, 0x04, 0x10, 0x01, 0x04, 0x00, 0x1E, 0x80, 0x03, 0x14, 0x00, 0x2C, 0x00, 0x03, 0x40, 0x03,
    0x72, 0x40, 0x06, 0x48, 0x01, 0x28, 0x00, 0x12, 0x80, 0x00, 0xC0, 0x01, 0x30, 0x00, 0x14, 0x00,
    0x01, 0x80, 0x01, 0x20, 0x00, 0x10, 0x00, 0x08, 0xC4, 0xEB, 0x1F, 0xF0, 0x0F,
};

TEST(ExplodeTest, WorkedExampleAndItsTruncations)
{
    // "tic tac tic tac", ASCII, 1,024-byte dictionary; its end mark's last bit
    // is the input's last bit. Cut inside the end mark, or inside the last
    // copy, the stream fails with what was decoded before handed out.
    const Bytes ab = {0x01, 0x04, 0x8A, 0xC5, 0xF0, 0x8A, 0xF3, 0xA7, 0x7E, 0x01, 0xFF};
    static const struct { size_t cb; unsigned int nCode; const char* szOut; } aCase[] = {
        {11, EXPLODE_OK, "tic tac tic tac"}, {10, EXPLODE_DATA_ERROR, "tic tac tic tac"},
        {9, EXPLODE_DATA_ERROR, "tic tac t"},  {5, EXPLODE_DATA_ERROR, "ti"},
    };
    for (const auto& c : aCase)
    {
        RUN run = Decode(Bytes(ab.begin(), ab.begin() + c.cb));
        EXPECT_EQ(c.nCode, run.nCode) << c.cb;
        EXPECT_EQ(B(c.szOut), run.out) << c.cb;
        EXPECT_EQ(BlocksFor(run.out.size()), run.acbWrites) << c.cb;
    }
}

TEST(ExplodeTest, HeaderAndShortInput)
{
    static const struct { Bytes ab; unsigned int nCode; } aCase[] = {
        {{}, EXPLODE_SHORT_INPUT},
        {{0x00, 0x06, 0x01, 0xFF}, EXPLODE_SHORT_INPUT}, // an empty input as encoders write it
        {{0x00, 0x06, 0x01, 0xFF, 0x00}, EXPLODE_OK},
        {{0x01, 0x04, 0x01, 0xFF, 0x00}, EXPLODE_OK},
        {{0x00, 0x03, 0x01, 0xFF, 0x00}, EXPLODE_BAD_DICT},
        {{0x00, 0x07, 0x01, 0xFF, 0x00}, EXPLODE_BAD_DICT},
        {{0x02, 0x06, 0x01, 0xFF, 0x00}, EXPLODE_BAD_MODE},
        {{0x02, 0x03, 0x01, 0xFF, 0x00}, EXPLODE_BAD_DICT}, // dictionary is checked first
    };
    for (const auto& c : aCase)
    {
        RUN run = Decode(c.ab);
        EXPECT_EQ(c.nCode, run.nCode) << c.ab.size();
        EXPECT_TRUE(run.out.empty());
        // Only a stream that got past its header writes (once, 0 bytes here).
        EXPECT_EQ(c.nCode == EXPLODE_OK ? 1u : 0u, run.acbWrites.size());
    }
}

TEST(ExplodeTest, CraftedCopies)
{
    STREAM_WRITER run11(6); // distance 1 repeats the last byte
    run11.Literal('A');
    run11.Copy(10, 1);

    STREAM_WRITER history(4); // reaching before the first byte gives zeros
    history.Literal('A');
    history.Literal('B');
    history.Copy(5, 3);

    STREAM_WRITER farBack(6); // the farthest distance from the very start
    farBack.Copy(518, 4096);
    farBack.Literal('z');

    STREAM_WRITER short2(4); // a length-2 copy takes 2 low bits, not 4
    for (char ch : std::string("abcdefgh"))
        short2.Literal((unsigned char)ch);
    short2.Copy(2, 8);
    short2.Copy(3, 18); // high part 1, 4 low bits: back into the history

    static const Bytes abZeros518(518, 0);
    Bytes abFar = abZeros518;
    abFar.push_back('z');
    Bytes abShort2 = B("abcdefghab");
    abShort2.insert(abShort2.end(), {0, 0, 0});
    const struct { STREAM_WRITER* pw; Bytes abOut; } aCase[] = {
        {&run11, Bytes(11, 'A')},
        {&history, {'A', 'B', 0, 'A', 'B', 0, 'A'}},
        {&farBack, abFar},
        {&short2, abShort2},
    };
    for (const auto& c : aCase)
    {
        RUN run = Decode(c.pw->End(), EXPLODE_IN_SIZE, 0x5A); // history is zeros even so
        EXPECT_EQ(EXPLODE_OK, run.nCode);
        EXPECT_EQ(c.abOut, run.out);
    }
}

TEST(ExplodeTest, OutputBlocksAreExactly4096Bytes)
{
    for (size_t cbOut : {1u, 4095u, 4096u, 4097u, 8192u, 8193u, 20000u})
    {
        STREAM_WRITER w(6);
        w.Literal('q');
        for (size_t cb = 1; cb < cbOut;)
        {
            size_t cbCopy = std::min<size_t>(518, cbOut - cb);
            if (cbCopy == 1)
                w.Literal('q');
            else
                w.Copy((unsigned int)cbCopy, 1);
            cb += cbCopy;
        }
        RUN run = Decode(w.End());
        EXPECT_EQ(EXPLODE_OK, run.nCode);
        EXPECT_EQ(Bytes(cbOut, 'q'), run.out);
        EXPECT_EQ(BlocksFor(cbOut), run.acbWrites) << cbOut;
    }
}

TEST(ExplodeTest, LongestCopyFromTheBlocksLastPosition)
{
    // 4,095 bytes put the output at the window's position 8,191; a copy of
    // 518 bytes from there must stay inside the window and the history must
    // survive the move that follows the block's write.
    STREAM_WRITER w(6);
    Bytes abWant;
    for (int i = 0; i < 4095; i++)
    {
        w.Literal((unsigned char)(i * 7 + 1));
        abWant.push_back((unsigned char)(i * 7 + 1));
    }
    w.Copy(518, 4096); // 1 zero of history, then output bytes 0 to 516
    abWant.push_back(0);
    abWant.insert(abWant.end(), abWant.begin(), abWant.begin() + 517);
    w.Copy(300, 4096);
    abWant.insert(abWant.end(), abWant.end() - 4096, abWant.end() - 4096 + 300);
    w.Literal('!');
    abWant.push_back('!');
    RUN run = Decode(w.End());
    EXPECT_EQ(EXPLODE_OK, run.nCode);
    EXPECT_EQ(abWant, run.out);
    EXPECT_EQ(BlocksFor(abWant.size()), run.acbWrites);
}

TEST(ExplodeTest, StoredStormStreams)
{
    Bytes abBinary = StormBinaryPlain();
    abBinary.insert(abBinary.end(), abBinary.begin(), abBinary.end());
    Bytes abAll;
    for (int i = 0; i < 512; i++)
        abAll.push_back((unsigned char)i);
    const struct { Bytes abIn, abOut; } aCase[] = {
        {Bytes(kabStormText, kabStormText + sizeof(kabStormText)), B(kszStormText)},
        {Bytes(kabStormBinary, kabStormBinary + sizeof(kabStormBinary)), abBinary},
        {Bytes(kabStormAllBytes, kabStormAllBytes + sizeof(kabStormAllBytes)), abAll},
    };
    for (const auto& c : aCase)
    {
        for (unsigned int cbPiece : {1u, 3u, 7u, 2048u}) // the read callback may deliver less
        {
            RUN run = Decode(c.abIn, cbPiece, 0x5A); // and the work area need not be clean
            EXPECT_EQ(EXPLODE_OK, run.nCode);
            EXPECT_EQ(c.abOut, run.out);
            for (unsigned int cbAsked : run.acbAsked)
                EXPECT_EQ((unsigned int)EXPLODE_IN_SIZE, cbAsked);
        }
    }
}

#ifdef HERON_HAVE_STORM

struct STORM_IO
{
    const Bytes* pIn;
    size_t iIn = 0;
    Bytes out;
};

unsigned int StormRead(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    STORM_IO* p = (STORM_IO*)pContext;
    size_t cb = std::min<size_t>(*pcbSize, p->pIn->size() - p->iIn);
    if (cb > 0)
        memcpy(pbBuf, p->pIn->data() + p->iIn, cb);
    p->iIn += cb;
    return (unsigned int)cb;
}

void StormWrite(char* pbBuf, unsigned int* pcbSize, void* pContext)
{
    STORM_IO* p = (STORM_IO*)pContext;
    p->out.insert(p->out.end(), pbBuf, pbBuf + *pcbSize);
}

Bytes StormImplode(const Bytes& ab, unsigned int nType, unsigned int cbDict)
{
    std::vector<char> work(65536);
    STORM_IO io{&ab, 0, {}};
    EXPECT_EQ(0u, implode(StormRead, StormWrite, work.data(), &io, &nType, &cbDict));
    return io.out;
}

RUN StormExplode(const Bytes& ab)
{
    std::vector<char> work(65536);
    STORM_IO io{&ab, 0, {}};
    RUN run;
    run.nCode = explode(StormRead, StormWrite, work.data(), &io);
    run.out = io.out;
    return run;
}

// Text, runs and noise mixed, so every kind of item occurs.
Bytes MixedData(size_t cb, uint32_t dwSeed)
{
    static const char szText[] = "The release table lists each file with its old and new checksum. ";
    Bytes ab;
    uint32_t x = dwSeed;
    while (ab.size() < cb)
    {
        x = x * 1664525u + 1013904223u;
        switch ((x >> 28) % 4)
        {
        case 0: ab.insert(ab.end(), szText, szText + (x >> 8) % (sizeof(szText) - 1)); break;
        case 1: ab.insert(ab.end(), (x >> 8) % 700, (unsigned char)x); break;
        default:
            for (unsigned int i = (x >> 8) % 64; i > 0; i--)
                ab.push_back((unsigned char)((x = x * 1103515245u + 12345u) >> 16));
        }
    }
    ab.resize(cb);
    return ab;
}

TEST(ExplodeStormTest, RoundTripsAllModesAndDictionaries)
{
    for (unsigned int nType : {0u, 1u})
        for (unsigned int cbDict : {1024u, 2048u, 4096u})
            for (size_t cb : {1u, 2u, 100u, 4095u, 4096u, 4097u, 8192u, 70001u})
            {
                Bytes abPlain = MixedData(cb, (uint32_t)(cb + cbDict + nType));
                RUN run = Decode(StormImplode(abPlain, nType, cbDict));
                EXPECT_EQ(EXPLODE_OK, run.nCode);
                EXPECT_EQ(abPlain, run.out) << nType << " " << cbDict << " " << cb;
                EXPECT_EQ(BlocksFor(cb), run.acbWrites);
            }
}

TEST(ExplodeStormTest, DamagedStreamsDecodeAsStormDoes)
{
    // libstorm's decoder applies the same end-of-input rule, so every cut
    // and every flipped bit must give the same code and the same bytes.
    for (unsigned int nType : {0u, 1u})
    {
        Bytes ab = StormImplode(MixedData(6000, nType), nType, 2048);
        for (size_t cb = 0; cb <= ab.size(); cb += (cb < 64 || cb + 64 > ab.size()) ? 1 : 37)
        {
            Bytes abCut(ab.begin(), ab.begin() + cb);
            RUN mine = Decode(abCut), theirs = StormExplode(abCut);
            ASSERT_EQ(theirs.nCode, mine.nCode) << cb;
            ASSERT_EQ(theirs.out, mine.out) << cb;
        }
        for (size_t iBit = 16; iBit < ab.size() * 8; iBit += 97)
        {
            Bytes abBad = ab;
            abBad[iBit / 8] ^= (unsigned char)(1u << (iBit % 8));
            RUN mine = Decode(abBad), theirs = StormExplode(abBad);
            ASSERT_EQ(theirs.nCode, mine.nCode) << iBit;
            ASSERT_EQ(theirs.out, mine.out) << iBit;
        }
    }
}

#endif // HERON_HAVE_STORM

} // namespace
