#include "emf_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <string>

#include "emf_job.h"
#include "font_download.h"
#include "mix_rop.h"
#include "pdev.h"
#include "vector_pattern.h"
#include "win/base.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"
#include "win/gdi_text.h"

namespace inkforge {

DWORD MinimumPenWidth(WORD layoutScale) {
    if (layoutScale == 0 || layoutScale >= kFullScale) return 1;
    return (kFullScale + layoutScale - 1) / layoutScale;
}

LONG StretchSliceRows(WORD layoutScale, LONG width) {
    // The bytes of a 24-bit slice the spool side stretches at once, and the
    // scale grown by the margin the layouts take off.
    constexpr LONGLONG kSliceBudget = 1000000000, kBytesPerPixel = 3, kScaleMargin = 2;
    const LONGLONG scale = layoutScale + kScaleMargin;
    LONGLONG rows =
        kSliceBudget / scale / std::max<LONG>(1, width) / kBytesPerPixel * kFullScale / scale;
    return static_cast<LONG>(std::clamp<LONGLONG>(rows, 1, std::numeric_limits<LONG>::max()));
}

void RecorderState::Reset() {
    selected[static_cast<int>(ObjectKind::Pen)] = kStockBlackPen;
    selected[static_cast<int>(ObjectKind::Brush)] = 0;
    selected[static_cast<int>(ObjectKind::Font)] = kStockDeviceDefaultFont;
    textColor = 0;
    backgroundColor = 0xFFFFFF;
    backgroundMode = OPAQUE;
    rop2 = R2_COPYPEN;
    polyFillMode = ALTERNATE;
    stretchMode = 1;
    graphicsMode = 1;
    textAlign = 0;
    miterLimit = 10.0f;
    transform = XFORM{1, 0, 0, 1, 0, 0};
    clipped = false;
    clip.clear();
    highest = 0;
    freeIndexes.clear();
}

} // namespace inkforge

namespace inkforge {
namespace {

constexpr DWORD kRgnCopy = 5; // RGN_COPY
constexpr DWORD kBrushSolid = 0;
constexpr DWORD kPenGeometric = 0x00010000;
constexpr DWORD kPenUserStyle = 7;
constexpr DWORD kRegionHeaderSize = 32;
constexpr DWORD kRegionRectangles = 1;
constexpr DWORD kDibColors = 0; // DIB_RGB_COLORS
constexpr ULONG kPatternBrush = 0xFFFFFFFF;
// A stretch mode outside 1 to 4 plays as deleting scans (3).
constexpr DWORD kStretchDeleteScans = 3;

constexpr BYTE kRopDestination = 0xAA;
constexpr BYTE kSrcCopy = 0xCC;
constexpr BYTE kPatCopy = 0xF0;

// A record being laid out: type, size (set when written), fields. Room for
// a typical record is taken at once: a page records thousands, each laid out
// a field at a time.
class Record {
  public:
    explicit Record(DWORD type) {
        bytes_.reserve(kTypicalSize);
        Put(type), Put(DWORD{0});
    }
    template <class T> Record& Put(const T& v) { return Bytes(&v, sizeof v); }
    Record& Bytes(const void* data, size_t n) {
        if (!n) return *this;
        const size_t at = bytes_.size();
        bytes_.resize(at + n);
        std::memcpy(bytes_.data() + at, data, n);
        return *this;
    }
    size_t size() const { return bytes_.size(); }
    void PutAt(size_t at, DWORD v) { std::memcpy(bytes_.data() + at, &v, sizeof v); }
    BOOL Write(PDEV* pdev) {
        bytes_.resize((bytes_.size() + 3) / 4 * 4, 0);
        PutAt(4, static_cast<DWORD>(bytes_.size()));
        return WriteEmfData(pdev, bytes_.data(), bytes_.size(), true);
    }

  private:
    static constexpr size_t kTypicalSize = 128;
    std::vector<BYTE> bytes_;
};

RecorderState& State(PDEV* pdev) {
    return pdev->emfJob->recorder;
}

RECTL PageBounds(PDEV* pdev) {
    const auto& g = pdev->emfJob->geometry;
    return RECTL{0, 0, g.width, g.height};
}

BOOL Value(PDEV* pdev, DWORD type, DWORD v) {
    return Record(type).Put(v).Write(pdev);
}

// Each mode goes out only when it changes.
BOOL SetMode(PDEV* pdev, DWORD* current, DWORD type, DWORD v) {
    if (*current == v) return TRUE;
    *current = v;
    return Value(pdev, type, v);
}

DWORD NewObject(RecorderState& s) {
    if (!s.freeIndexes.empty()) {
        DWORD i = s.freeIndexes.back();
        s.freeIndexes.pop_back();
        return i;
    }
    return ++s.highest;
}

BOOL DeleteObject(PDEV* pdev, DWORD index) {
    State(pdev).freeIndexes.push_back(index);
    return Value(pdev, EMR_DELETEOBJECT, index);
}

// Selects an object and answers the one it replaced.
DWORD Select(PDEV* pdev, ObjectKind kind, DWORD index) {
    DWORD& slot = State(pdev).selected[static_cast<int>(kind)];
    DWORD previous = slot;
    slot = index;
    Value(pdev, EMR_SELECTOBJECT, index);
    return previous;
}

// An object made for one call: created and selected, then the previous one
// selected again and the object deleted.
class TemporaryObject {
  public:
    TemporaryObject(PDEV* pdev, ObjectKind kind) : pdev_(pdev), kind_(kind) {}
    ~TemporaryObject() {
        if (!index_) return;
        if (previous_) Select(pdev_, kind_, previous_);
        DeleteObject(pdev_, index_);
    }
    DWORD Create() { return index_ = NewObject(State(pdev_)); }
    void Use() { previous_ = Select(pdev_, kind_, index_); }

  private:
    PDEV* pdev_;
    ObjectKind kind_;
    DWORD index_ = 0;
    DWORD previous_ = 0;
};

BOOL CreateSolidBrush(PDEV* pdev, TemporaryObject* brush, COLORREF color,
                      DWORD style = kBrushSolid) {
    DWORD index = brush->Create();
    BOOL ok = Record(EMR_CREATEBRUSHINDIRECT)
                  .Put(index)
                  .Put(style)
                  .Put(color & 0xFFFFFF)
                  .Put(DWORD{0})
                  .Write(pdev);
    brush->Use();
    return ok;
}

// What a brush is on the page: a solid colour, a hatch (its lines in one
// colour, the gaps in the background colour), or a pattern of pixels.
struct BrushForm {
    enum Kind { Solid, Hatch, Pattern } kind = Solid;
    COLORREF color = 0, background = 0xFFFFFF;
    DWORD hatch = 0;
    const RealizedBrush* pattern = nullptr;
};

bool ValidRealization(const RealizedBrush* b) {
    // The realizations this driver makes: indexed 1, 4 or 8 bits, or RGB.
    if (b->format != kPattern1 && b->format != kPattern4 && b->format != kPattern8 &&
        b->format != kPattern24)
        return false;
    DWORD bpp = PatternBitsPerPixel(b->format);
    if (!bpp || b->width < 1 || b->height < 1 || b->width > 0xFFFF || b->height > 0xFFFF)
        return false;
    if (static_cast<ULONGLONG>(PatternRowBytes(b)) * b->height > b->bitsSize) return false;
    if (b->format != kPattern24 &&
        (b->colorCount > kMaxPatternColors || b->colorTableOffset < sizeof *b + b->bitsSize))
        return false;
    return true;
}

// False for a brush the page cannot carry (no realization): the engine draws.
bool DescribeBrush(BRUSHOBJ* pbo, BrushForm* form) {
    if (!pbo) return false;
    if (pbo->iSolidColor != kPatternBrush) {
        form->kind = BrushForm::Solid;
        form->color = pbo->iSolidColor & 0xFFFFFF;
        return true;
    }
    const auto* b = static_cast<const RealizedBrush*>(BRUSHOBJ_pvGetRbrush(pbo));
    if (!b || !ValidRealization(b)) return false;
    if (b->uniform) {
        form->kind = BrushForm::Solid;
        form->color = b->uniformColor & 0xFFFFFF;
        return true;
    }
    if (b->kind < HS_DDI_MAX && b->format == kPattern1 && b->colorCount >= 2) {
        // The engine's hatch: 0 bits are the lines, 1 bits the gaps.
        form->kind = BrushForm::Hatch;
        form->hatch = b->kind;
        form->color = PatternColors(b)[0] & 0xFFFFFF;
        form->background = PatternColors(b)[1] & 0xFFFFFF;
        return true;
    }
    form->kind = BrushForm::Pattern;
    form->pattern = b;
    return true;
}

// The realized pattern as a bottom-up device-independent bitmap: indexed
// patterns keep their bits and colour table, others become 24-bit pixels.
void PatternBitmap(const RealizedBrush* b, std::vector<BYTE>* info, std::vector<BYTE>* bits) {
    const bool indexed = b->format != kPattern24;
    const DWORD bpp = indexed ? PatternBitsPerPixel(b->format) : 24;
    const size_t stride = (static_cast<size_t>(b->width) * bpp + 31) / 32 * 4;
    const size_t srcRow = PatternRowBytes(b);
    bits->assign(stride * b->height, 0);
    for (DWORD y = 0; y < b->height; ++y) {
        BYTE* out = bits->data() + static_cast<size_t>(b->height - 1 - y) * stride;
        if (indexed) {
            std::memcpy(out, PatternBits(b) + y * srcRow, std::min(srcRow, stride));
            continue;
        }
        for (DWORD x = 0; x < b->width; ++x) {
            ULONG c = PatternPixel(b, x, y);
            out[3 * x] = static_cast<BYTE>(c >> 16);
            out[3 * x + 1] = static_cast<BYTE>(c >> 8);
            out[3 * x + 2] = static_cast<BYTE>(c);
        }
    }
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = static_cast<LONG>(b->width);
    bih.biHeight = static_cast<LONG>(b->height);
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(bpp);
    bih.biSizeImage = static_cast<DWORD>(bits->size());
    const DWORD colors = indexed ? std::min<DWORD>(b->colorCount, 1u << bpp) : 0;
    bih.biClrUsed = colors;
    const auto* p = reinterpret_cast<const BYTE*>(&bih);
    info->assign(p, p + sizeof bih);
    for (DWORD i = 0; i < colors; ++i) {
        ULONG c = PatternColors(b)[i];
        RGBQUAD q{static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c), 0};
        const auto* qp = reinterpret_cast<const BYTE*>(&q);
        info->insert(info->end(), qp, qp + sizeof q);
    }
}

// Creates and selects the brush of a fill. A hatch's gaps take the
// background colour where the background is opaque.
BOOL CreateBrush(PDEV* pdev, TemporaryObject* brush, const BrushForm& form) {
    switch (form.kind) {
    case BrushForm::Solid:
        return CreateSolidBrush(pdev, brush, form.color);
    case BrushForm::Hatch: {
        RecorderState& s = State(pdev);
        SetMode(pdev, &s.backgroundColor, EMR_SETBKCOLOR, form.background);
        DWORD index = brush->Create();
        BOOL ok = Record(EMR_CREATEBRUSHINDIRECT)
                      .Put(index)
                      .Put(DWORD{BS_HATCHED})
                      .Put(form.color)
                      .Put(form.hatch)
                      .Write(pdev);
        brush->Use();
        return ok;
    }
    case BrushForm::Pattern:
        break;
    }
    std::vector<BYTE> info, bits;
    PatternBitmap(form.pattern, &info, &bits);
    constexpr DWORD kFixed = 32;
    DWORD index = brush->Create();
    Record r(EMR_CREATEDIBPATTERNBRUSHPT);
    r.Put(index).Put(kDibColors).Put(kFixed).Put(static_cast<DWORD>(info.size()));
    r.Put(static_cast<DWORD>(kFixed + info.size())).Put(static_cast<DWORD>(bits.size()));
    r.Bytes(info.data(), info.size()).Bytes(bits.data(), bits.size());
    BOOL ok = r.Write(pdev);
    brush->Use();
    return ok;
}

LONG Round(FIX v) {
    return static_cast<LONG>((v + 8) >> 4);
}

FLOAT Scale(XFORMOBJ* pxo) {
    XFORML x{};
    if (!pxo || XFORMOBJ_iGetXform(pxo, &x) == 0xFFFFFFFF) return 1.0f;
    double det =
        std::fabs(static_cast<double>(x.eM11) * x.eM22 - static_cast<double>(x.eM12) * x.eM21);
    return static_cast<FLOAT>(std::sqrt(det));
}

// A cosmetic style entry is a unit of the style grid: resolution / 25
// pixels (24 at 600 dpi), so that dashes keep their length on paper.
DWORD CosmeticStyleUnit(LONG resolution) {
    constexpr LONG kStyleGrid = 25;
    return static_cast<DWORD>(std::max<LONG>(1, resolution / kStyleGrid));
}

// The pen of a stroke. minimumWidth: the narrowest it is recorded, in
// pixels. A hatch brush makes a geometric pen of that hatch; a cosmetic
// line is drawn with solid colour only (the caller refuses the others).
BOOL CreatePen(PDEV* pdev, TemporaryObject* pen, const LINEATTRS* la, XFORMOBJ* pxo,
               const BrushForm& brush, DWORD minimumWidth = 1) {
    DWORD style = 0, width = 0;
    std::vector<DWORD> entries;
    auto atLeastOne = [](double v) { return static_cast<DWORD>(std::max(1L, std::lround(v))); };
    if (la && (la->fl & LA_GEOMETRIC)) {
        FLOAT scale = Scale(pxo);
        style = kPenGeometric;
        style |= la->iJoin == JOIN_BEVEL ? 0x1000 : la->iJoin == JOIN_MITER ? 0x2000 : 0;
        style |= la->iEndCap == ENDCAP_SQUARE ? 0x100 : la->iEndCap == ENDCAP_BUTT ? 0x200 : 0;
        width = std::max(minimumWidth, atLeastOne(static_cast<double>(la->elWidth.e) * scale));
        if (la->cstyle && la->pstyle) {
            style |= kPenUserStyle;
            for (ULONG i = 0; i < la->cstyle; ++i)
                entries.push_back(atLeastOne(static_cast<double>(la->pstyle[i].e) * scale));
        }
    } else if (la && la->cstyle && la->pstyle) {
        style = kPenGeometric | kPenUserStyle;
        width = minimumWidth;
        const DWORD unit = CosmeticStyleUnit(pdev->resolution);
        for (ULONG i = 0; i < la->cstyle; ++i)
            entries.push_back(
                std::max<DWORD>(1, static_cast<DWORD>(std::max<LONG>(0, la->pstyle[i].l)) * unit));
    } else {
        // A plain line: a solid pen at least a pixel wide.
        DWORD index = pen->Create();
        BOOL ok = Record(EMR_CREATEPEN)
                      .Put(index)
                      .Put(DWORD{PS_SOLID})
                      .Put(POINTL{static_cast<LONG>(std::max<DWORD>(1, minimumWidth)), 0})
                      .Put(brush.color & 0xFFFFFF)
                      .Write(pdev);
        pen->Use();
        return ok;
    }
    const bool hatched = brush.kind == BrushForm::Hatch;
    DWORD index = pen->Create();
    Record r(EMR_EXTCREATEPEN);
    r.Put(index);
    // No bitmap: offsets and sizes 0.
    for (int i = 0; i < 4; ++i)
        r.Put(DWORD{0});
    r.Put(style).Put(width).Put(DWORD{hatched ? BS_HATCHED : kBrushSolid});
    r.Put(brush.color & 0xFFFFFF).Put(DWORD{hatched ? brush.hatch : 0});
    r.Put(static_cast<DWORD>(entries.size()));
    for (DWORD e : entries)
        r.Put(e);
    // The fixed part keeps room for one style entry.
    if (entries.empty()) r.Put(DWORD{0});
    BOOL ok = r.Write(pdev);
    pen->Use();
    return ok;
}

BOOL SetRop2(PDEV* pdev, MIX mix) {
    DWORD rop2 = mix & 0xF;
    return SetMode(pdev, &State(pdev).rop2, EMR_SETROP2, rop2 ? rop2 : 16);
}

// The two-operand raster operation and background mode of a mix.
BOOL SetMix(PDEV* pdev, MIX mix) {
    RecorderState& s = State(pdev);
    BOOL ok = SetRop2(pdev, mix);
    bool transparent = kMixRop[(mix >> 8) & 0xF] == kRopDestination;
    return SetMode(pdev, &s.backgroundMode, EMR_SETBKMODE, transparent ? TRANSPARENT : OPAQUE) &&
           ok;
}

// Lines or curves to the points; as 16-bit points, half the size, when
// every point fits (on any page of a printer's size it does).
BOOL WritePoints(PDEV* pdev, bool beziers, const std::vector<POINTL>& pts) {
    auto fits = [](LONG v) {
        return v >= std::numeric_limits<SHORT>::min() && v <= std::numeric_limits<SHORT>::max();
    };
    bool small = std::all_of(pts.begin(), pts.end(),
                             [&](const POINTL& p) { return fits(p.x) && fits(p.y); });
    DWORD type = small ? (beziers ? EMR_POLYBEZIERTO16 : EMR_POLYLINETO16)
                       : (beziers ? EMR_POLYBEZIERTO : EMR_POLYLINETO);
    Record r(type);
    r.Put(PageBounds(pdev)).Put(static_cast<DWORD>(pts.size()));
    if (!small) return r.Bytes(pts.data(), pts.size() * sizeof(POINTL)).Write(pdev);
    for (const POINTL& p : pts)
        r.Put(POINTS{static_cast<SHORT>(p.x), static_cast<SHORT>(p.y)});
    return r.Write(pdev);
}

// The path as records between begin path and end path.
BOOL RecordPath(PDEV* pdev, PATHOBJ* ppo) {
    BOOL ok = Record(EMR_BEGINPATH).Write(pdev);
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd{};
    BOOL more = TRUE;
    while (more && ok) {
        more = PATHOBJ_bEnum(ppo, &pd);
        if (!pd.count || !pd.pptfx) continue;
        ULONG first = 0;
        if (pd.flags & PD_BEGINSUBPATH) {
            ok = Record(EMR_MOVETOEX)
                     .Put(Round(pd.pptfx[0].x))
                     .Put(Round(pd.pptfx[0].y))
                     .Write(pdev);
            first = 1;
        }
        if (pd.count > first) {
            std::vector<POINTL> pts;
            for (ULONG i = first; i < pd.count; ++i)
                pts.push_back(POINTL{Round(pd.pptfx[i].x), Round(pd.pptfx[i].y)});
            if (!(pd.flags & PD_BEZIERS) && pts.size() == 1) {
                ok = ok && Record(EMR_LINETO).Put(pts[0].x).Put(pts[0].y).Write(pdev);
            } else {
                ok = ok && WritePoints(pdev, (pd.flags & PD_BEZIERS) != 0, pts);
            }
        }
        if ((pd.flags & PD_ENDSUBPATH) && (pd.flags & PD_CLOSEFIGURE))
            ok = ok && Record(EMR_CLOSEFIGURE).Write(pdev);
    }
    return ok && Record(EMR_ENDPATH).Write(pdev);
}

BOOL PaintPath(PDEV* pdev, DWORD type) {
    return Record(type).Put(PageBounds(pdev)).Write(pdev);
}

BOOL SetFillMode(PDEV* pdev, FLONG options) {
    return SetMode(pdev, &State(pdev).polyFillMode, EMR_SETPOLYFILLMODE,
                   (options & FP_WINDINGMODE) ? WINDING : ALTERNATE);
}

BOOL SetMiterLimit(PDEV* pdev, const LINEATTRS* la) {
    if (!la || !(la->fl & LA_GEOMETRIC) || la->iJoin != JOIN_MITER) return TRUE;
    RecorderState& s = State(pdev);
    FLOAT limit = la->eMiterLimit;
    if (limit == s.miterLimit) return TRUE;
    s.miterLimit = limit;
    return Value(pdev, EMR_SETMITERLIMIT, static_cast<DWORD>(limit));
}

// A path of one figure of four corners (the fifth point, when given, back
// at the first) whose edges run along the axes by turns: a frame.
bool IsAxisParallelRectangle(PATHOBJ* ppo) {
    constexpr size_t kCorners = 4;
    std::vector<POINTFIX> pts;
    int figures = 0;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd{};
    BOOL more = TRUE;
    while (more) {
        more = PATHOBJ_bEnum(ppo, &pd);
        if (!pd.count || !pd.pptfx) continue;
        if ((pd.flags & PD_BEZIERS) || ((pd.flags & PD_BEGINSUBPATH) && ++figures > 1))
            return false;
        pts.insert(pts.end(), pd.pptfx, pd.pptfx + pd.count);
        if (pts.size() > kCorners + 1) return false;
    }
    if (pts.size() == kCorners + 1) {
        if (pts.back().x != pts.front().x || pts.back().y != pts.front().y) return false;
        pts.pop_back();
    }
    if (pts.size() != kCorners) return false;
    for (size_t i = 0; i < kCorners; ++i) {
        const POINTFIX &a = pts[i], &b = pts[(i + 1) % kCorners], &c = pts[(i + 2) % kCorners];
        bool across = a.y == b.y && a.x != b.x, down = a.x == b.x && a.y != b.y;
        bool nextAcross = b.y == c.y && b.x != c.x;
        if (!(across || down) || across == nextAcross) return false;
    }
    return true;
}

// The pen of a stroked path: a frame keeps a pen wide enough to stay one
// pixel wide when the layout shrinks the page.
DWORD StrokeMinimumWidth(PDEV* pdev, PATHOBJ* ppo) {
    WORD scale = pdev->emfJob->layoutScale;
    return scale < kFullScale && IsAxisParallelRectangle(ppo) ? MinimumPenWidth(scale) : 1;
}

bool Solid(const BRUSHOBJ* pbo) {
    return pbo && pbo->iSolidColor != kPatternBrush;
}

// Calls that record nothing keep the thread's last error as it was.
class KeepLastError {
  public:
    KeepLastError() : error_(GetLastError()) {}
    ~KeepLastError() { SetLastError(error_); }

  private:
    DWORD error_;
};

} // namespace

void RecordClipRect(PDEV* pdev, const RECTL* clip) {
    // Reset, then the rectangle (right and bottom exclusive, as the clip's).
    Record(EMR_EXTSELECTCLIPRGN).Put(DWORD{0}).Put(kRgnCopy).Write(pdev);
    if (clip) Record(EMR_INTERSECTCLIPRECT).Put(*clip).Write(pdev);
}

void RecordClip(PDEV* pdev, CLIPOBJ* pco) {
    RecorderState& s = State(pdev);
    std::vector<RECTL> rects;
    if (pco && pco->iDComplexity == DC_RECT) {
        rects.push_back(pco->rclBounds);
    } else if (pco && pco->iDComplexity == DC_COMPLEX) {
        CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
        struct {
            ULONG c;
            RECTL arcl[32];
        } batch;
        BOOL more = TRUE;
        while (more) {
            more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
            for (ULONG i = 0; i < batch.c && i < 32; ++i)
                rects.push_back(batch.arcl[i]);
        }
    }
    bool clipped = !rects.empty() || (pco && pco->iDComplexity != DC_TRIVIAL);
    if (clipped == s.clipped && rects.size() == s.clip.size() &&
        (rects.empty() ||
         std::memcmp(rects.data(), s.clip.data(), rects.size() * sizeof(RECTL)) == 0))
        return;
    s.clipped = clipped;
    s.clip = rects;
    if (rects.size() <= 1) {
        // A clip of no rectangle at all lets nothing through.
        const RECTL nothing{0, 0, 0, 0};
        RecordClipRect(pdev, !rects.empty() ? &rects[0] : clipped ? &nothing : nullptr);
        return;
    }
    RECTL bound = rects[0];
    for (const RECTL& r : rects) {
        bound.left = std::min(bound.left, r.left);
        bound.top = std::min(bound.top, r.top);
        bound.right = std::max(bound.right, r.right);
        bound.bottom = std::max(bound.bottom, r.bottom);
    }
    DWORD dataSize = kRegionHeaderSize + static_cast<DWORD>(rects.size() * sizeof(RECTL));
    Record r(EMR_EXTSELECTCLIPRGN);
    r.Put(dataSize).Put(kRgnCopy);
    r.Put(kRegionHeaderSize).Put(kRegionRectangles).Put(static_cast<DWORD>(rects.size()));
    r.Put(static_cast<DWORD>(rects.size() * sizeof(RECTL))).Put(bound);
    r.Bytes(rects.data(), rects.size() * sizeof(RECTL));
    r.Write(pdev);
}

// A stroke's brush: a solid colour, or a hatch for a geometric line; other
// patterns (and hatched cosmetic lines) are the engine's to draw.
bool StrokeBrush(BRUSHOBJ* pbo, const LINEATTRS* la, BrushForm* form) {
    if (!DescribeBrush(pbo, form)) return false;
    if (form->kind == BrushForm::Solid) return true;
    return form->kind == BrushForm::Hatch && la && (la->fl & LA_GEOMETRIC);
}

BOOL RecordStrokePath(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                      LINEATTRS* la, MIX mix) {
    KeepLastError keep;
    BrushForm stroke;
    if (!ppo || !StrokeBrush(pbo, la, &stroke)) return FALSE; // the engine draws
    RecordClip(pdev, pco);
    SetMix(pdev, mix);
    SetMiterLimit(pdev, la);
    if (stroke.kind == BrushForm::Hatch)
        SetMode(pdev, &State(pdev).backgroundColor, EMR_SETBKCOLOR, stroke.background);
    TemporaryObject pen(pdev, ObjectKind::Pen);
    CreatePen(pdev, &pen, la, pxo, stroke, StrokeMinimumWidth(pdev, ppo));
    RecordPath(pdev, ppo);
    PaintPath(pdev, EMR_STROKEPATH);
    return TRUE;
}

BOOL RecordFillPath(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, MIX mix,
                    FLONG flOptions) {
    KeepLastError keep;
    BrushForm fill;
    if (!ppo || !DescribeBrush(pbo, &fill)) return FALSE;
    RecordClip(pdev, pco);
    SetMix(pdev, mix);
    SetFillMode(pdev, flOptions);
    TemporaryObject brush(pdev, ObjectKind::Brush);
    CreateBrush(pdev, &brush, fill);
    RecordPath(pdev, ppo);
    PaintPath(pdev, EMR_FILLPATH);
    return TRUE;
}

BOOL RecordStrokeAndFillPath(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                             BRUSHOBJ* pboStroke, LINEATTRS* la, BRUSHOBJ* pboFill, MIX mix,
                             FLONG flOptions) {
    KeepLastError keep;
    BrushForm stroke, fill;
    if (!ppo || !StrokeBrush(pboStroke, la, &stroke) || !DescribeBrush(pboFill, &fill))
        return FALSE;
    // One background colour serves both hatches; two different ones cannot.
    if (stroke.kind == BrushForm::Hatch && fill.kind == BrushForm::Hatch &&
        stroke.background != fill.background)
        return FALSE;
    RecordClip(pdev, pco);
    SetMix(pdev, mix);
    SetFillMode(pdev, flOptions);
    SetMiterLimit(pdev, la);
    TemporaryObject brush(pdev, ObjectKind::Brush);
    CreateBrush(pdev, &brush, fill);
    if (stroke.kind == BrushForm::Hatch)
        SetMode(pdev, &State(pdev).backgroundColor, EMR_SETBKCOLOR, stroke.background);
    TemporaryObject pen(pdev, ObjectKind::Pen);
    CreatePen(pdev, &pen, la, pxo, stroke, StrokeMinimumWidth(pdev, ppo));
    RecordPath(pdev, ppo);
    PaintPath(pdev, EMR_STROKEANDFILLPATH);
    return TRUE;
}

BOOL RecordLineTo(PDEV* pdev, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                  MIX mix) {
    // A line with a pattern brush is the engine's to draw.
    if (!Solid(pbo)) return FALSE;
    KeepLastError keep;
    RecorderState& s = State(pdev);
    SetMode(pdev, &s.backgroundMode, EMR_SETBKMODE, OPAQUE);
    RecordClip(pdev, pco);
    SetRop2(pdev, mix);
    BrushForm line;
    line.color = pbo->iSolidColor & 0xFFFFFF;
    TemporaryObject brush(pdev, ObjectKind::Brush);
    CreateSolidBrush(pdev, &brush, line.color, BS_NULL);
    TemporaryObject pen(pdev, ObjectKind::Pen);
    CreatePen(pdev, &pen, nullptr, nullptr, line);
    Record(EMR_MOVETOEX).Put(x1).Put(y1).Write(pdev);
    Record(EMR_LINETO).Put(x2).Put(y2).Write(pdev);
    return TRUE;
}

} // namespace inkforge

namespace inkforge {
namespace {

constexpr size_t kStretchDibitsFixed = 80;
constexpr size_t kTransparentBltFixed = 108;
constexpr size_t kVertexSize = 16;
constexpr size_t kTriangleSize = 12;

// The low words of the published ternary raster operation codes, by
// operation index: each encodes the operation's reverse-Polish form, which
// players use to carry the operation out.
constexpr WORD kRopLowWords[256] = {
    0x0042, 0x0289, 0x0C89, 0x00AA, 0x0C88, 0x00A9, 0x0865, 0x02C5, 0x0F08, 0x0245, 0x0329, 0x0B2A,
    0x0324, 0x0B25, 0x08A5, 0x0001, 0x0C85, 0x00A6, 0x0868, 0x02C8, 0x0869, 0x02C9, 0x5CCA, 0x1D54,
    0x0D59, 0x1CC8, 0x06C5, 0x0768, 0x06CA, 0x0766, 0x01A5, 0x0385, 0x0F09, 0x0248, 0x0326, 0x0B24,
    0x0D55, 0x1CC5, 0x06C8, 0x1868, 0x0369, 0x16CA, 0x0CC9, 0x1D58, 0x0784, 0x060A, 0x064A, 0x0E2A,
    0x032A, 0x0B28, 0x0688, 0x0008, 0x06C4, 0x1864, 0x01A8, 0x0388, 0x078A, 0x0604, 0x0644, 0x0E24,
    0x004A, 0x18A4, 0x1B24, 0x00EA, 0x0F0A, 0x0249, 0x0D5D, 0x1CC4, 0x0328, 0x0B29, 0x06C6, 0x076A,
    0x0368, 0x16C5, 0x0789, 0x0605, 0x0CC8, 0x1954, 0x0645, 0x0E25, 0x0325, 0x0B26, 0x06C9, 0x0764,
    0x08A9, 0x0009, 0x01A9, 0x0389, 0x0785, 0x0609, 0x0049, 0x18A9, 0x0649, 0x0E29, 0x1B29, 0x00E9,
    0x0365, 0x16C6, 0x0786, 0x0608, 0x0788, 0x0606, 0x0046, 0x18A8, 0x58A6, 0x0145, 0x01E9, 0x178A,
    0x01E8, 0x1785, 0x1E28, 0x0C65, 0x0CC5, 0x1D5C, 0x0648, 0x0E28, 0x0646, 0x0E26, 0x1B28, 0x00E6,
    0x01E5, 0x1786, 0x1E29, 0x0C68, 0x1E24, 0x0C69, 0x0955, 0x03C9, 0x03E9, 0x0975, 0x0C49, 0x1E04,
    0x0C48, 0x1E05, 0x17A6, 0x01C5, 0x00C6, 0x1B08, 0x0E06, 0x0666, 0x0E08, 0x0668, 0x1D7C, 0x0CE5,
    0x0C45, 0x1E08, 0x17A9, 0x01C4, 0x17AA, 0x01C9, 0x0169, 0x588A, 0x1888, 0x0066, 0x0709, 0x07A8,
    0x0704, 0x07A6, 0x16E6, 0x0345, 0x00C9, 0x1B05, 0x0E09, 0x0669, 0x1885, 0x0065, 0x0706, 0x07A5,
    0x03A9, 0x0189, 0x0029, 0x0889, 0x0744, 0x06E9, 0x0B06, 0x0229, 0x0E05, 0x0665, 0x1974, 0x0CE8,
    0x070A, 0x07A9, 0x16E9, 0x0348, 0x074A, 0x06E6, 0x0B09, 0x0226, 0x1CE4, 0x0D7D, 0x0269, 0x08C9,
    0x00CA, 0x1B04, 0x1884, 0x006A, 0x0E04, 0x0664, 0x0708, 0x07AA, 0x03A8, 0x0184, 0x0749, 0x06E4,
    0x0020, 0x0888, 0x0B08, 0x0224, 0x0E0A, 0x066A, 0x0705, 0x07A4, 0x1D78, 0x0CE9, 0x16EA, 0x0349,
    0x0745, 0x06E8, 0x1CE9, 0x0D75, 0x0B04, 0x0228, 0x0268, 0x08C8, 0x03A5, 0x0185, 0x0746, 0x06EA,
    0x0748, 0x06E5, 0x1CE8, 0x0D79, 0x1D74, 0x5CE6, 0x02E9, 0x0849, 0x02E8, 0x0848, 0x0086, 0x0A08,
    0x0021, 0x0885, 0x0B05, 0x022A, 0x0B0A, 0x0225, 0x0265, 0x08C5, 0x02E5, 0x0845, 0x0089, 0x0A09,
    0x008A, 0x0A0A, 0x02A9, 0x0062,
};

} // namespace

DWORD RecordedStretchMode(ULONG mode) {
    return mode >= 1 && mode <= 4 ? mode : kStretchDeleteScans;
}

DWORD RopCode(BYTE rop3) {
    return static_cast<DWORD>(rop3) << 16 | kRopLowWords[rop3];
}

namespace {

bool UsesPattern(BYTE rop3) {
    return (rop3 >> 4) != (rop3 & 0xF);
}
bool UsesSource(BYTE rop3) {
    return ((rop3 >> 2) & 0x33) != (rop3 & 0x33);
}

ULONG RawPixel(const BYTE* row, LONG x, ULONG format) {
    switch (format) {
    case BMF_1BPP:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_4BPP:
        return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    case BMF_8BPP:
        return row[x];
    case BMF_16BPP:
        return row[2 * x] | row[2 * x + 1] << 8;
    case BMF_24BPP:
        return row[3 * x] | row[3 * x + 1] << 8 | static_cast<ULONG>(row[3 * x + 2]) << 16;
    case BMF_32BPP: {
        ULONG v;
        std::memcpy(&v, row + 4 * x, 4);
        return v;
    }
    default:
        return 0;
    }
}

// A pixel of a source that needs no translation, as a banding surface's:
// 1 bit black (0) or white (1), 8 bits gray levels, more bits the device's
// own colours.
ULONG UntranslatedColor(ULONG v, ULONG format) {
    constexpr ULONG kWhite = 0xFFFFFF, kGrayStep = 0x010101;
    if (format == BMF_1BPP) return v ? kWhite : 0;
    if (format == BMF_8BPP) return v * kGrayStep;
    return v;
}

// Narrows the source rectangle to its bitmap; false for a source that
// cannot be read (the engine then draws).
bool ReadableSource(SURFOBJ* src, RECTL* s) {
    if (!src || !src->pvScan0 || src->iType != STYPE_BITMAP || src->iBitmapFormat < BMF_1BPP ||
        src->iBitmapFormat > BMF_32BPP)
        return false;
    s->left = std::max<LONG>(0, s->left);
    s->top = std::max<LONG>(0, s->top);
    s->right = std::min<LONG>(src->sizlBitmap.cx, s->right);
    s->bottom = std::min<LONG>(src->sizlBitmap.cy, s->bottom);
    return s->right > s->left && s->bottom > s->top;
}

// The readable source's part as a bottom-up 24-bit device-independent
// bitmap in the device's colours: its header and its rows.
void ConvertSource(SURFOBJ* src, XLATEOBJ* xlo, const RECTL* s, std::vector<BYTE>* info,
                   std::vector<BYTE>* bits) {
    LONG w = s->right - s->left, h = s->bottom - s->top;
    size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
    bits->assign(stride * static_cast<size_t>(h), 0);
    for (LONG y = 0; y < h; ++y) {
        const BYTE* row = static_cast<const BYTE*>(src->pvScan0) +
                          static_cast<ptrdiff_t>(s->top + y) * src->lDelta;
        BYTE* out = bits->data() + static_cast<size_t>(h - 1 - y) * stride;
        for (LONG x = 0; x < w; ++x) {
            ULONG v = RawPixel(row, s->left + x, src->iBitmapFormat);
            ULONG c = xlo ? XLATEOBJ_iXlate(xlo, v) : UntranslatedColor(v, src->iBitmapFormat);
            out[3 * x] = static_cast<BYTE>(c >> 16);
            out[3 * x + 1] = static_cast<BYTE>(c >> 8);
            out[3 * x + 2] = static_cast<BYTE>(c);
        }
    }
    BITMAPINFOHEADER bih{};
    bih.biSize = sizeof bih;
    bih.biWidth = w;
    bih.biHeight = h;
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biSizeImage = static_cast<DWORD>(bits->size());
    const auto* p = reinterpret_cast<const BYTE*>(&bih);
    info->assign(p, p + sizeof bih);
}

bool SourceBits(SURFOBJ* src, XLATEOBJ* xlo, RECTL* s, std::vector<BYTE>* info,
                std::vector<BYTE>* bits) {
    if (!ReadableSource(src, s)) return false;
    ConvertSource(src, xlo, s, info, bits);
    return true;
}

BOOL SetStretchMode(PDEV* pdev, ULONG mode) {
    return SetMode(pdev, &State(pdev).stretchMode, EMR_SETSTRETCHBLTMODE,
                   RecordedStretchMode(mode));
}

// A fill of the destination by brush and destination alone: a blit record
// without a source.
BOOL FillDestination(PDEV* pdev, const RECTL& d, const BrushForm& form, BYTE rop3) {
    TemporaryObject brush(pdev, ObjectKind::Brush);
    if (UsesPattern(rop3)) CreateBrush(pdev, &brush, form);
    Record r(EMR_BITBLT);
    r.Put(PageBounds(pdev)).Put(d.left).Put(d.top).Put(d.right - d.left).Put(d.bottom - d.top);
    r.Put(RopCode(rop3)).Put(LONG{0}).Put(LONG{0}).Put(XFORM{1, 0, 0, 1, 0, 0});
    // No source: background colour, usage, and the bitmap's offsets and sizes all 0.
    for (int i = 0; i < 6; ++i)
        r.Put(DWORD{0});
    return r.Write(pdev);
}

} // namespace

BOOL RecordStretchBltROP(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                         const RECTL& source, ULONG mode, BRUSHOBJ* pbo, DWORD rop3) {
    const BYTE rop = static_cast<BYTE>(rop3);
    // A brush without a realization cannot be recorded: the engine draws.
    KeepLastError keep;
    BrushForm form;
    if (UsesPattern(rop) && !DescribeBrush(pbo, &form)) return FALSE;
    if (!UsesSource(rop)) {
        RecordClip(pdev, pco);
        FillDestination(pdev, dest, form, rop);
        return TRUE;
    }
    RECTL s = source;
    if (!ReadableSource(src, &s)) return FALSE;
    // The part of the destination the readable source maps to.
    LONG sw = source.right - source.left, sh = source.bottom - source.top;
    LONG dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    if (sw == 0 || sh == 0) return TRUE;
    auto destX = [&](LONG x) {
        return dest.left + static_cast<LONG>(static_cast<LONGLONG>(x - source.left) * dw / sw);
    };
    auto destY = [&](LONG y) {
        return dest.top + static_cast<LONG>(static_cast<LONGLONG>(y - source.top) * dh / sh);
    };
    RecordClip(pdev, pco);
    SetStretchMode(pdev, mode);
    TemporaryObject brush(pdev, ObjectKind::Brush);
    if (UsesPattern(rop)) CreateBrush(pdev, &brush, form);
    // Under a shrinking layout a tall copy goes out in slices of rows, each
    // on the destination rows the whole would give them, so that they abut.
    LONG rows = s.bottom - s.top;
    const WORD scale = pdev->emfJob->layoutScale;
    if (rop == kSrcCopy && scale < kFullScale)
        rows = std::min(rows, StretchSliceRows(scale, s.right - s.left));
    for (LONG top = s.top; top < s.bottom; top += rows) {
        RECTL piece{s.left, top, s.right, std::min(s.bottom, top + rows)};
        RECTL d{destX(piece.left), destY(piece.top), destX(piece.right), destY(piece.bottom)};
        if (d.top == d.bottom && piece.bottom - piece.top < s.bottom - s.top) continue;
        std::vector<BYTE> info, bits;
        ConvertSource(src, xlo, &piece, &info, &bits);
        Record r(EMR_STRETCHDIBITS);
        r.Put(PageBounds(pdev)).Put(d.left).Put(d.top);
        r.Put(LONG{0}).Put(LONG{0}).Put(piece.right - piece.left).Put(piece.bottom - piece.top);
        r.Put(static_cast<DWORD>(kStretchDibitsFixed)).Put(static_cast<DWORD>(info.size()));
        r.Put(static_cast<DWORD>(kStretchDibitsFixed + info.size()))
            .Put(static_cast<DWORD>(bits.size()));
        r.Put(kDibColors).Put(RopCode(rop)).Put(d.right - d.left).Put(d.bottom - d.top);
        r.Bytes(info.data(), info.size()).Bytes(bits.data(), bits.size());
        r.Write(pdev);
    }
    return TRUE;
}

BOOL RecordCopyBits(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                    const POINTL& srcPoint) {
    return RecordStretchBltROP(pdev, src, pco, xlo, dest, SourceRect(dest, srcPoint), 0, nullptr,
                               kSrcCopy);
}

BOOL RecordStretchBlt(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                      const RECTL& source, ULONG mode) {
    return RecordStretchBltROP(pdev, src, pco, xlo, dest, source, mode, nullptr, kSrcCopy);
}

BOOL RecordBitBlt(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                  const POINTL& srcPoint, BRUSHOBJ* pbo, DWORD rop3) {
    return RecordStretchBltROP(pdev, src, pco, xlo, dest, SourceRect(dest, srcPoint), 0, pbo, rop3);
}

BOOL RecordPageImage(PDEV* pdev, SURFOBJ* band, LONG top, LONG pageHeight) {
    if (!band) return FALSE;
    const LONG rows = std::min<LONG>(band->sizlBitmap.cy, pageHeight - top);
    if (rows <= 0) return TRUE;
    const RECTL dest{0, top, band->sizlBitmap.cx, top + rows};
    const RECTL source{0, 0, band->sizlBitmap.cx, rows};
    return RecordStretchBltROP(pdev, band, nullptr, nullptr, dest, source, State(pdev).stretchMode,
                               nullptr, kSrcCopy);
}

BOOL RecordTransparentBlt(PDEV* pdev, SURFOBJ* src, CLIPOBJ* pco, XLATEOBJ* xlo, const RECTL& dest,
                          const RECTL& source, ULONG transparentColor) {
    RECTL s = source;
    std::vector<BYTE> info, bits;
    if (!SourceBits(src, xlo, &s, &info, &bits)) return FALSE;
    if (s.left != source.left || s.top != source.top || s.right != source.right ||
        s.bottom != source.bottom)
        return FALSE; // a source partly outside its bitmap: the engine decides
    KeepLastError keep;
    RecordClip(pdev, pco);
    ULONG key = xlo ? XLATEOBJ_iXlate(xlo, transparentColor) : transparentColor;
    Record r(EMR_TRANSPARENTBLT);
    r.Put(PageBounds(pdev)).Put(dest.left).Put(dest.top);
    r.Put(dest.right - dest.left).Put(dest.bottom - dest.top);
    r.Put(static_cast<DWORD>(key & 0xFFFFFF)).Put(LONG{0}).Put(LONG{0});
    r.Put(XFORM{1, 0, 0, 1, 0, 0}).Put(DWORD{0}).Put(kDibColors);
    r.Put(static_cast<DWORD>(kTransparentBltFixed)).Put(static_cast<DWORD>(info.size()));
    r.Put(static_cast<DWORD>(kTransparentBltFixed + info.size()))
        .Put(static_cast<DWORD>(bits.size()));
    r.Put(s.right - s.left).Put(s.bottom - s.top);
    r.Bytes(info.data(), info.size()).Bytes(bits.data(), bits.size());
    r.Write(pdev);
    return TRUE;
}

BOOL RecordGradientFill(PDEV* pdev, CLIPOBJ* pco, TRIVERTEX* vertices, ULONG nVertex, PVOID mesh,
                        ULONG nMesh, ULONG mode) {
    if (!vertices || !mesh || mode > GRADIENT_FILL_TRIANGLE) return FALSE;
    KeepLastError keep;
    RecordClip(pdev, pco);
    Record r(EMR_GRADIENTFILL);
    r.Put(PageBounds(pdev)).Put(static_cast<DWORD>(nVertex)).Put(static_cast<DWORD>(nMesh));
    r.Put(static_cast<DWORD>(mode));
    static_assert(sizeof(TRIVERTEX) == kVertexSize);
    r.Bytes(vertices, nVertex * kVertexSize);
    if (mode == GRADIENT_FILL_TRIANGLE) {
        r.Bytes(mesh, nMesh * kTriangleSize);
    } else {
        // Rectangles packed into a block of twelve bytes a rectangle.
        std::vector<BYTE> block(nMesh * kTriangleSize, 0);
        std::memcpy(block.data(), mesh, nMesh * sizeof(GRADIENT_RECT));
        r.Bytes(block.data(), block.size());
    }
    r.Write(pdev);
    return TRUE;
}

} // namespace inkforge

namespace inkforge {
namespace {

constexpr size_t kCreateFontSize = 332;
constexpr size_t kTextOutFixed = 76;
constexpr DWORD kTextAlignBaseline = 24;
constexpr BYTE kPrecisionTrueType = 4, kPrecisionDevice = 5, kPrecisionRaster = 6;
constexpr size_t kFaceChars = 31;

// The character sets a face offers, in its own order: the list after the
// metrics (up to the default-set mark), or its one set.
std::vector<BYTE> FontCharsets(const IFIMETRICS* ifi) {
    std::vector<BYTE> sets;
    if (ifi->dpCharSets > 0 && static_cast<ULONG>(ifi->dpCharSets) < ifi->cjThis) {
        const auto* p = reinterpret_cast<const BYTE*>(ifi) + ifi->dpCharSets;
        for (ULONG i = static_cast<ULONG>(ifi->dpCharSets);
             i < ifi->cjThis && *p != DEFAULT_CHARSET; ++i, ++p)
            sets.push_back(*p);
    }
    if (sets.empty()) sets.push_back(ifi->jWinCharSet);
    return sets;
}

struct CharsetSearch {
    BYTE charset;
    BYTE pitchAndFamily;
    bool found;
};

int CALLBACK OnInstalledFont(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM data) {
    auto* search = reinterpret_cast<CharsetSearch*>(data);
    constexpr BYTE kPitch = 0x03, kFamily = 0xF0;
    const BYTE want = search->pitchAndFamily, have = lf->lfPitchAndFamily;
    // A face's metrics may leave the family open; the pitch always counts.
    bool samePitch = (want & kPitch) == (have & kPitch);
    bool sameFamily = !(want & kFamily) || (want & kFamily) == (have & kFamily);
    if ((type & TRUETYPE_FONTTYPE) && lf->lfCharSet == search->charset && samePitch && sameFamily) {
        search->found = true;
        return 0;
    }
    return 1;
}

// The last answers of the character-set choice, newest last.
struct CharsetAnswer {
    std::u16string face;
    FLONG simulation;
    BYTE charset;
};
constexpr size_t kCharsetAnswers = 100;
std::mutex gCharsetLock;
std::deque<CharsetAnswer> gCharsetAnswers;

// A face drawn bold or italic by simulation is named in the page with a
// character set that an installed TrueType face of its name, pitch and
// family offers, so that the player finds that face: the first of the
// face's own sets that one offers, else its own set.
BYTE SimulatedFaceCharset(FONTOBJ* pfo, const IFIMETRICS* ifi, const WCHAR* face) {
    const FLONG simulation = pfo->flFontType & (FO_SIM_BOLD | FO_SIM_ITALIC);
    if (!simulation) return ifi->jWinCharSet;
    const std::u16string name(face);
    {
        std::lock_guard lock(gCharsetLock);
        for (const CharsetAnswer& a : gCharsetAnswers)
            if (a.simulation == simulation && a.face == name) return a.charset;
    }
    BYTE chosen = ifi->jWinCharSet;
    if (HDC dc = CreateCompatibleDC(nullptr)) {
        for (BYTE set : FontCharsets(ifi)) {
            LOGFONTW asked{};
            asked.lfCharSet = set;
            for (size_t i = 0; i < LF_FACESIZE - 1 && face[i]; ++i)
                asked.lfFaceName[i] = face[i];
            CharsetSearch search{set, ifi->jWinPitchAndFamily, false};
            EnumFontFamiliesExW(dc, &asked, OnInstalledFont, reinterpret_cast<LPARAM>(&search), 0);
            if (search.found) {
                chosen = set;
                break;
            }
        }
        DeleteDC(dc);
    }
    std::lock_guard lock(gCharsetLock);
    if (gCharsetAnswers.size() == kCharsetAnswers) gCharsetAnswers.pop_front();
    gCharsetAnswers.push_back(CharsetAnswer{name, simulation, chosen});
    return chosen;
}

// face: the name the page records; installedFace: the application's, under
// which the system lists the face.
// The turn of the font's baseline, as the world transform that turns upright
// text onto it (y runs down the page: a baseline turned counter-clockwise by
// a runs along (cos a, -sin a)); none for a level baseline.
bool TextRotation(FONTOBJ* pfo, XFORM* turn) {
    XFORML m{};
    XFORMOBJ* xo = FONTOBJ_pxoGetXform(pfo);
    if (!xo || XFORMOBJ_iGetXform(xo, &m) == DDI_ERROR || (m.eM12 == 0 && m.eM21 == 0))
        return false;
    const double a = std::atan2(-static_cast<double>(m.eM12), m.eM11);
    const double c = std::cos(a), s = std::sin(a);
    *turn = XFORM{static_cast<FLOAT>(c),
                  static_cast<FLOAT>(-s),
                  static_cast<FLOAT>(s),
                  static_cast<FLOAT>(c),
                  0,
                  0};
    return true;
}

// A device point in the coordinates of the turned text: the inverse turn.
POINTL Unturned(const XFORM& t, POINTL p) {
    const double x = p.x, y = p.y;
    return POINTL{static_cast<LONG>(std::lround(x * t.eM11 + y * t.eM12)),
                  static_cast<LONG>(std::lround(x * t.eM21 + y * t.eM22))};
}

BOOL RecordWorldTransform(PDEV* pdev, const XFORM& x) {
    RecorderState& s = State(pdev);
    s.transform = x;
    return Record(EMR_SETWORLDTRANSFORM).Put(x).Write(pdev);
}

LOGFONTW LogicalFont(FONTOBJ* pfo, const IFIMETRICS* ifi, const WCHAR* face,
                     const WCHAR* installedFace) {
    LOGFONTW lf{};
    lf.lfHeight = -GetFontSize(pfo);
    lf.lfWeight = ifi->usWinWeight;
    // A simulated bold face is a step of the weight scale heavier.
    if (pfo->flFontType & FO_SIM_BOLD) lf.lfWeight = std::clamp<LONG>(lf.lfWeight + 300, 600, 900);
    lf.lfItalic = (pfo->flFontType & FO_SIM_ITALIC) || (ifi->fsSelection & FM_SEL_ITALIC);
    lf.lfCharSet = SimulatedFaceCharset(pfo, ifi, installedFace);
    lf.lfOutPrecision = (pfo->flFontType & FO_TYPE_DEVICE)     ? kPrecisionDevice
                        : (pfo->flFontType & FO_TYPE_TRUETYPE) ? kPrecisionTrueType
                                                               : kPrecisionRaster;
    // A turned baseline is recorded as a world transform around the text
    // (TextRotation) and the font stays upright; a vertical face ("@") keeps
    // its turn as the escapement, which stands its glyphs up by themselves.
    XFORM turn{};
    if (installedFace[0] == u'@' && TextRotation(pfo, &turn)) {
        double degrees = std::atan2(-static_cast<double>(turn.eM12), turn.eM11) * 180.0 / M_PI;
        if (degrees < 0) degrees += 360;
        lf.lfEscapement = lf.lfOrientation = static_cast<LONG>(std::lround(degrees * 10)) % 3600;
    }
    for (size_t i = 0; i < kFaceChars && face[i]; ++i)
        lf.lfFaceName[i] = face[i];
    return lf;
}

// lastAdvance: the advance after the last glyph (to the end of the run).
// mode: the graphics mode the glyphs are drawn in (advanced: turned with the
// world transform). characters: the run's text, one character a glyph, to
// record in place of the glyph indices.
BOOL WriteGlyphs(PDEV* pdev, const GLYPHPOS* glyphs, ULONG count, POINTL lastAdvance, DWORD mode,
                 const WCHAR* characters) {
    if (!count) return TRUE;
    size_t stringBytes = (count * sizeof(WCHAR) + 3) / 4 * 4;
    Record r(EMR_EXTTEXTOUTW);
    r.Put(RECTL{0, 0, -1, -1}).Put(mode).Put(1.0f).Put(1.0f);
    r.Put(glyphs[0].ptl).Put(static_cast<DWORD>(count)).Put(static_cast<DWORD>(kTextOutFixed));
    r.Put(static_cast<DWORD>(characters ? ETO_PDY : ETO_GLYPH_INDEX | ETO_PDY))
        .Put(RECTL{0, 0, -1, -1});
    r.Put(static_cast<DWORD>(kTextOutFixed + stringBytes));
    for (ULONG i = 0; i < count; ++i)
        r.Put(characters ? characters[i] : static_cast<WCHAR>(glyphs[i].hg));
    if (count % 2) r.Put(WCHAR{0});
    // The advance from each glyph's origin to the next one's.
    for (ULONG i = 0; i + 1 < count; ++i)
        r.Put(glyphs[i + 1].ptl.x - glyphs[i].ptl.x).Put(glyphs[i + 1].ptl.y - glyphs[i].ptl.y);
    r.Put(lastAdvance);
    return r.Write(pdev);
}

} // namespace

BOOL RecordTextOut(PDEV* pdev, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                   RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, MIX) {
    IFIMETRICS* ifi = FONTOBJ_pifi(pfo);
    KeepLastError keep;
    BrushForm fore, opaque;
    if (!ifi || !pstro || !Solid(pboFore) || !DescribeBrush(pboFore, &fore)) return FALSE;
    if (prclOpaque && !DescribeBrush(pboOpaque, &opaque)) return FALSE;
    RecorderState& s = State(pdev);
    WCHAR face[spoolpkg::kFaceNameChars] = {};
    const auto* given =
        reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
    for (size_t i = 0; i + 1 < spoolpkg::kFaceNameChars && given[i]; ++i)
        face[i] = given[i];
    WCHAR installed[spoolpkg::kFaceNameChars];
    std::memcpy(installed, face, sizeof installed);
    // A run that a printer font stands for on the direct road keeps its
    // characters and its face's own name, so that the replay makes the same
    // choice; its face stays out of the package. Any other TrueType face goes
    // into the package, and the page names it as stored.
    std::string printerFont;
    WORD symbolSet = 0;
    const bool keepCharacters =
        pstro->pwszOrg && PrinterFontStandsIn(pdev, pstro, pfo, ifi, &printerFont, &symbolSet);
    if ((pfo->flFontType & FO_TYPE_TRUETYPE) && !keepCharacters) AddJobFont(pdev, pfo, face);
    LOGFONTW lf = LogicalFont(pfo, ifi, face, installed);

    RecordClip(pdev, pco);
    if (prclOpaque) {
        SetMode(pdev, &s.backgroundMode, EMR_SETBKMODE, OPAQUE);
        FillDestination(pdev, *prclOpaque, opaque, kPatCopy);
    }
    {
        // The font, and for a face drawn as outlines or strokes its pen and
        // brush, live until the glyphs are written.
        TemporaryObject font(pdev, ObjectKind::Font);
        TemporaryObject pen(pdev, ObjectKind::Pen);
        TemporaryObject brush(pdev, ObjectKind::Brush);
        DWORD savedFill = s.polyFillMode, savedRop2 = s.rop2;
        DWORD index = font.Create();
        Record create(EMR_EXTCREATEFONTINDIRECTW);
        create.Put(index).Put(lf);
        std::vector<BYTE> rest(kCreateFontSize - create.size(), 0);
        create.Bytes(rest.data(), rest.size()).Write(pdev);
        font.Use();
        SetMode(pdev, &s.backgroundMode, EMR_SETBKMODE, TRANSPARENT);
        SetMode(pdev, &s.textColor, EMR_SETTEXTCOLOR, fore.color);
        SetMode(pdev, &s.textAlign, EMR_SETTEXTALIGN, kTextAlignBaseline);
        const bool strokes = (ifi->flInfo & FM_INFO_TECH_STROKE) != 0;
        const bool outlines = (ifi->flInfo & FM_INFO_TECH_OUTLINE_NOT_TRUETYPE) != 0;
        if (strokes || outlines) {
            // A stroked face is drawn with the pen, an outlined one filled
            // with the brush and no pen.
            BrushForm ink;
            ink.color = fore.color;
            DWORD penIndex = pen.Create();
            Record(EMR_CREATEPEN)
                .Put(penIndex)
                .Put(static_cast<DWORD>(strokes ? PS_SOLID : PS_NULL))
                .Put(POINTL{1, 0})
                .Put(fore.color)
                .Write(pdev);
            pen.Use();
            CreateBrush(pdev, &brush, ink);
            SetMode(pdev, &s.polyFillMode, EMR_SETPOLYFILLMODE, WINDING);
            SetMode(pdev, &s.rop2, EMR_SETROP2, R2_COPYPEN);
        }
        std::vector<GLYPHPOS> glyphs;
        if (pstro->pgp) {
            glyphs.assign(pstro->pgp, pstro->pgp + pstro->cGlyphs);
        } else {
            STROBJ_vEnumStart(pstro);
            BOOL more = TRUE;
            while (more) {
                ULONG count = 0;
                GLYPHPOS* batch = nullptr;
                more = STROBJ_bEnum(pstro, &count, &batch);
                if (batch) glyphs.insert(glyphs.end(), batch, batch + count);
            }
        }
        const WCHAR* characters =
            keepCharacters && glyphs.size() == pstro->cGlyphs ? pstro->pwszOrg : nullptr;
        XFORM turn{};
        if (!glyphs.empty() && installed[0] != u'@' && TextRotation(pfo, &turn)) {
            // Turned text: upright glyphs at their places in the turned
            // coordinates, under a world transform that turns them back.
            for (GLYPHPOS& g : glyphs)
                g.ptl = Unturned(turn, g.ptl);
            RecordWorldTransform(pdev, turn);
            WriteGlyphs(pdev, glyphs.data(), static_cast<ULONG>(glyphs.size()), POINTL{0, 0},
                        GM_ADVANCED, characters);
            RecordWorldTransform(pdev, XFORM{1, 0, 0, 1, 0, 0});
        } else if (!glyphs.empty()) {
            // A run along the baseline ends at its background box.
            POINTL last{0, 0};
            const POINTL& end = glyphs.back().ptl;
            if (end.y == glyphs.front().ptl.y && pstro->rclBkGround.right > end.x)
                last.x = pstro->rclBkGround.right - end.x;
            WriteGlyphs(pdev, glyphs.data(), static_cast<ULONG>(glyphs.size()), last,
                        s.graphicsMode, characters);
        }
        if (strokes || outlines) {
            SetMode(pdev, &s.polyFillMode, EMR_SETPOLYFILLMODE, savedFill);
            SetMode(pdev, &s.rop2, EMR_SETROP2, savedRop2);
        }
    }
    SetMode(pdev, &s.backgroundMode, EMR_SETBKMODE, OPAQUE);
    // Underline and strike-out: rectangles until an empty one.
    for (RECTL* r = prclExtra; r && (r->left | r->top | r->right | r->bottom); ++r)
        FillDestination(pdev, *r, fore, kPatCopy);
    return TRUE;
}

} // namespace inkforge
