// Wrappers of the common controls: trackbar (slider), up-down (spin
// button), tab control and tooltip control, each call the message the
// control answers.
#pragma once

#include "afxwin.h"
#include "win/commctrl.h"

class CSliderCtrl : public CWnd {
    DECLARE_DYNAMIC(CSliderCtrl)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, TRACKBAR_CLASSW, u"", style, rect, parent, id);
    }
    int GetPos() const { return static_cast<int>(SendMessage(TBM_GETPOS)); }
    void SetPos(int pos) { SendMessage(TBM_SETPOS, TRUE, pos); }
    int GetRangeMin() const { return static_cast<int>(SendMessage(TBM_GETRANGEMIN)); }
    int GetRangeMax() const { return static_cast<int>(SendMessage(TBM_GETRANGEMAX)); }
    void GetRange(int& minPos, int& maxPos) const {
        minPos = GetRangeMin();
        maxPos = GetRangeMax();
    }
    void SetRangeMin(int minPos, BOOL redraw = FALSE) {
        SendMessage(TBM_SETRANGEMIN, redraw, minPos);
    }
    void SetRangeMax(int maxPos, BOOL redraw = FALSE) {
        SendMessage(TBM_SETRANGEMAX, redraw, maxPos);
    }
    // Both ends at once (the message carries them as two 16-bit halves).
    void SetRange(int minPos, int maxPos, BOOL redraw = FALSE) {
        SendMessage(TBM_SETRANGE, redraw, AfxPackLParam(minPos, maxPos));
    }
    void SetTicFreq(int frequency) { SendMessage(TBM_SETTICFREQ, static_cast<WPARAM>(frequency)); }
    BOOL SetTic(int pos) { return static_cast<BOOL>(SendMessage(TBM_SETTIC, 0, pos)); }
    void ClearTics(BOOL redraw = FALSE) { SendMessage(TBM_CLEARTICS, redraw); }
    UINT GetNumTics() const { return static_cast<UINT>(SendMessage(TBM_GETNUMTICS)); }
    int GetPageSize() const { return static_cast<int>(SendMessage(TBM_GETPAGESIZE)); }
    int SetPageSize(int size) { return static_cast<int>(SendMessage(TBM_SETPAGESIZE, 0, size)); }
    int GetLineSize() const { return static_cast<int>(SendMessage(TBM_GETLINESIZE)); }
    int SetLineSize(int size) { return static_cast<int>(SendMessage(TBM_SETLINESIZE, 0, size)); }
};

class CSpinButtonCtrl : public CWnd {
    DECLARE_DYNAMIC(CSpinButtonCtrl)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, UPDOWN_CLASSW, u"", style, rect, parent, id);
    }
    // The 16-bit range and position (the position's high word is nonzero
    // when the buddy's text is no number in range).
    void SetRange(short lower, short upper) {
        SendMessage(UDM_SETRANGE, 0,
                    AfxPackLParam(static_cast<WORD>(upper), static_cast<WORD>(lower)));
    }
    void GetRange(int& lower, int& upper) const {
        auto r = static_cast<DWORD>(SendMessage(UDM_GETRANGE));
        lower = static_cast<short>(HIWORD(r));
        upper = static_cast<short>(LOWORD(r));
    }
    int SetPos(int pos) {
        return static_cast<short>(SendMessage(UDM_SETPOS, 0, AfxPackLParam(pos, 0)));
    }
    int GetPos() const { return static_cast<int>(SendMessage(UDM_GETPOS)); }
    void SetRange32(int lower, int upper) {
        SendMessage(UDM_SETRANGE32, static_cast<WPARAM>(lower), upper);
    }
    void GetRange32(int& lower, int& upper) const {
        SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                    reinterpret_cast<LPARAM>(&upper));
    }
    int SetPos32(int pos) { return static_cast<int>(SendMessage(UDM_SETPOS32, 0, pos)); }
    // error (optional) is TRUE when the buddy's text is no number in range.
    int GetPos32(BOOL* error = nullptr) const {
        return static_cast<int>(SendMessage(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(error)));
    }
    CWnd* SetBuddy(CWnd* buddy) {
        return FromHandle(reinterpret_cast<HWND>(
            SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy ? buddy->m_hWnd : nullptr))));
    }
    CWnd* GetBuddy() const { return FromHandle(reinterpret_cast<HWND>(SendMessage(UDM_GETBUDDY))); }
    int SetBase(int base) {
        return static_cast<int>(SendMessage(UDM_SETBASE, static_cast<WPARAM>(base)));
    }
};

class CTabCtrl : public CWnd {
    DECLARE_DYNAMIC(CTabCtrl)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, WC_TABCONTROLW, u"", style, rect, parent, id);
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    LONG InsertItem(int index, LPCWSTR text) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPWSTR>(text);
        return InsertItem(index, &item);
    }
    LONG InsertItem(int index, TCITEMW* item) {
        return static_cast<LONG>(SendMessage(TCM_INSERTITEMW, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(item)));
    }
    BOOL GetItem(int index, TCITEMW* item) const {
        return static_cast<BOOL>(
            SendMessage(TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(int index, TCITEMW* item) {
        return static_cast<BOOL>(
            SendMessage(TCM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item)));
    }
    // A tab's text (up to 255 characters), empty for a bad index.
    CString GetItemText(int index) const;
    BOOL DeleteItem(int index) {
        return static_cast<BOOL>(SendMessage(TCM_DELETEITEM, static_cast<WPARAM>(index)));
    }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(TCM_DELETEALLITEMS)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(SendMessage(TCM_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int GetCurFocus() const { return static_cast<int>(SendMessage(TCM_GETCURFOCUS)); }
    void SetCurFocus(int index) { SendMessage(TCM_SETCURFOCUS, static_cast<WPARAM>(index)); }
    BOOL GetItemRect(int index, LPRECT rect) const {
        return static_cast<BOOL>(SendMessage(TCM_GETITEMRECT, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(rect)));
    }
    // larger: the window rectangle for a display area; else the display area of a window rectangle.
    void AdjustRect(BOOL larger, LPRECT rect) {
        SendMessage(TCM_ADJUSTRECT, larger, reinterpret_cast<LPARAM>(rect));
    }
};

// Tools are controls, each named by its window; their tips subclass the
// control (TTF_SUBCLASS) so no mouse message needs relaying.
class CToolTipCtrl : public CWnd {
    DECLARE_DYNAMIC(CToolTipCtrl)
  public:
    BOOL Create(CWnd* parent, DWORD style = 0);
    // text: the tip, or a string id of the resource module (MAKEINTRESOURCEW).
    BOOL AddTool(CWnd* control, LPCWSTR text = LPSTR_TEXTCALLBACKW);
    void DelTool(CWnd* control);
    void UpdateTipText(LPCWSTR text, CWnd* control);
    void GetText(CString& text, CWnd* control) const;
    int GetToolCount() const { return static_cast<int>(SendMessage(TTM_GETTOOLCOUNT)); }
    void Activate(BOOL active) { SendMessage(TTM_ACTIVATE, active); }
    int SetMaxTipWidth(int width) {
        return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, width));
    }
    void SetDelayTime(UINT delay) { SendMessage(TTM_SETDELAYTIME, 0, delay); }
    void RelayEvent(LPMSG msg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
};
