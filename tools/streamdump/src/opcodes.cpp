// Opcodes of the job, page and raster frames and their payload fields, and
// the names of the drawing tokens.
#include "opcodes.h"

#include <cstdio>
#include <string>

namespace streamdump {
using namespace stream;
namespace {

const char* const kOffOnNames[] = {"off", "on"};
const char* const kDuplexNames[] = {"simplex", "long edge", "short edge"};
const char* const kOrientationNames[] = {"portrait", "landscape"};
const char* const kFeedNames[] = {"", "along", "across"};
const char* const kSortNames[] = {"none", "rotate", "shift"};
const char* const kChunkNames[] = {"last, final plane", "continuing, final plane", "last",
                                   "continuing"};

template <std::size_t N> FieldSpec Choice(const char* name, const char* const (&meanings)[N]) {
    return FieldSpec{name, FieldKind::U8, 1, meanings, N};
}
FieldSpec PaperField(const char* name) {
    return FieldSpec{name, FieldKind::Paper, 1, nullptr, 0};
}
FieldSpec Byte(const char* name) {
    return FieldSpec{name, FieldKind::U8, 1, nullptr, 0};
}
FieldSpec Word(const char* name) {
    return FieldSpec{name, FieldKind::U16, 2, nullptr, 0};
}
FieldSpec Text(const char* name, std::size_t size) {
    return FieldSpec{name, FieldKind::Text, size, nullptr, 0};
}
FieldSpec Data(const char* name) {
    return FieldSpec{name, FieldKind::Data, 0, nullptr, 0};
}

const std::vector<OpcodeSpec>& Table() {
    static const std::vector<OpcodeSpec> table = {
        // Job setup.
        {stream::kSession, "session", {Byte("value")}},
        {stream::kJobKind, "job kind", {Byte("value")}},
        {stream::kDataKind, "data kind", {Byte("value")}},
        {stream::kCopies, "copies", {Word("count")}},
        {stream::kCollate,
         "collate",
         {Choice("collate", kOffOnNames), Choice("device copies", kOffOnNames)}},
        {stream::kSkipBlankPages, "skip blank pages", {Choice("skip", kOffOnNames)}},
        {stream::kDuplex, "duplex", {Choice("binding", kDuplexNames)}},
        {stream::kDuplexMargin, "duplex margin", {Choice("margin", kOffOnNames)}},
        {stream::kDuplexNotice, "duplex notice", {Choice("notice", kOffOnNames)}},
        {stream::kOutputTray, "output tray", {Byte("tray")}},
        {stream::kStaple, "staple", {Byte("position")}},
        {stream::kPunch, "punch", {Byte("holes")}},
        {stream::kSort, "sort", {Choice("mode", kSortNames)}},
        {stream::kDepartmentCode, "department code", {Text("code", 8)}},
        {stream::kUserId, "user id", {Text("id", 8)}},
        {stream::kBoxId, "box id and password", {Text("box", 8), Text("password", 4)}},
        // Pages.
        {stream::kInputSource, "input source", {Byte("source")}},
        {stream::kResolutionX, "x resolution", {Word("dpi")}},
        {stream::kResolutionY, "y resolution", {Word("dpi")}},
        {stream::kFeed, "feed", {Choice("direction", kFeedNames)}},
        {stream::kOrientation, "orientation", {Choice("orientation", kOrientationNames)}},
        {stream::kPaperSize, "paper size", {PaperField("paper")}},
        {stream::kMediaType, "media type", {Byte("media")}},
        {stream::kCopySetStart, "copy set start", {}},
        {stream::kPageStart, "page start", {}},
        {stream::kPageEnd, "page end", {}},
        {stream::kCopySetEnd, "copy set end", {}},
        // Raster.
        {stream::kRasterChunk, "raster chunk", {Choice("kind", kChunkNames), Data("data")}},
        {stream::kJbigImage, "JBIG image", {Word("width"), Word("height")}},
    };
    return table;
}

constexpr PaperSpec kPapers[] = {
    {1, "Letter", 215.9, 279.4},
    {3, "Tabloid", 279.4, 431.8},
    {5, "Legal", 215.9, 355.6},
    {7, "Executive", 184.15, 266.7},
    {8, "A3", 297, 420},
    {9, "A4", 210, 297},
    {11, "A5", 148, 210},
    {13, "B5 (JIS)", 182, 257},
    {20, "Envelope #10", 104.8, 241.3},
    {27, "Envelope DL", 110, 220},
    {28, "Envelope C5", 162, 229},
    {37, "Envelope Monarch", 98.4, 190.5},
    {70, "A6", 105, 148},
};

std::string Printable(const std::uint8_t* p, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n && p[i]; ++i) {
        unsigned char c = p[i];
        if (c >= 32 && c < 127 && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return "\"" + out + "\"";
}

} // namespace

const PaperSpec* FindPaper(int id) {
    for (const PaperSpec& p : kPapers)
        if (p.id == id) return &p;
    return nullptr;
}

const OpcodeSpec* FindOpcode(int opcode) {
    for (const OpcodeSpec& s : Table())
        if (s.opcode == opcode) return &s;
    return nullptr;
}

std::vector<Field> DecodePayload(const OpcodeSpec& spec, const std::uint8_t* payload,
                                 std::size_t size, std::string* problem) {
    std::vector<Field> fields;
    std::size_t fixed = 0;
    bool variable = false;
    for (const FieldSpec& f : spec.fields) {
        if (f.kind == FieldKind::Data)
            variable = true;
        else
            fixed += f.size;
    }
    if (size < fixed || (!variable && size != fixed)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "payload of %zu bytes, expected %s%zu", size,
                      variable ? "at least " : "", fixed);
        *problem = buf;
        return fields;
    }
    std::size_t at = 0;
    for (const FieldSpec& f : spec.fields) {
        char buf[64];
        switch (f.kind) {
        case FieldKind::U8:
        case FieldKind::Paper: {
            unsigned v = payload[at];
            const PaperSpec* paper =
                f.kind == FieldKind::Paper ? FindPaper(static_cast<int>(v)) : nullptr;
            if (paper)
                std::snprintf(buf, sizeof buf, "%u (%s)", v, paper->name);
            else if (f.meanings && v < f.meaningCount && f.meanings[v][0])
                std::snprintf(buf, sizeof buf, "%u (%s)", v, f.meanings[v]);
            else
                std::snprintf(buf, sizeof buf, "%u", v);
            fields.push_back({f.name, buf, static_cast<long>(v)});
            at += 1;
            break;
        }
        case FieldKind::U16: {
            unsigned v = payload[at] | (static_cast<unsigned>(payload[at + 1]) << 8);
            std::snprintf(buf, sizeof buf, "%u", v);
            fields.push_back({f.name, buf, static_cast<long>(v)});
            at += 2;
            break;
        }
        case FieldKind::Text:
            fields.push_back({f.name, Printable(payload + at, f.size)});
            at += f.size;
            break;
        case FieldKind::Data:
            std::snprintf(buf, sizeof buf, "%zu bytes", size - at);
            fields.push_back({f.name, buf});
            at = size;
            break;
        }
    }
    return fields;
}

namespace token {
namespace {

struct TagSpec {
    int tag;
    const char* name;
    int count;      // numbers a value holds; 0: an array
    int entryBytes; // bytes of each number
    bool isSigned;
};

constexpr TagSpec kTags[] = {
    {kUByte, "ubyte", 1, 1, false},
    {kUInt16, "uint16", 1, 2, false},
    {kSInt16, "sint16", 1, 2, true},
    {kUInt32, "uint32", 1, 4, false},
    {kReal32, "real32", 1, 4, true},
    {kUByteArray, "ubyte array", 0, 1, false},
    {kUInt16Array, "uint16 array", 0, 2, false},
    {kSInt16Array, "sint16 array", 0, 2, true},
    {kUBytePair, "ubyte pair", 2, 1, false},
    {kUInt16Pair, "uint16 pair", 2, 2, false},
    {kSInt16Pair, "sint16 pair", 2, 2, true},
    {kReal32Pair, "real32 pair", 2, 4, true},
    {kUInt16Box, "uint16 box", 4, 2, false},
    {kSInt16Box, "sint16 box", 4, 2, true},
};

const TagSpec* FindTag(int tag) {
    for (const TagSpec& t : kTags)
        if (t.tag == tag) return &t;
    return nullptr;
}

} // namespace

const char* TagName(int tag) {
    const TagSpec* t = FindTag(tag);
    return t ? t->name : nullptr;
}
int TagCount(int tag) {
    const TagSpec* t = FindTag(tag);
    return t ? t->count : 0;
}
int TagEntryBytes(int tag) {
    const TagSpec* t = FindTag(tag);
    return t ? t->entryBytes : 0;
}
bool TagSigned(int tag) {
    const TagSpec* t = FindTag(tag);
    return t && t->isSigned;
}

bool TakesPathPoints(int op) {
    return op == kBezierPathRelative || op == kLinePath || op == kLinePathRelative;
}

} // namespace token

namespace {

struct Named {
    int id;
    const char* name;
};

using namespace token;

constexpr Named kOperators[] = {
    {kSetBrushSource, "set brush source"},
    {kSetClipRectangle, "set clip rectangle"},
    {kSetCursor, "set cursor"},
    {kSetFillMode, "set fill mode"},
    {kSetLineDash, "set line dash"},
    {kSetLineCap, "set line cap"},
    {kSetLineJoin, "set line join"},
    {kSetMiterLimit, "set miter limit"},
    {kSetPaintTransferMode, "set paint transfer mode"},
    {kSetPenSource, "set pen source"},
    {kSetPenWidth, "set pen width"},
    {kSetRasterOperation, "set raster operation"},
    {kSetSourceTransferMode, "set source transfer mode"},
    {kCloseSubpath, "close subpath"},
    {kNewPath, "new path"},
    {kPaintPath, "paint path"},
    {kBezierPath, "bezier path"},
    {kBezierPathRelative, "bezier path, relative"},
    {kLinePath, "line path"},
    {kLinePathRelative, "line path, relative"},
    {kRectangle, "rectangle"},
    {kRectanglePath, "rectangle path"},
    {kBeginRasterPattern, "begin raster pattern"},
    {kReadRasterPattern, "read raster pattern"},
    {kEndRasterPattern, "end raster pattern"},
    {kBeginImage, "begin image"},
    {kReadImage, "read image"},
    {kEndImage, "end image"},
    {kBeginFontHeader, "begin font header"},
    {kReadFontHeader, "read font header"},
    {kEndFontHeader, "end font header"},
    {kBeginChar, "begin char"},
    {kReadChar, "read char"},
    {kEndChar, "end char"},
    {kRemoveFont, "remove font"},
    {kSetCharAngle, "set char angle"},
    {kSetCharScale, "set char scale"},
    {kSetCharShear, "set char shear"},
    {kSetFont, "set font"},
    {kSetCharBoldValue, "set char bold value"},
    {kText, "text"},
};

constexpr Named kAttributes[] = {
    {kColourSpace, "colour space"},
    {kNullBrush, "no brush"},
    {kNullPen, "no pen"},
    {kPatternSelectId, "pattern"},
    {kGrayLevel, "gray level"},
    {kRgbColour, "rgb colour"},
    {kRasterOperation, "raster operation"},
    {kTransferMode, "transfer mode"},
    {kBoundingBox, "bounding box"},
    {kEndPoint, "end point"},
    {kFillMode, "fill mode"},
    {kLineCap, "line cap"},
    {kLineJoin, "line join"},
    {kMiterLength, "miter length"},
    {kDashStyle, "dash style"},
    {kPenWidth, "pen width"},
    {kPoint, "point"},
    {kNumberOfPoints, "number of points"},
    {kSolidLine, "solid line"},
    {kPointType, "point type"},
    {kControlPoint1, "control point 1"},
    {kControlPoint2, "control point 2"},
    {kClipRegion, "clip region"},
    {kColourDepth, "colour depth"},
    {kBlockHeight, "block height"},
    {kColourMapping, "colour mapping"},
    {kCompression, "compression"},
    {kDestinationSize, "destination size"},
    {kPatternPersistence, "pattern persistence"},
    {kPatternDefineId, "pattern id"},
    {kSourceHeight, "source height"},
    {kSourceWidth, "source width"},
    {kStartLine, "start line"},
    {kCharAngle, "char angle"},
    {kCharCode, "char code"},
    {kCharDataSize, "char data size"},
    {kCharScale, "char scale"},
    {kCharShear, "char shear"},
    {kCharSize, "char size"},
    {kFontHeaderLength, "font header length"},
    {kFontName, "font name"},
    {kFontFormat, "font format"},
    {kSymbolSet, "symbol set"},
    {kTextData, "text data"},
    {kXSpacingData, "x spacing data"},
    {kYSpacingData, "y spacing data"},
    {kCharBoldValue, "char bold value"},
};

template <std::size_t N> const char* FindName(const Named (&table)[N], int id) {
    for (const Named& n : table)
        if (n.id == id) return n.name;
    return "";
}

} // namespace

const char* TokenOperatorName(int op) {
    return FindName(kOperators, op);
}
const char* TokenAttributeName(int id) {
    return FindName(kAttributes, id);
}

std::string OpcodeName(int opcode) {
    const OpcodeSpec* s = FindOpcode(opcode);
    return s ? s->name : "";
}

} // namespace streamdump
