// The dialog model: control messages as Win32 answers them, input of a
// person, the queue's order, the modal loop, destruction and geometry.
#include "platform/dialog.h"
#include "platform/ui.h"
#include "ui/resource.h"
#include "wizard/ui_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct Note {
    UINT uMsg;
    int iId;
    int iCode;
    int iSel;  // combo/list selection when the notification arrived
    std::string sText;
};

std::vector<Note> g_aNotes;
int g_iInitResult = 1;

INT_PTR RecordingDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (uMsg == WM_INITDIALOG) return g_iInitResult;
    if (uMsg == WM_COMMAND || uMsg == WM_TIMER || uMsg >= WM_USER || uMsg == WM_DESTROY) {
        Note note{uMsg, LOWORD(wParam), HIWORD(wParam), -2, ""};
        HWND hCtl = PlatGetDlgItem(hDlg, LOWORD(wParam));
        if (uMsg == WM_COMMAND && hCtl) {
            PLAT_CTLINFO info;
            PlatUiInfo(hCtl, &info);
            note.iSel = info.iSel;
            note.sText = PlatUiText(hCtl);
        }
        g_aNotes.push_back(note);
        return uMsg == WM_COMMAND;
    }
    return 0;
}

const PLAT_DLGITEM kItems[] = {
    {10, PLAT_CTL_COMBO, "", 8, 8, 100, 60, WS_VISIBLE | WS_TABSTOP, 0},
    {11, PLAT_CTL_LIST, "", 8, 30, 100, 40, LBS_SORT | LBS_NOTIFY | WS_VISIBLE | WS_TABSTOP, 0},
    {20, PLAT_CTL_RADIO, "A", 8, 80, 40, 10, WS_GROUP | WS_VISIBLE | WS_TABSTOP, 0},
    {21, PLAT_CTL_RADIO, "B", 50, 80, 40, 10, WS_VISIBLE, 0},
    {22, PLAT_CTL_RADIO, "C", 90, 80, 40, 10, WS_GROUP | WS_VISIBLE, 0},
    {30, PLAT_CTL_EDIT, "", 8, 100, 100, 14, WS_VISIBLE | WS_TABSTOP, 0},
    {31, PLAT_CTL_BUTTON, "Hidden", 8, 120, 40, 14, WS_TABSTOP, 0},
    {32, PLAT_CTL_BUTTON, "Off", 50, 120, 40, 14, WS_VISIBLE | WS_DISABLED | WS_TABSTOP, 0},
    {IDCANCEL, PLAT_CTL_BUTTON, "Cancel", 90, 120, 40, 14, WS_VISIBLE | WS_TABSTOP, 0},
};
const PLAT_DLGTEMPLATE kTemplate = {77,
                                    "Test",
                                    "MS Sans Serif",
                                    8,
                                    160,
                                    140,
                                    WS_POPUP | WS_CAPTION | DS_MODALFRAME | WS_VISIBLE,
                                    kItems,
                                    (int)(sizeof(kItems) / sizeof(kItems[0]))};

class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UiTestBegin();
        g_aNotes.clear();
        g_iInitResult = 1;
        m_hDlg = PlatCreateDialogIndirectParam(nullptr, &kTemplate, nullptr, RecordingDlgProc, 0);
        ASSERT_NE(nullptr, m_hDlg);
    }
    void TearDown() override { UiTestEnd(); }
    LRESULT Send(int iId, UINT uMsg, WPARAM w = 0, LPARAM l = 0)
    {
        return PlatSendDlgItemMessage(m_hDlg, iId, uMsg, w, l);
    }
    HWND Item(int iId) { return PlatGetDlgItem(m_hDlg, iId); }
    std::vector<int> Codes(int iId)
    {
        std::vector<int> a;
        for (const Note& n : g_aNotes)
            if (n.uMsg == WM_COMMAND && n.iId == iId) a.push_back(n.iCode);
        return a;
    }
    HWND m_hDlg = nullptr;
};

TEST_F(DialogTest, ComboBoxAnswersAsWin32)
{
    for (const char* sz : {"C:\\Data", "C:\\DATA2", "D:\\Other"}) Send(10, CB_ADDSTRING, 0, (LPARAM)sz);
    EXPECT_EQ(3, Send(10, CB_GETCOUNT));
    // Exact search ignores case and wants the whole entry; prefix search wraps.
    EXPECT_EQ(0, Send(10, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "c:\\data"));
    EXPECT_EQ(CB_ERR, Send(10, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "C:\\Dat"));
    EXPECT_EQ(1, Send(10, CB_FINDSTRING, 0, (LPARAM) "c:\\data"));
    EXPECT_EQ(0, Send(10, CB_FINDSTRING, 1, (LPARAM) "c:\\data"));
    // Selection puts the text into the field; deleting shifts or drops it.
    EXPECT_EQ(2, Send(10, CB_SETCURSEL, 2));
    EXPECT_STREQ("D:\\Other", PlatUiText(Item(10)));
    EXPECT_EQ(2, Send(10, CB_DELETESTRING, 0));
    EXPECT_EQ(1, Send(10, CB_GETCURSEL));
    EXPECT_EQ(1, Send(10, CB_DELETESTRING, 1));
    EXPECT_EQ(CB_ERR, Send(10, CB_GETCURSEL));
    EXPECT_EQ(CB_ERR, Send(10, CB_DELETESTRING, 5));
    char sz[64];
    EXPECT_EQ(8, Send(10, CB_GETLBTEXTLEN, 0));
    EXPECT_EQ(8, Send(10, CB_GETLBTEXT, 0, (LPARAM)sz));
    EXPECT_STREQ("C:\\DATA2", sz);
    // Opening notifies once; resetting empties the field too.
    Send(10, CB_SHOWDROPDOWN, 1);
    Send(10, CB_SHOWDROPDOWN, 1);
    EXPECT_EQ(std::vector<int>({CBN_DROPDOWN}), Codes(10));
    EXPECT_EQ(1, Send(10, CB_GETDROPPEDSTATE));
    PlatShowWindow(Item(10), SW_HIDE);  // the list goes with the hidden box
    EXPECT_EQ(0, Send(10, CB_GETDROPPEDSTATE));
    Send(10, CB_SETCURSEL, 0);
    Send(10, CB_RESETCONTENT);
    EXPECT_EQ(0, Send(10, CB_GETCOUNT));
    EXPECT_STREQ("", PlatUiText(Item(10)));
}

TEST_F(DialogTest, SortedListBoxKeepsItemData)
{
    for (const char* sz : {"Release 2|b", "release 1|a", "Release 10|c"}) {
        LRESULT i = Send(11, LB_ADDSTRING, 0, (LPARAM)sz);
        Send(11, LB_SETITEMDATA, (WPARAM)i, sz[8] == '2' ? 2 : sz[8] == '1' && sz[9] == '0' ? 10 : 1);
    }
    EXPECT_STREQ("release 1|a", PlatUiItemText(Item(11), 0));
    EXPECT_STREQ("Release 10|c", PlatUiItemText(Item(11), 1));
    EXPECT_STREQ("Release 2|b", PlatUiItemText(Item(11), 2));
    EXPECT_EQ(1, Send(11, LB_GETITEMDATA, 0));
    EXPECT_EQ(10, Send(11, LB_GETITEMDATA, 1));
    EXPECT_EQ(2, Send(11, LB_GETITEMDATA, 2));
    EXPECT_EQ(0, Send(11, LB_FINDSTRING, (WPARAM)-1, (LPARAM) "RELEASE 1"));
    EXPECT_EQ(LB_ERR, Send(11, LB_FINDSTRING, (WPARAM)-1, (LPARAM) "Release 3"));
    EXPECT_EQ(2, Send(11, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "release 2|B"));
}

TEST_F(DialogTest, InputOfAPersonFollowsControlRules)
{
    // A radio button clears the others of its group only.
    PlatCheckDlgButton(m_hDlg, 22, BST_CHECKED);
    PlatUiPost(Item(20), PLAT_UIA_CLICK, 0, nullptr);
    PlatUiPost(Item(21), PLAT_UIA_CLICK, 0, nullptr);
    UiSettle();
    EXPECT_EQ(0u, PlatIsDlgButtonChecked(m_hDlg, 20));
    EXPECT_EQ(1u, PlatIsDlgButtonChecked(m_hDlg, 21));
    EXPECT_EQ(1u, PlatIsDlgButtonChecked(m_hDlg, 22));
    EXPECT_EQ(Item(21), PlatGetFocus());
    // Hidden and disabled controls ignore a person.
    PlatUiPost(Item(31), PLAT_UIA_CLICK, 0, nullptr);
    PlatUiPost(Item(32), PLAT_UIA_CLICK, 0, nullptr);
    UiSettle();
    EXPECT_TRUE(Codes(31).empty());
    EXPECT_TRUE(Codes(32).empty());

    // Typing into a combo: the selection is still the old one at
    // CBN_EDITUPDATE and follows the text (open list) at CBN_EDITCHANGE.
    Send(10, CB_ADDSTRING, 0, (LPARAM) "alpha");
    Send(10, CB_ADDSTRING, 0, (LPARAM) "beta");
    Send(10, CB_SETCURSEL, 0);
    Send(10, CB_SHOWDROPDOWN, 1);
    g_aNotes.clear();
    PlatUiPost(Item(10), PLAT_UIA_TYPE, 0, "be");
    PlatUiPost(Item(10), PLAT_UIA_TYPE, 0, "be");  // unchanged text: no notification
    UiSettle();
    ASSERT_EQ(2u, g_aNotes.size());
    EXPECT_EQ(CBN_EDITUPDATE, g_aNotes[0].iCode);
    EXPECT_EQ(0, g_aNotes[0].iSel);
    EXPECT_EQ(CBN_EDITCHANGE, g_aNotes[1].iCode);
    EXPECT_EQ(1, g_aNotes[1].iSel);
    // Picking from the open list: the field takes the text, the list closes.
    g_aNotes.clear();
    PlatUiPost(Item(10), PLAT_UIA_SELECT, 0, nullptr);
    UiSettle();
    EXPECT_EQ(std::vector<int>({CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}), Codes(10));
    EXPECT_STREQ("alpha", PlatUiText(Item(10)));
    // Moving the focus elsewhere closes an open list.
    Send(10, CB_SHOWDROPDOWN, 1);
    g_aNotes.clear();
    PlatUiPost(Item(30), PLAT_UIA_FOCUS, 0, nullptr);
    UiSettle();
    EXPECT_EQ(std::vector<int>({CBN_CLOSEUP}), Codes(10));
    // A disabled dialog (the owner of a modal one) takes no input.
    PlatEnableWindow(m_hDlg, 0);
    PlatUiPost(Item(IDCANCEL), PLAT_UIA_CLICK, 0, nullptr);
    UiSettle();
    EXPECT_TRUE(Codes(IDCANCEL).empty());
}

TEST_F(DialogTest, QueueOrderAndTheQuitRequest)
{
    PLAT_MSG msg;
    PlatPostQuitMessage(3);
    PlatPostMessage(m_hDlg, WM_USER + 5, 1, 0);
    HWND hOther = PlatCreateDialogIndirectParam(nullptr, &kTemplate, nullptr, RecordingDlgProc, 0);
    PlatPostMessage(hOther, WM_USER + 6, 0, 0);
    PlatDestroyWindow(hOther);  // its message is dropped
    // Posted messages come before the quit request, which Peek leaves queued.
    ASSERT_TRUE(PlatPeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ((UINT)(WM_USER + 5), msg.message);
    for (int i = 0; i < 2; i++) {
        ASSERT_TRUE(PlatPeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
        EXPECT_EQ((UINT)WM_QUIT, msg.message);
    }
    EXPECT_EQ(0, PlatGetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ(3, (int)msg.wParam);
    // With nothing queued, no timer and a front end that never gives input,
    // GetMessage says so instead of waiting forever.
    EXPECT_EQ(-1, PlatGetMessage(&msg, nullptr, 0, 0));
    // A timer is delivered once it is due, until it is killed.
    EXPECT_EQ(7u, PlatSetTimer(m_hDlg, 7, 20));
    EXPECT_FALSE(PlatPeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE));
    ASSERT_EQ(1, PlatGetMessage(&msg, nullptr, 0, 0));
    EXPECT_EQ((UINT)WM_TIMER, msg.message);
    EXPECT_EQ(7u, msg.wParam);
    PlatKillTimer(m_hDlg, 7);
    EXPECT_EQ(-1, PlatGetMessage(&msg, nullptr, 0, 0));
}

INT_PTR EndingDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM)
{
    if (uMsg == WM_INITDIALOG) {
        PlatPostMessage(hDlg, WM_USER + 1, 0, 0);
        return 1;
    }
    if (uMsg == WM_USER + 1) {
        PlatPostQuitMessage(9);  // a quit request from within the modal loop
        PlatPostMessage(hDlg, WM_USER + 2, 0, 0);
    }
    if (uMsg == WM_USER + 2) PlatEndDialog(hDlg, 42);
    if (uMsg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) PlatEndDialog(hDlg, 5);
    return 0;
}

TEST_F(DialogTest, ModalLoopEndsWithItsValueAndKeepsTheQuitRequest)
{
    EXPECT_EQ(42, PlatDialogBoxIndirectParam(nullptr, &kTemplate, m_hDlg, EndingDlgProc, 0));
    EXPECT_TRUE(PlatIsWindowEnabled(m_hDlg));  // the owner is usable again
    int iCode = 0;
    EXPECT_TRUE(UiQuitQueued(&iCode));
    EXPECT_EQ(9, iCode);
    // A missing template is -1.
    EXPECT_EQ(-1, PlatDialogBoxParam(nullptr, 12345, nullptr, EndingDlgProc, 0));
}

TEST_F(DialogTest, DestroyedWindowsAreInvalidEverywhere)
{
    HWND hEdit = Item(30);
    PlatSetFocus(hEdit);
    PlatSetTimer(m_hDlg, 1, 1);
    EXPECT_TRUE(PlatDestroyWindow(m_hDlg));
    ASSERT_FALSE(g_aNotes.empty());
    EXPECT_EQ((UINT)WM_DESTROY, g_aNotes.back().uMsg);
    EXPECT_FALSE(PlatIsWindow(m_hDlg));
    EXPECT_FALSE(PlatIsWindow(hEdit));
    EXPECT_EQ(nullptr, PlatGetFocus());
    EXPECT_FALSE(PlatSetWindowText(hEdit, "x"));
    EXPECT_FALSE(PlatPostMessage(m_hDlg, WM_USER, 0, 0));
    EXPECT_EQ(0, PlatSendMessage(hEdit, WM_GETTEXTLENGTH, 0, 0));
    EXPECT_FALSE(PlatDestroyWindow(m_hDlg));
    PLAT_MSG msg;
    EXPECT_EQ(-1, PlatGetMessage(&msg, nullptr, 0, 0));  // its timer went with it
}

TEST_F(DialogTest, WizardTemplateGeometry)
{
    HWND h = PlatCreateDialogParam(nullptr, IDD_WIZARD, nullptr, nullptr, 0);
    ASSERT_NE(nullptr, h);
    PLAT_RECT rc;
    PlatGetClientRect(h, &rc);
    EXPECT_EQ(359, rc.right);   // 239 dialog units * 6 / 4, rounded
    EXPECT_EQ(375, rc.bottom);  // 231 * 13 / 8
    PlatGetWindowRect(h, &rc);
    EXPECT_EQ((1024 - (rc.right - rc.left)) / 2, rc.left);  // DS_CENTER
    // Control 1013 (8, 147, 149, 12): its screen rectangle maps back to the
    // client position the template gives.
    PlatGetWindowRect(PlatGetDlgItem(h, IDC_GAUGE_FILE), &rc);
    PLAT_POINT pt = {rc.left, rc.top};
    PlatScreenToClient(h, &pt);
    EXPECT_EQ(12, pt.x);
    EXPECT_EQ(239, pt.y);
    EXPECT_EQ(224, rc.right - rc.left);
    EXPECT_EQ(20, rc.bottom - rc.top);
    // Initial states as the resource lists them.
    EXPECT_FALSE(PlatIsWindowEnabled(PlatGetDlgItem(h, IDC_BACK)));
    EXPECT_TRUE(PlatIsWindowEnabled(PlatGetDlgItem(h, IDC_NEXT)));
    EXPECT_FALSE(PlatIsWindowVisible(h));  // shown by its creator
    PlatShowWindow(h, SW_SHOW);
    EXPECT_TRUE(PlatIsWindowVisible(PlatGetDlgItem(h, IDC_LICENSE)));
    EXPECT_FALSE(PlatIsWindowVisible(PlatGetDlgItem(h, IDC_MESSAGE)));
    EXPECT_STREQ("V4.0", PlatUiText(PlatGetDlgItem(h, IDC_VERSION)));
}

}  // namespace
