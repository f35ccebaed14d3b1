// The progress gauge, CenterWindow and PumpMessages.
#include "shell/globals.h"
#include "ui/gauge.h"
#include "ui/resource.h"
#include "wizard/ui_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

TEST(GaugeShare, FilledPixelsAndText)
{
    struct Row {
        LONG lPos, lRange, lWidth;
        int iFilled;
        const char* szText;
    } rows[] = {
        {0, 100, 150, 0, "0%"},       {1, 3, 150, 50, "33%"},    // the per cent of filled pixels
        {100, 100, 150, 150, "100%"}, {0, 0, 150, 150, "100%"},  // a range of 0: full
        {5, 0, 150, 150, "100%"},     {-5, 0, 150, 150, "100%"}, // any position
        {1, 3, 0, 0, "100%"},                                    // no width
        {2, 3, 224, 149, "66%"},      {-5, 100, 150, 0, "0%"},   // never a bar of negative width
    };
    for (const Row& r : rows) {
        char sz[16];
        int iFilled = GaugeFilledWidth(r.lPos, r.lRange, r.lWidth);
        EXPECT_EQ(r.iFilled, iFilled) << r.lPos << "/" << r.lRange << " of " << r.lWidth;
        GaugePercentText(iFilled, r.lWidth, sz, sizeof(sz));
        EXPECT_STREQ(r.szText, sz) << r.lPos << "/" << r.lRange << " of " << r.lWidth;
    }
}

class GaugeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UiTestBegin();
        EXPECT_EQ(1, RegisterGaugeClass());
        EXPECT_EQ(0, RegisterGaugeClass());  // a second registration fails harmlessly
        m_hDlg = PlatCreateDialogParam(nullptr, IDD_SELFCHECK, nullptr, nullptr, 0);
        ASSERT_NE(nullptr, m_hDlg);
        PlatShowWindow(m_hDlg, SW_SHOW);
    }
    void TearDown() override { UiTestEnd(); }
    /* A gauge whose client area is cx pixels wide. */
    HWND Gauge(int cx)
    {
        HWND h = PlatCreateWindowEx(0, GAUGE_CLASS, nullptr, WS_CHILD | WS_BORDER | WS_VISIBLE, 0, 0, cx + 2, 22,
                                    m_hDlg, IDC_GAUGE_WINDOW, nullptr, nullptr);
        EXPECT_NE(nullptr, h);
        return h;
    }
    void Command(HWND h, int iCode, LONG lValue) { PlatSendMessage(h, WM_COMMAND, (WPARAM)iCode, lValue); }
    /* The blue pixels and the text of the last painting. */
    void Painted(HWND h, LONG* plBlue, std::string* psText)
    {
        const PLAT_PAINTOP* pOps;
        int c = PlatUiPaint(h, &pOps);
        *plBlue = 0;
        psText->clear();
        for (int i = 0; i < c; i++) {
            if (pOps[i].iOp == PLAT_PAINT_RECT && pOps[i].crFill == 0xFF0000) *plBlue += pOps[i].right - pOps[i].left;
            if (pOps[i].iOp == PLAT_PAINT_TEXT) *psText = pOps[i].szText;
        }
    }
    HWND m_hDlg = nullptr;
};

TEST_F(GaugeTest, CommandsAndPainting)
{
    HWND h = Gauge(150);
    LONG lBlue;
    std::string sText;
    EXPECT_EQ(100, PlatGetWindowLong(h, GAUGE_RANGE));
    EXPECT_EQ(150, PlatGetWindowLong(h, GAUGE_WIDTH));  // the client width after WM_SIZE
    EXPECT_EQ(0xFFFFFF, PlatGetWindowLong(h, GAUGE_BKCOLOR));
    EXPECT_EQ(0xFF0000, PlatGetWindowLong(h, GAUGE_BARCOLOR));
    PumpMessages();
    Painted(h, &lBlue, &sText);
    EXPECT_EQ(0, lBlue);  // a new gauge: white field, "0%"
    EXPECT_EQ("0%", sText);

    Command(h, GAUGE_SETRANGE, 3);
    Command(h, GAUGE_SETPOS, 1);
    PumpMessages();
    Painted(h, &lBlue, &sText);
    EXPECT_EQ(50, lBlue);
    EXPECT_EQ("33%", sText);

    Command(h, GAUGE_SETRANGE, 100);
    Command(h, GAUGE_SETPOS, 500);  // stops at the range
    EXPECT_EQ(100, PlatGetWindowLong(h, GAUGE_POSITION));
    Command(h, GAUGE_SETRANGE, 10);  // a smaller range pulls the position down
    EXPECT_EQ(10, PlatGetWindowLong(h, GAUGE_POSITION));
    Command(h, GAUGE_SETBARCOLOR, 0x00FF00);
    Command(h, 104, 7);  // unknown codes do nothing
    PumpMessages();
    Painted(h, &lBlue, &sText);
    EXPECT_EQ("100%", sText);
    EXPECT_EQ(0, lBlue);               // now green
    EXPECT_EQ(0, PlatUiGdiObjects());  // every brush and pen released
}

TEST_F(GaugeTest, TakesThePlaceOfItsPlaceholder)
{
    HWND hPlace = PlatGetDlgItem(m_hDlg, IDC_CHECK_GAUGE);
    PLAT_RECT rcPlace, rcGauge;
    PlatGetWindowRect(hPlace, &rcPlace);
    HWND h = CreateGauge(m_hDlg, IDC_CHECK_GAUGE);
    ASSERT_NE(nullptr, h);
    PlatGetWindowRect(h, &rcGauge);
    EXPECT_EQ(rcPlace.left, rcGauge.left);
    EXPECT_EQ(rcPlace.top, rcGauge.top);
    EXPECT_EQ(rcPlace.right - rcPlace.left + 1, rcGauge.right - rcGauge.left);
    EXPECT_EQ(rcPlace.bottom - rcPlace.top + 1, rcGauge.bottom - rcGauge.top);
    EXPECT_FALSE(PlatIsWindowVisible(hPlace));
    EXPECT_FALSE(PlatIsWindowVisible(h));  // its caller shows it
    EXPECT_EQ(IDC_GAUGE_WINDOW, PlatGetDlgCtrlID(h));
}

TEST_F(GaugeTest, CenterWindowDoesNotClamp)
{
    PLAT_RECT rc;
    PlatMoveWindow(m_hDlg, 5, 5, 2000, 1000, 0);
    CenterWindow(m_hDlg);
    PlatGetWindowRect(m_hDlg, &rc);
    EXPECT_EQ((1024 - 2000) / 2, rc.left);
    EXPECT_EQ((768 - 1000) / 2, rc.top);
    EXPECT_EQ(2000, rc.right - rc.left);
    PlatMoveWindow(m_hDlg, 0, 0, 301, 100, 0);
    CenterWindow(m_hDlg);
    PlatGetWindowRect(m_hDlg, &rc);
    EXPECT_EQ(361, rc.left);
    EXPECT_EQ(334, rc.top);
}

TEST_F(GaugeTest, PumpMessagesLeavesTheQuitRequest)
{
    HWND h = Gauge(100);
    PlatPostMessage(m_hDlg, WM_USER, 0, 0);
    EXPECT_EQ(1, PumpMessages());
    EXPECT_FALSE(PlatUiQueued());
    EXPECT_EQ(1, PlatUiPaint(h, nullptr) > 0);
    PlatPostQuitMessage(0);
    Command(h, GAUGE_SETPOS, 40);
    EXPECT_EQ(0, PumpMessages());
    EXPECT_EQ(0, PumpMessages());
    EXPECT_TRUE(UiQuitQueued());
}

}  // namespace
