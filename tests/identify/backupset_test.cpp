// The backup-set verification and the installed-files check, on real
// profile files and backups of a temporary emulated machine.
#include "identify/backupset.h"

#include "package/explode/crc32.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::string Crc(const std::string& s)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "0x%xL", ~UpdateCrc32((const unsigned char*)s.data(), (unsigned)s.size(), 0xFFFFFFFFu));
    return sz;
}

struct Entry {
    std::string strFile;     // File%03d
    std::string strChecksum; // Checksum%03d
    std::string strBackup;   // BackupName%03d
};

class BackupSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TEMP", "C:\\TEMP", 1);
        MakeDirs(m_machine.Host("C:\\TEMP"));
        MakeDirs(m_machine.Host("C:\\VIREO\\GARNET"));
        gpProgramDir = (char*)PlatHeapAlloc(261);
        strcpy(gpProgramDir, "C:\\VIREO\\GARNET");
        gpszPatchIni = "PATCH.INI";
        dwUpgradeType = 2;
        gdwBackupCount = 0;
        ASSERT_EQ(1, OpenLog());
    }
    void TearDown() override
    {
        if (LogIsOpen()) CloseLog();
        PlatHeapFree(gpProgramDir);
        gpProgramDir = nullptr;
        dwUpgradeType = 0;
        unsetenv("TEMP");
    }
    void Section(const std::string& strLabel, const std::vector<Entry>& entries)
    {
        std::string s = "[\"" + strLabel + "\"]\r\n";
        for (size_t i = 0; i < entries.size(); i++) {
            char szNum[24];
            snprintf(szNum, sizeof(szNum), "%03zu", i + 1);
            s += std::string("File") + szNum + "=" + entries[i].strFile + "\r\n";
            s += std::string("Checksum") + szNum + "=" + entries[i].strChecksum + "\r\n";
            if (!entries[i].strBackup.empty()) s += std::string("BackupName") + szNum + "=" + entries[i].strBackup + "\r\n";
        }
        m_strIni += s;
        WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\PATCH.INI"), m_strIni);
    }
    void File(const std::string& strRelative, const std::string& strData)
    {
        WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\" + strRelative), strData);
    }
    int Verify(const char* szLabel)
    {
        char sz[128];
        strcpy(sz, szLabel);
        return VerifyBackupSet(sz);
    }
    std::string Log() { return ReadFile(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")); }
    bool Logged(const std::string& strLine) { return Log().find(strLine + "\r\n") != std::string::npos; }

    TempMachine m_machine;
    std::string m_strIni;
};

const char kL[] = "Release 8.0.1|March 3, 2010";

// Every backup present with its recorded checksum, whatever the text form
// ("0L" and "0x0L" both stand for an empty file's 0).
TEST_F(BackupSetTest, CompleteSetMatches)
{
    File("Release801\\a0001.IIB", "a at 8.0.1");
    File("Release801\\e0002.IIB", "");
    File("Release801\\f0003.IIB", "");
    Section(kL, {{"a.dll", Crc("a at 8.0.1"), "Release801\\a0001.IIB"},
                 {"e.txt", "0L", "Release801\\e0002.IIB"},
                 {"f.txt", "0x0L", "Release801\\f0003.IIB"}});
    char szLabel[64];
    strcpy(szLabel, "Release 8.0.1|March 3, 2010   ");
    EXPECT_EQ(1, VerifyBackupSet(szLabel));
    EXPECT_STREQ(kL, szLabel); // trailing blanks trimmed in place
    EXPECT_EQ(4u, gdwBackupCount);
    EXPECT_TRUE(Logged("File C:\\VIREO\\GARNET\\Release801\\a0001.IIB matches fix version Release 8.0.1|March 3, 2010"));
    EXPECT_TRUE(Logged("File C:\\VIREO\\GARNET\\Release801\\f0003.IIB matches fix version Release 8.0.1|March 3, 2010"));
}

// A backup present with other content would restore a wrong file: the set
// is unusable in every package kind, unless the file is one of the kinds
// whose backups may differ.
TEST_F(BackupSetTest, WrongBackupMakesTheSetUnusable)
{
    File("Release801\\a0001.IIB", "changed since");
    File("Release801\\db0002.IIB", "changed");
    File("Release801\\vwpd\\v0003.IIB", "changed");
    Section(kL, {{"db.qsf", Crc("other"), "Release801\\db0002.IIB"},
                 {"v.js", Crc("other"), "Release801\\vwpd\\v0003.IIB"},
                 {"a.dll", Crc("a at 8.0.1"), "Release801\\a0001.IIB"}});
    for (DWORD dwType : {0u, 1u, 2u}) {
        dwUpgradeType = dwType;
        EXPECT_EQ(0, Verify(kL)) << dwType;
    }
    EXPECT_TRUE(Logged("File C:\\VIREO\\GARNET\\Release801\\a0001.IIB (checksum " + Crc("changed since") +
                       ") doesn't match checksum " + Crc("a at 8.0.1") + " in version Release 8.0.1|March 3, 2010"));
    EXPECT_EQ(std::string::npos, Log().find("db0002.IIB (checksum"));

    // Only tolerated differences: the set is complete.
    m_strIni.clear();
    Section(kL, {{"db.qsf", Crc("other"), "Release801\\db0002.IIB"},
                 {"v.js", Crc("other"), "Release801\\vwpd\\v0003.IIB"}});
    EXPECT_EQ(1, Verify(kL));
}

// Missing backups: a ".sys" (or the key-file family) is tolerated, any other
// leaves the set usable with gaps (-1); a wrong backup before it keeps 0.
TEST_F(BackupSetTest, MissingBackups)
{
    Section(kL, {{"drv.sys", Crc("x"), "Release801\\drv0001.IIB"},
                 {"qstrings.dll", Crc("x"), "Release801\\qstrings0002.IIB"}});
    EXPECT_EQ(1, Verify(kL));
    EXPECT_TRUE(Logged("extension sys for C:\\VIREO\\GARNET\\Release801\\drv0001.IIB"));

    m_strIni.clear();
    Section(kL, {{"a.dll", Crc("x"), "Release801\\a0001.IIB"}});
    EXPECT_EQ(-1, Verify(kL));
    EXPECT_TRUE(Logged("Returning -1 for not listed extension dll for C:\\VIREO\\GARNET\\Release801\\a0001.IIB"));

    m_strIni.clear();
    File("Release801\\b0002.IIB", "wrong");
    Section(kL, {{"b.dll", Crc("right"), "Release801\\b0002.IIB"}, {"a.dll", Crc("x"), "Release801\\a0001.IIB"}});
    EXPECT_EQ(0, Verify(kL));
}

// Nothing recorded for the level: there is nothing to restore it from.
// An empty value is a read error.
TEST_F(BackupSetTest, MissingSectionAndReadErrors)
{
    EXPECT_EQ(0, Verify(kL));
    EXPECT_TRUE(Logged("No backup information for Release 8.0.1|March 3, 2010 in C:\\VIREO\\GARNET\\PATCH.INI"));

    WriteFile(m_machine.Host("C:\\VIREO\\GARNET\\PATCH.INI"),
              "[\"Release 8.0.1|March 3, 2010\"]\r\nFile001=a.dll\r\nChecksum001=\r\nBackupName001=Release801\\a0001.IIB\r\n");
    EXPECT_EQ(-1, Verify(kL));
    EXPECT_TRUE(Logged("Getting profile string for  Checksum001, section \"Release 8.0.1|March 3, 2010\" in "
                       "C:\\VIREO\\GARNET\\PATCH.INI: error: 0"));
    char szLabel[64];
    strcpy(szLabel, kL);
    EXPECT_EQ(1, CheckInstalledFiles(szLabel, nullptr));
}

// The installed-files check lists the files that still have the level's
// checksum; a changed key file fails the level.
TEST_F(BackupSetTest, InstalledFilesListing)
{
    File("a.dll", "a at 8.0.1");
    File("b.dll", "changed since");
    File("qstrings.dll", "key at 8.0.2");
    Section(kL, {{"a.dll", Crc("a at 8.0.1"), ""},
                 {"b.dll", Crc("b at 8.0.1"), ""},
                 {"gone.dll", Crc("x"), ""},
                 {"qstrings.dll", Crc("key at 8.0.1"), ""}});
    PLATFILE* pf = PlatFopen("C:\\VIREO\\GARNET\\list.txt", "w");
    ASSERT_NE(nullptr, pf);
    char szLabel[64];
    strcpy(szLabel, kL);
    EXPECT_EQ(0, CheckInstalledFiles(szLabel, pf));
    PlatFclose(pf);
    EXPECT_EQ("\tC:\\VIREO\\GARNET\\a.dll\r\n\tC:\\VIREO\\GARNET\\qstrings.dll overwritten.\r\n",
              ReadFile(m_machine.Host("C:\\VIREO\\GARNET\\list.txt")));
    EXPECT_TRUE(Logged("Couldn't open the file C:\\VIREO\\GARNET\\gone.dll to verify the checksum"));
    EXPECT_TRUE(Logged("File C:\\VIREO\\GARNET\\qstrings.dll (checksum " + Crc("key at 8.0.2") +
                       ") doesn't match checksum " + Crc("key at 8.0.1") +
                       " infix version Release 8.0.1|March 3, 2010"));

    // A fresh installation has no registry file: the check passes.
    strcpy(szLabel, "Release 9.9.9|x");
    EXPECT_EQ(2, CheckInstalledFiles(szLabel, nullptr));
}

} // namespace
