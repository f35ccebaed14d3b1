/*
 * transforms_test.cpp - the whole-file and delta transforms on memory
 * buffers, against payloads made by an independent delta writer below.
 */
#include "engine/transforms/transforms.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

/* One change of the old file: oldLen bytes at oldOff become strNew. */
struct Edit {
    uint32_t dwOldOff;
    uint32_t dwOldLen;
    std::string strNew;
};

void Put32(Bytes* pv, uint32_t dw)
{
    for (int i = 0; i < 4; i++) pv->push_back((unsigned char)(dw >> (8 * i)));
}

void PutHeader(Bytes* pv, uint32_t dwOldOff, uint32_t dwNewOff, uint32_t dwOldLen, uint32_t dwNewLen)
{
    Put32(pv, 0xDEADBEEF); /* reserved: never read */
    Put32(pv, dwOldOff);
    Put32(pv, dwNewOff);
    Put32(pv, dwOldLen);
    Put32(pv, dwNewLen);
}

/* The independent writer: applies sorted, disjoint edits to old, giving the
 * new file and the payload (XOR of the common part, then the longer side). */
std::pair<Bytes, Bytes> MakeDelta(const Bytes& old, const std::vector<Edit>& edits)
{
    Bytes vNew, vPayload;
    uint32_t dwPos = 0;
    for (const Edit& e : edits) {
        vNew.insert(vNew.end(), old.begin() + dwPos, old.begin() + e.dwOldOff);
        uint32_t dwNewOff = (uint32_t)vNew.size(), dwNewLen = (uint32_t)e.strNew.size();
        PutHeader(&vPayload, e.dwOldOff, dwNewOff, e.dwOldLen, dwNewLen);
        uint32_t dwMax = std::max(e.dwOldLen, dwNewLen);
        for (uint32_t i = 0; i < dwMax; i++) {
            bool bOld = i < e.dwOldLen, bNew = i < dwNewLen;
            unsigned char o = bOld ? old[e.dwOldOff + i] : 0, n = bNew ? (unsigned char)e.strNew[i] : 0;
            vPayload.push_back(bOld && bNew ? (unsigned char)(o ^ n) : bOld ? o : n);
        }
        vNew.insert(vNew.end(), e.strNew.begin(), e.strNew.end());
        dwPos = e.dwOldOff + e.dwOldLen;
    }
    vNew.insert(vNew.end(), old.begin() + dwPos, old.end());
    return {vNew, vPayload};
}

struct MemIo {
    Bytes source;
    size_t iPos = 0;
    Bytes out;
    bool bFailWrites = false;
    std::vector<std::pair<int, uint32_t>> gauge;
    XFORM_IO io;

    explicit MemIo(const Bytes& src, bool bSource = true) : source(src)
    {
        io.pvContext = this;
        io.pfnRead = bSource ? Read : nullptr;
        io.pfnWrite = Write;
        io.pfnGauge = Gauge;
    }
    static size_t Read(void* pv, unsigned char* pb, size_t cb)
    {
        MemIo* p = (MemIo*)pv;
        /* Short reads of at most 7 bytes: the transform must loop. */
        size_t n = std::min({cb, p->source.size() - p->iPos, (size_t)7});
        std::copy(p->source.begin() + p->iPos, p->source.begin() + p->iPos + n, pb);
        p->iPos += n;
        return n;
    }
    static int Write(void* pv, const unsigned char* pb, size_t cb)
    {
        MemIo* p = (MemIo*)pv;
        if (p->bFailWrites) return 0;
        p->out.insert(p->out.end(), pb, pb + cb);
        return 1;
    }
    static void Gauge(void* pv, int iCommand, uint32_t dwValue) { ((MemIo*)pv)->gauge.push_back({iCommand, dwValue}); }
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

int Apply(int bRevert, const Bytes& src, const Bytes& payload, uint32_t dwBlocks, uint32_t dwOld, uint32_t dwNew,
          Bytes* pOut, bool bSource = true)
{
    MemIo mem(src, bSource);
    int iResult = TransformDelta(bRevert, payload.data(), payload.size(), dwBlocks, dwOld, dwNew, &mem.io);
    *pOut = mem.out;
    return iResult;
}

/* Upgrade, then revert with the same payload; checks both results. */
void RoundTrip(const Bytes& old, const std::vector<Edit>& edits, bool bRevertPossible = true)
{
    auto delta = MakeDelta(old, edits);
    Bytes vUp, vDown;
    ASSERT_EQ(XFORM_DONE, Apply(0, old, delta.second, (uint32_t)edits.size(), (uint32_t)old.size(),
                                (uint32_t)delta.first.size(), &vUp));
    EXPECT_EQ(delta.first, vUp);
    ASSERT_EQ(XFORM_DONE, Apply(1, vUp, delta.second, (uint32_t)edits.size(), (uint32_t)old.size(),
                                (uint32_t)delta.first.size(), &vDown));
    if (bRevertPossible) EXPECT_EQ(old, vDown);
    else EXPECT_NE(old, vDown);
}

}  // namespace

TEST(Transforms, RoundTripsEditsOfEveryShape)
{
    Bytes old = Text("The quick brown fox jumps over the lazy dog, again and again.");
    RoundTrip(old, {{4, 5, "QUICK"}});                             /* same length */
    RoundTrip(old, {{4, 5, "sl"}, {20, 5, ""}});                   /* new shorter: old longer */
    RoundTrip(old, {{10, 0, "very very "}, {40, 3, "cat and dog"}}); /* new longer */
    RoundTrip(old, {{0, 3, "A"}});                                 /* change at offset 0 */
    RoundTrip(old, {{0, 4, ""}});                                  /* deletion at offset 0 */
    RoundTrip(old, {{(uint32_t)old.size() - 6, 6, "!"}});          /* no trailing copy run */
    RoundTrip(old, {{(uint32_t)old.size(), 0, " The end."}});      /* append */
    RoundTrip(Bytes(), {{0, 0, "from nothing"}});                  /* old file empty */
    RoundTrip(old, {{0, (uint32_t)old.size(), ""}});               /* new file empty */
}

TEST(Transforms, InsertionAtOffsetZeroUpgradesButCannotRevert)
{
    /* The revert direction takes old offset 0 with old length 0 as the end of
     * the list, so such a payload is one-way; the package builder never
     * writes one. */
    Bytes old = Text("payload body");
    RoundTrip(old, {{0, 0, "head: "}}, false);
}

TEST(Transforms, CountZeroStillReadsTheFirstHeader)
{
    Bytes old = Text("abcdefghij");
    auto delta = MakeDelta(old, {{2, 2, "XY"}});
    Bytes out;
    ASSERT_EQ(XFORM_DONE, Apply(0, old, delta.second, 0, 10, 10, &out));
    EXPECT_EQ(Text("abXYefghij"), out);
    /* With a count of 1 the second block of a two-block payload is ignored:
     * the rest of the source is copied. */
    auto two = MakeDelta(old, {{2, 2, "XY"}, {6, 1, "Z"}});
    ASSERT_EQ(XFORM_DONE, Apply(0, old, two.second, 1, 10, 10, &out));
    EXPECT_EQ(Text("abXYefghij"), out);
}

TEST(Transforms, BlockWithoutSourceWritesItsData)
{
    Bytes payload;
    PutHeader(&payload, 0, 0, 0, 5);
    for (char c : std::string("hello")) payload.push_back((unsigned char)c);
    Bytes out;
    ASSERT_EQ(XFORM_DONE, Apply(0, Bytes(), payload, 1, 0, 5, &out, false));
    EXPECT_EQ(Text("hello"), out);
    /* A copy run needs a source. */
    Bytes payload2;
    PutHeader(&payload2, 3, 3, 0, 2);
    payload2.push_back('x');
    payload2.push_back('y');
    EXPECT_EQ(XFORM_FAILED, Apply(0, Bytes(), payload2, 1, 3, 5, &out, false));
}

TEST(Transforms, ShorterAndLongerSidesOfABlock)
{
    /* Old length 10, new length 4: 10 source bytes read, 4 written; revert
     * writes the 4 XORed bytes and the 6 plain ones. */
    Bytes old = Text("0123456789tail");
    auto delta = MakeDelta(old, {{0, 10, "abcd"}});
    EXPECT_EQ(20u + 10u, delta.second.size());
    RoundTrip(old, {{0, 10, "abcd"}});
    RoundTrip(old, {{0, 4, "abcdefghij"}});
}

TEST(Transforms, DamagedPayloadsFail)
{
    Bytes old = Text("abcdefghijklmnopqrstuvwxyz");
    auto delta = MakeDelta(old, {{2, 3, "XYZW"}, {10, 2, "--"}});
    uint32_t dwNew = (uint32_t)delta.first.size();
    Bytes out;
    /* Truncated: in the first header, in the data, in the second header. */
    for (size_t cb : {size_t(0), size_t(10), size_t(22), size_t(30), delta.second.size() - 1}) {
        Bytes cut(delta.second.begin(), delta.second.begin() + cb);
        EXPECT_EQ(XFORM_FAILED, Apply(0, old, cut, 2, 26, dwNew, &out)) << cb;
    }
    /* Overlapping: the second block starts inside the first. */
    Bytes overlap;
    PutHeader(&overlap, 2, 2, 4, 4);
    overlap.insert(overlap.end(), 4, 1);
    PutHeader(&overlap, 4, 4, 2, 2);
    overlap.insert(overlap.end(), 2, 1);
    EXPECT_EQ(XFORM_FAILED, Apply(0, old, overlap, 2, 26, 26, &out));
    /* Out of order in the old file only. */
    Bytes disorder;
    PutHeader(&disorder, 5, 2, 1, 1);
    disorder.push_back(1);
    EXPECT_EQ(XFORM_FAILED, Apply(0, old, disorder, 1, 26, 26, &out));
    /* A block that would write past the new size. */
    Bytes past;
    PutHeader(&past, 20, 20, 2, 10);
    past.insert(past.end(), 10, 1);
    EXPECT_EQ(XFORM_FAILED, Apply(0, old, past, 1, 26, 26, &out));
    /* Lengths near 2^32 must not wrap. */
    Bytes huge;
    PutHeader(&huge, 0xFFFFFFF0u, 0xFFFFFFF0u, 0x20, 0x20);
    EXPECT_EQ(XFORM_FAILED, Apply(0, old, huge, 1, 26, 0xFFFFFFFFu, &out));
    /* The source ends during a copy run (an installed file shorter than the
     * payload says) and during a block. */
    Bytes shortOld(old.begin(), old.begin() + 8);
    EXPECT_EQ(XFORM_FAILED, Apply(0, shortOld, delta.second, 2, 26, dwNew, &out));
    Bytes tiny(old.begin(), old.begin() + 3);
    EXPECT_EQ(XFORM_FAILED, Apply(0, tiny, delta.second, 2, 26, dwNew, &out));
}

TEST(Transforms, WriteErrorsFail)
{
    Bytes old = Text("abcdefghij");
    auto delta = MakeDelta(old, {{2, 2, "XY"}});
    MemIo mem(old);
    mem.bFailWrites = true;
    EXPECT_EQ(XFORM_FAILED, TransformDelta(0, delta.second.data(), delta.second.size(), 1, 10, 10, &mem.io));
    EXPECT_EQ(XFORM_FAILED, TransformWholeFile(old.data(), old.size(), 10, &mem.io));
}

TEST(Transforms, WholeFile)
{
    Bytes data = Text("whole file bytes");
    MemIo mem(Bytes(), false);
    ASSERT_EQ(XFORM_DONE, TransformWholeFile(data.data(), data.size(), 5, &mem.io));
    EXPECT_EQ(Text("whole"), mem.out);
    MemIo shortIo(Bytes(), false);
    EXPECT_EQ(XFORM_FAILED, TransformWholeFile(data.data(), data.size(), (uint32_t)data.size() + 1, &shortIo.io));
}

TEST(Transforms, GaugeFollowsKilobytes)
{
    typedef std::vector<std::pair<int, uint32_t>> Steps;
    for (uint32_t dwSize : {1024u, 2049u}) {
        Bytes data(dwSize, 'x');
        MemIo mem(Bytes(), false);
        ASSERT_EQ(XFORM_DONE, TransformWholeFile(data.data(), data.size(), dwSize, &mem.io));
        Steps expected = {{XFORM_GAUGE_RANGE, dwSize == 1024 ? 1024u : 2u}, {XFORM_GAUGE_POS, 0}, {XFORM_GAUGE_POS, 0}};
        if (dwSize == 2049) {
            expected.push_back({XFORM_GAUGE_POS, 1});
            expected.push_back({XFORM_GAUGE_POS, 2});
        }
        EXPECT_EQ(expected, mem.gauge) << dwSize;
    }
    /* A delta: positions in copy runs only, then the range again. */
    Bytes old(3000, 'a');
    auto delta = MakeDelta(old, {{100, 1500, std::string(1500, 'b')}});
    MemIo mem(old);
    ASSERT_EQ(XFORM_DONE, TransformDelta(0, delta.second.data(), delta.second.size(), 1, 3000, 3000, &mem.io));
    Steps expected = {{XFORM_GAUGE_RANGE, 2}, {XFORM_GAUGE_POS, 0}, {XFORM_GAUGE_POS, 2}, {XFORM_GAUGE_RANGE, 2}};
    EXPECT_EQ(expected, mem.gauge);
    MemIo small(Text("abc"));
    auto d2 = MakeDelta(Text("abc"), {{1, 1, "B"}});
    ASSERT_EQ(XFORM_DONE, TransformDelta(0, d2.second.data(), d2.second.size(), 1, 3, 3, &small.io));
    Steps expected2 = {{XFORM_GAUGE_RANGE, 3}, {XFORM_GAUGE_POS, 0}, {XFORM_GAUGE_POS, 3}};
    EXPECT_EQ(expected2, small.gauge);
}

TEST(Transforms, RandomEditsRoundTrip)
{
    std::mt19937 rng(12);
    for (int iCase = 0; iCase < 300; iCase++) {
        size_t cbOld = rng() % 5000;
        Bytes old(cbOld);
        for (auto& b : old) b = (unsigned char)(rng() % 4);
        std::vector<Edit> edits;
        uint32_t dwPos = 0;
        while (dwPos < cbOld && rng() % 4 != 0) {
            uint32_t dwOff = dwPos + rng() % 200;
            if (dwOff > cbOld) break;
            uint32_t dwLen = std::min<uint32_t>((uint32_t)(cbOld - dwOff), rng() % 100);
            std::string strNew(rng() % 100, 'n');
            for (auto& c : strNew) c = (char)('a' + rng() % 26);
            if (dwOff == 0 && dwLen == 0) dwLen = std::min<uint32_t>(1, (uint32_t)cbOld); /* one-way otherwise */
            if (dwLen == 0 && strNew.empty()) strNew = "z";
            edits.push_back({dwOff, dwLen, strNew});
            dwPos = dwOff + dwLen + 1; /* keep a copy run between blocks */
        }
        if (edits.empty()) continue;
        SCOPED_TRACE(iCase);
        RoundTrip(old, edits);
    }
}
