// Wrappers of the standard controls: each call is the message the control
// answers, and the answer comes back as the control gave it. Owner-drawn
// list boxes and combo boxes get their drawing requests back from the
// parent (reflected) through DrawItem and MeasureItem.
#pragma once

#include "afxwin.h"
#include "win/resources.h"

#ifndef ODS_NOFOCUSRECT
#define ODS_NOFOCUSRECT 0x0200
#endif

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
  public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF) {
        return CreateEx(0, u"STATIC", text, style, rect, parent, id);
    }
    HICON SetIcon(HICON icon) {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
    HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(STM_GETICON)); }
    HBITMAP SetBitmap(HBITMAP bitmap) {
        return reinterpret_cast<HBITMAP>(
            SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
    HBITMAP GetBitmap() const {
        return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
    }
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
  public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, u"BUTTON", text, style, rect, parent, id);
    }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
    UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
    void SetState(BOOL highlight) { SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight)); }
    UINT GetButtonStyle() const { return static_cast<UINT>(GetStyle() & 0xFFFF); }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
    HICON SetIcon(HICON icon) {
        return reinterpret_cast<HICON>(
            SendMessage(BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
    }
    HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(BM_GETIMAGE, IMAGE_ICON)); }
    HBITMAP SetBitmap(HBITMAP bitmap) {
        return reinterpret_cast<HBITMAP>(
            SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, u"EDIT", u"", style, rect, parent, id);
    }
    void LimitText(int chars = 0) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(chars)); }
    void SetLimitText(UINT chars) { SendMessage(EM_SETLIMITTEXT, chars); }
    UINT GetLimitText() const { return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT)); }
    void GetSel(int& start, int& end) const {
        DWORD s = 0, e = 0;
        SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        start = static_cast<int>(s);
        end = static_cast<int>(e);
    }
    DWORD GetSel() const { return static_cast<DWORD>(SendMessage(EM_GETSEL)); }
    void SetSel(int start, int end, BOOL noScroll = FALSE) {
        (void)noScroll;
        SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
    }
    void ReplaceSel(LPCWSTR text, BOOL canUndo = FALSE) {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    BOOL GetModify() const { return static_cast<BOOL>(SendMessage(EM_GETMODIFY)); }
    void SetModify(BOOL modified = TRUE) { SendMessage(EM_SETMODIFY, modified); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) {
        return static_cast<BOOL>(SendMessage(EM_SETREADONLY, readOnly));
    }
    void SetPasswordChar(WCHAR ch) { SendMessage(EM_SETPASSWORDCHAR, ch); }
    int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
    BOOL CanUndo() const { return static_cast<BOOL>(SendMessage(EM_CANUNDO)); }
    BOOL Undo() { return static_cast<BOOL>(SendMessage(EM_UNDO)); }
    void EmptyUndoBuffer() { SendMessage(EM_EMPTYUNDOBUFFER); }
    void Clear() { SendMessage(WM_CLEAR); }
    void Copy() { SendMessage(WM_COPY); }
    void Cut() { SendMessage(WM_CUT); }
    void Paste() { SendMessage(WM_PASTE); }
};

// An item's text of a list box or combo box, however long: the length
// message, then the text message (LB_ERR/CB_ERR for a bad index, text empty).
int AfxGetItemText(HWND control, UINT lengthMessage, UINT textMessage, int index, CString& text);

class CListBox : public CWnd {
    DECLARE_DYNAMIC(CListBox)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, u"LISTBOX", u"", style, rect, parent, id);
    }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int AddString(LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertString(int index, LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(LB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int GetSel(int index) const {
        return static_cast<int>(SendMessage(LB_GETSEL, static_cast<WPARAM>(index)));
    }
    int SetSel(int index, BOOL select = TRUE) {
        return static_cast<int>(SendMessage(LB_SETSEL, select, index));
    }
    int GetSelCount() const { return static_cast<int>(SendMessage(LB_GETSELCOUNT)); }
    int GetTextLen(int index) const {
        return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index)));
    }
    int GetText(int index, CString& text) const {
        return AfxGetItemText(m_hWnd, LB_GETTEXTLEN, LB_GETTEXT, index, text);
    }
    int FindString(int startAfter, LPCWSTR text) const {
        return static_cast<int>(SendMessage(LB_FINDSTRING, static_cast<WPARAM>(startAfter),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int FindStringExact(int startAfter, LPCWSTR text) const {
        return static_cast<int>(SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int SelectString(int startAfter, LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_SELECTSTRING, static_cast<WPARAM>(startAfter),
                                            reinterpret_cast<LPARAM>(text)));
    }
    DWORD_PTR GetItemData(int index) const {
        return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data) {
        return static_cast<int>(
            SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    void* GetItemDataPtr(int index) const { return reinterpret_cast<void*>(GetItemData(index)); }
    int SetItemDataPtr(int index, void* data) {
        return SetItemData(index, reinterpret_cast<DWORD_PTR>(data));
    }
    int GetItemHeight(int index) const {
        return static_cast<int>(SendMessage(LB_GETITEMHEIGHT, static_cast<WPARAM>(index)));
    }
    int SetItemHeight(int index, UINT height) {
        return static_cast<int>(SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(index), height));
    }
    int GetTopIndex() const { return static_cast<int>(SendMessage(LB_GETTOPINDEX)); }
    int SetTopIndex(int index) {
        return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(index)));
    }

    // An owner-drawn list box draws and measures its own items.
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}

  protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, u"COMBOBOX", u"", style, rect, parent, id);
    }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int AddString(LPCWSTR text) {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertString(int index, LPCWSTR text) {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int GetLBTextLen(int index) const {
        return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
    }
    int GetLBText(int index, CString& text) const {
        return AfxGetItemText(m_hWnd, CB_GETLBTEXTLEN, CB_GETLBTEXT, index, text);
    }
    int FindString(int startAfter, LPCWSTR text) const {
        return static_cast<int>(SendMessage(CB_FINDSTRING, static_cast<WPARAM>(startAfter),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int FindStringExact(int startAfter, LPCWSTR text) const {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int SelectString(int startAfter, LPCWSTR text) {
        return static_cast<int>(SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(startAfter),
                                            reinterpret_cast<LPARAM>(text)));
    }
    DWORD_PTR GetItemData(int index) const {
        return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data) {
        return static_cast<int>(
            SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    void* GetItemDataPtr(int index) const { return reinterpret_cast<void*>(GetItemData(index)); }
    int SetItemDataPtr(int index, void* data) {
        return SetItemData(index, reinterpret_cast<DWORD_PTR>(data));
    }
    int GetItemHeight(int index) const {
        return static_cast<int>(SendMessage(CB_GETITEMHEIGHT, static_cast<WPARAM>(index)));
    }
    int SetItemHeight(int index, UINT height) {
        return static_cast<int>(SendMessage(CB_SETITEMHEIGHT, static_cast<WPARAM>(index), height));
    }
    BOOL LimitText(int chars) { return static_cast<BOOL>(SendMessage(CB_LIMITTEXT, chars)); }
    DWORD GetEditSel() const { return static_cast<DWORD>(SendMessage(CB_GETEDITSEL)); }
    BOOL SetEditSel(int start, int end) {
        return static_cast<BOOL>(SendMessage(CB_SETEDITSEL, 0, AfxPackLParam(start, end)));
    }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, show); }
    BOOL GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }
    int SetDroppedWidth(UINT width) {
        return static_cast<int>(SendMessage(CB_SETDROPPEDWIDTH, width));
    }

    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}

  protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CScrollBar : public CWnd {
    DECLARE_DYNAMIC(CScrollBar)
  public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, u"SCROLLBAR", u"", style, rect, parent, id);
    }
    int GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
    int SetScrollPos(int pos, BOOL redraw = TRUE) {
        return ::SetScrollPos(m_hWnd, SB_CTL, pos, redraw);
    }
    void GetScrollRange(LPINT minPos, LPINT maxPos) const {
        ::GetScrollRange(m_hWnd, SB_CTL, minPos, maxPos);
    }
    void SetScrollRange(int minPos, int maxPos, BOOL redraw = TRUE) {
        ::SetScrollRange(m_hWnd, SB_CTL, minPos, maxPos, redraw);
    }
    BOOL SetScrollInfo(LPSCROLLINFO info, BOOL redraw = TRUE) {
        info->cbSize = sizeof *info;
        ::SetScrollInfo(m_hWnd, SB_CTL, info, redraw);
        return TRUE;
    }
    BOOL GetScrollInfo(LPSCROLLINFO info, UINT mask = SIF_ALL) const {
        info->cbSize = sizeof *info;
        info->fMask = mask;
        return ::GetScrollInfo(m_hWnd, SB_CTL, info);
    }
    // The largest position: the maximum less the page, less one when a page is set.
    int GetScrollLimit() const;
};
