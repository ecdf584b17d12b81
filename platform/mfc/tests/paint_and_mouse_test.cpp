// Window objects that paint, choose their children's colours, follow the
// mouse and pick the cursor, as the test driver works them and the window
// picture shows them; and the common-dialog objects over the platform's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afxdlgs.h"
#include "afxwin.h"
#include "user_fixture.h"

namespace {

namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr COLORREF kBlue = RGB(0, 0, 200);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kPurple = RGB(120, 0, 120);
constexpr int kLabel = 10, kSwatch = 11, kOwnColours = 12;

std::vector<std::string> gLog;

// A static that paints itself purple, shows the hand over itself and moves
// a mark where it is dragged.
class CSwatch : public CWnd {
  public:
    CPoint mark;
    bool dragging = false;
    void OnPaint() {
        CPaintDC dc(this);
        RECT r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, kPurple);
        gLog.push_back("paint");
    }
    BOOL OnEraseBkgnd(CDC*) { return TRUE; } // the paint covers everything
    BOOL OnSetCursor(CWnd*, UINT hitTest, UINT) {
        if (hitTest != HTCLIENT) return FALSE;
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    void OnLButtonDown(UINT, CPoint p) {
        SetCapture();
        dragging = true;
        mark = p;
        gLog.push_back("down " + std::to_string(p.x) + "," + std::to_string(p.y));
    }
    void OnMouseMove(UINT flags, CPoint p) {
        if (!dragging) return;
        mark = p;
        gLog.push_back("move " + std::to_string(p.x) + "," + std::to_string(p.y) +
                       ((flags & MK_LBUTTON) ? " button" : ""));
    }
    void OnLButtonUp(UINT, CPoint p) {
        mark = p;
        dragging = false;
        ::ReleaseCapture();
        gLog.push_back("up " + std::to_string(p.x) + "," + std::to_string(p.y));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSwatch, CWnd)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_SETCURSOR()
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONUP()
END_MESSAGE_MAP()

// A label that chooses its own background: the host's map leaves it to it.
class CReflectLabel : public CWnd {
  public:
    CBrush purple{kPurple};
    HBRUSH CtlColor(CDC*, UINT) { return purple; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReflectLabel, CWnd)
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

// The host: its label in yellow on blue; the rest as the framework does.
class CHost : public CWnd {
  public:
    CBrush blue{kBlue};
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
        if (ctlColor == CTLCOLOR_STATIC && wnd && wnd->GetDlgCtrlID() == kLabel) {
            dc->SetTextColor(kYellow);
            return blue;
        }
        return CWnd::OnCtlColor(dc, wnd, ctlColor);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CHost, CWnd)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class PaintAndMouse : public user_test::UserTest {
  protected:
    void SetUp() override { gLog.clear(); }
    void TearDown() override {
        if (host.m_hWnd) host.DestroyWindow();
        // The device contexts' wrappers the handlers were given went with
        // their paints; the windows' go here.
        CWnd::DeleteTempMap();
        user_test::UserTest::TearDown();
    }
    CHost host;
    CSwatch swatch;
    CReflectLabel own;
};

TEST_F(PaintAndMouse, ObjectsPaintChooseColoursAndFollowTheMouse) {
    ASSERT_TRUE(host.CreateEx(0, u"#32770", u"Host", WS_POPUP | WS_VISIBLE, RECT{0, 0, 300, 200},
                              nullptr, 0));
    HWND label = CreateWindowExW(0, u"Static", u"WWWWWWWW", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10,
                                 100, 16, host, reinterpret_cast<HMENU>(kLabel), nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    HWND ownLabel = CreateWindowExW(0, u"Static", u"", WS_CHILD | WS_VISIBLE, 150, 10, 60, 16, host,
                                    reinterpret_cast<HMENU>(kOwnColours), nullptr, nullptr);
    ASSERT_TRUE(own.SubclassWindow(ownLabel));
    ASSERT_TRUE(swatch.CreateEx(0, u"Static", u"", WS_CHILD | WS_VISIBLE | SS_NOTIFY,
                                RECT{10, 40, 110, 100}, &host, kSwatch));

    user_test::Picture pic(host);
    RECT l = user_test::PlaceOf(host, label), s = user_test::PlaceOf(host, swatch);
    EXPECT_EQ(pic.At(l.right - 2, l.bottom - 2), kBlue);
    EXPECT_GT(pic.Count(l, kYellow), 10);
    EXPECT_EQ(pic.At(s.left + 50, s.top + 30), kPurple);
    RECT o = user_test::PlaceOf(host, ownLabel);
    EXPECT_EQ(pic.At(o.left + 30, o.top + 8), kPurple);
    EXPECT_EQ(pic.At(s.right + 5, s.top + 30), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(gLog, (std::vector<std::string>{"paint"}));

    gLog.clear();
    ASSERT_TRUE(drv::Drag(swatch, POINT{5, 5}, POINT{45, 25}, 2));
    EXPECT_EQ(gLog, (std::vector<std::string>{"down 5,5", "move 25,15 button", "move 45,25 button",
                                              "up 45,25"}));
    EXPECT_EQ(swatch.mark.x, 45);
    EXPECT_EQ(drv::ReadCursor(), LoadCursorW(nullptr, IDC_HAND));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(PaintAndMouse, CommonDialogObjects) {
    ut::AnswerNextCommonDialog([](const ut::CommonDialogCall& call) {
        EXPECT_EQ(call.kind, ut::CommonDialogCall::Color);
        EXPECT_EQ(call.color, RGB(1, 2, 3));
        ut::CommonDialogAnswer a;
        a.ok = true;
        a.color = RGB(10, 20, 30);
        return a;
    });
    CColorDialog colour(RGB(1, 2, 3), CC_FULLOPEN);
    ASSERT_EQ(colour.DoModal(), IDOK);
    EXPECT_EQ(colour.GetColor(), RGB(10, 20, 30));

    ut::AnswerNextCommonDialog([](const ut::CommonDialogCall& call) {
        EXPECT_EQ(call.kind, ut::CommonDialogCall::Save);
        EXPECT_EQ(call.filter.size(), 2u);
        if (call.filter.size() == 2) {
            EXPECT_EQ(call.filter[0].first, u"Overlay files");
            EXPECT_EQ(call.filter[0].second, u"*.ovl");
        }
        EXPECT_EQ(call.defaultExtension, u"ovl");
        ut::CommonDialogAnswer a;
        a.ok = true;
        a.path = u"C:\\Forms\\letter.head.ovl";
        return a;
    });
    CFileDialog save(FALSE, u"ovl", u"first.ovl", OFN_OVERWRITEPROMPT,
                     u"Overlay files|*.ovl|All files|*.*||");
    ASSERT_EQ(save.DoModal(), IDOK);
    EXPECT_EQ(save.GetPathName(), CString(u"C:\\Forms\\letter.head.ovl"));
    EXPECT_EQ(save.GetFileName(), CString(u"letter.head.ovl"));
    EXPECT_EQ(save.GetFileTitle(), CString(u"letter.head"));
    EXPECT_EQ(save.GetFileExt(), CString(u"ovl"));

    ut::CancelNextCommonDialog();
    CFileDialog open(TRUE);
    EXPECT_EQ(open.DoModal(), IDCANCEL);

    LOGFONTW start{};
    start.lfHeight = -13;
    std::u16string face = u"Arial";
    std::copy(face.begin(), face.end(), start.lfFaceName);
    ut::AnswerNextCommonDialog([](const ut::CommonDialogCall& call) {
        EXPECT_EQ(call.kind, ut::CommonDialogCall::Font);
        EXPECT_EQ(std::u16string(call.font.lfFaceName), u"Arial");
        ut::CommonDialogAnswer a;
        a.ok = true;
        a.font = call.font;
        a.font.lfWeight = FW_BOLD;
        a.font.lfHeight = 0;
        a.pointSize = 120;
        return a;
    });
    CFontDialog font(&start);
    ASSERT_EQ(font.DoModal(), IDOK);
    EXPECT_EQ(font.GetFaceName(), CString(u"Arial"));
    EXPECT_EQ(font.GetSize(), 120);
    EXPECT_TRUE(font.IsBold());
}

} // namespace
