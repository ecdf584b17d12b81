// The bitmap and gradient records. A record's bitmap (header, colour table
// and bits at offsets inside the record) becomes a bitmap selected into a
// memory device context that stands for the recording's source, so that the
// record plays through the same function that recorded it.
#include "emf_raster_records.h"

#include <cmath>
#include <vector>

#include "dib.h"
#include "gdi_internal.h"
#include "gdi_objects.h"
#include "win/gdi_bitmap.h"

namespace platform::gdi {
namespace {

// Offsets of the fields the blit records share (BITBLT, STRETCHBLT,
// MASKBLT, ALPHABLEND, TRANSPARENTBLT).
constexpr size_t kDest = 24;       // x, y, cx, cy
constexpr size_t kRop = 40;        // the operation, blend function or key colour
constexpr size_t kSrcPoint = 44;   // xSrc, ySrc
constexpr size_t kXformSrc = 52;   // XFORM
constexpr size_t kBkSrc = 76;      // COLORREF
constexpr size_t kUsageSrc = 80;   // then offBmi, cbBmi, offBits, cbBits
constexpr size_t kSrcExtent = 100; // cxSrc, cySrc (not in BITBLT and MASKBLT)
constexpr size_t kMaskBlt = 100;   // xMask, yMask, iUsageMask, offBmi, cbBmi, offBits, cbBits
constexpr size_t kPlgPoints = 24;  // three POINTLs
constexpr size_t kPlgSrc = 48;     // xSrc, ySrc, cxSrc, cySrc, XFORM, COLORREF, bitmap, mask

struct BitmapRef {
    DWORD usage = 0, offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0;
};

bool GetRef(const RecordReader& r, size_t at, BitmapRef* b) {
    return r.Get(at, &b->usage) && r.Get(at + 4, &b->offBmi) && r.Get(at + 8, &b->cbBmi) &&
           r.Get(at + 12, &b->offBits) && r.Get(at + 16, &b->cbBits);
}

// Reads the bitmap a record carries; false when it does not lie inside the
// record or cannot be read.
bool ReadRecordDib(const RecordReader& r, const BitmapRef& b, Dib* out) {
    if (!r.Fits(b.offBmi, b.cbBmi, 1) || !r.Fits(b.offBits, b.cbBits, 1) || b.cbBmi == 0)
        return false;
    DibHeader h;
    if (!ReadDibHeader(r.At(b.offBmi), b.cbBmi, &h)) return false;
    if (DibInfoSize(h, b.usage) > b.cbBmi) return false;
    return ReadDib(r.At(b.offBmi), b.cbBmi, r.At(b.offBits), b.cbBits, b.usage, out);
}

// A memory device context holding the record's bitmap, its background
// colour that of the recorded source; everything freed with it.
class SourceDc {
  public:
    explicit SourceDc(const Dib& dib, COLORREF bk) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = BitmapFromDib(dib);
        if (dc_ && bitmap_) old_ = SelectObject(dc_, bitmap_);
        if (dc_) SetBkColor(dc_, bk);
    }
    ~SourceDc() {
        if (old_) SelectObject(dc_, old_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    SourceDc(const SourceDc&) = delete;
    SourceDc& operator=(const SourceDc&) = delete;
    explicit operator bool() const { return dc_ && bitmap_ && old_; }
    HDC dc() const { return dc_; }

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

// The source rectangle through the recorded source transform (its scale and
// offset; a source is never turned).
void MapSource(const XFORM& x, LONG* xs, LONG* ys, LONG* ws, LONG* hs) {
    if (!std::isfinite(x.eM11) || !std::isfinite(x.eM22) || !std::isfinite(x.eDx) ||
        !std::isfinite(x.eDy) || x.eM11 == 0 || x.eM22 == 0)
        return;
    double x0 = *xs * x.eM11 + x.eDx, y0 = *ys * x.eM22 + x.eDy;
    double x1 = (double(*xs) + *ws) * x.eM11 + x.eDx, y1 = (double(*ys) + *hs) * x.eM22 + x.eDy;
    auto clamp = [](double v) {
        return static_cast<LONG>(std::lround(std::fmax(-1e9, std::fmin(1e9, v))));
    };
    *xs = clamp(x0), *ys = clamp(y0), *ws = clamp(x1) - *xs, *hs = clamp(y1) - *ys;
}

RasterRecordResult Result(BOOL ok) {
    return ok ? RasterRecordResult::Played : RasterRecordResult::Failed;
}

RasterRecordResult Blit(HDC hdc, const RecordReader& r, DWORD type) {
    LONG dest[4];
    DWORD rop;
    LONG src[2];
    XFORM xform;
    COLORREF bk;
    BitmapRef ref;
    for (int i = 0; i < 4; ++i)
        if (!r.Get(kDest + 4 * i, &dest[i])) return RasterRecordResult::Malformed;
    if (!r.Get(kRop, &rop) || !r.Get(kSrcPoint, &src[0]) || !r.Get(kSrcPoint + 4, &src[1]) ||
        !r.Get(kXformSrc, &xform) || !r.Get(kBkSrc, &bk) || !GetRef(r, kUsageSrc, &ref))
        return RasterRecordResult::Malformed;
    LONG ws = dest[2], hs = dest[3];
    bool stretch = type == EMR_STRETCHBLT || type == EMR_ALPHABLEND || type == EMR_TRANSPARENTBLT;
    if (stretch && (!r.Get(kSrcExtent, &ws) || !r.Get(kSrcExtent + 4, &hs)))
        return RasterRecordResult::Malformed;
    // A blit without a bitmap reads no source: a pattern or destination fill.
    if (ref.cbBmi == 0 && (type == EMR_BITBLT || type == EMR_STRETCHBLT))
        return Result(PatBlt(hdc, dest[0], dest[1], dest[2], dest[3], rop));
    Dib dib;
    if (!ReadRecordDib(r, ref, &dib)) return RasterRecordResult::Malformed;
    SourceDc source(dib, bk);
    if (!source) return RasterRecordResult::Failed;
    LONG xs = src[0], ys = src[1];
    MapSource(xform, &xs, &ys, &ws, &hs);
    switch (type) {
    case EMR_BITBLT:
        return Result(BitBlt(hdc, dest[0], dest[1], dest[2], dest[3], source.dc(), xs, ys, rop));
    case EMR_STRETCHBLT:
        return Result(
            StretchBlt(hdc, dest[0], dest[1], dest[2], dest[3], source.dc(), xs, ys, ws, hs, rop));
    case EMR_TRANSPARENTBLT:
        return Result(TransparentBlt(hdc, dest[0], dest[1], dest[2], dest[3], source.dc(), xs, ys,
                                     ws, hs, rop));
    case EMR_ALPHABLEND: {
        BLENDFUNCTION bf{static_cast<BYTE>(rop), static_cast<BYTE>(rop >> 8),
                         static_cast<BYTE>(rop >> 16), static_cast<BYTE>(rop >> 24)};
        return Result(
            AlphaBlend(hdc, dest[0], dest[1], dest[2], dest[3], source.dc(), xs, ys, ws, hs, bf));
    }
    default: { // MASKBLT
        LONG xm, ym;
        BitmapRef mref;
        if (!r.Get(kMaskBlt, &xm) || !r.Get(kMaskBlt + 4, &ym) || !GetRef(r, kMaskBlt + 8, &mref))
            return RasterRecordResult::Malformed;
        if (mref.cbBmi == 0)
            return Result(BitBlt(hdc, dest[0], dest[1], dest[2], dest[3], source.dc(), xs, ys,
                                 rop & 0x00FFFFFF));
        Dib mask;
        if (!ReadRecordDib(r, mref, &mask) || mask.bpp != 1) return RasterRecordResult::Malformed;
        HBITMAP hmask = BitmapFromDib(mask);
        if (!hmask) return RasterRecordResult::Failed;
        BOOL ok = MaskBlt(hdc, dest[0], dest[1], dest[2], dest[3], source.dc(), xs, ys, hmask, xm,
                          ym, rop);
        DeleteObject(hmask);
        return Result(ok);
    }
    }
}

RasterRecordResult Parallelogram(HDC hdc, const RecordReader& r) {
    POINT pts[3];
    LONG src[4], xm, ym;
    XFORM xform;
    COLORREF bk;
    BitmapRef ref, mref;
    for (int i = 0; i < 3; ++i)
        if (!r.Get(kPlgPoints + 8 * i, &pts[i])) return RasterRecordResult::Malformed;
    for (int i = 0; i < 4; ++i)
        if (!r.Get(kPlgSrc + 4 * i, &src[i])) return RasterRecordResult::Malformed;
    if (!r.Get(kPlgSrc + 16, &xform) || !r.Get(kPlgSrc + 40, &bk) ||
        !GetRef(r, kPlgSrc + 44, &ref) || !r.Get(kPlgSrc + 64, &xm) || !r.Get(kPlgSrc + 68, &ym) ||
        !GetRef(r, kPlgSrc + 72, &mref))
        return RasterRecordResult::Malformed;
    Dib dib;
    if (!ReadRecordDib(r, ref, &dib)) return RasterRecordResult::Malformed;
    SourceDc source(dib, bk);
    if (!source) return RasterRecordResult::Failed;
    MapSource(xform, &src[0], &src[1], &src[2], &src[3]);
    HBITMAP hmask = nullptr;
    if (mref.cbBmi) {
        Dib mask;
        if (!ReadRecordDib(r, mref, &mask) || mask.bpp != 1) return RasterRecordResult::Malformed;
        if (!(hmask = BitmapFromDib(mask))) return RasterRecordResult::Failed;
    }
    BOOL ok = PlgBlt(hdc, pts, source.dc(), src[0], src[1], src[2], src[3], hmask, xm, ym);
    if (hmask) DeleteObject(hmask);
    return Result(ok);
}

// Draws a record's DIB through StretchDIBits or SetDIBitsToDevice, after
// checking its header, table and bits lie in the record.
RasterRecordResult Dibits(HDC hdc, const RecordReader& r, DWORD type) {
    LONG f[6];
    for (int i = 0; i < 6; ++i)
        if (!r.Get(24 + 4 * i, &f[i])) return RasterRecordResult::Malformed;
    DWORD offBmi, cbBmi, offBits, cbBits, usage;
    if (!r.Get(48, &offBmi) || !r.Get(52, &cbBmi) || !r.Get(56, &offBits) || !r.Get(60, &cbBits) ||
        !r.Get(64, &usage))
        return RasterRecordResult::Malformed;
    DWORD extra[2];
    if (!r.Get(68, &extra[0]) || !r.Get(72, &extra[1])) return RasterRecordResult::Malformed;
    LONG cyDest = 0;
    if (type == EMR_STRETCHDIBITS && !r.Get(76, &cyDest)) return RasterRecordResult::Malformed;
    if (cbBmi == 0) {
        // No bitmap: an operation without a source.
        if (type != EMR_STRETCHDIBITS) return RasterRecordResult::Played;
        return Result(PatBlt(hdc, f[0], f[1], static_cast<LONG>(extra[1]), cyDest, extra[0]));
    }
    if (!r.Fits(offBmi, cbBmi, 1) || !r.Fits(offBits, cbBits, 1))
        return RasterRecordResult::Malformed;
    DibHeader h;
    if (!ReadDibHeader(r.At(offBmi), cbBmi, &h) || DibInfoSize(h, usage) > cbBmi)
        return RasterRecordResult::Malformed;
    unsigned long long need =
        h.compression == BI_RGB || h.compression == BI_BITFIELDS ? DibBitsSize(h) : h.sizeImage;
    if (need > cbBits) return RasterRecordResult::Malformed;
    // The header is copied so that its table lies in one aligned block.
    std::vector<BYTE> info(r.At(offBmi), r.At(offBmi) + cbBmi);
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(info.data());
    if (type == EMR_STRETCHDIBITS)
        return Result(StretchDIBits(hdc, f[0], f[1], static_cast<LONG>(extra[1]), cyDest, f[2],
                                    f[3], f[4], f[5], r.At(offBits), bmi, usage, extra[0]) != 0);
    // The recorded extents were the recording device's pixels, the
    // metafile's logical units: played, they scale with the picture.
    return Result(StretchDIBits(hdc, f[0], f[1], f[4], f[5], f[2], f[3], f[4], f[5], r.At(offBits),
                                bmi, usage, SRCCOPY) != 0);
}

RasterRecordResult Gradient(HDC hdc, const RecordReader& r) {
    DWORD nVer, nTri, mode;
    if (!r.Get(24, &nVer) || !r.Get(28, &nTri) || !r.Get(32, &mode) ||
        mode > GRADIENT_FILL_TRIANGLE)
        return RasterRecordResult::Malformed;
    size_t per = mode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
    constexpr size_t kVertices = 36;
    if (!r.Fits(kVertices, nVer, sizeof(TRIVERTEX)) ||
        !r.Fits(kVertices + size_t{nVer} * sizeof(TRIVERTEX), nTri, per * sizeof(ULONG)))
        return RasterRecordResult::Malformed;
    if (nVer == 0 || nTri == 0) return RasterRecordResult::Played;
    std::vector<TRIVERTEX> v(nVer);
    std::memcpy(v.data(), r.At(kVertices), v.size() * sizeof(TRIVERTEX));
    std::vector<ULONG> mesh(size_t{nTri} * per);
    std::memcpy(mesh.data(), r.At(kVertices + v.size() * sizeof(TRIVERTEX)),
                mesh.size() * sizeof(ULONG));
    return Result(GradientFill(hdc, v.data(), nVer, mesh.data(), nTri, mode));
}

} // namespace

bool IsRasterRecord(DWORD type) {
    switch (type) {
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
    case EMR_PLGBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT:
    case EMR_GRADIENTFILL:
        return true;
    default:
        return false;
    }
}

RasterRecordResult PlayRasterRecord(HDC hdc, const RecordReader& r, DWORD type) {
    switch (type) {
    case EMR_PLGBLT:
        return Parallelogram(hdc, r);
    case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS:
        return Dibits(hdc, r, type);
    case EMR_GRADIENTFILL:
        return Gradient(hdc, r);
    default:
        return Blit(hdc, r, type);
    }
}

} // namespace platform::gdi
