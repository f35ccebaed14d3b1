// Bounded texts and the formatter, checked against the recorded wsprintf
// behaviour (table rows: format, argument kind, expected output).
#include "shell/text.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

struct FormatRow {
    const char* szId;
    const char* szFormat;
    int iKind; // 0 unsigned, 1 int, 2 text, 3 char, 4 none
    unsigned int uValue;
    const char* szText;
    const char* szExpected;
};

const FormatRow kRows[] = {
    {"D01", "%#lx", 0, 0, nullptr, "0"},
    {"D02", "%#lx", 0, 0x1a2b, nullptr, "0x1a2b"},
    {"D02b", "%#lx", 0, 0xffffffffu, nullptr, "0xffffffff"},
    {"D03", "%#lxL", 0, 0, nullptr, "0L"},
    {"D03b", "%#lxL", 0, 0x89abcdefu, nullptr, "0x89abcdefL"},
    {"D04", "%0x", 0, 0x1a2b, nullptr, "1a2b"},
    {"D04b", "%0x", 0, 0, nullptr, "0"},
    {"D05", "%#0xl", 0, 0x1a2b, nullptr, "0x1a2bl"},
    {"D05b", "%0xl", 0, 0x1a2b, nullptr, "1a2bl"},
    {"D06", "%lxL", 0, 0x1a2b, nullptr, "1a2bL"},
    {"D07", "%#X", 0, 0x1a2b, nullptr, "0X1A2B"},
    {"D08", "%d%%", 1, 42, nullptr, "42%"},
    {"D09", "%lu", 0, 0xffffffffu, nullptr, "4294967295"},
    {"D10", "%ld", 1, (unsigned int)-12345, nullptr, "-12345"},
    {"D10b", "%d", 1, (unsigned int)-1, nullptr, "-1"},
    {"D10c", "%05d", 1, (unsigned int)-42, nullptr, "-0042"},
    {"D10d", "%5d|", 1, 42, nullptr, "   42|"},
    {"D10e", "%-5d|", 1, 42, nullptr, "42   |"},
    {"D10f", "%i", 1, 7, nullptr, "7"},
    {"D11", "[%s]", 2, 0, "text", "[text]"},
    {"D11b", "[%s]", 2, 0, nullptr, "[(null)]"},
    {"D11c", "[%c]", 3, 'A', nullptr, "[A]"},
    {"D11d", "[%c]", 3, 0, nullptr, "[]"}, // a zero character is ignored, as documented for Windows
    {"D11e", "%q|%y", 4, 0, nullptr, "q|y"},
    {"D11f", "abc%", 4, 0, nullptr, "abc"},
    {"D11g", "[%.3s]", 2, 0, "abcdef", "[abc]"},
    {"D11h", "%04d", 1, 7, nullptr, "0007"},
    {"D11i", "%lld", 1, 5, nullptr, "ld"},
    {"D11j", "%s\\%s", 5, 0, nullptr, "C:\\dir\\file.txt"},
};

TEST(TextFormat, MatchesRecordedConversions)
{
    for (const FormatRow& row : kRows) {
        char sz[64];
        memset(sz, '~', sizeof(sz));
        int n = 0;
        switch (row.iKind) {
        case 0: n = TextFormat(sz, sizeof(sz), row.szFormat, row.uValue); break;
        case 1: n = TextFormat(sz, sizeof(sz), row.szFormat, (int)row.uValue); break;
        case 2: n = TextFormat(sz, sizeof(sz), row.szFormat, row.szText); break;
        case 3: n = TextFormat(sz, sizeof(sz), row.szFormat, (int)row.uValue); break;
        case 4: n = TextFormat(sz, sizeof(sz), row.szFormat); break;
        case 5: n = TextFormat(sz, sizeof(sz), row.szFormat, "C:\\dir", "file.txt"); break;
        }
        EXPECT_STREQ(row.szExpected, sz) << row.szId;
        EXPECT_EQ((int)strlen(row.szExpected), n) << row.szId;
    }
}

TEST(TextFormat, StopsAtTheLimitAndAtTheBuffer)
{
    std::string strLong(2000, 'a');
    char sz[1100];
    memset(sz, '~', sizeof(sz));
    // At most 1,023 characters and a NUL; the bytes after stay untouched.
    EXPECT_EQ(1023, TextFormat(sz, sizeof(sz), "%s", strLong.c_str()));
    EXPECT_EQ(1023u, strlen(sz));
    EXPECT_EQ('~', sz[1024]);
    // A number that crosses the limit stops there too (no overrun).
    std::string strFormat(1020, 'x');
    strFormat += "%#lx";
    memset(sz, '~', sizeof(sz));
    TextFormat(sz, sizeof(sz), strFormat.c_str(), 0x1a2bu);
    EXPECT_EQ(1023u, strlen(sz));
    EXPECT_EQ('~', sz[1024]);
    // A small buffer cuts the text and keeps the NUL inside.
    char szSmall[6];
    memset(szSmall, '~', sizeof(szSmall));
    EXPECT_EQ(5, TextFormat(szSmall, sizeof(szSmall), "%s-%d", "abcdef", 12));
    EXPECT_STREQ("abcde", szSmall);
}

TEST(TextCopy, CutsAndReportsWhetherTheTextFitted)
{
    char sz[5];
    memset(sz, '~', sizeof(sz));
    EXPECT_EQ(1, TextCopy(sz, sizeof(sz), "abcd")); // fits exactly
    EXPECT_STREQ("abcd", sz);
    EXPECT_EQ(0, TextCopy(sz, sizeof(sz), "abcde")); // one too long
    EXPECT_STREQ("abcd", sz);
    EXPECT_EQ(1, TextCopy(sz, sizeof(sz), nullptr));
    EXPECT_STREQ("", sz);
    EXPECT_EQ(0, TextCopy(sz, 0, "x"));
    EXPECT_EQ(1, TextCopyN(sz, sizeof(sz), "abcdef", 2));
    EXPECT_STREQ("ab", sz);

    char szApp[8] = "abc";
    EXPECT_EQ(1, TextAppend(szApp, sizeof(szApp), "defg"));
    EXPECT_STREQ("abcdefg", szApp);
    EXPECT_EQ(0, TextAppend(szApp, sizeof(szApp), "h"));
    EXPECT_STREQ("abcdefg", szApp);
    // A buffer without a NUL is repaired, never read past.
    char szFull[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(0, TextAppend(szFull, sizeof(szFull), "q"));
    EXPECT_STREQ("wxy", szFull);
}

} // namespace
