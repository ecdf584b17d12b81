// Shared pieces of the user-interface tests: a fixture that checks that
// every window, page and timer is gone and nothing was left unanswered, a
// builder of dialog templates laid out byte by byte, and a dialog procedure
// that logs what reaches it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/user_ctl.h"
#include "win/commctrl.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/user.h"

namespace user_test {

class UserTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(platform::user::test::LiveWindows(), 0u);
        EXPECT_EQ(platform::user::test::LivePropertySheetPages(), 0u);
        EXPECT_EQ(platform::user::test::LiveTimers(), 0u);
        EXPECT_EQ(platform::user::test::LiveImageLists(), 0u);
        auto unanswered = platform::user::test::TakeUnanswered();
        for (const auto& u : unanswered)
            ADD_FAILURE() << "left unanswered: " << u;
    }
};

// A DLGTEMPLATE (or DLGTEMPLATEEX) laid out field by field.
class TemplateBuilder {
  public:
    explicit TemplateBuilder(bool extended = false) : extended_(extended) {}
    TemplateBuilder& Dialog(DWORD style, short cx, short cy, const char16_t* title, WORD points = 8,
                            const char16_t* face = u"MS Shell Dlg") {
        if (extended_) {
            W(1).W(0xFFFF).D(0).D(0).D(style);
        } else {
            D(style).D(0);
        }
        countAt_ = bytes_.size();
        W(0).W(0).W(0).W(static_cast<WORD>(cx)).W(static_cast<WORD>(cy));
        W(0).W(0).S(title); // no menu, dialog class
        if (style & DS_SETFONT) {
            W(points);
            if (extended_) W(400).B(0).B(1);
            S(face);
        }
        return *this;
    }
    // A control of a predefined class (0x80 button ... 0x85 combo box) or a named one.
    TemplateBuilder& Item(WORD classOrdinal, const char16_t* className, DWORD style, short x,
                          short y, short cx, short cy, DWORD id, const char16_t* text) {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
        if (extended_) {
            D(0).D(0).D(style | WS_CHILD | WS_VISIBLE);
        } else {
            D(style | WS_CHILD | WS_VISIBLE).D(0);
        }
        W(static_cast<WORD>(x))
            .W(static_cast<WORD>(y))
            .W(static_cast<WORD>(cx))
            .W(static_cast<WORD>(cy));
        if (extended_)
            D(id);
        else
            W(static_cast<WORD>(id));
        if (classOrdinal)
            W(0xFFFF).W(classOrdinal);
        else
            S(className);
        S(text);
        W(0); // no creation data
        WORD count;
        std::memcpy(&count, bytes_.data() + countAt_, 2);
        ++count;
        std::memcpy(bytes_.data() + countAt_, &count, 2);
        return *this;
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }
    std::vector<BYTE> Bytes() const { return bytes_; }

  private:
    TemplateBuilder& B(BYTE b) {
        bytes_.push_back(b);
        return *this;
    }
    TemplateBuilder& W(WORD w) { return B(static_cast<BYTE>(w)).B(static_cast<BYTE>(w >> 8)); }
    TemplateBuilder& D(DWORD d) { return W(static_cast<WORD>(d)).W(static_cast<WORD>(d >> 16)); }
    TemplateBuilder& S(const char16_t* s) {
        for (; *s; ++s)
            W(*s);
        return W(0);
    }
    bool extended_;
    size_t countAt_ = 0;
    std::vector<BYTE> bytes_;
};

// What reached a dialog procedure, one line per message of interest:
// "WM_COMMAND 1001 EN_CHANGE", "WM_NOTIFY 1005 -722", "WM_HSCROLL 1006 4 30"...
struct Log {
    std::vector<std::string> lines;
    INT_PTR initResult = TRUE;
    void Add(const std::string& s) { lines.push_back(s); }
    void Clear() { lines.clear(); }
};

inline std::string CodeName(WORD id, WORD code, HWND control) {
    WCHAR cls[64] = {};
    GetClassNameW(control, cls, 64);
    std::u16string c(cls);
    if (c == u"Edit") {
        switch (code) {
        case EN_CHANGE:
            return "EN_CHANGE";
        case EN_UPDATE:
            return "EN_UPDATE";
        case EN_MAXTEXT:
            return "EN_MAXTEXT";
        case EN_SETFOCUS:
            return "EN_SETFOCUS";
        case EN_KILLFOCUS:
            return "EN_KILLFOCUS";
        default:
            break;
        }
    } else if (c == u"ComboBox") {
        switch (code) {
        case CBN_SELCHANGE:
            return "CBN_SELCHANGE";
        case CBN_DROPDOWN:
            return "CBN_DROPDOWN";
        case CBN_CLOSEUP:
            return "CBN_CLOSEUP";
        case CBN_SELENDOK:
            return "CBN_SELENDOK";
        case CBN_EDITCHANGE:
            return "CBN_EDITCHANGE";
        case CBN_EDITUPDATE:
            return "CBN_EDITUPDATE";
        case CBN_SETFOCUS:
            return "CBN_SETFOCUS";
        case CBN_KILLFOCUS:
            return "CBN_KILLFOCUS";
        default:
            break;
        }
    } else if (c == u"ListBox") {
        switch (code) {
        case LBN_SELCHANGE:
            return "LBN_SELCHANGE";
        case LBN_SETFOCUS:
            return "LBN_SETFOCUS";
        case LBN_KILLFOCUS:
            return "LBN_KILLFOCUS";
        default:
            break;
        }
    } else if (c == u"Button" && code == BN_CLICKED) {
        return "BN_CLICKED";
    } else if (c == u"Static" && code == STN_CLICKED) {
        return "STN_CLICKED";
    }
    (void)id;
    return std::to_string(code);
}

// The log of a dialog being created: messages reach the dialog procedure
// before WM_INITDIALOG hands it its parameter (WM_MEASUREITEM, WM_SETFONT).
inline Log* gCreating = nullptr;

inline INT_PTR CALLBACK LoggingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Log* log = reinterpret_cast<Log*>(GetWindowLongPtrW(h, DWLP_USER));
    if (!log) log = gCreating;
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(h, DWLP_USER, lp);
        log = reinterpret_cast<Log*>(lp);
        if (log) log->Add("WM_INITDIALOG");
        return log ? log->initResult : TRUE;
    }
    if (!log) return FALSE;
    switch (msg) {
    case WM_COMMAND:
        log->Add("WM_COMMAND " + std::to_string(LOWORD(wp)) + " " +
                 CodeName(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)));
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) EndDialog(h, LOWORD(wp));
        return TRUE;
    case WM_NOTIFY: {
        auto* n = reinterpret_cast<NMHDR*>(lp);
        log->Add("WM_NOTIFY " + std::to_string(n->idFrom) + " " +
                 std::to_string(static_cast<int>(n->code)));
        return FALSE;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        log->Add(std::string(msg == WM_HSCROLL ? "WM_HSCROLL " : "WM_VSCROLL ") +
                 std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(lp))) + " " +
                 std::to_string(LOWORD(wp)) + " " + std::to_string(static_cast<SHORT>(HIWORD(wp))));
        return TRUE;
    case WM_MEASUREITEM: {
        auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        log->Add("WM_MEASUREITEM " + std::to_string(m->CtlID) + " " +
                 std::to_string(static_cast<int>(m->itemID)));
        m->itemHeight = 20 + (m->itemID == static_cast<UINT>(-1) ? 0 : m->itemID);
        return TRUE;
    }
    case WM_DELETEITEM: {
        auto* d = reinterpret_cast<DELETEITEMSTRUCT*>(lp);
        log->Add("WM_DELETEITEM " + std::to_string(d->CtlID) + " " + std::to_string(d->itemID));
        return TRUE;
    }
    default:
        return FALSE;
    }
}

inline std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    return out;
}

// The picture of a window in a bitmap of its size.
struct Picture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    explicit Picture(HWND window) {
        RECT r;
        GetWindowRect(window, &r);
        width = r.right - r.left;
        height = r.bottom - r.top;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        EXPECT_TRUE(platform::user::driver::DrawWindow(window, dc));
        pixels.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + width * height);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const {
        DWORD p = pixels[static_cast<size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The rightmost column in r holding a pixel of this colour, or -1.
    int RightmostOf(const RECT& r, COLORREF c) const {
        int found = -1;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (At(x, y) == c) found = std::max(found, x);
        return found;
    }
    int Count(const RECT& r, COLORREF c) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += At(x, y) == c;
        return n;
    }
};

// Where a child stands in its top-level window's picture.
inline RECT PlaceOf(HWND top, HWND child) {
    RECT t, c;
    GetWindowRect(top, &t);
    GetWindowRect(child, &c);
    OffsetRect(&c, -t.left, -t.top);
    return c;
}

} // namespace user_test
