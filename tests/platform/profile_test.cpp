// Profile files on the Linux emulation, checked the Wine way: table rows with
// the results the Win32 probes recorded (shared/probes/win32/expected/
// profile.txt, case ids kept), a sentinel last error before every call and
// buffers filled with '~' so the bytes written past the result show.
// Rows marked "here:" depart from the recorded Wine output on purpose (see
// the decisions at the top of src/platform/posix/profile.cpp).
#include "platform/profile.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

#define B(lit) std::string(lit, sizeof(lit) - 1) /* a literal with its embedded NULs */
const DWORD kSentinel = 0xdeadbeef;
const char* kDir = "C:\\P\\";

std::string Win(const char* szName) { return std::string(kDir) + szName; }

class Profile : public ::testing::Test {
public:
    void SetUp() override
    {
        PlatFaultReset();
        MakeDirs(m_machine.Host("C:\\P"));
    }
    void Put(const char* szName, const std::string& strData) { WriteFile(m_machine.Host(Win(szName)), strData); }
    std::string Get(const char* szName) { return ReadFile(m_machine.Host(Win(szName))); }
    bool Exists(const char* szName) { return PathExists(m_machine.Host(Win(szName))); }

    // GetPrivateProfileString as the probe shows it: the buffer up to ret+2 bytes.
    std::string Read(const char* szFile, const char* szSec, const char* szKey, const char* szDef, DWORD cch,
                     DWORD* pdwRet, DWORD* pdwLe)
    {
        std::vector<char> buf(8192, '~');
        PlatSetLastError(kSentinel);
        *pdwRet = PlatGetPrivateProfileString(szSec, szKey, szDef, buf.data(), cch, Win(szFile).c_str());
        *pdwLe = PlatGetLastError();
        return std::string(buf.data(), std::min<size_t>(*pdwRet + 2, cch));
    }
    std::string ReadSection(const char* szFile, const char* szSec, DWORD cch, DWORD* pdwRet, DWORD* pdwLe)
    {
        std::vector<char> buf(8192, '~');
        PlatSetLastError(kSentinel);
        *pdwRet = PlatGetPrivateProfileSection(szSec, buf.data(), cch, Win(szFile).c_str());
        *pdwLe = PlatGetLastError();
        return std::string(buf.data(), std::min<size_t>(*pdwRet + 2, cch));
    }

    TempMachine m_machine;
};

void PutReadFiles(Profile* pTest)
{
    auto put = [pTest](const char* szName, const std::string& strData) { pTest->Put(szName, strData); };
    put("r.ini", "[Sec]\r\nKey=Value\r\nEmpty=\r\nBlank=   \r\nNoEq\r\n[Other]\r\nK=V\r\n[EmptySec]\r\n[Last]\r\nX=1\r\n");
    put("q.ini", "[Q]\r\ndq=\"text\"\r\nsq='text'\r\ndqinner=\"  padded  \"\r\ndqopen=\"text\r\ndqclose=text\"\r\n"
                 "dqmixed=\"text'\r\ndqempty=\"\"\r\ndqone=\"\r\ndqmid=a\"b\"c\r\ndqtwo=\"a\" \"b\"\r\n"
                 "dqtrail=\"text\"   \r\ndqlead=   \"text\"\r\n  blanks  =  two words  \r\n\ttabs\t=\tv\t\r\n"
                 "eq=a=b=c\r\nsemi=a;b\r\nhex=0x1a2bL\r\n");
    put("t.ini", "[T]\r\nfour=abcd\r\n");
    put("c.ini", "; leading comment\r\n\r\n[C]\r\n;commented=1\r\n  ; indented comment\r\n#hash=2\r\njunk line\r\n"
                 "\r\ndup=first\r\ndup=second\r\nk=v ; not a comment\r\n[D]\r\na=1\r\n[C]\r\ndup=third\r\nonly2=x\r\n"
                 "[d]\r\nb=2\r\n");
    put("h.ini", "[ Spaced ]\r\na=1\r\n[\"Release 7.0.1|May 1, 2009\"]\r\nb=2\r\n[Br]acket]\r\nc=3\r\n[NoClose\r\n"
                 "d=4\r\n  [Indented]  \r\ne=5\r\n[Trail] junk\r\nf=6\r\n");
    put("g.ini", "[Full]\r\nk1=v1\r\n  k2 = \"v2\" \r\nnoeq\r\n;comment\r\n\r\nk3=\r\n[Empty]\r\n[OnlyComment]\r\n;c\r\n"
                 "[OnlyBlank]\r\n\r\n\r\n[Last]\r\nz=1\r\n");
    put("lf.ini", "[Sec]\nKey=Value\n");
    put("bom.ini", "\xef\xbb\xbf[First]\r\nk=v\r\n[Second]\r\nk=w\r\n");
    put("bom2.ini", "\xef\xbb\xbfk0=top\r\n[First]\r\nk=caf\xc3\xa9\r\n");
    put("ansi.ini", "[First]\r\nk=caf\xe9\r\n");
}

struct ReadRow {
    const char* szId;
    const char* szFile;
    const char* szSec;
    const char* szKey;
    const char* szDef;
    DWORD cch;
    DWORD dwRet;
    DWORD dwLe;
    std::string strBuf;
};

TEST_F(Profile, GetPrivateProfileStringMatchesTheProbes)
{
    PutReadFiles(this);
    const ReadRow aRows[] = {
        {"A01", "r.ini", "Sec", "Key", "DEFAULT", 260, 5, 0, B("Value\0~")},
        {"A02", "r.ini", "sEC", "kEY", "DEFAULT", 260, 5, 0, B("Value\0~")},
        {"A03", "nofile.ini", "Sec", "Key", "DEFAULT", 260, 7, 2, B("DEFAULT\0~")},
        {"A03b", "nodir\\x.ini", "Sec", "Key", "DEFAULT", 260, 7, 3, B("DEFAULT\0~")},
        {"A04", "r.ini", "Nope", "Key", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A05", "r.ini", "Sec", "Nope", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A05b", "r.ini", "Sec", "Nope", "", 260, 0, 0, B("\0~")},
        {"A05c", "r.ini", "Sec", "Nope", nullptr, 260, 0, 0, B("\0~")},
        {"A05d", "r.ini", "EmptySec", "Key", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A06", "r.ini", "Sec", "Empty", "DEFAULT", 260, 0, 0, B("\0~")},
        {"A06b", "r.ini", "Sec", "Blank", "DEFAULT", 260, 0, 0, B("\0~")},
        {"A06c", "r.ini", "Sec", "NoEq", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A07", "r.ini", "Sec", "Nope", "DEFAULT   ", 260, 7, 0, B("DEFAULT\0~")},
        {"A07b", "r.ini", "Sec", "Nope", "  DEFAULT", 260, 9, 0, B("  DEFAULT\0~")},
        {"A08", "r.ini", "  Sec  ", "Key", "DEFAULT", 260, 5, 0, B("Value\0~")},
        {"A08b", "r.ini", "Sec", "  Key  ", "DEFAULT", 260, 5, 0, B("Value\0~")},
        {"A08c", "r.ini", "Sec", "", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A08d", "r.ini", "", "Key", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A10", "r.ini", "Sec", nullptr, "DEFAULT", 260, 16, 0, B("Key\0Empty\0Blank\0\0~")},
        {"A10-fits-exactly", "r.ini", "Sec", nullptr, "DEFAULT", 17, 16, 0, B("Key\0Empty\0Blank\0\0")},
        {"A10b", "r.ini", "Nope", nullptr, "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A10c", "r.ini", "EmptySec", nullptr, "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A10d", "nofile.ini", "Sec", nullptr, "DEFAULT", 260, 7, 2, B("DEFAULT\0~")},
        // here: two NULs at the end of a cut list, as documented for Windows (Wine writes one).
        {"A10e", "r.ini", "Sec", nullptr, "DEFAULT", 10, 8, 0, B("Key\0Empt\0\0")},
        {"A10-one-short", "r.ini", "Sec", nullptr, "DEFAULT", 16, 14, 0, B("Key\0Empty\0Blan\0\0")},
        {"A11", "r.ini", nullptr, "Key", "DEFAULT", 260, 24, 0, B("Sec\0Other\0EmptySec\0Last\0\0~")},
        {"A11b", "r.ini", nullptr, nullptr, "DEFAULT", 260, 24, 0, B("Sec\0Other\0EmptySec\0Last\0\0~")},
        {"A11c", "nofile.ini", nullptr, "Key", "DEFAULT", 260, 0, 2, B("\0~")},
        {"A11d", "r.ini", nullptr, nullptr, "DEFAULT", 12, 10, 0, B("Sec\0Other\0\0\0")}, // here: as A10e
        {"A11-buffer-1", "r.ini", nullptr, nullptr, "DEFAULT", 1, 0, 0, B("\0")},
        {"A12", "q.ini", "Q", "dq", "DEFAULT", 260, 4, 0, B("text\0~")},
        {"A12b", "q.ini", "Q", "sq", "DEFAULT", 260, 4, 0, B("text\0~")},
        {"A12c", "q.ini", "Q", "dqinner", "DEFAULT", 260, 10, 0, B("  padded  \0~")},
        {"A12d", "q.ini", "Q", "dqopen", "DEFAULT", 260, 5, 0, B("\"text\0~")},
        {"A12e", "q.ini", "Q", "dqclose", "DEFAULT", 260, 5, 0, B("text\"\0~")},
        {"A12f", "q.ini", "Q", "dqmixed", "DEFAULT", 260, 6, 0, B("\"text'\0~")},
        {"A12g", "q.ini", "Q", "dqempty", "DEFAULT", 260, 0, 0, B("\0~")},
        {"A12h", "q.ini", "Q", "dqone", "DEFAULT", 260, 1, 0, B("\"\0~")},
        {"A12i", "q.ini", "Q", "dqmid", "DEFAULT", 260, 5, 0, B("a\"b\"c\0~")},
        {"A12j", "q.ini", "Q", "dqtwo", "DEFAULT", 260, 5, 0, B("a\" \"b\0~")},
        {"A12k", "q.ini", "Q", "dqtrail", "DEFAULT", 260, 4, 0, B("text\0~")},
        {"A12l", "q.ini", "Q", "dqlead", "DEFAULT", 260, 4, 0, B("text\0~")},
        {"A12m", "q.ini", "Q", "dq", "DEFAULT", 5, 3, 0, B("tex\0~")},
        {"A12n", "q.ini", "Q", "dq", "DEFAULT", 6, 4, 0, B("text\0~")},
        {"A12-quoted-one-short", "q.ini", "Q", "dq", "DEFAULT", 4, 3, 0, B("tex\0")},
        {"A13", "q.ini", "Q", "blanks", "DEFAULT", 260, 9, 0, B("two words\0~")},
        {"A13b", "q.ini", "Q", "tabs", "DEFAULT", 260, 1, 0, B("v\0~")},
        {"A14", "q.ini", "Q", "eq", "DEFAULT", 260, 5, 0, B("a=b=c\0~")},
        {"A14b", "q.ini", "Q", "semi", "DEFAULT", 260, 3, 0, B("a;b\0~")},
        {"A14c", "q.ini", "Q", "hex", "DEFAULT", 260, 7, 0, B("0x1a2bL\0~")},
        {"A14d", "q.ini", "Q", "nope", "\"dflt\"", 260, 4, 0, B("dflt\0~")},
        {"A15c", "t.ini", "T", "four", "DEFAULT", 4, 3, 0, B("abc\0")},
        {"A15d", "t.ini", "T", "four", "DEFAULT", 5, 4, 0, B("abcd\0")},
        {"A15d-room-to-spare", "t.ini", "T", "four", "DEFAULT", 6, 4, 0, B("abcd\0~")},
        {"A15e", "t.ini", "T", "four", "DEFAULT", 1, 0, 0, B("\0")},
        {"A15f", "t.ini", "T", "nope", "DEFAULT", 4, 3, 0, B("DEF\0")},
        {"A16", "c.ini", "C", "commented", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A16b", "c.ini", "C", ";commented", "DEFAULT", 260, 1, 0, B("1\0~")},
        {"A16c", "c.ini", "C", "#hash", "DEFAULT", 260, 1, 0, B("2\0~")},
        {"A16d", "c.ini", "C", "k", "DEFAULT", 260, 17, 0, B("v ; not a comment\0~")},
        {"A17", "c.ini", "C", "dup", "DEFAULT", 260, 5, 0, B("first\0~")},
        {"A17b", "c.ini", "C", "only2", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A17c", "c.ini", "D", "b", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A17d", "c.ini", "C", nullptr, "DEFAULT", 260, 16, 0, B("#hash\0dup\0dup\0k\0\0~")},
        {"A17e", "c.ini", nullptr, nullptr, "DEFAULT", 260, 8, 0, B("C\0D\0C\0d\0\0~")},
        {"A18", "h.ini", "Spaced", "a", "DEFAULT", 260, 1, 0, B("1\0~")},
        {"A18b", "h.ini", " Spaced ", "a", "DEFAULT", 260, 1, 0, B("1\0~")},
        {"A18c", "h.ini", "\"Release 7.0.1|May 1, 2009\"", "b", "DEFAULT", 260, 1, 0, B("2\0~")},
        {"A18d", "h.ini", "Release 7.0.1|May 1, 2009", "b", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A18e", "h.ini", "Br]acket", "c", "DEFAULT", 260, 1, 0, B("3\0~")},
        {"A18f", "h.ini", "NoClose", "d", "DEFAULT", 260, 7, 0, B("DEFAULT\0~")},
        {"A18g", "h.ini", "Br]acket", "d", "DEFAULT", 260, 1, 0, B("4\0~")},
        {"A18h", "h.ini", "Indented", "e", "DEFAULT", 260, 1, 0, B("5\0~")},
        {"A18i", "h.ini", "Trail", "f", "DEFAULT", 260, 1, 0, B("6\0~")},
        {"A18j", "h.ini", nullptr, nullptr, "DEFAULT", 400, 59, 0,
         B("Spaced\0\"Release 7.0.1|May 1, 2009\"\0Br]acket\0Indented\0Trail\0\0~")},
        {"lf-only", "lf.ini", "sec", "key", "DEFAULT", 260, 5, 0, B("Value\0~")},
        {"A26", "bom.ini", "First", "k", "DEFAULT", 260, 1, 0, B("v\0~")},
        {"A26b", "bom.ini", "Second", "k", "DEFAULT", 260, 1, 0, B("w\0~")},
        {"A26c", "bom.ini", nullptr, nullptr, "DEFAULT", 260, 13, 0, B("First\0Second\0\0~")},
        // here: bytes come back unconverted (Wine converts UTF-8 to the ANSI page).
        {"A26e", "bom2.ini", "First", "k", "DEFAULT", 260, 5, 0, B("caf\xc3\xa9\0~")},
        {"A26f", "ansi.ini", "First", "k", "DEFAULT", 260, 4, 0, B("caf\xe9\0~")},
        {"path-case", "R.INI", "Sec", "Key", "DEFAULT", 260, 5, 0, B("Value\0~")},
    };
    for (const ReadRow& row : aRows) {
        DWORD dwRet, dwLe;
        std::string strBuf = Read(row.szFile, row.szSec, row.szKey, row.szDef, row.cch, &dwRet, &dwLe);
        EXPECT_EQ(row.dwRet, dwRet) << row.szId;
        EXPECT_EQ(row.dwLe, dwLe) << row.szId;
        EXPECT_EQ(row.strBuf, strBuf) << row.szId;
    }
}

TEST_F(Profile, GetPrivateProfileSectionMatchesTheProbes)
{
    PutReadFiles(this);
    struct Row {
        const char* szId;
        const char* szFile;
        const char* szSec;
        DWORD cch, dwRet, dwLe;
        std::string strBuf;
    } aRows[] = {
        {"A17f", "c.ini", "C", 260, 59, 0, B("#hash=2\0junk line\0dup=first\0dup=second\0k=v ; not a comment\0\0~")},
        {"A25", "g.ini", "Full", 260, 23, 0, B("k1=v1\0k2=\"v2\"\0noeq\0k3=\0\0~")},
        {"A25b", "g.ini", "fULL", 260, 23, 0, B("k1=v1\0k2=\"v2\"\0noeq\0k3=\0\0~")},
        {"A25-fits-exactly", "g.ini", "Full", 24, 23, 0, B("k1=v1\0k2=\"v2\"\0noeq\0k3=\0\0")},
        {"A25-one-short", "g.ini", "Full", 23, 21, 122, B("k1=v1\0k2=\"v2\"\0noeq\0k3\0\0")},
        {"A25c", "g.ini", "Empty", 260, 0, 0, B("\0\0")},
        {"A25d", "g.ini", "OnlyComment", 260, 0, 0, B("\0\0")},
        {"A25e", "g.ini", "OnlyBlank", 260, 0, 0, B("\0\0")},
        {"A25f", "g.ini", "Nope", 260, 0, 0, B("\0\0")},
        {"A25g", "nofile.ini", "Full", 260, 0, 2, B("\0\0")},
        {"A25h", "g.ini", "Full", 12, 10, 122, B("k1=v1\0k2=\"\0\0")},
    };
    for (const Row& row : aRows) {
        DWORD dwRet, dwLe;
        std::string strBuf = ReadSection(row.szFile, row.szSec, row.cch, &dwRet, &dwLe);
        EXPECT_EQ(row.dwRet, dwRet) << row.szId;
        EXPECT_EQ(row.dwLe, dwLe) << row.szId;
        EXPECT_EQ(row.strBuf, strBuf) << row.szId;
    }
}

// One step of a write sequence: 'P' puts the file's bytes, 'W' writes a
// string, 'S' writes a section (szVal holds the entry list), 'R' reads a
// string (260 characters), 'G' reads a section. After 'W' and 'S' strExpect
// is the whole file (bAbsent: no file); after reads, the buffer as in the probe.
struct Step {
    const char* szId;
    char chOp;
    const char* szFile;
    const char* szSec;
    const char* szKey;
    const char* szVal;
    DWORD dwRet;
    std::string strExpect;
    long lLe; // checked when not -1
    bool bAbsent;
};

#define REL "[\"Release 8.0.2|May 1, 2010\"]\r\nLabel001=x\r\n"

TEST_F(Profile, WritesMatchTheProbes)
{
    const Step aSteps[] = {
        {"A20", 'W', "w1.ini", "Sec", "Key", "Value", 1, "[Sec]\r\nKey=Value\r\n", -1, false},
        {"A20b", 'W', "w1.ini", "Two", "K", "V", 1, "[Sec]\r\nKey=Value\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20c", 'W', "w1.ini", "Sec", "Key2", "Value2", 1, "[Sec]\r\nKey=Value\r\nKey2=Value2\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20d", 'W', "w1.ini", "Sec", "Key", "New", 1, "[Sec]\r\nKey=New\r\nKey2=Value2\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20e", 'W', "w1.ini", "SEC", "KEY", "Newer", 1, "[Sec]\r\nKey=Newer\r\nKey2=Value2\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20f", 'W', "w1.ini", "Sec", "Key2", "", 1, "[Sec]\r\nKey=Newer\r\nKey2=\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20g", 'R', "w1.ini", "Sec", "Key2", nullptr, 0, B("\0~"), 0, false},
        {"A20h", 'W', "w1.ini", "Sec", "Key2", nullptr, 1, "[Sec]\r\nKey=Newer\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20i", 'W', "w1.ini", "Sec", "Gone", nullptr, 1, "[Sec]\r\nKey=Newer\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20j", 'W', "w1.ini", "NoSec", "Gone", nullptr, 1, "[Sec]\r\nKey=Newer\r\n[Two]\r\nK=V\r\n", -1, false},
        {"A20k", 'W', "w1.ini", "Two", nullptr, "ignored", 1, "[Sec]\r\nKey=Newer\r\n", -1, false},
        {"A20l", 'W', "w1.ini", "NoSec", nullptr, nullptr, 1, "[Sec]\r\nKey=Newer\r\n", -1, false},
        {"A20m", 'W', "w1.ini", nullptr, "K", "V", 0, "[Sec]\r\nKey=Newer\r\n", 2, false},
        {"A20n", 'W', "w1.ini", nullptr, nullptr, nullptr, 0, "[Sec]\r\nKey=Newer\r\n", 0, false},
        {"A20o", 'W', "w1.ini", "Sec", "Key", "Again", 1, "[Sec]\r\nKey=Again\r\n", -1, false},

        {"A21", 'W', "w2.ini", "Sec", "Q", "\"text\"", 1, "[Sec]\r\nQ=\"text\"\r\n", -1, false},
        {"A21b", 'R', "w2.ini", "Sec", "Q", nullptr, 4, B("text\0~"), 0, false},
        {"A21c", 'W', "w2.ini", "\"Release 8.0.2|May 1, 2010\"", "Label001", "x", 1, "[Sec]\r\nQ=\"text\"\r\n" REL, -1, false},
        {"A21d", 'R', "w2.ini", "\"Release 8.0.2|May 1, 2010\"", "Label001", nullptr, 1, B("x\0~"), 0, false},
        {"A21e", 'R', "w2.ini", "Release 8.0.2|May 1, 2010", "Label001", nullptr, 7, B("DEFAULT\0~"), 0, false},
        {"A21f", 'W', "w2.ini", "Sec", "B", "  v  ", 1, "[Sec]\r\nQ=\"text\"\r\nB=v  \r\n" REL, -1, false},
        {"A21g", 'R', "w2.ini", "Sec", "B", nullptr, 1, B("v\0~"), 0, false},
        // here: untouched lines keep their bytes ("B=v  "); Wine rewrites them trimmed.
        {"A21h", 'W', "w2.ini", "Sec", "  KB  ", "x", 1, "[Sec]\r\nQ=\"text\"\r\nB=v  \r\nKB  =x\r\n" REL, -1, false},
        {"A21i", 'W', "w2.ini", "  SB  ", "k", "x", 1,
         "[Sec]\r\nQ=\"text\"\r\nB=v  \r\nKB  =x\r\n" REL "[SB  ]\r\nk=x\r\n", -1, false},
        {"A21k", 'W', "w2.ini", "Sec", "k=e", "v", 1,
         "[Sec]\r\nQ=\"text\"\r\nB=v  \r\nKB  =x\r\nk=e=v\r\n" REL "[SB  ]\r\nk=x\r\n", -1, false},
        {"A21l", 'R', "w2.ini", "Sec", "k", nullptr, 3, B("e=v\0~"), 0, false},
        {"A21m", 'W', "w2.ini", "Sec", "NL", "a\r\nb=c", 1,
         "[Sec]\r\nQ=\"text\"\r\nB=v  \r\nKB  =x\r\nk=e=v\r\nNL=a\r\nb=c\r\n" REL "[SB  ]\r\nk=x\r\n", -1, false},
        {"A21n", 'R', "w2.ini", "Sec", "b", nullptr, 1, B("v\0~"), 0, false},

        // here: as on Windows, a delete on a missing file leaves an empty file (Wine creates none).
        {"A22", 'W', "w3.ini", "Sec", nullptr, nullptr, 1, "", -1, false},
        {"A22b", 'W', "w4.ini", "Sec", "Key", nullptr, 1, "", -1, false},
        {"A22c", 'W', "nodir\\w.ini", "Sec", "Key", "Value", 0, "", 3, true},

        // here: comments, blank lines and blanks stay byte for byte (Wine drops or trims them).
        {"A23-put", 'P', "w5.ini", nullptr, nullptr, nullptr, 0,
         "; top comment\r\n\r\n[A]\r\n  x = 1  \r\n; inner\r\n\r\n\r\n[B]\r\ny=2\r\n\r\n", -1, false},
        {"A23", 'W', "w5.ini", "A", "z", "3", 1,
         "; top comment\r\n\r\n[A]\r\n  x = 1  \r\n; inner\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n\r\n", -1, false},
        {"A23b", 'W', "w5.ini", "A", "x", "9", 1,
         "; top comment\r\n\r\n[A]\r\nx=9\r\n; inner\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n\r\n", -1, false},
        // here: an LF-only file stays LF-only (Wine turns the whole file to CR LF).
        {"A23c-put", 'P', "w7.ini", nullptr, nullptr, nullptr, 0, "[A]\nx=1\n[B]\ny=2\n", -1, false},
        {"A23c", 'W', "w7.ini", "A", "z", "3", 1, "[A]\nx=1\nz=3\n[B]\ny=2\n", -1, false},
        {"A23d-put", 'P', "w8.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1", -1, false},
        {"A23d", 'W', "w8.ini", "A", "z", "3", 1, "[A]\r\nx=1\r\nz=3\r\n", -1, false},
        {"A23d-new-section", 'P', "w8.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1", -1, false},
        {"A23d-new-section", 'W', "w8.ini", "B", "z", "3", 1, "[A]\r\nx=1\r\n[B]\r\nz=3\r\n", -1, false},
        {"A23e-put", 'P', "w9.ini", nullptr, nullptr, nullptr, 0, "[A]\r\ndup=1\r\ndup=2\r\n", -1, false},
        {"A23e", 'W', "w9.ini", "A", "dup", "X", 1, "[A]\r\ndup=X\r\ndup=2\r\n", -1, false},
        // here: a delete takes every copy of the key, so the read gives the default.
        {"delete-duplicates", 'W', "w9.ini", "A", "DUP", nullptr, 1, "[A]\r\n", -1, false},
        {"delete-duplicates-read", 'R', "w9.ini", "A", "dup", nullptr, 7, B("DEFAULT\0~"), 0, false},
        {"A23f-put", 'P', "w10.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1\r\n[B]\r\ny=2\r\n[a]\r\nw=0\r\n", -1, false},
        {"A23f", 'W', "w10.ini", "A", "z", "3", 1, "[A]\r\nx=1\r\nz=3\r\n[B]\r\ny=2\r\n[a]\r\nw=0\r\n", -1, false},
        {"delete-duplicated-section", 'W', "w10.ini", "a", nullptr, nullptr, 1, "[B]\r\ny=2\r\n", -1, false},
        {"A23g-put", 'P', "w11.ini", nullptr, nullptr, nullptr, 0, "pre=1\r\n[A]\r\nx=1\r\n", -1, false},
        {"A23g", 'W', "w11.ini", "A", "z", "3", 1, "pre=1\r\n[A]\r\nx=1\r\nz=3\r\n", -1, false},

        // here: an empty list creates the file and the header, as Windows does (Wine creates nothing).
        {"A24", 'S', "s1.ini", "Sec", nullptr, "\0", 1, "[Sec]\r\n", -1, false},
        {"A24b", 'S', "s2.ini", "Sec", nullptr, "", 1, "[Sec]\r\n", -1, false},
        {"A24c-put", 'P', "s3.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1\r\n[Sec]\r\nk1=v1\r\nk2=v2\r\n[Z]\r\nz=26\r\n", -1, false},
        {"A24c", 'S', "s3.ini", "Sec", nullptr, "\0", 1, "[A]\r\nx=1\r\n[Sec]\r\n[Z]\r\nz=26\r\n", -1, false},
        {"A24d", 'G', "s3.ini", "Sec", nullptr, nullptr, 0, B("\0\0"), 0, false},
        {"A24e", 'R', "s3.ini", nullptr, nullptr, nullptr, 8, B("A\0Sec\0Z\0\0~"), 0, false},
        {"A24f-put", 'P', "s4.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1\r\n", -1, false},
        {"A24f", 'S', "s4.ini", "New", nullptr, "\0", 1, "[A]\r\nx=1\r\n[New]\r\n", -1, false},
        {"A24g", 'G', "s4.ini", "New", nullptr, nullptr, 0, B("\0\0"), 0, false},
        {"A24h", 'R', "s4.ini", nullptr, nullptr, nullptr, 6, B("A\0New\0\0~"), 0, false},
        {"A24i-put", 'P', "s5.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1\r\n[Sec]\r\nk1=v1\r\n;c\r\n\r\n[Z]\r\nz=26\r\n", -1, false},
        // here: the section's comment and blank line stay (Windows documents it; Wine drops them).
        {"A24i", 'S', "s5.ini", "Sec", nullptr, "n1=w1\0  n2 = w2 \0junk\0;comment\0", 1,
         "[A]\r\nx=1\r\n[Sec]\r\nn1=w1\r\nn2 =w2 \r\n;c\r\n\r\n[Z]\r\nz=26\r\n", -1, false},
        {"A24j", 'G', "s5.ini", "Sec", nullptr, nullptr, 12, B("n1=w1\0n2=w2\0\0~"), 0, false},
        {"A24k", 'S', "s5.ini", "Sec", nullptr, nullptr, 1, "[A]\r\nx=1\r\n[Z]\r\nz=26\r\n", -1, false},
        {"A24l-put", 'P', "s6.ini", nullptr, nullptr, nullptr, 0, "[Sec]\r\nk1=v1\r\n[Sec]\r\nk2=v2\r\n", -1, false},
        {"A24l", 'S', "s6.ini", "Sec", nullptr, "\0", 1, "[Sec]\r\n[Sec]\r\n", -1, false},
        {"A24m-put", 'P', "s7.ini", nullptr, nullptr, nullptr, 0, "[A]\r\nx=1\r\n", -1, false},
        {"A24m", 'S', "s7.ini", "New", nullptr, "a=1\0b=2\0", 1, "[A]\r\nx=1\r\n[New]\r\na=1\r\nb=2\r\n", -1, false},

        {"A26d-put", 'P', "bom.ini", nullptr, nullptr, nullptr, 0, "\xef\xbb\xbf[First]\r\nk=v\r\n[Second]\r\nk=w\r\n", -1, false},
        {"A26d", 'W', "bom.ini", "Second", "n", "1", 1, "\xef\xbb\xbf[First]\r\nk=v\r\n[Second]\r\nk=w\r\nn=1\r\n", -1, false},
        {"A26g-put", 'P', "ansi.ini", nullptr, nullptr, nullptr, 0, "[First]\r\nk=caf\xe9\r\n", -1, false},
        {"A26g", 'W', "ansi.ini", "First", "n", "\xe9t\xe9", 1, "[First]\r\nk=caf\xe9\r\nn=\xe9t\xe9\r\n", -1, false},

        {"empty-section-name", 'W', "w12.ini", "  ", "k", "v", 0, "", 87, true},
        {"empty-key-name", 'W', "w12.ini", "Sec", "", "v", 0, "", 87, true},
        {"empty-section-name-list", 'S', "w12.ini", "", nullptr, "\0", 0, "", 87, true},
    };
    for (const Step& step : aSteps) {
        DWORD dwRet = 0, dwLe;
        std::string strGot;
        PlatSetLastError(kSentinel);
        switch (step.chOp) {
        case 'P': Put(step.szFile, step.strExpect); continue;
        case 'W':
            dwRet = (DWORD)PlatWritePrivateProfileString(step.szSec, step.szKey, step.szVal, Win(step.szFile).c_str());
            break;
        case 'S': dwRet = (DWORD)PlatWritePrivateProfileSection(step.szSec, step.szVal, Win(step.szFile).c_str()); break;
        case 'R': strGot = Read(step.szFile, step.szSec, step.szKey, "DEFAULT", 260, &dwRet, &dwLe); break;
        case 'G': strGot = ReadSection(step.szFile, step.szSec, 260, &dwRet, &dwLe); break;
        }
        dwLe = PlatGetLastError();
        EXPECT_EQ(step.dwRet, dwRet) << step.szId;
        if (step.lLe != -1) {
            EXPECT_EQ((DWORD)step.lLe, dwLe) << step.szId;
        }
        if (step.chOp == 'R' || step.chOp == 'G') {
            EXPECT_EQ(step.strExpect, strGot) << step.szId;
        } else if (step.bAbsent) {
            EXPECT_FALSE(Exists(step.szFile)) << step.szId;
        } else {
            EXPECT_TRUE(Exists(step.szFile)) << step.szId;
            EXPECT_EQ(step.strExpect, Get(step.szFile)) << step.szId;
        }
    }
}

TEST_F(Profile, LongValuesAreCutAtTheBufferAndReadWholeWhenThereIsRoom)
{
    std::string str300, str5000;
    for (int i = 0; i < 300; i++) str300 += (char)('a' + i % 26);
    for (int i = 0; i < 5000; i++) str5000 += (char)('A' + i % 26);
    Put("t.ini", "[T]\r\nlong=" + str300 + "\r\nquoted=\"" + str300 + "\"\r\n");
    Put("l.ini", "[L]\r\nlong=" + str5000 + "\r\nafter=ok\r\n");
    DWORD dwRet, dwLe;
    EXPECT_EQ(str300.substr(0, 259) + B("\0"), Read("t.ini", "T", "long", "D", 260, &dwRet, &dwLe));  // A15
    EXPECT_EQ(259u, dwRet);
    EXPECT_EQ(str300.substr(0, 259) + B("\0"), Read("t.ini", "T", "quoted", "D", 260, &dwRet, &dwLe)); // A15b
    EXPECT_EQ(259u, dwRet);
    EXPECT_EQ(str5000.substr(0, 259) + B("\0"), Read("l.ini", "L", "long", "D", 260, &dwRet, &dwLe)); // A27
    EXPECT_EQ(str5000 + B("\0~"), Read("l.ini", "L", "long", "D", 6000, &dwRet, &dwLe));              // A27b
    EXPECT_EQ(B("ok\0~"), Read("l.ini", "L", "after", "D", 260, &dwRet, &dwLe));                     // A27c
    ASSERT_EQ(1, PlatWritePrivateProfileString("L", "long", str5000.c_str(), Win("l2.ini").c_str())); // A27d
    EXPECT_EQ("[L]\r\nlong=" + str5000 + "\r\n", Get("l2.ini"));
    EXPECT_EQ(str5000 + B("\0~"), Read("l2.ini", "L", "long", "D", 6000, &dwRet, &dwLe)); // A27e
}

TEST_F(Profile, NumberedKeysReadUntilTheDefault)
{
    char szKey[32], szValue[32], szBuf[260];
    for (int i = 1; i <= 12; i++) {
        snprintf(szKey, sizeof(szKey), "Label%03d", i);
        snprintf(szValue, sizeof(szValue), "\"v%d\"", i);
        ASSERT_EQ(1, PlatWritePrivateProfileString("\"Release 1\"", szKey, szValue, "C:\\P\\PATCH.INI"));
    }
    int n = 0;
    for (;;) {
        snprintf(szKey, sizeof(szKey), "label%03d", n + 1);
        PlatGetPrivateProfileString("\"release 1\"", szKey, "DEFAULT", szBuf, sizeof(szBuf), "c:\\p\\patch.ini");
        if (strcmp(szBuf, "DEFAULT") == 0) break;
        snprintf(szValue, sizeof(szValue), "v%d", ++n);
        ASSERT_STREQ(szValue, szBuf);
    }
    EXPECT_EQ(12, n);
    ASSERT_EQ(1, PlatWritePrivateProfileString("\"Release 1\"", "Label013", "x", "C:\\P\\PATCH.INI"));
    EXPECT_EQ(1u, PlatGetPrivateProfileString("\"Release 1\"", "Label013", "DEFAULT", szBuf, 260, "C:\\P\\PATCH.INI"));
}

TEST_F(Profile, FailuresLeaveTheFileAsItWas)
{
    const std::string strOld = "[Sec]\r\nKey=Value\r\n";
    Put("ro.ini", strOld);
    chmod(m_machine.Host(Win("ro.ini")).c_str(), 0444);
    PlatSetLastError(kSentinel);
    EXPECT_EQ(0, PlatWritePrivateProfileString("Sec", "Key", "Other", Win("ro.ini").c_str())); // A22d
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_EQ(0, PlatWritePrivateProfileSection("Sec", "", Win("ro.ini").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_EQ(strOld, Get("ro.ini"));
    EXPECT_EQ(1, PlatWritePrivateProfileString("Sec", "Key", "Value", Win("ro.ini").c_str())) << "no change, no write";

    // A directory in place of the file: neither a default nor a write.
    MakeDirs(m_machine.Host(Win("dir.ini")));
    char szBuf[260];
    PlatSetLastError(kSentinel);
    EXPECT_EQ(0u, PlatGetPrivateProfileString("Sec", "Key", "DEFAULT", szBuf, 260, Win("dir.ini").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    EXPECT_STREQ("", szBuf);
    EXPECT_EQ(0, PlatWritePrivateProfileString("Sec", "Key", "V", Win("dir.ini").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());

    // A write that fails half-way (file size limit) leaves the old bytes and no temporary file.
    Put("big.ini", strOld);
    struct rlimit rlOld, rlSmall;
    getrlimit(RLIMIT_FSIZE, &rlOld);
    rlSmall = rlOld;
    rlSmall.rlim_cur = 64;
    void (*pfnOld)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &rlSmall);
    BOOL bOk = PlatWritePrivateProfileString("Sec", "Key", std::string(200, 'x').c_str(), Win("big.ini").c_str());
    DWORD dwLe = PlatGetLastError();
    setrlimit(RLIMIT_FSIZE, &rlOld);
    signal(SIGXFSZ, pfnOld);
    EXPECT_EQ(0, bOk);
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, dwLe);
    EXPECT_EQ(strOld, Get("big.ini"));
    DIR* pDir = opendir(m_machine.Host("C:\\P").c_str());
    ASSERT_TRUE(pDir);
    for (struct dirent* pEnt; (pEnt = readdir(pDir)) != nullptr;)
        EXPECT_EQ(nullptr, strstr(pEnt->d_name, ".tmp")) << pEnt->d_name;
    closedir(pDir);
}

TEST_F(Profile, EachOperationCanBeMadeToFail)
{
    Put("f.ini", "[Sec]\r\nKey=Value\r\n");
    const std::string strFile = Win("f.ini");
    char szBuf[16];
    PlatFaultArm("GetPrivateProfileString", 1, ERROR_READ_FAULT, 0);
    EXPECT_EQ(0u, PlatGetPrivateProfileString("Sec", "Key", "DEFAULT", szBuf, sizeof(szBuf), strFile.c_str()));
    EXPECT_EQ((DWORD)ERROR_READ_FAULT, PlatGetLastError());
    EXPECT_STREQ("", szBuf);
    EXPECT_EQ(5u, PlatGetPrivateProfileString("Sec", "Key", "DEFAULT", szBuf, sizeof(szBuf), strFile.c_str()));
    PlatFaultArm("GetPrivateProfileSection", 1, ERROR_READ_FAULT, 0);
    EXPECT_EQ(0u, PlatGetPrivateProfileSection("Sec", szBuf, sizeof(szBuf), strFile.c_str()));
    EXPECT_EQ((DWORD)ERROR_READ_FAULT, PlatGetLastError());
    PlatFaultArm("WritePrivateProfileString", 1, ERROR_DISK_FULL, 0);
    EXPECT_EQ(0, PlatWritePrivateProfileString("Sec", "Key", "X", strFile.c_str()));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, PlatGetLastError());
    PlatFaultArm("WritePrivateProfileSection", 1, ERROR_DISK_FULL, 0);
    EXPECT_EQ(0, PlatWritePrivateProfileSection("Sec", "", strFile.c_str()));
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, PlatGetLastError());
    EXPECT_EQ("[Sec]\r\nKey=Value\r\n", Get("f.ini"));
}

TEST_F(Profile, ReadsSeeEveryChangeAndWritesKeepTheFilesIdentity)
{
    // An edit behind the module's back, same size and same modification time, is seen at once.
    const std::string strHost = m_machine.Host(Win("patch.ini"));
    Put("patch.ini", "[Sec]\r\nKey=aaaa\r\n");
    char szBuf[260];
    EXPECT_EQ(4u, PlatGetPrivateProfileString("Sec", "Key", "D", szBuf, 260, "C:\\P\\PATCH.INI"));
    struct stat st;
    ASSERT_EQ(0, stat(strHost.c_str(), &st));
    Put("patch.ini", "[Sec]\r\nKey=bbbb\r\n");
    struct timespec aTimes[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, strHost.c_str(), aTimes, 0);
    PlatGetPrivateProfileString("Sec", "Key", "D", szBuf, 260, "C:\\P\\PATCH.INI");
    EXPECT_STREQ("bbbb", szBuf);

    // A write through the module is read back at once; the file keeps its name and permissions.
    chmod(strHost.c_str(), 0640);
    ASSERT_EQ(1, PlatWritePrivateProfileString("Sec", "Key", "cccc", "C:\\P\\PATCH.INI"));
    PlatGetPrivateProfileString("Sec", "Key", "D", szBuf, 260, "C:\\P\\PATCH.INI");
    EXPECT_STREQ("cccc", szBuf);
    ASSERT_EQ(0, stat(strHost.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_FALSE(PathExists(m_machine.Host(Win("PATCH.INI"))));
}

} // namespace

// Deferred writes give, byte for byte, the file the same writes give one by
// one: random runs of writes (new and existing keys in other spellings, new
// sections, duplicated sections, blanks around names) mixed with reads and
// with writes that cannot be noted (deletions, section writes, line breaks
// in a value, '=' in a key), over files with comments, blank lines, a
// byte-order mark, LF-only line ends, no final line end, or no file at all.
// Reads while deferring answer as reads after the same writes would.
TEST_F(Profile, DeferredWritesGiveTheFileOfTheSameWritesOneByOne)
{
    const std::vector<std::string> vStarts = {
        "<missing>",
        "",
        "\xEF\xBB\xBF",
        "[A]\r\nk1=1\r\n\r\n[B]\r\n; note\r\nk2 = two \r\n\r\n\r\n",
        "[A]\nk1=1\n[b]\nK2=2\n",
        "top=0\r\n[A]\r\nk1=1\r\n[A]\r\nk1=hidden\r\nk3=3",
        "[ C ]\r\n   \r\n[A]",
        "\xEF\xBB\xBF[A]\r\njunk line\r\nk1=1\r\n[X]\r\n",
    };
    const char* aszSecs[] = {"A", "a", " B ", "C", "New1", "new1", "New2", "X"};
    const char* aszKeys[] = {"k1", "K1", "k2", " k3 ", "k4", "File001", "Checksum001", "z"};
    uint32_t x = 12345;
    auto Next = [&x](uint32_t n) { return ((x = x * 1103515245u + 12345u) >> 8 & 0xFFFFFF) % n; };
    for (size_t iStart = 0; iStart < vStarts.size(); iStart++) {
        for (int iRound = 0; iRound < 8; iRound++) {
            // The script of one round, replayed on both files.
            struct Op {
                int iKind;
                std::string strSec, strKey, strValue;
            };
            std::vector<Op> vOps;
            int cOps = 1 + (int)Next(40);
            for (int i = 0; i < cOps; i++) {
                Op op;
                uint32_t r = Next(100);
                op.strSec = aszSecs[Next(8)];
                op.strKey = aszKeys[Next(8)];
                op.strValue = "v" + std::to_string(Next(1000)) + (Next(4) == 0 ? "  " : "");
                op.iKind = r < 70 ? 0 : r < 80 ? 1 : r < 84 ? 2 : r < 88 ? 3 : r < 92 ? 4 : r < 96 ? 5 : 6;
                vOps.push_back(op);
            }
            std::string aResults[2];
            std::vector<std::string> avReads[2];
            for (int iDeferred = 0; iDeferred < 2; iDeferred++) {
                const char* szName = iDeferred ? "DEFER.INI" : "PLAIN.INI";
                std::string strFile = Win(szName);
                unlink(m_machine.Host(strFile).c_str());
                if (vStarts[iStart] != "<missing>") Put(szName, vStarts[iStart]);
                if (iDeferred) {
                    ASSERT_EQ(1, PlatProfileDefer(strFile.c_str()));
                }
                for (const Op& op : vOps) {
                    const char* szSec = op.strSec.c_str();
                    const char* szKey = op.strKey.c_str();
                    char szBuf[256];
                    switch (op.iKind) {
                    case 0: EXPECT_EQ(1, PlatWritePrivateProfileString(szSec, szKey, op.strValue.c_str(), strFile.c_str())); break;
                    case 1:
                        PlatGetPrivateProfileString(szSec, szKey, "-", szBuf, sizeof(szBuf), strFile.c_str());
                        avReads[iDeferred].push_back(szBuf);
                        break;
                    case 2: PlatWritePrivateProfileString(szSec, szKey, NULL, strFile.c_str()); break;
                    case 3: PlatWritePrivateProfileSection(szSec, "e1=1\0e2=2\0", strFile.c_str()); break;
                    case 4: PlatWritePrivateProfileString(szSec, szKey, "line\r\n[Injected]", strFile.c_str()); break;
                    case 5: PlatWritePrivateProfileString(szSec, "a=b", "c", strFile.c_str()); break;
                    default: {
                        DWORD cch = PlatGetPrivateProfileSection(szSec, szBuf, sizeof(szBuf), strFile.c_str());
                        avReads[iDeferred].push_back(std::string(szBuf, cch));
                        break;
                    }
                    }
                }
                if (iDeferred) {
                    EXPECT_EQ(1, PlatProfileFlush(1));
                }
                aResults[iDeferred] = Exists(szName) ? Get(szName) : "<missing>";
            }
            ASSERT_EQ(aResults[0], aResults[1]) << "start " << iStart << " round " << iRound;
            ASSERT_EQ(avReads[0], avReads[1]) << "start " << iStart << " round " << iRound;
        }
    }
}

// A deferral ends with the file as it was when nothing is to be stored; a
// read-only file is not deferred (its writes fail as usual); a failed store
// leaves the old file.
TEST_F(Profile, DeferredWritesDroppedRefusedOrFailedLeaveTheFile)
{
    Put("A.INI", "[S]\r\nk=1\r\n");
    ASSERT_EQ(1, PlatProfileDefer(Win("A.INI").c_str()));
    EXPECT_EQ(1, PlatWritePrivateProfileString("S", "k", "2", Win("A.INI").c_str()));
    char szBuf[16];
    PlatGetPrivateProfileString("S", "k", "", szBuf, sizeof(szBuf), Win("A.INI").c_str());
    EXPECT_STREQ("2", szBuf);
    EXPECT_EQ("[S]\r\nk=1\r\n", Get("A.INI"));
    EXPECT_EQ(1, PlatProfileFlush(0));
    EXPECT_EQ("[S]\r\nk=1\r\n", Get("A.INI"));

    chmod(m_machine.Host(Win("A.INI")).c_str(), 0444);
    EXPECT_EQ(0, PlatProfileDefer(Win("A.INI").c_str()));
    EXPECT_EQ(0, PlatWritePrivateProfileString("S", "k", "3", Win("A.INI").c_str()));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, PlatGetLastError());
    chmod(m_machine.Host(Win("A.INI")).c_str(), 0644);

    // The directory goes away before the store: the store fails and says so.
    MakeDirs(m_machine.Host("C:\\Q"));
    ASSERT_EQ(1, PlatProfileDefer("C:\\Q\\B.INI"));
    EXPECT_EQ(1, PlatWritePrivateProfileString("S", "k", "1", "C:\\Q\\B.INI"));
    rmdir(m_machine.Host("C:\\Q").c_str());
    PlatSetLastError(0);
    EXPECT_EQ(0, PlatProfileFlush(1));
    EXPECT_NE(0u, PlatGetLastError());
    // Nothing is deferred afterwards: writes go to the file again.
    EXPECT_EQ(1, PlatWritePrivateProfileString("S", "k", "4", Win("A.INI").c_str()));
    EXPECT_EQ("[S]\r\nk=4\r\n", Get("A.INI"));
}
