/*
 * upgrade_action.cpp - the wizard's upgrade action (UM_UPGRADE).
 *
 * Not built yet: the upgrade page waits with its buttons as the page leaves
 * them.
 */
#include "wizard/wizard.h"

void UpgradeAction(HWND hDlg) { (void)hDlg; }
