/*
 * templates.cpp - the installer's dialog resources: the templates that a
 * resource script holds in the Windows build. The program provides them to
 * the platform layer through PlatFindDialogTemplate (platform/dialog.h), as
 * it provides its entry function.
 *
 *   400  the wizard, 239 x 231 dialog units, caption replaced at creation,
 *        no system menu, modal frame, centred
 *   401  the self-check, 186 x 42 dialog units, no caption, modal frame,
 *        centred
 *
 * Rectangles are x, y, width, height in dialog units. A control without
 * WS_VISIBLE is hidden at creation.
 */
#include "platform/dialog.h"
#include "ui/resource.h"

#include <stddef.h>

#define VIS WS_VISIBLE
#define TAB WS_TABSTOP

static const PLAT_DLGITEM s_aWizardItems[] = {
    {IDC_HEADING, PLAT_CTL_STATIC, "", 7, 7, 225, 19, 0, PLAT_UI_MAIN},
    {IDC_PROGRAM_CAP, PLAT_CTL_STATIC, "", 8, 93, 225, 10, 0, 0},
    {IDC_PROGRAM_DIR, PLAT_CTL_EDIT, "", 8, 107, 149, 14, ES_AUTOHSCROLL | WS_BORDER | TAB, 0},
    {IDC_PROGRAM_BROWSE, PLAT_CTL_BUTTON, "...", 160, 108, 18, 12, TAB, 0},
    {IDC_DATA_CAP, PLAT_CTL_STATIC, "", 8, 131, 150, 13, 0, 0},
    {IDC_DATA_DIRS, PLAT_CTL_COMBO, "", 8, 146, 149, 44, CBS_AUTOHSCROLL | WS_VSCROLL | TAB, 0},
    {IDC_DATA_BROWSE, PLAT_CTL_BUTTON, "...", 160, 146, 18, 12, TAB, 0},
    {IDC_HINT, PLAT_CTL_STATIC, "", 8, 172, 225, 12, 0, 0},
    {IDC_VERSION, PLAT_CTL_STATIC, "V4.0", 7, 218, 30, 10, VIS, 0},
    {IDC_MESSAGE, PLAT_CTL_STATIC, "", 8, 7, 225, 119, 0, PLAT_UI_MAIN},
    {IDC_GAUGE_FILE, PLAT_CTL_STATIC, "Progress1", 8, 147, 149, 12, 0, 0},
    {IDC_GAUGE_TOTAL, PLAT_CTL_STATIC, "Progress2", 8, 177, 149, 12, 0, 0},
    {IDC_FILE_CAP, PLAT_CTL_STATIC, "", 8, 134, 225, 12, 0, 0},
    {IDC_TOTAL_CAP, PLAT_CTL_STATIC, "", 10, 162, 149, 12, 0, 0},
    {IDC_ICON, PLAT_CTL_ICON, "MAIN", 8, 194, 20, 20, VIS, 0},
    {IDC_LABEL_PROMPT, PLAT_CTL_STATIC, "", 14, 39, 146, 19, 0, 0},
    {IDC_LABELS, PLAT_CTL_LIST, "", 11, 58, 149, 60, LBS_SORT | LBS_NOTIFY | WS_VSCROLL | WS_BORDER | TAB, 0},
    {IDC_LICENSE, PLAT_CTL_EDIT, "", 12, 21, 221, 159,
     ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL | WS_BORDER | VIS | TAB, 0},
    {IDC_ACCEPT, PLAT_CTL_RADIO, "I accept", 71, 187, 42, 10, WS_GROUP | VIS | TAB, 0},
    {IDC_DECLINE, PLAT_CTL_RADIO, "I don't accept", 154, 187, 59, 10, VIS, 0},
    {IDC_ACCEPT_FRAME, PLAT_CTL_GROUPBOX, "", 66, 181, 167, 19, WS_GROUP | VIS, 0},
    {IDC_BACK, PLAT_CTL_BUTTON, "&Back", 66, 204, 50, 14, VIS | WS_DISABLED | TAB, 0},
    {IDC_NEXT, PLAT_CTL_BUTTON, "&Next", 116, 204, 50, 14, BS_DEFPUSHBUTTON | VIS | TAB, 0},
    {IDC_CLOSE, PLAT_CTL_BUTTON, "&Close", 183, 204, 50, 14, VIS | TAB, 0},
};

static const PLAT_DLGITEM s_aCheckItems[] = {
    {IDC_CHECK_MESSAGE, PLAT_CTL_STATIC, "Message place holder", 7, 7, 172, 17, SS_CENTER | VIS, PLAT_UI_MAIN},
    {IDC_CHECK_GAUGE, PLAT_CTL_STATIC, "", 22, 24, 141, 14, VIS, 0},
    {IDC_CHECK_CANCEL, PLAT_CTL_BUTTON, "Cancel", 68, 24, 50, 14, BS_DEFPUSHBUTTON | TAB, 0},
};

static const PLAT_DLGTEMPLATE s_aTemplates[] = {
    {IDD_WIZARD, "Incremental Installer", "MS Sans Serif", 8, 239, 231,
     WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER, s_aWizardItems,
     (int)(sizeof(s_aWizardItems) / sizeof(s_aWizardItems[0]))},
    {IDD_SELFCHECK, "", "MS Sans Serif", 8, 186, 42, WS_POPUP | DS_MODALFRAME | DS_CENTER, s_aCheckItems,
     (int)(sizeof(s_aCheckItems) / sizeof(s_aCheckItems[0]))},
};

const PLAT_DLGTEMPLATE* PlatFindDialogTemplate(int iId)
{
    size_t i;
    for (i = 0; i < sizeof(s_aTemplates) / sizeof(s_aTemplates[0]); i++) {
        if (s_aTemplates[i].iId == iId) return &s_aTemplates[i];
    }
    return NULL;
}
