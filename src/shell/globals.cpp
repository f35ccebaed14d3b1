/*
 * globals.cpp - definitions of the shared process-wide state (globals.h).
 */
#include "shell/globals.h"

WORD gwOptions;
HINSTANCE ghInstance;
char gszModulePath[520];
char gszStartDir[1040];
char gszRevertLabel[101];
const char* gpszPatchIni = "PATCH.INI";
HGLOBAL ghLicenseText;
DWORD gdwLicenseSize;
HWND ghMainDlg;

int giOperationMode = MODE_UPGRADE;
DWORD dwUpgradeType;
char gszCurrentRelease[261];
char gszBackupDir[261];
char** gpcanFixLabels;
int giFixLabels;
DWORD gdwBackupCount;
HWND ghGaugeFile;
HWND ghGaugeTotal;

char* gpStrings[STRING_COUNT_MAX];
int gdwStringCount;
DWORD gdwChecksums;
DWORD dwNumFiles;
DWORD gdwPayloadCount;

char* gpProgramDir;
char** gpQuillData;
int giPartitions = 1;
BYTE* gpDataDirValid;
char* gpSystemDir;

const char* StringText(int iId)
{
    if (iId < 0 || iId >= STRING_COUNT_MAX || iId >= gdwStringCount || !gpStrings[iId]) return "";
    return gpStrings[iId];
}
