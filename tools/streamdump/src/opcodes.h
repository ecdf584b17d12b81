// The format the decoder reads: the frame opcodes with the layout of their
// payloads, and the drawing tokens that travel between frames (data-type
// tags, attribute ids and operators, with their names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "streamdump/decoder.h"

namespace streamdump {

enum class FieldKind {
    U8,
    U16,
    Paper, // u8: the system's paper number
    Text,  // fixed-size text, NUL-padded
    Data,  // the rest of the payload
};

struct FieldSpec {
    const char* name;
    FieldKind kind;
    std::size_t size;            // Text: its bytes
    const char* const* meanings; // U8: names of the values 0.. (null: none)
    std::size_t meaningCount;
};

struct OpcodeSpec {
    int opcode;
    const char* name;
    std::vector<FieldSpec> fields;
};

// A paper by the system's number for it, as the paper size frame carries it.
struct PaperSpec {
    int id;
    const char* name;
    double widthMm, heightMm;
};

// The paper of that number, or null for one the decoder does not know.
const PaperSpec* FindPaper(int id);

// The description of an opcode, or null.
const OpcodeSpec* FindOpcode(int opcode);

// The payload's fields by the opcode's description; a payload whose size does
// not fit the description sets *problem.
std::vector<Field> DecodePayload(const OpcodeSpec& spec, const std::uint8_t* payload,
                                 std::size_t size, std::string* problem);

// Drawing tokens: a value is a data-type tag and its little-endian bytes; an
// attribute is kAttributeTag and an id, after its value; an operator is one
// byte, after its attributes; embedded data (kDataTag with a u32 length or
// kDataByteTag with a u8 length, then the bytes) follows the operator that
// reads it.
namespace token {

enum Tag : int {
    kUByte = 0xC0,
    kUInt16 = 0xC1,
    kSInt16 = 0xC3,
    kUInt32 = 0xC2,
    kReal32 = 0xC5,
    kUByteArray = 0xC8,
    kUInt16Array = 0xC9,
    kSInt16Array = 0xCB,
    kUBytePair = 0xD0,
    kUInt16Pair = 0xD1,
    kSInt16Pair = 0xD3,
    kReal32Pair = 0xD5,
    kUInt16Box = 0xE1,
    kSInt16Box = 0xE3,
    kAttributeTag = 0xF8,
    kDataTag = 0xFA,
    kDataByteTag = 0xFB,
};

enum Operator : int {
    kSetBrushSource = 0x63,
    kSetClipRectangle = 0x68,
    kSetCursor = 0x6B,
    kSetFillMode = 0x6E,
    kSetLineDash = 0x70,
    kSetLineCap = 0x71,
    kSetLineJoin = 0x72,
    kSetMiterLimit = 0x73,
    kSetPaintTransferMode = 0x78,
    kSetPenSource = 0x79,
    kSetPenWidth = 0x7A,
    kSetRasterOperation = 0x7B,
    kSetSourceTransferMode = 0x7C,
    kCloseSubpath = 0x84,
    kNewPath = 0x85,
    kPaintPath = 0x86,
    kBezierPath = 0x93,
    kBezierPathRelative = 0x95,
    kLinePath = 0x9B,
    kLinePathRelative = 0x9D,
    kRectangle = 0xA0,
    kRectanglePath = 0xA1,
    kBeginRasterPattern = 0xB3,
    kReadRasterPattern = 0xB4,
    kEndRasterPattern = 0xB5,
    // Images: BeginImage (position at the cursor, source size, depth and
    // colour space, destination size), ReadImage blocks of rows, EndImage.
    kBeginImage = 0xB0,
    kReadImage = 0xB1,
    kEndImage = 0xB2,
    // Text and downloaded fonts.
    kBeginFontHeader = 0x4F,
    kReadFontHeader = 0x50,
    kEndFontHeader = 0x51,
    kBeginChar = 0x52,
    kReadChar = 0x53,
    kEndChar = 0x54,
    kRemoveFont = 0x55,
    kSetCharAngle = 0x64,
    kSetCharScale = 0x65,
    kSetCharShear = 0x66,
    kSetFont = 0x6F,
    kSetCharBoldValue = 0x7D,
    kText = 0xA8,
};

enum Attribute : int {
    kColourSpace = 0x03, // 1 gray, 2 RGB (8-bit images: 3 bytes a pixel)
    kNoBrush = 0x04,
    kNoPen = 0x05,
    kPattern = 0x08,
    kGrayLevel = 0x09,
    kRgbColour = 0x0B,
    kRasterOperation = 0x2C,
    kTransferMode = 0x2D,
    kBoundingBox = 0x42,
    kEndPoint = 0x45,
    kFillMode = 0x46,
    kLineCap = 0x47,
    kLineJoin = 0x48,
    kMiterLength = 0x49,
    kDashStyle = 0x4A,
    kPenWidth = 0x4B,
    kPoint = 0x4C,
    kNumberOfPoints = 0x4D,
    kSolidLine = 0x4E,
    kPointType = 0x50,
    kControlPoint1 = 0x51,
    kControlPoint2 = 0x52,
    kClipRegion = 0x53,
    kColourDepth = 0x62,
    kBlockHeight = 0x63,
    kColourMapping = 0x64,
    kCompression = 0x65,
    kDestinationSize = 0x67,
    kPatternPersistence = 0x68,
    kPatternId = 0x69,
    kSourceHeight = 0x6B,
    kSourceWidth = 0x6C,
    kStartLine = 0x6D,
    // Text and downloaded fonts.
    kCharAngle = 0xA1,
    kCharCode = 0xA2,
    kCharDataSize = 0xA3,
    kCharScale = 0xA4,
    kCharShear = 0xA5,
    kCharSize = 0xA6,
    kFontHeaderLength = 0xA7,
    kFontName = 0xA8,
    kFontFormat = 0xA9,
    kSymbolSet = 0xAA,
    kTextData = 0xAB,
    kXSpacingData = 0xAF,
    kYSpacingData = 0xB0,
    kCharBoldValue = 0xB1,
};

// Point types of path data: x then y, each a byte or a 16-bit value.
enum PointType : int { kPointUByte = 0, kPointSByte = 1, kPointUInt16 = 2, kPointSInt16 = 3 };

// The name of a data-type tag ("ubyte", "sint16 pair", ...), or null for a
// byte that is not one.
const char* TagName(int tag);
// How many numbers a value of the tag holds (0 for arrays, whose length is
// in the stream) and the bytes of each.
int TagCount(int tag);
int TagEntryBytes(int tag);
bool TagSigned(int tag);

// Whether the operator's embedded data are the points of a path.
bool TakesPathPoints(int op);

} // namespace token

// The name of a drawing operator or attribute, or "" for an unknown one.
const char* TokenOperatorName(int op);
const char* TokenAttributeName(int id);

} // namespace streamdump
