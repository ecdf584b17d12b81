// The window manager's own records, shared by the windows, dialogs, controls,
// property sheets, the test driver and the renderer.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win/commctrl.h"
#include "win/user.h"

namespace platform::user {

// Per-window state of a control class (button, edit, list box...).
struct ControlState {
    virtual ~ControlState() = default;
};

struct WindowClass {
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    ATOM atom = 0;
    bool system = false;
};

struct Subclass {
    SUBCLASSPROC proc;
    UINT_PTR id;
    DWORD_PTR refData;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;      // child windows only
    HWND owner = nullptr;       // top-level windows only
    std::vector<HWND> children; // in z-order, first on top (= creation order)
    RECT rect{};                // in the parent's client coordinates, or the screen's
    std::u16string text;
    LONG_PTR id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    HFONT font = nullptr;
    std::map<std::u16string, HANDLE> props;
    std::vector<Subclass> subclasses; // called last-added first
    std::unique_ptr<ControlState> state;
    bool destroying = false;
    // Dialogs.
    bool isDialog = false;
    bool ended = false;
    INT_PTR result = 0;
    LONG baseUnitX = 6;
    LONG baseUnitY = 13;
    std::u16string fontFace;
    WORD fontPoints = 0;
    int defaultId = 0; // DM_SETDEFID; 0: the first default push button or IDOK
    // Painting: the part of the client area still to paint (client
    // coordinates; empty: none), whether it is erased first, and whether the
    // frame is drawn again.
    RECT update{};
    bool eraseUpdate = false;
    bool frameUpdate = false;
    // A top-level window: the surface its windows draw on, as the screen.
    HBITMAP surface = nullptr;
    SIZE surfaceSize{};
    // List boxes and edits: tab stops in dialog units (LB_SETTABSTOPS,
    // EM_SETTABSTOPS); empty: every 32 dialog units.
    std::vector<int> tabStops;
};

// The window behind a handle, nullptr for none. The record lives while the
// caller holds the pointer.
std::shared_ptr<Window> Find(HWND h);
// The top-level windows in their stacking order, the top first (topmost
// windows above the others; a new window goes on top of its band).
std::vector<HWND> TopLevelWindows();

// Non-client insets of a window with these styles (caption, frame, edge).
RECT Insets(DWORD style, DWORD exStyle);
// The window's client rectangle in screen coordinates.
RECT ClientScreenRect(const Window& w);

// WM_COMMAND and WM_NOTIFY to a control's parent.
void NotifyParent(HWND control, WORD code);
LRESULT NotifyParentNm(HWND control, NMHDR* header);

// Whether the calling code runs on behalf of a person (the test driver's
// clicks and typing) rather than of the program: controls send the
// notifications a person's action sends only then.
bool ByUser();
class UserAction {
  public:
    UserAction();
    ~UserAction();
    UserAction(const UserAction&) = delete;
    UserAction& operator=(const UserAction&) = delete;

  private:
    bool previous_;
};

// Painting (painting.cpp). The whole window, its frame and its descendants
// marked for painting again; and every window of the tree that needs it
// painted, bottom of the stacking order first (frame, background, client
// area), as the message loop would.
void InvalidateTree(HWND h);
void PaintTree(HWND h);
// What the message loop paints when nothing else is queued: the first
// window (of `within`'s tree, or of any) that needs it, nullptr for none; and
// that window painted (frame, background, client area), valid afterwards
// whatever its procedure did, so that no loop paints it forever.
HWND NextToPaint(HWND within);
void PaintOne(HWND h);
// Frees the surface of a top-level window that goes.
void ReleaseSurface(Window& w);
// A device context on the whole window (its frame included), as GetWindowDC.
HDC WindowDc(HWND h);
// The DC the test picture copies from: the top-level window's surface,
// whole, with the window's own top left corner as its origin.
HDC SurfaceDc(HWND h);

// The look of the system's controls (window_png.cpp): what their WM_PAINT
// draws (owner-drawn ones ask their parent), and the frame of other windows
// (caption, borders, edges) that WM_NCPAINT draws by default.
void PaintSystemControl(HWND h);
void PaintFrame(HWND h);
// A dialog's background: the brush its WM_CTLCOLORDLG answers.
void EraseDialog(HWND dialog, HDC dc);

// The cursor SetCursor last set (nullptr: none), and a key the test driver
// holds down or lets go (GetKeyState reports it).
HCURSOR CurrentCursor();
void HoldKey(int virtualKey, bool down);

// Registers the system's control classes (once).
void RegisterSystemClasses();
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ScrollBarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TrackbarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK UpDownProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TabProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TooltipProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK DialogClassProc(HWND, UINT, WPARAM, LPARAM);

// The control state of a window as T (created on first use).
template <class T> T& StateOf(Window& w) {
    if (!w.state || !dynamic_cast<T*>(w.state.get())) w.state = std::make_unique<T>();
    return static_cast<T&>(*w.state);
}

// The modal loop of dialogs, message boxes, menus and sheets: runs until
// `done` says so. While the queue is empty it runs the test driver's next
// answer script for `window`; when there is none, the window is left
// unanswered: the loop reports it and returns false.
bool RunModalLoop(HWND window, const std::function<bool()>& done);

// Queues one WM_TIMER for every timer of the process, as if its time had
// come; false when there is none.
bool FireTimers();

// A modal window or seam call that nothing answered (TakeUnanswered lists it),
// and a line of the seam log.
void ReportUnanswered(const std::string& what);
void LogSeamCall(const std::string& line);

// LB_SETTABSTOPS and EM_SETTABSTOPS (tab_stops.cpp): count and dialog units.
// TRUE when the control takes tab stops (a list box with LBS_USETABSTOPS, a
// multiline edit), else FALSE and nothing kept.
LRESULT SetTabStops(Window& w, WPARAM count, LPARAM stops);
// A control's tab stops in pixels from the start of its text, as
// TabbedTextOutW takes them (one stop: multiples of it).
std::vector<INT> TabStopPixels(HWND control);

// A single-line edit's text as drawn (window_png.cpp): the width of `text`
// in the edit's font, and the width its text area shows.
LONG EditTextWidth(HWND edit, const std::u16string& text);
LONG EditTextRoom(HWND edit);

// Asks a tool's window for its tip text (TTN_GETDISPINFOW, tooltip_text.cpp);
// true when the answer asks the tooltip to keep the text from now on.
bool AskToolText(HWND tooltip, HWND window, UINT_PTR id, UINT flags, LPARAM lParam,
                 std::u16string* text);

// ShowWindow's effect on the minimized state (WS_MINIMIZE), window_states.cpp.
void ApplyShowCommand(Window& w, int command);

// Top-level windows shared between the processes of the machine root
// (shared_windows.cpp). This process publishes its own when they are made
// or destroyed and whenever it looks for messages, and then takes in what
// other processes asked of them. Other processes' windows get handles of
// their own here (IsForeignWindow); calls on them travel to their process.
void PublishTopLevelWindows();
void PumpSharedWindows();
HWND FindForeignWindow(LPCWSTR className, LPCWSTR title);
bool IsForeignWindow(HWND h);
bool IsLiveForeignWindow(HWND h);
// False when the window or its process is gone.
bool ForeignWindowState(HWND h, DWORD* style, std::u16string* title);
BOOL PostToForeignWindow(HWND h, UINT msg, WPARAM wp, LPARAM lp);
void PostToForeignTopLevels(UINT msg, WPARAM wp, LPARAM lp);
BOOL ShowForeignWindow(HWND h, int command);
BOOL SetForeignWindowPos(HWND h, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// WM_SETTINGCHANGE to every top-level window of the other processes.
void SendSettingChangeToForeign(const char16_t* section);
// The number of a registered message name, the same in every process.
UINT RegisterSharedMessage(LPCWSTR name);

// The text a window's snapshot and the unanswered report name it by.
std::u16string Describe(HWND h);

// Control ids of the predefined dialog item classes (ordinals 0x80..0x85).
const char16_t* PredefinedClassName(WORD ordinal);

// A person's selection in a list box or combo box, and typing into an
// editable combo box: with the notifications those send.
bool SelectByUser(HWND listOrCombo, int index);
bool TypeIntoCombo(HWND combo, const std::u16string& text);
// A person moves a trackbar, clicks an up-down control, picks a tab or
// scrolls a scroll bar.
bool MoveSliderByUser(HWND trackbar, int position);
bool SpinByUser(HWND upDown, int steps);
bool SelectTabByUser(HWND tab, int index);
bool ScrollByUser(HWND scrollBar, int position);
// Where a person clicks to reach a list view's item (its label, or its check
// box) or a column's header, in client coordinates; false when there is none.
bool ListViewItemPoint(HWND listView, int index, bool stateIcon, POINT* out);
bool ListViewColumnPoint(HWND listView, int column, POINT* out);
// A point as the mouse messages carry it.
LPARAM ListViewPointParam(POINT p);

// Creates a dialog from template bytes (size known) as CreateDialogIndirectParam does.
HWND CreateDialogFromTemplate(HINSTANCE instance, const BYTE* bytes, size_t size, HWND parent,
                              DLGPROC proc, LPARAM param);
// Runs a dialog made by CreateDialogFromTemplate modally; -1 when unanswered.
INT_PTR RunDialog(HWND dialog, HWND owner);

// The default push button of a dialog, nullptr for none.
HWND DefaultButton(HWND dialog);

} // namespace platform::user
