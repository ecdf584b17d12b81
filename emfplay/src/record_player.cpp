// The page player: a page's metafile played record by record into its cell.
// Most records go to the system's player as they stand; three kinds are
// treated here, for what a scaled replay loses otherwise: large device-
// independent images are drawn in bands (a whole page image at printer
// resolution is more than the device takes at once), a stock font becomes a
// real 10-point font of the page's own units (a stock font keeps its device
// size and would not shrink with the page), and below 100 % thin clip
// rectangles and thin filled polygons are widened to one device pixel, so
// that the rules of a table do not vanish from a reduced page.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "emf_job.h"
#include "win/emf.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"

namespace metaweave {
namespace {

// Image bytes one band may hold: its lines are this over the image's width.
constexpr LONG kBandBytes = 3668000;
constexpr LONG kBandOverlap = 1, kBandOverlapNoDestination = 5;
constexpr LONG kStockFontPoints = 10;
constexpr LONG kPointsPerInch = 72;
// The system's defaults of a font's output and clip precision and quality.
constexpr DWORD kDefaultPrecision = 0, kDefaultClipPrecision = 0, kDefaultQuality = 0;

// Where the image records that carry a bitmap keep their fields: the size
// of the fixed part, then the offsets of each field (0: the record has none;
// a BITBLT's source is as large as its destination, through its transform).
struct ImageLayout {
    size_t fixed, xDest, yDest, cxDest, cyDest, rop, xSrc, ySrc, cxSrc, cySrc, xform, usage, offBmi;
};
constexpr ImageLayout kStretchDibits{80, 24, 28, 72, 76, 68, 32, 36, 40, 44, 0, 64, 48};
constexpr ImageLayout kBitBlt{100, 24, 28, 32, 36, 40, 44, 48, 0, 0, 52, 80, 84};
constexpr ImageLayout kStretchBlt{108, 24, 28, 32, 36, 40, 44, 48, 100, 104, 52, 80, 84};
// offBmi is followed by cbBmi, offBits and cbBits.
constexpr size_t kCbBmi = 4, kOffBits = 8, kCbBits = 12;

struct Player {
    DWORD zoom = 100;
    int mapMode = MM_TEXT;
    SIZEL windowExt{1, 1}, viewportExt{1, 1};
    double referenceDpi = 0; // of the metafile's reference device, vertically
    HFONT stockFont = nullptr;
};

bool IsStockFont(DWORD stock) {
    return (stock >= OEM_FIXED_FONT && stock <= DEVICE_DEFAULT_FONT) ||
           stock == SYSTEM_FIXED_FONT || stock == DEFAULT_GUI_FONT;
}

// Logical units of the page to an inch, by its map mode.
double UnitsPerInch(const Player& p) {
    switch (p.mapMode) {
    case MM_LOMETRIC:
        return 254;
    case MM_HIMETRIC:
        return 2540;
    case MM_LOENGLISH:
        return 100;
    case MM_HIENGLISH:
        return 1000;
    case MM_TWIPS:
        return 1440;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
        if (p.viewportExt.cy)
            return p.referenceDpi * std::abs(double(p.windowExt.cy) / p.viewportExt.cy);
        return p.referenceDpi;
    default:
        return p.referenceDpi;
    }
}

// Logical units of the page to one pixel of its reference device.
double UnitsPerPixel(const Player& p) {
    return p.referenceDpi > 0 ? UnitsPerInch(p) / p.referenceDpi : 1;
}

HFONT StockReplacement(Player* p) {
    if (!p->stockFont) {
        const double upi = UnitsPerInch(*p) > 0 ? UnitsPerInch(*p) : 600;
        const int height = -static_cast<int>(std::lround(kStockFontPoints * upi / kPointsPerInch));
        p->stockFont = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                   kDefaultPrecision, kDefaultClipPrecision, kDefaultQuality,
                                   FIXED_PITCH | FF_MODERN, nullptr);
    }
    return p->stockFont;
}

bool UsesDestination(DWORD rop) {
    const DWORD code = (rop >> 16) & 0xFF;
    return ((code >> 1) & 0x55) != (code & 0x55);
}

// The bytes of one row of an uncompressed image; 0 when the header is not one.
size_t RowBytes(const BITMAPINFOHEADER& h) {
    if ((h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) || h.biWidth <= 0 ||
        h.biPlanes != 1)
        return 0;
    switch (h.biBitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return (static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    default:
        return 0;
    }
}

// A two-colour image of black and white: drawn whole (it banded badly on
// the devices this player was made for, and is small).
bool BlackAndWhite(const BYTE* bmi, size_t cbBmi, DWORD usage, const BITMAPINFOHEADER& h) {
    if (h.biBitCount != 1 || usage != DIB_RGB_COLORS || cbBmi < h.biSize + 2 * sizeof(RGBQUAD))
        return false;
    RGBQUAD c[2];
    std::memcpy(c, bmi + h.biSize, sizeof c);
    auto value = [](const RGBQUAD& q) { return q.rgbRed | q.rgbGreen << 8 | q.rgbBlue << 16; };
    const int a = value(c[0]), b = value(c[1]);
    return (a == 0 && b == 0xFFFFFF) || (a == 0xFFFFFF && b == 0);
}

LONG GetLong(const BYTE* rec, size_t at) {
    LONG v;
    std::memcpy(&v, rec + at, sizeof v);
    return v;
}
void PutLong(BYTE* rec, size_t at, LONG v) {
    std::memcpy(rec + at, &v, sizeof v);
}

// A large image of a whole uncompressed bitmap drawn as records of bands,
// top to bottom, each one line (five without the destination in the raster
// operation) into its neighbour. False when the record is not such an image
// or is small: the caller then plays it as it stands.
bool PlayBanded(HDC hdc, HANDLETABLE* ht, const ENHMETARECORD* emr, int handles,
                const ImageLayout& l) {
    const auto* rec = reinterpret_cast<const BYTE*>(emr);
    const size_t size = emr->nSize;
    if (size < l.fixed) return false;
    const DWORD offBmi = static_cast<DWORD>(GetLong(rec, l.offBmi));
    const DWORD cbBmi = static_cast<DWORD>(GetLong(rec, l.offBmi + kCbBmi));
    const DWORD offBits = static_cast<DWORD>(GetLong(rec, l.offBmi + kOffBits));
    const DWORD cbBits = static_cast<DWORD>(GetLong(rec, l.offBmi + kCbBits));
    if (cbBmi < sizeof(BITMAPINFOHEADER) || offBmi < l.fixed || offBmi > size ||
        cbBmi > size - offBmi || offBits > size || cbBits > size - offBits)
        return false;
    BITMAPINFOHEADER h;
    std::memcpy(&h, rec + offBmi, sizeof h);
    const size_t stride = RowBytes(h);
    const LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (!stride || height <= 0 || h.biSize > cbBmi) return false;
    // A BITBLT's source goes through its transform: only one that moves nothing.
    if (l.xform) {
        XFORM x;
        std::memcpy(&x, rec + l.xform, sizeof x);
        if (x.eM11 != 1 || x.eM12 != 0 || x.eM21 != 0 || x.eM22 != 1 || x.eDx != 0 || x.eDy != 0)
            return false;
    }
    const LONG cyDest = GetLong(rec, l.cyDest);
    const LONG cxSrc = l.cxSrc ? GetLong(rec, l.cxSrc) : GetLong(rec, l.cxDest);
    const LONG cySrc = l.cySrc ? GetLong(rec, l.cySrc) : cyDest;
    // Only the whole image, so that a band's rows are plain to find.
    if (GetLong(rec, l.xSrc) != 0 || GetLong(rec, l.ySrc) != 0 || cxSrc != h.biWidth ||
        cySrc != height)
        return false;
    if (stride * static_cast<size_t>(height) > cbBits) return false;
    const LONG band = std::max<LONG>(kBandBytes / h.biWidth, 1);
    const DWORD usage = static_cast<DWORD>(GetLong(rec, l.usage));
    if (height <= band || BlackAndWhite(rec + offBmi, cbBmi, usage, h)) return false;
    const DWORD rop = static_cast<DWORD>(GetLong(rec, l.rop));
    const LONG overlap = UsesDestination(rop) ? kBandOverlap : kBandOverlapNoDestination;
    const bool bottomUp = h.biHeight > 0;
    const LONG yDest = GetLong(rec, l.yDest);
    std::vector<BYTE> out;
    for (LONG top = 0; top < height; top += band) {
        const LONG first = std::max<LONG>(top - (top ? overlap : 0), 0);
        const LONG last = std::min(top + band, height); // one past, top-down
        const LONG rows = last - first;
        const size_t bandBytes = stride * static_cast<size_t>(rows);
        out.assign(l.fixed + cbBmi + bandBytes, 0);
        BYTE* b = out.data();
        std::memcpy(b, rec, l.fixed);
        PutLong(b, 4, static_cast<LONG>(out.size()));
        PutLong(b, l.offBmi, static_cast<LONG>(l.fixed));
        PutLong(b, l.offBmi + kOffBits, static_cast<LONG>(l.fixed + cbBmi));
        PutLong(b, l.offBmi + kCbBits, static_cast<LONG>(bandBytes));
        const LONG y0 = static_cast<LONG>(int64_t{first} * cyDest / height);
        const LONG y1 = static_cast<LONG>(int64_t{last} * cyDest / height);
        PutLong(b, l.yDest, yDest + y0);
        PutLong(b, l.cyDest, y1 - y0);
        if (l.cySrc) PutLong(b, l.cySrc, rows);
        BITMAPINFOHEADER bh = h;
        bh.biHeight = bottomUp ? rows : -rows;
        bh.biSizeImage = static_cast<DWORD>(bandBytes);
        std::memcpy(b + l.fixed, rec + offBmi, cbBmi);
        std::memcpy(b + l.fixed, &bh, sizeof bh);
        // A bottom-up image keeps its last rows first.
        const LONG stored = bottomUp ? height - last : first;
        std::memcpy(b + l.fixed + cbBmi, rec + offBits + stride * static_cast<size_t>(stored),
                    bandBytes);
        if (!PlayEnhMetaFileRecord(hdc, ht, reinterpret_cast<const ENHMETARECORD*>(b),
                                   static_cast<UINT>(handles)))
            return false;
    }
    return true;
}

// The logical size a dimension must have to cover one device pixel at the zoom.
LONG ThinLimit(const Player& p) {
    const double pixels = std::ceil(100.0 / std::max<DWORD>(p.zoom, 1));
    return std::max<LONG>(static_cast<LONG>(std::ceil(pixels * UnitsPerPixel(p))), 1);
}

// A clip rectangle narrower than the limit grows to it.
std::vector<BYTE> WidenClipRect(const ENHMETARECORD* emr, const Player& p) {
    std::vector<BYTE> out(reinterpret_cast<const BYTE*>(emr),
                          reinterpret_cast<const BYTE*>(emr) + emr->nSize);
    if (out.size() < sizeof(EMRINTERSECTCLIPRECT)) return out;
    EMRINTERSECTCLIPRECT r;
    std::memcpy(&r, out.data(), sizeof r);
    const LONG limit = ThinLimit(p);
    RECTL& c = r.rclClip;
    if (c.right > c.left && c.right - c.left < limit) c.right = c.left + limit;
    if (c.bottom > c.top && c.bottom - c.top < limit) c.bottom = c.top + limit;
    std::memcpy(out.data(), &r, sizeof r);
    return out;
}

// A filled 16-bit polygon thinner than the limit: its far edge moves out.
std::vector<BYTE> WidenPolygon(const ENHMETARECORD* emr, const Player& p) {
    std::vector<BYTE> out(reinterpret_cast<const BYTE*>(emr),
                          reinterpret_cast<const BYTE*>(emr) + emr->nSize);
    constexpr size_t kPointsAt = offsetof(EMRPOLYLINE16, apts);
    if (out.size() < kPointsAt) return out;
    DWORD count;
    std::memcpy(&count, out.data() + offsetof(EMRPOLYLINE16, cpts), sizeof count);
    if (count < 3 || count > (out.size() - kPointsAt) / sizeof(POINTS)) return out;
    std::vector<POINTS> pts(count);
    std::memcpy(pts.data(), out.data() + kPointsAt, count * sizeof(POINTS));
    const LONG limit = ThinLimit(p);
    auto widen = [&](SHORT POINTS::*axis) {
        SHORT lo = pts[0].*axis, hi = lo;
        for (const POINTS& pt : pts)
            lo = std::min(lo, pt.*axis), hi = std::max(hi, pt.*axis);
        if (hi - lo >= limit) return;
        const LONG grown = std::min<LONG>(lo + limit, INT16_MAX);
        for (POINTS& pt : pts)
            if (pt.*axis == hi) pt.*axis = static_cast<SHORT>(grown);
    };
    widen(&POINTS::x);
    widen(&POINTS::y);
    std::memcpy(out.data() + kPointsAt, pts.data(), count * sizeof(POINTS));
    return out;
}

int CALLBACK PlayRecord(HDC hdc, HANDLETABLE* ht, const ENHMETARECORD* emr, int handles,
                        LPARAM param) {
    auto* p = reinterpret_cast<Player*>(param);
    const auto* rec = reinterpret_cast<const BYTE*>(emr);
    const DWORD size = emr->nSize;
    auto play = [&](const std::vector<BYTE>& bytes) {
        PlayEnhMetaFileRecord(hdc, ht, reinterpret_cast<const ENHMETARECORD*>(bytes.data()),
                              static_cast<UINT>(handles));
        return 1;
    };
    switch (emr->iType) {
    case EMR_HEADER:
        if (size >= offsetof(ENHMETAHEADER, szlMillimeters) + sizeof(SIZEL)) {
            ENHMETAHEADER h{};
            std::memcpy(&h, rec, offsetof(ENHMETAHEADER, szlMillimeters) + sizeof(SIZEL));
            if (h.szlMillimeters.cy > 0 && h.szlDevice.cy > 0)
                p->referenceDpi = h.szlDevice.cy * 25.4 / h.szlMillimeters.cy;
        }
        break;
    case EMR_SETMAPMODE:
        if (size >= 12) p->mapMode = static_cast<int>(emr->dParm[0]);
        break;
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX:
        if (size >= sizeof(EMRSETWINDOWEXTEX)) {
            EMRSETWINDOWEXTEX e;
            std::memcpy(&e, rec, sizeof e);
            (emr->iType == EMR_SETWINDOWEXTEX ? p->windowExt : p->viewportExt) = e.szlExtent;
        }
        break;
    case EMR_SELECTOBJECT:
        if (size >= sizeof(EMRSELECTOBJECT) && (emr->dParm[0] & ENHMETA_STOCK_OBJECT) &&
            IsStockFont(emr->dParm[0] & ~ENHMETA_STOCK_OBJECT)) {
            if (HFONT font = StockReplacement(p)) {
                SelectObject(hdc, font);
                return 1;
            }
        }
        break;
    case EMR_STRETCHDIBITS:
        if (PlayBanded(hdc, ht, emr, handles, kStretchDibits)) return 1;
        break;
    case EMR_BITBLT:
        if (PlayBanded(hdc, ht, emr, handles, kBitBlt)) return 1;
        break;
    case EMR_STRETCHBLT:
        if (PlayBanded(hdc, ht, emr, handles, kStretchBlt)) return 1;
        break;
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT:
        if (p->zoom < 100) return play(WidenClipRect(emr, *p));
        break;
    case EMR_POLYGON16:
        if (p->zoom < 100) return play(WidenPolygon(emr, *p));
        break;
    default:
        break;
    }
    PlayEnhMetaFileRecord(hdc, ht, emr, static_cast<UINT>(handles));
    return 1;
}

} // namespace

BOOL PlayPageMetafile(HDC hdc, HENHMETAFILE page, const RECT& rect, DWORD zoomPercent) {
    Player player;
    player.zoom = zoomPercent;
    const BOOL ok = EnumEnhMetaFile(hdc, page, PlayRecord, &player, &rect);
    // The replacement font goes once the page's state is given back.
    if (player.stockFont) DeleteObject(player.stockFont);
    return ok;
}

} // namespace metaweave
