/*
 * startup.cpp - the installer's entry function, the command line and the run
 * modes.
 *
 * Divisions:
 *   1. The command line (ParseCommandLine)
 *   2. The start-up sequence (HeronMain), in the steps its comments number:
 *        1, 2    own path and start-up directory
 *        3       an earlier instance's window
 *        4       the string table
 *        5       the log
 *        6       the patch registry file's name
 *        7, 8    options and the package-only modes (EXTRACT, CONTENTS)
 *        9       the agreement text
 *        10, 11  the program directory and the key file
 *        12      the two tools, written into the start-up directory
 *        13      the fix listing
 *        14      the running-product loop
 *        15      the self-check
 *        16-18   discovery
 *        19, 20  the wizard and its message loop
 *   3. The exit work
 *
 * Ends: the extraction, the contents listing, the fix listing, a refused
 * command line, a running product (Cancel) and a failed self-check skip the
 * exit work (the log then stays in the temporary directory). Every
 * unattended end with EXIT_STARTUP ends the process at once. Everything else
 * goes through the exit work, which moves the log into the program
 * directory. The codes are those of shell/exitcodes.h: only an end the
 * person chose (Cancel while the product runs) and a finished mode give
 * EXIT_DONE.
 */
#include "main/startup.h"

#include "identify/version.h"
#include "package/selfcheck.h"
#include "package/store.h"
#include "package/unpack.h"
#include "platform/dialog.h"
#include "platform/ui.h"
#include "records/listing.h"
#include "recovery/interrupted.h"
#include "report/drift.h"
#include "report/plan.h"
#include "report/report.h"
#include "report/result.h"
#include "shell/discovery.h"
#include "shell/exitcodes.h"
#include "shell/globals.h"
#include "shell/log.h"
#include "shell/running.h"
#include "shell/text.h"
#include "shell/utils.h"
#include "wizard/wizard.h"

#include <string.h>

#define STR_HELP 4
#define STR_RUNNING 8
#define STR_NO_LOG 9
#define STR_NO_PROGRAM_DIR 10
#define STR_NO_DATA_DIR 11
#define STR_NO_SYSTEM_DIR 12
#define STR_NO_DIALOG 13
#define STR_NO_KEY 41
#define STR_KIND 42

static int s_bLogOpen;
static int s_iExtractCode; /* the extraction's exit code */

/* ---- 1. The command line ---------------------------------------------- */

static int StartupIsSeparator(char ch) { return ch == ' ' || ch == '-' || ch == '/'; }

/* Extracts into szWord's directory, or "." when it is not a directory. A
 * directory name too long for a path is refused, never cut to its parent. */
static void StartupExtractInto(const char* szWord)
{
    char szDest[261];
    if (strlen(szWord) >= MAX_PATH - 1) {
        LogFormat(0, "Path too long: %s", szWord);
        s_iExtractCode = EXIT_EXTRACT_WRITE;
        return;
    }
    if (!DirectoryExists(szWord)) {
        char szMsg[TEXT_FORMAT_MAX];
        TextFormat(szMsg, sizeof(szMsg), "%s is not a valid path: extracting locally", szWord);
        PlatMessageBox(NULL, szMsg, "Error", MB_OK | MB_ICONERROR);
        TextCopy(szDest, sizeof(szDest), ".");
    } else {
        TextCopy(szDest, sizeof(szDest), szWord);
    }
    s_iExtractCode = ExtractFiles(szDest);
}

int ParseCommandLine(const char* szCmdLine)
{
    const char* p = szCmdLine ? szCmdLine : "";
    int bResult = 1;
    int bLabel = 0;
    int bResultFile = 0; /* the next word is the result file */
    char szWord[TEXT_FORMAT_MAX];

    gszRevertLabel[0] = 0;
    giReportFlags = 0;
    gszResultFile[0] = 0;
    for (;;) {
        const char* pStart;
        size_t cch;
        while (*p && StartupIsSeparator(*p)) p++;
        if (!*p) break;
        pStart = p;
        while (*p && !StartupIsSeparator(*p)) p++;
        cch = (size_t)(p - pStart);
        /* A word that does not fit refuses the whole command line: a cut
         * word is another word, and the words after it would be lost. */
        if (!TextCopyN(szWord, sizeof(szWord), pStart, cch)) {
            LogFormat(0, "Command line word too long: %d characters", (int)cch);
            return 0;
        }

        if (TextEqualNoCase(szWord, "extract")) {
            gwOptions = OPT_EXTRACT;
            continue;
        }
        if (gwOptions == OPT_EXTRACT) {
            StartupExtractInto(szWord);
            return 1;
        }
        if (bResultFile) {
            /* The result file: one word, a Windows path that fits a path
             * buffer whole. */
            bResultFile = 0;
            if (!TextCopy(gszResultFile, sizeof(gszResultFile), szWord)) {
                LogFormat(0, "Result file name too long: %s", szWord);
                gszResultFile[0] = 0;
                giReportFlags &= ~(DWORD)REPORT_RESULT;
                return 0;
            }
            giReportFlags |= REPORT_RESULT;
            continue;
        }
        if (TextEqualNoCase(szWord, "plan")) {
            giReportFlags |= REPORT_PLAN;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "verify")) {
            giReportFlags |= REPORT_VERIFY;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "result")) {
            bResultFile = 1;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "contents")) {
            gwOptions = OPT_CONTENTS | OPT_NOUSER | OPT_NOCHECKSUM;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "listfix")) {
            gwOptions = OPT_LISTFIX | OPT_NOUSER | OPT_NOCHECKSUM;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "fixdetails")) {
            gwOptions = OPT_FIXDETAILS | OPT_NOUSER | OPT_NOCHECKSUM;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "nochecksum")) {
            gwOptions |= OPT_NOCHECKSUM;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "nouser")) {
            gwOptions |= OPT_NOUSER;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "force")) {
            gwOptions |= OPT_FORCE;
            bLabel = 0;
        } else if (TextEqualNoCase(szWord, "revert")) {
            gwOptions |= OPT_REVERT;
            bLabel = 1;
        } else if (bLabel) {
            char* pWord = szWord;
            size_t cchWord;
            LogFormat(0, "Assuming %s is a part of a label", szWord);
            if (*pWord == '"') pWord++;
            cchWord = strlen(pWord);
            if (cchWord && pWord[cchWord - 1] == '"') pWord[cchWord - 1] = 0;
            /* The label holds 100 characters; a longer one would name another
             * level, so the command line is refused. */
            if ((gszRevertLabel[0] && !TextAppend(gszRevertLabel, sizeof(gszRevertLabel), " ")) ||
                !TextAppend(gszRevertLabel, sizeof(gszRevertLabel), pWord)) {
                LogFormat(0, "Revert label too long: at most %d characters", (int)sizeof(gszRevertLabel) - 1);
                gszRevertLabel[0] = 0;
                return 0;
            }
        } else {
            LogFormat(0, "Not recognised string: %s", szWord);
            bResult = 0;
        }
    }
    if (gwOptions == OPT_EXTRACT) {
        char szDest[261];
        TextCopy(szDest, sizeof(szDest), ".");
        s_iExtractCode = ExtractFiles(szDest);
        return 1;
    }
    if (bResultFile) {
        LogLine("The word result needs a file name after it", 0);
        return 0;
    }
    /* A plan and a drift report are two different runs, and neither is a
     * listing. */
    if ((giReportFlags & REPORT_PLAN) && (giReportFlags & REPORT_VERIFY)) {
        LogLine("The words plan and verify cannot be given together", 0);
        return 0;
    }
    if ((giReportFlags & (REPORT_PLAN | REPORT_VERIFY)) && (gwOptions & (OPT_LISTFIX | OPT_FIXDETAILS | OPT_CONTENTS))) {
        LogLine("The words plan and verify cannot be given with a listing word", 0);
        return 0;
    }
    return bResult;
}

/* ---- 2. The start-up sequence ---------------------------------------- */

static void StartupErrorBox(const char* szText, const char* szCaption)
{
    PlatMessageBox(ghMainDlg, szText, szCaption ? szCaption : StringText(3), MB_OK | MB_ICONERROR);
}

/* A start-up failure of an unattended run: the process ends with code 1. */
static void StartupFailUnattended(void) { PlatExitProcess(EXIT_STARTUP); }

static void StartupExitWork(void);

/* Unpacks the agreement text into ghLicenseText. 1 done, 0 when its payload
 * is missing; a payload that fails to unpack ends the process with
 * EXIT_DAMAGED. */
static int StartupLoadLicense(void)
{
    DWORD cb = 0;
    const BYTE* pb = FindPayload(2, KIND_LICENSE, &cb);
    if (!pb) return 0;
    if (!UnpackPayload(pb, cb, &ghLicenseText, &gdwLicenseSize)) {
        if (ghLicenseText) ghLicenseText = PlatGlobalFree(ghLicenseText);
        gdwLicenseSize = 0;
        if (!(gwOptions & OPT_NOUSER))
            StartupErrorBox("Failed to load license entry resource.", "Error");
        PlatExitProcess(EXIT_DAMAGED);
    }
    return 1;
}

/* Writes one tool out of the package. 1 written, 0 payload missing; ends the
 * process with EXIT_STARTUP when the file cannot be created or is written
 * short (it is then deleted), with EXIT_DAMAGED when the payload fails to
 * unpack. */
static int StartupWriteTool(int iKind, const char* szFile)
{
    int iResult = WritePayloadFile(iKind, szFile);
    if (iResult == -1) {
        LogFormat(2, "Failed to open the temp file %s.", szFile);
        PlatExitProcess(EXIT_STARTUP);
    } else if (iResult == -2) {
        PlatExitProcess(EXIT_DAMAGED);
    } else if (iResult < 0) {
        LogFormat(2, "Failed to write the file %s.", szFile);
        PlatExitProcess(EXIT_STARTUP);
    }
    if (iResult > 0) PlatMarkProgram(szFile);
    return iResult > 0;
}

/* The fix listing (LISTFIX, FIXDETAILS): returns the exit code, or minus
 * the exit code after the exit work. */
static int StartupFixListing(void)
{
    const char* szFile = (gwOptions & OPT_LISTFIX) ? "patch.txt" : "patch_detail.txt";
    char* szText;
    if (!PatchIniExists()) {
        PlatMessageBox(NULL, "Can't find patch.ini", "Info", MB_OK);
        return 0;
    }
    if (!LoadStrings()) {
        StartupErrorBox("Unable to load resource strings. This file is corrupt and can not continue.", "Error");
        return -EXIT_DAMAGED;
    }
    /* The installed release's stamp, through the version-stamp tool, then
     * the listing files written afresh from the patch registry file. */
    ReadVersionStamp();
    szText = ReadPatchInfo();
    if (szText) {
        PlatMessageBox(NULL, szText, "Info", MB_OK);
        PlatHeapFree(szText);
        return 0;
    }
    szText = LoadListingFile(szFile);
    if (szText) {
        PlatMessageBox(NULL, szText, "Info", MB_OK);
        PlatHeapFree(szText);
    } else {
        PlatMessageBox(NULL, "No information about current patches is available", "Info", MB_OK);
    }
    return 0;
}

/* In a plan or drift report the tools go to the temporary directory, not
 * the start-up directory: the run changes nothing but its log and report. */
static void StartupToolDir(char* szOut, size_t cbOut, const char* szTool)
{
    if (ReportDryRun() && ReportTempDir()[0] && JoinPath(szOut, cbOut, ReportTempDir(), szTool)) return;
    TextCopy(szOut, cbOut, szTool);
}

static int StartupRun(HINSTANCE hInstance, const char* szCmdLine);

/* An end at once (PlatExitProcess): what a dry run's tools wrote goes back,
 * the result is written. */
static void StartupExitHook(UINT uExitCode)
{
    if (giReportFlags & REPORT_PLAN) PlanPublish(0, (int)uExitCode);
    if (ReportDryRun()) ReportRestoreGuarded();
    ResultExitHook(uExitCode);
}

int HeronMain(HINSTANCE hInstance, const char* szCmdLine)
{
    int iExitCode;
    ResultBegin();
    iExitCode = StartupRun(hInstance, szCmdLine);
    PlatSetExitHook(NULL);
    /* A plan that ended before identification still says where it ended. */
    if (giReportFlags & REPORT_PLAN) PlanPublish(0, iExitCode);
    if (ReportDryRun()) ReportRestoreGuarded();
    ResultWrite(iExitCode);
    return iExitCode;
}

static int StartupRun(HINSTANCE hInstance, const char* szCmdLine)
{
    int iExitCode = 0;
    int bStartedUnattended;
    HWND hOther;
    char szTool[MAX_PATH];

    /* 1, 2: own path and start-up directory (the program's entry has chosen
     * the front end already). */
    ghInstance = hInstance;
    if (PlatGetModuleFileName(gszModulePath, sizeof(gszModulePath)) == 0) {
        char szMsg[TEXT_FORMAT_MAX];
        TextFormat(szMsg, sizeof(szMsg), "GetModuleFileName() failed : %ld", (int)PlatGetLastError());
        PlatMessageBox(NULL, szMsg, "Error", MB_OK | MB_ICONERROR);
    }
    if (PlatGetCurrentDirectory(sizeof(gszStartDir), gszStartDir) >= sizeof(gszStartDir)) gszStartDir[0] = 0;

    /* 3: an earlier instance's window. */
    hOther = PlatFindWindow("UPQUILL", NULL);
    if (hOther) {
        HWND hPopup = PlatGetLastActivePopup(hOther);
        PlatBringWindowToTop(hPopup);
        if (PlatIsIconic(hPopup)) PlatRestoreWindow(hPopup);
        StartupExitWork();
        return EXIT_STARTUP;
    }

    /* 4: the string table. */
    if (!LoadStrings()) {
        StartupErrorBox("Unable to load resource strings. This file is corrupt and can not continue.", "Error");
        StartupExitWork();
        return EXIT_DAMAGED;
    }

    /* 5: the log. */
    if (!OpenLog()) {
        StartupErrorBox(StringText(STR_NO_LOG), NULL);
        StartupExitWork();
        return EXIT_STARTUP;
    }
    s_bLogOpen = 1;

    /* 6: the patch registry file's name. */
    gpszPatchIni = strcmp(StringText(STR_KIND), "GWA") == 0 ? "GWA.INI" : "PATCH.INI";

    /* 7, 8: options and the package-only modes. */
    if (!ParseCommandLine(szCmdLine)) {
        PlatMessageBox(NULL, StringText(STR_HELP), StringText(3), MB_OK | MB_ICONERROR);
        return EXIT_STARTUP;
    }
    ReportNoteTempDir();
    ResultNoteDescription(StringText(0));
    /* Every later end, also one at once, leaves its result and, in a dry
     * run, the machine as it was. */
    if (ReportDryRun() || (giReportFlags & REPORT_RESULT)) PlatSetExitHook(StartupExitHook);
    if (ReportDryRun()) {
        TextCopy(gszStartDir, sizeof(gszStartDir), ReportTempDir());
        LogLine(giReportFlags & REPORT_PLAN ? "Plan only: nothing will be changed." : "Verify only: nothing will be changed.", 0);
    }
    if (gwOptions & OPT_EXTRACT) return s_iExtractCode;
    if (gwOptions & OPT_CONTENTS) return ListContents() ? EXIT_DONE : EXIT_DAMAGED;

    /* 9: the agreement text. */
    if (!StartupLoadLicense()) {
        LogLine("Failed to load license entry resource.", 0);
        if (gwOptions & OPT_NOUSER) StartupFailUnattended();
        StartupErrorBox("Failed to load license entry resource.", "Error");
        StartupExitWork();
        return EXIT_DAMAGED;
    }

    /* 10, 11: the program directory and the key file (put back first when a
     * run that was stopped in its commit left its place empty). */
    FindProgramDir();
    if (!(gwOptions & (OPT_LISTFIX | OPT_FIXDETAILS)) && !ReportDryRun()) PutBackInterruptedFiles();
    if (!KeyFileExists()) {
        if (gwOptions & OPT_NOUSER) {
            LogLine("Vireo Garnet key not found in the registry", 0);
            StartupFailUnattended();
        }
        StartupErrorBox(StringText(STR_NO_KEY), NULL);
    }

    /* 12: the two tools, written into the start-up directory. */
    StartupToolDir(szTool, sizeof(szTool), "UpdateVersion.exe");
    if (!StartupWriteTool(KIND_UPDATE64, szTool)) {
        LogLine("Failed to load version-stamp tool resource.", 0);
        if (gwOptions & OPT_NOUSER) StartupFailUnattended();
        StartupErrorBox("Failed to load version-stamp tool resource.", "Error");
        StartupExitWork();
        return EXIT_DAMAGED;
    }
    StartupToolDir(szTool, sizeof(szTool), "cabarc.exe");
    if (!StartupWriteTool(KIND_UPDATECAB, szTool)) {
        LogLine("Failed to load cabinet tool resource.", 0);
        if (gwOptions & OPT_NOUSER) StartupFailUnattended();
        StartupErrorBox("Failed to load cabinet tool resource.", "Error");
        StartupExitWork();
        return EXIT_DAMAGED;
    }

    /* 13: the fix listing. */
    if (gwOptions & (OPT_LISTFIX | OPT_FIXDETAILS)) {
        int iCode = StartupFixListing();
        if (iCode >= 0) return iCode;
        StartupExitWork();
        return -iCode;
    }

    /* 14: refuse to go on while the product runs. */
    while (ProductRunning()) {
        if (gwOptions & OPT_NOUSER) {
            LogLine("Vireo Garnet is still running. Please, shut it down before proceeding.", 0);
            StartupFailUnattended();
        }
        if (PlatMessageBox(NULL, StringText(STR_RUNNING), StringText(3), MB_OKCANCEL | MB_ICONWARNING) == IDCANCEL)
            return 0;
    }

    /* 15: the self-check. */
    if (gwOptions & OPT_NOCHECKSUM) {
        LogLine("Module checksum skipped by command line option.", 0);
    } else if (SelfCheckRun() != 0) {
        return EXIT_DAMAGED;
    }
    /* The self-check notes the start-up directory again. */
    if (ReportDryRun()) TextCopy(gszStartDir, sizeof(gszStartDir), ReportTempDir());

    /* 16, 17, 18: discovery. */
    if (!FindProgramDir()) {
        if (gwOptions & OPT_NOUSER) {
            LogLine("Vireo Garnet Directory is incorrect", 0);
            StartupFailUnattended();
        }
        StartupErrorBox(StringText(STR_NO_PROGRAM_DIR), NULL);
        TextCopy(gpProgramDir, 261, "NULL");
    }
    if (!FindDataDirs()) {
        if (gwOptions & OPT_NOUSER) {
            LogLine("Vireo Garnet Data Directory is incorrect", 0);
            StartupFailUnattended();
        }
        StartupErrorBox(StringText(STR_NO_DATA_DIR), NULL);
        TextCopy(gpProgramDir, 261, "NULL");
    }
    if (!FindSystemDir()) {
        if (gwOptions & OPT_NOUSER) {
            LogLine("System directory was not found", 0);
            StartupFailUnattended();
        }
        StartupErrorBox(StringText(STR_NO_SYSTEM_DIR), NULL);
    }

    /* The stamp file the version-stamp tool writes goes back as it was. */
    if (ReportDryRun() && gpProgramDir) {
        char szStamp[MAX_PATH];
        if (JoinPath(szStamp, sizeof(szStamp), gpProgramDir, "currver.txt")) ReportGuardFile(szStamp);
    }

    /* The drift report needs no wizard: it reads and reports. */
    if (giReportFlags & REPORT_VERIFY) {
        iExitCode = VerifyInstallation();
        ReportRestoreGuarded();
        StartupExitWork();
        return iExitCode;
    }

    /* 19, 20: the wizard and its message loop. Identification may clear
     * the option word to hand a decision to the person: the run still
     * started unattended. */
    bStartedUnattended = (gwOptions & OPT_NOUSER) != 0;
    if (!WizardRun(&iExitCode)) {
        StartupErrorBox(StringText(STR_NO_DIALOG), NULL);
        iExitCode = EXIT_STARTUP;
    }
    /* An unattended run that ends before its upgrade or revert is done
     * never reports success. */
    if (bStartedUnattended && iExitCode == EXIT_DONE && !gbFinished) iExitCode = EXIT_FAILED;
    /* A failed upgrade or revert is never reported as done, even when the
     * person closed the wizard afterwards. */
    if (giOperationMode == MODE_FAILED_UPGRADE && iExitCode == EXIT_DONE) iExitCode = EXIT_FAILED;
    /* A plan exits as the real run would at identification; one that never
     * reached its last page still leaves what it knows. */
    if (giReportFlags & REPORT_PLAN) {
        if (PlanRefused() && iExitCode == EXIT_DONE) iExitCode = EXIT_NOT_APPLICABLE;
        PlanPublish(0, iExitCode);
        ReportRestoreGuarded();
    }

    StartupExitWork();
    return iExitCode;
}

/* ---- 3. The exit work ----------------------------------------------- */

static void StartupExitWork(void)
{
    int i;
    /* A plan or drift report registers nothing. */
    if (dwUpgradeType == 2 && giOperationMode == MODE_UPGRADE && !ReportDryRun()) RegisterStatService();
    if (s_bLogOpen) CloseLog();

    PlatHeapFree(gpProgramDir);
    gpProgramDir = NULL;
    if (gpQuillData) {
        for (i = 0; i < giPartitions; i++) {
            if (gpQuillData[i]) {
                LogFormat(1, "MainDlgProc: Before Freeing the memory from  = %s", gpQuillData[i]);
                PlatHeapFree(gpQuillData[i]);
                gpQuillData[i] = NULL;
            }
        }
        /* A diagnostics-tool package keeps one uncounted entry (count 0):
         * released too, without a log line. */
        if (giPartitions <= 0 && gpQuillData[0]) {
            PlatHeapFree(gpQuillData[0]);
            gpQuillData[0] = NULL;
        }
        LogLine("MainDlgProc: Before Freeing the memory from gpQuillData", 1);
        PlatHeapFree(gpQuillData);
        gpQuillData = NULL;
    }
    PlatHeapFree(gpDataDirValid);
    gpDataDirValid = NULL;
    PlatHeapFree(gpSystemDir);
    gpSystemDir = NULL;
    if (ghLicenseText) ghLicenseText = PlatGlobalFree(ghLicenseText);
    FreeStrings();
    gdwStringCount = -1;
}
