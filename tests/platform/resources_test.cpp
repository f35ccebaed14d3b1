// The package store of the Linux build read from a file image in memory
// (PlatSetModuleImage, used by the store's fuzz target) against the same
// package read from its file: the same resources, byte for byte, nothing from
// a damaged image, and the caller's bytes left alone when another package
// takes over.
#include "platform/platform.h"
#include "support/container.h"
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

class ModuleImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strLog;
        m_strPath = BuildPackage(m_machine.Root() + "/pkg", DefaultRecipe(), &strLog);
        ASSERT_FALSE(m_strPath.empty()) << strLog;
        m_strPackage = ReadFile(m_strPath);
    }
    void TearDown() override { PlatSetModuleOverride(nullptr); }

    // Every entry of the index as the store finds it now.
    std::vector<std::string> Resources(const std::vector<ContainerEntry>& vIndex)
    {
        std::vector<std::string> v;
        for (const ContainerEntry& entry : vIndex) {
            DWORD cb = 7;
            const BYTE* pb = PlatFindResource(entry.strType.c_str(), entry.dwId, &cb);
            v.push_back(pb ? std::string((const char*)pb, cb) : "(missing)");
        }
        return v;
    }

    TempMachine m_machine;
    std::string m_strPath;
    std::string m_strPackage;
};

TEST_F(ModuleImageTest, AnImageGivesWhatItsFileGives)
{
    std::vector<ContainerEntry> vIndex = ContainerIndex(m_strPackage);
    ASSERT_LT(5u, vIndex.size());
    PlatSetModuleOverride(m_strPath.c_str());
    std::vector<std::string> vFromFile = Resources(vIndex);
    for (size_t i = 0; i < vIndex.size(); i++) {
        EXPECT_EQ(vIndex[i].qwSize, vFromFile[i].size()) << vIndex[i].strType;
        EXPECT_EQ(m_strPackage.substr(vIndex[i].qwOffset, vIndex[i].qwSize), vFromFile[i]) << vIndex[i].strType;
    }

    std::vector<BYTE> vImage(m_strPackage.begin(), m_strPackage.end());
    PlatSetModuleImage(vImage.data(), vImage.size());
    EXPECT_EQ(vFromFile, Resources(vIndex));
    DWORD cb = 0;
    const BYTE* pb = PlatFindResource(vIndex[0].strType.c_str(), vIndex[0].dwId, &cb);
    ASSERT_NE(nullptr, pb);
    EXPECT_TRUE(pb >= vImage.data() && pb + cb <= vImage.data() + vImage.size()) << "not a copy: the image itself";
    char szText[64];
    EXPECT_LT(0, PlatLoadString(0, szText, sizeof(szText)));

    // Back to the file: the image is the caller's, never unmapped or freed.
    PlatSetModuleOverride(m_strPath.c_str());
    EXPECT_EQ(vFromFile, Resources(vIndex));
    EXPECT_EQ(0, memcmp(vImage.data(), m_strPackage.data(), vImage.size()));
}

TEST_F(ModuleImageTest, ADamagedOrMissingImageHasNoResources)
{
    std::vector<ContainerEntry> vIndex = ContainerIndex(m_strPackage);
    ASSERT_FALSE(vIndex.empty());
    std::vector<std::string> vNone(vIndex.size(), "(missing)");

    // The trailer cut by one byte, the index pointing past the end, nothing.
    std::vector<BYTE> vCut(m_strPackage.begin(), m_strPackage.end() - 1);
    PlatSetModuleImage(vCut.data(), vCut.size());
    EXPECT_EQ(vNone, Resources(vIndex));
    std::string strBad = m_strPackage;
    for (int k = 0; k < 8; k++) strBad[strBad.size() - 16 + k] = (char)0x7f;
    std::vector<BYTE> vBad(strBad.begin(), strBad.end());
    PlatSetModuleImage(vBad.data(), vBad.size());
    EXPECT_EQ(vNone, Resources(vIndex));
    PlatSetModuleImage(nullptr, 0);
    EXPECT_EQ(vNone, Resources(vIndex));
    // Nor is the running program's own package looked for instead.
    char szText[64];
    EXPECT_EQ(0, PlatLoadString(0, szText, sizeof(szText)));
}

} // namespace
