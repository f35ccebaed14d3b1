/*
 * globals.h - the installer's process-wide state.
 *
 * The installer is one procedural program on one thread; the state that
 * several modules share lives here, each item with the module that sets it.
 * Everything else stays static inside its module.
 */
#ifndef HERON_SHELL_GLOBALS_H
#define HERON_SHELL_GLOBALS_H

#include "platform/platform.h"

/* ---- Option word (start-up) ------------------------------------------ */
#define OPT_NOCHECKSUM 0x01
#define OPT_NOUSER 0x02
#define OPT_REVERT 0x04
#define OPT_LISTFIX 0x08
#define OPT_FIXDETAILS 0x10
#define OPT_CONTENTS 0x20
#define OPT_EXTRACT 0x40
#define OPT_FORCE 0x80
extern WORD gwOptions;

/* ---- Start-up ----------------------------------------------------------- */
extern HINSTANCE ghInstance;
extern char gszModulePath[520];
extern char gszStartDir[1040];
extern char gszRevertLabel[101];
extern const char* gpszPatchIni;
extern HGLOBAL ghLicenseText;
extern DWORD gdwLicenseSize;
extern HWND ghMainDlg;

/* ---- Run state ------------------------------------------------------------ */
#define MODE_UPGRADE 1
#define MODE_REVERT 2
#define MODE_UNDETERMINED 3
#define MODE_FAILED_UPGRADE 4
extern int giOperationMode;           /* identification and the wizard's actions */
extern DWORD dwUpgradeType;           /* 0, 1 hotfix, 2 fix pack: the release table's header */
extern char gszCurrentRelease[261];   /* the installed release's stamp */
extern char gszBackupDir[261];        /* the backup directory of the operation */
extern char** gpcanFixLabels;         /* revert labels */
extern int giFixLabels;
extern DWORD gdwBackupCount;
extern HWND ghGaugeFile;
extern HWND ghGaugeTotal;

/* ---- Package store ------------------------------------------------------- */
#define STRING_COUNT_MAX 64
extern char* gpStrings[STRING_COUNT_MAX]; /* string table, ids 0 to 51 */
extern int gdwStringCount;                /* number loaded; -1 after the exit work */
extern DWORD gdwChecksums;                /* checksum records of the release table */
extern DWORD dwNumFiles;                  /* file records of the release table */
extern DWORD gdwPayloadCount;             /* payload files (FILEENTRY/UPDATE ids) */

/* ---- Installation directories (discovery) ------------------------------- */
extern char* gpProgramDir;   /* 261 bytes once allocated */
extern char** gpQuillData;   /* data directories */
extern int giPartitions;     /* their count; 1 before discovery */
extern BYTE* gpDataDirValid; /* one byte per data directory */
extern char* gpSystemDir;    /* 261 bytes once allocated */

/* The text of string id, "" when it is not loaded. */
const char* StringText(int iId);

#endif
