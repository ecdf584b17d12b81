#include "pages_per_sheet_dlg.h"

#include "dialog_lookups.h"
#include "list_helpers.h"

namespace sheetwright {
namespace {

constexpr WORD kCounts[6] = {2, 4, 6, 8, 9, 16};
// Texts and tooltips of the count buttons: "2 up" .. "16 up".
constexpr DWORD kFirstCountString = 4602;

// Order button icons by count (4, 6, 8, 9, 16), for 769, 770, 771, 772.
struct OrderIcons {
    WORD count;
    DWORD icons[4];
};
constexpr OrderIcons kOrderIcons[] = {{4, {2278, 2280, 2277, 2279}},
                                      {6, {2282, 2284, 2281, 2283}},
                                      {8, {2286, 2288, 2285, 2287}},
                                      {9, {2290, 2292, 2289, 2291}},
                                      {16, {2294, 2296, 2293, 2295}}};
// Two pages: 769 and 771, portrait then landscape.
constexpr DWORD kTwoUpIcons[2][2] = {{2273, 2274}, {2275, 2276}};

constexpr WORD kBorderNone = 0, kBorderSolid = 1;
constexpr ComboRow kBorderRows[] = {{4616, 0, kBorderNone, 0}, {4617, 0, kBorderSolid, 0}};
constexpr ComboRow kRotationRows[] = {{4571, 0, 0, 0}, {4572, 0, 1, 0}, {4570, 0, 2, 0}};

DWORD CountIcon(WORD count, bool portrait) {
    switch (count) {
    case 4:
        return 2212;
    case 6:
        return portrait ? 2213 : 2214;
    case 8:
        return portrait ? 2216 : 2217;
    case 9:
        return 2215;
    case 16:
        return 2218;
    default:
        return portrait ? 2210 : 2211;
    }
}

POINT ClientOrigin(HWND dialog, HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    POINT p{r.left, r.top};
    ::ScreenToClient(dialog, &p);
    return p;
}

} // namespace

BEGIN_MESSAGE_MAP(CPagesperSheetDlg, CLayoutDlg)
ON_CONTROL_RANGE(BN_CLICKED, CPagesperSheetDlg::kFirstCountButton,
                 CPagesperSheetDlg::kLastCountButton, OnCount)
ON_CONTROL_RANGE(BN_CLICKED, 769, 772, OnOrder)
ON_CBN_SELCHANGE(CPagesperSheetDlg::kBorderCombo, OnBorders)
ON_CBN_SELCHANGE(CPagesperSheetDlg::kRotationCombo, OnRotation)
END_MESSAGE_MAP()

WORD CPagesperSheetDlg::OfferedCount(WORD pagesPerSheet) {
    for (WORD c : kCounts)
        if (c == pagesPerSheet) return c;
    return 2;
}

WORD CPagesperSheetDlg::OrderOfButton(int controlId) {
    switch (controlId) {
    case 770:
        return 1;
    case 771:
        return 3;
    case 772:
        return 2;
    default:
        return 0;
    }
}

void CPagesperSheetDlg::PrepareCopy() {
    PRIVATE_DEVMODE& p = Copy().priv;
    // A count the dialog does not offer is shown and kept as 2 up, with an
    // order that 2 up has.
    if (OfferedCount(p.PagesPerSheet) != p.PagesPerSheet) {
        p.PagesPerSheet = 2;
        if (p.PageOrder == 1) p.PageOrder = 0;
        if (p.PageOrder == 2) p.PageOrder = 3;
    }
    CLayoutDlg::PrepareCopy();
}

void CPagesperSheetDlg::InitControls() {
    for (int i = 0; i < 6; ++i)
        AddTip(kFirstCountButton + i, kFirstCountString + i);
    for (int i = 0; i < 4; ++i) {
        if (HWND b = Item(kOrderButtons[i])) orderHome_[i] = ClientOrigin(m_hWnd, b);
        AddTip(kOrderButtons[i], 0);
    }
    HMODULE resources = Context() ? Context()->resourceModule : AfxGetResourceHandle();
    FillComboFromRows(resources, Item(kBorderCombo), kBorderRows, 2);
    FillComboFromRows(resources, Item(kRotationCombo), kRotationRows, 3);
}

std::u16string CPagesperSheetDlg::TooltipText(int controlId) {
    const PRIVATE_DEVMODE& p = Copy().priv;
    const DWORD id = GetPageOrderStringId(Copy().dm.dmOrientation, OfferedCount(p.PagesPerSheet),
                                          OrderOfButton(controlId));
    return id ? String(id) : std::u16string();
}

void CPagesperSheetDlg::OnCount(UINT controlId) {
    PRIVATE_DEVMODE& p = Copy().priv;
    const WORD count = kCounts[controlId - kFirstCountButton];
    if (count == 2) {
        if (p.PagesPerSheet != 2) p.PageOrder = 0;
        p.PagesPerSheet = 2;
        if (p.PageOrder == 1) p.PageOrder = 0;
        if (p.PageOrder == 2) p.PageOrder = 3;
    } else {
        if (p.PagesPerSheet == 2) p.PageOrder = 0;
        p.PagesPerSheet = count;
    }
    RefreshAll();
}

void CPagesperSheetDlg::OnOrder(UINT controlId) {
    Copy().priv.PageOrder = OrderOfButton(static_cast<int>(controlId));
    RefreshAll();
}

void CPagesperSheetDlg::OnBorders() {
    const LRESULT data = GetComboSelData(Item(kBorderCombo));
    if (data != CB_ERR) Copy().priv.PageBorders = static_cast<WORD>(data);
    RefreshAll();
}

void CPagesperSheetDlg::OnRotation() {
    const LRESULT data = GetComboSelData(Item(kRotationCombo));
    if (data != CB_ERR) Copy().priv.NupRotation = static_cast<WORD>(data);
    RefreshAll();
}

void CPagesperSheetDlg::Refresh() {
    const PRIVATE_DEVMODE& p = Copy().priv;
    const bool portrait = Copy().dm.dmOrientation == DMORIENT_PORTRAIT;
    const WORD count = OfferedCount(p.PagesPerSheet);
    SelectOutputPaper();
    for (int i = 0; i < 6; ++i) {
        SetButtonIcon(kFirstCountButton + i, CountIcon(kCounts[i], portrait));
        CheckRadio(kFirstCountButton + i, kCounts[i] == count);
    }

    // The order buttons: two for 2 up (the third moved into the second's
    // place), four otherwise; always placed from where they stood at start.
    const bool two = count == 2;
    for (int i = 0; i < 4; ++i) {
        HWND b = Item(kOrderButtons[i]);
        if (!b) continue;
        const bool shown = !two || i == 0 || i == 2;
        ::ShowWindow(b, shown ? SW_SHOWNA : SW_HIDE);
        const POINT at = (two && i == 2) ? orderHome_[1] : orderHome_[i];
        ::SetWindowPos(b, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        DWORD icon = 0;
        if (two) {
            if (i == 0 || i == 2) icon = kTwoUpIcons[portrait ? 0 : 1][i / 2];
        } else {
            for (const OrderIcons& row : kOrderIcons)
                if (row.count == count) icon = row.icons[i];
        }
        if (icon) SetButtonIcon(kOrderButtons[i], icon);
        CheckRadio(kOrderButtons[i], OrderOfButton(kOrderButtons[i]) == p.PageOrder);
        const DWORD name =
            GetPageOrderStringId(Copy().dm.dmOrientation, count, OrderOfButton(kOrderButtons[i]));
        SetControlText(kOrderButtons[i], name ? String(name) : std::u16string());
    }
    // The line styles the dialog does not list (dashes, dots) show as the
    // solid border, the nearest it offers; the value stays until changed.
    SelectComboByData(Item(kBorderCombo), p.PageBorders ? kBorderSolid : kBorderNone);
    SelectComboByData(Item(kRotationCombo), p.NupRotation);
}

} // namespace sheetwright
