/*
 * selfcheck.h - the package self-check: the byte sum of the installer's own
 * file, verified in a small modal dialog with a gauge.
 */
#ifndef HERON_PACKAGE_SELFCHECK_H
#define HERON_PACKAGE_SELFCHECK_H

#include "platform/platform.h"

/* Runs dialog 401 modally with CheckDlgProc: 0 when the check passed,
 * 1 when the user closed it with Cancel after a failure. */
int SelfCheckRun(void);
/* 1 when the file's byte sum equals the stored sum, else 0. hGauge may be NULL. */
int VerifyModuleChecksum(HWND hDlg, HWND hGauge);

#endif
