// Fuzz target for the registry file reader.
//
// Input: the bytes of $HERON_ROOT/registry.reg. Every input is opened and
// walked as the installer and its tests would: each key's counts and longest
// lengths, every subkey by index and then by its name, a few values (the
// default, "Path", "DataPath") by size query, exact buffer and one byte too
// few. Checked: enumeration agrees with the counts, every enumerated name
// opens, value sizes stay within the key's longest, a too-small buffer is
// refused with the size needed and left untouched, and nothing leaks.
// A value typed hex(1) (REG_SZ) without a NUL is a valid input (a seed of
// scripts/fuzz-seeds.sh).
//
// The module's source is compiled into this target; the library's copy is
// then never linked.

#include "platform/posix/registry.cpp"
#include "platform/registry.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace
{

std::string g_strRoot;
std::string g_strFile;

void RemoveRoot()
{
    unlink(g_strFile.c_str());
    rmdir(g_strRoot.c_str());
}

void Check(bool f)
{
    if (!f) abort();
}

void CheckValue(HKEY hKey, const char* szName, DWORD cbMaxValue)
{
    DWORD cb = 0, dwType = 0;
    LONG l = PlatRegQueryValueEx(hKey, szName, &dwType, nullptr, &cb);
    if (l != ERROR_SUCCESS) {
        Check(l == ERROR_FILE_NOT_FOUND);
        return;
    }
    Check(cb <= cbMaxValue);
    std::vector<BYTE> v(cb + 1, 0xA5);
    DWORD cbGot = cb;
    Check(PlatRegQueryValueEx(hKey, szName, nullptr, v.data(), &cbGot) == ERROR_SUCCESS);
    Check(cbGot == cb && v[cb] == 0xA5);
    // No NUL is demanded of a REG_SZ: one typed as hex(1) in the file comes
    // back as stored, as on Win32; readers end it themselves.
    if (cb > 0) {
        std::vector<BYTE> vSmall(cb, 0x5A);
        DWORD cbSmall = cb - 1;
        Check(PlatRegQueryValueEx(hKey, szName, nullptr, vSmall.data(), &cbSmall) == ERROR_MORE_DATA);
        Check(cbSmall == cb);
        for (BYTE b : vSmall) Check(b == 0x5A);
    }
}

void Walk(HKEY hKey, int iDepth)
{
    DWORD cSubKeys = 0, cchMaxSub = 0, cValues = 0, cchMaxName = 0, cbMaxValue = 0;
    Check(PlatRegQueryInfoKey(hKey, &cSubKeys, &cchMaxSub, &cValues, &cchMaxName, &cbMaxValue) == ERROR_SUCCESS);
    CheckValue(hKey, nullptr, cbMaxValue);
    CheckValue(hKey, "Path", cbMaxValue);
    CheckValue(hKey, "DataPath", cbMaxValue);
    if (iDepth > 24) return;
    std::vector<char> vName(cchMaxSub + 1);
    DWORD i;
    for (i = 0;; i++) {
        DWORD cch = cchMaxSub + 1;
        LONG l = PlatRegEnumKeyEx(hKey, i, vName.data(), &cch);
        if (l != ERROR_SUCCESS) {
            Check(l == ERROR_NO_MORE_ITEMS);
            break;
        }
        Check(cch == strlen(vName.data()) && cch <= cchMaxSub);
        HKEY hSub;
        Check(PlatRegOpenKeyEx(hKey, vName.data(), 0, KEY_READ, &hSub) == ERROR_SUCCESS);
        Walk(hSub, iDepth + 1);
        Check(PlatRegCloseKey(hSub) == ERROR_SUCCESS);
    }
    Check(i == cSubKeys);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Memory-backed when possible: rewriting a file on ext4 forces a flush
    // at close, which would cost more than the reading under test.
    static char szShm[] = "/dev/shm/heron-regfuzz-XXXXXX";
    static char szTmp[] = "/tmp/heron-regfuzz-XXXXXX";
    const char* szRoot = mkdtemp(szShm);
    if (!szRoot) szRoot = mkdtemp(szTmp);
    if (!szRoot) abort();
    g_strRoot = szRoot;
    setenv("HERON_ROOT", szRoot, 1);
    g_strFile = g_strRoot + "/registry.reg";
    atexit(RemoveRoot);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb)
{
    // Written over in place and cut to size: a new or emptied file would get
    // new pages, cleared by the kernel, for every input.
    int fd = open(g_strFile.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0 || (cb && pwrite(fd, pb, cb, 0) != (ssize_t)cb) || ftruncate(fd, (off_t)cb) != 0) abort();
    close(fd);

    HKEY hRoot;
    Check(PlatRegOpenKeyEx(HKEY_LOCAL_MACHINE, "", 0, KEY_READ | KEY_WOW64_64KEY, &hRoot) == ERROR_SUCCESS);
    Walk(hRoot, 0);
    // A path of several keys, below the open root: the file is read once
    // per input (each open of the hive reads it again).
    HKEY hKey;
    if (PlatRegOpenKeyEx(hRoot, "Software\\Vireo\\Garnet\\", 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
        Walk(hKey, 0);
        Check(PlatRegCloseKey(hKey) == ERROR_SUCCESS);
    }
    Check(PlatRegCloseKey(hRoot) == ERROR_SUCCESS);
    return 0;
}
