// The handle table of GDI objects, stock objects, pens and brushes, and the
// patterns of pattern brushes.
#include "gdi_objects.h"

#include "dib.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "platform/gdi_ctl.h"
#include "win/errors.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

constexpr ULONG_PTR kStockBase = 0x6d000;
constexpr ULONG_PTR kStep = 0x10;
// Patterns larger than this are refused rather than copied around per call.
constexpr LONG kMaxPatternSide = 4096;
constexpr long long kMaxPatternPixels = 1 << 22;

struct Table {
    std::unordered_map<ULONG_PTR, std::shared_ptr<GdiObject>> objects;
    ULONG_PTR next = 0x6e0000;
};

Table& Objects() {
    // Never destroyed: bitmaps still in the table when the process ends hold
    // engine surfaces, and the engine's tables may be gone by then.
    static Table& table = *new Table;
    return table;
}

// Colours of the default palette: the twenty system colours.
constexpr COLORREF kDefaultPalette[20] = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000,
    0xC0C0C0, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0, 0x808080, 0x0000FF,
    0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF,
};

std::shared_ptr<GdiObject> MakeStock(int i) {
    auto o = std::make_shared<GdiObject>();
    o->stockIndex = i;
    auto brush = [&](UINT style, COLORREF c) {
        o->kind = ObjectKind::Brush;
        o->brush.style = style;
        o->brush.color = c;
    };
    auto pen = [&](DWORD style, COLORREF c) {
        o->kind = ObjectKind::Pen;
        o->pen.style = style;
        o->pen.color = c;
    };
    switch (i) {
    case WHITE_BRUSH:
        brush(BS_SOLID, 0xFFFFFF);
        break;
    case LTGRAY_BRUSH:
        brush(BS_SOLID, 0xC0C0C0);
        break;
    case GRAY_BRUSH:
        brush(BS_SOLID, 0x808080);
        break;
    case DKGRAY_BRUSH:
        brush(BS_SOLID, 0x404040);
        break;
    case BLACK_BRUSH:
        brush(BS_SOLID, 0x000000);
        break;
    case NULL_BRUSH:
        brush(BS_NULL, 0);
        break;
    case WHITE_PEN:
        pen(PS_SOLID, 0xFFFFFF);
        break;
    case BLACK_PEN:
        pen(PS_SOLID, 0x000000);
        break;
    case NULL_PEN:
        pen(PS_NULL, 0);
        break;
    case DEFAULT_PALETTE:
        o->kind = ObjectKind::Palette;
        break;
    case DC_BRUSH:
        brush(BS_SOLID, 0xFFFFFF);
        o->brush.dcBrush = true;
        break;
    case DC_PEN:
        pen(PS_SOLID, 0);
        o->pen.dcPen = true;
        break;
    default: // the fonts
        o->kind = ObjectKind::Font;
        o->font.lfHeight = 0;
        o->font.lfWeight = 400;
        o->font.lfPitchAndFamily = (i == SYSTEM_FONT || i == ANSI_VAR_FONT || i == DEFAULT_GUI_FONT)
                                       ? 2  // variable pitch
                                       : 1; // fixed pitch
        break;
    }
    return o;
}

const std::vector<std::shared_ptr<GdiObject>>& StockObjects() {
    static const std::vector<std::shared_ptr<GdiObject>> stock = [] {
        std::vector<std::shared_ptr<GdiObject>> v;
        for (int i = 0; i <= STOCK_LAST; ++i)
            v.push_back(i == 9 ? nullptr : MakeStock(i)); // 9 is no stock object
        return v;
    }();
    return stock;
}

// The brushes of the system colours: like stock objects, never deleted and
// not counted; their colour follows the system colour they stand for.
constexpr int kSystemColors = 31;

std::shared_ptr<GdiObject>* SystemBrushes() {
    static auto* brushes = new std::shared_ptr<GdiObject>[kSystemColors];
    return brushes;
}

HGDIOBJ StockHandle(int i) {
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<ULONG_PTR>(i) * kStep);
}

int StockIndexOf(HGDIOBJ h) {
    auto v = reinterpret_cast<ULONG_PTR>(h);
    if (v < kStockBase || (v - kStockBase) % kStep) return -1;
    ULONG_PTR i = (v - kStockBase) / kStep;
    if (i > STOCK_LAST) {
        ULONG_PTR colour = i - STOCK_LAST - 1;
        if (colour >= kSystemColors) return -1;
        std::lock_guard lock(GdiLock());
        return SystemBrushes()[colour] ? static_cast<int>(i) : -1;
    }
    if (!StockObjects()[i]) return -1;
    return static_cast<int>(i);
}

COLORREF Rgb(BYTE r, BYTE g, BYTE b) {
    return RGB(r, g, b);
}

std::shared_ptr<GdiObject> NewBrush(const BrushData& b) {
    auto o = std::make_shared<GdiObject>();
    o->kind = ObjectKind::Brush;
    o->brush = b;
    return o;
}

} // namespace

std::recursive_mutex& GdiLock() {
    static std::recursive_mutex m;
    return m;
}

HGDIOBJ AddObject(std::shared_ptr<GdiObject> object) {
    std::lock_guard lock(GdiLock());
    Table& t = Objects();
    t.next += kStep;
    object->handle = t.next;
    t.objects[t.next] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(t.next);
}

std::shared_ptr<GdiObject> FindObject(HGDIOBJ h) {
    if (!h) return nullptr;
    int stock = StockIndexOf(h);
    if (stock > STOCK_LAST) {
        std::lock_guard lock(GdiLock());
        return SystemBrushes()[stock - STOCK_LAST - 1];
    }
    if (stock >= 0) return StockObjects()[static_cast<size_t>(stock)];
    std::lock_guard lock(GdiLock());
    auto it = Objects().objects.find(reinterpret_cast<ULONG_PTR>(h));
    return it == Objects().objects.end() ? nullptr : it->second;
}

std::shared_ptr<GdiObject> FindObject(HGDIOBJ h, ObjectKind kind) {
    auto o = FindObject(h);
    return o && o->kind == kind ? o : nullptr;
}

std::shared_ptr<GdiObject> StockObject(int index) {
    if (index < 0 || index > STOCK_LAST) return nullptr;
    return StockObjects()[static_cast<size_t>(index)];
}

HGDIOBJ HandleOf(const std::shared_ptr<GdiObject>& object) {
    if (!object) return nullptr;
    if (object->stockIndex >= 0) return StockHandle(object->stockIndex);
    return reinterpret_cast<HGDIOBJ>(object->handle);
}

HRGN NewRegion(Region region) {
    auto o = std::make_shared<GdiObject>();
    o->kind = ObjectKind::Region;
    o->region = std::move(region);
    return reinterpret_cast<HRGN>(AddObject(std::move(o)));
}

COLORREF DefaultPaletteColor(size_t i) {
    return i < 20 ? kDefaultPalette[i] : 0;
}

bool ReadPattern(const BYTE* bmi, size_t bmiSize, const BYTE* bits, size_t bitsSize, UINT usage,
                 bool mono, PatternSource* out) {
    // Every header, depth and compression through the one bitmap reader.
    Dib dib;
    if (!ReadDib(bmi, bmiSize, bits, bitsSize, usage, &dib)) return false;
    if (dib.width > kMaxPatternSide || dib.height > kMaxPatternSide ||
        static_cast<long long>(dib.width) * dib.height > kMaxPatternPixels)
        return false;
    int bpp = static_cast<int>(dib.bpp);
    PatternSource p;
    p.width = dib.width;
    p.height = dib.height;
    p.mono = mono && bpp == 1;
    if (bpp <= 8) p.palette = dib.colors;
    p.indices.resize(static_cast<size_t>(dib.width) * static_cast<size_t>(dib.height));
    std::map<COLORREF, BYTE> colours;
    bool quantize = false;
    std::vector<COLORREF> direct(bpp > 8 ? p.indices.size() : 0);
    for (LONG y = 0; y < dib.height; ++y) {
        const BYTE* row = dib.pixels.data() + static_cast<size_t>(y) * dib.Stride();
        for (LONG x = 0; x < dib.width; ++x) {
            size_t at = static_cast<size_t>(y) * static_cast<size_t>(dib.width) + x;
            if (bpp <= 8) {
                size_t bit = static_cast<size_t>(x) * bpp;
                p.indices[at] =
                    static_cast<BYTE>((row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1));
                continue;
            }
            const BYTE* q = row + static_cast<size_t>(x) * (bpp / 8);
            COLORREF c = Rgb(q[2], q[1], q[0]);
            direct[at] = c;
            if (!quantize && !colours.count(c)) {
                if (colours.size() == 256)
                    quantize = true;
                else
                    colours.emplace(c, static_cast<BYTE>(colours.size()));
            }
        }
    }
    if (bpp > 8) {
        if (quantize) {
            // More colours than an index holds: three bits of red and green,
            // two of blue.
            for (int i = 0; i < 256; ++i)
                p.palette.push_back(Rgb(static_cast<BYTE>((i >> 5) * 255 / 7),
                                        static_cast<BYTE>(((i >> 2) & 7) * 255 / 7),
                                        static_cast<BYTE>((i & 3) * 255 / 3)));
            for (size_t i = 0; i < direct.size(); ++i)
                p.indices[i] =
                    static_cast<BYTE>((GetRValue(direct[i]) >> 5) << 5 |
                                      (GetGValue(direct[i]) >> 5) << 2 | GetBValue(direct[i]) >> 6);
        } else {
            p.palette.resize(colours.size());
            for (const auto& [c, i] : colours)
                p.palette[i] = c;
            for (size_t i = 0; i < direct.size(); ++i)
                p.indices[i] = colours[direct[i]];
        }
    }
    if (p.mono) p.palette = {0, 0xFFFFFF};
    *out = std::move(p);
    return true;
}

// Reads a packed DIB (header, colours, bits) whose size is its own.
static bool ReadPackedPattern(const void* dib, UINT usage, PatternSource* out) {
    if (!dib) return false;
    const auto* b = static_cast<const BYTE*>(dib);
    // An info header or a later one (not the oldest), with a depth.
    DibHeader h;
    if (!ReadDibHeaderOnly(reinterpret_cast<const BITMAPINFO*>(b), &h) ||
        h.size < sizeof(BITMAPINFOHEADER) || h.bitCount == 0 || h.bitCount > 32)
        return false;
    size_t entries = 0;
    if (h.bitCount <= 8) {
        entries = size_t{1} << h.bitCount;
        if (h.clrUsed) entries = std::min<size_t>(entries, h.clrUsed);
    }
    size_t entrySize = usage == DIB_RGB_COLORS ? 4 : usage == DIB_PAL_COLORS ? 2 : 0;
    size_t bmiSize = h.size + entries * entrySize;
    long long height = h.height < 0 ? -static_cast<long long>(h.height) : h.height;
    long long stride = (static_cast<long long>(h.width) * h.bitCount + 31) / 32 * 4;
    if (h.width <= 0 || height <= 0 || height > kMaxPatternSide || h.width > kMaxPatternSide)
        return false;
    return ReadPattern(b, bmiSize, b + bmiSize, static_cast<size_t>(stride * height), usage, false,
                       out);
}

std::shared_ptr<GdiObject> MakeExtPen(DWORD style, DWORD width, const BrushData& brush,
                                      const DWORD* entries, DWORD count) {
    DWORD type = style & PS_TYPE_MASK, kind = style & PS_STYLE_MASK;
    bool ok = type == PS_COSMETIC || type == PS_GEOMETRIC;
    if (kind > PS_ALTERNATE || (kind == PS_ALTERNATE && type != PS_COSMETIC) ||
        (kind == PS_INSIDEFRAME && type != PS_GEOMETRIC))
        ok = false;
    if (type == PS_COSMETIC && brush.style != BS_SOLID) ok = false;
    if ((style & PS_ENDCAP_MASK) > PS_ENDCAP_FLAT || (style & PS_JOIN_MASK) > PS_JOIN_MITER)
        ok = false;
    if (kind == PS_USERSTYLE) {
        if (count == 0 || count > 16 || !entries) ok = false;
    } else if (count != 0) {
        ok = false;
    }
    if (!ok) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto o = std::make_shared<GdiObject>();
    o->kind = ObjectKind::Pen;
    o->pen.style = style;
    o->pen.width = type == PS_COSMETIC ? 1 : width;
    o->pen.color = brush.color;
    o->pen.extended = true;
    o->pen.brush = brush;
    if (kind == PS_USERSTYLE) o->pen.userStyle.assign(entries, entries + count);
    return o;
}

} // namespace platform::gdi

using namespace platform::gdi;

namespace platform {

HBRUSH SystemColorBrush(int index, COLORREF color) {
    if (index < 0 || index >= kSystemColors) return nullptr;
    std::lock_guard lock(GdiLock());
    auto& brush = SystemBrushes()[index];
    if (!brush) {
        auto o = std::make_shared<GdiObject>();
        o->kind = ObjectKind::Brush;
        o->stockIndex = STOCK_LAST + 1 + index;
        brush = std::move(o);
    }
    brush->brush.style = BS_SOLID;
    brush->brush.color = color & 0xFFFFFF;
    return reinterpret_cast<HBRUSH>(StockHandle(brush->stockIndex));
}

} // namespace platform

namespace platform::test {

long LiveGdiObjects() {
    std::lock_guard lock(GdiLock());
    return static_cast<long>(Objects().objects.size());
}

} // namespace platform::test

extern "C" {

HGDIOBJ WINAPI GetStockObject(int i) {
    return StockObject(i) ? StockHandle(i) : nullptr;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
    auto o = FindObject(h);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->kind) {
    case ObjectKind::Pen:
        return o->pen.extended ? OBJ_EXTPEN : OBJ_PEN;
    case ObjectKind::Brush:
        return OBJ_BRUSH;
    case ObjectKind::Font:
        return OBJ_FONT;
    case ObjectKind::Palette:
        return OBJ_PAL;
    case ObjectKind::Region:
        return OBJ_REGION;
    case ObjectKind::Bitmap:
        return OBJ_BITMAP;
    }
    return 0;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    if (StockIndexOf(ho) >= 0) return TRUE;
    std::shared_ptr<GdiObject> gone;
    std::lock_guard lock(GdiLock());
    auto it = Objects().objects.find(reinterpret_cast<ULONG_PTR>(ho));
    if (!ho || it == Objects().objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    gone = std::move(it->second);
    Objects().objects.erase(it);
    return TRUE;
}

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    PLATFORM_FAULT_POINT("CreatePen", nullptr);
    if (iStyle < PS_SOLID || iStyle > PS_INSIDEFRAME) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto o = std::make_shared<GdiObject>();
    o->kind = ObjectKind::Pen;
    o->pen.style = static_cast<DWORD>(iStyle);
    o->pen.width = static_cast<DWORD>(cWidth < 0 ? -static_cast<long long>(cWidth) : cWidth);
    o->pen.color = color;
    o->pen.brush.color = color;
    return reinterpret_cast<HPEN>(AddObject(std::move(o)));
}

HPEN WINAPI CreatePenIndirect(const LOGPEN* plpen) {
    PLATFORM_FAULT_POINT("CreatePenIndirect", nullptr);
    if (!plpen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreatePen(static_cast<int>(plpen->lopnStyle), plpen->lopnWidth.x, plpen->lopnColor);
}

HPEN WINAPI ExtCreatePen(DWORD iPenStyle, DWORD cWidth, const LOGBRUSH* plbrush, DWORD cStyle,
                         const DWORD* pstyle) {
    PLATFORM_FAULT_POINT("ExtCreatePen", nullptr);
    if (!plbrush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    BrushData brush;
    brush.style = plbrush->lbStyle;
    brush.color = plbrush->lbColor;
    brush.hatch = static_cast<ULONG>(plbrush->lbHatch);
    if (brush.style == BS_DIBPATTERNPT) {
        PatternSource p;
        if (!ReadPackedPattern(reinterpret_cast<const void*>(plbrush->lbHatch), plbrush->lbColor,
                               &p)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        brush.pattern = std::make_shared<PatternSource>(std::move(p));
    } else if (brush.style != BS_SOLID && brush.style != BS_NULL &&
               !(brush.style == BS_HATCHED && brush.hatch <= HS_DIAGCROSS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto o = MakeExtPen(iPenStyle, cWidth, brush, pstyle, cStyle);
    return o ? reinterpret_cast<HPEN>(AddObject(std::move(o))) : nullptr;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    PLATFORM_FAULT_POINT("CreateSolidBrush", nullptr);
    BrushData b;
    b.color = color;
    return reinterpret_cast<HBRUSH>(AddObject(NewBrush(b)));
}

HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color) {
    PLATFORM_FAULT_POINT("CreateHatchBrush", nullptr);
    if (iHatch < HS_HORIZONTAL || iHatch > HS_DIAGCROSS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    BrushData b;
    b.style = BS_HATCHED;
    b.color = color;
    b.hatch = static_cast<ULONG>(iHatch);
    return reinterpret_cast<HBRUSH>(AddObject(NewBrush(b)));
}

HBRUSH WINAPI CreateDIBPatternBrushPt(const VOID* lpPackedDIB, UINT iUsage) {
    PLATFORM_FAULT_POINT("CreateDIBPatternBrushPt", nullptr);
    PatternSource p;
    if (iUsage > DIB_PAL_INDICES || !ReadPackedPattern(lpPackedDIB, iUsage, &p)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    BrushData b;
    b.style = BS_DIBPATTERNPT;
    b.pattern = std::make_shared<PatternSource>(std::move(p));
    return reinterpret_cast<HBRUSH>(AddObject(NewBrush(b)));
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush) {
    PLATFORM_FAULT_POINT("CreateBrushIndirect", nullptr);
    if (!plbrush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    switch (plbrush->lbStyle) {
    case BS_SOLID:
        return CreateSolidBrush(plbrush->lbColor);
    case BS_NULL:
        return reinterpret_cast<HBRUSH>(AddObject(NewBrush(BrushData{BS_NULL})));
    case BS_HATCHED:
        return CreateHatchBrush(static_cast<int>(plbrush->lbHatch), plbrush->lbColor);
    case BS_DIBPATTERNPT:
        return CreateDIBPatternBrushPt(reinterpret_cast<const void*>(plbrush->lbHatch),
                                       plbrush->lbColor);
    default:
        // Bitmap-handle patterns need bitmaps, which this GDI does not have yet.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}
}
