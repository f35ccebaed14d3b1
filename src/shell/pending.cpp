/*
 * pending.cpp - weak placeholders for modules still being written; each is
 * replaced by the module's own definition when it is linked in.
 */
#include "package/selfcheck.h"
#include "shell/discovery.h"
#include "shell/globals.h"
#include "shell/running.h"
#include "shell/text.h"
#include "wizard/wizard.h"

#define PENDING __attribute__((weak))

PENDING int FindProgramDir(void)
{
    if (!gpProgramDir) gpProgramDir = (char*)PlatHeapAlloc(261);
    if (gpProgramDir) TextCopy(gpProgramDir, 261, "C:\\VIREO\\GARNET");
    return 0;
}
PENDING int FindDataDirs(void) { return 0; }
PENDING int FindSystemDir(void) { return 0; }
PENDING int KeyFileExists(void) { return 1; }
PENDING int PatchIniExists(void) { return 1; }
PENDING int ProductRunning(void) { return 0; }
PENDING int RegisterStatService(void) { return 0; }
PENDING int SelfCheckRun(void) { return 0; }
PENDING int WizardRun(int* piExitCode)
{
    *piExitCode = 0;
    return 1;
}
