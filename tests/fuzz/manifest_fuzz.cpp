// Fuzz target of the package builder's manifest: any bytes as a manifest,
// through the reader and its checks, and, when it names nothing outside its
// own directory, through the whole build of a package from the small
// release trees, licence and tools set out beside it.
//
// Checked: a refused manifest says why, an accepted one has the sections and
// keys the checks demand, every key's line lies within the text, and a build
// that reports success wrote a package whose trailer is in place.
//
// The builder's sources are compiled into this target (heron-pack is a
// program, not a library); its default stub and tools are tiny files here.
#include <stddef.h>
#include <ftw.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

static char g_szStub[256];
static char g_szVersionTool[256];
static char g_szCabinetTool[256];
#define PACK_DEFAULT_STUB g_szStub
#define PACK_DEFAULT_VERSION_TOOL g_szVersionTool
#define PACK_DEFAULT_CABINET_TOOL g_szCabinetTool

#include "../../tools/pack/pack_build.cpp"
#include "../../tools/pack/pack_delta.cpp"
#include "../../tools/pack/pack_entries.cpp"
#include "../../tools/pack/pack_manifest.cpp"

namespace
{

std::string g_strDir; /* the manifest's directory */

void Check(bool f)
{
    if (!f) abort();
}

void Put(const std::string& strRelative, const std::string& strData)
{
    std::string strPath = g_strDir + "/" + strRelative;
    for (size_t i = g_strDir.size() + 1; i < strPath.size(); i++) {
        if (strPath[i] == '/') mkdir(strPath.substr(0, i).c_str(), 0777);
    }
    FILE* fp = fopen(strPath.c_str(), "wb");
    if (!fp) abort();
    fwrite(strData.data(), 1, strData.size(), fp);
    fclose(fp);
}

std::string g_strRoot;

int RemoveEntry(const char* szPath, const struct stat*, int, struct FTW*) { return remove(szPath); }

void RemoveRoot() { nftw(g_strRoot.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

/* Two levels below a private directory, so that even ".." stays inside it;
 * on tmpfs when there is one, as every input is written as a file. */
void SetUp()
{
    char szShm[] = "/dev/shm/heron-manifest-fuzz-XXXXXX";
    char szTmp[] = "/tmp/heron-manifest-fuzz-XXXXXX";
    const char* szRoot = mkdtemp(szShm);
    if (!szRoot) szRoot = mkdtemp(szTmp);
    if (!szRoot) abort();
    g_strRoot = szRoot;
    atexit(RemoveRoot);
    g_strDir = std::string(szRoot) + "/in/pkg";
    mkdir((std::string(szRoot) + "/in").c_str(), 0777);
    mkdir(g_strDir.c_str(), 0777);
    snprintf(g_szStub, sizeof(g_szStub), "%s/stub", szRoot);
    snprintf(g_szVersionTool, sizeof(g_szVersionTool), "%s/updver", szRoot);
    snprintf(g_szCabinetTool, sizeof(g_szCabinetTool), "%s/cab", szRoot);
    for (const char* sz : {g_szStub, g_szVersionTool, g_szCabinetTool}) {
        FILE* fp = fopen(sz, "wb");
        if (!fp) abort();
        fputs("tool\n", fp); /* not "MZ": a package for Linux */
        fclose(fp);
    }
    Put("license.txt", "Licence.\nSecond line.\n");
    Put("a/program/qstrings.dll", "key 8.0.1");
    Put("a/program/a.txt", "hello\n");
    Put("a/program/gone.txt", "removed\n");
    Put("a/data/quill.cfg", "data 1\n");
    Put("b/program/qstrings.dll", "key 8.0.2");
    Put("b/program/a.txt", "hello again\n");
    Put("b/program/sub/new.txt", "new\n");
    Put("b/data/quill.cfg", "data 2\n");
    Put("b/system/qstat.dll", "system\n");
    Put("b/program/tree/x.txt", "cabinet tree\n");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pb, size_t cb)
{
    if (cb > 8192) return 0;
    const std::string strManifest = g_strDir + "/manifest.ini";
    const std::string strOut = g_strDir + "/../out.pkg";
    FILE* fp = fopen(strManifest.c_str(), "wb");
    if (!fp) abort();
    fwrite(pb, 1, cb, fp);
    fclose(fp);

    PackManifest manifest;
    std::string strError;
    int bRead = PackReadManifest(strManifest.c_str(), &manifest, &strError);
    int cLines = 1;
    for (size_t i = 0; i < cb; i++) cLines += pb[i] == '\n';
    if (!bRead) {
        Check(!strError.empty());
        return 0;
    }
    Check(PackFindSection(&manifest, "Package") && PackFindSection(&manifest, "Releases"));
    for (const PackSection& section : manifest.sections) {
        Check(section.iLine >= 1 && section.iLine <= cLines);
        for (const PackKey& key : section.keys) Check(key.iLine >= section.iLine && key.iLine <= cLines);
    }
    /* Paths stay in the private directory: no "/" anywhere. */
    if (memchr(pb, '/', cb)) return 0;
    unlink(strOut.c_str());
    if (PackBuild(strManifest.c_str(), strOut.c_str(), nullptr, 1) == 0) {
        std::vector<uint8_t> vPackage;
        Check(PackReadFile(strOut, &vPackage, &strError));
        Check(vPackage.size() >= CONTAINER_TRAILER_SIZE &&
              memcmp(vPackage.data() + vPackage.size() - CONTAINER_TRAILER_SIZE, CONTAINER_MAGIC, 8) == 0);
    }
    return 0;
}
