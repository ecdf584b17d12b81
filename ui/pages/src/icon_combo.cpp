#include "icon_combo.h"

#include <cstring>
#include <vector>

#include "kinsoku_list.h"
#include "localize.h"
#include "win/base.h"
#include "win/resources.h"
#include "win/uxtheme.h"

namespace sheetwright {
namespace {

// Pixels inside the item: the background, the icon and its label.
constexpr int kBackgroundInset = 1;
constexpr int kInnerInset = 2;
constexpr int kLabelLeft = 40;
constexpr int kLabelTop = 10;
constexpr int kDisabledIconTop = 2;
// The disabled icon shows through at half strength.
constexpr BYTE kDisabledAlpha = 128;

using IsThemeActiveFn = decltype(&IsThemeActive);

// The button face lightened for the themed look: each channel halved, plus 128.
COLORREF Lightened(COLORREF c) {
    return RGB(GetRValue(c) / 2 + 128, GetGValue(c) / 2 + 128, GetBValue(c) / 2 + 128);
}

} // namespace

BOOL AreVisualStylesActive() {
    HMODULE theme = LoadLibraryW(u"UXTHEME.DLL");
    if (!theme) return FALSE;
    BOOL active = FALSE;
    if (auto fn = reinterpret_cast<IsThemeActiveFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(theme, "IsThemeActive"))))
        active = fn() ? TRUE : FALSE;
    FreeLibrary(theme);
    return active;
}

CPMIconCombo::~CPMIconCombo() {
    FreeRows();
}

void CPMIconCombo::FreeRows() {
    delete[] rows_;
    rows_ = nullptr;
    count_ = 0;
}

std::u16string CPMIconCombo::Label(DWORD stringId) const {
    std::u16string text;
    if (strings_) {
        strings_->LoadString(stringId, &text);
    } else {
        WCHAR buffer[256] = {};
        if (LoadStringW(AfxGetResourceHandle(), stringId, buffer, 256) > 0) text = buffer;
    }
    return text;
}

BOOL CPMIconCombo::AddItem(const IconComboRow* row) {
    if (!row || count_ >= kMaxRows) return FALSE;
    auto* grown = new IconComboRow[static_cast<size_t>(count_) + 1];
    if (count_) std::memcpy(grown, rows_, sizeof(IconComboRow) * static_cast<size_t>(count_));
    grown[count_] = *row;
    delete[] rows_;
    rows_ = grown;
    ++count_;
    if (m_hWnd) {
        const int index = AddString(Label(row->stringId).c_str());
        if (index >= 0) SetItemData(index, row->itemData);
    }
    return TRUE;
}

BOOL CPMIconCombo::SetRows(const IconComboRow* rows, LONG count) {
    if (m_hWnd && GetDroppedState()) return FALSE;
    if (count > kMaxRows) count = 0;
    if (count == count_ && rows && rows_ && count > 0 &&
        std::memcmp(rows, rows_, sizeof(IconComboRow) * static_cast<size_t>(count)) == 0)
        return TRUE;
    if (m_hWnd) {
        SetItemHeight(-1, kItemHeight);
        ResetContent();
    }
    FreeRows();
    if (!rows || count < 1) return FALSE;
    rows_ = new IconComboRow[static_cast<size_t>(count)];
    std::memcpy(rows_, rows, sizeof(IconComboRow) * static_cast<size_t>(count));
    count_ = count;
    if (m_hWnd) {
        for (LONG i = 0; i < count_; ++i) {
            const int index = AddString(Label(rows_[i].stringId).c_str());
            if (index >= 0) SetItemData(index, rows_[i].itemData);
        }
    }
    return TRUE;
}

BOOL CPMIconCombo::SetValueChain(const KinsokuChainNode* chain) {
    if (m_hWnd && GetDroppedState()) return FALSE;
    if (!chain) {
        SetRows(nullptr, 0);
        return FALSE;
    }
    // Refused values are dropped, not listed disabled: the list shows only
    // what the current settings allow.
    std::vector<IconComboRow> rows;
    for (const KinsokuChainNode* n = chain; n; n = n->next)
        if (!n->refused)
            rows.push_back({n->param1, n->param2,
                            static_cast<DWORD>(static_cast<LONG>(static_cast<SHORT>(n->value))),
                            0});
    if (rows.empty()) {
        // Nothing is allowed: show no choice at all rather than a stale one.
        SetRows(nullptr, 0);
        if (m_hWnd && IsWindowEnabled()) {
            EnableWindow(FALSE);
            disabledByRules_ = true;
        }
        return FALSE;
    }
    if (disabledByRules_ && m_hWnd) {
        EnableWindow(TRUE);
        disabledByRules_ = false;
    }
    return SetRows(rows.data(), static_cast<LONG>(rows.size()));
}

BOOL CPMIconCombo::SelectByData(LONG value) {
    if (!rows_ || count_ < 1) return FALSE;
    const int current = m_hWnd ? GetCurSel() : CB_ERR;
    if (current >= 0 && static_cast<LONG>(GetItemData(current)) == value) {
        if (m_pfnIconChooser) Invalidate();
        return TRUE;
    }
    for (LONG i = 0; i < count_; ++i) {
        if (static_cast<LONG>(rows_[i].itemData) == value) {
            if (m_hWnd) SetCurSel(static_cast<int>(i));
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT CPMIconCombo::GetSelData() const {
    const int index = GetCurSel();
    return SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index));
}

const IconComboRow* CPMIconCombo::GetSelRow() const {
    if (!rows_ || count_ < 1 || !m_hWnd) return nullptr;
    const int index = GetCurSel();
    if (index < 0 || index >= count_) return nullptr;
    return &rows_[index];
}

void CPMIconCombo::MeasureItem(LPMEASUREITEMSTRUCT item) {
    if (item) item->itemHeight = kItemHeight;
}

void CPMIconCombo::DrawFocus(HDC dc, const DRAWITEMSTRUCT& item) const {
    if (item.itemState & ODS_DISABLED) return;
    HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    FrameRect(dc, &item.rcItem, window);
    DeleteObject(window);
    if (item.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &item.rcItem);
}

void CPMIconCombo::DrawItem(LPDRAWITEMSTRUCT item) {
    if (!item || !item->hDC) return;
    HDC dc = item->hDC;
    if (item->itemAction == ODA_FOCUS) {
        DrawFocus(dc, *item);
        return;
    }
    if (item->itemAction != ODA_DRAWENTIRE && item->itemAction != ODA_SELECT) return;

    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    const bool disabled = (item->itemState & ODS_DISABLED) != 0;
    RECT background = item->rcItem;
    InflateRect(&background, -kBackgroundInset, -kBackgroundInset);
    const int colour = disabled ? COLOR_MENU : selected ? COLOR_HIGHLIGHT : COLOR_WINDOW;
    HBRUSH fill = CreateSolidBrush(GetSysColor(colour));
    FillRect(dc, &background, fill);
    DeleteObject(fill);

    // An index past the rows (a list changed behind the control) draws
    // nothing more than the background.
    const UINT index = item->itemID;
    if (static_cast<int>(index) < 0 || !rows_ || count_ < 1 || index >= static_cast<UINT>(count_))
        return;
    const IconComboRow& row = rows_[index];
    RECT inner = item->rcItem;
    InflateRect(&inner, -kInnerInset, -kInnerInset);
    const DWORD iconId = m_pfnIconChooser
                             ? m_pfnIconChooser(static_cast<LONG>(row.itemData), m_pChooserContext)
                             : row.iconId;
    std::u16string label = Label(row.stringId);
    if (label.size() > kLabelChars) label.resize(kLabelChars);
    // Icons of the resource library are shared: they are never destroyed.
    HICON icon = iconId ? LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(iconId)) : nullptr;

    if (!disabled) {
        if (icon) DrawIcon(dc, inner.left, inner.top + 1, icon);
    } else {
        HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        HGDIOBJ oldBrush = SelectObject(dc, face);
        HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
        Rectangle(dc, item->rcItem.left, item->rcItem.top, item->rcItem.right, item->rcItem.bottom);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        const int w = inner.right - inner.left, h = inner.bottom - inner.top;
        if (w > 0 && h > 0) {
            HDC memory = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, w, h);
            HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
            RECT all{0, 0, w, h};
            const COLORREF under = AreVisualStylesActive() ? Lightened(GetSysColor(COLOR_BTNFACE))
                                                           : GetSysColor(COLOR_BTNFACE);
            HBRUSH underBrush = CreateSolidBrush(under);
            FillRect(memory, &all, underBrush);
            DeleteObject(underBrush);
            if (icon) DrawIcon(memory, 0, kDisabledIconTop, icon);
            BLENDFUNCTION blend{AC_SRC_OVER, 0, kDisabledAlpha, 0};
            AlphaBlend(dc, inner.left, inner.top, w, h, memory, 0, 0, w, h, blend);
            SelectObject(memory, oldBitmap);
            DeleteObject(bitmap);
            DeleteDC(memory);
        }
        DeleteObject(face);
    }

    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF text = GetSysColor(selected   ? COLOR_HIGHLIGHTTEXT
                                      : disabled ? COLOR_GRAYTEXT
                                                 : COLOR_WINDOWTEXT);
    const COLORREF oldText = SetTextColor(dc, text);
    TextOutW(dc, inner.left + kLabelLeft, inner.top + kLabelTop, label.c_str(),
             static_cast<int>(label.size()));
    DrawFocus(dc, *item);
    SetTextColor(dc, oldText);
    SetBkMode(dc, oldMode);
}

} // namespace sheetwright
