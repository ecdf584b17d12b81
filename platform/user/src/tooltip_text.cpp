// Tip texts a tooltip asks its tool's window for (LPSTR_TEXTCALLBACKW).
#include "user_internal.h"

namespace platform::user {

bool AskToolText(HWND tooltip, HWND window, UINT_PTR id, UINT flags, LPARAM lParam,
                 std::u16string* text) {
    NMTTDISPINFOW info{};
    info.hdr.hwndFrom = tooltip;
    info.hdr.idFrom = id;
    info.hdr.code = TTN_GETDISPINFOW;
    info.uFlags = flags;
    info.lParam = lParam;
    if (window && IsWindow(window))
        SendMessageW(window, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&info));
    text->clear();
    if (info.lpszText && info.lpszText != LPSTR_TEXTCALLBACKW) {
        if (!IS_INTRESOURCE(info.lpszText)) {
            *text = info.lpszText;
        } else {
            // A string of the answer's module, by its id.
            const WCHAR* own = nullptr;
            int n = LoadStringW(info.hinst,
                                static_cast<UINT>(reinterpret_cast<UINT_PTR>(info.lpszText)),
                                reinterpret_cast<LPWSTR>(&own), 0);
            if (own && n > 0) text->assign(own, static_cast<size_t>(n));
        }
    } else {
        info.szText[std::size(info.szText) - 1] = 0; // the caller's text may fill the field
        *text = info.szText;
    }
    return (info.uFlags & TTF_DI_SETITEM) != 0;
}

} // namespace platform::user
