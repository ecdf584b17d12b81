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
#include "vector_state.h"
#include "win/winddi.h"

namespace inkforge {

struct PDEV;

namespace tag {
constexpr int UByte = 0xC0, UInt16 = 0xC1, SInt16 = 0xC3, Real32 = 0xC5;
constexpr int UByteArray = 0xC8, UInt16Array = 0xC9;
constexpr int UBytePair = 0xD0, UInt16Pair = 0xD1, SInt16Pair = 0xD3;
constexpr int UInt16Box = 0xE1, SInt16Box = 0xE3;
constexpr int Attr = 0xF8, Data = 0xFA, DataByte = 0xFB;
} // namespace tag

namespace attr {
constexpr int NullBrush = 0x04, NullPen = 0x05, PatternSelect = 0x08, GrayLevel = 0x09,
              RgbColor = 0x0B;
constexpr int RasterOp = 0x2C, TransferMode = 0x2D, BoundingBox = 0x42, EndPoint = 0x45,
              FillMode = 0x46;
constexpr int LineCap = 0x47, LineJoin = 0x48, MiterLength = 0x49, DashStyle = 0x4A,
              PenWidth = 0x4B;
constexpr int Point = 0x4C, NumberOfPoints = 0x4D, SolidLine = 0x4E, PointType = 0x50;
constexpr int ControlPoint1 = 0x51, ControlPoint2 = 0x52, ClipRegion = 0x53;
constexpr int ColorDepth = 0x62, BlockHeight = 0x63, ColorMapping = 0x64, Compression = 0x65;
constexpr int DestinationSize = 0x67, PatternPersistence = 0x68, PatternDefineId = 0x69;
constexpr int SourceHeight = 0x6B, SourceWidth = 0x6C, StartLine = 0x6D;
} // namespace attr

namespace op {
constexpr int SetBrushSource = 0x63, SetClipRectangle = 0x68, SetCursor = 0x6B, SetFillMode = 0x6E;
constexpr int SetLineDash = 0x70, SetLineCap = 0x71, SetLineJoin = 0x72, SetMiterLimit = 0x73;
constexpr int SetPaintTransfer = 0x78, SetPenSource = 0x79, SetPenWidth = 0x7A, SetRop = 0x7B;
constexpr int SetSourceTransfer = 0x7C, CloseSubPath = 0x84, NewPath = 0x85, PaintPath = 0x86;
constexpr int BezierPath = 0x93, BezierRelPath = 0x95, LinePath = 0x9B, LineRelPath = 0x9D;
constexpr int Rectangle = 0xA0, RectanglePath = 0xA1;
constexpr int BeginRastPattern = 0xB3, ReadRastPattern = 0xB4, EndRastPattern = 0xB5;
} // namespace op

// Point types of a run of points.
enum PointKind { kUByte = 0, kSByte = 1, kUInt16 = 2, kSInt16 = 3 };

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
POINTL ClampPoint(POINTL p, PointKind kind);
PointKind EncodeNumber(POINTL p);
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
    TokenWriter& attr(int id) { return b(tag::Attr).b(id); }
    TokenWriter& ubyte(int v, int id) { return b(tag::UByte).b(v).attr(id); }
    TokenWriter& uint16(LONG v, int id) { return b(tag::UInt16).w(static_cast<DWORD>(v)).attr(id); }
    TokenWriter& sint16(LONG v, int id) { return b(tag::SInt16).w(static_cast<DWORD>(v)).attr(id); }
    TokenWriter& spair(POINTL p, int id) {
        p = ClampPoint(p, kSInt16);
        return b(tag::SInt16Pair).w(static_cast<DWORD>(p.x)).w(static_cast<DWORD>(p.y)).attr(id);
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
