/*
 * selfcheck.h - the package self-check: the byte sum of the installer's own
 * file, verified in a small modal dialog (resource 401) with a gauge.
 */
#ifndef HERON_PACKAGE_SELFCHECK_H
#define HERON_PACKAGE_SELFCHECK_H

#include "platform/dialog.h"

/* Runs dialog 401 modally with CheckDlgProc: 0 when the check passed,
 * 1 when the user closed it with Cancel after a failure (or the dialog
 * could not run). */
int SelfCheckRun(void);
/* The self-check dialog's event handler. */
INT_PTR CheckDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
/* 1 when the file's byte sum equals the stored sum, else 0 (also when the
 * file cannot be opened, after an error box, or carries no stored sum).
 * Logs the file name and both sums; refreshes gszStartDir. hGauge may be
 * NULL. */
int VerifyModuleChecksum(HWND hDlg, HWND hGauge);
/* dwSum plus the cb bytes at pb, wrapping at 32 bits: the byte-by-byte sum
 * of the check, taken eight bytes at a time. */
DWORD SelfCheckSum(DWORD dwSum, const BYTE* pb, size_t cb);
/* Tests: check this file (a Windows path) instead of the running
 * executable; NULL or "" restores the executable. */
void SelfCheckSetModulePath(const char* szPath);

#endif
