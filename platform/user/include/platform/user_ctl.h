// Controls of the stand-in user interface for tests and tools: live-object
// counts, the scripts that answer modal windows, message boxes, menus and
// help, and the headless driver that works windows as a person would.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/commctrl.h"
#include "win/gdi.h"
#include "win/user.h"

namespace platform::user::test {

// Windows, timers and property-sheet pages not yet destroyed.
size_t LiveWindows();
size_t LiveTimers();
size_t LivePropertySheetPages();
// Image lists not yet destroyed.
size_t LiveImageLists();

// A script that answers the next modal window (dialog, property sheet or
// popup menu's owner) once its modal loop is idle; it gets the modal window.
// Scripts run in the order they were registered. A modal window that idles
// with no script left is reported as unanswered and closed (see
// TakeUnanswered): a test never hangs on one.
using ModalScript = std::function<void(HWND modal)>;
void AnswerNextModal(ModalScript script);

struct MessageBoxCall {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};
// Every message box shown since the last reset, in order.
std::vector<MessageBoxCall> MessageBoxLog();
// Answers the next message box with this button id (IDOK, IDYES...), or with
// what the script returns.
void AnswerNextMessageBox(int answer);
void AnswerNextMessageBox(std::function<int(const MessageBoxCall&)> script);
// When no script answers a message box, this answerer does (printhost asks on
// its terminal); without one the box is unanswered.
void SetMessageBoxAnswerer(std::function<int(const MessageBoxCall&)> answerer);

// The common dialogs (file open and save, font, colour) as the program
// opened them, and what a script answers in a person's place.
struct CommonDialogCall {
    enum Kind { Open, Save, Font, Color } kind = Open;
    HWND owner = nullptr;
    DWORD flags = 0;   // OFN_*, CF_* or CC_*
    DWORD flagsEx = 0; // OFN_EX_*
    // File dialogs: title, filter as (description, patterns) pairs, the
    // starting folder and name, the default extension.
    std::u16string title;
    std::vector<std::pair<std::u16string, std::u16string>> filter;
    std::u16string initialFolder, fileName, defaultExtension;
    // Font dialog: the starting font (with CF_INITTOLOGFONTSTRUCT).
    LOGFONTW font{};
    // Font and colour dialogs: the starting colour.
    COLORREF color = 0;
};
struct CommonDialogAnswer {
    bool ok = false;     // false: Cancel
    std::u16string path; // file dialogs: a full path, or a name in the starting folder
    LOGFONTW font{};     // font dialog; lfHeight 0 takes it from pointSize
    int pointSize = 0;   // tenths of a point; 0 takes it from lfHeight
    COLORREF color = 0;  // font (with CF_EFFECTS) and colour dialogs
};
using CommonDialogScript = std::function<CommonDialogAnswer(const CommonDialogCall&)>;
// Answers the next common dialog. One that no script answers is cancelled and
// reported (TakeUnanswered), as is an answer the dialog would refuse (a file
// that must exist and does not, a size outside the allowed range).
void AnswerNextCommonDialog(CommonDialogScript script);
void AnswerNextFileDialog(const std::u16string& path);
void CancelNextCommonDialog();
// Every common dialog opened since the last reset, in order.
std::vector<CommonDialogCall> CommonDialogLog();

// The choice the next popup menu returns (0: dismissed without a choice).
void AnswerNextMenu(UINT command);

// Help, shell and common-dialog calls, one line each, in order:
// "WinHelpW <file> <command> <data>", "HtmlHelpW <file> <command> <data>"
// (the window type's name for HH_SET_WIN_TYPE and HH_GET_WIN_TYPE),
// "ShellExecuteW <operation> <file> <parameters>" (ShellExecuteA likewise),
// "service message box \"<caption>\": <text>", and for common dialogs
// "open-file dialog \"<title>\"" (save-file, font, colour).
std::vector<std::string> SeamLog();

// What ShellExecuteA/W were asked to open, in order (nothing is started).
struct ShellExecuteCall {
    HWND owner = nullptr;
    std::u16string operation, file, parameters, directory; // "" for NULL
    int show = 0;
    bool ansi = false; // ShellExecuteA
};
std::vector<ShellExecuteCall> ShellExecuteLog();

// The cursors SetCursor put up, in order (each change once).
std::vector<HCURSOR> CursorHistory();

// Whether visual styles are on (IsThemeActive of "uxtheme.dll"); on unless
// a test switches them off.
void SetThemeActive(bool active);

// Message boxes with MB_SERVICE_NOTIFICATION go to a desktop nobody here
// watches: without a script they are answered with their default button and
// reported in the seam log ("service message box \"<caption>\": <text>"),
// never left unanswered.

// A change of the system's settings as the system announces it: every
// top-level window of every process of the machine root gets
// WM_SETTINGCHANGE (WM_WININICHANGE) with wParam 0 and lParam the section
// name ("windows", "devices"...; nullptr for none). Those of this process get
// it at once, the others when their message loop next looks.
void BroadcastSettingChange(const char16_t* section);

// Texts of the modal windows and message boxes that idled with nothing to
// answer them since the last call (or reset), and forgets them. A test
// fixture fails on any.
std::vector<std::string> TakeUnanswered();

// System colours for a test (GetSysColor and the rendered pictures).
void SetSysColor(int index, COLORREF color);

} // namespace platform::user::test

namespace platform::user::driver {

// A top-level window by caption and/or class (nullptr matches any); nullptr
// when none.
HWND FindTopWindow(const char16_t* caption, const char16_t* className = nullptr);
// The first descendant of parent with this control id (pages of a property
// sheet included), nullptr when none.
HWND FindControl(HWND parent, int id);

// A person's actions. Each sends what the action sends on the real system
// (focus, clicks, the notifications of typing and selection); they return
// false when the control cannot take the action (missing, disabled, hidden,
// or of another kind).
bool Click(HWND control);
bool SetCheck(HWND button, UINT state);               // clicks until the button shows state
bool TypeText(HWND edit, const std::u16string& text); // replaces the text, key by key
bool SelectItem(HWND listOrCombo, int index);         // a list view's item: a click on its label
bool SelectItemText(HWND listOrCombo, const std::u16string& text);
bool MoveSlider(HWND trackbar, int position);
// A click on a combo box's arrow: its list drops down (CBN_DROPDOWN) or
// closes again (CBN_CLOSEUP) without a choice.
bool DropDown(HWND combo, bool open);
bool SpinBy(HWND upDown, int steps); // up (positive) or down clicks
bool SelectTab(HWND tab, int index);
bool ScrollTo(HWND scrollBar, int position);
// A list view: a double click on an item, a click on its check box until it
// shows `checked`, a click on a column's header.
bool DoubleClickItem(HWND listView, int index);
bool CheckItem(HWND listView, int index, bool checked);
bool ClickColumn(HWND listView, int column);
// Help as a person asks for it: F1 with the focus on a window (WM_HELP with
// a HELPINFO naming it), and a right-click on the middle of a window (the
// mouse passes through disabled windows, group boxes and plain static
// texts to the window behind them, which gets WM_CONTEXTMENU; an edit shows
// its own Undo/Cut/Copy/Paste menu). False when the window cannot take the
// focus or the click.
bool PressF1(HWND window);
bool RightClick(HWND window);
// Keys as a person presses them on the window with the focus: WM_KEYDOWN
// and WM_KEYUP, through the dialog manager of the focus's dialog (Tab moves
// the focus, Enter presses the default button, Escape cancels; a control
// that wants the key gets it: arrow keys move a list's selection). A held
// key stays down (GetKeyState reports it, WM_KEYDOWN repeats with each
// HoldKey) until ReleaseKey. False when no window has the focus.
bool PressKey(int virtualKey);
bool HoldKey(int virtualKey);
bool ReleaseKey(int virtualKey);
// The left mouse button at a point of a window's client area: pressed, moved
// (a drag while it is down) and released. The point is hit-tested as the
// system does, from the window's top-level window down (WM_NCHITTEST): a
// static text without SS_NOTIFY, a group box and a disabled window let the
// mouse pass to the window beneath. The window found is asked for its cursor
// first (WM_SETCURSOR) unless a window has captured the mouse, which then
// gets the messages; each at the point in its own coordinates. False when
// the window is missing or hidden, or no window there takes the mouse.
bool MouseDown(HWND window, POINT at);
bool MouseMove(HWND window, POINT at);
bool MouseUp(HWND window, POINT at);
// A press at `from`, moves in `steps` even steps and a release at `to`.
bool Drag(HWND window, POINT from, POINT to, int steps = 4);
// The cursor the program set last (SetCursor), nullptr for none.
HCURSOR ReadCursor();
// A property sheet: its pages by tab, and its buttons.
bool SwitchPage(HWND sheet, int index);
bool PressButton(HWND dialog, int id); // IDOK, IDCANCEL, IDHELP, IDC_PROPSHEET_APPLYNOW...
// Whether a modal dialog has ended (EndDialog), so that its loop returns next;
// false for a dialog that refused the button pressed and stays open.
bool DialogEnded(HWND dialog);

// The tab stops a list box (LBS_USETABSTOPS) or multiline edit expands its
// text's tabs to, in pixels (one stop: every multiple of it).
std::vector<INT> ReadTabStops(HWND control);

// What a person sees of a control: "checked", the text, the selection.
std::u16string ReadText(HWND window);
UINT ReadCheck(HWND button);
int ReadSelection(HWND listOrComboOrTab); // a list view's first selected item
bool ReadItemCheck(HWND listView, int index);
int ReadPosition(HWND trackbarOrUpDownOrScrollBar);

// A text picture of a window and its descendants, one line per window:
// indent, class, id, text in quotes, state flags, position (client
// coordinates of the parent). Same windows, same text.
std::string Snapshot(HWND window);

// A picture of the window as the windows paint themselves (frame, caption,
// the system's controls in the classic 3D look with the system colours and
// the dialog's own font, owner-drawn and self-painting controls as their
// program draws them), in their stacking order, with its top left corner at
// (0, 0) of the device context; or into a PNG file. Its top-level window is
// painted afresh first, as if it had just been uncovered.
bool DrawWindow(HWND window, HDC dc);
bool SavePng(HWND window, const std::string& hostPath);

} // namespace platform::user::driver
