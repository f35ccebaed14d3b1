/*
 * answers.cpp - the scripted message box of the headless Linux front end and
 * of the Windows test knob HERON_ANSWERS (see answers.h).
 */
#include "platform/answers.h"
#include "platform/ui.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int s_iAnswer; /* index of the next HERON_ANSWERS entry */

/* The buttons of a box type, in order, and their ids. */
static int MsgButtons(UINT uType, const char** pszNames, int* piIds)
{
    switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        pszNames[0] = "OK", piIds[0] = IDOK;
        pszNames[1] = "Cancel", piIds[1] = IDCANCEL;
        return 2;
    case MB_YESNOCANCEL:
        pszNames[0] = "Yes", piIds[0] = IDYES;
        pszNames[1] = "No", piIds[1] = IDNO;
        pszNames[2] = "Cancel", piIds[2] = IDCANCEL;
        return 3;
    case MB_YESNO:
        pszNames[0] = "Yes", piIds[0] = IDYES;
        pszNames[1] = "No", piIds[1] = IDNO;
        return 2;
    default:
        pszNames[0] = "OK", piIds[0] = IDOK;
        return 1;
    }
}

/* The next entry of HERON_ANSWERS into szOut, "" when used up. */
static void MsgNextAnswer(char* szOut, size_t cbOut)
{
    const char* szList = getenv("HERON_ANSWERS");
    const char* p;
    int i;
    szOut[0] = 0;
    if (!szList) return;
    p = szList;
    for (i = 0; i < s_iAnswer && p; i++) {
        p = strchr(p, ',');
        if (p) p++;
    }
    s_iAnswer++;
    if (!p || !*p) return;
    {
        const char* pEnd = strchr(p, ',');
        size_t cch = pEnd ? (size_t)(pEnd - p) : strlen(p);
        while (cch && (*p == ' ')) p++, cch--;
        while (cch && p[cch - 1] == ' ') cch--;
        if (cch >= cbOut) cch = cbOut - 1;
        memcpy(szOut, p, cch);
        szOut[cch] = 0;
    }
}

/* Equal texts without regard to ASCII case. */
static int MsgSameName(const char* a, const char* b)
{
    for (;; a++, b++) {
        char chA = (*a >= 'a' && *a <= 'z') ? (char)(*a - 'a' + 'A') : *a;
        char chB = (*b >= 'a' && *b <= 'z') ? (char)(*b - 'a' + 'A') : *b;
        if (chA != chB) return 0;
        if (!chA) return 1;
    }
}

int PlatScriptedBox(const char* szText, const char* szCaption, unsigned int uType)
{
    const char* aszNames[3];
    int aiIds[3];
    int cButtons, iChoice, i;
    char szAnswer[32];

    cButtons = MsgButtons(uType, aszNames, aiIds);
    iChoice = ((uType & MB_DEFBUTTON2) && cButtons > 1) ? 1 : 0;
    MsgNextAnswer(szAnswer, sizeof(szAnswer));
    for (i = 0; i < cButtons; i++) {
        if (szAnswer[0] && MsgSameName(szAnswer, aszNames[i])) iChoice = i;
    }
    printf("=== %s ===\n%s\n=== answer: %s ===\n", szCaption ? szCaption : "", szText ? szText : "",
           aszNames[iChoice]);
    fflush(stdout);
    return aiIds[iChoice];
}
