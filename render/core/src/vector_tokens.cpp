// The drawing token emitters and their graphics-state cache.
#include "vector_tokens.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "model/model_queries.h"
#include "output_writer.h"
#include "pdev.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr size_t kColorMode = offsetof(PRIVATE_DEVMODE, ColorMode);
// Points of one run at most (a multiple of 3, so that curves stay whole).
constexpr size_t kRunLimit = 8190;
constexpr int kClipBatch = 20;

LONG Clamp(LONG v, LONG lo, LONG hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

void AddColor(TokenWriter& t, const PDEV* pdev, ULONG color) {
    if (GrayMode(pdev)) {
        t.ubyte(GrayLevel(pdev, color), stream::kGrayLevel);
    } else {
        t.b(stream::kUByteArray).b(stream::kUByte).b(3);
        t.b(color & 0xFF).b((color >> 8) & 0xFF).b((color >> 16) & 0xFF);
        t.b(stream::kAttributeTag).b(stream::kRgbColour);
    }
}

// 28.4 to whole device pixels.
POINTL Pixel(const POINTFIX& p) {
    return POINTL{p.x >> 4, p.y >> 4};
}

// The box that points are clamped to (ClampToDevice).
RECTL DeviceBox(const PDEV* pdev) {
    return pdev->vector.page ? pdev->vector.deviceBox
                             : RECTL{-kDeviceLimit, -kDeviceLimit, kDeviceLimit, kDeviceLimit};
}

// The points of a path record as whole device pixels clamped to the device,
// worked out where they are read (no copy of the record's points).
class DevicePoints {
  public:
    DevicePoints(const PDEV* pdev, const POINTFIX* points)
        : points_(points), box_(DeviceBox(pdev)) {}
    POINTL operator[](size_t i) const {
        POINTL p = Raw(i);
        return POINTL{Clamp(p.x, box_.left, box_.right), Clamp(p.y, box_.top, box_.bottom)};
    }
    // Before the clamp.
    POINTL Raw(size_t i) const { return Pixel(points_[i]); }
    DevicePoints From(size_t first) const {
        DevicePoints rest = *this;
        rest.points_ += first;
        return rest;
    }

  private:
    const POINTFIX* points_;
    RECTL box_;
};

// Bytes of a run before its points: count, point type, operator, data header.
constexpr size_t kRunHeader = 16;

// One run of points as a relative (or, where an offset does not fit, an
// absolute) path.
BOOL EmitRun(PDEV* pdev, const DevicePoints& pts, size_t n, bool beziers) {
    VectorState& v = Vector(pdev);
    // Each point with its offset from the point it is relative to: the one
    // before it on a line, the curve's start for the three of a curve.
    const POINTL from = v.current;
    auto each = [&](auto visit) {
        POINTL start = from, previous = from;
        for (size_t i = 0; i < n; ++i) {
            POINTL p = pts[i];
            if (!beziers || (i % 3 == 0 && i)) start = previous;
            visit(p, POINTL{p.x - start.x, p.y - start.y});
            previous = p;
        }
    };
    // The range of the offsets' coordinates (and of the points' own) says
    // which point type holds them all and whether one is too far; 0 in the
    // range changes no answer.
    LONG low = 0, high = 0, lowPoint = 0;
    each([&](POINTL p, POINTL o) {
        low = std::min({low, o.x, o.y});
        high = std::max({high, o.x, o.y});
        lowPoint = std::min({lowPoint, p.x, p.y});
    });
    const bool tooFar = low < -kDeviceLimit || high > kDeviceLimit;
    const bool negative = low < 0;
    const bool big = high > 127;
    const bool wide = low < -128 || high > 127;
    const bool negativePoint = lowPoint < 0;
    v.current = pts[n - 1];
    TokenWriter t;
    if (beziers && tooFar) {
        // One curve at a time with absolute points.
        for (size_t i = 0; i + 2 < n; i += 3) {
            const int ids[3] = {stream::kControlPoint1, stream::kControlPoint2, stream::kEndPoint};
            for (int k = 0; k < 3; ++k) {
                POINTL p = pts[i + k];
                switch (EncodeNumber(p)) {
                case stream::kPointUByte:
                    t.b(stream::kUBytePair).b(p.x).b(p.y);
                    break;
                case stream::kPointUInt16:
                    t.b(stream::kUInt16Pair).w(p.x).w(p.y);
                    break;
                default:
                    p = ClampPoint(p, stream::kPointSInt16);
                    t.b(stream::kSInt16Pair).w(p.x).w(p.y);
                    break;
                }
                t.b(stream::kAttributeTag).b(ids[k]);
            }
            t.b(stream::kBezierPath);
        }
        return t.send(pdev);
    }
    stream::PointType kind = !negative && !big   ? stream::kPointUByte
                             : negative && !wide ? stream::kPointSByte
                             : big && !negative  ? stream::kPointUInt16
                                                 : stream::kPointSInt16;
    bool absolute = !beziers && tooFar;
    if (absolute && kind == stream::kPointUInt16 && negativePoint) kind = stream::kPointSInt16;
    const bool twoBytes = kind == stream::kPointUInt16 || kind == stream::kPointSInt16;
    const size_t perPoint = twoBytes ? 4 : 2;
    std::vector<BYTE>& bytes = t.bytes();
    bytes.reserve(kRunHeader + n * perPoint);
    t.count(n, stream::kNumberOfPoints).ubyte(kind, stream::kPointType);
    t.b(beziers    ? stream::kBezierPathRelative
        : absolute ? stream::kLinePath
                   : stream::kLinePathRelative);
    t.b(stream::kDataTag).d(static_cast<DWORD>(n * perPoint));
    // The points straight into the token's bytes, little-endian.
    size_t at = bytes.size();
    bytes.resize(at + n * perPoint);
    BYTE* out = bytes.data() + at;
    each([&](POINTL p, POINTL o) {
        POINTL q = ClampPoint(absolute ? p : o, kind);
        for (LONG c : {q.x, q.y}) {
            *out++ = static_cast<BYTE>(c & 0xFF);
            if (twoBytes) *out++ = static_cast<BYTE>((c >> 8) & 0xFF);
        }
    });
    return t.send(pdev);
}

BOOL SetCursorTo(PDEV* pdev, POINTL p) {
    return TokenWriter().spair(p, stream::kPoint).b(stream::kSetCursor).send(pdev);
}

} // namespace

void ResetVectorState(PDEV* pdev) {
    VectorState& v = pdev->vector;
    v = VectorState{};
    v.page = pdev->pageCount + 1;
    v.drawState = draw::WholePageClip;
    v.rop = kNoRop;
    v.paintTransfer = v.sourceTransfer = v.fillMode = kUnknownMode;
    v.join = v.cap = v.miter = kUnknownCode;
    v.deviceBox = RECTL{-kDeviceLimit, -kDeviceLimit, kDeviceLimit, kDeviceLimit};
    v.currentPattern = -1;
}

VectorState& Vector(PDEV* pdev) {
    if (pdev->vector.page != pdev->pageCount + 1) ResetVectorState(pdev);
    return pdev->vector;
}

bool GrayMode(const PDEV* pdev) {
    return PrivU16(pdev->devmode, kColorMode) == 1 &&
           pdev->devmode.dm.dmColor == DMCOLOR_MONOCHROME;
}

BYTE GrayLevel(const PDEV* pdev, ULONG color) {
    // The model's weights, loaded with the physical device; a device without
    // its halftone record has the model library's defaults.
    LONG wr = model::kDefaultGrayRed, wg = model::kDefaultGrayGreen, wb = model::kDefaultGrayBlue;
    if (pdev->halftone) {
        wr = pdev->halftone->grayRed;
        wg = pdev->halftone->grayGreen;
        wb = pdev->halftone->grayBlue;
    }
    LONG sum = wr + wg + wb;
    if (sum == 0) return 0;
    LONG level =
        (static_cast<LONG>(color & 0xFF) * wr + static_cast<LONG>((color >> 8) & 0xFF) * wg +
         static_cast<LONG>((color >> 16) & 0xFF) * wb) /
        sum;
    return static_cast<BYTE>(Clamp(level, 0, 255));
}

BOOL WriteColor(PDEV* pdev, ULONG color) {
    TokenWriter t;
    AddColor(t, pdev, color);
    return t.send(pdev);
}

BOOL SetBrushColor(PDEV* pdev, ULONG color) {
    VectorState& v = Vector(pdev);
    color &= 0xFFFFFF;
    if ((v.drawState & draw::SolidBrush) && v.brushColor == color) return TRUE;
    TokenWriter t;
    AddColor(t, pdev, color);
    t.b(stream::kSetBrushSource);
    if (!t.send(pdev)) return FALSE;
    v.drawState = (v.drawState & ~draw::BrushMask) | draw::SolidBrush;
    v.brushColor = color;
    v.currentPattern = -1;
    return TRUE;
}

BOOL SetPenColor(PDEV* pdev, ULONG color) {
    VectorState& v = Vector(pdev);
    color &= 0xFFFFFF;
    if ((v.drawState & draw::SolidPen) && v.penColor == color) return TRUE;
    TokenWriter t;
    AddColor(t, pdev, color);
    t.b(stream::kSetPenSource);
    if (!t.send(pdev)) return FALSE;
    v.drawState = (v.drawState & ~draw::PenMask) | draw::SolidPen;
    v.penColor = color;
    return TRUE;
}

BOOL SelectNoPen(PDEV* pdev) {
    VectorState& v = Vector(pdev);
    if (v.drawState & draw::NoPen) return TRUE;
    if (!TokenWriter().ubyte(0, stream::kNullPen).b(stream::kSetPenSource).send(pdev)) return FALSE;
    v.drawState = (v.drawState & ~draw::PenMask) | draw::NoPen;
    return TRUE;
}

BOOL SelectNoBrush(PDEV* pdev) {
    VectorState& v = Vector(pdev);
    if (v.drawState & draw::NoBrush) return TRUE;
    if (!TokenWriter().ubyte(0, stream::kNullBrush).b(stream::kSetBrushSource).send(pdev))
        return FALSE;
    v.drawState = (v.drawState & ~draw::BrushMask) | draw::NoBrush;
    v.currentPattern = -1;
    return TRUE;
}

BOOL SetRop(PDEV* pdev, DWORD rop) {
    VectorState& v = Vector(pdev);
    rop &= 0xFF;
    if (v.rop == rop) return TRUE;
    if (!TokenWriter()
             .ubyte(static_cast<int>(rop), stream::kRasterOperation)
             .b(stream::kSetRasterOperation)
             .send(pdev))
        return FALSE;
    v.rop = rop;
    return TRUE;
}

BOOL SetTransferModes(PDEV* pdev, bool paintTransparent, bool sourceTransparent) {
    VectorState& v = Vector(pdev);
    const WORD paint = paintTransparent ? 1 : 0;
    const WORD source = sourceTransparent ? 1 : 0;
    if (v.paintTransfer != paint) {
        if (!TokenWriter()
                 .ubyte(paint, stream::kTransferMode)
                 .b(stream::kSetPaintTransferMode)
                 .send(pdev))
            return FALSE;
        v.paintTransfer = paint;
    }
    if (v.sourceTransfer != source) {
        if (!TokenWriter()
                 .ubyte(source, stream::kTransferMode)
                 .b(stream::kSetSourceTransferMode)
                 .send(pdev))
            return FALSE;
        v.sourceTransfer = source;
    }
    return TRUE;
}

BOOL SetTransferModes(PDEV* pdev, bool transparent) {
    return SetTransferModes(pdev, transparent, transparent);
}

BOOL SetFillMode(PDEV* pdev, FLONG mode) {
    VectorState& v = Vector(pdev);
    WORD m = (mode & FP_ALTERNATEMODE) ? 1 : 0;
    if (v.fillMode == m) return TRUE;
    if (!TokenWriter().ubyte(m, stream::kFillMode).b(stream::kSetFillMode).send(pdev)) return FALSE;
    v.fillMode = m;
    return TRUE;
}

BOOL SetPenWidth(PDEV* pdev, LONG width) {
    VectorState& v = Vector(pdev);
    DWORD w = static_cast<DWORD>(Clamp(width, 1, 65535));
    if (v.penWidth == w) return TRUE;
    if (!TokenWriter()
             .uint16(static_cast<LONG>(w), stream::kPenWidth)
             .b(stream::kSetPenWidth)
             .send(pdev))
        return FALSE;
    v.penWidth = w;
    return TRUE;
}

namespace {

// A length through the device transform, rounded; lengths that are not
// finite or beyond the 16-bit range are held to it.
LONG Scaled(XFORMOBJ* xform, double length) {
    if (!std::isfinite(length)) return 1;
    length = std::clamp(length, 0.0, 65535.0);
    double factor = 1.0;
    if (xform) {
        POINTL in[2] = {{0, 0}, {0, 10000}};
        POINTL out[2] = {};
        if (XFORMOBJ_bApplyXform(xform, XF_LTOL, 2, in, out)) {
            double dx = out[1].x - out[0].x, dy = out[1].y - out[0].y;
            factor = std::sqrt(dx * dx + dy * dy) / 10000.0;
        }
    }
    return static_cast<LONG>(std::lround(std::min(length * factor, 65535.0)));
}

} // namespace

LONG ScaleByXform(XFORMOBJ* xform, LONG length) {
    return Scaled(xform, length);
}

bool SetPenWidthFromXform(XFORMOBJ* xform, const LINEATTRS* la) {
    if (!la || !(la->fl & LA_GEOMETRIC) || !xform) return true;
    XFORML m{};
    XFORMOBJ_iGetXform(xform, &m);
    // The vector (10000, 10000) goes to (10000 m11 + 10000 m21, 10000 m12 +
    // 10000 m22); the off-diagonal parts are its rotation and shear.
    double scale = std::max(std::fabs(m.eM11), std::fabs(m.eM22)) * 10000.0;
    double turn = std::max(std::fabs(m.eM12), std::fabs(m.eM21)) * 10000.0;
    return scale > 0 && turn <= scale / 1000.0;
}

namespace {

BOOL SendDash(PDEV* pdev, const std::vector<LONG>& dashes) {
    TokenWriter t;
    t.b(stream::kUInt16Array).b(stream::kUInt16).w(static_cast<LONG>(dashes.size()));
    for (LONG d : dashes)
        t.w(Clamp(d, 1, 65535));
    t.b(stream::kAttributeTag).b(stream::kDashStyle).b(stream::kSetLineDash);
    if (!t.send(pdev)) return FALSE;
    Vector(pdev).drawState |= draw::Dashed;
    return TRUE;
}

BOOL SetCode(PDEV* pdev, DWORD* cached, DWORD code, int attrId, int opId) {
    if (*cached == code) return TRUE;
    if (!TokenWriter().ubyte(static_cast<int>(code), attrId).b(opId).send(pdev)) return FALSE;
    *cached = code;
    return TRUE;
}

} // namespace

BOOL SetLineAttributes(PDEV* pdev, const LINEATTRS* la, XFORMOBJ* xform) {
    VectorState& v = Vector(pdev);
    LINEATTRS solid{};
    solid.elWidth.l = 1;
    if (!la) la = &solid;
    bool styled = la->cstyle > 0 && la->pstyle;
    if (la->fl & LA_GEOMETRIC) {
        static const DWORD kJoin[] = {1, 2, 0}; // round, bevel, miter
        static const DWORD kCap[] = {1, 2, 0};  // round, square, butt
        DWORD join = la->iJoin <= JOIN_MITER ? kJoin[la->iJoin] : 0;
        DWORD cap = la->iEndCap <= ENDCAP_BUTT ? kCap[la->iEndCap] : 0;
        if (!SetCode(pdev, &v.join, join, stream::kLineJoin, stream::kSetLineJoin)) return FALSE;
        if (!SetCode(pdev, &v.cap, cap, stream::kLineCap, stream::kSetLineCap)) return FALSE;
        if (la->iJoin == JOIN_MITER) {
            FLOATL limit = la->eMiterLimit;
            DWORD miter =
                std::isfinite(limit) ? static_cast<DWORD>(std::clamp(limit, 0.0f, 65535.0f)) : 0;
            if (v.miter != miter) {
                if (!TokenWriter()
                         .uint16(static_cast<LONG>(miter), stream::kMiterLength)
                         .b(stream::kSetMiterLimit)
                         .send(pdev))
                    return FALSE;
                v.miter = miter;
            }
        }
        if (!SetPenWidth(pdev, Scaled(xform, la->elWidth.e))) return FALSE;
        if (styled) {
            std::vector<LONG> dashes;
            for (ULONG i = 0; i < la->cstyle; ++i)
                dashes.push_back(Scaled(xform, la->pstyle[i].e));
            return SendDash(pdev, dashes);
        }
    } else {
        if (!SetCode(pdev, &v.join, 3, stream::kLineJoin, stream::kSetLineJoin)) return FALSE;
        if (!SetPenWidth(pdev, la->elWidth.l)) return FALSE;
        if (styled) {
            double sum = 0;
            for (ULONG i = 0; i < la->cstyle; ++i)
                sum += std::max<LONG>(0, la->pstyle[i].l);
            double factor = sum > 0 ? (pdev->devmode.dm.dmPrintQuality * 8 / 25.4) / sum : 1;
            std::vector<LONG> dashes;
            for (ULONG i = 0; i < la->cstyle; ++i)
                dashes.push_back(std::max<LONG>(
                    1, static_cast<LONG>(std::max<LONG>(0, la->pstyle[i].l) * factor)));
            return SendDash(pdev, dashes);
        }
    }
    if (v.drawState & draw::Dashed) {
        if (!TokenWriter().ubyte(0, stream::kSolidLine).b(stream::kSetLineDash).send(pdev))
            return FALSE;
        v.drawState &= ~draw::Dashed;
    }
    return TRUE;
}

BOOL SetClipRect(PDEV* pdev, const RECTL* rect) {
    VectorState& v = Vector(pdev);
    RECTL r{};
    if (!rect) {
        // Back to the whole page: the printer still holds the last clip
        // rectangle, so it is replaced by one that holds the drawable box.
        if (v.drawState & draw::WholePageClip) return TRUE;
        r = v.deviceBox;
    } else {
        r = RECTL{Clamp(rect->left, -32768, 32767), Clamp(rect->top, -32768, 32767),
                  Clamp(rect->right, -32768, 32767), Clamp(rect->bottom, -32768, 32767)};
        if (r.right - r.left < 2) r.right = r.left + 2;
        if (r.bottom - r.top < 2) r.bottom = r.top + 2;
        if (!(v.drawState & draw::WholePageClip) && r.left == v.clip.left && r.top == v.clip.top &&
            r.right == v.clip.right && r.bottom == v.clip.bottom)
            return TRUE;
    }
    TokenWriter t;
    t.ubyte(0, stream::kClipRegion);
    t.b(stream::kSInt16Box)
        .w(r.left)
        .w(r.top)
        .w(r.right)
        .w(r.bottom)
        .b(stream::kAttributeTag)
        .b(stream::kBoundingBox);
    t.b(stream::kSetClipRectangle);
    if (!t.send(pdev)) return FALSE;
    if (rect) {
        v.clip = r;
        v.drawState &= ~draw::WholePageClip;
    } else {
        v.drawState |= draw::WholePageClip;
    }
    return TRUE;
}

bool IsComplexClip(const CLIPOBJ* pco) {
    return pco && pco->iDComplexity == DC_COMPLEX;
}

BOOL ClipToObject(PDEV* pdev, CLIPOBJ* pco) {
    VectorState& v = Vector(pdev);
    if (!pco || pco->iDComplexity == DC_TRIVIAL) {
        if (v.drawState & draw::WholePageClip) return TRUE;
        return SetClipRect(pdev, nullptr);
    }
    if (pco->iDComplexity == DC_RECT) return SetClipRect(pdev, &pco->rclBounds);
    return FALSE;
}

POINTL ClampPoint(POINTL p, stream::PointType kind) {
    static const LONG kLo[] = {0, -128, 0, -32768};
    static const LONG kHi[] = {255, 127, 65535, 32767};
    return POINTL{Clamp(p.x, kLo[kind], kHi[kind]), Clamp(p.y, kLo[kind], kHi[kind])};
}

stream::PointType EncodeNumber(POINTL p) {
    if (p.x >= 0 && p.y >= 0 && p.x <= 255 && p.y <= 255) return stream::kPointUByte;
    if (p.x >= 0 && p.y >= 0) return stream::kPointUInt16;
    return stream::kPointSInt16;
}

POINTL ClampToDevice(const PDEV* pdev, POINTL p) {
    RECTL box = DeviceBox(pdev);
    return POINTL{Clamp(p.x, box.left, box.right), Clamp(p.y, box.top, box.bottom)};
}

BOOL EmitPath(PDEV* pdev, PATHOBJ* ppo) {
    VectorState& v = Vector(pdev);
    if (!ppo) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!OutputByteList(pdev, {stream::kNewPath})) return FALSE;
    PATHOBJ_vEnumStart(ppo);
    BOOL more = TRUE;
    while (more) {
        PATHDATA pd{};
        more = PATHOBJ_bEnum(ppo, &pd);
        if (pd.count == 0 || !pd.pptfx) continue;
        DevicePoints all(pdev, pd.pptfx);
        ULONG first = 0;
        if (pd.flags & PD_BEGINSUBPATH) {
            v.current = all[0];
            if (!SetCursorTo(pdev, v.current)) return FALSE;
            first = 1;
        }
        ULONG remaining = pd.count - first;
        bool beziers = (pd.flags & PD_BEZIERS) != 0;
        if (beziers && remaining % 3 != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DevicePoints pts = all.From(first);
        if (remaining == 1) {
            POINTL p = pts[0];
            if (!TokenWriter().spair(p, stream::kEndPoint).b(stream::kLinePath).send(pdev))
                return FALSE;
            v.current = p;
        } else if (remaining > 1) {
            bool clamped = false;
            if (beziers)
                for (ULONG i = 0; i < remaining && !clamped; ++i) {
                    POINTL raw = pts.Raw(i), p = pts[i];
                    clamped = raw.x != p.x || raw.y != p.y;
                }
            for (size_t at = 0; at < remaining; at += kRunLimit) {
                size_t n = std::min<size_t>(kRunLimit, remaining - at);
                if (clamped) {
                    // Curves whose points were clamped go out with absolute points.
                    TokenWriter t;
                    for (size_t i = at; i + 2 < at + n; i += 3) {
                        const int ids[3] = {stream::kControlPoint1, stream::kControlPoint2,
                                            stream::kEndPoint};
                        for (int k = 0; k < 3; ++k) {
                            POINTL p = pts[i + k];
                            switch (EncodeNumber(p)) {
                            case stream::kPointUByte:
                                t.b(stream::kUBytePair).b(p.x).b(p.y);
                                break;
                            case stream::kPointUInt16:
                                t.b(stream::kUInt16Pair).w(p.x).w(p.y);
                                break;
                            default:
                                t.b(stream::kSInt16Pair).w(p.x).w(p.y);
                                break;
                            }
                            t.b(stream::kAttributeTag).b(ids[k]);
                        }
                        t.b(stream::kBezierPath);
                    }
                    if (!t.send(pdev)) return FALSE;
                    v.current = pts[at + n - 1];
                } else if (!EmitRun(pdev, pts.From(at), n, beziers)) {
                    return FALSE;
                }
            }
        }
        if ((pd.flags & PD_CLOSEFIGURE) && !OutputByteList(pdev, {stream::kCloseSubpath}))
            return FALSE;
    }
    return TRUE;
}

BOOL PaintPath(PDEV* pdev, PATHOBJ* ppo) {
    return EmitPath(pdev, ppo) && OutputByteList(pdev, {stream::kPaintPath});
}

BOOL EmitRectangle(PDEV* pdev, POINTL a, POINTL b) {
    if (a.x == b.x) ++b.x;
    if (a.y == b.y) ++b.y;
    a = ClampPoint(a, stream::kPointUInt16);
    b = ClampPoint(b, stream::kPointUInt16);
    if (a.x == b.x && a.y == b.y) return TRUE;
    TokenWriter t;
    bool gray = GrayMode(pdev);
    if (!gray) t.b(stream::kNewPath);
    t.b(stream::kUInt16Box)
        .w(a.x)
        .w(a.y)
        .w(b.x)
        .w(b.y)
        .b(stream::kAttributeTag)
        .b(stream::kBoundingBox);
    if (gray)
        t.b(stream::kRectangle);
    else
        t.b(stream::kRectanglePath).b(stream::kPaintPath);
    return t.send(pdev);
}

BOOL EmitLine(PDEV* pdev, LONG x0, LONG y0, LONG x1, LONG y1) {
    TokenWriter t;
    t.b(stream::kNewPath);
    t.spair(POINTL{x0, y0}, stream::kPoint).b(stream::kSetCursor);
    t.spair(POINTL{x1 - x0, y1 - y0}, stream::kEndPoint).b(stream::kLinePathRelative);
    t.b(stream::kPaintPath);
    if (!t.send(pdev)) return FALSE;
    Vector(pdev).current = ClampToDevice(pdev, POINTL{x1, y1});
    return TRUE;
}

BOOL SetSolidBrush(PDEV* pdev, const RECTL* rect, ULONG color, DWORD rop, bool transparent) {
    if (!SetBrushColor(pdev, color) || !SelectNoPen(pdev) || !SetRop(pdev, rop) ||
        !SetTransferModes(pdev, transparent))
        return FALSE;
    return rect ? EmitRectangle(pdev, POINTL{rect->left, rect->top},
                                POINTL{rect->right, rect->bottom})
                : TRUE;
}

namespace {

// The clip's rectangles, merged downward where one continues the previous
// with the same left and right edges; `each` gets every merged rectangle.
template <class Each> BOOL ForMergedRects(CLIPOBJ* pco, Each each) {
    struct {
        ULONG c;
        RECTL arcl[kClipBatch];
    } batch;
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
    bool pending = false;
    RECTL open{};
    BOOL more = TRUE;
    while (more) {
        batch.c = 0;
        more = CLIPOBJ_bEnum(pco, sizeof batch, reinterpret_cast<ULONG*>(&batch));
        for (ULONG i = 0; i < batch.c && i < static_cast<ULONG>(kClipBatch); ++i) {
            const RECTL& r = batch.arcl[i];
            if (r.right <= r.left || r.bottom <= r.top) continue;
            if (pending && r.left == open.left && r.right == open.right && r.top == open.bottom) {
                open.bottom = r.bottom;
                continue;
            }
            if (pending && !each(open)) return FALSE;
            open = r;
            pending = true;
        }
    }
    return pending ? each(open) : TRUE;
}

} // namespace

BOOL PaintPathInClip(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco) {
    if (!IsComplexClip(pco)) return ClipToObject(pdev, pco) && PaintPath(pdev, ppo);
    return ForMergedRects(
        pco, [&](const RECTL& r) { return SetClipRect(pdev, &r) && PaintPath(pdev, ppo); });
}

BOOL FillRectsWithBrush(PDEV* pdev, CLIPOBJ* pco, ULONG color, DWORD rop, bool transparent) {
    if (!IsComplexClip(pco)) {
        RECTL whole = pco ? pco->rclBounds : Vector(pdev).deviceBox;
        return ClipToObject(pdev, pco) && SetSolidBrush(pdev, &whole, color, rop, transparent);
    }
    return ForMergedRects(pco, [&](const RECTL& r) {
        return SetClipRect(pdev, &r) && SetSolidBrush(pdev, &r, color, rop, transparent);
    });
}

} // namespace inkforge
