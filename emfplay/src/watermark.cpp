// Watermarks: a line of text with its font, size, angle and colour, drawn
// plain, outlined or as transparent (masking) text, optionally framed by a
// circle or a square, behind or over each chosen page cell.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver_env.h"
#include "emf_job.h"
#include "model/model_queries.h"
#include "watermark_record.h"
#include "win/base.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"
#include "win/strings.h"

namespace metaweave {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr DWORD kWatermarkOn = 0x2;
constexpr DWORD kWatermarkMillimetres = 0x40; // positions in 0.1 mm from the cell centre
// Older layout: choices are bits of the flag word.
constexpr DWORD kOlderFirstOnly = 0x4, kOlderOpaque = 0x8, kOlderOutline = 0x10;
constexpr WORD kOutline = 0x1, kTransparent = 0x2;
constexpr WORD kBorderCircle = 1, kBorderSquare = 2;
constexpr DWORD kPassOver = 0x8;
constexpr DWORD kFeatureEffectsCheck = 0x10000;
constexpr DWORD kEffectsKept = 1u << 27, kTransparentRefused = 1u << 18;
constexpr DWORD kWholePageWatermark = 0x800;
constexpr double kItalicSlant = 0.309017;
constexpr double kBezierFactor = 0.55238;
// Text this wide (its length times the width of "W") is drawn by character on Windows 9x.
constexpr int64_t kLongText = 30001;
// Older records lack the two leading u16 values.
constexpr size_t kOlderShift = 4;

using print_effects::WatermarkRecord;

// a * b / c rounded to the nearest, as the system's MulDiv.
LONG MulDivRound(LONG a, LONG b, LONG c) {
    if (!c) return -1;
    const int64_t p = int64_t{a} * b;
    return static_cast<LONG>((p >= 0) == (c > 0) ? (p + c / 2) / c : (p - c / 2) / c);
}

} // namespace

// Windows 9x: the version word of the NT platform has its top bit set, that
// of no known platform is 0.
static bool OnWindows9x() {
    const DWORD word = VersionWord();
    return word && !(word & 0x80000000u);
}

// Draws the text centred on (x, y) turned by angle; gives its measured size.
// Windows 9x cannot draw a line of text that long at once: its characters
// are laid along the turned base line one by one, those outside the clip
// rectangle (widened by their own size) left out.
SIZE DrawWatermarkText(HDC hdc, const RECT& clip, const std::string& ansi, LONG x, LONG y,
                       double angle) {
    const std::u16string text = sheetwright::AnsiToWide(ansi.data(), ansi.size());
    SIZE size{};
    const double c = std::cos(angle), s = std::sin(angle);
    SIZE w{};
    GetTextExtentPoint32W(hdc, reinterpret_cast<LPCWSTR>(u"W"), 1, &w);
    if (OnWindows9x() && int64_t{w.cx} * static_cast<int64_t>(text.size()) >= kLongText) {
        std::vector<SIZE> sizes(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            GetTextExtentPoint32W(hdc, reinterpret_cast<LPCWSTR>(&text[i]), 1, &sizes[i]);
            size.cx += sizes[i].cx;
            size.cy = std::max(size.cy, sizes[i].cy);
        }
        SetTextAlign(hdc, TA_LEFT | TA_BOTTOM);
        double along = -size.cx / 2.0;
        const double below = size.cy / 2.0;
        for (size_t i = 0; i < text.size(); ++i) {
            // Escapement turns counter-clockwise on a y-down device.
            const LONG px = x + static_cast<LONG>(std::lround(along * c + below * s));
            const LONG py = y + static_cast<LONG>(std::lround(-along * s + below * c));
            along += sizes[i].cx;
            if (px < clip.left - sizes[i].cx || px > clip.right + sizes[i].cx ||
                py < clip.top - size.cy || py > clip.bottom + size.cy)
                continue;
            const std::string one = sheetwright::WideToAnsiString(text.substr(i, 1));
            ExtTextOutA(hdc, px, py, 0, nullptr, one.data(), static_cast<UINT>(one.size()),
                        nullptr);
        }
        return size;
    }
    GetTextExtentPoint32W(hdc, reinterpret_cast<LPCWSTR>(text.c_str()),
                          static_cast<int>(text.size()), &size);
    SetTextAlign(hdc, TA_CENTER | TA_BOTTOM);
    const LONG tx = x + static_cast<LONG>(std::lround(size.cy / 2.0 * s));
    const LONG ty = y + static_cast<LONG>(std::lround(size.cy / 2.0 * c));
    // The record's text is ANSI and goes out as it is (TextOutA's call).
    ExtTextOutA(hdc, tx, ty, 0, nullptr, ansi.data(), static_cast<UINT>(ansi.size()), nullptr);
    return size;
}

// A circle of four Bezier arcs (13 points), for a device that draws no ellipse.
static void BezierCircle(HDC hdc, LONG x, LONG y, LONG radius) {
    const double r = radius, k = kBezierFactor * r;
    const double pts[13][2] = {{r, 0},  {r, -k}, {k, -r}, {0, -r}, {-k, -r}, {-r, -k}, {-r, 0},
                               {-r, k}, {-k, r}, {0, r},  {k, r},  {r, k},   {r, 0}};
    POINT p[13];
    for (int i = 0; i < 13; ++i) {
        p[i].x = x + static_cast<LONG>(std::lround(pts[i][0]));
        p[i].y = y + static_cast<LONG>(std::lround(pts[i][1]));
    }
    PolyBezier(hdc, p, 13);
}

BOOL CPageCollection::DrawWatermark(HDC hdc, const RECT& cell, DWORD pass, HRGN clip) {
    if (!(watermarkFlags_ & kWatermarkOn)) return TRUE;
    WatermarkRecord r{};
    if (currentLayout_) {
        std::memcpy(&r, watermark_, sizeof r);
    } else {
        std::memcpy(reinterpret_cast<BYTE*>(&r) + kOlderShift, watermark_, sizeof r - kOlderShift);
        r.flags = static_cast<WORD>(((watermarkFlags_ & kOlderOpaque) ? 0 : kTransparent) |
                                    ((watermarkFlags_ & kOlderOutline) ? kOutline : 0));
        r.border = 0;
        r.layer = 1;
        r.pages = (watermarkFlags_ & kOlderFirstOnly) ? 2 : 0;
    }
    r.text[sizeof r.text - 1] = 0;
    r.font.lfFaceName[LF_FACESIZE - 1] = 0;
    if (!r.text[0]) return TRUE;
    // Effects the device cannot print are left out.
    const PRIVATE_DEVMODE p = PrivateOf(reader_->PageDevmode(currentPage_));
    if ((r.flags & (kOutline | kTransparent) || r.border) &&
        (p.FeatureFlags & kFeatureEffectsCheck) && p.GraphicsMode == 1) {
        DWORD word = 0;
        BYTE answer[32] = {};
        bool known = reader_->Query(model::kQueryHalftones, p.HalftoneKind,
                                    model::layout::kHalftoneRaster, answer, sizeof answer);
        if (known)
            std::memcpy(&word, answer + 4, 4);
        else if ((known = reader_->Query(model::kQueryQualityModes, p.ResolutionCode,
                                         model::layout::kQualityRecord, answer, sizeof answer)))
            std::memcpy(&word, answer + 16, 4);
        if (!known || !(word & kEffectsKept)) {
            r.flags &= static_cast<WORD>(~kOutline);
            r.border = 0;
            // Without an answer the word is 0: transparent text stays.
            if (word & kTransparentRefused) r.flags &= static_cast<WORD>(~kTransparent);
        }
    }
    if (!PageSelected(r.pages, currentPage_)) return TRUE;
    if ((r.layer == 1) != ((pass & kPassOver) != 0)) return TRUE;
    RECT area = cell;
    if (layout_.layout == Layout::Zoom && wholePageValid_ &&
        (reader_->modelFlags2() & kWholePageWatermark)) {
        area = wholePage_;
        SelectClipRgn(hdc, nullptr);
    }
    const LONG scale = static_cast<LONG>(watermarkScale_);
    LOGFONTA lf = r.font;
    lf.lfHeight =
        -MulDivRound(scale * static_cast<LONG>(r.points), GetDeviceCaps(hdc, LOGPIXELSY), 7200);
    lf.lfWidth = 0;
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ oldFont = SelectObject(hdc, font);
    COLORREF oldColor = SetTextColor(hdc, r.color);
    int oldBk = SetBkMode(hdc, TRANSPARENT);
    const LONG cx = (area.left + area.right) / 2, cy = (area.top + area.bottom) / 2;
    LONG x, y;
    if (watermarkFlags_ & kWatermarkMillimetres) {
        x = cx + GetDeviceCaps(hdc, LOGPIXELSX) * (scale * r.horizontal / 100) / 254;
        y = cy + (scale * r.vertical / 100) * GetDeviceCaps(hdc, LOGPIXELSY) / 254;
    } else {
        x = cx + r.horizontal * (area.right - area.left) / 100;
        y = cy + r.vertical * (area.bottom - area.top) / 100;
    }
    const double angle = r.font.lfEscapement * kPi / 1800.0;
    const std::string text(r.text);
    const bool effects = (r.flags & (kOutline | kTransparent)) != 0;
    const int rop = (r.flags & kTransparent) ? R2_MASKPEN : R2_COPYPEN;
    const int penWidth =
        std::max<int>(1, static_cast<int>(scale * static_cast<LONG>(r.points) / 1200));
    int oldRop = SetROP2(hdc, rop);
    SIZE size{};
    if (effects) {
        BeginPath(hdc);
        size = DrawWatermarkText(hdc, area, text, x, y, angle);
        EndPath(hdc);
        if (r.flags & kOutline) {
            HPEN pen = CreatePen(PS_SOLID, penWidth, r.color);
            HGDIOBJ old = SelectObject(hdc, pen);
            StrokePath(hdc);
            SelectObject(hdc, old);
            DeleteObject(pen);
        } else {
            HPEN pen = CreatePen(PS_SOLID, 1, r.color);
            HBRUSH brush = CreateSolidBrush(r.color);
            HGDIOBJ oldPen = SelectObject(hdc, pen), oldBrush = SelectObject(hdc, brush);
            FillPath(hdc);
            SelectObject(hdc, oldBrush);
            SelectObject(hdc, oldPen);
            DeleteObject(brush);
            DeleteObject(pen);
        }
    } else {
        SetROP2(hdc, oldRop);
        size = DrawWatermarkText(hdc, area, text, x, y, angle);
        oldRop = SetROP2(hdc, rop);
    }
    if (currentLayout_ && (r.border == kBorderCircle || r.border == kBorderSquare)) {
        double w = size.cx + (r.font.lfItalic ? size.cy * kItalicSlant : 0.0), h = size.cy;
        HPEN pen = CreatePen(PS_SOLID, penWidth, r.color);
        HGDIOBJ oldPen = SelectObject(hdc, pen);
        HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
        if (r.border == kBorderCircle) {
            const LONG radius = static_cast<LONG>(std::lround(std::sqrt(w * w + h * h) / 2));
            if (!Ellipse(hdc, x - radius, y - radius, x + radius, y + radius))
                BezierCircle(hdc, x, y, radius);
        } else {
            POINT pts[4];
            const double c = std::cos(angle), s = std::sin(angle);
            const double corners[4][2] = {
                {-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}};
            for (int i = 0; i < 4; ++i) {
                // Escapement turns counter-clockwise on a y-down device.
                pts[i].x =
                    x + static_cast<LONG>(std::lround(corners[i][0] * c + corners[i][1] * s));
                pts[i].y =
                    y + static_cast<LONG>(std::lround(-corners[i][0] * s + corners[i][1] * c));
            }
            Polygon(hdc, pts, 4);
        }
        SelectObject(hdc, oldBrush);
        SelectObject(hdc, oldPen);
        DeleteObject(pen);
    }
    SetROP2(hdc, oldRop);
    if (clip) SelectClipRgn(hdc, clip);
    SetBkMode(hdc, oldBk);
    SetTextColor(hdc, oldColor);
    SelectObject(hdc, oldFont);
    DeleteObject(font);
    return TRUE;
}

} // namespace metaweave
