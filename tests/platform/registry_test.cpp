// The read-only registry over $HERON_ROOT/registry.reg: real files in a
// temporary machine, opened and read through the Win32-shaped calls.
#include "platform/registry.h"
#include "support/machine.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

class RegistryTest : public ::testing::Test {
protected:
    void Write(const std::string& strText) { WriteFile(m_machine.Root() + "/registry.reg", strText); }

    // Opens a key under HKEY_LOCAL_MACHINE; returns the code.
    LONG Open(const char* szKey, HKEY* phKey)
    {
        return PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ | KEY_WOW64_64KEY, phKey);
    }

    // The value as text ("<code>" when the key or value cannot be read).
    std::string Query(const char* szKey, const char* szValue, DWORD* pdwType = nullptr)
    {
        HKEY hKey;
        LONG lResult = Open(szKey, &hKey);
        if (lResult != ERROR_SUCCESS) return "<" + std::to_string(lResult) + ">";
        BYTE ab[512];
        DWORD cb = sizeof(ab);
        DWORD dwType = 0;
        lResult = PlatRegQueryValueEx(hKey, szValue, &dwType, ab, &cb);
        PlatRegCloseKey(hKey);
        if (lResult != ERROR_SUCCESS) return "<" + std::to_string(lResult) + ">";
        if (pdwType) *pdwType = dwType;
        return std::string((const char*)ab, cb);
    }

    std::vector<std::string> Subkeys(const char* szKey)
    {
        std::vector<std::string> v;
        HKEY hKey;
        if (Open(szKey, &hKey) != ERROR_SUCCESS) return {"<none>"};
        char szName[256];
        for (DWORD i = 0;; i++) {
            DWORD cch = sizeof(szName);
            if (PlatRegEnumKeyEx(hKey, i, szName, &cch) != ERROR_SUCCESS) break;
            EXPECT_EQ(strlen(szName), cch);
            v.push_back(szName);
        }
        PlatRegCloseKey(hKey);
        return v;
    }

    TempMachine m_machine;
};

std::string Sz(const char* sz) { return std::string(sz, strlen(sz) + 1); }

// One file, one key and value asked for, one expected answer.
struct ValueCase {
    const char* szName;
    std::string strFile;
    const char* szKey;
    const char* szValue;
    std::string strExpected;
    DWORD dwType;
};

TEST_F(RegistryTest, ValuesFromTable)
{
    const std::string strGarnet = std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Garnet]\r\n";
    const ValueCase aCases[] = {
        {"escaped string", strGarnet + "\"Path\"=\"C:\\\\VIREO\\\\GARNET\"\r\n", "Software\\Vireo\\Garnet", "Path",
         Sz("C:\\VIREO\\GARNET"), REG_SZ},
        {"key any case, trailing backslash", strGarnet + "\"Path\"=\"x\"\r\n", "software\\VIREO\\garnet\\", "Path",
         Sz("x"), REG_SZ},
        {"value name any case", strGarnet + "\"DataPath\"=\"d\"\r\n", "Software\\Vireo\\Garnet", "DATAPATH", Sz("d"),
         REG_SZ},
        {"escaped quote", strGarnet + "\"Q\"=\"say \\\"hi\\\"\"\r\n", "Software\\Vireo\\Garnet", "Q", Sz("say \"hi\""),
         REG_SZ},
        {"other backslash literal", strGarnet + "\"Q\"=\"a\\nb\"\r\n", "Software\\Vireo\\Garnet", "Q", Sz("a\\nb"),
         REG_SZ},
        {"empty string", strGarnet + "\"E\"=\"\"\r\n", "Software\\Vireo\\Garnet", "E", Sz(""), REG_SZ},
        {"default value by NULL", strGarnet + "@=\"dflt\"\r\n", "Software\\Vireo\\Garnet", nullptr, Sz("dflt"), REG_SZ},
        {"default value by empty name", strGarnet + "@=\"dflt\"\r\n", "Software\\Vireo\\Garnet", "", Sz("dflt"),
         REG_SZ},
        {"dword", strGarnet + "\"N\"=dword:0000002a\r\n", "Software\\Vireo\\Garnet", "N", std::string("\x2a\0\0\0", 4),
         REG_DWORD},
        {"short dword", strGarnet + "\"N\"=dword:1\r\n", "Software\\Vireo\\Garnet", "N", std::string("\x01\0\0\0", 4),
         REG_DWORD},
        {"hex with continuation", strGarnet + "\"B\"=hex:01,02,\\\r\n  03\r\n\"After\"=\"ok\"\r\n",
         "Software\\Vireo\\Garnet", "B", std::string("\x01\x02\x03", 3), REG_BINARY},
        {"line after continuation", strGarnet + "\"B\"=hex:01,02,\\\r\n  03\r\n\"After\"=\"ok\"\r\n",
         "Software\\Vireo\\Garnet", "After", Sz("ok"), REG_SZ},
        {"typed hex", strGarnet + "\"X\"=hex(2):41,00\r\n", "Software\\Vireo\\Garnet", "X", std::string("A\0", 2), 2},
        // As on Win32, a string value is returned as stored: no NUL is added.
        {"string typed hex, no NUL", strGarnet + "\"S\"=hex(1):41,42\r\n", "Software\\Vireo\\Garnet", "S",
         std::string("AB", 2), REG_SZ},
        {"last of two wins, keys merged",
         strGarnet + "\"P\"=\"one\"\r\n[HKEY_LOCAL_MACHINE\\software\\vireo\\garnet]\r\n\"p\"=\"two\"\r\n",
         "Software\\Vireo\\Garnet", "P", Sz("two"), REG_SZ},
        {"LF line ends, no header", "[HKEY_LOCAL_MACHINE\\A]\n\"V\"=\"lf\"\n", "A", "V", Sz("lf"), REG_SZ},
        {"blanks around equals and lines", strGarnet + "  \"V\" = \"sp\"  \r\n", "Software\\Vireo\\Garnet", "V",
         Sz("sp"), REG_SZ},
        {"missing value", strGarnet + "\"P\"=\"x\"\r\n", "Software\\Vireo\\Garnet", "Q", "<2>", 0},
        {"missing key", strGarnet, "Software\\Vireo\\Quill", "P", "<2>", 0},
        {"other hive ignored", std::string(kHeader) + "[HKEY_CURRENT_USER\\Software\\Vireo\\Garnet]\r\n\"P\"=\"u\"\r\n",
         "Software\\Vireo\\Garnet", "P", "<2>", 0},
        {"hive name prefix is not the hive",
         std::string(kHeader) + "[HKEY_LOCAL_MACHINEX\\Software]\r\n\"P\"=\"u\"\r\n", "Software", "P", "<2>", 0},
        {"values of a deletion section ignored",
         std::string(kHeader) + "[-HKEY_LOCAL_MACHINE\\A]\r\n\"P\"=\"u\"\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", "A", "P",
         "<2>", 0},
        {"value before any key ignored", "\"P\"=\"u\"\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", "A", "P", "<2>", 0},
        {"unterminated string skipped", strGarnet + "\"P\"=\"open\r\n", "Software\\Vireo\\Garnet", "P", "<2>", 0},
        {"text after string skipped", strGarnet + "\"P\"=\"a\" b\r\n", "Software\\Vireo\\Garnet", "P", "<2>", 0},
        {"bad dword skipped", strGarnet + "\"N\"=dword:123456789\r\n\"M\"=dword:zz\r\n", "Software\\Vireo\\Garnet",
         "N", "<2>", 0},
        {"bad hex skipped", strGarnet + "\"B\"=hex:0g,01\r\n", "Software\\Vireo\\Garnet", "B", "<2>", 0},
        {"unknown data form skipped", strGarnet + "\"U\"=qword:1\r\n", "Software\\Vireo\\Garnet", "U", "<2>", 0},
        {"good line after bad ones",
         strGarnet + "garbage\r\n\"X\"=\r\n\"Y\"\r\n@\r\n\"Good\"=\"yes\"\r\n; \"C\"=\"comment\"\r\n",
         "Software\\Vireo\\Garnet", "Good", Sz("yes"), REG_SZ},
        {"broken key line ends the key", strGarnet + "[broken\r\n\"P\"=\"no\"\r\n", "Software\\Vireo\\Garnet", "P",
         "<2>", 0},
    };
    for (const ValueCase& c : aCases) {
        SCOPED_TRACE(c.szName);
        Write(c.strFile);
        DWORD dwType = 0;
        EXPECT_EQ(c.strExpected, Query(c.szKey, c.szValue, &dwType));
        if (c.dwType) {
            EXPECT_EQ(c.dwType, dwType);
        }
    }
}

TEST_F(RegistryTest, Utf16FileAsTheEditorWritesIt)
{
    std::string strText = std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Garnet]\r\n\"Path\"=\"C:\\\\V\"\r\n";
    std::string strUtf16 = "\xFF\xFE";
    for (char ch : strText) {
        strUtf16 += ch;
        strUtf16 += '\0';
    }
    Write(strUtf16);
    EXPECT_EQ(Sz("C:\\V"), Query("Software\\Vireo\\Garnet", "Path"));
}

TEST_F(RegistryTest, EmptyRegistryWhenFileOrRootIsMissing)
{
    HKEY hKey;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("Software\\Vireo\\Garnet", &hKey));
    EXPECT_EQ(nullptr, hKey);
    ASSERT_EQ(ERROR_SUCCESS, Open("", &hKey)); // the hive itself exists
    DWORD cSubKeys = 9;
    EXPECT_EQ(ERROR_SUCCESS, PlatRegQueryInfoKey(hKey, &cSubKeys, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, cSubKeys);
    PlatRegCloseKey(hKey);

    Write(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n");
    std::string strRoot = getenv("HERON_ROOT");
    unsetenv("HERON_ROOT");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open("A", &hKey));
    setenv("HERON_ROOT", strRoot.c_str(), 1);
    EXPECT_EQ(ERROR_SUCCESS, Open("A", &hKey));
    PlatRegCloseKey(hKey);
}

TEST_F(RegistryTest, SubkeysInFileOrderIncludingPureParents)
{
    Write(std::string(kHeader) +
          "[HKEY_LOCAL_MACHINE\\Software\\Vireo\\Garnet\\5.0]\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Vireo\\Garnet\\Partition1\\Deep\\Deeper]\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Vireo\\Garnet\\B]\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Vireo\\Garnet\\partition1]\r\n"
          "\"DataPath\"=\"C:\\\\D1\"\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Vireo\\Garnet]\r\n"
          "\"Path\"=\"C:\\\\VIREO\\\\GARNET\"\r\n@=\"d\"\r\n");
    EXPECT_EQ((std::vector<std::string>{"5.0", "Partition1", "B"}), Subkeys("Software\\Vireo\\Garnet"));
    EXPECT_EQ((std::vector<std::string>{"Deep"}), Subkeys("Software\\Vireo\\Garnet\\Partition1"));
    EXPECT_EQ((std::vector<std::string>{"Software"}), Subkeys(""));
    EXPECT_EQ(Sz("C:\\D1"), Query("Software\\Vireo\\Garnet\\PARTITION1", "DataPath"));

    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, Open("Software\\Vireo\\Garnet", &hKey));
    DWORD cSubKeys = 0, cchMaxSub = 0, cValues = 0, cchMaxName = 0, cbMaxValue = 0;
    ASSERT_EQ(ERROR_SUCCESS, PlatRegQueryInfoKey(hKey, &cSubKeys, &cchMaxSub, &cValues, &cchMaxName, &cbMaxValue));
    EXPECT_EQ(3u, cSubKeys);
    EXPECT_EQ(10u, cchMaxSub);  // "Partition1"
    EXPECT_EQ(2u, cValues);     // "Path" and the default
    EXPECT_EQ(4u, cchMaxName);  // "Path"
    EXPECT_EQ(16u, cbMaxValue); // "C:\VIREO\GARNET" and its NUL

    // A subkey opened through the open key; enumeration past the end; a name
    // buffer too small for the name.
    HKEY hSub;
    ASSERT_EQ(ERROR_SUCCESS, PlatRegOpenKeyEx(hKey, "Partition1\\Deep", 0, KEY_READ, &hSub));
    PlatRegCloseKey(hSub);
    char szName[16];
    DWORD cch = sizeof(szName);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, PlatRegEnumKeyEx(hKey, 3, szName, &cch));
    cch = 10; // "Partition1" needs 11 with its NUL
    EXPECT_EQ(ERROR_MORE_DATA, PlatRegEnumKeyEx(hKey, 1, szName, &cch));
    PlatRegCloseKey(hKey);
}

TEST_F(RegistryTest, KeyLinesDeeperThanWindowsAllowsAreSkipped)
{
    std::string strDeep, strDeeper;
    for (int i = 0; i < 512; i++) strDeep += "\\k";
    strDeeper = strDeep + "\\k";
    Write(std::string(kHeader) + "[HKEY_LOCAL_MACHINE" + strDeep + "]\r\n\"V\"=\"512\"\r\n" +
          "[HKEY_LOCAL_MACHINE" + strDeeper + "]\r\n\"V\"=\"513\"\r\n");
    EXPECT_EQ(Sz("512"), Query(strDeep.substr(1).c_str(), "V"));
    EXPECT_EQ("<2>", Query(strDeeper.substr(1).c_str(), "V"));
}

TEST_F(RegistryTest, QueryValueSizesAndBadHandles)
{
    Write(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n\"P\"=\"abcdef\"\r\n");
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, Open("A", &hKey));
    DWORD cb = 0, dwType = 0;
    EXPECT_EQ(ERROR_SUCCESS, PlatRegQueryValueEx(hKey, "P", &dwType, nullptr, &cb)); // size only
    EXPECT_EQ(7u, cb);
    char sz[8] = "zzzzzzz";
    cb = 6;
    EXPECT_EQ(ERROR_MORE_DATA, PlatRegQueryValueEx(hKey, "P", nullptr, (BYTE*)sz, &cb));
    EXPECT_EQ(7u, cb);
    EXPECT_STREQ("zzzzzzz", sz); // nothing written when it does not fit
    EXPECT_EQ(ERROR_INVALID_PARAMETER, PlatRegQueryValueEx(hKey, "P", nullptr, (BYTE*)sz, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, PlatRegQueryValueEx(hKey, "P", &dwType, nullptr, nullptr)); // existence only
    EXPECT_EQ(ERROR_SUCCESS, PlatRegCloseKey(hKey));

    EXPECT_EQ(ERROR_SUCCESS, PlatRegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(ERROR_INVALID_HANDLE, PlatRegCloseKey(nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, PlatRegOpenKeyEx((HKEY)(uintptr_t)0x80000001u, "A", 0, KEY_READ, &hKey));
}

TEST_F(RegistryTest, RewrittenFileSeenByNextOpenOldHandlesKeepTheirView)
{
    Write(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n\"P\"=\"old\"\r\n[HKEY_LOCAL_MACHINE\\A\\B]\r\n");
    HKEY hOld;
    ASSERT_EQ(ERROR_SUCCESS, Open("A", &hOld));
    // Another program rewrites the file, as the service registration's batch file does.
    Write(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n\"P\"=\"new\"\r\n[HKEY_LOCAL_MACHINE\\C]\r\n");
    EXPECT_EQ(Sz("new"), Query("A", "P"));
    HKEY hC;
    ASSERT_EQ(ERROR_SUCCESS, Open("C", &hC));
    PlatRegCloseKey(hC);

    char sz[8];
    DWORD cb = sizeof(sz);
    EXPECT_EQ(ERROR_SUCCESS, PlatRegQueryValueEx(hOld, "P", nullptr, (BYTE*)sz, &cb));
    EXPECT_STREQ("old", sz);
    HKEY hB;
    EXPECT_EQ(ERROR_SUCCESS, PlatRegOpenKeyEx(hOld, "B", 0, KEY_READ, &hB));
    PlatRegCloseKey(hOld); // the tree lives on while hB is open
    cb = sizeof(sz);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, PlatRegQueryValueEx(hB, "P", nullptr, (BYTE*)sz, &cb));
    PlatRegCloseKey(hB);
}

TEST_F(RegistryTest, InjectedFaultsReturnTheirCode)
{
    Write(std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\A]\r\n");
    HKEY hKey;
    PlatFaultArm("RegOpenKeyEx", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(ERROR_ACCESS_DENIED, Open("A", &hKey));
    ASSERT_EQ(ERROR_SUCCESS, Open("A", &hKey));
    PlatFaultArm("RegQueryInfoKey", 1, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(ERROR_ACCESS_DENIED, PlatRegQueryInfoKey(hKey, nullptr, nullptr, nullptr, nullptr, nullptr));
    PlatRegCloseKey(hKey);
    PlatFaultReset();
}

} // namespace
