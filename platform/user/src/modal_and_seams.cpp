// The modal loop with its answer scripts, and the calls behind seams: message
// boxes, help, the shell, popup menus, the clipboard and system facts. In
// tests every one is logged and answered by a script; nothing waits for a
// person who is not there.
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <new>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/gdi_ctl.h"
#include "platform/text.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"
#include "win/htmlhelp.h"
#include "win/memory.h"

namespace platform::user {
namespace {

// Timer rounds a modal loop idles through before it counts as unanswered.
constexpr int kIdleRounds = 64;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kTaskbarHeight = 40;

struct MenuItem {
    UINT flags;
    UINT_PTR id;
    std::u16string text;
};

// A window type the help system was given: the record with its own copies
// of the two texts it keeps (the other texts are not kept).
struct HelpWindowType {
    HH_WINTYPE record{};
    std::string type, caption;
};

struct Seams {
    std::mutex lock;
    std::deque<test::ModalScript> modalScripts;
    std::deque<std::function<int(const test::MessageBoxCall&)>> boxScripts;
    std::function<int(const test::MessageBoxCall&)> boxAnswerer;
    std::vector<test::MessageBoxCall> boxes;
    std::deque<UINT> menuAnswers;
    std::vector<std::string> log;
    std::vector<std::string> unanswered;
    std::map<int, COLORREF> colors;
    std::map<ULONG_PTR, std::vector<MenuItem>> menus;
    ULONG_PTR nextMenu = 0x6E000010;
    // Clipboard.
    HWND clipboardOwner = nullptr;
    bool clipboardOpen = false;
    std::map<UINT, HANDLE> clipboard;
    // HTML help's window types by name (compared without regard to case).
    std::map<std::string, std::unique_ptr<HelpWindowType>> helpTypes;
};

Seams& Z() {
    static Seams* z = new Seams;
    return *z;
}

COLORREF DefaultColor(int index);

void ResetSeams() {
    std::lock_guard lock(Z().lock);
    Z().modalScripts.clear();
    Z().boxScripts.clear();
    Z().boxAnswerer = nullptr;
    Z().boxes.clear();
    Z().menuAnswers.clear();
    Z().log.clear();
    Z().unanswered.clear();
    Z().colors.clear();
    for (int i = 0; i <= COLOR_GRADIENTINACTIVECAPTION; ++i)
        platform::SystemColorBrush(i, DefaultColor(i));
    Z().menus.clear();
    for (auto& [format, data] : Z().clipboard)
        GlobalFree(data);
    Z().clipboard.clear();
    Z().clipboardOpen = false;
    Z().helpTypes.clear();
}

void EnsureReset() {
    static const bool registered = (platform::RegisterResetHook(&ResetSeams), true);
    (void)registered;
}

void Unanswered(const std::string& what) {
    std::fprintf(stderr, "unanswered: %s\n", what.c_str());
    std::lock_guard lock(Z().lock);
    Z().unanswered.push_back(what);
}

// The classic scheme.
COLORREF DefaultColor(int index) {
    switch (index) {
    case COLOR_SCROLLBAR:
        return RGB(212, 208, 200);
    case COLOR_BACKGROUND:
        return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION:
        return RGB(10, 36, 106);
    case COLOR_INACTIVECAPTION:
        return RGB(128, 128, 128);
    case COLOR_MENU:
        return RGB(212, 208, 200);
    case COLOR_WINDOW:
        return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME:
        return RGB(0, 0, 0);
    case COLOR_MENUTEXT:
        return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT:
        return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT:
        return RGB(255, 255, 255);
    case COLOR_ACTIVEBORDER:
        return RGB(212, 208, 200);
    case COLOR_INACTIVEBORDER:
        return RGB(212, 208, 200);
    case COLOR_APPWORKSPACE:
        return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT:
        return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT:
        return RGB(255, 255, 255);
    case COLOR_BTNFACE:
        return RGB(212, 208, 200);
    case COLOR_BTNSHADOW:
        return RGB(128, 128, 128);
    case COLOR_GRAYTEXT:
        return RGB(128, 128, 128);
    case COLOR_BTNTEXT:
        return RGB(0, 0, 0);
    case COLOR_INACTIVECAPTIONTEXT:
        return RGB(212, 208, 200);
    case COLOR_BTNHIGHLIGHT:
        return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW:
        return RGB(64, 64, 64);
    case COLOR_3DLIGHT:
        return RGB(212, 208, 200);
    case COLOR_INFOTEXT:
        return RGB(0, 0, 0);
    case COLOR_INFOBK:
        return RGB(255, 255, 225);
    case COLOR_HOTLIGHT:
        return RGB(0, 0, 128);
    case COLOR_GRADIENTACTIVECAPTION:
        return RGB(166, 202, 240);
    case COLOR_GRADIENTINACTIVECAPTION:
        return RGB(192, 192, 192);
    default:
        return 0;
    }
}

std::string Narrow(const char16_t* s) {
    return s ? platform::ToUtf8(s) : std::string("(null)");
}

// The buttons of a message box type, first the default order.
std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL:
        return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO:
        return {IDYES, IDNO};
    case MB_RETRYCANCEL:
        return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE:
        return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default:
        return {IDOK};
    }
}

// A service's box appears on the interactive desktop, where nobody here
// looks: it is reported and takes its default button.
int AnswerServiceBox(const test::MessageBoxCall& call) {
    std::vector<int> buttons = Buttons(call.type);
    size_t index = (call.type & MB_DEFMASK) >> 8;
    int answer = index < buttons.size() ? buttons[index] : buttons.front();
    std::lock_guard lock(Z().lock);
    Z().log.push_back("service message box \"" + platform::ToUtf8(call.caption) +
                      "\": " + platform::ToUtf8(call.text));
    return answer;
}

// HH_GET_WIN_TYPE's answer for a type the help system does not know.
const HWND kUnknownHelpType = reinterpret_cast<HWND>(static_cast<INT_PTR>(-1));

std::string HelpTypeKey(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// The window type a "file>type" topic names; empty when it names none.
std::string TopicWindowType(LPCWSTR topic) {
    std::string text = Narrow(topic);
    size_t at = text.rfind('>');
    return at == std::string::npos ? std::string() : text.substr(at + 1);
}

} // namespace

void ReportUnanswered(const std::string& what) {
    EnsureReset();
    Unanswered(what);
}

void LogSeamCall(const std::string& line) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().log.push_back(line);
}

bool RunModalLoop(HWND window, const std::function<bool()>& done) {
    EnsureReset();
    int idle = 0;
    while (!done()) {
        MSG m;
        if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(m.wParam));
                return false;
            }
            if (!IsDialogMessageW(window, &m)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            continue;
        }
        test::ModalScript script;
        {
            std::lock_guard lock(Z().lock);
            if (!Z().modalScripts.empty()) {
                script = std::move(Z().modalScripts.front());
                Z().modalScripts.pop_front();
            }
        }
        if (script) {
            script(window);
            idle = 0;
            continue;
        }
        if (idle++ < kIdleRounds && FireTimers()) continue;
        Unanswered(platform::ToUtf8(Describe(window)));
        return false;
    }
    return true;
}

std::u16string Describe(HWND h) {
    auto w = Find(h);
    if (!w) return u"(no window)";
    return w->windowClass->name + u" \"" + w->text + u"\"";
}

} // namespace platform::user

namespace platform::user::test {

void AnswerNextModal(ModalScript script) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().modalScripts.push_back(std::move(script));
}

std::vector<MessageBoxCall> MessageBoxLog() {
    std::lock_guard lock(Z().lock);
    return Z().boxes;
}

void AnswerNextMessageBox(int answer) {
    AnswerNextMessageBox([answer](const MessageBoxCall&) { return answer; });
}

void AnswerNextMessageBox(std::function<int(const MessageBoxCall&)> script) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().boxScripts.push_back(std::move(script));
}

void SetMessageBoxAnswerer(std::function<int(const MessageBoxCall&)> answerer) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().boxAnswerer = std::move(answerer);
}

void AnswerNextMenu(UINT command) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().menuAnswers.push_back(command);
}

std::vector<std::string> SeamLog() {
    std::lock_guard lock(Z().lock);
    return Z().log;
}

std::vector<std::string> TakeUnanswered() {
    std::lock_guard lock(Z().lock);
    return std::exchange(Z().unanswered, {});
}

void SetSysColor(int index, COLORREF color) {
    EnsureReset();
    {
        std::lock_guard lock(Z().lock);
        Z().colors[index] = color;
    }
    // Brushes already handed out take the new colour, as on the system.
    platform::SystemColorBrush(index, color);
}

} // namespace platform::user::test

using namespace platform::user;

extern "C" {

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    PLATFORM_FAULT_POINT("MessageBoxW", 0);
    EnsureReset();
    // A box for another desktop has no owner to sit on.
    if ((uType & MB_SERVICE_NOTIFICATION) && hWnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        test::MessageBoxCall call{hWnd, lpText ? lpText : u"", lpCaption ? lpCaption : u"Error",
                                  uType};
        std::function<int(const test::MessageBoxCall&)> answer;
        {
            std::lock_guard lock(Z().lock);
            Z().boxes.push_back(call);
            if (!Z().boxScripts.empty()) {
                answer = std::move(Z().boxScripts.front());
                Z().boxScripts.pop_front();
            } else {
                answer = Z().boxAnswerer;
            }
        }
        if (!answer && (uType & MB_SERVICE_NOTIFICATION)) return AnswerServiceBox(call);
        if (!answer) {
            Unanswered("message box \"" + platform::ToUtf8(call.caption) +
                       "\": " + platform::ToUtf8(call.text));
            SetLastError(ERROR_CANCELLED);
            return 0;
        }
        int result = answer(call);
        // Only a button the box has can be its answer.
        std::vector<int> buttons = Buttons(uType);
        if (std::find(buttons.begin(), buttons.end(), result) == buttons.end()) {
            Unanswered("message box \"" + platform::ToUtf8(call.caption) +
                       "\" answered with a button it lacks: " + std::to_string(result));
            return 0;
        }
        return result;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    std::u16string text = lpText ? platform::AnsiToWide(lpText) : u"";
    std::u16string caption = lpCaption ? platform::AnsiToWide(lpCaption) : u"Error";
    return MessageBoxW(hWnd, text.c_str(), caption.c_str(), uType);
}

BOOL WINAPI MessageBeep(UINT) {
    return TRUE;
}

BOOL WINAPI WinHelpW(HWND, LPCWSTR lpszHelp, UINT uCommand, ULONG_PTR dwData) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().log.push_back("WinHelpW " + Narrow(lpszHelp) + " " + std::to_string(uCommand) + " " +
                      std::to_string(dwData));
    // No help viewer: a file that does not exist is the viewer's failure to report.
    return lpszHelp && *lpszHelp;
}

// No help viewer is shown here: topics answer no window. The window types a
// program defines are kept for the process, as the help system keeps them.
HWND WINAPI HtmlHelpW(HWND, LPCWSTR pszFile, UINT uCommand, DWORD_PTR dwData) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    std::string data = std::to_string(dwData);
    HWND result = nullptr;
    if (uCommand == HH_SET_WIN_TYPE) {
        const auto* given = reinterpret_cast<const HH_WINTYPE*>(dwData);
        data.clear();
        if (given && given->cbStruct >= static_cast<int>(sizeof(HH_WINTYPE)) && given->pszType &&
            *given->pszType) {
            auto kept = std::make_unique<HelpWindowType>();
            kept->record = *given;
            kept->record.cbStruct = sizeof(HH_WINTYPE);
            kept->type = given->pszType;
            kept->caption = given->pszCaption ? given->pszCaption : "";
            HH_WINTYPE& r = kept->record;
            r.pszToc = r.pszIndex = r.pszFile = r.pszHome = nullptr;
            r.pszJump1 = r.pszJump2 = r.pszUrlJump1 = r.pszUrlJump2 = r.pszCustomTabs = nullptr;
            r.paInfoTypes = nullptr;
            r.cbInfoTypes = 0;
            r.pszType = kept->type.c_str();
            r.pszCaption = kept->caption.c_str();
            data = kept->type;
            Z().helpTypes[HelpTypeKey(kept->type)] = std::move(kept);
        }
    } else if (uCommand == HH_GET_WIN_TYPE) {
        std::string type = TopicWindowType(pszFile);
        auto it = Z().helpTypes.find(HelpTypeKey(type));
        auto** out = reinterpret_cast<HH_WINTYPE**>(dwData);
        data = type;
        if (it == Z().helpTypes.end() || !out) {
            result = kUnknownHelpType;
        } else {
            *out = &it->second->record;
            result = it->second->record.hwndHelp;
        }
    }
    Z().log.push_back("HtmlHelpW " + Narrow(pszFile) + " " + std::to_string(uCommand) + " " + data);
    return result;
}

DWORD WINAPI GetSysColor(int nIndex) {
    std::lock_guard lock(Z().lock);
    auto it = Z().colors.find(nIndex);
    return it != Z().colors.end() ? it->second : DefaultColor(nIndex);
}

// A real GDI brush of the colour, which follows the colour when it changes.
HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    return platform::SystemColorBrush(nIndex, GetSysColor(nIndex));
}

int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXSCREEN:
        return kScreenWidth;
    case SM_CYSCREEN:
        return kScreenHeight;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
        return 16;
    case SM_CYCAPTION:
        return 18;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    default:
        return 0;
    }
}

BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT, PVOID pvParam, UINT) {
    if (uiAction == SPI_GETWORKAREA && pvParam) {
        *static_cast<RECT*>(pvParam) = {0, 0, kScreenWidth, kScreenHeight - kTaskbarHeight};
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

HMENU WINAPI CreatePopupMenu() {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    Z().nextMenu += 8;
    Z().menus[Z().nextMenu];
    return reinterpret_cast<HMENU>(Z().nextMenu);
}

HMENU WINAPI CreateMenu() {
    return CreatePopupMenu();
}

BOOL WINAPI DestroyMenu(HMENU hMenu) {
    std::lock_guard lock(Z().lock);
    if (!Z().menus.erase(reinterpret_cast<ULONG_PTR>(hMenu))) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI InsertMenuW(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem,
                        LPCWSTR lpNewItem) {
    std::lock_guard lock(Z().lock);
    auto it = Z().menus.find(reinterpret_cast<ULONG_PTR>(hMenu));
    if (it == Z().menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem item{uFlags, uIDNewItem, (uFlags & MF_SEPARATOR) || !lpNewItem ? u"" : lpNewItem};
    auto& items = it->second;
    size_t at = items.size();
    if (uPosition != 0xFFFFFFFF) {
        if (uFlags & MF_BYPOSITION)
            at = std::min<size_t>(uPosition, items.size());
        else
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i].id == uPosition) at = i;
    }
    items.insert(items.begin() + static_cast<long>(at), item);
    return TRUE;
}

BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    return InsertMenuW(hMenu, 0xFFFFFFFF, uFlags | MF_BYPOSITION, uIDNewItem, lpNewItem);
}

static MenuItem* MenuItemOf(HMENU hMenu, UINT item, UINT flags) {
    auto it = Z().menus.find(reinterpret_cast<ULONG_PTR>(hMenu));
    if (it == Z().menus.end()) return nullptr;
    auto& items = it->second;
    if (flags & MF_BYPOSITION) return item < items.size() ? &items[item] : nullptr;
    for (auto& i : items)
        if (i.id == item) return &i;
    return nullptr;
}

BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    std::lock_guard lock(Z().lock);
    MenuItem* item = MenuItemOf(hMenu, uIDEnableItem, uEnable);
    if (!item) return -1;
    BOOL old = item->flags & (MF_GRAYED | MF_DISABLED);
    item->flags = (item->flags & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) |
                  (uEnable & (MF_GRAYED | MF_DISABLED));
    return old;
}

DWORD WINAPI CheckMenuItem(HMENU hmenu, UINT uIDCheckItem, UINT uCheck) {
    std::lock_guard lock(Z().lock);
    MenuItem* item = MenuItemOf(hmenu, uIDCheckItem, uCheck);
    if (!item) return static_cast<DWORD>(-1);
    DWORD old = item->flags & MF_CHECKED;
    item->flags = (item->flags & ~static_cast<UINT>(MF_CHECKED)) | (uCheck & MF_CHECKED);
    return old;
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
    std::lock_guard lock(Z().lock);
    auto it = Z().menus.find(reinterpret_cast<ULONG_PTR>(hMenu));
    return it == Z().menus.end() ? -1 : static_cast<int>(it->second.size());
}

// A popup menu is answered by the test's choice: the command (returned with
// TPM_RETURNCMD, else sent as WM_COMMAND to the owner), or none. A choice
// that is not an enabled item of the menu counts as none.
BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int, int, int, HWND hWnd, const RECT*) {
    EnsureReset();
    UINT choice = 0;
    bool answered = false;
    {
        std::lock_guard lock(Z().lock);
        if (!Z().menus.count(reinterpret_cast<ULONG_PTR>(hMenu))) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        std::string items;
        for (const auto& i : Z().menus[reinterpret_cast<ULONG_PTR>(hMenu)])
            items += " \"" + platform::ToUtf8(i.text) + "\"";
        Z().log.push_back("TrackPopupMenu" + items);
        if (!Z().menuAnswers.empty()) {
            choice = Z().menuAnswers.front();
            Z().menuAnswers.pop_front();
            answered = true;
            MenuItem* item = choice ? MenuItemOf(hMenu, choice, MF_BYCOMMAND) : nullptr;
            if (!item || (item->flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR | MF_POPUP)))
                choice = 0;
        }
    }
    if (!answered) {
        Unanswered("popup menu");
        return FALSE;
    }
    if (uFlags & TPM_RETURNCMD) return static_cast<BOOL>(choice);
    if (choice && hWnd) PostMessageW(hWnd, WM_COMMAND, choice, 0);
    return choice != 0;
}

BOOL WINAPI OpenClipboard(HWND hWndNewOwner) {
    EnsureReset();
    std::lock_guard lock(Z().lock);
    if (Z().clipboardOpen) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    Z().clipboardOpen = true;
    Z().clipboardOwner = hWndNewOwner;
    return TRUE;
}

BOOL WINAPI CloseClipboard() {
    std::lock_guard lock(Z().lock);
    bool was = Z().clipboardOpen;
    Z().clipboardOpen = false;
    return was;
}

BOOL WINAPI EmptyClipboard() {
    std::lock_guard lock(Z().lock);
    if (!Z().clipboardOpen) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return FALSE;
    }
    for (auto& [format, data] : Z().clipboard)
        GlobalFree(data);
    Z().clipboard.clear();
    return TRUE;
}

// The clipboard owns the block from here on.
HANDLE WINAPI SetClipboardData(UINT uFormat, HANDLE hMem) {
    std::lock_guard lock(Z().lock);
    if (!Z().clipboardOpen) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    auto it = Z().clipboard.find(uFormat);
    if (it != Z().clipboard.end() && it->second != hMem) GlobalFree(it->second);
    Z().clipboard[uFormat] = hMem;
    return hMem;
}

HANDLE WINAPI GetClipboardData(UINT uFormat) {
    std::lock_guard lock(Z().lock);
    if (!Z().clipboardOpen) {
        SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
        return nullptr;
    }
    auto it = Z().clipboard.find(uFormat);
    return it == Z().clipboard.end() ? nullptr : it->second;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
    std::lock_guard lock(Z().lock);
    return Z().clipboard.count(format) != 0;
}

} // extern "C"
