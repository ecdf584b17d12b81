// The framework's application, module state, command targets with message
// maps, and windows. Each library links its own copy (a static library with
// hidden symbols), so each has its own module state.
#pragma once

#include <unordered_map>

#include "afx.h"
#include "afxtypes.h"
#include "win/user.h"

class CWinApp;
class CWnd;
class CGdiObject;
class CDC;

// Two 16-bit halves in one message parameter (low word first), as the
// controls' range and selection messages take them.
inline LPARAM AfxPackLParam(int low, int high) {
    return static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(low, high)));
}

// ---------------------------------------------------------------------------
// Module state: what the framework knows of the module it is linked into.
struct AFX_MODULE_STATE {
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    HINSTANCE m_hCurrentResourceHandle = nullptr;
    CWinApp* m_pCurrentWinApp = nullptr;
    LPCWSTR m_lpszCurrentAppName = nullptr;
    // Windows with objects: permanent (attached) and temporary (FromHandle).
    std::unordered_map<HWND, CWnd*> m_permanentWindows;
    std::unordered_map<HWND, CWnd*> m_temporaryWindows;
    // Borrowing wrappers of drawing objects and device contexts (FromHandle).
    std::unordered_map<void*, CGdiObject*> m_temporaryGdiObjects;
    std::unordered_map<HDC, CDC*> m_temporaryDCs;
};

// The module's own state, and the one current on this thread (the module's
// own unless AFX_MANAGE_STATE switched it).
AFX_MODULE_STATE* AfxGetStaticModuleState();
AFX_MODULE_STATE* AfxGetModuleState();
// Makes a state current for the lifetime of the object, restoring the previous one.
class AFX_MAINTAIN_STATE2 {
  public:
    explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state);
    ~AFX_MAINTAIN_STATE2();
    AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
    AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

  private:
    AFX_MODULE_STATE* previous_;
};
#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _ctlState(p)

// The instance handle is the module's; the resource handle is where
// resources are loaded from (the module's own unless set).
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resources);
CWinApp* AfxGetApp();
LPCWSTR AfxGetAppName();
// A message box captioned with the application's name, owned by the active window.
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = UINT(-1));

// ---------------------------------------------------------------------------
// Message maps. An entry matches a message (and for WM_COMMAND/WM_NOTIFY a
// notification code and an id range); its handler is a small function the
// macro writes that unpacks the message for the member it names and returns
// TRUE when the message was handled (a member returning void handles it).
class CCmdTarget;
typedef BOOL (*AFX_MSG_HANDLER)(CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT* result);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;
    UINT nID;
    UINT nLastID;
    AFX_MSG_HANDLER pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
  protected:                                                                                       \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        typedef theClass ThisClass;                                                                \
        typedef baseClass TheBaseClass;                                                            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, 0, nullptr }                                                                        \
    }                                                                                              \
    ;                                                                                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};  \
    return &messageMap;                                                                            \
    }

// The handler's body sees `self` (the object), `message`, `wParam`, `lParam`, `result`.
#define AFX_MSG_ENTRY(msg, code, id, lastId, body)                                                 \
    {static_cast<UINT>(msg), static_cast<UINT>(code), static_cast<UINT>(id),                       \
     static_cast<UINT>(lastId),                                                                    \
     [](CCmdTarget* target, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) -> BOOL { \
         auto* self = static_cast<ThisClass*>(target);                                             \
         (void)self, (void)message, (void)wParam, (void)lParam, (void)result;                      \
         body                                                                                      \
     }},

#define ON_COMMAND(id, memberFxn)                                                                  \
    AFX_MSG_ENTRY(WM_COMMAND, 0, id, id, self->memberFxn(); return TRUE;)
#define ON_COMMAND_RANGE(id, idLast, memberFxn)                                                    \
    AFX_MSG_ENTRY(WM_COMMAND, 0, id, idLast, self->memberFxn(LOWORD(wParam)); return TRUE;)
#define ON_CONTROL(code, id, memberFxn)                                                            \
    AFX_MSG_ENTRY(WM_COMMAND, code, id, id, self->memberFxn(); return TRUE;)
#define ON_CONTROL_RANGE(code, id, idLast, memberFxn)                                              \
    AFX_MSG_ENTRY(WM_COMMAND, code, id, idLast, self->memberFxn(LOWORD(wParam)); return TRUE;)
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_BN_DOUBLECLICKED(id, memberFxn) ON_CONTROL(BN_DOUBLECLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_EDITCHANGE(id, memberFxn) ON_CONTROL(CBN_EDITCHANGE, id, memberFxn)
#define ON_CBN_KILLFOCUS(id, memberFxn) ON_CONTROL(CBN_KILLFOCUS, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_LBN_SELCHANGE(id, memberFxn) ON_CONTROL(LBN_SELCHANGE, id, memberFxn)
#define ON_LBN_DBLCLK(id, memberFxn) ON_CONTROL(LBN_DBLCLK, id, memberFxn)
#define ON_NOTIFY(code, id, memberFxn)                                                             \
    AFX_MSG_ENTRY(WM_NOTIFY, code, id, id,                                                         \
                  self->memberFxn(reinterpret_cast<NMHDR*>(lParam), result);                       \
                  return TRUE;)
#define ON_NOTIFY_RANGE(code, id, idLast, memberFxn)                                               \
    AFX_MSG_ENTRY(WM_NOTIFY, code, id, idLast,                                                     \
                  self->memberFxn(static_cast<UINT>(reinterpret_cast<NMHDR*>(lParam)->idFrom),     \
                                  reinterpret_cast<NMHDR*>(lParam), result);                       \
                  return TRUE;)
#define ON_MESSAGE(msg, memberFxn)                                                                 \
    AFX_MSG_ENTRY(msg, 0, 0, 0, *result = self->memberFxn(wParam, lParam); return TRUE;)

// A control's own handling of what its parent was sent about it (owner
// drawing, scrolling): the parent passes the message on as
// WM_REFLECT_BASE + message when its own map does not take it.
#define WM_REFLECT_BASE 0xBC00
#define ON_WM_HSCROLL_REFLECT()                                                                    \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_HSCROLL, 0, 0, 0,                                           \
                  self->HScroll(LOWORD(wParam), HIWORD(wParam));                                   \
                  return TRUE;)
#define ON_WM_VSCROLL_REFLECT()                                                                    \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + WM_VSCROLL, 0, 0, 0,                                           \
                  self->VScroll(LOWORD(wParam), HIWORD(wParam));                                   \
                  return TRUE;)

#define ON_WM_CREATE()                                                                             \
    AFX_MSG_ENTRY(WM_CREATE, 0, 0, 0,                                                              \
                  *result = self->OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam));             \
                  return TRUE;)
#define ON_WM_DESTROY() AFX_MSG_ENTRY(WM_DESTROY, 0, 0, 0, self->OnDestroy(); return TRUE;)
#define ON_WM_CLOSE() AFX_MSG_ENTRY(WM_CLOSE, 0, 0, 0, self->OnClose(); return TRUE;)
#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, 0, 0, 0, self->OnPaint(); return TRUE;)
#define ON_WM_TIMER()                                                                              \
    AFX_MSG_ENTRY(WM_TIMER, 0, 0, 0, self->OnTimer(static_cast<UINT_PTR>(wParam)); return TRUE;)
#define ON_WM_SIZE()                                                                               \
    AFX_MSG_ENTRY(WM_SIZE, 0, 0, 0,                                                                \
                  self->OnSize(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),      \
                               static_cast<short>(HIWORD(lParam)));                                \
                  return TRUE;)
#define ON_WM_SHOWWINDOW()                                                                         \
    AFX_MSG_ENTRY(WM_SHOWWINDOW, 0, 0, 0,                                                          \
                  self->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));        \
                  return TRUE;)
#define ON_WM_HSCROLL()                                                                            \
    AFX_MSG_ENTRY(WM_HSCROLL, 0, 0, 0,                                                             \
                  self->OnHScroll(LOWORD(wParam), HIWORD(wParam),                                  \
                                  CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));               \
                  return TRUE;)
#define ON_WM_VSCROLL()                                                                            \
    AFX_MSG_ENTRY(WM_VSCROLL, 0, 0, 0,                                                             \
                  self->OnVScroll(LOWORD(wParam), HIWORD(wParam),                                  \
                                  CWnd::FromHandle(reinterpret_cast<HWND>(lParam)));               \
                  return TRUE;)
#define ON_WM_SETFOCUS()                                                                           \
    AFX_MSG_ENTRY(WM_SETFOCUS, 0, 0, 0,                                                            \
                  self->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));              \
                  return TRUE;)
#define ON_WM_KILLFOCUS()                                                                          \
    AFX_MSG_ENTRY(WM_KILLFOCUS, 0, 0, 0,                                                           \
                  self->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));             \
                  return TRUE;)
#define ON_WM_HELPINFO()                                                                           \
    AFX_MSG_ENTRY(WM_HELP, 0, 0, 0,                                                                \
                  *result = self->OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam));                 \
                  return TRUE;)
#define ON_WM_CONTEXTMENU()                                                                        \
    AFX_MSG_ENTRY(WM_CONTEXTMENU, 0, 0, 0,                                                         \
                  self->OnContextMenu(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),            \
                                      POINT{static_cast<short>(LOWORD(lParam)),                    \
                                            static_cast<short>(HIWORD(lParam))});                  \
                  return TRUE;)
#define ON_WM_DRAWITEM()                                                                           \
    AFX_MSG_ENTRY(                                                                                 \
        WM_DRAWITEM, 0, 0, 0,                                                                      \
        self->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));    \
        *result = TRUE; return TRUE;)
#define ON_WM_MEASUREITEM()                                                                        \
    AFX_MSG_ENTRY(WM_MEASUREITEM, 0, 0, 0,                                                         \
                  self->OnMeasureItem(static_cast<int>(wParam),                                    \
                                      reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));              \
                  *result = TRUE; return TRUE;)

// WM_CTLCOLOR*: the kind of control that asks for its colours (the
// message's distance from WM_CTLCOLORMSGBOX). OnCtlColor answers the brush
// (nullptr: the default); the handler sets the text and background colours
// on the device context.
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6
#define AFX_CTLCOLOR_ENTRY(msg)                                                                    \
    AFX_MSG_ENTRY(msg, 0, 0, 0,                                                                    \
                  *result = reinterpret_cast<LRESULT>(                                             \
                      self->OnCtlColor(CDC::FromHandle(reinterpret_cast<HDC>(wParam)),             \
                                       CWnd::FromHandle(reinterpret_cast<HWND>(lParam)),           \
                                       message - WM_CTLCOLORMSGBOX));                              \
                  return TRUE;)
#define ON_WM_CTLCOLOR()                                                                           \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLORMSGBOX)                                                          \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLOREDIT)                                                            \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLORLISTBOX)                                                         \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLORBTN)                                                             \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLORDLG)                                                             \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLORSCROLLBAR)                                                       \
    AFX_CTLCOLOR_ENTRY(WM_CTLCOLORSTATIC)
// A control choosing its own colours: the parent passes the request on when
// its own map does not take it; CtlColor answering nullptr leaves it to the
// parent's default.
#define AFX_CTLCOLOR_REFLECT_ENTRY(msg)                                                            \
    AFX_MSG_ENTRY(WM_REFLECT_BASE + msg, 0, 0, 0,                                                  \
                  HBRUSH brush = self->CtlColor(CDC::FromHandle(reinterpret_cast<HDC>(wParam)),    \
                                                msg - WM_CTLCOLORMSGBOX);                          \
                  *result = reinterpret_cast<LRESULT>(brush); return brush != nullptr;)
#define ON_WM_CTLCOLOR_REFLECT()                                                                   \
    AFX_CTLCOLOR_REFLECT_ENTRY(WM_CTLCOLOREDIT)                                                    \
    AFX_CTLCOLOR_REFLECT_ENTRY(WM_CTLCOLORLISTBOX)                                                 \
    AFX_CTLCOLOR_REFLECT_ENTRY(WM_CTLCOLORBTN)                                                     \
    AFX_CTLCOLOR_REFLECT_ENTRY(WM_CTLCOLORSCROLLBAR)                                               \
    AFX_CTLCOLOR_REFLECT_ENTRY(WM_CTLCOLORSTATIC)
#define ON_WM_SETCURSOR()                                                                          \
    AFX_MSG_ENTRY(WM_SETCURSOR, 0, 0, 0,                                                           \
                  *result = self->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)),    \
                                              LOWORD(lParam), HIWORD(lParam));                     \
                  return TRUE;)
#define ON_WM_ERASEBKGND()                                                                         \
    AFX_MSG_ENTRY(WM_ERASEBKGND, 0, 0, 0,                                                          \
                  *result = self->OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));    \
                  return TRUE;)
// Mouse messages: the keys and buttons down (MK_*) and the point in client
// coordinates.
#define AFX_MOUSE_ENTRY(msg, memberFxn)                                                            \
    AFX_MSG_ENTRY(                                                                                 \
        msg, 0, 0, 0,                                                                              \
        self->memberFxn(static_cast<UINT>(wParam), CPoint(static_cast<short>(LOWORD(lParam)),      \
                                                          static_cast<short>(HIWORD(lParam))));    \
        return TRUE;)
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() AFX_MOUSE_ENTRY(WM_LBUTTONDBLCLK, OnLButtonDblClk)
// Keys: the virtual key, the repeat count and the flags of the key message.
#define AFX_KEY_ENTRY(msg, memberFxn)                                                              \
    AFX_MSG_ENTRY(msg, 0, 0, 0,                                                                    \
                  self->memberFxn(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));      \
                  return TRUE;)
#define ON_WM_KEYDOWN() AFX_KEY_ENTRY(WM_KEYDOWN, OnKeyDown)
#define ON_WM_KEYUP() AFX_KEY_ENTRY(WM_KEYUP, OnKeyUp)

// ---------------------------------------------------------------------------
class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
  public:
    // Routes a command (nCode 0..0xFFFF from WM_COMMAND) to the message map.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, WPARAM wParam, LPARAM lParam, LRESULT* result);

  protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // The first entry of this map or a base class's that matches; nullptr when none.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};

// ---------------------------------------------------------------------------
// The application object of a library: one static instance per module. The
// module's entry calls InitInstance on attach (a FALSE fails the load, after
// ExitInstance) and ExitInstance on detach.
class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
  public:
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }

    LPCWSTR m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;

  private:
    CString appName_;
};

// ---------------------------------------------------------------------------
class CDataExchange;

// A window's whole text, however long.
void AfxGetWindowText(HWND hWnd, CString& text);

// A window object. Attach only maps the handle; SubclassWindow also routes
// the window's messages through the object's message map. The object is
// forgotten when its window is destroyed, then PostNcDestroy runs (a page or
// modeless window may delete itself there).
class CWnd : public CCmdTarget {
    DECLARE_DYNCREATE(CWnd)
  public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object of a window: its permanent one, else a temporary one that
    // lives until DeleteTempMap.
    static CWnd* FromHandle(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);
    static void DeleteTempMap();
    BOOL Attach(HWND hWnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    virtual BOOL DestroyWindow();
    // Makes a window of a class and subclasses it, so that its messages come
    // through this object's message map from then on.
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void SetDlgItemText(int id, LPCWSTR text) { ::SetDlgItemTextW(m_hWnd, id, text); }
    int GetDlgItemText(int id, CString& text) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) {
        ::SetDlgItemInt(m_hWnd, id, value, isSigned);
    }
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const {
        return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
    }
    void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL ShowWindow(int cmdShow) { return ::ShowWindow(m_hWnd, cmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void MoveWindow(LPCRECT r, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
    }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    void SetFont(HFONT font, BOOL redraw = TRUE) {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    BOOL SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr) != 0; }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    // TRUE: controls to members (validation failing answers FALSE);
    // FALSE: members to controls.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The default processing of the message being handled.
    LRESULT Default();

    // The mouse and painting.
    CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
    static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
    void ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
    void ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    BOOL RedrawWindow(LPCRECT rect = nullptr, HRGN region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
        return ::RedrawWindow(m_hWnd, rect, region, flags);
    }
    // A device context on the client area (a temporary object), handed back
    // with ReleaseDC.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    // The handlers the message-map entries call; each does the default
    // processing of its message, so that a class's own handler may call its
    // base's.
    void OnPaint() { Default(); }
    BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
    // A control that chooses its own colours (ON_WM_CTLCOLOR_REFLECT) is
    // asked first.
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
    void OnMouseMove(UINT, CPoint) { Default(); }
    void OnLButtonDown(UINT, CPoint) { Default(); }
    void OnLButtonUp(UINT, CPoint) { Default(); }
    void OnLButtonDblClk(UINT, CPoint) { Default(); }
    void OnKeyDown(UINT, UINT, UINT) { Default(); }
    void OnKeyUp(UINT, UINT, UINT) { Default(); }
    void OnDrawItem(int, LPDRAWITEMSTRUCT) { Default(); }
    void OnMeasureItem(int, LPMEASUREITEMSTRUCT) { Default(); }

  protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // A message the parent was sent about this control (WM_DRAWITEM,
    // WM_MEASUREITEM, WM_HSCROLL, WM_VSCROLL): TRUE when the control handled
    // it. By default the control's map answers WM_REFLECT_BASE + message.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void PostNcDestroy() {}
    // The procedure the window had before it was subclassed.
    WNDPROC m_pfnSuper = nullptr;

  private:
    BOOL ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    struct Current {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    Current current_{};
};
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Data exchange between a dialog's controls and its members.
class CDataExchange {
  public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    // The control of an id; a missing control fails the exchange.
    HWND PrepareCtrl(int id);
    // Marks the exchange failed (focus goes to the last control prepared).
    void Fail();
    BOOL m_bFailed = FALSE;
    HWND m_hWndLastControl = nullptr;
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
// A number that does not read as one fails the exchange with a message box.
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
void DDX_CBString(CDataExchange* dx, int id, CString& value);
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDV_MinMaxInt(CDataExchange* dx, int value, int minVal, int maxVal);

#include "afxgdi.h"
#include "afxctl.h"
