// A sample machine for the configuration keys, backup directories and the
// restore of recorded levels, run in this process: program directory
// C:\VIREO\GARNET, data directories C:\QUILLDATA\PARTn, the upgrade log in
// C:\TEMP, the shared run state saved and put back around each test.
#ifndef HERON_TESTS_RECORDS_LEVEL_FIXTURE_H
#define HERON_TESTS_RECORDS_LEVEL_FIXTURE_H

#include "platform/profile.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

class LevelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedOptions = gwOptions;
        m_savedMode = giOperationMode;
        m_savedType = dwUpgradeType;
        m_pSavedProgramDir = gpProgramDir;
        m_pSavedData = gpQuillData;
        m_savedPartitions = giPartitions;
        m_savedCount = gdwStringCount;
        memcpy(m_apSavedStrings, gpStrings, sizeof(m_apSavedStrings));
        memcpy(m_szSavedCurrent, gszCurrentRelease, sizeof(m_szSavedCurrent));
        memcpy(m_szSavedBackupDir, gszBackupDir, sizeof(m_szSavedBackupDir));
        memcpy(m_szSavedRevert, gszRevertLabel, sizeof(m_szSavedRevert));

        setenv("TEMP", "C:\\TEMP", 1);
        MakeDirs(m_machine.Host("C:\\TEMP"));
        MakeDirs(m_machine.Host("C:\\VIREO\\GARNET"));
        strcpy(m_szProgramDir, "C:\\VIREO\\GARNET");
        gpProgramDir = m_szProgramDir;
        for (int i = 0; i < STRING_COUNT_MAX; i++) gpStrings[i] = nullptr;
        SetString(0, "Release 8.0.1 -> Release 8.0.2");
        SetString(1, "qstrings.dll");
        SetString(2, "Release 8.0.2|May 1, 2010             ");
        SetString(42, "Release 8.0.2|May 1, 2010             ");
        SetString(43, "Release 8.0.2|May 1, 2010             ");
        gdwStringCount = 52;
        for (int i = 0; i < 52; i++)
            if (!gpStrings[i]) SetString(i, "text");
        SetDataDirs(1);
        gwOptions = OPT_NOUSER;
        giOperationMode = MODE_UPGRADE;
        dwUpgradeType = 2;
        strcpy(gszCurrentRelease, "Release 8.0.1|March 3, 2010");
        gszBackupDir[0] = 0;
        gszRevertLabel[0] = 0;
        ASSERT_EQ(1, OpenLog());
        m_cHeaderLines = LogBodyLines(m_machine.Host("C:\\TEMP\\UPGRADE.LOG")).size();
    }
    void TearDown() override
    {
        if (LogIsOpen()) CloseLog();
        gwOptions = m_savedOptions;
        giOperationMode = m_savedMode;
        dwUpgradeType = m_savedType;
        gpProgramDir = m_pSavedProgramDir;
        gpQuillData = m_pSavedData;
        giPartitions = m_savedPartitions;
        gdwStringCount = m_savedCount;
        memcpy(gpStrings, m_apSavedStrings, sizeof(m_apSavedStrings));
        memcpy(gszCurrentRelease, m_szSavedCurrent, sizeof(m_szSavedCurrent));
        memcpy(gszBackupDir, m_szSavedBackupDir, sizeof(m_szSavedBackupDir));
        memcpy(gszRevertLabel, m_szSavedRevert, sizeof(m_szSavedRevert));
        unsetenv("TEMP");
    }

    void SetString(int iId, const std::string& str)
    {
        m_strings[iId] = str;
        gpStrings[iId] = &m_strings[iId][0];
    }
    void SetDataDirs(int cDirs)
    {
        m_dataDirs.assign(cDirs > 0 ? cDirs : 1, std::string());
        m_dataPointers.clear();
        for (int i = 0; i < cDirs; i++) {
            m_dataDirs[i] = "C:\\QUILLDATA\\PART" + std::to_string(i + 1);
            m_dataDirs[i].resize(1041);
            MakeDirs(m_machine.Host("C:\\QUILLDATA\\PART" + std::to_string(i + 1)));
            m_dataPointers.push_back(&m_dataDirs[i][0]);
        }
        gpQuillData = m_dataPointers.empty() ? nullptr : m_dataPointers.data();
        giPartitions = cDirs;
    }

    std::string Host(const std::string& strWindows) const { return m_machine.Host(strWindows); }
    void Put(const std::string& strWindows, const std::string& strData) { WriteFile(Host(strWindows), strData); }
    std::string Get(const std::string& strWindows) const { return ReadFile(Host(strWindows)); }
    bool Exists(const std::string& strWindows) const { return PathExists(Host(strWindows)); }
    std::string Key(const std::string& strFile, const char* szSection, const char* szKey)
    {
        char sz[260];
        PlatGetPrivateProfileString(szSection, szKey, "DEFAULT", sz, sizeof(sz), strFile.c_str());
        return sz;
    }
    // The log lines written since the test began.
    std::vector<std::string> Log()
    {
        std::vector<std::string> v = LogBodyLines(m_machine.Host("C:\\TEMP\\UPGRADE.LOG"));
        v.erase(v.begin(), v.begin() + (long)m_cHeaderLines);
        return v;
    }
    bool Logged(const std::string& strLine)
    {
        for (const std::string& s : Log())
            if (s == strLine) return true;
        return false;
    }

    TempMachine m_machine;
    char m_szProgramDir[261];
    std::string m_strings[STRING_COUNT_MAX];
    std::vector<std::string> m_dataDirs;
    std::vector<char*> m_dataPointers;
    size_t m_cHeaderLines = 0;

private:
    WORD m_savedOptions;
    int m_savedMode;
    DWORD m_savedType;
    char* m_pSavedProgramDir;
    char** m_pSavedData;
    int m_savedPartitions;
    int m_savedCount;
    char* m_apSavedStrings[STRING_COUNT_MAX];
    char m_szSavedCurrent[261];
    char m_szSavedBackupDir[261];
    char m_szSavedRevert[101];
};

#endif
