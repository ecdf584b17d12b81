#include "preview_pane.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "dialog_lookups.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "list_helpers.h"
#include "win/resources.h"

namespace sheetwright {
namespace {

// Dialog units between the pane and the control below it.
constexpr LONG kGapBelowPane = 5;

// Bitmaps of the resource library the pane draws.
constexpr DWORD kBackgroundPages = 2510;
constexpr DWORD kBackgroundDialogs = 2511;
constexpr DWORD kTransparentSample = 2530;
constexpr DWORD kArrowBitmap = 2500;
constexpr DWORD kSheetPicture = 2551;
constexpr DWORD kPlainContent = 2562;
constexpr DWORD kDuplexPicture = 2541;
constexpr DWORD kOneSidedPortraitIcon = 2110;
constexpr DWORD kOneSidedLandscapeIcon = 2113;

// PrivateFlags and FeatureFlags bits the pane reads.
constexpr DWORD kPrivReverseOrder = 1u << 12;
constexpr DWORD kPrivStaple = 1u << 16;
constexpr DWORD kPrivPunch = 1u << 18;
constexpr DWORD kPrivSortModes = 1u << 20;
constexpr DWORD kPrivFrontCover = 1u << 22;
constexpr DWORD kPrivBackCover = 1u << 23;
constexpr DWORD kFeatColour = 1u << 5;
constexpr DWORD kFeatTextBlack = 1u << 10;
constexpr DWORD kFeatTonerSave = 1u << 14;
constexpr DWORD kFeatGraphicsMode = 1u << 16;
constexpr DWORD kFeatHalftone = 1u << 17;
constexpr DWORD kOptionMirror = 1u << 0;

// {base, grayscale, landscape, landscape grayscale}; 0: no such variant.
struct VariantRow {
    DWORD base, gray, landscape, landscapeGray;
};
constexpr VariantRow kPageVariants[] = {
    {2541, 0, 2540, 0},       {2562, 2563, 2560, 2561}, {2566, 2567, 2564, 2565},
    {2570, 2571, 2568, 2569}, {2574, 2575, 2572, 2573}, {2578, 2579, 2576, 2577},
    {2582, 2583, 2580, 2581}, {2586, 2587, 2584, 2585}, {2600, 0, 2602, 0},
    {2601, 0, 2603, 0},       {2604, 0, 2608, 0},       {2605, 0, 2609, 0},
    {2606, 0, 2610, 0},       {2607, 0, 2611, 0},       {2551, 0, 2550, 0},
    {2630, 2631, 2632, 2633}, {2636, 2637, 2634, 2635}, {2640, 2641, 2638, 2639},
    {2644, 2645, 2642, 2643}, {2852, 0, 2851, 0},       {2858, 0, 2857, 0},
    {2864, 0, 2863, 0},       {2854, 0, 2853, 0},       {2860, 0, 2859, 0},
    {2866, 0, 2865, 0},       {2856, 0, 2855, 0},       {2862, 0, 2861, 0},
    {2868, 0, 2867, 0},       {2805, 0, 2804, 0},       {2807, 0, 2806, 0},
    {2809, 0, 2808, 0},       {2801, 0, 2800, 0},       {2803, 0, 2802, 0},
    {2811, 0, 2810, 0},       {2653, 2654, 2651, 2652}, {2657, 2658, 2655, 2656},
    {2661, 2662, 2659, 2660}, {2665, 2666, 2663, 2664}, {2669, 2670, 2667, 2668},
    {2673, 2674, 2671, 2672},
};

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP b{};
    if (!bitmap || !GetObjectW(bitmap, sizeof b, &b)) return {0, 0};
    return {b.bmWidth, b.bmHeight};
}

// The three channel differences of a corner to the transparent colour: their
// sizes when they all lean one way, one more each when they do not.
std::array<int, 3> ChannelDistances(COLORREF a, COLORREF b) {
    const int d[3] = {GetRValue(a) - GetRValue(b), GetGValue(a) - GetGValue(b),
                      GetBValue(a) - GetBValue(b)};
    const bool same =
        (d[0] >= 0 && d[1] >= 0 && d[2] >= 0) || (d[0] <= 0 && d[1] <= 0 && d[2] <= 0);
    return {std::abs(d[0]) + (same ? 0 : 1), std::abs(d[1]) + (same ? 0 : 1),
            std::abs(d[2]) + (same ? 0 : 1)};
}

} // namespace

COLORREF BitmapPixel(HBITMAP bitmap, int x, int y) {
    if (!bitmap) return CLR_INVALID;
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) return CLR_INVALID;
    COLORREF colour = CLR_INVALID;
    if (HGDIOBJ previous = SelectObject(memory, bitmap)) {
        colour = GetPixel(memory, x, y);
        SelectObject(memory, previous);
    }
    DeleteDC(memory);
    return colour;
}

BEGIN_MESSAGE_MAP(CLeftBase, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

CLeftBase::~CLeftBase() {
    for (auto& [id, bitmap] : bitmaps_)
        if (bitmap) DeleteObject(bitmap);
}

BOOL CLeftBase::Init(SheetContext* context, int kind, DEVMODE_IMAGEW* image) {
    context_ = context;
    kind_ = kind;
    image_ = image ? image : (context ? &context->workingImage : nullptr);
    refreshes_ = 0;
    if (!m_hWnd) return FALSE;
    background_ = Bitmap(kind == kPaneOfPages ? kBackgroundPages : kBackgroundDialogs);
    backgroundSize_ = BitmapSize(background_);
    if (backgroundSize_.cx > 0 && backgroundSize_.cy > 0)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, backgroundSize_.cx, backgroundSize_.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT pane{};
    ::GetWindowRect(m_hWnd, &pane);
    RECT gap{0, 0, 0, kGapBelowPane};
    if (HWND parent = ::GetParent(m_hWnd)) ::MapDialogRect(parent, &gap);
    verticalOffset_ = static_cast<WORD>(pane.bottom - pane.top + gap.bottom);
    return TRUE;
}

void CLeftBase::Refresh() {
    if (!m_hWnd || !context_) return;
    ++refreshes_;
    for (const RECT& r : {kTitleRect, kStatusRect, kPageRect})
        ::InvalidateRect(m_hWnd, &r, FALSE);
    ::UpdateWindow(m_hWnd);
}

HBITMAP CLeftBase::Bitmap(DWORD id) {
    if (!id) return nullptr;
    auto found = bitmaps_.find(id);
    if (found != bitmaps_.end()) return found->second;
    HBITMAP bitmap = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    bitmaps_.emplace(id, bitmap);
    return bitmap;
}

const DEVMODE_IMAGEW& CLeftBase::Default() const {
    return context_ ? context_->defaultImage : *image_;
}

bool CLeftBase::IsLandscapeView() const {
    if (!image_) return false;
    const PRIVATE_DEVMODE& p = image_->priv;
    bool landscape = image_->dm.dmOrientation == DMORIENT_LANDSCAPE;
    const WORD n = p.PagesPerSheet;
    if (p.LayoutKind == kLayoutBooklet ||
        (p.LayoutKind == kLayoutPagesPerSheet && (n == 2 || n == 6 || n == 8)))
        landscape = !landscape;
    return landscape;
}

DWORD CLeftBase::PictureVariant(DWORD id) const {
    if (!image_) return id;
    const int index = (IsLandscapeView() ? 2 : 0) + (image_->priv.ColorMode == 1 ? 1 : 0);
    for (const VariantRow& row : kPageVariants) {
        if (row.base != id) continue;
        switch (index) {
        case 1:
            return row.gray ? row.gray : id;
        case 2:
            return row.landscape ? row.landscape : id;
        case 3:
            return row.landscapeGray ? row.landscapeGray : row.landscape ? row.landscape : id;
        default:
            return id;
        }
    }
    return id;
}

int CLeftBase::ZoomStep(int percent) {
    if (percent < 41) return 25;
    if (percent <= 60) return 50;
    if (percent <= 85) return 75;
    if (percent <= 124) return 100;
    if (percent <= 190) return 150;
    if (percent <= 300) return 250;
    return 350;
}

PreviewPictures CLeftBase::ChoosePictures() const {
    PreviewPictures p;
    if (!image_) return p;
    const PRIVATE_DEVMODE& d = image_->priv;
    p.sheet = PictureVariant(kSheetPicture);
    switch (d.LayoutKind) {
    case 0:
    case kLayoutFitToPaper:
        p.content = PictureVariant(kPlainContent);
        break;
    case kLayoutBooklet:
        p.content = PictureVariant(2566);
        break;
    case kLayoutPagesPerSheet: {
        DWORD content = kPlainContent;
        switch (d.PagesPerSheet) {
        case 2:
            content = 2566;
            break;
        case 4:
            content = 2570;
            break;
        case 6:
            content = 2574;
            break;
        case 8:
            content = 2578;
            break;
        case 9:
            content = 2582;
            break;
        case 16:
            content = 2586;
            break;
        default:
            break;
        }
        p.content = PictureVariant(content);
        DWORD order = 0;
        if (d.PagesPerSheet == 2) {
            order = d.PageOrder == 0 ? 2600 : d.PageOrder == 3 ? 2601 : 0;
        } else {
            constexpr DWORD kOrders[] = {2604, 2605, 2607, 2606};
            order = d.PageOrder < 4 ? kOrders[d.PageOrder] : 0;
        }
        p.order = order ? PictureVariant(order) : 0;
        break;
    }
    case kLayoutPoster: {
        const WORD a = d.PosterGrid[0], b = d.PosterGrid[1];
        DWORD sheet = 0;
        if ((a == 1 && b == 2) || (a == 2 && b == 1))
            sheet = 2630;
        else if (a == 2 && b == 2)
            sheet = 2636;
        else if (a == 3 && b == 3)
            sheet = 2640;
        else if (a == 4 && b == 4)
            sheet = 2644;
        if (sheet)
            p.sheet = PictureVariant(sheet);
        else
            p.content = kPlainContent;
        break;
    }
    case kLayoutZoom: {
        // A zoom of 0 or less is drawn as 1 %.
        const int percent = std::max<int>(d.ZoomPercent, 1);
        const int step = ZoomStep(percent);
        DWORD content = kPlainContent;
        switch (step) {
        case 25:
            content = 2653;
            break;
        case 50:
            content = 2657;
            break;
        case 75:
            content = 2661;
            break;
        case 150:
            content = 2665;
            break;
        case 250:
            content = 2669;
            break;
        case 350:
            content = 2673;
            break;
        default:
            break;
        }
        p.content = PictureVariant(content);
        p.scale = static_cast<double>(percent) / step;
        p.placement = d.ZoomAnchor;
        break;
    }
    default:
        break;
    }
    if (image_->dm.dmDuplex != DMDUP_SIMPLEX) p.duplex = PictureVariant(kDuplexPicture);
    if (d.PrivateFlags & kPrivStaple) {
        constexpr DWORD kStaples[] = {2801, 2805, 2803, 2807, 2809, 2811};
        if (d.StapleMode >= 1 && d.StapleMode <= 6)
            p.staple = PictureVariant(kStaples[d.StapleMode - 1]);
    }
    if ((d.PrivateFlags & kPrivPunch) && d.PunchMode && context_) {
        const DWORD code = GetFinishingPositionCode(&context_->model, context_->installOptions,
                                                    image_, d.PunchMode);
        constexpr DWORD kPunches[3][3] = {
            {2858, 2852, 2864}, {2860, 2854, 2866}, {2862, 2856, 2868}};
        if (code >= 2 && code <= 4 && d.PunchMode >= 1 && d.PunchMode <= 3)
            p.punch = PictureVariant(kPunches[code - 2][d.PunchMode - 1]);
    }
    return p;
}

std::vector<DWORD> CLeftBase::StatusIcons() const {
    std::vector<DWORD> slots;
    if (!image_) return slots;
    const DEVMODE_IMAGEW& im = *image_;
    const PRIVATE_DEVMODE& d = im.priv;
    const PRIVATE_DEVMODE& def = Default().priv;
    // 1. Duplex, or the booklet's binding.
    if (d.LayoutKind != kLayoutBooklet) {
        const BOOL margin =
            d.DuplexMargin != 0 && context_ && HasModelFlag25Bit8(context_->optionPair);
        const DWORD icon = GetDuplexIconId(&im, im.dm.dmDuplex, margin ? 1 : 0);
        if (icon != kOneSidedPortraitIcon && icon != kOneSidedLandscapeIcon) slots.push_back(icon);
    } else if (d.BookletKind == 1 || d.BookletKind == 2) {
        slots.push_back(d.BookletKind == 1 ? 2230 : 2231);
    }
    // 2, 3. Fit to paper, zoom position.
    if (d.LayoutKind == kLayoutFitToPaper) slots.push_back(d.FitMode == 1 ? 2250 : 2251);
    if (d.LayoutKind == kLayoutZoom && d.ZoomAnchor <= 8) slots.push_back(2240 + d.ZoomAnchor);
    // 4. Covers.
    if ((d.PrivateFlags & kPrivFrontCover) && (d.CoverFlags & 1)) slots.push_back(2190);
    if ((d.PrivateFlags & kPrivBackCover) && (d.CoverFlags & 2)) slots.push_back(2191);
    // 5. Copies: collation and sorting.
    if (im.dm.dmCopies > 1) {
        DWORD value;
        if (d.PrivateFlags & kPrivSortModes) {
            value = d.SortMode;
            if (im.dm.dmCollate == DMCOLLATE_TRUE && (value == 0 || value == 2 || value == 4))
                ++value;
        } else {
            value = im.dm.dmCollate == DMCOLLATE_TRUE ? 1 : 0;
        }
        slots.push_back(value <= 5 ? 2100 + value : 0);
    }
    // 6. Reverse order.
    if ((d.PrivateFlags & kPrivReverseOrder) && d.ReverseOrder == 1) slots.push_back(2270);
    // 7. Job type, when it differs from the default.
    if (d.JobType != def.JobType) {
        struct JobIcon {
            WORD type;
            DWORD bit;
            DWORD icon;
        };
        constexpr JobIcon kJobs[] = {{2, 1u << 25, 2130},
                                     {3, 1u << 26, 2131},
                                     {1, 1u << 24, 2132},
                                     {4, 1u << 28, 2133},
                                     {5, 1u << 29, 2134}};
        for (const JobIcon& j : kJobs)
            if (d.JobType == j.type && (d.PrivateFlags & j.bit)) slots.push_back(j.icon);
    }
    // 8. Graphics mode.
    if ((d.FeatureFlags & kFeatGraphicsMode) && d.GraphicsMode != def.GraphicsMode)
        slots.push_back(d.GraphicsMode == 0 ? 2166 : d.GraphicsMode == 1 ? 2167 : 0);
    // 9. Halftone.
    if ((d.FeatureFlags & kFeatHalftone) && d.HalftoneKind != def.HalftoneKind) {
        DWORD icon = 2157;
        switch (d.HalftoneKind) {
        case 1:
            icon = 2173;
            break;
        case 2:
            icon = 2155;
            break;
        case 3:
            icon = 2156;
            break;
        case 6:
            icon = 2174;
            break;
        case 8:
            icon = 2172;
            break;
        default:
            break;
        }
        slots.push_back(icon);
    }
    // 10. Resolution.
    if (d.ResolutionCode != def.ResolutionCode)
        slots.push_back(d.ResolutionCode == 2 ? 2151 : d.ResolutionCode == 3 ? 2152 : 2150);
    // 11. Colour mode and toner save.
    const bool colour = (d.FeatureFlags & kFeatColour) != 0;
    const bool toner = (d.FeatureFlags & kFeatTonerSave) != 0;
    const WORD mode = colour ? d.ColorMode : 1, defMode = colour ? def.ColorMode : 1;
    const WORD save = toner ? d.TonerSaveLevel : 0, defSave = toner ? def.TonerSaveLevel : 0;
    if ((colour && mode != defMode) || (toner && save != defSave)) {
        constexpr DWORD kSaving[] = {2165, 2163, 2164}, kPlain[] = {2162, 2160, 2161};
        const DWORD* icons = save == 1 ? kSaving : kPlain;
        slots.push_back(mode >= 1 && mode <= 3 ? icons[mode - 1] : 0);
    }
    // 12. All text black, when the rules allow both values.
    if ((d.FeatureFlags & kFeatTextBlack) && d.TextAsBlack != def.TextAsBlack && context_ &&
        (!context_->constraints || (!context_->constraints->IsValueRefused(kItemTextAsBlack, 0) &&
                                    !context_->constraints->IsValueRefused(kItemTextAsBlack, 1))))
        slots.push_back(d.TextAsBlack == 1 ? 2271 : 0);
    // 13, 14. Watermark, overlay.
    if (d.WatermarkFlags & 0x2) slots.push_back(2181);
    if (d.OverlayFlags & 0x1)
        slots.push_back(2170);
    else if (d.OverlayFlags & 0x2)
        slots.push_back(2171);
    return slots;
}

std::u16string CLeftBase::TitleText(std::u16string* first, std::u16string* second) const {
    std::u16string paper, output;
    if (context_ && image_) {
        const WORD id = static_cast<WORD>(image_->dm.dmPaperSize);
        const WORD out = image_->priv.OutputPaperId ? image_->priv.OutputPaperId : id;
        GetPaperName(&paper, &context_->model, context_->resourceModule, id, context_->userPapers);
        GetPaperName(&output, &context_->model, context_->resourceModule, out,
                     context_->userPapers);
    }
    if (first) *first = paper;
    if (second) *second = u"-> " + output;
    return paper + u" -> " + output;
}

POINT CLeftBase::BorderLines(WORD pagesPerSheet, bool landscapeView) {
    switch (pagesPerSheet) {
    case 2:
        return landscapeView ? POINT{1, 0} : POINT{0, 1};
    case 4:
        return {1, 1};
    case 6:
        return landscapeView ? POINT{2, 1} : POINT{1, 2};
    case 8:
        return landscapeView ? POINT{3, 1} : POINT{1, 3};
    case 9:
        return {2, 2};
    case 16:
        return {3, 3};
    default:
        return {0, 0};
    }
}

void CLeftBase::OnPaint() {
    CPaintDC dc(this);
    if (!context_ || !image_) return;
    const SIZE size = backgroundSize_.cx > 0 ? backgroundSize_
                                             : SIZE{kTitleRect.right + 20, kStatusRect.bottom + 10};
    // Drawn off screen, then copied whole. Plain handles throughout: the
    // framework's borrowing wrappers would wait for an idle loop to go.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP picture = memory ? CreateCompatibleBitmap(dc, size.cx, size.cy) : nullptr;
    if (!picture) {
        if (memory) DeleteDC(memory);
        return;
    }
    HGDIOBJ previous = SelectObject(memory, picture);
    RECT all{0, 0, size.cx, size.cy};
    if (background_) {
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, background_);
        BitBlt(memory, 0, 0, size.cx, size.cy, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    } else {
        HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
        FillRect(memory, &all, face);
        DeleteObject(face);
    }
    DrawTitle(memory);
    DrawStatusIcons(memory);
    DrawPage(memory);
    BitBlt(dc, 0, 0, size.cx, size.cy, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(picture);
    DeleteDC(memory);
}

void CLeftBase::DrawTitle(HDC dc) {
    LOGFONTW logical{};
    HFONT own = GetFont();
    if (!own || !GetObjectW(own, sizeof logical, &logical))
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof logical, &logical);
    HFONT font = CreateFontIndirectW(&logical);
    HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    const int mode = SetBkMode(dc, TRANSPARENT);
    std::u16string first, second;
    const std::u16string whole = TitleText(&first, &second);
    RECT r = kTitleRect;
    constexpr UINT kCentred = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    SIZE extent{};
    GetTextExtentPoint32W(dc, whole.c_str(), static_cast<int>(whole.size()), &extent);
    if (extent.cx <= r.right - r.left) {
        DrawTextW(dc, whole.c_str(), static_cast<int>(whole.size()), &r, kCentred);
    } else {
        // Too wide for one line: the paper above the middle, the output below.
        const LONG middle = (r.top + r.bottom) / 2;
        RECT upper{r.left, r.top, r.right, middle}, lower{r.left, middle + 1, r.right, r.bottom};
        DrawTextW(dc, first.c_str(), static_cast<int>(first.size()), &upper, kCentred);
        DrawTextW(dc, second.c_str(), static_cast<int>(second.size()), &lower, kCentred);
    }
    SetBkMode(dc, mode);
    if (previous) SelectObject(dc, previous);
    if (font) DeleteObject(font);
}

void CLeftBase::DrawStatusIcons(HDC dc) {
    const std::vector<DWORD> slots = StatusIcons();
    const int step = ::GetSystemMetrics(SM_CXICON) + 3;
    const int rowHeight = (kStatusRect.bottom - kStatusRect.top) / 2;
    for (size_t n = 0; n < slots.size() && n < kStatusSlots; ++n) {
        if (!slots[n]) continue;
        // Icons of the resource library are shared: loaded, never destroyed.
        HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(slots[n]));
        if (!icon) continue;
        const int x = kStatusRect.left + 1 + static_cast<int>(n % kSlotsPerRow) * step;
        const int y = kStatusRect.top + 3 + static_cast<int>(n / kSlotsPerRow) * rowHeight;
        ::DrawIcon(dc, x, y, icon);
    }
}

void CLeftBase::MatchTransparentColour(HBITMAP bitmap) {
    const SIZE s = BitmapSize(bitmap);
    if (s.cx <= 0 || s.cy <= 0) return;
    const POINT corners[4] = {{0, 0}, {s.cx - 1, 0}, {0, s.cy - 1}, {s.cx - 1, s.cy - 1}};
    COLORREF colours[4];
    for (int i = 0; i < 4; ++i) {
        colours[i] = BitmapPixel(bitmap, corners[i].x, corners[i].y);
        if (colours[i] == transparent_) return;
    }
    constexpr int kNearEnough = 16;
    int best = -1, bestSum = 0;
    std::array<int, 3> bestDistances{};
    for (int i = 0; i < 4; ++i) {
        if (colours[i] == CLR_INVALID) continue;
        const std::array<int, 3> d = ChannelDistances(colours[i], transparent_);
        const int sum = d[0] + d[1] + d[2];
        if (best < 0 || sum < bestSum) best = i, bestSum = sum, bestDistances = d;
    }
    if (best >= 0 && bestDistances[0] < kNearEnough && bestDistances[1] < kNearEnough &&
        bestDistances[2] < kNearEnough)
        transparent_ = colours[best];
}

void CLeftBase::DrawSheetBorders(HDC dc, SIZE sheet) {
    const PRIVATE_DEVMODE& d = image_->priv;
    const POINT lines = BorderLines(d.PagesPerSheet, IsLandscapeView());
    if (!lines.x && !lines.y) return;
    int style = PS_SOLID;
    switch (d.PageBorders) {
    case 2:
        style = PS_DASH;
        break;
    case 3:
        style = PS_DOT;
        break;
    case 4:
        style = PS_DASHDOT;
        break;
    case 5:
        style = PS_DASHDOTDOT;
        break;
    default:
        break;
    }
    // A width beyond a few pixels would only paint the picture over.
    constexpr int kWidestPen = 8;
    const int width = std::clamp<int>(d.BorderWidth, 1, kWidestPen);
    const int innerW = sheet.cx - kInnerMargin, innerH = sheet.cy - kInnerMargin;
    const int left = (sheet.cx - innerW) / 2, top = (sheet.cy - innerH) / 2;
    HPEN pen = CreatePen(style, width, RGB(0, 0, 0));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    Rectangle(dc, left, top, left + innerW, top + innerH);
    for (int k = 1; k <= lines.x; ++k) {
        const int x = left + k * (innerW / (lines.x + 1));
        MoveToEx(dc, x, top, nullptr);
        LineTo(dc, x, top + innerH);
    }
    for (int k = 1; k <= lines.y; ++k) {
        const int y = top + k * (innerH / (lines.y + 1));
        MoveToEx(dc, left, y, nullptr);
        LineTo(dc, left + innerW, y);
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

void CLeftBase::DrawPage(HDC dc) {
    if (!transparent_) {
        const COLORREF sample = BitmapPixel(Bitmap(kTransparentSample), 0, 0);
        if (sample != CLR_INVALID) transparent_ = sample;
    }
    const PreviewPictures p = ChoosePictures();
    const PRIVATE_DEVMODE& d = image_->priv;
    const POINT c{(kPageRect.left + kPageRect.right) / 2, (kPageRect.top + kPageRect.bottom) / 2};
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, kPageRect.left, kPageRect.top, kPageRect.right, kPageRect.bottom);

    HBITMAP sheet = Bitmap(p.sheet);
    const SIZE s = BitmapSize(sheet);
    if (sheet) {
        MatchTransparentColour(sheet);
        DrawBitmapTransparent(dc, c.x, c.y, sheet, transparent_);
    }
    if (s.cx > 0 && s.cy > 0) {
        const RECT inset{c.x - s.cx / 2 + 2, c.y - s.cy / 2 + 2, c.x - s.cx / 2 + s.cx - 2,
                         c.y - s.cy / 2 + s.cy - 2};
        IntersectClipRect(dc, inset.left, inset.top, inset.right, inset.bottom);

        // The sheet's picture off screen, in the transparent colour.
        HDC off = CreateCompatibleDC(dc);
        HBITMAP offBitmap = CreateCompatibleBitmap(dc, s.cx, s.cy);
        HGDIOBJ offOld = SelectObject(off, offBitmap);
        HBRUSH fill = CreateSolidBrush(transparent_);
        RECT all{0, 0, s.cx, s.cy};
        FillRect(off, &all, fill);
        DeleteObject(fill);
        const int innerW = s.cx - kInnerMargin, innerH = s.cy - kInnerMargin;

        // The content, scaled, and the window of it the placement shows.
        // Only that window is stretched, so a large zoom costs no more.
        if (HBITMAP content = Bitmap(p.content); content && innerW > 0 && innerH > 0) {
            const SIZE cs = BitmapSize(content);
            const double sw = cs.cx * p.scale, sh = cs.cy * p.scale;
            double ox = 0, oy = 0;
            const int col = (p.placement >= 0 && p.placement <= 8) ? p.placement % 3 : 0;
            const int row = (p.placement >= 0 && p.placement <= 8) ? p.placement / 3 : 0;
            if (col == 1) ox = std::floor(sw / 2) - innerW / 2;
            if (col == 2) ox = sw - innerW;
            if (row == 1) oy = std::floor(sh / 2) - innerH / 2;
            if (row == 2) oy = sh - innerH;
            // The part of the window that lies on the scaled content.
            const double x0 = std::max(ox, 0.0), y0 = std::max(oy, 0.0);
            const double x1 = std::min(ox + innerW, sw), y1 = std::min(oy + innerH, sh);
            if (x1 > x0 && y1 > y0 && p.scale > 0) {
                HDC src = CreateCompatibleDC(dc);
                HGDIOBJ srcOld = SelectObject(src, content);
                SetStretchBltMode(off, COLORONCOLOR);
                const int dx = kInnerMargin / 2 + static_cast<int>(x0 - ox);
                const int dy = kInnerMargin / 2 + static_cast<int>(y0 - oy);
                const int dw = static_cast<int>(x1 - x0), dh = static_cast<int>(y1 - y0);
                const int sx = static_cast<int>(x0 / p.scale), sy = static_cast<int>(y0 / p.scale);
                const int swid = std::max(1, static_cast<int>(std::lround(dw / p.scale)));
                const int shei = std::max(1, static_cast<int>(std::lround(dh / p.scale)));
                if (dw > 0 && dh > 0)
                    StretchBlt(off, dx, dy, dw, dh, src, sx, sy, std::min<int>(swid, cs.cx - sx),
                               std::min<int>(shei, cs.cy - sy), SRCCOPY);
                SelectObject(src, srcOld);
                DeleteDC(src);
            }
        }
        if (d.LayoutKind == kLayoutPagesPerSheet && d.PageBorders) {
            DrawSheetBorders(off, s);
        }
        if (d.LayoutKind == kLayoutPagesPerSheet) {
            if (HBITMAP order = Bitmap(p.order))
                DrawBitmapTransparent(off, s.cx / 2, s.cy / 2, order, transparent_);
        }
        SelectObject(off, offOld);

        // Turned by 180 degrees and mirrored: one stretch with the flips of both.
        const bool rotate = d.Rotate180 == 1;
        const bool mirror = (d.OptionFlags & kOptionMirror) && d.MirrorImage;
        HBITMAP shown = offBitmap, turned = nullptr;
        if (rotate || mirror) {
            const bool flipX = rotate != (mirror && d.MirrorImage == 1);
            const bool flipY = rotate != (mirror && d.MirrorImage == 2);
            turned = CreateCompatibleBitmap(dc, s.cx, s.cy);
            HDC from = CreateCompatibleDC(dc);
            HDC to = CreateCompatibleDC(dc);
            HGDIOBJ fromOld = SelectObject(from, offBitmap), toOld = SelectObject(to, turned);
            StretchBlt(to, flipX ? s.cx - 1 : 0, flipY ? s.cy - 1 : 0, flipX ? -s.cx : s.cx,
                       flipY ? -s.cy : s.cy, from, 0, 0, s.cx, s.cy, SRCCOPY);
            SelectObject(from, fromOld);
            SelectObject(to, toOld);
            DeleteDC(from);
            DeleteDC(to);
            shown = turned;
        }
        DrawBitmapTransparent(dc, c.x, c.y, shown, transparent_);
        if (turned) DeleteObject(turned);
        DeleteObject(offBitmap);
        DeleteDC(off);
    }
    if (HBITMAP punch = Bitmap(p.punch)) DrawBitmapTransparent(dc, c.x, c.y, punch, transparent_);
    if (HBITMAP staple = Bitmap(p.staple))
        DrawBitmapTransparent(dc, c.x, c.y, staple, transparent_);
    RestoreDC(dc, saved);
    const int again = SaveDC(dc);
    IntersectClipRect(dc, kPageRect.left, kPageRect.top, kPageRect.right, kPageRect.bottom);
    if (HBITMAP duplex = Bitmap(p.duplex))
        DrawBitmapTransparent(dc, c.x, c.y, duplex, transparent_);
    RestoreDC(dc, again);
}

BEGIN_MESSAGE_MAP(CPaperArraw, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

void CPaperArraw::OnPaint() {
    CPaintDC dc(this);
    HBITMAP arrow = LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kArrowBitmap));
    if (!arrow) return;
    if (!transparent_) {
        if (HBITMAP sample =
                LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(kTransparentSample))) {
            const COLORREF colour = BitmapPixel(sample, 0, 0);
            if (colour != CLR_INVALID) transparent_ = colour;
            DeleteObject(sample);
        }
    }
    RECT client{};
    GetClientRect(&client);
    DrawBitmapTransparent(dc, (client.left + client.right) / 2, (client.top + client.bottom) / 2,
                          arrow, transparent_);
    DeleteObject(arrow);
}

} // namespace sheetwright
