// Playback of metafiles onto device contexts. EnumEnhMetaFile sets a device
// context up for the records: its state is saved, the picture frame is mapped
// onto the target rectangle, the clip in force becomes the meta region that
// the records cannot leave, and the attributes the records set start from
// their defaults. The metafile's own map mode, window, viewport and world
// transform are kept beside the device context and folded, with the frame
// mapping, into the device context's world transform, so that the device
// context's own page mapping stays as the caller set it.
// PlayEnhMetaFileRecord plays one record through the GDI functions.
#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <string>

#include "dc_state.h"
#include "emf_raster_records.h"
#include "emf_reader.h"
#include "platform/gdi_ctl.h"
#include "win/errors.h"
#include "platform/core.h"

namespace platform::gdi {
namespace {

// Lines kept in the log of skipped records.
constexpr size_t kLogLines = 256;

std::deque<std::string>& SkipLog() {
    static std::deque<std::string> log;
    return log;
}

// Records noted since the last clear, by name (malformed ones marked), for a
// printing program's summary of what a page left out.
std::map<std::string, long>& SkipCounts() {
    static std::map<std::string, long> counts;
    return counts;
}

// The reasons a summary names beside a record.
constexpr const char* kNoteReasons[] = {"malformed", "not drawn", "more drawing than a page holds"};

void Note(DWORD type, const char* why) {
    std::lock_guard lock(GdiLock());
    std::string name = RecordName(type);
    for (const char* reason : kNoteReasons)
        if (std::strcmp(why, reason) == 0) name += std::string(" (") + reason + ")";
    ++SkipCounts()[name];
    auto& log = SkipLog();
    log.push_back(std::string(RecordName(type)) + " (" + std::to_string(type) + "): " + why);
    if (log.size() > kLogLines) log.pop_front();
}

// The metafile's own page mapping, in pixels of its reference device.
struct MetaState {
    Affine world;
    int mapMode = MM_TEXT;
    double wox = 0, woy = 0, vox = 0, voy = 0;
    double wex = 1, wey = 1, vex = 1, vey = 1;
};

struct Playback {
    HDC hdc = nullptr;
    std::vector<HGDIOBJ> handles;
    Affine init;                 // reference device pixels to the device context's logical units
    double dpiX = 96, dpiY = 96; // of the reference device
    MetaState meta;
    std::vector<MetaState> saved;
    int baseLevel = 0; // the SaveDC made for the playback
};

std::map<const HANDLETABLE*, Playback*>& Playbacks() {
    static std::map<const HANDLETABLE*, Playback*> playbacks;
    return playbacks;
}

Affine MetaPage(const MetaState& m) {
    double sx = m.vex / m.wex, sy = m.vey / m.wey;
    return Affine{sx, 0, 0, sy, m.vox - m.wox * sx, m.voy - m.woy * sy};
}

void MakeIsotropic(MetaState& m) {
    if (m.mapMode != MM_ISOTROPIC) return;
    double xs = m.vex / m.wex, ys = m.vey / m.wey;
    if (std::fabs(xs) < std::fabs(ys))
        m.vey = std::copysign(std::fabs(m.wey * xs), m.vey);
    else if (std::fabs(ys) < std::fabs(xs))
        m.vex = std::copysign(std::fabs(m.wex * ys), m.vex);
}

// Folds the metafile's transforms and the frame mapping into the device
// context's world transform.
bool Apply(const Playback& pb) {
    XFORM x = pb.meta.world.Then(MetaPage(pb.meta)).Then(pb.init).ToXform();
    return SetWorldTransform(pb.hdc, &x);
}

template <class T> std::vector<POINT> Points(const RecordReader& r, size_t at, size_t count) {
    std::vector<POINT> pts(count);
    for (size_t i = 0; i < count; ++i) {
        T p;
        r.Get(at + i * sizeof(T), &p);
        pts[i] = POINT{p.x, p.y};
    }
    return pts;
}

// The points of the POLY records: {bounds, count, points}.
template <class T> bool PolyPoints(const RecordReader& r, std::vector<POINT>* pts) {
    DWORD count;
    if (!r.Get(24, &count) || !r.Fits(28, count, sizeof(T))) return false;
    *pts = Points<T>(r, 28, count);
    return true;
}

// The POLYPOLY records: {bounds, polygons, points, counts, points}.
template <class T>
bool PolyPolyPoints(const RecordReader& r, std::vector<DWORD>* counts, std::vector<POINT>* pts) {
    DWORD polys, total;
    if (!r.Get(24, &polys) || !r.Get(28, &total) || !r.Fits(32, polys, 4)) return false;
    size_t at = 32 + static_cast<size_t>(polys) * 4;
    if (!r.Fits(at, total, sizeof(T))) return false;
    counts->resize(polys);
    unsigned long long sum = 0;
    for (DWORD i = 0; i < polys; ++i) {
        r.Get(32 + i * 4, &(*counts)[i]);
        sum += (*counts)[i];
    }
    if (sum != total) return false;
    *pts = Points<T>(r, at, total);
    return true;
}

template <class T>
bool PolyDrawPoints(const RecordReader& r, std::vector<POINT>* pts, std::vector<BYTE>* types) {
    DWORD count;
    if (!r.Get(24, &count) || !r.Fits(28, count, sizeof(T))) return false;
    size_t at = 28 + static_cast<size_t>(count) * sizeof(T);
    if (!r.Fits(at, count, 1)) return false;
    *pts = Points<T>(r, 28, count);
    types->assign(r.At(at), r.At(at) + count);
    return true;
}

// The region data of a record: {RGNDATAHEADER, rectangles}.
bool ReadRegion(const RecordReader& r, size_t at, DWORD size, Region* out) {
    RGNDATAHEADER h;
    if (!r.Fits(at, size, 1) || size < sizeof h || !r.Get(at, &h)) return false;
    if (h.dwSize < sizeof h || h.dwSize > size || h.iType != RDH_RECTANGLES ||
        h.nCount > (size - h.dwSize) / sizeof(RECTL))
        return false;
    std::vector<RECTL> rects(h.nCount);
    for (DWORD i = 0; i < h.nCount; ++i)
        r.Get(at + h.dwSize + i * sizeof(RECTL), &rects[i]);
    *out = Region::FromRects(rects);
    return true;
}

class RecordPlayer {
  public:
    RecordPlayer(HDC hdc, HANDLETABLE* ht, UINT count, Playback* pb, const RecordReader& r,
                 DWORD type)
        : hdc_(hdc), ht_(ht), count_(count), pb_(pb), r_(r), type_(type) {}

    BOOL Play();

  private:
    BOOL Malformed() {
        Note(type_, "malformed");
        noted_ = true;
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    BOOL Skipped() {
        Note(type_, "not played");
        return TRUE;
    }
    // A record read whole that the device context could not draw.
    BOOL NotDrawn() {
        DWORD error = GetLastError();
        Note(type_,
             error == ERROR_NOT_ENOUGH_QUOTA ? "more drawing than a page holds" : "not drawn");
        noted_ = true;
        SetLastError(error);
        return FALSE;
    }
    // The result of a drawing record: one the device context refused is told,
    // unless it was told already (malformed).
    BOOL Drawn(BOOL ok) { return ok || noted_ ? ok : NotDrawn(); }
    template <class T> bool Get(size_t at, T* v) { return r_.Get(at, v); }

    // A slot of the object table; nullptr when the index is none.
    HGDIOBJ* Slot(DWORD index) {
        if (!ht_ || index == 0 || index >= count_) return nullptr;
        return &ht_->objectHandle[index];
    }
    BOOL Store(DWORD index, HGDIOBJ object) {
        HGDIOBJ* slot = Slot(index);
        if (!slot) {
            if (object) DeleteObject(object);
            return Malformed();
        }
        if (*slot) DeleteObject(*slot);
        *slot = object;
        return object != nullptr;
    }

    BOOL Poly();
    BOOL PolyPoly();
    BOOL PolyDrawing();
    BOOL Shape();
    BOOL Mapping();
    BOOL Objects();
    BOOL Clip();
    BOOL RegionDrawing();
    BOOL SaveRestore();
    BOOL Transform();
    BOOL Text();
    BOOL TextAt(size_t at, bool wide, DWORD mode);
    template <class F> BOOL InTextMode(DWORD mode, F draw);

    HDC hdc_;
    HANDLETABLE* ht_;
    UINT count_;
    Playback* pb_;
    const RecordReader& r_;
    bool noted_ = false;
    DWORD type_;
};

BOOL RecordPlayer::Poly() {
    std::vector<POINT> p;
    bool is16 = type_ >= EMR_POLYBEZIER16 && type_ <= EMR_POLYLINETO16;
    if (!(is16 ? PolyPoints<POINTS>(r_, &p) : PolyPoints<POINTL>(r_, &p))) return Malformed();
    DWORD kind = is16 ? type_ - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type_;
    DWORD n = static_cast<DWORD>(p.size());
    BOOL ok = FALSE;
    switch (kind) {
    case EMR_POLYBEZIER:
        ok = PolyBezier(hdc_, p.data(), n);
        break;
    case EMR_POLYGON:
        ok = Polygon(hdc_, p.data(), static_cast<int>(n));
        break;
    case EMR_POLYLINE:
        ok = Polyline(hdc_, p.data(), static_cast<int>(n));
        break;
    case EMR_POLYBEZIERTO:
        ok = PolyBezierTo(hdc_, p.data(), n);
        break;
    case EMR_POLYLINETO:
        ok = PolylineTo(hdc_, p.data(), n);
        break;
    }
    return ok;
}

BOOL RecordPlayer::PolyPoly() {
    std::vector<DWORD> counts;
    std::vector<POINT> p;
    bool is16 = type_ == EMR_POLYPOLYLINE16 || type_ == EMR_POLYPOLYGON16;
    if (!(is16 ? PolyPolyPoints<POINTS>(r_, &counts, &p) : PolyPolyPoints<POINTL>(r_, &counts, &p)))
        return Malformed();
    if (counts.empty()) return TRUE;
    if (type_ == EMR_POLYPOLYLINE || type_ == EMR_POLYPOLYLINE16)
        return PolyPolyline(hdc_, p.data(), counts.data(), static_cast<DWORD>(counts.size()));
    std::vector<INT> ints;
    for (DWORD c : counts) {
        if (c > 0x7FFFFFFF) return Malformed();
        ints.push_back(static_cast<INT>(c));
    }
    return PolyPolygon(hdc_, p.data(), ints.data(), static_cast<int>(ints.size()));
}

BOOL RecordPlayer::PolyDrawing() {
    std::vector<POINT> p;
    std::vector<BYTE> types;
    bool ok = type_ == EMR_POLYDRAW16 ? PolyDrawPoints<POINTS>(r_, &p, &types)
                                      : PolyDrawPoints<POINTL>(r_, &p, &types);
    if (!ok || p.size() > 0x7FFFFFFF) return Malformed();
    if (p.empty()) return TRUE;
    return PolyDraw(hdc_, p.data(), types.data(), static_cast<int>(p.size()));
}

BOOL RecordPlayer::Shape() {
    RECTL box;
    switch (type_) {
    case EMR_MOVETOEX:
    case EMR_LINETO: {
        POINTL p;
        if (!Get(8, &p)) return Malformed();
        return type_ == EMR_LINETO ? LineTo(hdc_, p.x, p.y) : MoveToEx(hdc_, p.x, p.y, nullptr);
    }
    case EMR_ANGLEARC: {
        POINTL c;
        DWORD radius;
        FLOAT start, sweep;
        if (!Get(8, &c) || !Get(16, &radius) || !Get(20, &start) || !Get(24, &sweep))
            return Malformed();
        return AngleArc(hdc_, c.x, c.y, radius, start, sweep);
    }
    case EMR_ELLIPSE:
    case EMR_RECTANGLE:
        if (!Get(8, &box)) return Malformed();
        return type_ == EMR_ELLIPSE ? Ellipse(hdc_, box.left, box.top, box.right, box.bottom)
                                    : Rectangle(hdc_, box.left, box.top, box.right, box.bottom);
    case EMR_ROUNDRECT: {
        SIZEL corner;
        if (!Get(8, &box) || !Get(24, &corner)) return Malformed();
        return RoundRect(hdc_, box.left, box.top, box.right, box.bottom, corner.cx, corner.cy);
    }
    default: { // ARC, ARCTO, CHORD, PIE
        POINTL s, e;
        if (!Get(8, &box) || !Get(24, &s) || !Get(32, &e)) return Malformed();
        auto fn = type_ == EMR_ARC     ? Arc
                  : type_ == EMR_ARCTO ? ArcTo
                  : type_ == EMR_CHORD ? Chord
                                       : Pie;
        return fn(hdc_, box.left, box.top, box.right, box.bottom, s.x, s.y, e.x, e.y);
    }
    }
}

// Map mode, window and viewport: the metafile's own while it plays, the
// device context's when a record is played on its own.
BOOL RecordPlayer::Mapping() {
    LONG a = 0, b = 0, c = 1, d = 1;
    if (!Get(8, &a) || (type_ != EMR_SETMAPMODE && !Get(12, &b))) return Malformed();
    if ((type_ == EMR_SCALEVIEWPORTEXTEX || type_ == EMR_SCALEWINDOWEXTEX) &&
        (!Get(16, &c) || !Get(20, &d)))
        return Malformed();
    if (!pb_) {
        switch (type_) {
        case EMR_SETMAPMODE:
            return SetMapMode(hdc_, a) != 0;
        case EMR_SETWINDOWEXTEX:
            return SetWindowExtEx(hdc_, a, b, nullptr);
        case EMR_SETWINDOWORGEX:
            return SetWindowOrgEx(hdc_, a, b, nullptr);
        case EMR_SETVIEWPORTEXTEX:
            return SetViewportExtEx(hdc_, a, b, nullptr);
        case EMR_SETVIEWPORTORGEX:
            return SetViewportOrgEx(hdc_, a, b, nullptr);
        case EMR_SCALEVIEWPORTEXTEX:
            return ScaleViewportExtEx(hdc_, a, b, c, d, nullptr);
        default:
            return ScaleWindowExtEx(hdc_, a, b, c, d, nullptr);
        }
    }
    MetaState& m = pb_->meta;
    MetaState before = m;
    bool scalable = m.mapMode == MM_ISOTROPIC || m.mapMode == MM_ANISOTROPIC;
    switch (type_) {
    case EMR_SETMAPMODE:
        if (a < MM_TEXT || a > MM_ANISOTROPIC) return Malformed();
        m.mapMode = a;
        if (a == MM_TEXT) {
            m.wex = m.wey = m.vex = m.vey = 1;
        } else if (a < MM_ISOTROPIC) {
            const double units[] = {0, 0, 254, 2540, 100, 1000, 1440};
            m.wex = m.wey = units[a];
            m.vex = pb_->dpiX;
            m.vey = -pb_->dpiY;
        }
        break;
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX:
        if (a == 0 || b == 0) return Malformed();
        if (!scalable) return TRUE;
        (type_ == EMR_SETWINDOWEXTEX ? m.wex : m.vex) = a;
        (type_ == EMR_SETWINDOWEXTEX ? m.wey : m.vey) = b;
        break;
    case EMR_SETWINDOWORGEX:
        m.wox = a, m.woy = b;
        break;
    case EMR_SETVIEWPORTORGEX:
        m.vox = a, m.voy = b;
        break;
    default: // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX: {xNum, xDenom, yNum, yDenom}
        if (b == 0 || d == 0 || a == 0 || c == 0) return Malformed();
        if (!scalable) return TRUE;
        if (type_ == EMR_SCALEWINDOWEXTEX)
            m.wex = m.wex * a / b, m.wey = m.wey * c / d;
        else
            m.vex = m.vex * a / b, m.vey = m.vey * c / d;
        break;
    }
    MakeIsotropic(m);
    if (!Apply(*pb_)) {
        m = before;
        return Malformed();
    }
    return TRUE;
}

BOOL RecordPlayer::Transform() {
    XFORM x{};
    DWORD mode = 0;
    if (!Get(8, &x) || (type_ == EMR_MODIFYWORLDTRANSFORM && !Get(32, &mode))) return Malformed();
    if (!pb_) {
        return type_ == EMR_SETWORLDTRANSFORM ? SetWorldTransform(hdc_, &x)
                                              : ModifyWorldTransform(hdc_, &x, mode);
    }
    Affine before = pb_->meta.world, m = Affine::From(x);
    if (type_ == EMR_SETWORLDTRANSFORM || mode == 4) // 4: set, as newer recorders write it
        pb_->meta.world = m;
    else if (mode == MWT_IDENTITY)
        pb_->meta.world = Affine{};
    else if (mode == MWT_LEFTMULTIPLY)
        pb_->meta.world = m.Then(before);
    else if (mode == MWT_RIGHTMULTIPLY)
        pb_->meta.world = before.Then(m);
    else
        return Malformed();
    if (!Apply(*pb_)) {
        pb_->meta.world = before;
        return Malformed();
    }
    return TRUE;
}

BOOL RecordPlayer::SaveRestore() {
    if (type_ == EMR_SAVEDC) {
        if (!SaveDC(hdc_)) return FALSE;
        if (pb_) pb_->saved.push_back(pb_->meta);
        return TRUE;
    }
    LONG relative;
    if (!Get(8, &relative) || relative >= 0) return Malformed();
    if (pb_) {
        // The playback's own saved state is out of the records' reach.
        long long levels = static_cast<long long>(pb_->saved.size());
        if (-static_cast<long long>(relative) > levels) return Malformed();
        pb_->meta = pb_->saved[static_cast<size_t>(levels + relative)];
        pb_->saved.resize(static_cast<size_t>(levels + relative));
    }
    if (!RestoreDC(hdc_, relative)) return FALSE;
    return pb_ ? Apply(*pb_) : TRUE;
}

BOOL RecordPlayer::Objects() {
    DWORD index;
    if (!Get(8, &index)) return Malformed();
    switch (type_) {
    case EMR_SELECTOBJECT: {
        if (index & ENHMETA_STOCK_OBJECT) {
            HGDIOBJ stock = GetStockObject(static_cast<int>(index & ~ENHMETA_STOCK_OBJECT));
            if (!stock) return Malformed();
            return SelectObject(hdc_, stock) != nullptr;
        }
        HGDIOBJ* slot = Slot(index);
        if (!slot) return Malformed();
        if (!*slot) {
            Note(type_, "no object in its slot");
            return TRUE;
        }
        return SelectObject(hdc_, *slot) != nullptr;
    }
    case EMR_DELETEOBJECT: {
        if (index & ENHMETA_STOCK_OBJECT) return TRUE;
        HGDIOBJ* slot = Slot(index);
        if (!slot) return Malformed();
        if (*slot) DeleteObject(*slot);
        *slot = nullptr;
        return TRUE;
    }
    case EMR_CREATEPEN: {
        LOGPEN pen;
        if (!Get(12, &pen)) return Malformed();
        return Store(index, CreatePenIndirect(&pen));
    }
    case EMR_CREATEBRUSHINDIRECT: {
        LOGBRUSH32 b;
        if (!Get(12, &b)) return Malformed();
        if (b.lbStyle != BS_SOLID && b.lbStyle != BS_NULL && b.lbStyle != BS_HATCHED) {
            Note(type_, "brush style not played");
            return TRUE;
        }
        LOGBRUSH lb{b.lbStyle, b.lbColor, b.lbHatch};
        return Store(index, CreateBrushIndirect(&lb));
    }
    case EMR_EXTCREATEPEN: {
        // The pen's fixed part is 24 bytes; its style entries follow.
        DWORD offBmi, cbBmi, offBits, cbBits;
        EXTLOGPEN32 elp{};
        if (!Get(12, &offBmi) || !Get(16, &cbBmi) || !Get(20, &offBits) || !Get(24, &cbBits) ||
            !r_.Fits(28, 1, offsetof(EXTLOGPEN32, elpStyleEntry)))
            return Malformed();
        std::memcpy(&elp, r_.At(28), offsetof(EXTLOGPEN32, elpStyleEntry));
        if (!r_.Fits(52, elp.elpNumEntries, 4)) return Malformed();
        std::vector<DWORD> entries(elp.elpNumEntries);
        for (DWORD i = 0; i < elp.elpNumEntries; ++i)
            Get(52 + 4 * i, &entries[i]);
        BrushData brush;
        brush.style = elp.elpBrushStyle;
        brush.color = elp.elpColor;
        brush.hatch = elp.elpHatch;
        if (brush.style == BS_DIBPATTERNPT || brush.style == BS_DIBPATTERN) {
            PatternSource p;
            if (!r_.Fits(offBmi, cbBmi, 1) || !r_.Fits(offBits, cbBits, 1) ||
                !ReadPattern(r_.At(offBmi), cbBmi, r_.At(offBits), cbBits, elp.elpColor, false, &p))
                return Malformed();
            brush.style = BS_DIBPATTERNPT;
            brush.pattern = std::make_shared<PatternSource>(std::move(p));
        } else if (brush.style != BS_SOLID && brush.style != BS_NULL &&
                   !(brush.style == BS_HATCHED && brush.hatch <= HS_DIAGCROSS)) {
            return Malformed();
        }
        auto pen =
            MakeExtPen(elp.elpPenStyle, elp.elpWidth, brush, entries.data(), elp.elpNumEntries);
        if (!pen) return Malformed();
        return Store(index, AddObject(std::move(pen)));
    }
    default: { // CREATEDIBPATTERNBRUSHPT, CREATEMONOBRUSH
        DWORD usage, offBmi, cbBmi, offBits, cbBits;
        if (!Get(12, &usage) || !Get(16, &offBmi) || !Get(20, &cbBmi) || !Get(24, &offBits) ||
            !Get(28, &cbBits) || !r_.Fits(offBmi, cbBmi, 1) || !r_.Fits(offBits, cbBits, 1))
            return Malformed();
        PatternSource p;
        if (!ReadPattern(r_.At(offBmi), cbBmi, r_.At(offBits), cbBits, usage,
                         type_ == EMR_CREATEMONOBRUSH, &p))
            return Malformed();
        auto o = std::make_shared<GdiObject>();
        o->kind = ObjectKind::Brush;
        o->brush.style = BS_DIBPATTERNPT;
        o->brush.pattern = std::make_shared<PatternSource>(std::move(p));
        return Store(index, AddObject(std::move(o)));
    }
    }
}

BOOL RecordPlayer::Clip() {
    switch (type_) {
    case EMR_SETMETARGN:
        return SetMetaRgn(hdc_) != ERROR;
    case EMR_SELECTCLIPPATH: {
        DWORD mode;
        if (!Get(8, &mode)) return Malformed();
        return SelectClipPath(hdc_, static_cast<int>(mode));
    }
    case EMR_OFFSETCLIPRGN: {
        POINTL p;
        if (!Get(8, &p)) return Malformed();
        return OffsetClipRgn(hdc_, p.x, p.y) != ERROR;
    }
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT: {
        RECTL r;
        if (!Get(8, &r)) return Malformed();
        auto fn = type_ == EMR_INTERSECTCLIPRECT ? IntersectClipRect : ExcludeClipRect;
        return fn(hdc_, r.left, r.top, r.right, r.bottom) != ERROR;
    }
    default: { // EXTSELECTCLIPRGN: {size, mode, region in reference device pixels}
        DWORD size, mode;
        if (!Get(8, &size) || !Get(12, &mode)) return Malformed();
        if (mode < RGN_AND || mode > RGN_COPY) return Malformed();
        if (size == 0) {
            if (mode != RGN_COPY) return Malformed();
            return ExtSelectClipRgn(hdc_, nullptr, RGN_COPY) != ERROR;
        }
        Region rgn;
        if (!ReadRegion(r_, 16, size, &rgn)) return Malformed();
        DcAccess dc(hdc_);
        if (!dc) return FALSE;
        if (pb_) {
            RECTL page = PageRect(*dc);
            RECTL limit{page.left - page.right, page.top - page.bottom, 2 * page.right,
                        2 * page.bottom};
            rgn = rgn.Transformed(pb_->init.Then(PageTransform(dc->a)), &limit);
        }
        return CombineClip(*dc, &rgn, static_cast<int>(mode)) != ERROR;
    }
    }
}

// FILLRGN, FRAMERGN, INVERTRGN, PAINTRGN: regions in logical units.
BOOL RecordPlayer::RegionDrawing() {
    DWORD size, brush = 0;
    SIZEL stroke{};
    size_t at = type_ == EMR_FILLRGN ? 32 : type_ == EMR_FRAMERGN ? 40 : 28;
    if (!Get(24, &size)) return Malformed();
    if ((type_ == EMR_FILLRGN || type_ == EMR_FRAMERGN) && !Get(28, &brush)) return Malformed();
    if (type_ == EMR_FRAMERGN && !Get(32, &stroke)) return Malformed();
    Region rgn;
    if (!ReadRegion(r_, at, size, &rgn)) return Malformed();
    HGDIOBJ hbr = nullptr;
    if (type_ == EMR_FILLRGN || type_ == EMR_FRAMERGN) {
        if (brush & ENHMETA_STOCK_OBJECT) {
            hbr = GetStockObject(static_cast<int>(brush & ~ENHMETA_STOCK_OBJECT));
        } else if (HGDIOBJ* slot = Slot(brush)) {
            hbr = *slot;
        }
        if (!hbr) return Malformed();
    }
    HRGN h = NewRegion(std::move(rgn));
    BOOL ok;
    switch (type_) {
    case EMR_FILLRGN:
        ok = FillRgn(hdc_, h, static_cast<HBRUSH>(hbr));
        break;
    case EMR_FRAMERGN:
        ok = FrameRgn(hdc_, h, static_cast<HBRUSH>(hbr), stroke.cx, stroke.cy);
        break;
    case EMR_INVERTRGN:
        ok = InvertRgn(hdc_, h);
        break;
    default:
        ok = PaintRgn(hdc_, h);
        break;
    }
    DeleteObject(h);
    return ok;
}

// The text a record carries at `at` (an EMRTEXT): reference point, count,
// string offset, options, rectangle and spacing offset, each offset from the
// record's start and checked against its size.
// Text recorded in the compatible graphics mode turns its glyphs with the
// escapement, whatever the mode playback draws in; the record says which.
template <class F> BOOL RecordPlayer::InTextMode(DWORD mode, F draw) {
    int saved = 0;
    if (mode == GM_COMPATIBLE) {
        DcAccess dc(hdc_);
        if (!dc) return FALSE;
        saved = dc->a.graphicsMode;
        dc->a.graphicsMode = GM_COMPATIBLE;
    }
    BOOL ok = draw();
    if (mode == GM_COMPATIBLE) {
        DcAccess dc(hdc_);
        if (dc) dc->a.graphicsMode = saved;
    }
    // Text the device context could not draw (no face to draw it with) is
    // told, as every other drawing record's failure is.
    return ok ? TRUE : NotDrawn();
}

BOOL RecordPlayer::TextAt(size_t at, bool wide, DWORD mode) {
    POINTL ref;
    DWORD count, offString, options, offDx;
    RECTL rcl;
    if (!Get(at, &ref) || !Get(at + 8, &count) || !Get(at + 12, &offString) ||
        !Get(at + 16, &options) || !Get(at + 20, &rcl) || !Get(at + 36, &offDx))
        return Malformed();
    if (count == 0) return TRUE;
    size_t charSize = wide ? 2 : 1;
    if (!r_.Fits(offString, count, charSize)) return Malformed();
    // A spacing array is optional; with ETO_PDY it holds x and y advances.
    size_t perChar = (options & ETO_PDY) ? 2 : 1;
    std::vector<INT> dx;
    if (offDx != 0) {
        if (!r_.Fits(offDx, static_cast<unsigned long long>(count) * perChar, 4))
            return Malformed();
        dx.resize(static_cast<size_t>(count) * perChar);
        std::memcpy(dx.data(), r_.At(offDx), dx.size() * 4);
    }
    RECT rc{rcl.left, rcl.top, rcl.right, rcl.bottom};
    const RECT* prc = (options & (ETO_OPAQUE | ETO_CLIPPED)) ? &rc : nullptr;
    if (wide) {
        std::u16string text(count, 0);
        std::memcpy(text.data(), r_.At(offString), count * 2);
        return InTextMode(mode, [&] {
            return ExtTextOutW(hdc_, ref.x, ref.y, options, prc, text.data(), count,
                               dx.empty() ? nullptr : dx.data());
        });
    }
    if (options & ETO_GLYPH_INDEX) {
        // A byte record's glyph indices are its bytes.
        std::u16string glyphs(r_.At(offString), r_.At(offString) + count);
        return InTextMode(mode, [&] {
            return ExtTextOutW(hdc_, ref.x, ref.y, options, prc, glyphs.data(), count,
                               dx.empty() ? nullptr : dx.data());
        });
    }
    std::string text(reinterpret_cast<const char*>(r_.At(offString)), count);
    return InTextMode(mode, [&] {
        return ExtTextOutA(hdc_, ref.x, ref.y, options, prc, text.data(), count,
                           dx.empty() ? nullptr : dx.data());
    });
}

BOOL RecordPlayer::Text() {
    switch (type_) {
    case EMR_EXTCREATEFONTINDIRECTW: {
        // The logical font, possibly followed by the rest of an extended
        // description that playback does not need.
        DWORD index;
        LOGFONTW lf;
        if (!Get(8, &index) || !Get(12, &lf)) return Malformed();
        return Store(index, CreateFontIndirectW(&lf));
    }
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW: {
        DWORD mode;
        if (!Get(24, &mode)) return Malformed();
        return TextAt(36, type_ == EMR_EXTTEXTOUTW, mode);
    }
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW: {
        DWORD strings, mode;
        constexpr size_t kEmrText = 40;
        if (!Get(24, &mode) || !Get(36, &strings) || !r_.Fits(40, strings, kEmrText))
            return Malformed();
        BOOL ok = TRUE;
        for (DWORD i = 0; i < strings; ++i)
            ok = TextAt(40 + i * kEmrText, type_ == EMR_POLYTEXTOUTW, mode) && ok;
        return ok;
    }
    case EMR_SMALLTEXTOUT: {
        // {x, y, count, options, graphics mode, scales, [clip], characters}.
        constexpr DWORD kNoRect = 0x100, kSmallChars = 0x200;
        LONG x, y;
        DWORD count, options, mode;
        if (!Get(8, &x) || !Get(12, &y) || !Get(16, &count) || !Get(20, &options) ||
            !Get(24, &mode))
            return Malformed();
        size_t at = 36;
        RECTL rcl{};
        if (!(options & kNoRect)) {
            if (!Get(at, &rcl)) return Malformed();
            at += sizeof rcl;
        }
        size_t charSize = (options & kSmallChars) ? 1 : 2;
        if (!r_.Fits(at, count, charSize)) return Malformed();
        std::u16string text(count, 0);
        for (DWORD i = 0; i < count; ++i)
            text[i] = charSize == 1
                          ? r_.At(at)[i]
                          : static_cast<char16_t>(r_.At(at)[2 * i] | r_.At(at)[2 * i + 1] << 8);
        RECT rc{rcl.left, rcl.top, rcl.right, rcl.bottom};
        UINT eto = options & ~(kNoRect | kSmallChars);
        const RECT* prc =
            (!(options & kNoRect) && (eto & (ETO_OPAQUE | ETO_CLIPPED))) ? &rc : nullptr;
        return InTextMode(
            mode, [&] { return ExtTextOutW(hdc_, x, y, eto, prc, text.data(), count, nullptr); });
    }
    case EMR_SETTEXTJUSTIFICATION: {
        LONG extra, count;
        if (!Get(8, &extra) || !Get(12, &count)) return Malformed();
        return SetTextJustification(hdc_, extra, count);
    }
    default: { // EMR_SETMAPPERFLAGS
        DWORD flags;
        if (!Get(8, &flags)) return Malformed();
        return SetMapperFlags(hdc_, flags) != GDI_ERROR;
    }
    }
}

BOOL RecordPlayer::Play() {
    DWORD v = 0;
    switch (type_) {
    case EMR_EXTCREATEFONTINDIRECTW:
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
    case EMR_POLYTEXTOUTA:
    case EMR_POLYTEXTOUTW:
    case EMR_SMALLTEXTOUT:
    case EMR_SETTEXTJUSTIFICATION:
    case EMR_SETMAPPERFLAGS:
        return Text();
    case EMR_HEADER:
    case EMR_EOF:
    case EMR_GDICOMMENT:
        return TRUE;
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16:
        return Drawn(Poly());
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16:
        return Drawn(PolyPoly());
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
        return Drawn(PolyDrawing());
    case EMR_MOVETOEX:
    case EMR_LINETO:
    case EMR_ANGLEARC:
    case EMR_ELLIPSE:
    case EMR_RECTANGLE:
    case EMR_ROUNDRECT:
    case EMR_ARC:
    case EMR_ARCTO:
    case EMR_CHORD:
    case EMR_PIE:
        return Drawn(Shape());
    case EMR_SETMAPMODE:
    case EMR_SETWINDOWEXTEX:
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTEXTEX:
    case EMR_SETVIEWPORTORGEX:
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX:
        return Mapping();
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM:
        return Transform();
    case EMR_SAVEDC:
    case EMR_RESTOREDC:
        return SaveRestore();
    case EMR_SELECTOBJECT:
    case EMR_DELETEOBJECT:
    case EMR_CREATEPEN:
    case EMR_CREATEBRUSHINDIRECT:
    case EMR_EXTCREATEPEN:
    case EMR_CREATEDIBPATTERNBRUSHPT:
    case EMR_CREATEMONOBRUSH:
        return Objects();
    case EMR_SETMETARGN:
    case EMR_SELECTCLIPPATH:
    case EMR_OFFSETCLIPRGN:
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT:
    case EMR_EXTSELECTCLIPRGN:
        return Clip();
    case EMR_FILLRGN:
    case EMR_FRAMERGN:
    case EMR_INVERTRGN:
    case EMR_PAINTRGN:
        return RegionDrawing();
    case EMR_BEGINPATH:
        return BeginPath(hdc_);
    case EMR_ENDPATH:
        return EndPath(hdc_);
    case EMR_CLOSEFIGURE:
        return CloseFigure(hdc_);
    case EMR_FILLPATH:
        return FillPath(hdc_);
    case EMR_STROKEANDFILLPATH:
        return StrokeAndFillPath(hdc_);
    case EMR_STROKEPATH:
        return StrokePath(hdc_);
    case EMR_FLATTENPATH:
        return FlattenPath(hdc_);
    case EMR_ABORTPATH:
        return AbortPath(hdc_);
    case EMR_SETBRUSHORGEX: {
        POINTL p;
        if (!Get(8, &p)) return Malformed();
        return SetBrushOrgEx(hdc_, p.x, p.y, nullptr);
    }
    case EMR_SETMITERLIMIT: {
        // Recorders write the limit as a float or as a whole number.
        FLOAT f;
        if (!Get(8, &f) || !Get(8, &v)) return Malformed();
        double limit = std::isfinite(f) && f >= 1 && f <= 1e6 ? f : static_cast<double>(v);
        if (limit < 1 || limit > 1e6) return Malformed();
        return SetMiterLimit(hdc_, static_cast<FLOAT>(limit), nullptr);
    }
    default:
        break;
    }
    if (IsRasterRecord(type_)) {
        switch (PlayRasterRecord(hdc_, r_, type_)) {
        case RasterRecordResult::Malformed:
            return Malformed();
        case RasterRecordResult::Failed:
            return NotDrawn();
        case RasterRecordResult::Played:
            return TRUE;
        }
    }
    // Records of one 32-bit value.
    switch (type_) {
    case EMR_SETBKMODE:
    case EMR_SETPOLYFILLMODE:
    case EMR_SETROP2:
    case EMR_SETSTRETCHBLTMODE:
    case EMR_SETTEXTALIGN:
    case EMR_SETTEXTCOLOR:
    case EMR_SETBKCOLOR:
    case EMR_SETARCDIRECTION:
        if (!Get(8, &v)) return Malformed();
        break;
    default:
        return Skipped();
    }
    int i = static_cast<int>(v);
    switch (type_) {
    case EMR_SETBKMODE:
        return SetBkMode(hdc_, i) != 0 || Malformed();
    case EMR_SETPOLYFILLMODE:
        return SetPolyFillMode(hdc_, i) != 0 || Malformed();
    case EMR_SETROP2:
        return SetROP2(hdc_, i) != 0 || Malformed();
    case EMR_SETSTRETCHBLTMODE:
        return SetStretchBltMode(hdc_, i) != 0 || Malformed();
    case EMR_SETTEXTALIGN:
        return SetTextAlign(hdc_, v) != 0xFFFFFFFF;
    case EMR_SETTEXTCOLOR:
        return SetTextColor(hdc_, v) != CLR_INVALID;
    case EMR_SETBKCOLOR:
        return SetBkColor(hdc_, v) != CLR_INVALID;
    default:
        return SetArcDirection(hdc_, i) != 0 || Malformed();
    }
}

// The frame of the header in pixels of the reference device.
bool FramePixels(const ENHMETAHEADER& h, double* l, double* t, double* r, double* b) {
    if (h.szlDevice.cx > 0 && h.szlDevice.cy > 0 && h.szlMillimeters.cx > 0 &&
        h.szlMillimeters.cy > 0) {
        double kx = static_cast<double>(h.szlDevice.cx) / (h.szlMillimeters.cx * 100.0);
        double ky = static_cast<double>(h.szlDevice.cy) / (h.szlMillimeters.cy * 100.0);
        *l = h.rclFrame.left * kx, *r = h.rclFrame.right * kx;
        *t = h.rclFrame.top * ky, *b = h.rclFrame.bottom * ky;
        if (*r != *l && *b != *t) return true;
    }
    *l = h.rclBounds.left, *t = h.rclBounds.top, *r = h.rclBounds.right, *b = h.rclBounds.bottom;
    return *r != *l && *b != *t;
}

// Prepares hdc for the records; false when it cannot take them.
bool StartPlayback(Playback& pb, const Metafile& mf, const RECT& rect) {
    const ENHMETAHEADER& h = mf.header;
    double l, t, r, b;
    if (!FramePixels(h, &l, &t, &r, &b)) {
        l = t = 0;
        r = b = 1;
    }
    Affine frame{(rect.right - rect.left) / (r - l), 0, 0,
                 (rect.bottom - rect.top) / (b - t), 0, 0};
    frame.dx = rect.left - l * frame.m11;
    frame.dy = rect.top - t * frame.m22;
    if (h.szlDevice.cx > 0 && h.szlMillimeters.cx > 0)
        pb.dpiX = h.szlDevice.cx * 25.4 / h.szlMillimeters.cx;
    if (h.szlDevice.cy > 0 && h.szlMillimeters.cy > 0)
        pb.dpiY = h.szlDevice.cy * 25.4 / h.szlMillimeters.cy;
    int level = SaveDC(pb.hdc);
    if (!level) return false;
    pb.baseLevel = level;
    {
        DcAccess dc(pb.hdc);
        if (!dc) return false;
        DcAttributes& a = dc->a;
        pb.init = frame.Then(a.world);
        // The clip in force bounds everything the records do.
        a.meta = EffectiveClip(a);
        a.clip.reset();
        // The records' attributes start from their defaults.
        a.graphicsMode = GM_ADVANCED;
        a.pen = StockObject(BLACK_PEN);
        a.brush = StockObject(WHITE_BRUSH);
        a.font = StockObject(SYSTEM_FONT);
        a.rop2 = R2_COPYPEN;
        a.bkMode = OPAQUE;
        a.bkColor = 0xFFFFFF;
        a.textColor = 0;
        a.polyFillMode = ALTERNATE;
        a.stretchMode = BLACKONWHITE;
        a.arcDirection = AD_COUNTERCLOCKWISE;
        a.textAlign = TA_LEFT | TA_TOP;
        a.charExtra = a.breakExtra = a.breakCount = 0;
        a.miterLimit = 10;
        a.current = PointD{};
        a.pathMode = PathMode::None;
        a.path.clear();
    }
    if (!Apply(pb)) {
        RestoreDC(pb.hdc, level);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

int CALLBACK PlayEach(HDC hdc, HANDLETABLE* ht, const ENHMETARECORD* rec, int n, LPARAM) {
    PlayEnhMetaFileRecord(hdc, ht, rec, static_cast<UINT>(n));
    return 1;
}

} // namespace

} // namespace platform::gdi

using namespace platform::gdi;

namespace platform::test {

std::string SkippedEmfRecords() {
    std::lock_guard lock(GdiLock());
    std::string out;
    for (const std::string& line : SkipLog())
        out += line + "\n";
    return out;
}

void ClearSkippedEmfRecords() {
    std::lock_guard lock(GdiLock());
    SkipLog().clear();
    SkipCounts().clear();
}

} // namespace platform::test

namespace platform {

std::map<std::string, long> SkippedEmfRecordCounts() {
    std::lock_guard lock(GdiLock());
    return SkipCounts();
}

} // namespace platform

extern "C" {

BOOL WINAPI PlayEnhMetaFileRecord(HDC hdc, LPHANDLETABLE pht, const ENHMETARECORD* pmr, UINT cht) {
    PLATFORM_FAULT_POINT("PlayEnhMetaFileRecord", FALSE);
    if (!pmr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    EMR emr;
    std::memcpy(&emr, pmr, sizeof emr);
    if (emr.nSize < sizeof emr || emr.nSize % 4) {
        Note(emr.iType, "malformed");
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    Playback* pb = nullptr;
    {
        std::lock_guard lock(GdiLock());
        auto it = Playbacks().find(pht);
        if (it != Playbacks().end() && it->second->hdc == hdc) pb = it->second;
    }
    RecordReader reader(reinterpret_cast<const BYTE*>(pmr), emr.nSize);
    return RecordPlayer(hdc, pht, cht, pb, reader, emr.iType).Play();
}

BOOL WINAPI EnumEnhMetaFile(HDC hdc, HENHMETAFILE hmf, ENHMFENUMPROC lpProc, LPVOID lpParam,
                            const RECT* lpRect) {
    PLATFORM_FAULT_POINT("EnumEnhMetaFile", FALSE);
    auto mf = FindMetafile(hmf);
    if (!mf) return FALSE;
    if (!lpProc || (hdc && !lpRect)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Playback pb;
    pb.hdc = hdc;
    pb.handles.assign(std::max<size_t>(mf->header.nHandles, 1), nullptr);
    pb.handles[0] = reinterpret_cast<HGDIOBJ>(hmf);
    auto* ht = reinterpret_cast<HANDLETABLE*>(pb.handles.data());
    if (hdc && !StartPlayback(pb, *mf, *lpRect)) return FALSE;
    {
        std::lock_guard lock(GdiLock());
        Playbacks()[ht] = &pb;
    }
    BOOL ok = TRUE;
    int count = static_cast<int>(pb.handles.size());
    for (size_t offset : mf->records) {
        const auto* rec = reinterpret_cast<const ENHMETARECORD*>(mf->bytes.data() + offset);
        if (!lpProc(hdc, ht, rec, count, reinterpret_cast<LPARAM>(lpParam))) {
            ok = FALSE;
            break;
        }
    }
    {
        std::lock_guard lock(GdiLock());
        Playbacks().erase(ht);
    }
    for (size_t i = 1; i < pb.handles.size(); ++i)
        if (pb.handles[i]) DeleteObject(pb.handles[i]);
    if (hdc) RestoreDC(hdc, pb.baseLevel);
    return ok;
}

BOOL WINAPI PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT* lprect) {
    PLATFORM_FAULT_POINT("PlayEnhMetaFile", FALSE);
    if (!hdc || !lprect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return EnumEnhMetaFile(hdc, hmf, PlayEach, nullptr, lprect);
}
}
