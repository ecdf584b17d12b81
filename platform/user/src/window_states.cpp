// Minimized windows, the ANSI forms of the window calls the programs use,
// registered messages and the system's broadcast of a settings change.
#include <new>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/user_ctl.h"
#include "user_internal.h"
#include "win/errors.h"

namespace platform::user {

void ApplyShowCommand(Window& w, int command) {
    switch (command) {
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        w.style |= WS_MINIMIZE;
        break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWMAXIMIZED:
        w.style &= ~static_cast<DWORD>(WS_MINIMIZE);
        break;
    default:
        break; // showing or hiding keeps the minimized state
    }
}

} // namespace platform::user

namespace platform::user::test {

void BroadcastSettingChange(const char16_t* section) {
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(section),
                        SMTO_NORMAL, 0, nullptr);
}

} // namespace platform::user::test

using namespace platform::user;

extern "C" {

BOOL WINAPI IsIconic(HWND hWnd) {
    if (auto w = Find(hWnd)) return (w->style & WS_MINIMIZE) != 0;
    DWORD style = 0;
    if (ForeignWindowState(hWnd, &style, nullptr)) return (style & WS_MINIMIZE) != 0;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    try {
        std::u16string cls, title;
        LPCWSTR c = nullptr;
        if (lpClassName && IS_INTRESOURCE(lpClassName)) {
            c = reinterpret_cast<LPCWSTR>(lpClassName); // an atom stays an atom
        } else if (lpClassName) {
            cls = platform::AnsiToWide(lpClassName);
            c = cls.c_str();
        }
        if (lpWindowName) title = platform::AnsiToWide(lpWindowName);
        return FindWindowW(c, lpWindowName ? title.c_str() : nullptr);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString) {
    if (!lpString || !*lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        return RegisterSharedMessage(lpString);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT WINAPI RegisterWindowMessageA(LPCSTR lpString) {
    if (!lpString || !*lpString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        return RegisterWindowMessageW(platform::AnsiToWide(lpString).c_str());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

// The messages the programs post carry numbers, never text.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT, UINT,
                                   PDWORD_PTR lpdwResult) {
    if (lpdwResult) *lpdwResult = 0;
    if (hWnd == HWND_BROADCAST) {
        if (Msg == WM_SETTINGCHANGE) {
            const auto* section = reinterpret_cast<const char16_t*>(lParam);
            SendSettingChangeToForeign(section);
        }
        SendMessageW(HWND_BROADCAST, Msg, wParam, lParam);
        return TRUE;
    }
    if (IsForeignWindow(hWnd)) {
        // Another process answers in its own time; only numbers travel.
        return PostMessageW(hWnd, Msg, wParam, lParam);
    }
    if (!IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    LRESULT r = SendMessageW(hWnd, Msg, wParam, lParam);
    if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(r);
    return TRUE;
}

} // extern "C"
