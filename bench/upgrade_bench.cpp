// The speed of a whole upgrade against a floor measured in the same run.
//
// Makes two release trees (by default 1,000 files, 200 MB, text and binary
// mixed, a quarter of the changed files as deltas), builds the package with
// heron-pack, installs the from-level with heron-sample, and times an
// unattended upgrade by the installer as a process (its peak memory too).
// The floor is a plain program doing the least such an upgrade must do: read
// the package's payload bytes, write the new files' bytes and take their
// CRC-32. The self-check's fixed one-second display is taken off the
// upgrade's time. Then the self-check's own byte sum, in this process, over
// the package.
//
// Usage: upgrade_bench [--files N] [--mb M] [--dir DIR] [--keep] [--sum-only]
// The data is made afresh in DIR (default a new directory in /tmp) and
// removed at the end unless --keep.
#include "package/explode/crc32.h"
#include "package/selfcheck.h"
#include "package/store.h"
#include "package/unpack.h"
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace
{

double Now()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void Die(const std::string& str)
{
    fprintf(stderr, "upgrade_bench: %s\n", str.c_str());
    exit(1);
}

void MakeDirs(const std::string& strPath)
{
    for (size_t i = 1; i <= strPath.size(); i++)
        if (i == strPath.size() || strPath[i] == '/') mkdir(strPath.substr(0, i).c_str(), 0777);
}

void WriteWhole(const std::string& strPath, const std::vector<unsigned char>& v)
{
    MakeDirs(strPath.substr(0, strPath.rfind('/')));
    FILE* fp = fopen(strPath.c_str(), "wb");
    if (!fp || fwrite(v.data(), 1, v.size(), fp) != v.size() || fclose(fp) != 0) Die("cannot write " + strPath);
}

struct Child {
    int iStatus;
    double dSeconds;
    long lMaxRssKb;
    double dCpuSeconds; /* user and system time of the child */
};

double CpuOf(const struct rusage& ru)
{
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

double SelfCpu()
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return CpuOf(ru);
}

// Runs a program with more environment; its output goes to strOut.
Child Spawn(const std::vector<std::string>& vArgs, const std::vector<std::string>& vEnv, const std::string& strCwd,
            const std::string& strOut)
{
    std::vector<char*> argv, envp;
    for (const std::string& s : vArgs) argv.push_back((char*)s.c_str());
    argv.push_back(nullptr);
    for (char** pp = environ; *pp; pp++) {
        bool bOverridden = false;
        for (const std::string& s : vEnv)
            if (strncmp(*pp, s.c_str(), s.find('=') + 1) == 0) bOverridden = true;
        if (!bOverridden) envp.push_back(*pp);
    }
    for (const std::string& s : vEnv) envp.push_back((char*)s.c_str());
    envp.push_back(nullptr);
    double dStart = Now();
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        int fdNull = open("/dev/null", O_RDONLY);
        if (fdNull >= 0) dup2(fdNull, 0);
        if (!strCwd.empty() && chdir(strCwd.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    Child c = {0, 0, 0, 0};
    struct rusage ru;
    if (pid < 0 || wait4(pid, &c.iStatus, 0, &ru) != pid) Die("cannot run " + vArgs[0]);
    c.dSeconds = Now() - dStart;
    c.lMaxRssKb = ru.ru_maxrss;
    c.dCpuSeconds = CpuOf(ru);
    return c;
}

void Must(const Child& c, const std::string& strWhat, const std::string& strOut)
{
    if (!WIFEXITED(c.iStatus) || WEXITSTATUS(c.iStatus) != 0) {
        FILE* fp = fopen(strOut.c_str(), "rb");
        char sz[4096] = "";
        if (fp) {
            sz[fread(sz, 1, sizeof(sz) - 1, fp)] = 0;
            fclose(fp);
        }
        Die(strWhat + " failed (status " + std::to_string(c.iStatus) + "):\n" + sz);
    }
}

// A deterministic generator.
struct Rng {
    uint64_t x;
    uint32_t Next()
    {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return (uint32_t)(x >> 33);
    }
};

// Text (words and lines) or binary (records and noise) of cb bytes.
std::vector<unsigned char> Content(Rng* pRng, size_t cb, bool bText)
{
    static const char* const aszWords[] = {"release", "table", "file", "checksum", "backup", "upgrade", "the",
                                           "of", "and", "version", "registry", "install", "quill", "garnet"};
    std::vector<unsigned char> v;
    v.reserve(cb + 64);
    while (v.size() < cb) {
        if (bText) {
            const char* sz = aszWords[pRng->Next() % 14];
            v.insert(v.end(), sz, sz + strlen(sz));
            v.push_back(pRng->Next() % 12 == 0 ? '\n' : ' ');
        } else if (pRng->Next() % 4) {
            uint32_t dw = (uint32_t)v.size() / 8;
            v.insert(v.end(), {(unsigned char)dw, (unsigned char)(dw >> 8), 0, 0, 0x4C, 0x01, 0, 0});
        } else {
            for (int i = 0; i < 32; i++) v.push_back((unsigned char)pRng->Next());
        }
    }
    v.resize(cb);
    return v;
}

long long ReadAll(const std::string& strPath, uint32_t* pdwSum)
{
    int fd = open(strPath.c_str(), O_RDONLY);
    if (fd < 0) Die("cannot read " + strPath);
    static unsigned char ab[1 << 16];
    long long cbTotal = 0;
    ssize_t cb;
    uint32_t dwSum = 0;
    while ((cb = read(fd, ab, sizeof(ab))) > 0) {
        cbTotal += cb;
        for (ssize_t i = 0; i < cb; i++) dwSum += ab[i];
    }
    close(fd);
    if (pdwSum) *pdwSum = dwSum;
    return cbTotal;
}

std::string FileName(int i)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "%s/f%04d.%s", i % 10 == 9 ? "data" : "program", i, i % 2 == 0 ? "txt" : "dll");
    return sz;
}

} // namespace

int main(int argc, char** argv)
{
    int cFiles = 1000;
    long long cbTotal = 200ll << 20;
    std::string strDir;
    bool bKeep = false;
    bool bSumOnly = false;
    for (int i = 1; i < argc; i++) {
        std::string s = argv[i];
        if (s == "--files" && i + 1 < argc) cFiles = atoi(argv[++i]);
        else if (s == "--mb" && i + 1 < argc) cbTotal = atoll(argv[++i]) << 20;
        else if (s == "--dir" && i + 1 < argc) strDir = argv[++i];
        else if (s == "--keep") bKeep = true;
        else if (s == "--sum-only") bSumOnly = true;
        else Die("usage: upgrade_bench [--files N] [--mb M] [--dir DIR] [--keep] [--sum-only]");
    }
    if (cFiles < 4) cFiles = 4;
    if (strDir.empty()) {
        char sz[] = "/tmp/heron-upgrade-bench-XXXXXX";
        if (!mkdtemp(sz)) Die("no temporary directory");
        strDir = sz;
    }
    const std::string strBin = HERON_BIN_DIR;
    const std::string strLog = strDir + "/child.log";

    // ---- the two release trees ---------------------------------------------
    double dStart = Now();
    Rng rng = {42};
    std::vector<size_t> vcb((size_t)cFiles);
    double dWeights = 0;
    std::vector<double> vWeight((size_t)cFiles);
    for (int i = 0; i < cFiles; i++) {
        // Mostly small files and a few large ones, as a product has.
        double d = 1.0 + (rng.Next() % 1000) / 100.0;
        vWeight[(size_t)i] = d * d * d;
        dWeights += vWeight[(size_t)i];
    }
    size_t cbLargest = 0;
    int cDeltas = 0;
    std::vector<size_t> vcbNew((size_t)cFiles);
    std::string strDelta;
    long long cbNewTotal = 0;
    for (int i = 0; i < cFiles; i++) {
        vcb[(size_t)i] = (size_t)(cbTotal * vWeight[(size_t)i] / dWeights) + 1;
        bool bText = i % 2 == 0;
        bool bDelta = i % 4 == 1;
        std::string strName = FileName(i);
        const char* szName = strName.c_str();
        std::vector<unsigned char> vOld = Content(&rng, vcb[(size_t)i], bText);
        std::vector<unsigned char> vNew;
        if (bDelta) {
            // A fix changes a few places of the file.
            vNew = vOld;
            for (int c = 0; c < 8; c++) vNew[rng.Next() % vNew.size()] ^= 0x20;
            strDelta += std::string(strDelta.empty() ? "" : ", ") + std::string(strrchr(szName, '/') + 1);
            cDeltas++;
        } else {
            vNew = Content(&rng, vcb[(size_t)i] + rng.Next() % 64, bText);
        }
        if (vNew.size() > cbLargest) cbLargest = vNew.size();
        vcbNew[(size_t)i] = vNew.size();
        cbNewTotal += (long long)vNew.size();
        WriteWhole(strDir + "/pkg/r801/" + szName, vOld);
        WriteWhole(strDir + "/pkg/r802/" + szName, vNew);
    }
    Child key1 = Spawn({strBin + "/tools/sample/heron-sample", "--write-key-file", strDir + "/pkg/r801/program/qstrings.dll",
                        "--stamp", "Release 8.0.1|March 3, 2010"},
                       {}, "", strLog);
    Must(key1, "heron-sample", strLog);
    Child key2 = Spawn({strBin + "/tools/sample/heron-sample", "--write-key-file", strDir + "/pkg/r802/program/qstrings.dll",
                        "--stamp", "Release 8.0.2|May 1, 2010"},
                       {}, "", strLog);
    Must(key2, "heron-sample", strLog);
    WriteWhole(strDir + "/pkg/license.txt", std::vector<unsigned char>{'L', '\n'});
    std::string strManifest = "[Package]\nFrom = Release 8.0.1|March 3, 2010\nTo = Release 8.0.2|May 1, 2010\n"
                              "UpgradeType = 2\nLicense = license.txt\nVersionTool = " + strBin +
                              "/tools/updver/UpdateVersion\nDelta = " + strDelta +
                              "\n[Releases]\nRelease 8.0.1|March 3, 2010 = r801\nRelease 8.0.2|May 1, 2010 = r802\n";
    WriteWhole(strDir + "/pkg/manifest.ini", std::vector<unsigned char>(strManifest.begin(), strManifest.end()));
    double dTrees = Now() - dStart;

    Child pack = Spawn({strBin + "/tools/pack/heron-pack", "build", strDir + "/pkg/manifest.ini", "-o",
                        strDir + "/setup.exe", "--quiet"},
                       {}, "", strLog);
    Must(pack, "heron-pack build", strLog);
    struct stat st;
    stat((strDir + "/setup.exe").c_str(), &st);
    long long cbPackage = st.st_size;
    uint32_t dwIgnored;

    // ---- the self-check's byte sum over a 100 MB package, in this process -----
    // The package of the trees with an executable part padded to make 100 MB.
    {
        Rng rngPad = {7};
        std::vector<unsigned char> vStub = Content(&rngPad, (size_t)(100ll << 20) - 4096, false);
        WriteWhole(strDir + "/stub100", vStub);
    }
    // A small package of one changed file; its executable part makes the size.
    {
        std::string strSmall = "[Package]\nFrom = Release 8.0.1|March 3, 2010\nTo = Release 8.0.2|May 1, 2010\n"
                               "License = ../pkg/license.txt\nVersionTool = " + strBin +
                               "/tools/updver/UpdateVersion\n[Releases]\nRelease 8.0.1|March 3, 2010 = a\n"
                               "Release 8.0.2|May 1, 2010 = b\n";
        WriteWhole(strDir + "/sum/manifest.ini", std::vector<unsigned char>(strSmall.begin(), strSmall.end()));
        WriteWhole(strDir + "/sum/a/program/x.txt", std::vector<unsigned char>{'a'});
        WriteWhole(strDir + "/sum/b/program/x.txt", std::vector<unsigned char>{'b'});
    }
    Child pack100 = Spawn({strBin + "/tools/pack/heron-pack", "build", strDir + "/sum/manifest.ini", "-o",
                           strDir + "/setup100.exe", "--stub", strDir + "/stub100", "--quiet"},
                          {}, "", strLog);
    Must(pack100, "heron-pack build", strLog);
    stat((strDir + "/setup100.exe").c_str(), &st);
    long long cbPackage100 = st.st_size;
    SelfCheckSetModulePath((strDir + "/setup100.exe").c_str());
    setenv("HERON_ROOT", strDir.c_str(), 1);
    ReadAll(strDir + "/setup100.exe", &dwIgnored); /* from the page cache, as the installer's own file is */
    double dSum = 1e9;
    int bSum = 1;
    for (int iRound = 0; iRound < 3; iRound++) {
        double dSumStart = Now();
        bSum &= VerifyModuleChecksum(NULL, NULL);
        double d = Now() - dSumStart;
        if (d < dSum) dSum = d;
    }
    printf("upgrade_bench: self-check sum over %.1f MB: %.3f s, %.2f GB/s (target at least 1 GB/s)%s\n",
           cbPackage100 / 1048576.0, dSum, cbPackage100 / dSum / 1e9, bSum ? "" : " - THE SUM DID NOT MATCH");
    if (bSumOnly) {
        if (!bKeep) Spawn({"/bin/rm", "-rf", strDir}, {}, "", "/dev/null");
        return 0;
    }

    // ---- the installation and the upgrade -------------------------------------
    const std::string strRoot = strDir + "/machine";
    Child sample = Spawn({strBin + "/tools/sample/heron-sample", "--root", strRoot, "--tree", strDir + "/pkg/r801"}, {}, "",
                         strLog);
    Must(sample, "heron-sample", strLog);
    MakeDirs(strRoot + "/drive_c/TEMP");
    MakeDirs(strRoot + "/drive_c/work");
    Child copy = Spawn({"/bin/cp", strDir + "/setup.exe", strRoot + "/drive_c/work/setup.exe"}, {}, "", strLog);
    Must(copy, "cp", strLog);
    ReadAll(strRoot + "/drive_c/work/setup.exe", &dwIgnored); /* warm, as the floor's read is */

    Child up = Spawn({strRoot + "/drive_c/work/setup.exe"},
                     {"HERON_ROOT=" + strRoot, "HERON_UI=headless", "TEMP=C:\\TEMP", "HERON_COMMAND_LINE=setup.exe nouser"},
                     strRoot + "/drive_c/work", strLog);
    Must(up, "the upgrade", strLog);
    const double dDisplay = 1.0; /* the self-check dialog's fixed wait */
    double dUpgrade = up.dSeconds - dDisplay;

    // ---- the floor: read the payload bytes, write the new bytes, CRC-32 them --
    // The new bytes are in memory before the clock starts, as the upgrade has
    // them after unpacking.
    std::vector<std::pair<std::string, std::vector<unsigned char>>> vNewFiles;
    for (int i = 0; i < cFiles; i++) {
        std::string strName = FileName(i);
        FILE* fpIn = fopen((strDir + "/pkg/r802/" + strName).c_str(), "rb");
        if (!fpIn) Die("floor: cannot read " + strName);
        std::vector<unsigned char> v(vcbNew[(size_t)i]);
        if (fread(v.data(), 1, v.size(), fpIn) != v.size()) Die("floor: short read of " + strName);
        fclose(fpIn);
        MakeDirs(strDir + "/floor/" + strName.substr(0, strName.rfind('/')));
        vNewFiles.push_back({strDir + "/floor/" + strName, std::move(v)});
    }
    double dFloorStart = Now();
    double dFloorCpuStart = SelfCpu();
    ReadAll(strDir + "/setup.exe", &dwIgnored);
    unsigned int dwCrcAll = 0;
    for (const auto& file : vNewFiles) {
        FILE* fpOut = fopen(file.first.c_str(), "wb");
        if (!fpOut || fwrite(file.second.data(), 1, file.second.size(), fpOut) != file.second.size() ||
            fclose(fpOut) != 0)
            Die("floor: cannot write " + file.first);
        dwCrcAll ^= UpdateCrc32(file.second.data(), (unsigned)file.second.size(), 0xFFFFFFFFu);
    }
    double dFloor = Now() - dFloorStart;
    double dFloorCpu = SelfCpu() - dFloorCpuStart;

    // ---- the decoder alone: every payload of the package unpacked in memory ---
    // What an upgrade must do beyond the floor whatever else it spares: the
    // floor decompresses nothing.
    double dDecode = 0;
    {
        std::vector<unsigned char> vPackage;
        FILE* fpPkg = fopen((strDir + "/setup.exe").c_str(), "rb");
        if (!fpPkg) Die("cannot read the package");
        vPackage.resize((size_t)cbPackage);
        if (fread(vPackage.data(), 1, vPackage.size(), fpPkg) != vPackage.size()) Die("short read of the package");
        fclose(fpPkg);
        PlatSetModuleImage(vPackage.data(), vPackage.size());
        std::vector<FILE_TABLE_ENTRY> vTable(FILE_TABLE_SLOTS);
        DWORD dwCount = LoadFileTable(vTable.data());
        if (dwCount == 0) Die("the package's release table cannot be read");
        double dDecodeStart = Now();
        for (DWORD i = 1; i <= dwCount; i++) {
            DWORD cb = 0, dwSize = 0;
            HGLOBAL hBlock = NULL;
            const BYTE* pb = FindPayload(vTable[i].dwPayloadId, KIND_UPDATE, &cb);
            if (pb && !UnpackPayload(pb, cb, &hBlock, &dwSize)) Die("a payload does not unpack");
            if (hBlock) PlatGlobalFree(hBlock);
        }
        dDecode = Now() - dDecodeStart;
        FreeFileTable(vTable.data());
    }

    printf("upgrade_bench: %d files, %.1f MB new (%d deltas), package %.1f MB; trees made in %.1f s, package built "
           "in %.1f s\n",
           cFiles, cbNewTotal / 1048576.0, cDeltas, cbPackage / 1048576.0, dTrees, pack.dSeconds);
    printf("  upgrade (unattended, self-check display of %.0f s taken off): %8.2f s\n", dDisplay, dUpgrade);
    printf("  floor (read payloads, write and CRC-32 the new files):       %8.2f s\n", dFloor);
    printf("  ratio %.2f (target at most 1.50)\n", dUpgrade / dFloor);
    printf("  the decoder alone (every payload unpacked in memory):          %8.2f s\n", dDecode);
    printf("  floor and decoder: %.2f s, ratio %.2f: the least an upgrade that unpacks on one thread can reach\n",
           dFloor + dDecode, (dFloor + dDecode) / dFloor);
    /* Processor time tells the two apart on a machine other programs keep busy. */
    printf("  processor time: upgrade %.2f s (its children included), floor %.2f s, ratio %.2f\n", up.dCpuSeconds,
           dFloorCpu, dFloorCpu > 0 ? up.dCpuSeconds / dFloorCpu : 0.0);
    printf("  peak memory of the installer %.1f MB; largest file %.1f MB; excess %.1f MB\n", up.lMaxRssKb / 1024.0,
           cbLargest / 1048576.0, up.lMaxRssKb / 1024.0 - cbLargest / 1048576.0);

    (void)dwCrcAll;

    if (!bKeep) Spawn({"/bin/rm", "-rf", strDir}, {}, "", "/dev/null");
    return 0;
}
