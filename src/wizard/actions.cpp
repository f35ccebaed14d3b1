/*
 * actions.cpp - the wizard's two long actions and the revert-label choice.
 *
 * Placeholders: identification (UM_IDENTIFY), the upgrade (UM_UPGRADE) and
 * the revert-label selection are built separately; until then the pages
 * that start them wait with their buttons as the pages leave them.
 */
#include "wizard/wizard.h"

void IdentifyAction(HWND hDlg) { (void)hDlg; }

void UpgradeAction(HWND hDlg) { (void)hDlg; }

void RevertLabelSelected(HWND hDlg) { (void)hDlg; }
