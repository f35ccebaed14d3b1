/*
 * wizard.h - the wizard: dialog 400 and its message loop.
 */
#ifndef HERON_WIZARD_WIZARD_H
#define HERON_WIZARD_WIZARD_H

#include "platform/platform.h"

/* Registers the gauge class, creates the wizard into ghMainDlg and runs the
 * message loop until the quit request. Returns 1 with the quit request's
 * code in *piExitCode, or 0 when the dialog cannot be created. */
int WizardRun(int* piExitCode);

#endif
