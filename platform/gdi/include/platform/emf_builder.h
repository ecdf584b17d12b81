// Writes enhanced metafiles record by record, for the sample documents, the
// tests and the fuzz seeds: every record exactly as asked (the 16-bit forms
// included), with the header's sizes and counts filled in at the end.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "win/emf.h"

namespace platform::gdi {

class EmfBuilder {
  public:
    // A picture of device pixels on a reference device of millimetres; the
    // frame is the whole device.
    EmfBuilder(SIZEL device, SIZEL millimetres, std::u16string description = u"")
        : device_(device), mm_(millimetres), description_(std::move(description)) {}

    // A record of type with body (what follows type and size), padded to 4.
    EmfBuilder& Record(DWORD type, const void* body, size_t size) {
        size_t total = 8 + (size + 3) / 4 * 4;
        Put(type);
        Put(static_cast<DWORD>(total));
        const auto* b = static_cast<const BYTE*>(body);
        records_.insert(records_.end(), b, b + size);
        records_.resize(records_.size() + (total - 8 - size), 0);
        ++count_;
        return *this;
    }
    // A record whose body is the fields one after the other.
    template <class... T> EmfBuilder& Fields(DWORD type, const T&... fields) {
        std::vector<BYTE> body;
        (Append(body, fields), ...);
        return Record(type, body.data(), body.size());
    }
    EmfBuilder& Empty(DWORD type) { return Record(type, nullptr, 0); }
    EmfBuilder& Value(DWORD type, DWORD v) { return Fields(type, v); }
    EmfBuilder& Point(DWORD type, LONG x, LONG y) { return Fields(type, POINTL{x, y}); }
    EmfBuilder& Size(DWORD type, LONG cx, LONG cy) { return Fields(type, SIZEL{cx, cy}); }
    EmfBuilder& Rect(DWORD type, RECTL r) { return Fields(type, r); }

    EmfBuilder& MoveTo(LONG x, LONG y) { return Point(EMR_MOVETOEX, x, y); }
    EmfBuilder& LineTo(LONG x, LONG y) { return Point(EMR_LINETO, x, y); }
    // POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO.
    EmfBuilder& Poly(DWORD type, const std::vector<POINTL>& pts) {
        return Fields(type, BoundsOf(pts), static_cast<DWORD>(pts.size()), pts);
    }
    // The 16-bit forms.
    EmfBuilder& Poly16(DWORD type, const std::vector<POINTS>& pts) {
        return Fields(type, BoundsOf(pts), static_cast<DWORD>(pts.size()), pts);
    }
    // POLYPOLYLINE, POLYPOLYGON.
    EmfBuilder& PolyPoly(DWORD type, const std::vector<std::vector<POINTL>>& polys) {
        return PolyPolyOf(type, polys);
    }
    // POLYPOLYLINE16, POLYPOLYGON16.
    EmfBuilder& PolyPoly16(DWORD type, const std::vector<std::vector<POINTS>>& polys) {
        return PolyPolyOf(type, polys);
    }
    EmfBuilder& PolyDraw(const std::vector<POINTL>& pts, const std::vector<BYTE>& types) {
        return Fields(EMR_POLYDRAW, BoundsOf(pts), static_cast<DWORD>(pts.size()), pts, types);
    }
    EmfBuilder& PolyDraw16(const std::vector<POINTS>& pts, const std::vector<BYTE>& types) {
        return Fields(EMR_POLYDRAW16, BoundsOf(pts), static_cast<DWORD>(pts.size()), pts, types);
    }
    // ELLIPSE, RECTANGLE.
    EmfBuilder& Box(DWORD type, RECTL box) { return Fields(type, box); }
    EmfBuilder& RoundRect(RECTL box, SIZEL corner) { return Fields(EMR_ROUNDRECT, box, corner); }
    // ARC, ARCTO, CHORD, PIE.
    EmfBuilder& Arc(DWORD type, RECTL box, POINTL start, POINTL end) {
        return Fields(type, box, start, end);
    }
    EmfBuilder& AngleArc(POINTL center, DWORD radius, FLOAT start, FLOAT sweep) {
        return Fields(EMR_ANGLEARC, center, radius, start, sweep);
    }

    EmfBuilder& CreatePen(DWORD index, UINT style, LONG width, COLORREF color) {
        Use(index);
        return Fields(EMR_CREATEPEN, index, LOGPEN{style, POINT{width, 0}, color});
    }
    EmfBuilder& ExtCreatePen(DWORD index, DWORD style, DWORD width, UINT brushStyle, COLORREF color,
                             ULONG hatch, const std::vector<DWORD>& entries = {}) {
        Use(index);
        DWORD none = 0;
        return Fields(EMR_EXTCREATEPEN, index, none, none, none, none, style, width, brushStyle,
                      color, hatch, static_cast<DWORD>(entries.size()), entries);
    }
    EmfBuilder& CreateBrush(DWORD index, UINT style, COLORREF color, ULONG hatch = 0) {
        Use(index);
        return Fields(EMR_CREATEBRUSHINDIRECT, index, LOGBRUSH32{style, color, hatch});
    }
    // CREATEDIBPATTERNBRUSHPT or CREATEMONOBRUSH: the bitmap information
    // (header and colours) and the bits follow the fixed part.
    EmfBuilder& CreatePatternBrush(DWORD type, DWORD index, UINT usage,
                                   const std::vector<BYTE>& info, const std::vector<BYTE>& bits) {
        Use(index);
        DWORD offBmi = 32, cbBmi = static_cast<DWORD>(info.size());
        DWORD offBits = offBmi + cbBmi, cbBits = static_cast<DWORD>(bits.size());
        return Fields(type, index, usage, offBmi, cbBmi, offBits, cbBits, info, bits);
    }
    EmfBuilder& SelectObject(DWORD index) { return Value(EMR_SELECTOBJECT, index); }
    EmfBuilder& SelectStock(int stock) {
        return Value(EMR_SELECTOBJECT, ENHMETA_STOCK_OBJECT | static_cast<DWORD>(stock));
    }
    EmfBuilder& DeleteObject(DWORD index) { return Value(EMR_DELETEOBJECT, index); }
    EmfBuilder& WorldTransform(const XFORM& x) { return Fields(EMR_SETWORLDTRANSFORM, x); }
    EmfBuilder& ModifyWorldTransform(const XFORM& x, DWORD mode) {
        return Fields(EMR_MODIFYWORLDTRANSFORM, x, mode);
    }
    // EXTSELECTCLIPRGN of rectangles in reference device pixels; none with
    // RGN_COPY resets the clip.
    EmfBuilder& SelectClipRegion(const std::vector<RECTL>& rects, DWORD mode) {
        if (rects.empty()) return Fields(EMR_EXTSELECTCLIPRGN, DWORD{0}, mode);
        std::vector<BYTE> data = RegionData(rects);
        return Fields(EMR_EXTSELECTCLIPRGN, static_cast<DWORD>(data.size()), mode, data);
    }
    // FILLRGN of rectangles in logical units with the brush of a slot.
    EmfBuilder& FillRegion(const std::vector<RECTL>& rects, DWORD brush) {
        std::vector<BYTE> data = RegionData(rects);
        return Fields(EMR_FILLRGN, BoundsOf(rects), static_cast<DWORD>(data.size()), brush, data);
    }
    EmfBuilder& Comment(const std::string& text) {
        std::vector<BYTE> data(text.begin(), text.end());
        return Fields(EMR_GDICOMMENT, static_cast<DWORD>(data.size()), data);
    }

    // The metafile: header, records, end of file.
    std::vector<BYTE> Finish() const {
        std::vector<BYTE> desc;
        for (char16_t c : description_)
            desc.push_back(static_cast<BYTE>(c)), desc.push_back(static_cast<BYTE>(c >> 8));
        size_t headerSize = sizeof(ENHMETAHEADER) + (desc.size() + 3) / 4 * 4;
        ENHMETAHEADER h{};
        h.iType = EMR_HEADER;
        h.nSize = static_cast<DWORD>(headerSize);
        h.rclBounds = RECTL{0, 0, device_.cx - 1, device_.cy - 1};
        h.rclFrame = RECTL{0, 0, mm_.cx * 100, mm_.cy * 100};
        h.dSignature = ENHMETA_SIGNATURE;
        h.nVersion = 0x10000;
        h.nBytes = static_cast<DWORD>(headerSize + records_.size() + sizeof(EMREOF));
        h.nRecords = count_ + 2;
        h.nHandles = static_cast<WORD>(handles_);
        h.nDescription = static_cast<DWORD>(description_.size());
        h.offDescription = description_.empty() ? 0 : sizeof(ENHMETAHEADER);
        h.szlDevice = device_;
        h.szlMillimeters = mm_;
        h.szlMicrometers = SIZEL{mm_.cx * 1000, mm_.cy * 1000};
        std::vector<BYTE> out(headerSize, 0);
        std::memcpy(out.data(), &h, sizeof h);
        if (!desc.empty()) std::memcpy(out.data() + sizeof h, desc.data(), desc.size());
        out.insert(out.end(), records_.begin(), records_.end());
        EMREOF eof{{EMR_EOF, sizeof(EMREOF)}, 0, 16, sizeof(EMREOF)};
        const auto* e = reinterpret_cast<const BYTE*>(&eof);
        out.insert(out.end(), e, e + sizeof eof);
        return out;
    }

  private:
    template <class T> static void Append(std::vector<BYTE>& out, const T& v) {
        const auto* b = reinterpret_cast<const BYTE*>(&v);
        out.insert(out.end(), b, b + sizeof v);
    }
    template <class T> static void Append(std::vector<BYTE>& out, const std::vector<T>& v) {
        for (const T& x : v)
            Append(out, x);
    }
    void Put(DWORD v) { Append(records_, v); }
    void Use(DWORD index) { handles_ = std::max<DWORD>(handles_, index + 1); }

    template <class P> static RECTL BoundsOf(const std::vector<P>& pts) {
        if (pts.empty()) return RECTL{0, 0, -1, -1};
        RECTL r{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
        for (const P& p : pts) {
            r.left = std::min<LONG>(r.left, p.x), r.right = std::max<LONG>(r.right, p.x);
            r.top = std::min<LONG>(r.top, p.y), r.bottom = std::max<LONG>(r.bottom, p.y);
        }
        return r;
    }
    static RECTL BoundsOf(const std::vector<RECTL>& rects) {
        std::vector<POINTL> corners;
        for (const RECTL& r : rects)
            corners.push_back(POINTL{r.left, r.top}), corners.push_back(POINTL{r.right, r.bottom});
        return BoundsOf(corners);
    }

  public:
    // Region data {RGNDATAHEADER, rectangles} as the region records hold it.
    static std::vector<BYTE> RegionData(const std::vector<RECTL>& rects) {
        RGNDATAHEADER h{};
        h.dwSize = sizeof h;
        h.iType = RDH_RECTANGLES;
        h.nCount = static_cast<DWORD>(rects.size());
        h.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECTL));
        RECTL b = BoundsOf(rects);
        h.rcBound = RECT{b.left, b.top, b.right, b.bottom};
        std::vector<BYTE> data;
        Append(data, h);
        Append(data, rects);
        return data;
    }

  private:
    template <class P>
    EmfBuilder& PolyPolyOf(DWORD type, const std::vector<std::vector<P>>& polys) {
        std::vector<DWORD> counts;
        std::vector<P> all;
        for (const auto& p : polys) {
            counts.push_back(static_cast<DWORD>(p.size()));
            all.insert(all.end(), p.begin(), p.end());
        }
        return Fields(type, BoundsOf(all), static_cast<DWORD>(polys.size()),
                      static_cast<DWORD>(all.size()), counts, all);
    }

    SIZEL device_, mm_;
    std::u16string description_;
    std::vector<BYTE> records_;
    DWORD count_ = 0;
    DWORD handles_ = 1;
};

} // namespace platform::gdi
