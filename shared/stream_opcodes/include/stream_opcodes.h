// The printer stream's codes, defined once for its writers (the graphics
// library) and its reader (the stream decoder).
//
// The stream is a run of escape frames (0x1B, a u16 little-endian length that
// counts the opcode and payload, the opcode, the payload) for the job, page
// and raster commands, with drawing tokens between them. A token value is a
// data-type tag and its little-endian bytes; an attribute is kAttributeTag
// and an attribute id, after its value; an operator is one byte, after its
// attributes; embedded data (kDataTag with a u32 length or kDataByteTag with
// a u8 length, then the bytes) follow the operator that reads them.
#pragma once

#include <cstdint>

namespace stream {

// The universal exit language sequence that opens and closes the job, around
// the PJL header and footer.
inline constexpr char kUel[] = "\x1B%-12345X";
inline constexpr std::uint32_t kUelLength = 9;

// The first byte of every frame.
constexpr std::uint8_t kFrameEscape = 0x1B;
// The bytes that open the job after the PJL header, before its first frame.
inline constexpr std::uint8_t kJobOpen[] = {kFrameEscape, 0x27, 0x31};
// The empty frame that closes the job.
inline constexpr std::uint8_t kJobClose[] = {kFrameEscape, 0x00, 0x00};

// Opcodes of the escape frames, with their payloads.
enum FrameOpcode : std::uint8_t {
    kSession = 'c',        // u8: 1
    kJobKind = 'j',        // u8: 16
    kDataKind = 'd',       // u8: 4
    kCopies = 'O',         // u16: copies the device makes
    kCollate = 's',        // u8 collate, u8 device copies
    kSkipBlankPages = 'F', // u8: 1 skips blank pages
    kDuplex = 'u',         // u8: 0 simplex, 1 long edge, 2 short edge
    kDuplexMargin = 'v',   // u8: 1 with a binding margin
    kDuplexNotice = 'R',   // u8: 1 with the duplex notice
    kOutputTray = 'x',     // u8: the tray
    kStaple = 'L',         // u8: the staple position
    kPunch = 'G',          // u8: the holes
    kSort = 'K',           // u8: 0 none, 1 rotate, 2 shift
    kDepartmentCode = 'H', // 8 bytes of text
    kUserId = 'I',         // 8 bytes of text
    kBoxId = 'N',          // 8 bytes of box id, 4 of password
    kInputSource = 'l',    // u8: the paper source
    kResolutionX = 'a',    // u16: dots per inch across
    kResolutionY = 'b',    // u16: dots per inch down
    kFeed = 'm',           // u8: 1 along, 2 across
    kOrientation = 'M',    // u8: 0 portrait, 1 landscape
    kPaperSize = 'k',      // u8: the system's paper number
    kMediaType = 'E',      // u8: the media
    kCopySetStart = 'C',   // no payload: a copy set begins
    kPageStart = 'p',      // no payload
    kPageEnd = 'q',        // no payload
    kCopySetEnd = 'D',     // no payload
    kRasterChunk = 'h',    // u8 chunk kind, then the compressed bytes
    kJbigImage = 'g',      // u16 width, u16 height: a JBIG page follows in chunks
};

// The kind byte of a compressed raster chunk (kRasterChunk).
enum RasterChunkKind : std::uint8_t {
    kChunkEndsFinalPlane = 0,      // the last chunk of the last plane
    kChunkContinuesFinalPlane = 1, // more of the last plane follows
    kChunkEndsPlane = 2,           // the last chunk of a plane; more planes follow
    kChunkContinuesPlane = 3,      // more of this plane follows
};

// Inside a JBIG page (after kJbigImage) the kind byte is two bits instead.
enum JbigChunkKind : std::uint8_t {
    kJbigChunkMiddle = 0, // neither the first nor the last
    kJbigChunkLast = 1,   // bit 0: the page's last chunk
    kJbigChunkFirst = 2,  // bit 1: the page's first chunk
    kJbigChunkOnly = 3,   // both: the whole page in one chunk
};

// Data-type tags of token values.
enum Tag : std::uint8_t {
    kUByte = 0xC0,        // u8
    kUInt16 = 0xC1,       // u16
    kUInt32 = 0xC2,       // u32
    kSInt16 = 0xC3,       // i16
    kReal32 = 0xC5,       // float
    kUByteArray = 0xC8,   // a count (a ubyte or uint16 value), then u8 each
    kUInt16Array = 0xC9,  // a count, then u16 each
    kSInt16Array = 0xCB,  // a count, then i16 each
    kUBytePair = 0xD0,    // two u8
    kUInt16Pair = 0xD1,   // two u16
    kSInt16Pair = 0xD3,   // two i16
    kReal32Pair = 0xD5,   // two floats
    kUInt16Box = 0xE1,    // four u16: left, top, right, bottom
    kSInt16Box = 0xE3,    // four i16
    kAttributeTag = 0xF8, // an attribute id follows (one byte)
    kDataTag = 0xFA,      // embedded data with a u32 length
    kDataByteTag = 0xFB,  // embedded data with a u8 length
};

// Attribute ids: what the value before them means to the next operator.
enum Attribute : std::uint8_t {
    kColourSpace = 0x03,        // a ColourSpace
    kNullBrush = 0x04,          // select no brush
    kNullPen = 0x05,            // select no pen
    kPatternSelectId = 0x08,    // the defined pattern to paint with
    kGrayLevel = 0x09,          // gray 0 (black) to 255
    kRgbColour = 0x0B,          // red, green, blue bytes
    kRasterOperation = 0x2C,    // the ternary raster operation
    kTransferMode = 0x2D,       // 0 opaque, 1 transparent
    kBoundingBox = 0x42,        // a box
    kEndPoint = 0x45,           // the end of a line
    kFillMode = 0x46,           // 0 winding, 1 alternate
    kLineCap = 0x47,            // 0 butt, 1 round, 2 square
    kLineJoin = 0x48,           // 0 miter, 1 round, 2 bevel
    kMiterLength = 0x49,        // the miter limit
    kDashStyle = 0x4A,          // dash lengths
    kPenWidth = 0x4B,           // in dots
    kPoint = 0x4C,              // a position
    kNumberOfPoints = 0x4D,     // points in the embedded data
    kSolidLine = 0x4E,          // back to a solid line
    kPointType = 0x50,          // a PointType
    kControlPoint1 = 0x51,      // a curve's first control point
    kControlPoint2 = 0x52,      // a curve's second control point
    kClipRegion = 0x53,         // 0 inside the rectangle
    kColourDepth = 0x62,        // a ColourDepth
    kBlockHeight = 0x63,        // rows in a block of image or pattern rows
    kColourMapping = 0x64,      // 0 direct, 1 indexed
    kCompression = 0x65,        // a Compression
    kDestinationSize = 0x67,    // the image's size on the page
    kPatternPersistence = 0x68, // 0 for the page, 1 for the session
    kPatternDefineId = 0x69,    // the id of the pattern being defined
    kSourceHeight = 0x6B,       // rows of an image or pattern
    kSourceWidth = 0x6C,        // pixels of a row
    kStartLine = 0x6D,          // the first row of a block
    kCharAngle = 0xA1,          // degrees
    kCharCode = 0xA2,           // the character being downloaded
    kCharDataSize = 0xA3,       // bytes of its data
    kCharScale = 0xA4,          // x and y scale
    kCharShear = 0xA5,          // x and y shear
    kCharSize = 0xA6,           // the font's size in dots
    kFontHeaderLength = 0xA7,   // bytes of the font header
    kFontName = 0xA8,           // the font's name (a byte array)
    kFontFormat = 0xA9,         // 0
    kSymbolSet = 0xAA,          // 0
    kTextData = 0xAB,           // the character codes of a run
    kXSpacingData = 0xAF,       // advances along x
    kYSpacingData = 0xB0,       // advances along y
    kCharBoldValue = 0xB1,      // simulated boldness
};

// Operators.
enum Operator : std::uint8_t {
    kBeginFontHeader = 0x4F,       // a downloaded font's header begins
    kReadFontHeader = 0x50,        // a piece of it, in embedded data
    kEndFontHeader = 0x51,         // its end
    kBeginChar = 0x52,             // characters of a downloaded font begin
    kReadChar = 0x53,              // one character, in embedded data
    kEndChar = 0x54,               // their end
    kRemoveFont = 0x55,            // forget a downloaded font
    kSetBrushSource = 0x63,        // the brush: a colour, a pattern or none
    kSetCharAngle = 0x64,          // the character transform's angle
    kSetCharScale = 0x65,          // its scale
    kSetCharShear = 0x66,          // its shear
    kSetClipRectangle = 0x68,      // clip to a box (or the page)
    kSetCursor = 0x6B,             // move to a point
    kSetFillMode = 0x6E,           // winding or alternate filling
    kSetFont = 0x6F,               // select a font by name, size, symbol set
    kSetLineDash = 0x70,           // dashes, or a solid line
    kSetLineCap = 0x71,            // line ends
    kSetLineJoin = 0x72,           // line joins
    kSetMiterLimit = 0x73,         // the miter limit
    kSetPaintTransferMode = 0x78,  // the paint: opaque or transparent
    kSetPenSource = 0x79,          // the pen: a colour or none
    kSetPenWidth = 0x7A,           // the pen's width
    kSetRasterOperation = 0x7B,    // the raster operation
    kSetSourceTransferMode = 0x7C, // the source: opaque or transparent
    kSetCharBoldValue = 0x7D,      // simulated boldness
    kCloseSubpath = 0x84,          // close the open subpath
    kNewPath = 0x85,               // start a path
    kPaintPath = 0x86,             // fill and stroke the path
    kBezierPath = 0x93,            // curves to absolute points
    kBezierPathRelative = 0x95,    // curves by offsets, in embedded data
    kLinePath = 0x9B,              // lines to absolute points
    kLinePathRelative = 0x9D,      // lines by offsets, in embedded data
    kRectangle = 0xA0,             // paint a box at once
    kRectanglePath = 0xA1,         // add a box to the path
    kText = 0xA8,                  // a run of characters at the cursor
    kBeginImage = 0xB0,            // an image at the cursor begins
    kReadImage = 0xB1,             // a block of its rows, in embedded data
    kEndImage = 0xB2,              // its end
    kBeginRasterPattern = 0xB3,    // a pattern brush's image begins
    kReadRasterPattern = 0xB4,     // a block of its rows
    kEndRasterPattern = 0xB5,      // its end
};

// The point type of path data: x then y, each a byte or a 16-bit value.
enum PointType : std::uint8_t {
    kPointUByte = 0,
    kPointSByte = 1,
    kPointUInt16 = 2,
    kPointSInt16 = 3,
};

// The colour space of an image.
enum ColourSpace : std::uint8_t {
    kColourSpaceGray = 1, // one gray value a pixel
    kColourSpaceRgb = 2,  // 8-bit images: three bytes a pixel
};

// Bits a pixel of an image or pattern.
enum ColourDepth : std::uint8_t {
    kDepth1Bit = 0,
    kDepth4Bit = 1,
    kDepth8Bit = 2,
};

// How the rows of an image or pattern block are compressed.
enum Compression : std::uint8_t {
    kCompressNone = 0,
    kCompressRunLength = 1,
    kCompressDeltaRow = 3,
};

} // namespace stream
