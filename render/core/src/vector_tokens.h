// The drawing tokens of the printer stream (binary, little-endian): a value
// is a data-type tag and its bytes, an attribute is 0xF8 and its id after its
// value, an operator is one byte after its attributes. The emitters compare
// with the graphics state of the physical device before writing and update
// it after; each returns nonzero on success (the output writer's answer).
//
// A path or a line never starts from wherever the printer's cursor was left:
// the first point of every subpath and the start of every line is sent as
// "set cursor" (a signed 16-bit pair, attribute 0x4C, operator 0x6B) before
// the points that are relative to it.
#pragma once

#include <cstring>
#include <vector>

#include "mix_rop.h"
#include "output_writer.h"
#include "stream_opcodes.h"
#include "vector_state.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// Whether the device's colours go out as gray levels, and a colour's level.
bool GrayMode(const PDEV* pdev);
BYTE GrayLevel(const PDEV* pdev, ULONG color);

BOOL WriteColor(PDEV* pdev, ULONG color);
BOOL SetBrushColor(PDEV* pdev, ULONG color);
BOOL SetPenColor(PDEV* pdev, ULONG color);
BOOL SelectNoPen(PDEV* pdev);
BOOL SelectNoBrush(PDEV* pdev);
BOOL SetRop(PDEV* pdev, DWORD rop);
BOOL SetTransferModes(PDEV* pdev, bool transparent);
// Text paints its brush opaque but lets the glyph image's background through.
BOOL SetTransferModes(PDEV* pdev, bool paintTransparent, bool sourceTransparent);
// FP_ALTERNATEMODE fills alternate, anything else winding.
BOOL SetFillMode(PDEV* pdev, FLONG mode);
BOOL SetPenWidth(PDEV* pdev, LONG width);
// Join, cap, miter limit, pen width and dash of a line; xform may be null.
BOOL SetLineAttributes(PDEV* pdev, const LINEATTRS* la, XFORMOBJ* xform);
// Whether a pen can be stroked as tokens: a geometric pen only under a
// transform without rotation or shear.
bool SetPenWidthFromXform(XFORMOBJ* xform, const LINEATTRS* la);
// A length through the device transform: length x |T(0, 10000) - T(0, 0)| / 10000.
LONG ScaleByXform(XFORMOBJ* xform, LONG length);
// Null: the whole page.
BOOL SetClipRect(PDEV* pdev, const RECTL* rect);
// The clip of a drawing call. FALSE also for a complex clip, which the caller
// sends rectangle by rectangle (PaintPathInClip, FillRectsWithBrush).
BOOL ClipToObject(PDEV* pdev, CLIPOBJ* pco);
bool IsComplexClip(const CLIPOBJ* pco);

BOOL EmitPath(PDEV* pdev, PATHOBJ* ppo);
BOOL PaintPath(PDEV* pdev, PATHOBJ* ppo);
BOOL EmitRectangle(PDEV* pdev, POINTL a, POINTL b);
BOOL EmitLine(PDEV* pdev, LONG x0, LONG y0, LONG x1, LONG y1);
BOOL SetSolidBrush(PDEV* pdev, const RECTL* rect, ULONG color, DWORD rop, bool transparent);

// Paints the path once per merged rectangle of the clip, each sent as the
// clip rectangle first; a clip that is not complex paints it once.
BOOL PaintPathInClip(PDEV* pdev, PATHOBJ* ppo, CLIPOBJ* pco);
// Fills each merged rectangle of the clip with a solid colour.
BOOL FillRectsWithBrush(PDEV* pdev, CLIPOBJ* pco, ULONG color, DWORD rop, bool transparent);

// Value ranges.
POINTL ClampPoint(POINTL p, stream::PointType kind);
stream::PointType EncodeNumber(POINTL p);
POINTL ClampToDevice(const PDEV* pdev, POINTL p);

// The one writer of drawing tokens: values little-endian, each with its
// data-type tag, attributes after their values, collected and sent to the
// stream at once. Text, vectors and images all write through it.
class TokenWriter {
  public:
    // Room for the common tokens at once (a colour, a clip rectangle, a
    // cursor), so that building one does not grow the bytes byte by byte.
    static constexpr size_t kReserve = 32;
    TokenWriter() { bytes_.reserve(kReserve); }
    TokenWriter& b(int v) {
        bytes_.push_back(static_cast<BYTE>(v & 0xFF));
        return *this;
    }
    // 16 bits: the low half of v (a negative number in two's complement).
    TokenWriter& w(DWORD v) {
        return b(static_cast<int>(v & 0xFF)).b(static_cast<int>(v >> 8 & 0xFF));
    }
    TokenWriter& d(DWORD v) { return w(v & 0xFFFF).w(v >> 16); }
    TokenWriter& f(float x) {
        DWORD u;
        std::memcpy(&u, &x, sizeof u);
        return d(u);
    }
    TokenWriter& raw(const void* p, size_t n) {
        const auto* c = static_cast<const BYTE*>(p);
        bytes_.insert(bytes_.end(), c, c + n);
        return *this;
    }
    TokenWriter& attr(int id) { return b(stream::kAttributeTag).b(id); }
    TokenWriter& ubyte(int v, int id) { return b(stream::kUByte).b(v).attr(id); }
    TokenWriter& uint16(LONG v, int id) {
        return b(stream::kUInt16).w(static_cast<DWORD>(v)).attr(id);
    }
    TokenWriter& sint16(LONG v, int id) {
        return b(stream::kSInt16).w(static_cast<DWORD>(v)).attr(id);
    }
    TokenWriter& spair(POINTL p, int id) {
        p = ClampPoint(p, stream::kPointSInt16);
        return b(stream::kSInt16Pair)
            .w(static_cast<DWORD>(p.x))
            .w(static_cast<DWORD>(p.y))
            .attr(id);
    }
    // A count as a byte, or as 16 bits past 255.
    TokenWriter& count(size_t n, int id) {
        return n > 255 ? uint16(static_cast<LONG>(n), id) : ubyte(static_cast<int>(n), id);
    }
    BOOL send(PDEV* pdev) const {
        return bytes_.empty() ? TRUE
                              : OutputBytes(pdev, bytes_.data(), static_cast<DWORD>(bytes_.size()));
    }
    std::vector<BYTE>& bytes() { return bytes_; }

  private:
    std::vector<BYTE> bytes_;
};

} // namespace inkforge
