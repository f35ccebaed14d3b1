// Packages for Windows: resources attached to an executable image by the PE
// writer, read back with the installer's own PE reader, and heron-pack
// build with a Portable Executable stub.
#include "pe/pe_writer.h"
#include "platform/pe.h"
#include "support/machine.h"
#include "support/package.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

// A program image without resources: a PE writer library whose resource
// directory entry is cleared (its section stays, as a program's sections do).
Bytes StubImage()
{
    PEW_STRING aStrings[] = {{1, "stub"}};
    PEW_LAYOUT layout;
    memset(&layout, 0, sizeof(layout));
    layout.pStrings = aStrings;
    layout.cStrings = 1;
    unsigned char* pb = NULL;
    size_t cb = 0;
    EXPECT_EQ(1, PewBuild(&layout, &pb, &cb));
    Bytes v(pb, pb + cb);
    PewFree(pb);
    PE_IMAGE image;
    EXPECT_EQ(1, PeParseImage(v.data(), v.size(), &image));
    size_t offDir = 0x80 + 24 + 112 + 2 * 8; // e_lfanew 0x80, PE32+ directories
    memset(&v[offDir], 0, 8);
    return v;
}

// The bytes of the named resource (type szType, id dwName) through the
// resource tree, "" when it is missing.
std::string NamedResource(const Bytes& v, const char* szType, DWORD dwName)
{
    PE_IMAGE image;
    size_t offRoot;
    if (!PeParseImage(v.data(), v.size(), &image) || !PeRvaToOffset(&image, image.dwRsrcRva, 16, &offRoot)) return "";
    const BYTE* pRoot = v.data() + offRoot;
    WORD cNamed = PeRead16(pRoot + 12);
    for (WORD i = 0; i < cNamed; i++) {
        DWORD dwNameOff = PeRead32(pRoot + 16 + 8 * i) & 0x7FFFFFFF;
        DWORD dwSub = PeRead32(pRoot + 16 + 8 * i + 4) & 0x7FFFFFFF;
        const BYTE* pName = pRoot + dwNameOff;
        std::string strName;
        for (WORD k = 0; k < PeRead16(pName); k++) strName += (char)PeRead16(pName + 2 + 2 * k);
        if (strName != szType) continue;
        const BYTE* pTypeDir = pRoot + dwSub;
        WORD cIds = PeRead16(pTypeDir + 14);
        for (WORD k = 0; k < cIds; k++) {
            if (PeRead32(pTypeDir + 16 + 8 * k) != dwName) continue;
            const BYTE* pLangDir = pRoot + (PeRead32(pTypeDir + 16 + 8 * k + 4) & 0x7FFFFFFF);
            EXPECT_EQ(1033u, PeRead32(pLangDir + 16));
            const BYTE* pData = pRoot + PeRead32(pLangDir + 20);
            size_t offData;
            if (!PeRvaToOffset(&image, PeRead32(pData), PeRead32(pData + 4), &offData)) return "";
            return std::string((const char*)v.data() + offData, PeRead32(pData + 4));
        }
    }
    return "";
}

std::string StringOf(const Bytes& v, DWORD dwId)
{
    PE_IMAGE image;
    PE_STRING str;
    std::string strOut;
    if (!PeParseImage(v.data(), v.size(), &image) || !PeFindString(&image, dwId, &str)) return "<none>";
    EXPECT_EQ(1033, str.wLanguage);
    for (WORD i = 0; i < str.cchText; i++) strOut += (char)PeRead16(v.data() + str.offText + 2 * i);
    return strOut;
}

TEST(PeAttach, ResourcesOfNamedTypesAndTheStringTableReadBack)
{
    Bytes stub = StubImage();
    const std::string strRelease(3000, 'r'), strEntry2 = "entry two", strEntry1 = "entry one", strTool = "MZtool";
    PEW_RESOURCE aRes[] = {
        {"VERSION", 0, 1, (const unsigned char*)strRelease.data(), strRelease.size()},
        {"FILEENTRY", 0, 2, (const unsigned char*)strEntry2.data(), strEntry2.size()},
        {"fileentry", 0, 1, (const unsigned char*)strEntry1.data(), strEntry1.size()},
        {"UPDATE64ENTRY", 0, 3, (const unsigned char*)strTool.data(), strTool.size()},
    };
    PEW_STRING aStrings[] = {{0, "zero"}, {3, "Caption"}, {42, "Custom Fix"}};
    unsigned char* pb = NULL;
    size_t cb = 0;
    const char* szWhy = "unset";
    ASSERT_EQ(1, PewAttachResources(stub.data(), stub.size(), aRes, 4, aStrings, 3, 1033, &pb, &cb, &szWhy));
    EXPECT_EQ(NULL, szWhy);
    Bytes pkg(pb, pb + cb);
    PewFree(pb);

    PE_IMAGE image;
    ASSERT_EQ(1, PeParseImage(pkg.data(), pkg.size(), &image));
    EXPECT_EQ(2, image.cSections);
    EXPECT_EQ(0, memcmp(pkg.data() + 0x200, stub.data() + 0x200, 0x200)) << "the stub's own section moved";
    EXPECT_EQ(strRelease, NamedResource(pkg, "VERSION", 1));
    EXPECT_EQ(strEntry1, NamedResource(pkg, "FILEENTRY", 1)) << "names are stored in upper case";
    EXPECT_EQ(strEntry2, NamedResource(pkg, "FILEENTRY", 2));
    EXPECT_EQ(strTool, NamedResource(pkg, "UPDATE64ENTRY", 3));
    EXPECT_EQ("", NamedResource(pkg, "UPDATE", 1));
    EXPECT_EQ("zero", StringOf(pkg, 0));
    EXPECT_EQ("Caption", StringOf(pkg, 3));
    EXPECT_EQ("Custom Fix", StringOf(pkg, 42));
    EXPECT_EQ("", StringOf(pkg, 4)) << "an absent string of a present block is empty";

    // The named types come first in the root, sorted as the loader's search needs.
    size_t offRoot;
    ASSERT_EQ(1, PeRvaToOffset(&image, image.dwRsrcRva, 16, &offRoot));
    EXPECT_EQ(3, PeRead16(pkg.data() + offRoot + 12));
    EXPECT_EQ(1, PeRead16(pkg.data() + offRoot + 14));
}

TEST(PeAttach, RefusesWhatItCannotExtend)
{
    Bytes stub = StubImage();
    const std::string strData = "x";
    PEW_RESOURCE aTwice[] = {{"UPDATE", 0, 1, (const unsigned char*)strData.data(), 1},
                             {"update", 0, 1, (const unsigned char*)strData.data(), 1}};
    unsigned char* pb = NULL;
    size_t cb = 0;
    const char* szWhy = NULL;
    EXPECT_EQ(0, PewAttachResources(stub.data(), stub.size(), aTwice, 2, NULL, 0, 0, &pb, &cb, &szWhy));
    EXPECT_STREQ("two resources of the same type and id", szWhy);

    ASSERT_EQ(1, PewAttachResources(stub.data(), stub.size(), aTwice, 1, NULL, 0, 0, &pb, &cb, &szWhy));
    Bytes once(pb, pb + cb);
    PewFree(pb);
    EXPECT_EQ(0, PewAttachResources(once.data(), once.size(), aTwice, 1, NULL, 0, 0, &pb, &cb, &szWhy));
    EXPECT_STREQ("the image has resources already", szWhy);

    const std::string strElf = "\x7f" "ELF and more bytes than a header needs, up to sixty-four of them......";
    EXPECT_EQ(0, PewAttachResources((const unsigned char*)strElf.data(), strElf.size(), aTwice, 1, NULL, 0, 0, &pb,
                                    &cb, &szWhy));
    EXPECT_STREQ("not a Portable Executable", szWhy);
    EXPECT_EQ(NULL, pb);
}

TEST(HeronPackWindows, APortableExecutableStubGivesResourcesAndTheSumAtOffset28)
{
    TempMachine machine;
    Bytes stub = StubImage();
    WriteFile(machine.Root() + "/win/stub.exe", std::string(stub.begin(), stub.end()));
    // Stand-ins for the Windows tools: what matters is that they are PE files.
    WriteFile(machine.Root() + "/win/v.exe", std::string(stub.begin(), stub.end()) + "version tool");
    WriteFile(machine.Root() + "/win/c.exe", std::string(stub.begin(), stub.end()) + "cabinet tool");

    // The trees and manifest of a Linux package, then the Windows one from them.
    std::string strLog;
    ASSERT_NE("", BuildPackage(machine.Root() + "/pkg", DefaultRecipe(), &strLog)) << strLog;
    std::string strPackage = machine.Root() + "/pkg/setup-windows.exe";
    ProcessResult result = RunProcess({BinPath("tools/pack/heron-pack"), "build", machine.Root() + "/pkg/manifest.ini",
                                       "-o", strPackage, "--stub", machine.Root() + "/win/stub.exe", "--version-tool",
                                       machine.Root() + "/win/v.exe", "--cabinet-tool", machine.Root() + "/win/c.exe"});
    ASSERT_EQ(0, result.iExitCode) << result.strErr;
    EXPECT_NE(std::string::npos, result.strOut.find("(Windows)")) << result.strOut;
    std::string str = ReadFile(strPackage);
    Bytes pkg(str.begin(), str.end());
    DWORD dwSum = 0;
    for (size_t i = 0; i < pkg.size(); i++)
        if (i < 28 || i >= 32) dwSum += pkg[i];
    EXPECT_EQ(dwSum, PeRead32(pkg.data() + 28));
    EXPECT_NE("", NamedResource(pkg, "VERSION", 1));
    EXPECT_NE("", NamedResource(pkg, "FILEENTRY", 1));
    EXPECT_NE("", NamedResource(pkg, "UPDATE", 1));
    EXPECT_NE("", NamedResource(pkg, "LICENSEENTRY", 2));
    EXPECT_NE("", NamedResource(pkg, "UPDATE64ENTRY", 3));
    EXPECT_NE("", NamedResource(pkg, "UPDATECABENTRY", 4));
    EXPECT_EQ("Release 8.0.1 -> Release 8.0.2", StringOf(pkg, 0).substr(0, 30));

    // The manifest's tools (shell scripts here) in a Windows package would
    // never run: refused.
    result = RunProcess({BinPath("tools/pack/heron-pack"), "build", machine.Root() + "/pkg/manifest.ini", "-o",
                         machine.Root() + "/pkg/other.exe", "--stub", machine.Root() + "/win/stub.exe"});
    EXPECT_EQ(2, result.iExitCode);
    EXPECT_NE(std::string::npos, result.strErr.find("a package for Windows needs the Windows program")) << result.strErr;
}

} // namespace
