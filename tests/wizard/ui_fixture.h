/*
 * ui_fixture.h - test support for the dialog model: a quiet front end, a
 * message-box recorder with scripted answers, and a settle loop that
 * dispatches what is queued.
 */
#ifndef HERON_TESTS_WIZARD_UI_FIXTURE_H
#define HERON_TESTS_WIZARD_UI_FIXTURE_H

#include "platform/dialog.h"
#include "platform/ui.h"

#include <deque>
#include <string>
#include <vector>

struct BoxRecord {
    HWND hOwner;
    std::string sText;
    std::string sCaption;
    UINT uType;
};

inline std::vector<BoxRecord> g_aBoxes;
inline std::deque<int> g_aBoxAnswers; /* consumed per box; empty: the first button */

inline int RecordingMessageBox(HWND hOwner, const char* szText, const char* szCaption, UINT uType)
{
    g_aBoxes.push_back({hOwner, szText ? szText : "", szCaption ? szCaption : "", uType});
    if (!g_aBoxAnswers.empty()) {
        int iAnswer = g_aBoxAnswers.front();
        g_aBoxAnswers.pop_front();
        return iAnswer;
    }
    switch (uType & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL: return IDYES;
        default: return IDOK;
    }
}

inline int QuietIdle(int) { return 0; }
inline const PLAT_FRONTEND g_frontQuiet = {"quiet", nullptr, QuietIdle, nullptr};

/* A clean model with the quiet front end and the box recorder. */
inline void UiTestBegin()
{
    PlatDialogReset();
    PlatSetFrontEnd(&g_frontQuiet);
    PlatSetMessageBoxHandler(RecordingMessageBox);
    g_aBoxes.clear();
    g_aBoxAnswers.clear();
}

inline void UiTestEnd()
{
    PlatDialogReset();
    PlatSetMessageBoxHandler(nullptr);
    g_aBoxes.clear();
    g_aBoxAnswers.clear();
}

/* Dispatches every queued message (not the quit request, which stays);
 * returns the messages dispatched in order. */
inline std::vector<PLAT_MSG> UiSettle()
{
    std::vector<PLAT_MSG> aSeen;
    PLAT_MSG msg;
    while (PlatPeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE) && msg.message != WM_QUIT) {
        PlatPeekMessage(&msg, nullptr, 0, 0, PM_REMOVE);
        aSeen.push_back(msg);
        PlatDispatchMessage(&msg);
    }
    return aSeen;
}

inline bool UiQuitQueued(int* piCode = nullptr)
{
    PLAT_MSG msg;
    if (!PlatPeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE) || msg.message != WM_QUIT) return false;
    if (piCode) *piCode = (int)msg.wParam;
    return true;
}

#endif
