// Fuzz target for the profile-file operations.
//
// Input: byte 0 picks a small buffer size (bits 0-5), whether to read into
// it instead of the 260- and 16 K-character buffers (bit 6) and, with bit 6,
// whether to write too (bit 7); byte 1 a section (bits 0-2), what to write
// (bit 3) and a key (bits 4-7); the rest is written as the file. Every input
// is read as the installer would (section names, the key names of the
// section, the key's value, the whole section); with bits 6 and 7 it is then
// written: a key set, set again in quotes and deleted, or a section emptied
// and deleted, each read back. Checked: results stay inside their buffers
// and keep the Win32 layouts (a NUL at the returned length, lists without
// empty names), and each write reads back as written.
//
// The module's source is compiled into this target, which so reaches its
// cache of parsed files (ForgetParses). Its four operations then come from
// here and the library's copy is never linked.

#include "platform/posix/profile.cpp"
#include "platform/profile.h"

#include <fcntl.h>
#include <ftw.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace
{

const char* const kszFile = "C:\\F.INI";
const DWORD kcchBig = 16384; // more than any list from an input of at most 4 KB
const size_t kcbGuard = 64;
std::string g_strHost;

void Check(bool f)
{
    if (!f) abort();
}

int RemoveEntry(const char* szPath, const struct stat*, int, struct FTW*) { return remove(szPath); }

void RemoveRoot()
{
    const char* szRoot = getenv("HERON_ROOT");
    if (szRoot) nftw(szRoot, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void MakeMachine()
{
    // tmpfs when there is one: every write flushes to the disk.
    char szTemplate[] = "/dev/shm/heron-fuzz-XXXXXX";
    char szFallback[] = "/tmp/heron-fuzz-XXXXXX";
    const char* szRoot = mkdtemp(szTemplate);
    if (!szRoot) szRoot = mkdtemp(szFallback);
    Check(szRoot != nullptr);
    setenv("HERON_ROOT", szRoot, 1);
    Check(mkdir((std::string(szRoot) + "/drive_c").c_str(), 0777) == 0);
    g_strHost = std::string(szRoot) + "/drive_c/F.INI";
    atexit(RemoveRoot);
}

// Nothing written past the caller's size.
void CheckGuard(const std::vector<char>& buf, DWORD cch)
{
    static char s_achGuard[kcbGuard];
    if (!s_achGuard[0]) memset(s_achGuard, '~', sizeof(s_achGuard));
    Check(memcmp(&buf[cch], s_achGuard, kcbGuard) == 0);
}

// A list result: NUL at [ret], every name non-empty and NUL-terminated; the names.
std::vector<std::string> CheckList(const std::vector<char>& buf, DWORD dwRet, DWORD cch)
{
    std::vector<std::string> v;
    Check(dwRet < cch || cch == 0);
    if (cch == 0) return v;
    Check(buf[dwRet] == 0);
    size_t i = 0;
    while (i < dwRet) {
        size_t cchName = strnlen(&buf[i], dwRet - i);
        Check(i + cchName < dwRet || (i + cchName == dwRet && buf[dwRet] == 0));
        v.push_back(std::string(&buf[i], cchName));
        i += cchName + 1;
    }
    return v;
}

DWORD GetString(const char* szSec, const char* szKey, std::vector<char>& buf, DWORD cch)
{
    memset(buf.data(), '~', cch + kcbGuard);
    DWORD dwRet = PlatGetPrivateProfileString(szSec, szKey, "DEFAULT", buf.data(), cch, kszFile);
    Check(dwRet < cch || (cch == 0 && dwRet == 0));
    CheckGuard(buf, cch);
    if (cch) Check(buf[dwRet] == 0);
    if (szKey && cch) Check(strlen(buf.data()) == dwRet);
    return dwRet;
}

DWORD GetSection(const char* szSec, std::vector<char>& buf, DWORD cch)
{
    memset(buf.data(), '~', cch + kcbGuard);
    DWORD dwRet = PlatGetPrivateProfileSection(szSec, buf.data(), cch, kszFile);
    CheckGuard(buf, cch);
    CheckList(buf, dwRet, cch);
    return dwRet;
}

// The module's cache of parsed files, emptied after each input: memory kept
// from one input to the next makes libFuzzer look for leaks after each,
// which would cost more than the input itself.
void ForgetParses()
{
    for (PROFDOC*& pDoc : s_apCache) {
        if (pDoc) ProfDocFree(pDoc);
        pDoc = nullptr;
    }
    free(s_pbScratch);
    s_pbScratch = nullptr;
    s_cbScratch = 0;
}

// A key of the first section (or of a new one) written, written again in
// quotes, deleted; each read back.
void WriteKey(const std::vector<std::string>& vSections, std::vector<char>& buf)
{
    std::string strSec = vSections.empty() ? "Fz" : vSections[0];
    if (strSec.find_first_not_of(" \t\r\v\f") == std::string::npos) strSec = "Fz";
    const char* szSec = strSec.c_str();
    Check(PlatWritePrivateProfileString(szSec, "FuzzKey", "fuzz value", kszFile) == 1);
    Check(GetString(szSec, "fuzzkey", buf, 260) == 10 && strcmp(buf.data(), "fuzz value") == 0);
    Check(PlatWritePrivateProfileString(szSec, "FuzzKey", "\"quoted\"", kszFile) == 1);
    Check(GetString(szSec, "FUZZKEY", buf, 260) == 6 && strcmp(buf.data(), "quoted") == 0);
    Check(PlatWritePrivateProfileString(szSec, "FuzzKey", nullptr, kszFile) == 1);
    Check(GetString(szSec, "FuzzKey", buf, 260) == 7 && strcmp(buf.data(), "DEFAULT") == 0);
}

// The first section (or a new one) emptied, then deleted; each read back.
void WriteSection(const std::vector<std::string>& vSections, std::vector<char>& buf)
{
    std::string strSec = vSections.empty() ? "Fz" : vSections[0];
    if (strSec.find_first_not_of(" \t\r\v\f") == std::string::npos) strSec = "Fz";
    const char* szSec = strSec.c_str();
    Check(PlatWritePrivateProfileSection(szSec, "", kszFile) == 1);
    Check(GetSection(szSec, buf, kcchBig) == 0);
    Check(GetString(szSec, nullptr, buf, 260) == 7 && strcmp(buf.data(), "DEFAULT") == 0);
    if (!vSections.empty()) {
        // The section list is unchanged by emptying a section.
        DWORD dwRet = GetString(nullptr, nullptr, buf, kcchBig);
        Check(CheckList(buf, dwRet, kcchBig) == vSections);
    }
    Check(PlatWritePrivateProfileSection(szSec, nullptr, kszFile) == 1);
    Check(GetSection(szSec, buf, kcchBig) == 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    MakeMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb)
{
    if (cb < 2) return 0;
    DWORD cchSmall = (pb[0] & 0x3F) % 24;
    bool bSmall = (pb[0] & 0x40) != 0;
    bool bWrites = (pb[0] & 0xC0) == 0xC0;
    // Written over in place and cut to size: a new or emptied file would get
    // new pages, cleared by the kernel, for every input.
    int fd = open(g_strHost.c_str(), O_WRONLY | O_CREAT, 0644);
    Check(fd >= 0);
    Check(cb == 2 || pwrite(fd, pb + 2, cb - 2, 0) == (ssize_t)(cb - 2));
    Check(ftruncate(fd, (off_t)(cb - 2)) == 0);
    close(fd);

    std::vector<char> buf(kcchBig + kcbGuard);
    DWORD dwRet = GetString(nullptr, nullptr, buf, kcchBig);
    std::vector<std::string> vSections = CheckList(buf, dwRet, kcchBig);
    if (bSmall) GetString(nullptr, nullptr, buf, cchSmall);

    // One section and one of its keys, as byte 1 picks them, in full-size
    // buffers or (bit 6) in the small one: every call reads the file again,
    // so a walk of them all would be slow.
    if (!vSections.empty()) {
        const char* szSec = vSections[(pb[1] & 0x07) % vSections.size()].c_str();
        dwRet = GetString(szSec, nullptr, buf, kcchBig);
        std::vector<std::string> vKeys;
        if (strcmp(buf.data(), "DEFAULT") != 0 || dwRet != 7) vKeys = CheckList(buf, dwRet, kcchBig);
        if (bSmall) GetString(szSec, nullptr, buf, cchSmall);
        if (!vKeys.empty()) GetString(szSec, vKeys[(pb[1] >> 4) % vKeys.size()].c_str(), buf, bSmall ? cchSmall : 260);
        GetSection(szSec, buf, bSmall ? cchSmall : kcchBig);
    }
    if (bWrites) {
        if (pb[1] & 0x08) WriteKey(vSections, buf);
        else WriteSection(vSections, buf);
    }
    ForgetParses();
    return 0;
}
