#include "list_helpers.h"

#include <string>

#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "localize.h"
#include "model_info.h"
#include "number_text.h"
#include "user_paper.h"
#include "win/commctrl.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

constexpr int kMaxItemText = 256;

std::u16string Text(CLocalize& strings, DWORD id) {
    std::u16string s;
    strings.LoadString(id, &s);
    if (s.size() > kMaxItemText) s.resize(kMaxItemText);
    return s;
}

void AddItem(HWND combo, const std::u16string& text, LPARAM data) {
    const LRESULT at = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at >= 0) SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), data);
}

BOOL SelectByData(HWND box, UINT getCount, UINT getData, UINT setSel, LPARAM data) {
    if (!box) return FALSE;
    const LRESULT n = SendMessageW(box, getCount, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
        if (SendMessageW(box, getData, static_cast<WPARAM>(i), 0) == data) {
            SendMessageW(box, setSel, static_cast<WPARAM>(i), 0);
            return TRUE;
        }
    return FALSE;
}

LRESULT SelData(HWND box, UINT getSel, UINT getData, LRESULT none) {
    if (!box) return none;
    const LRESULT at = SendMessageW(box, getSel, 0, 0);
    return at < 0 ? none : SendMessageW(box, getData, static_cast<WPARAM>(at), 0);
}

// The control's window rectangle in its parent's client coordinates.
RECT ClientRect(HWND parent, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&r), 2);
    return r;
}

BOOL Grow(HWND parent, HWND control, const LONG by[4]) {
    if (!by[0] && !by[1] && !by[2] && !by[3]) return FALSE;
    RECT r = ClientRect(parent, control);
    r.left -= by[0];
    r.top -= by[1];
    r.right += by[2];
    r.bottom += by[3];
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    return TRUE;
}

} // namespace

BOOL FillComboFromModelList(HMODULE resources, HWND combo, const KinsokuChainNode* first) {
    if (!combo) return FALSE;
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    CLocalize strings(resources);
    for (const KinsokuChainNode* n = first; n; n = n->next)
        if (!n->refused) AddItem(combo, Text(strings, n->param1), static_cast<SHORT>(n->value));
    return TRUE;
}

BOOL FillComboFromRows(HMODULE resources, HWND combo, const ComboRow* rows, DWORD count) {
    if (!combo) return FALSE;
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    CLocalize strings(resources);
    for (DWORD i = 0; rows && i < count; ++i)
        AddItem(combo, Text(strings, rows[i].stringId), rows[i].itemData);
    return TRUE;
}

namespace {

// The paper's two flag words: P (which duplex unit its booklets need) and Q
// (N-up, booklet and turned-page use); FALSE without the paper's record.
bool PaperFlags(const ModelBlock* binding, const CUserPaper* papers, WORD paper, DWORD* p,
                DWORD* q) {
    if (paper < kFirstUserPaper) {
        CModelInfo record(binding, model::kQueryPapers, paper, model::layout::kPaperRecord);
        if (!record.GetData()) return false;
        *p = record.U32(offsetof(model::PaperRecordAnswer, flags));
        *q = record.U32(offsetof(model::PaperRecordAnswer, flags2));
        return true;
    }
    const UserPaperRecord* user = papers ? papers->FindById(paper) : nullptr;
    const bool isLong =
        user && IsLongPaper(binding, user->widthTenthMm / 10, user->lengthTenthMm / 10, TRUE);
    CModelInfo limits(binding,
                      isLong ? model::kQueryLongPaperLimits : model::kQueryCustomPaperLimits, 0,
                      model::layout::kLimitsRecord);
    if (!limits.GetData()) return false;
    *p = limits.U32(offsetof(model::PaperLimitsAnswer, flags));
    *q = limits.U32(offsetof(model::PaperLimitsAnswer, flags2));
    return true;
}

} // namespace

BOOL FillPaperSizeCombo(HMODULE resources, HWND combo, const ModelBlock* binding,
                        const DEVMODE_IMAGEW* image, const KinsokuChainNode* first,
                        const CUserPaper* papers, BOOL withSameAsPaper,
                        const ModelOptionPair* options) {
    if (!combo) return FALSE;
    const bool unitA = !options || !options->options || IsOption25AInstalled(options);
    const bool unitB = !options || !options->options || IsOption25BInstalled(options);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    if (!binding || !image) return FALSE;
    CLocalize strings(resources);
    if (withSameAsPaper && !IsPaperOverMaxSize(binding, static_cast<WORD>(image->dm.dmPaperSize)))
        AddItem(combo, Text(strings, kStringSameAsPaperSize), 0);
    if (!first) return TRUE;
    std::u16string separator;
    GetDecimalSeparator(&separator);
    constexpr DWORD kNupRefused = 0x8, kBookletOffered = 0x2, kTurnedOffered = 0x1;
    constexpr DWORD kBookletUnitA = 0x1, kBookletUnitB = 0x2;
    for (const KinsokuChainNode* n = first; n; n = n->next) {
        DWORD p = 0, q = 0;
        if (!PaperFlags(binding, papers, n->value, &p, &q)) continue;
        const WORD layout = image->priv.LayoutKind;
        if (layout == kLayoutPagesPerSheet && (q & kNupRefused)) continue;
        if (layout == kLayoutBooklet &&
            !((q & kBookletOffered) &&
              (((p & kBookletUnitA) && unitA) || ((p & kBookletUnitB) && unitB))))
            continue;
        if (image->priv.Rotate180 == 1 && !(q & kTurnedOffered)) continue;
        if (IsPaperOverMaxSize(binding, n->value)) continue;
        std::u16string text = FormatPaperSizeText(binding, resources, papers, n->value);
        if (text.empty()) continue;
        LocalizeDecimalText(&text, separator);
        AddItem(combo, text, n->value);
    }
    return TRUE;
}

BOOL SelectComboByData(HWND combo, LPARAM data) {
    return SelectByData(combo, CB_GETCOUNT, CB_GETITEMDATA, CB_SETCURSEL, data);
}

BOOL SelectListByData(HWND list, LPARAM data) {
    return SelectByData(list, LB_GETCOUNT, LB_GETITEMDATA, LB_SETCURSEL, data);
}

LRESULT GetComboSelData(HWND combo) {
    return SelData(combo, CB_GETCURSEL, CB_GETITEMDATA, CB_ERR);
}

LRESULT GetListSelData(HWND list) {
    return SelData(list, LB_GETCURSEL, LB_GETITEMDATA, LB_ERR);
}

void OffsetControl(HWND parent, HWND control, int dx, int dy) {
    if (!parent || !control) return;
    const RECT r = ClientRect(parent, control);
    SetWindowPos(control, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void ShowControlRows(HWND dialog, const ControlRow* rows, DWORD count, BOOL vertical) {
    if (!rows || !count) return;
    int shift = 0;
    for (DWORD i = 0; i < count; ++i) {
        const ControlRow& row = rows[i];
        for (DWORD id : row.controls) {
            HWND control = id ? GetDlgItem(dialog, static_cast<int>(id)) : nullptr;
            if (!control) continue;
            ShowWindow(control, row.shown ? SW_SHOW : SW_HIDE);
            EnableWindow(control, row.shown ? TRUE : FALSE);
            if (row.shown && shift)
                OffsetControl(dialog, control, vertical ? 0 : shift, vertical ? shift : 0);
        }
        if (row.shown || i + 1 == count) continue;
        HWND here =
            row.controls[0] ? GetDlgItem(dialog, static_cast<int>(row.controls[0])) : nullptr;
        HWND next = rows[i + 1].controls[0]
                        ? GetDlgItem(dialog, static_cast<int>(rows[i + 1].controls[0]))
                        : nullptr;
        if (!here || !next) continue;
        const RECT a = ClientRect(dialog, here), b = ClientRect(dialog, next);
        shift += vertical ? a.top - b.top : a.left - b.left;
    }
}

BOOL ResizeControlWidth(HWND parent, HWND control, const DWORD size[2], DWORD growth[4],
                        DWORD mode) {
    if (!parent || !control || !size) return FALSE;
    RECT r{};
    GetWindowRect(control, &r);
    LONG by[4] = {}; // left, top, right, bottom
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    if (width < static_cast<LONG>(size[0])) {
        const LONG g = static_cast<LONG>(size[0]) - width;
        if (mode == 1 || mode == 3) {
            by[2] = g;
        } else if (mode == 2 || mode == 4) {
            by[0] = g;
        } else {
            by[0] = g / 2;
            by[2] = g - g / 2;
        }
    }
    if (height < static_cast<LONG>(size[1])) {
        const LONG g = static_cast<LONG>(size[1]) - height;
        if (mode == 0) {
            by[1] = g / 2;
            by[3] = g - g / 2;
        } else if (mode == 1 || mode == 2) {
            by[3] = g;
        } else {
            by[1] = g;
        }
    }
    if (!Grow(parent, control, by)) return FALSE;
    if (growth)
        for (int i = 0; i < 4; ++i)
            growth[i] = static_cast<DWORD>(by[i]);
    return TRUE;
}

BOOL InflateControl(HWND parent, HWND control, const DWORD margins[4], DWORD which) {
    if (!parent || !control || !margins) return FALSE;
    LONG by[4] = {};
    if ((which & 1) && (margins[0] || margins[2])) {
        by[0] = static_cast<LONG>(margins[0]);
        by[2] = static_cast<LONG>(margins[2]);
    }
    if ((which & 2) && (margins[1] || margins[3])) {
        by[1] = static_cast<LONG>(margins[1]);
        by[3] = static_cast<LONG>(margins[3]);
    }
    return Grow(parent, control, by);
}

LRESULT AddToolTip(HMODULE resources, HWND tooltip, HWND control, ULONG_PTR textOrId,
                   std::u16string* storage) {
    if (!tooltip || !control) return FALSE;
    std::u16string local;
    std::u16string& text = storage ? *storage : local;
    TOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = GetParent(control);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    if (textOrId <= kLastStringId) {
        text.clear();
        CLocalize(resources).LoadString(static_cast<DWORD>(textOrId), &text);
        if (!text.empty()) {
            info.lpszText = text.data();
        } else {
            info.hinst = resources;
            info.lpszText = MAKEINTRESOURCEW(textOrId);
        }
    } else {
        info.lpszText = reinterpret_cast<LPWSTR>(textOrId);
    }
    return SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

BOOL DrawBitmapTransparent(HDC dc, int x, int y, HBITMAP bitmap, COLORREF transparent) {
    BITMAP size{};
    if (!dc || !bitmap || !GetObjectW(bitmap, sizeof size, &size)) return FALSE;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) return FALSE;
    BOOL drawn = FALSE;
    if (HGDIOBJ previous = SelectObject(memory, bitmap)) {
        const int w = size.bmWidth, h = size.bmHeight;
        drawn = TransparentBlt(dc, x - w / 2, y - h / 2, w, h, memory, 0, 0, w, h, transparent);
        SelectObject(memory, previous);
    }
    DeleteDC(memory);
    return drawn;
}

HBRUSH ReadOnlyEditBrush(HDC dc, HWND control, HBRUSH* cache) {
    WCHAR kind[16] = {};
    ::GetClassNameW(control, kind, 16);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    if (lstrcmpiW(kind, u"Edit") != 0 || !(style & WS_VISIBLE) ||
        (::IsWindowEnabled(control) && !(style & ES_READONLY)))
        return nullptr;
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    if (!*cache) *cache = ::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE));
    return *cache;
}

} // namespace sheetwright
