/*
 * heron-sample - makes an emulated machine with an installed product under a
 * root directory (the HERON_ROOT of the installer), with options that steer
 * every branch of the installer's discovery. See --help and
 * docs/sample-installation.md.
 *
 * Layout made (defaults; Windows paths, drive X: = ROOT/drive_x):
 *   ROOT/registry.reg                  the registry (editor export format)
 *     HKLM\SOFTWARE\Vireo\Garnet        "Path" = the program directory
 *       \PartitionK                     "DataPath" = C:\QUILLDATA\PARTK
 *   C:\VIREO\GARNET\                   the program directory
 *     qstrings.dll                      the key file (a placeholder)
 *     QSERVER.EXE                       the server program (a placeholder)
 *     quillreg.bat                      registers the statistics service by
 *                                       appending its key to registry.reg
 *   C:\QUILLDATA\PARTK\QUILL.INI       one per data directory
 *   C:\WINDOWS\SYSTEM32\, C:\TEMP\
 *   ROOT/heron.env                     shell lines: HERON_ROOT (and PATH)
 * With --tree DIR the files of a release tree (DIR/program, DIR/data,
 * DIR/system) are copied in first; placeholders fill only what it lacks.
 *
 * Text files are written as on Windows (CR LF), except quillreg.bat, which
 * the emulation runs through /bin/sh and so has plain line feeds.
 * Exit code: 0 done, 1 a file could not be written, 2 bad options.
 */
#include "pe_writer.h"

#include <dirent.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

static const char* const kHelp =
    "usage: heron-sample --root DIR [options]\n"
    "Makes an emulated machine with an installed product under DIR (use it as HERON_ROOT).\n"
    "\n"
    "  --root DIR              the machine's directory (created when missing)\n"
    "  --program-dir PATH      the program directory, a Windows path (default C:\\VIREO\\GARNET)\n"
    "  --data-dirs N           N data directories C:\\QUILLDATA\\PART1..N, each with QUILL.INI\n"
    "                          and a subkey PartitionK of the product key with its DataPath\n"
    "                          (default 1; 0 for none)\n"
    "  --five-key              add the product subkey \"5.0\" with a DataPath (discovery skips it)\n"
    "  --no-registry           write no registry.reg (an empty registry)\n"
    "  --no-product-key        leave the product key out of the registry\n"
    "  --no-product-key-path   the product key without its \"Path\" value\n"
    "  --lowercase-path        registry paths and the Windows QUILL.INI's Directory in lower\n"
    "                          case with a trailing backslash\n"
    "  --parlance-key          add the key Software\\Vireo\\Parlance Mux with \"Path\"\n"
    "  --parlance-key-no-path  add that key without \"Path\"\n"
    "  --qserver-on-path       heron.env also puts the program directory first on PATH\n"
    "                          (QSERVER.EXE is always in the program directory)\n"
    "  --quill-ini-windows     write C:\\WINDOWS\\QUILL.INI naming C:\\QUILLDATA\\PART1 (that\n"
    "                          directory is made even with --data-dirs 0)\n"
    "  --service-key           the statistics service's key is already registered\n"
    "  --quillreg MODE         quillreg.bat: register (default; appends the service key to\n"
    "                          registry.reg), noop (exits 3, registers nothing), none (no file)\n"
    "  --tree DIR              install the files of a release tree: DIR/program into the\n"
    "                          program directory, DIR/data into every data directory,\n"
    "                          DIR/system into C:\\WINDOWS\\SYSTEM32 (placeholders are made\n"
    "                          only for the product files the tree lacks)\n"
    "  --no-key-file           no key file qstrings.dll\n"
    "  --key-file-readonly     the key file is read-only\n"
    "  --backup LABEL          make the backup directory of a recorded level in the program\n"
    "                          directory: LABEL up to its \"|\" without blanks and dots\n"
    "                          (Release 8.0.1|... gives Release801); may be repeated\n"
    "  --stamp LABEL           the release stamp of the key file that is made when the tree\n"
    "                          has none (default \"Release 8.0.1|March 3, 2010\")\n"
    "  --file-version V        the file version of the programs made (default 8.0.1.0)\n"
    "  --help                  this text\n"
    "\n"
    "usage: heron-sample --write-key-file PATH --stamp LABEL [--file-version V]\n"
    "       heron-sample --write-program PATH --file-version V\n"
    "Writes one product file (a resource-only Portable Executable): a key file with its\n"
    "release stamp, or a program with its file version; for building release trees.\n";

typedef struct SAMPLE_OPTIONS {
    std::string sRoot;
    std::string sProgramDir;
    int cDataDirs;
    int bFiveKey;
    int bNoRegistry;
    int bNoProductKey;
    int bNoProductKeyPath;
    int bLowercase;
    int bParlanceKey;
    int bParlanceKeyPath;
    int bQserverOnPath;
    int bQuillIniWindows;
    int bServiceKey;
    std::string sQuillreg;
    int bNoKeyFile;
    int bKeyFileReadOnly;
    std::string sTree;
    std::string sStamp;
    std::string sFileVersion;
    std::string sWriteKeyFile;
    std::string sWriteProgram;
    std::vector<std::string> vBackups;
} SAMPLE_OPTIONS;

static int s_bFailed;

static void SampleFail(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    fprintf(stderr, "heron-sample: ");
    vfprintf(stderr, szFormat, args);
    fprintf(stderr, "\n");
    va_end(args);
    s_bFailed = 1;
}

/* "C:\A\B" -> ROOT/drive_c/A/B; "" when the path has no drive. */
static std::string SampleHostPath(const SAMPLE_OPTIONS& opt, const std::string& sWin)
{
    std::string sHost;
    if (sWin.size() < 2 || sWin[1] != ':') return "";
    char chDrive = (char)(sWin[0] | 0x20);
    if (chDrive < 'a' || chDrive > 'y') return "";
    sHost = opt.sRoot + "/drive_" + chDrive;
    for (size_t i = 2; i < sWin.size(); i++) sHost += sWin[i] == '\\' ? '/' : sWin[i];
    while (sHost.size() > 1 && sHost.back() == '/') sHost.pop_back();
    return sHost;
}

static void SampleMakeDirs(const std::string& sHost)
{
    std::string sPart;
    for (size_t i = 0; i <= sHost.size(); i++) {
        if (i == sHost.size() || (sHost[i] == '/' && i > 0)) {
            sPart = sHost.substr(0, i);
            if (mkdir(sPart.c_str(), 0777) != 0 && errno != EEXIST) {
                SampleFail("cannot create %s: %s", sPart.c_str(), strerror(errno));
                return;
            }
        }
    }
}

static void SampleWrite(const std::string& sHost, const std::string& sText)
{
    size_t iSlash = sHost.rfind('/');
    if (iSlash != std::string::npos && iSlash > 0) SampleMakeDirs(sHost.substr(0, iSlash));
    FILE* fp = fopen(sHost.c_str(), "wb");
    if (!fp) {
        SampleFail("cannot write %s: %s", sHost.c_str(), strerror(errno));
        return;
    }
    if (fwrite(sText.data(), 1, sText.size(), fp) != sText.size()) SampleFail("cannot write %s", sHost.c_str());
    if (fclose(fp) != 0) SampleFail("cannot close %s", sHost.c_str());
}

/* Copies the files below sSource into sDest (made as needed), keeping their
 * permission bits; a missing source copies nothing. */
static void SampleCopyTree(const std::string& sSource, const std::string& sDest)
{
    DIR* pDir = opendir(sSource.c_str());
    struct dirent* pEnt;
    if (!pDir) return;
    SampleMakeDirs(sDest);
    while ((pEnt = readdir(pDir)) != NULL) {
        std::string sName = pEnt->d_name;
        struct stat st;
        if (sName == "." || sName == "..") continue;
        std::string sFrom = sSource + "/" + sName, sTo = sDest + "/" + sName;
        if (stat(sFrom.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            SampleCopyTree(sFrom, sTo);
            continue;
        }
        FILE* fpIn = fopen(sFrom.c_str(), "rb");
        std::string sData;
        char ab[65536];
        size_t cb;
        if (!fpIn) {
            SampleFail("cannot read %s", sFrom.c_str());
            continue;
        }
        while ((cb = fread(ab, 1, sizeof(ab), fpIn)) > 0) sData.append(ab, cb);
        fclose(fpIn);
        SampleWrite(sTo, sData);
        chmod(sTo.c_str(), st.st_mode & 07777);
    }
    closedir(pDir);
}

/* 1 when sDir holds an entry named sName in any case. */
static int SampleHasName(const std::string& sDir, const char* szName)
{
    DIR* pDir = opendir(sDir.c_str());
    struct dirent* pEnt;
    int bFound = 0;
    if (!pDir) return 0;
    while (!bFound && (pEnt = readdir(pDir)) != NULL) bFound = strcasecmp(pEnt->d_name, szName) == 0;
    closedir(pDir);
    return bFound;
}

/* Lines joined with CR LF, as Windows programs write text files. */
static std::string SampleCrLf(const std::string& sText)
{
    std::string sOut;
    for (char ch : sText) {
        if (ch == '\n') sOut += '\r';
        sOut += ch;
    }
    return sOut;
}

/* A text as a registry string: backslashes and quotes escaped. */
static std::string SampleRegString(const std::string& s)
{
    std::string sOut = "\"";
    for (char ch : s) {
        if (ch == '\\' || ch == '"') sOut += '\\';
        sOut += ch;
    }
    return sOut + "\"";
}

/* A text inside single quotes for /bin/sh. */
static std::string SampleShellQuote(const std::string& s)
{
    std::string sOut = "'";
    for (char ch : s) {
        if (ch == '\'') sOut += "'\\''";
        else sOut += ch;
    }
    return sOut + "'";
}

/* The registry's form of a directory: as it is, or (--lowercase-path) in
 * lower case with a trailing backslash. */
static std::string SampleRegDir(const SAMPLE_OPTIONS& opt, const std::string& sDir)
{
    if (!opt.bLowercase) return sDir;
    std::string s = sDir;
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
    return s + "\\";
}

static std::string SampleDataDir(int i) { return "C:\\QUILLDATA\\PART" + std::to_string(i); }

static std::string SampleServiceKeyLines(const SAMPLE_OPTIONS& opt)
{
    return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\quilltat]\n"
           "\"DisplayName\"=\"Quill statistics service\"\n"
           "\"ImagePath\"=" +
           SampleRegString(opt.sProgramDir + "\\quilltat.exe") + "\n\"Start\"=dword:00000002\n";
}

static void SampleRegistry(const SAMPLE_OPTIONS& opt)
{
    std::string s = "Windows Registry Editor Version 5.00\n\n";
    if (!opt.bNoProductKey) {
        s += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Garnet]\n";
        if (!opt.bNoProductKeyPath) s += "\"Path\"=" + SampleRegString(SampleRegDir(opt, opt.sProgramDir)) + "\n";
        s += "\n";
        if (opt.bFiveKey) {
            s += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Garnet\\5.0]\n";
            s += "\"DataPath\"=" + SampleRegString(SampleRegDir(opt, "C:\\QUILLDATA\\OLD50")) + "\n\n";
        }
        for (int i = 1; i <= opt.cDataDirs; i++) {
            s += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Garnet\\Partition" + std::to_string(i) + "]\n";
            s += "\"DataPath\"=" + SampleRegString(SampleRegDir(opt, SampleDataDir(i))) + "\n\n";
        }
    }
    if (opt.bParlanceKey) {
        s += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vireo\\Parlance Mux]\n";
        if (opt.bParlanceKeyPath) s += "\"Path\"=" + SampleRegString(SampleRegDir(opt, opt.sProgramDir)) + "\n";
        s += "\n";
    }
    if (opt.bServiceKey) s += SampleServiceKeyLines(opt) + "\n";
    SampleWrite(opt.sRoot + "/registry.reg", SampleCrLf(s));
}

/* quillreg.bat: run as "/bin/sh quillreg.bat PROGRAMDIR" by the emulation.
 * Uses only shell built-ins, so it works whatever PATH holds. */
static void SampleQuillreg(const SAMPLE_OPTIONS& opt, const std::string& sProgramHost)
{
    std::string s;
    if (opt.sQuillreg == "none") return;
    s = "# quillreg.bat of the sample installation: registers the statistics\n"
        "# service. The emulation runs it as /bin/sh quillreg.bat PROGRAMDIR.\n";
    if (opt.sQuillreg == "noop") {
        s += "exit 3\n";
    } else {
        std::string sLines = "\n" + SampleServiceKeyLines(opt);
        s += "[ -n \"$HERON_ROOT\" ] || exit 2\n{\n";
        size_t iStart = 0;
        while (iStart < sLines.size()) {
            size_t iEnd = sLines.find('\n', iStart);
            s += "    printf '%s\\r\\n' " + SampleShellQuote(sLines.substr(iStart, iEnd - iStart)) + "\n";
            iStart = iEnd + 1;
        }
        s += "} >> \"$HERON_ROOT/registry.reg\" || exit 1\nexit 0\n";
    }
    SampleWrite(sProgramHost + "/quillreg.bat", s);
}

static int SampleParse(int argc, char** argv, SAMPLE_OPTIONS* pOpt)
{
    pOpt->cDataDirs = 1;
    pOpt->sProgramDir = "C:\\VIREO\\GARNET";
    pOpt->sQuillreg = "register";
    for (int i = 1; i < argc; i++) {
        std::string sArg = argv[i];
        auto next = [&](std::string* ps) {
            if (i + 1 >= argc) {
                fprintf(stderr, "heron-sample: %s needs a value\n", sArg.c_str());
                return 0;
            }
            *ps = argv[++i];
            return 1;
        };
        std::string sValue;
        if (sArg == "--help" || sArg == "-h") {
            fputs(kHelp, stdout);
            exit(0);
        } else if (sArg == "--version") {
            puts("heron-sample FI1.01");
            exit(0);
        } else if (sArg == "--stamp") {
            if (!next(&pOpt->sStamp)) return 0;
        } else if (sArg == "--file-version") {
            if (!next(&pOpt->sFileVersion)) return 0;
        } else if (sArg == "--write-key-file") {
            if (!next(&pOpt->sWriteKeyFile)) return 0;
        } else if (sArg == "--write-program") {
            if (!next(&pOpt->sWriteProgram)) return 0;
        } else if (sArg == "--root") {
            if (!next(&pOpt->sRoot)) return 0;
        } else if (sArg == "--program-dir") {
            if (!next(&pOpt->sProgramDir)) return 0;
            while (pOpt->sProgramDir.size() > 3 && pOpt->sProgramDir.back() == '\\') pOpt->sProgramDir.pop_back();
        } else if (sArg == "--data-dirs") {
            char* pEnd;
            if (!next(&sValue)) return 0;
            long n = strtol(sValue.c_str(), &pEnd, 10);
            if (*pEnd || n < 0 || n > 64) {
                fprintf(stderr, "heron-sample: --data-dirs takes 0 to 64\n");
                return 0;
            }
            pOpt->cDataDirs = (int)n;
        } else if (sArg == "--five-key") {
            pOpt->bFiveKey = 1;
        } else if (sArg == "--no-registry") {
            pOpt->bNoRegistry = 1;
        } else if (sArg == "--no-product-key") {
            pOpt->bNoProductKey = 1;
        } else if (sArg == "--no-product-key-path") {
            pOpt->bNoProductKeyPath = 1;
        } else if (sArg == "--lowercase-path") {
            pOpt->bLowercase = 1;
        } else if (sArg == "--parlance-key") {
            pOpt->bParlanceKey = 1;
            pOpt->bParlanceKeyPath = 1;
        } else if (sArg == "--parlance-key-no-path") {
            pOpt->bParlanceKey = 1;
            pOpt->bParlanceKeyPath = 0;
        } else if (sArg == "--qserver-on-path") {
            pOpt->bQserverOnPath = 1;
        } else if (sArg == "--quill-ini-windows") {
            pOpt->bQuillIniWindows = 1;
        } else if (sArg == "--service-key") {
            pOpt->bServiceKey = 1;
        } else if (sArg == "--quillreg") {
            if (!next(&pOpt->sQuillreg)) return 0;
            if (pOpt->sQuillreg != "register" && pOpt->sQuillreg != "noop" && pOpt->sQuillreg != "none") {
                fprintf(stderr, "heron-sample: --quillreg takes register, noop or none\n");
                return 0;
            }
        } else if (sArg == "--tree") {
            struct stat st;
            if (!next(&pOpt->sTree)) return 0;
            if (stat((pOpt->sTree + "/program").c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                fprintf(stderr, "heron-sample: %s has no program directory\n", pOpt->sTree.c_str());
                return 0;
            }
        } else if (sArg == "--backup") {
            if (!next(&sValue)) return 0;
            pOpt->vBackups.push_back(sValue);
        } else if (sArg == "--no-key-file") {
            pOpt->bNoKeyFile = 1;
        } else if (sArg == "--key-file-readonly") {
            pOpt->bKeyFileReadOnly = 1;
        } else {
            fprintf(stderr, "heron-sample: unknown option %s (see --help)\n", sArg.c_str());
            return 0;
        }
    }
    {
        char chDrive = pOpt->sProgramDir.size() >= 3 ? (char)(pOpt->sProgramDir[0] | 0x20) : 0;
        if (chDrive < 'a' || chDrive > 'y' || pOpt->sProgramDir[1] != ':' || pOpt->sProgramDir[2] != '\\') {
            fprintf(stderr, "heron-sample: --program-dir must be a full path on a drive A to Y\n");
            return 0;
        }
    }
    if (pOpt->sRoot.empty() && pOpt->sWriteKeyFile.empty() && pOpt->sWriteProgram.empty()) {
        fprintf(stderr, "heron-sample: --root DIR is required (see --help)\n");
        return 0;
    }
    while (pOpt->sRoot.size() > 1 && pOpt->sRoot.back() == '/') pOpt->sRoot.pop_back();
    return 1;
}

/* A product program: a resource-only Portable Executable with a file version. */
static int SampleWriteProgram(const std::string& sHost, const std::string& sVersion)
{
    PEW_LAYOUT layout;
    unsigned int au[4] = {0, 0, 0, 0};
    memset(&layout, 0, sizeof(layout));
    if (sscanf(sVersion.c_str(), "%u.%u.%u.%u", &au[0], &au[1], &au[2], &au[3]) < 1) {
        fprintf(stderr, "heron-sample: file version \"%s\" is not dotted numbers\n", sVersion.c_str());
        return 0;
    }
    layout.szFileVersion = sVersion.c_str();
    for (int i = 0; i < 4; i++) layout.awFileVersion[i] = (unsigned short)au[i];
    if (!PewWriteFile(sHost.c_str(), &layout)) {
        SampleFail("cannot write %s", sHost.c_str());
        return 0;
    }
    return 1;
}

int main(int argc, char** argv)
{
    SAMPLE_OPTIONS opt = SAMPLE_OPTIONS();
    if (!SampleParse(argc, argv, &opt)) return 2;
    if (opt.sStamp.empty()) opt.sStamp = "Release 8.0.1|March 3, 2010";
    if (opt.sFileVersion.empty()) opt.sFileVersion = "8.0.1.0";
    if (!opt.sWriteKeyFile.empty()) {
        if (!PewWriteKeyFile(opt.sWriteKeyFile.c_str(), opt.sStamp.c_str(), opt.sFileVersion.c_str())) {
            fprintf(stderr, "heron-sample: cannot write the key file %s (stamp of at most %u characters)\n",
                    opt.sWriteKeyFile.c_str(), PEW_STAMP_CAPACITY);
            return 1;
        }
        return 0;
    }
    if (!opt.sWriteProgram.empty()) return SampleWriteProgram(opt.sWriteProgram, opt.sFileVersion) ? 0 : 1;
    {
        /* A machine root is a directory: one clear error, not one per file below it. */
        struct stat st;
        if (!opt.sRoot.empty() && stat(opt.sRoot.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            fprintf(stderr, "heron-sample: --root %s is not a directory\n", opt.sRoot.c_str());
            return 2;
        }
    }
    SampleMakeDirs(opt.sRoot);
    {
        char szReal[4096];
        if (realpath(opt.sRoot.c_str(), szReal)) opt.sRoot = szReal;
    }
    std::string sProgramHost = SampleHostPath(opt, opt.sProgramDir);

    if (!opt.bNoRegistry) SampleRegistry(opt);

    /* The program directory and the product's files. */
    SampleMakeDirs(sProgramHost);
    if (!opt.sTree.empty()) SampleCopyTree(opt.sTree + "/program", sProgramHost);
    if (!SampleHasName(sProgramHost, "qstrings.dll"))
        if (!PewWriteKeyFile((sProgramHost + "/qstrings.dll").c_str(), opt.sStamp.c_str(), opt.sFileVersion.c_str()))
            SampleFail("cannot write the key file (stamp \"%s\")", opt.sStamp.c_str());
    if (!SampleHasName(sProgramHost, "QSERVER.EXE"))
        SampleWriteProgram(sProgramHost + "/QSERVER.EXE", opt.sFileVersion);
    if (opt.bNoKeyFile) {
        DIR* pDir = opendir(sProgramHost.c_str());
        struct dirent* pEnt;
        while (pDir && (pEnt = readdir(pDir)) != NULL)
            if (strcasecmp(pEnt->d_name, "qstrings.dll") == 0) unlink((sProgramHost + "/" + pEnt->d_name).c_str());
        if (pDir) closedir(pDir);
    } else if (opt.bKeyFileReadOnly) {
        DIR* pDir = opendir(sProgramHost.c_str());
        struct dirent* pEnt;
        while (pDir && (pEnt = readdir(pDir)) != NULL)
            if (strcasecmp(pEnt->d_name, "qstrings.dll") == 0) chmod((sProgramHost + "/" + pEnt->d_name).c_str(), 0444);
        if (pDir) closedir(pDir);
    }
    SampleQuillreg(opt, sProgramHost);

    /* Backup directories of recorded levels, named as the installer names
     * them: the label up to its "|", without blanks and dots. */
    for (const std::string& sLabel : opt.vBackups) {
        std::string sDir;
        for (char ch : sLabel.substr(0, sLabel.find('|')))
            if (ch != ' ' && ch != '.') sDir += ch;
        if (!sDir.empty()) SampleMakeDirs(sProgramHost + "/" + sDir);
    }

    /* Data directories. */
    for (int i = 1; i <= opt.cDataDirs || (i == 1 && opt.bQuillIniWindows); i++) {
        std::string sDataHost = SampleHostPath(opt, SampleDataDir(i));
        if (!opt.sTree.empty()) SampleCopyTree(opt.sTree + "/data", sDataHost);
        SampleWrite(sDataHost + "/QUILL.INI", SampleCrLf("[Quill]\nDirectory=" + SampleDataDir(i) + "\n"));
    }

    /* The Windows directories. */
    SampleMakeDirs(SampleHostPath(opt, "C:\\WINDOWS\\SYSTEM32"));
    if (!opt.sTree.empty()) SampleCopyTree(opt.sTree + "/system", SampleHostPath(opt, "C:\\WINDOWS\\SYSTEM32"));
    SampleMakeDirs(SampleHostPath(opt, "C:\\TEMP"));
    if (opt.bQuillIniWindows) {
        SampleWrite(SampleHostPath(opt, "C:\\WINDOWS\\QUILL.INI"),
                    SampleCrLf("[Quill]\nDirectory=" + SampleRegDir(opt, SampleDataDir(1)) + "\n"));
    }

    /* Shell lines for a person or a script that wants to use the machine. */
    {
        std::string sEnv = "export HERON_ROOT=" + SampleShellQuote(opt.sRoot) + "\n";
        if (opt.bQserverOnPath) sEnv += "export PATH=" + SampleShellQuote(sProgramHost) + ":\"$PATH\"\n";
        SampleWrite(opt.sRoot + "/heron.env", sEnv);
    }
    if (s_bFailed) return 1;
    printf("heron-sample: machine ready in %s (program directory %s)\n", opt.sRoot.c_str(),
           opt.sProgramDir.c_str());
    return 0;
}
