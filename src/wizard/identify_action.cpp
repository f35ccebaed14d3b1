/*
 * identify_action.cpp - the wizard's identification action (UM_IDENTIFY) and
 * the revert-label choice.
 *
 * Not built yet: the identification page waits with its buttons as the page
 * leaves them.
 */
#include "wizard/wizard.h"

void IdentifyAction(HWND hDlg) { (void)hDlg; }

void RevertLabelSelected(HWND hDlg) { (void)hDlg; }
