// The driver's file table from the release table's file records: keyed by
// entry number, and a damaged set of records refused whole.
#include "engine/driver.h"

#include "records/level_fixture.h"

#include <vector>

namespace {

struct Rec {
    const char* szName;
    DWORD dwDir;
    DWORD dwEntry;
};

std::vector<BYTE> Records(const std::vector<Rec>& a)
{
    std::vector<BYTE> v;
    for (const Rec& r : a) {
        DWORD adw[6] = {(DWORD)strlen(r.szName), 2, r.dwDir, 0x11, 0x22, r.dwEntry};
        for (DWORD dw : adw)
            for (int i = 0; i < 4; i++) v.push_back((BYTE)(dw >> (8 * i)));
        v.insert(v.end(), r.szName, r.szName + strlen(r.szName) + 1);
    }
    return v;
}

class DriverTableTest : public LevelTest {
protected:
    void SetUp() override
    {
        LevelTest::SetUp();
        m_pTable = new FILE_TABLE_ENTRY[FILE_TABLE_SLOTS];
    }
    void TearDown() override
    {
        FreeFileTable(m_pTable);
        delete[] m_pTable;
        LevelTest::TearDown();
    }
    int Build(const std::vector<Rec>& a, DWORD dwEntries, DWORD cbCut = 0)
    {
        std::vector<BYTE> v = Records(a);
        return BuildDriverTable(v.data(), (DWORD)v.size() - cbCut, (DWORD)a.size(), dwEntries, m_pTable);
    }
    FILE_TABLE_ENTRY* m_pTable = nullptr;
};

TEST_F(DriverTableTest, SlotsFollowTheEntryNumbersNotTheRecordOrder)
{
    ASSERT_EQ(1, Build({{"b.dll", 1, 2}, {"data\\c.qtf", 2, 3}, {"a.dll", 1, 1}}, 3));
    EXPECT_STREQ("a.dll", m_pTable[1].lpFile);
    EXPECT_STREQ("b.dll", m_pTable[2].lpFile);
    EXPECT_STREQ("data\\c.qtf", m_pTable[3].lpFile);
    EXPECT_EQ(2u, m_pTable[3].dwDirectory);
    EXPECT_EQ(nullptr, m_pTable[0].lpFile);
    EXPECT_EQ((std::vector<std::string>{"dwNum = 2;  nDir = 1 ", "", "Loop 0: file num: 2 dir: 1 file: b.dll", "",
                                        "dwNum = 3;  nDir = 2 ", "", "Loop 1: file num: 3 dir: 2 file: data\\c.qtf",
                                        "", "dwNum = 1;  nDir = 1 ", "", "Loop 2: file num: 1 dir: 1 file: a.dll", ""}),
              Log());
}

TEST_F(DriverTableTest, DamagedRecordsRefuseThePackageWhole)
{
    EXPECT_EQ(0, Build({{"a.dll", 1, 1}, {"b.dll", 1, 0}}, 2));
    EXPECT_TRUE(Logged("File record 1 names entry 0, outside 1 to 2: the package is refused"));
    EXPECT_EQ(0, Build({{"a.dll", 1, 1}, {"b.dll", 1, 3}}, 2));
    EXPECT_EQ(0, Build({{"a.dll", 1, 1}, {"b.dll", 1, 1}}, 2));
    EXPECT_TRUE(Logged("File record 1 names entry 1 a second time: the package is refused"));
    EXPECT_EQ(0, Build({{"a.dll", 1, 2}}, 2));
    EXPECT_TRUE(Logged("No file record names entry 1: the package is refused"));
    EXPECT_EQ(0, Build({{"a.dll", 1, 1}, {"b.dll", 1, 2}}, 2, 3));  // the last name runs past the table
    EXPECT_TRUE(Logged("Damaged file record 1 in the release table"));
    for (int i = 0; i < FILE_TABLE_SLOTS; i++) ASSERT_EQ(nullptr, m_pTable[i].lpFile) << i;
}

} // namespace
