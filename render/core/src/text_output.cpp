// Text output: each run of a direct job becomes text tokens in a printer
// font, in a TrueType font downloaded once per job (outlines or bitmaps), or
// as glyph images; on a raster device the engine draws it.
#include "emf_job.h"
#include "emf_recorder.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "font_download.h"
#include "hooks.h"
#include "format_text.h"
#include "output_writer.h"
#include "pdev.h"
#include "imaging_state.h"
#include "raster_encode.h"
#include "row_compress.h"
#include "sfnt_reader.h"
#include "vector_pattern.h"
#include "vector_tokens.h"
#include "win/base.h"
#include "win/gdi_text.h"

namespace inkforge {
namespace {

constexpr BYTE kRopPatCopy = 0xF0;
constexpr BYTE kRopText = 0xFC;
constexpr ULONG kPatternBrush = 0xFFFFFFFF;
constexpr ULONG kWhiteColor = 0xFFFFFF, kBlackColor = 0;
constexpr float kSimBoldness = 0.015f;
constexpr float kItalicShear = 0.309017f;
constexpr DWORD kMaxPiece = 32768;
constexpr WORD kNoDefaultChar = 0xFFFF;
// Outline characters: the bytes the size field counts besides the glyph data
// (the glyph index; with metrics also the side bearing and advance), and the
// largest size it holds.
constexpr DWORD kClass0Head = 4, kClass1Head = 8, kMaxCharSize = 0xFFFF;
constexpr LONG kBoldDivisor = 84; // em height per pixel of simulated bold
constexpr BYTE kJohabCharSet = 130;
constexpr LONG kMaxPaddedWidth = 0xFFE0;
constexpr DWORD kDeltaRowVersion = 0x20001; // the graphics language that takes delta rows
constexpr DWORD kMetricsVersion = 0x20000;  // the graphics language with class-1 characters
constexpr DWORD kTextAsBlackBit = 10;       // of feature word B: the model offers all-black text
// Simulated bold of double-byte text on a raster page: 540 / 1,000,000 of
// the font's transformed (10000, 0), drawn from a work bitmap whose extents
// are multiples of 16; never more than 64 pixels.
constexpr double kBoldVector = 10000;
constexpr double kRasterBoldPerMillion = 540;
constexpr LONG kMaxRasterBold = 64;
constexpr LONG kWorkAlign = 16;
constexpr BYTE kRopDestination = 0xAA;

void PutBig16(std::vector<BYTE>& v, DWORD x) {
    v.push_back(static_cast<BYTE>(x >> 8));
    v.push_back(static_cast<BYTE>(x));
}
void PutBig32(std::vector<BYTE>& v, DWORD x) {
    PutBig16(v, x >> 16);
    PutBig16(v, x & 0xFFFF);
}

std::string FontName(const DownloadedFont* r) {
    char buf[64];
    snprintf(buf, sizeof buf, "N%s:%u", r->faceName, r->fontNumber);
    return buf;
}

void WriteFontName(TokenWriter& t, const DownloadedFont* r) {
    std::string name = FontName(r);
    t.b(stream::kUByteArray)
        .b(stream::kUInt16)
        .w(static_cast<DWORD>(name.size()))
        .raw(name.data(), name.size());
    t.attr(stream::kFontName);
}

BOOL RemoveFont(PDEV* pdev, DownloadedFont* r) {
    TokenWriter t;
    WriteFontName(t, r);
    t.b(stream::kRemoveFont);
    FontTable* ft = Fonts(pdev);
    if (ft && std::strcmp(ft->currentName, FontName(r).c_str()) == 0) ft->currentValid = false;
    return t.send(pdev);
}

// --- font table ----------------------------------------------------------------

void FreeRecord(DownloadedFont* r) {
    if (!r) return;
    if (r->glyphMap) EngFreeMem(r->glyphMap);
    EngFreeMem(r);
}

void DetachSlot(FontTable* ft, size_t i) {
    DownloadedFont* r = ft->slots[i];
    ft->slots[i] = nullptr;
    if (!r) return;
    // A record no font object holds any more goes now; else with the last
    // one's DrvDestroyFont, or with the table.
    bool held = false;
    for (ULONG id : r->fontObjects)
        held = held || id != 0;
    if (!held) {
        FreeRecord(r);
        return;
    }
    r->retired = TRUE;
    r->nextRetired = ft->retired;
    ft->retired = r;
}

void Unretire(FontTable* ft, DownloadedFont* r) {
    for (DownloadedFont** p = &ft->retired; *p; p = &(*p)->nextRetired)
        if (*p == r) {
            *p = r->nextRetired;
            return;
        }
}

DownloadedFont* FindDownloadedFont(PDEV* pdev, FONTOBJ* pfo, bool outline) {
    FontTable* ft = Fonts(pdev);
    if (!ft) return nullptr;
    for (DownloadedFont* r : ft->slots) {
        if (!r || (r->outline != 0) != outline) continue;
        if (!outline) {
            if (r->fontObjects[0] == pfo->iUniq) return r;
            continue;
        }
        if (r->trueTypeFile != pfo->iTTUniq) continue;
        for (ULONG& id : r->fontObjects)
            if (id == pfo->iUniq) return r;
        for (ULONG& id : r->fontObjects)
            if (id == 0) {
                id = pfo->iUniq;
                return r;
            }
    }
    return nullptr;
}

} // namespace

BOOL RegisterDownloadedFont(PDEV* pdev, DownloadedFont* r) {
    FontTable* ft = Fonts(pdev);
    r->lastPage = pdev->pageCount;
    size_t victim = kFontTableSlots;
    for (size_t i = 0; i < kFontTableSlots; ++i)
        if (!ft->slots[i]) {
            ft->slots[i] = r;
            return TRUE;
        }
    for (size_t i = 0; i < kFontTableSlots; ++i) {
        DownloadedFont* c = ft->slots[i];
        if (victim == kFontTableSlots) {
            victim = i;
            continue;
        }
        DownloadedFont* v = ft->slots[victim];
        if (c->lastPage < v->lastPage ||
            (c->lastPage == v->lastPage &&
             (c->glyphsSent > v->glyphsSent ||
              (c->glyphsSent == v->glyphsSent && c->fontNumber < v->fontNumber))))
            victim = i;
    }
    if (!RemoveFont(pdev, ft->slots[victim])) return FALSE;
    DetachSlot(ft, victim);
    ft->slots[victim] = r;
    return TRUE;
}

namespace {

// --- font header ---------------------------------------------------------------

struct GtTable {
    DWORD tag;
    bool required;
};
const GtTable kClass0Tables[] = {
    {SfntTag('g', 'd', 'i', 'r'), false}, {SfntTag('c', 'v', 't', ' '), false},
    {SfntTag('f', 'p', 'g', 'm'), false}, {SfntTag('h', 'e', 'a', 'd'), true},
    {SfntTag('h', 'h', 'e', 'a'), true},  {SfntTag('h', 'm', 't', 'x'), true},
    {SfntTag('m', 'a', 'x', 'p'), true},  {SfntTag('p', 'r', 'e', 'p'), false}};
// Characters that carry their own metrics need no horizontal metrics tables.
const GtTable kClass1Tables[] = {
    {SfntTag('g', 'd', 'i', 'r'), false}, {SfntTag('c', 'v', 't', ' '), false},
    {SfntTag('f', 'p', 'g', 'm'), false}, {SfntTag('h', 'e', 'a', 'd'), true},
    {SfntTag('m', 'a', 'x', 'p'), true},  {SfntTag('p', 'r', 'e', 'p'), false}};

} // namespace

// The tables of the "GT" directory: those of the list for the characters'
// class that the font has with data, and "gdir" (always, empty), in the
// ascending order of their tags. False when a required table is missing.
bool BuildGtDirectory(const SfntFont& font, bool metrics, std::vector<SfntTable>* dir) {
    dir->clear();
    const GtTable* first = metrics ? std::begin(kClass1Tables) : std::begin(kClass0Tables);
    const GtTable* last = metrics ? std::end(kClass1Tables) : std::end(kClass0Tables);
    for (const GtTable* t = first; t != last; ++t) {
        if (t->tag == SfntTag('g', 'd', 'i', 'r')) continue;
        const SfntTable* have = font.FindTrueTypeTable(t->tag);
        if (have && have->length) {
            dir->push_back(*have);
        } else if (t->required) {
            return false;
        }
    }
    dir->push_back(SfntTable{SfntTag('g', 'd', 'i', 'r'), 0, 0});
    std::sort(dir->begin(), dir->end(),
              [](const SfntTable& a, const SfntTable& b) { return a.tag < b.tag; });
    return true;
}

// The "GT" segment's data: offset table, directory (tags ascending, "gdir"
// empty) and the tables padded to 4 bytes. False when a required table is
// missing. The table list depends on the characters' class.
bool WriteGtSegment(const SfntFont& font, std::vector<BYTE>* out, bool metrics) {
    std::vector<SfntTable> dir;
    if (!BuildGtDirectory(font, metrics, &dir)) return false;
    std::vector<BYTE>& v = *out;
    v.clear();
    PutBig32(v, font.Version());
    PutBig16(v, static_cast<DWORD>(dir.size()));
    PutBig16(v, font.SearchRange());
    PutBig16(v, font.EntrySelector());
    PutBig16(v, font.RangeShift());
    DWORD offset = static_cast<DWORD>(12 + 16 * dir.size());
    for (const SfntTable& t : dir) {
        DWORD padded = (t.length + 3) / 4 * 4;
        PutBig32(v, t.tag);
        PutBig32(v, 0);
        PutBig32(v, t.length ? offset : 0);
        PutBig32(v, padded);
        offset += padded;
    }
    for (const SfntTable& t : dir) {
        if (!t.length) continue;
        v.insert(v.end(), font.Data() + t.offset, font.Data() + t.offset + t.length);
        v.resize((v.size() + 3) / 4 * 4, 0);
    }
    return true;
}

// A header that fits one length field goes out whole. A longer one follows
// its own layout: the descriptor, the "GT" segment's head with its offset
// table, its directory (a one-byte length), then every table in pieces of at
// most 32,768 bytes with its padding in its last piece, and what follows the
// segment. A header whose segment does not read as built is cut into plain
// pieces of at most 32,768 bytes.
std::vector<FontHeaderPiece> SplitFontHeader(const std::vector<BYTE>& header) {
    std::vector<FontHeaderPiece> pieces;
    auto add = [&](size_t from, size_t to) {
        for (size_t at = from; at < to;) {
            DWORD n = static_cast<DWORD>(std::min<size_t>(to - at, kMaxPiece));
            pieces.push_back({static_cast<DWORD>(at), n, false});
            at += n;
        }
    };
    const size_t size = header.size();
    if (size <= 0xFFFF) {
        if (size) pieces.push_back({0, static_cast<DWORD>(size), false});
        return pieces;
    }
    constexpr size_t kDescriptor = 8, kSegmentHead = 6, kOffsetTable = 12, kDirEntry = 16;
    const BYTE* h = header.data();
    const size_t gt = kDescriptor + kSegmentHead; // the offset table
    bool laidOut = size >= gt + kOffsetTable && BigU16(h + kDescriptor) == ('G' << 8 | 'T');
    size_t segmentEnd = 0, dirEnd = 0;
    if (laidOut) {
        segmentEnd = gt + BigU32(h + kDescriptor + 2);
        dirEnd = gt + kOffsetTable + kDirEntry * size_t{BigU16(h + gt + 4)};
        laidOut = segmentEnd <= size && dirEnd <= segmentEnd && dirEnd - gt - kOffsetTable <= 0xFF;
    }
    size_t at = dirEnd;
    for (size_t e = gt + kOffsetTable; laidOut && e < dirEnd; e += kDirEntry) {
        size_t offset = BigU32(h + e + 8), length = BigU32(h + e + 12);
        if (!length) continue;
        // Tables lie one after another in directory order.
        laidOut = gt + offset == at && length <= segmentEnd - at;
        at += length;
    }
    laidOut = laidOut && at == segmentEnd;
    if (!laidOut) {
        add(0, size);
        return pieces;
    }
    pieces.push_back({0, static_cast<DWORD>(kDescriptor), false});
    pieces.push_back({static_cast<DWORD>(kDescriptor), kSegmentHead + kOffsetTable, false});
    if (dirEnd > gt + kOffsetTable)
        pieces.push_back({static_cast<DWORD>(gt + kOffsetTable),
                          static_cast<DWORD>(dirEnd - gt - kOffsetTable), true});
    for (size_t e = gt + kOffsetTable; e < dirEnd; e += kDirEntry) {
        size_t offset = BigU32(h + e + 8), length = BigU32(h + e + 12);
        if (length) add(gt + offset, gt + offset + length);
    }
    add(segmentEnd, size);
    return pieces;
}

std::vector<BYTE> FontHeaderTokens(const std::vector<BYTE>& header) {
    TokenWriter t;
    for (const FontHeaderPiece& p : SplitFontHeader(header)) {
        t.b(stream::kUInt16).w(p.length).attr(stream::kFontHeaderLength).b(stream::kReadFontHeader);
        if (p.byteLength)
            t.b(stream::kDataByteTag).b(static_cast<int>(p.length));
        else
            t.b(stream::kDataTag).d(p.length);
        t.raw(header.data() + p.offset, p.length);
    }
    return std::move(t.bytes());
}

std::vector<BYTE> BuildFontHeader(const std::vector<BYTE>& gt, DWORD count, bool outline,
                                  bool classSegment, DWORD dpi) {
    auto segment = [](std::vector<BYTE>& h, char a, char b, const std::vector<BYTE>& data) {
        h.push_back(static_cast<BYTE>(a));
        h.push_back(static_cast<BYTE>(b));
        PutBig32(h, static_cast<DWORD>(data.size()));
        h.insert(h.end(), data.begin(), data.end());
    };
    std::vector<BYTE> header;
    header.push_back(0); // format
    header.push_back(0); // orientation
    PutBig16(header, 0); // symbol-set mapping
    header.push_back(outline ? 1 : 254);
    header.push_back(0);
    // Bitmap fonts are held to their glyph limit (retired and sent anew
    // past it), so they say that limit as their count.
    PutBig16(header, outline ? std::min<DWORD>(count, 0xFFFF) : kBitmapFontGlyphLimit);
    if (outline) {
        segment(header, 'G', 'T', gt);
        if (classSegment) {
            std::vector<BYTE> gc;
            PutBig16(gc, 0);
            PutBig16(gc, kNoDefaultChar);
            PutBig16(gc, 0);
            segment(header, 'G', 'C', gc);
        }
    } else {
        std::vector<BYTE> br;
        PutBig16(br, dpi);
        PutBig16(br, dpi);
        segment(header, 'B', 'R', br);
    }
    header.push_back(0xFF);
    header.push_back(0xFF);
    PutBig32(header, 0);
    return header;
}

OutlineChar OutlineCharacter(const SfntFont& font, WORD glyph, BYTE charClass,
                             std::vector<BYTE>* out) {
    out->clear();
    const BYTE* data;
    DWORD length;
    if (glyph >= font.NumGlyphs() || !font.GlyphData(glyph, &data, &length))
        return OutlineChar::Missing;
    if (length == 0 && charClass == 0) return OutlineChar::Blank; // only class 1 sends it
    const DWORD head = charClass == 1 ? kClass1Head : kClass0Head;
    // The size field counts the head after the size and the glyph data.
    if (length > kMaxCharSize - head) return OutlineChar::TooBig;
    std::vector<BYTE>& c = *out;
    c.push_back(1); // format
    c.push_back(charClass);
    PutBig16(c, length + head);
    if (charClass == 1) {
        // The character's own metrics; without "hmtx" the advance is 0 and
        // the left side bearing the outline's own left edge.
        WORD advance = 0;
        SHORT lsb = length >= 4 ? static_cast<SHORT>(BigU16(data + 2)) : 0;
        font.HorizontalMetrics(glyph, &advance, &lsb);
        PutBig16(c, static_cast<WORD>(lsb));
        PutBig16(c, advance);
    }
    PutBig16(c, glyph);
    c.insert(c.end(), data, data + length);
    return OutlineChar::Ready;
}

namespace {

// Sends the header as read-font-header pieces.
BOOL SendHeader(PDEV* pdev, DownloadedFont* r, const std::vector<BYTE>& header) {
    TokenWriter t;
    WriteFontName(t, r);
    t.b(stream::kUByte).b(0).attr(stream::kFontFormat).b(stream::kBeginFontHeader);
    std::vector<BYTE> pieces = FontHeaderTokens(header);
    t.raw(pieces.data(), pieces.size()).b(stream::kEndFontHeader);
    return t.send(pdev);
}

DownloadedFont* DownloadFontHeader(PDEV* pdev, FONTOBJ* pfo, const SfntFont* font, bool outline) {
    DWORD count = FONTOBJ_cGetAllGlyphHandles(pfo, nullptr);
    if (font)
        if (WORD c = font->GetCmapGlyphCount()) count = c;
    if (count == 0 || count > kMaxGlyphs) return nullptr;
    std::vector<BYTE> gt;
    FontTable* ft = Fonts(pdev);
    const bool metrics = outline && ft->glyphMetrics;
    if (outline && (!font || !WriteGtSegment(*font, &gt, metrics))) return nullptr;
    auto* r = static_cast<DownloadedFont*>(
        EngAllocMem(FL_ZERO_MEMORY, sizeof(DownloadedFont), kDownloadedFontTag));
    if (!r) return nullptr;
    r->glyphMap =
        static_cast<BYTE*>(EngAllocMem(FL_ZERO_MEMORY, count / 8 + 1, kDownloadedFontTag));
    if (!r->glyphMap) {
        EngFreeMem(r);
        return nullptr;
    }
    r->tag = kDownloadedFontTag;
    r->charClass = metrics ? 1 : 0;
    r->trueTypeFile = pfo->iTTUniq;
    r->glyphCount = count;
    r->outline = outline ? 1 : 0;
    r->fontObjects[0] = pfo->iUniq;
    r->fontNumber = ft->nextFontNumber++;
    r->owner = pdev;
    // The face name in ANSI, cut to its field.
    if (IFIMETRICS* ifi = FONTOBJ_pifi(pfo)) {
        const auto* face =
            reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
        size_t n = 0;
        for (; n < 32 && face[n]; ++n)
            r->faceName[n] = face[n] < 0x80 && face[n] > 0x20 && face[n] != ':'
                                 ? static_cast<CHAR>(face[n])
                                 : '_';
        r->faceName[n] = 0;
    }
    const DWORD dpi = pdev->devmode.dm.dmPrintQuality > 0
                          ? static_cast<DWORD>(pdev->devmode.dm.dmPrintQuality)
                          : 600;
    std::vector<BYTE> header = BuildFontHeader(gt, count, outline, ft->classSegment, dpi);
    // A font object that held a record out of the table lets go of it.
    for (DownloadedFont** p = &ft->retired; *p;) {
        DownloadedFont* old = *p;
        bool held = false;
        for (ULONG& id : old->fontObjects) {
            if (id == pfo->iUniq) id = 0;
            held = held || id != 0;
        }
        if (held) {
            p = &old->nextRetired;
        } else {
            *p = old->nextRetired;
            FreeRecord(old);
        }
    }
    if (!SendHeader(pdev, r, header) || !RegisterDownloadedFont(pdev, r)) {
        FreeRecord(r);
        return nullptr;
    }
    pfo->pvConsumer = r;
    return r;
}

// --- glyphs --------------------------------------------------------------------

BOOL SendCharData(PDEV* pdev, DownloadedFont* r, CharDownload& cd, WORD code,
                  const std::vector<BYTE>& data) {
    TokenWriter t;
    if (!cd.open) {
        WriteFontName(t, r);
        t.b(stream::kBeginChar);
        cd.open = true;
    }
    DWORD n = static_cast<DWORD>(data.size());
    t.b(stream::kUInt16).w(code).attr(stream::kCharCode);
    if (n > 0xFFFF)
        t.b(stream::kUInt32).d(n);
    else
        t.b(stream::kUInt16).w(n);
    t.attr(stream::kCharDataSize).b(stream::kReadChar).b(stream::kDataTag).d(n).raw(data.data(), n);
    return t.send(pdev);
}

// The map has glyphCount / 8 + 1 bytes: it covers glyph 0 to the count.
bool InMap(const DownloadedFont* r, DWORD glyph) {
    return glyph / 8 <= r->glyphCount / 8;
}
// A glyph past the map (a glyph index beyond what the font's count said)
// cannot be noted as sent: it is sent again whenever a run uses it.
void MarkSent(DownloadedFont* r, DWORD glyph, size_t bytes) {
    if (InMap(r, glyph)) r->glyphMap[glyph / 8] |= static_cast<BYTE>(1 << (glyph % 8));
    ++r->glyphsSent;
    r->bytesSent += static_cast<DWORD>(bytes);
}
bool Sent(const DownloadedFont* r, DWORD glyph) {
    return InMap(r, glyph) && (r->glyphMap[glyph / 8] >> (glyph % 8) & 1);
}

constexpr int kMaxCompositeDepth = 8;

GlyphSend DownloadGlyphAt(PDEV* pdev, DownloadedFont* r, const SfntFont& font, CharDownload& cd,
                          WORD glyph, std::vector<WORD>& path);

// A composite glyph's components go first (within a bounded nesting). A
// component that is being walked already (the composite itself, or one it
// is part of) is not walked again: a font whose composites name each other
// in a circle would never end.
GlyphSend DownloadCompositeGlyph(PDEV* pdev, DownloadedFont* r, const SfntFont& font,
                                 CharDownload& cd, const BYTE* data, DWORD length,
                                 std::vector<WORD>& path) {
    std::vector<WORD> parts;
    if (!font.Components(data, length, &parts)) return GlyphSend::Done; // sent as it is
    for (WORD p : parts) {
        if (std::find(path.begin(), path.end(), p) != path.end()) continue;
        if (GlyphSend s = DownloadGlyphAt(pdev, r, font, cd, p, path); s != GlyphSend::Done)
            return s;
    }
    return GlyphSend::Done;
}

GlyphSend DownloadGlyphAt(PDEV* pdev, DownloadedFont* r, const SfntFont& font, CharDownload& cd,
                          WORD glyph, std::vector<WORD>& path) {
    if (path.size() > kMaxCompositeDepth || Sent(r, glyph)) return GlyphSend::Done;
    const BYTE* data;
    DWORD length;
    std::vector<BYTE> c;
    switch (OutlineCharacter(font, glyph, r->charClass, &c)) {
    case OutlineChar::Ready:
        break;
    case OutlineChar::Blank:
        return GlyphSend::Done; // nothing to draw, nothing to send
    case OutlineChar::Missing:
    case OutlineChar::TooBig:
        return GlyphSend::AsImage;
    }
    if (font.GlyphData(glyph, &data, &length) && length >= 10 &&
        static_cast<SHORT>(BigU16(data)) == -1) {
        path.push_back(glyph);
        GlyphSend s = DownloadCompositeGlyph(pdev, r, font, cd, data, length, path);
        path.pop_back();
        if (s != GlyphSend::Done) return s;
    }
    if (!SendCharData(pdev, r, cd, glyph, c)) return GlyphSend::Failed;
    MarkSent(r, glyph, c.size());
    return GlyphSend::Done;
}

} // namespace

GlyphSend DownloadGlyph(PDEV* pdev, DownloadedFont* r, const SfntFont& font, CharDownload& cd,
                        WORD glyph) {
    std::vector<WORD> path;
    path.reserve(kMaxCompositeDepth + 1);
    return DownloadGlyphAt(pdev, r, font, cd, glyph, path);
}

namespace {

// What became of a bitmap glyph: sent (or sent before), without an image the
// engine can supply (it is then not visible, and no run names it), or the
// output failed.
enum class BitmapSend { Sent, NoImage, Failed };

// A bitmap character's data: the engine's glyph image (fetched by handle
// when the position carries none), widened for a simulated-bold double-byte
// font, behind its 10-byte head, rows padded to 4 bytes. False when the
// engine has no image for it.
bool PrepareBitmapGlyph(PDEV* pdev, const GLYPHPOS& gp, FONTOBJ* pfo, LONG bold,
                        std::vector<BYTE>* out) {
    GLYPHBITS* gb = gp.pgdf ? gp.pgdf->pgb : nullptr;
    if (!gb) {
        HGLYPH hg = gp.hg;
        GLYPHDATA* gd = nullptr;
        if (FONTOBJ_cGetGlyphs(pfo, FO_GLYPHBITS, 1, &hg, reinterpret_cast<PVOID*>(&gd)) != 1 ||
            !gd)
            return false;
        gb = gd->gdf.pgb;
    }
    if (!gb || gb->sizlBitmap.cx < 0 || gb->sizlBitmap.cy < 0 || gb->sizlBitmap.cx > 0xFFFF ||
        gb->sizlBitmap.cy > 0xFFFF)
        return false;
    LONG w = gb->sizlBitmap.cx, h = gb->sizlBitmap.cy;
    const BYTE* bits = gb->aj;
    std::vector<BYTE> widened;
    if (bold >= 0) {
        // A simulated-bold double-byte glyph, widened to the right.
        LONG n = BitmapBoldPixels(bold, h, pdev->devmode.dm.dmPrintQuality);
        // The width field counts the padded row: it stays within 16 bits.
        n = std::min<LONG>(n, kMaxPaddedWidth - w);
        if (n > 0) {
            widened = WidenGlyphRows(bits, w, h, n);
            bits = widened.data();
            w += n;
        }
    }
    size_t src = (static_cast<size_t>(w) + 7) / 8, dst = (src + 3) / 4 * 4;
    std::vector<BYTE>& c = *out;
    c.clear();
    c.push_back(0);
    c.push_back(0);
    PutBig16(c, static_cast<DWORD>(static_cast<WORD>(gb->ptlOrigin.x)));
    PutBig16(c, static_cast<DWORD>(static_cast<WORD>(-gb->ptlOrigin.y)));
    PutBig16(c, static_cast<DWORD>(dst * 8));
    PutBig16(c, static_cast<DWORD>(h));
    for (LONG y = 0; y < h; ++y) {
        c.insert(c.end(), bits + static_cast<size_t>(y) * src,
                 bits + static_cast<size_t>(y + 1) * src);
        c.resize(c.size() + dst - src, 0);
    }
    return true;
}

BitmapSend DownloadBitmapGlyph(PDEV* pdev, DownloadedFont* r, CharDownload& cd, const GLYPHPOS& gp,
                               FONTOBJ* pfo, WORD code, LONG bold) {
    if (Sent(r, code)) return BitmapSend::Sent;
    std::vector<BYTE> c;
    if (!PrepareBitmapGlyph(pdev, gp, pfo, bold, &c)) return BitmapSend::NoImage;
    if (!SendCharData(pdev, r, cd, code, c)) return BitmapSend::Failed;
    MarkSent(r, code, c.size());
    return BitmapSend::Sent;
}

// --- selection, transform, run -----------------------------------------------

BOOL SendCharTransform(PDEV* pdev, const FontXform& x, float bold) {
    FontTable* ft = Fonts(pdev);
    TokenWriter t;
    if (!ft->transformSent || x.angle != ft->angle || x.scaleX != ft->scaleX ||
        x.scaleY != ft->scaleY || x.shearX != ft->shearX || x.shearY != ft->shearY) {
        if (x.shearX == 0 && x.shearY == 0)
            t.b(stream::kUBytePair).b(0).b(0);
        else
            t.b(stream::kReal32Pair).f(x.shearX).f(x.shearY);
        t.attr(stream::kCharShear).b(stream::kSetCharShear);
        t.b(stream::kReal32Pair)
            .f(x.scaleX)
            .f(x.scaleY)
            .attr(stream::kCharScale)
            .b(stream::kSetCharScale);
        if (x.angle == 0)
            t.b(stream::kSInt16).w(0);
        else
            t.b(stream::kReal32).f(x.angle);
        t.attr(stream::kCharAngle).b(stream::kSetCharAngle);
        ft->transformSent = true;
        ft->angle = x.angle, ft->scaleX = x.scaleX, ft->scaleY = x.scaleY;
        ft->shearX = x.shearX, ft->shearY = x.shearY;
    }
    if (!ft->boldnessSent || bold != ft->boldness) {
        t.b(stream::kReal32).f(bold).attr(stream::kCharBoldValue).b(stream::kSetCharBoldValue);
        ft->boldnessSent = true;
        ft->boldness = bold;
    }
    return t.bytes().empty() ? TRUE : t.send(pdev);
}

BOOL SelectFont(PDEV* pdev, const std::string& name, float size, WORD symbolSet) {
    FontTable* ft = Fonts(pdev);
    if (ft->currentValid && name == ft->currentName && size == ft->currentSize && symbolSet == 0)
        return TRUE;
    TokenWriter t;
    t.b(stream::kUByteArray)
        .b(stream::kUInt16)
        .w(static_cast<DWORD>(name.size()))
        .raw(name.data(), name.size());
    t.attr(stream::kFontName).b(stream::kReal32).f(size).attr(stream::kCharSize);
    t.b(stream::kUInt16).w(symbolSet).attr(stream::kSymbolSet).b(stream::kSetFont);
    snprintf(ft->currentName, sizeof ft->currentName, "%s", name.c_str());
    ft->currentSize = size;
    ft->currentValid = symbolSet == 0;
    return t.send(pdev);
}

void AddArray(TokenWriter& t, const std::vector<LONG>& v) {
    bool negative = std::any_of(v.begin(), v.end(), [](LONG x) { return x < 0; });
    bool wide = std::any_of(v.begin(), v.end(), [](LONG x) { return x > 255; });
    int type = negative ? stream::kSInt16Array : wide ? stream::kUInt16Array : stream::kUByteArray;
    t.b(type).b(stream::kUInt16).w(static_cast<DWORD>(v.size()));
    for (LONG x : v) {
        if (type == stream::kUByteArray)
            t.b(static_cast<int>(x));
        else
            t.w(static_cast<DWORD>(static_cast<WORD>(
                std::clamp<LONG>(x, -32768, type == stream::kSInt16Array ? 32767 : 65535))));
    }
}

BOOL WriteTextRun(PDEV* pdev, const std::vector<WORD>& codes, const std::vector<POINTL>& pos) {
    if (codes.empty()) return TRUE;
    TokenWriter t;
    POINTL p0 = ClampPoint(pos[0], stream::kPointSInt16);
    t.b(stream::kSInt16Pair)
        .w(static_cast<DWORD>(p0.x))
        .w(static_cast<DWORD>(p0.y))
        .attr(stream::kPoint)
        .b(stream::kSetCursor);
    bool wide = std::any_of(codes.begin(), codes.end(), [](WORD c) { return c > 255; });
    t.b(wide ? stream::kUInt16Array : stream::kUByteArray)
        .b(stream::kUInt16)
        .w(static_cast<DWORD>(codes.size()));
    for (WORD c : codes)
        wide ? t.w(c) : t.b(c);
    t.attr(stream::kTextData);
    if (codes.size() > 1) {
        std::vector<LONG> dx(codes.size(), 0), dy(codes.size(), 0);
        for (size_t i = 0; i + 1 < codes.size(); ++i) {
            dx[i] = pos[i + 1].x - pos[i].x;
            dy[i] = pos[i + 1].y - pos[i].y;
        }
        if (std::any_of(dx.begin(), dx.end(), [](LONG x) { return x != 0; })) {
            AddArray(t, dx);
            t.attr(stream::kXSpacingData);
        }
        if (std::any_of(dy.begin(), dy.end(), [](LONG x) { return x != 0; })) {
            AddArray(t, dy);
            t.attr(stream::kYSpacingData);
        }
    }
    t.b(stream::kText);
    return t.send(pdev);
}

// The glyphs of the string, all of them.
std::vector<GLYPHPOS> Glyphs(STROBJ* pstro) {
    std::vector<GLYPHPOS> out;
    if (pstro->pgp) return std::vector<GLYPHPOS>(pstro->pgp, pstro->pgp + pstro->cGlyphs);
    STROBJ_vEnumStart(pstro);
    ULONG n;
    GLYPHPOS* gp;
    BOOL more;
    do {
        n = 0;
        gp = nullptr;
        more = STROBJ_bEnum(pstro, &n, &gp);
        if (gp) out.insert(out.end(), gp, gp + n);
    } while (more && n);
    return out;
}

// 0 inside the box, 1 partly inside, 2 outside.
int Visibility(const GLYPHPOS& g, const RECTL& box) {
    const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
    if (!gb) return 2;
    RECTL r{g.ptl.x + gb->ptlOrigin.x, g.ptl.y + gb->ptlOrigin.y, 0, 0};
    r.right = r.left + gb->sizlBitmap.cx;
    r.bottom = r.top + gb->sizlBitmap.cy;
    if (r.right <= box.left || r.left >= box.right || r.bottom <= box.top || r.top >= box.bottom)
        return 2;
    if (r.left < box.left || r.top < box.top || r.right > box.right || r.bottom > box.bottom ||
        g.ptl.x < 1 || g.ptl.y < 1)
        return 1;
    return 0;
}

// --- printer-resident fonts ------------------------------------------------------

// The 1252 byte of a Unicode character through the Latin glyph set (0 when
// it has none).
WORD LatinCode(WCHAR c) {
    const FD_GLYPHSET* gs = GlyphSet1252();
    if (!gs) return c < 256 ? c : 0;
    for (ULONG i = 0; i < gs->cRuns; ++i) {
        const WCRUN& run = gs->awcrun[i];
        if (c >= run.wcLow && c < run.wcLow + run.cGlyphs)
            return run.phg ? static_cast<WORD>(run.phg[c - run.wcLow] & 0xFF)
                           : static_cast<WORD>(c);
    }
    return 0;
}

// --- glyph images ----------------------------------------------------------------

// Glyph images are delta rows (3) in the graphics language that takes them,
// else run-length rows (1).
int ImageCompression(const PDEV* pdev) {
    return pdev->graphicsVersion == kDeltaRowVersion ? kBlockDeltaRow : kBlockRunLength;
}

// The rows of a glyph image through the imaging side's row compression
// (delta rows against a seed that starts as zeros, or run-length), all in
// the block's one mode; false when a row went out another way or memory ran
// out.
bool CompressRows(const std::vector<BYTE>& rows, DWORD stride, LONG height, int compression,
                  std::vector<BYTE>* out) {
    out->clear();
    const DWORD mode = compression == kBlockDeltaRow ? kModeDeltaRow : kModeRunLength;
    CompressState state;
    if (!InitCompressBuffers(&state, stride, mode)) return false;
    bool ok = true;
    for (LONG y = 0; ok && y < height; ++y) {
        DWORD n = 0;
        WORD used = 0;
        const BYTE* bytes =
            CompressRow(&state, rows.data() + static_cast<size_t>(y) * stride, stride, &n, &used);
        ok = bytes && used == mode;
        if (ok) out->insert(out->end(), bytes, bytes + n);
    }
    FreeCompressBuffers(&state);
    return ok;
}

// One glyph's image as a raster image at its place: only the part inside
// the clip box and the page.
BOOL SendGlyphImage(PDEV* pdev, const GLYPHPOS& g, const RECTL& clip, int compression) {
    const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
    if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) return TRUE;
    LONG gx = g.ptl.x + gb->ptlOrigin.x, gy = g.ptl.y + gb->ptlOrigin.y;
    RECTL v{std::max({gx, clip.left, LONG{0}}), std::max({gy, clip.top, LONG{0}}),
            std::min(gx + gb->sizlBitmap.cx, clip.right),
            std::min(gy + gb->sizlBitmap.cy, clip.bottom)};
    if (v.right <= v.left || v.bottom <= v.top) return TRUE;
    LONG w = v.right - v.left, h = v.bottom - v.top;
    // Drawn band by band: another band's glyph goes out with that band.
    if (!RectInsideBand(pdev, v.left, v.top, w, h)) return TRUE;
    size_t stride = (static_cast<size_t>(w) + 31) / 32 * 4;
    size_t src = (static_cast<size_t>(gb->sizlBitmap.cx) + 7) / 8;
    std::vector<BYTE> rows(stride * static_cast<size_t>(h), 0);
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            LONG sx = v.left - gx + x, sy = v.top - gy + y;
            if (gb->aj[static_cast<size_t>(sy) * src + static_cast<size_t>(sx) / 8] &
                (0x80 >> (sx % 8)))
                rows[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 8] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
        }
    std::vector<BYTE> data;
    if (!CompressRows(rows, static_cast<DWORD>(stride), h, compression, &data)) {
        // A row that delta rows cannot say (far wider than any page) would
        // leave the image block: the glyph goes out run-length instead.
        compression = kBlockRunLength;
        if (!CompressRows(rows, static_cast<DWORD>(stride), h, compression, &data)) return FALSE;
    }
    TokenWriter t;
    t.b(stream::kSInt16Pair).w(static_cast<DWORD>(v.left)).w(static_cast<DWORD>(v.top));
    t.attr(stream::kPoint).b(stream::kSetCursor);
    t.b(stream::kUByte)
        .b(1)
        .attr(stream::kColourMapping)
        .b(stream::kUByte)
        .b(0)
        .attr(stream::kColourDepth);
    t.b(stream::kUInt16).w(static_cast<DWORD>(w)).attr(stream::kSourceWidth);
    t.b(stream::kUInt16).w(static_cast<DWORD>(h)).attr(stream::kSourceHeight);
    t.b(stream::kUInt16Pair)
        .w(static_cast<DWORD>(w))
        .w(static_cast<DWORD>(h))
        .attr(stream::kDestinationSize);
    t.b(stream::kBeginImage);
    t.b(stream::kUInt16)
        .w(0)
        .attr(stream::kStartLine)
        .b(stream::kUInt16)
        .w(static_cast<DWORD>(h))
        .attr(stream::kBlockHeight);
    t.b(stream::kUByte).b(compression).attr(stream::kCompression).b(stream::kReadImage);
    t.b(stream::kDataTag)
        .d(static_cast<DWORD>(data.size()))
        .raw(data.data(), data.size())
        .b(stream::kEndImage);
    return t.send(pdev);
}

// --- raster devices ------------------------------------------------------------

// All text in black: the model offers it (feature word B), it is on, and
// the text colour mode of the debug settings beside the driver (read with
// the banding surface; 3 without them) does not turn it off with 0.
bool AllTextBlack(PDEV* pdev) {
    const DWORD mode = pdev->imaging ? pdev->imaging->debug.allTextBlackMode
                                     : BandDebugSettings{}.allTextBlackMode;
    return PrivBit(pdev->devmode, priv::FeatureFlags, kTextAsBlackBit) &&
           PrivU16(pdev->devmode, priv::TextAsBlack) != 0 && mode != 0;
}

// The text colour under the all-text-black rule: everything but white turns
// black. The device's palette is RGB at every band depth, so the colour is
// compared as a colour.
ULONG TextColor(ULONG color, bool allBlack) {
    return allBlack && (color & kWhiteColor) != kWhiteColor ? kBlackColor : color;
}

// How far simulated bold moves a double-byte run on a raster page: the
// font's transformed (10000, 0) times 540 / 1,000,000 in each direction
// (swapped for vertical faces); at least one pixel along the baseline, so
// that small text shows its bold too.
POINTL RasterBoldShift(FONTOBJ* pfo, bool vertical) {
    XFORMOBJ* xo = FONTOBJ_pxoGetXform(pfo);
    XFORML m{};
    if (!xo || XFORMOBJ_iGetXform(xo, &m) == DDI_ERROR) m.eM11 = 1;
    auto part = [](double v) {
        return static_cast<LONG>(
            std::lround(std::clamp(v * kBoldVector * kRasterBoldPerMillion / 1e6,
                                   -double{kMaxRasterBold}, double{kMaxRasterBold})));
    };
    POINTL n{part(m.eM11), part(m.eM12)};
    if (n.x == 0 && n.y == 0) {
        if (std::fabs(m.eM12) > std::fabs(m.eM11))
            n.y = m.eM12 < 0 ? -1 : 1;
        else
            n.x = m.eM11 < 0 ? -1 : 1;
    }
    if (vertical) std::swap(n.x, n.y);
    return n;
}

// Simulated bold on the page: the glyphs drawn into a 1-bit work bitmap
// (extents rounded up to multiples of 16) that is or-ed onto the page, in
// the foreground brush under the mix, shifted by 1 to n pixels.
BOOL EmboldenOnPage(SURFOBJ* pso, const std::vector<GLYPHPOS>& glyphs, POINTL n, CLIPOBJ* pco,
                    BRUSHOBJ* fore, POINTL* org, MIX mix) {
    // Only glyph pixels that a shift can bring onto the page are needed.
    RECTL limit{-std::abs(n.x), -std::abs(n.y), pso->sizlBitmap.cx + std::abs(n.x),
                pso->sizlBitmap.cy + std::abs(n.y)};
    RECTL box{limit.right, limit.bottom, limit.left, limit.top};
    for (const GLYPHPOS& g : glyphs) {
        const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
        if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) continue;
        LONG x = g.ptl.x + gb->ptlOrigin.x, y = g.ptl.y + gb->ptlOrigin.y;
        box = RECTL{std::min(box.left, x), std::min(box.top, y),
                    std::max(box.right, x + gb->sizlBitmap.cx),
                    std::max(box.bottom, y + gb->sizlBitmap.cy)};
    }
    box = RECTL{std::max(box.left, limit.left), std::max(box.top, limit.top),
                std::min(box.right, limit.right), std::min(box.bottom, limit.bottom)};
    if (box.left >= box.right || box.top >= box.bottom) return TRUE;
    SIZEL size{(box.right - box.left + kWorkAlign - 1) / kWorkAlign * kWorkAlign,
               (box.bottom - box.top + kWorkAlign - 1) / kWorkAlign * kWorkAlign};
    HSURF work = reinterpret_cast<HSURF>(EngCreateBitmap(size, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    SURFOBJ* wso = work ? EngLockSurface(work) : nullptr;
    if (!wso) {
        if (work) EngDeleteSurface(work);
        return FALSE;
    }
    for (const GLYPHPOS& g : glyphs) {
        const GLYPHBITS* gb = g.pgdf ? g.pgdf->pgb : nullptr;
        if (!gb || gb->sizlBitmap.cx <= 0 || gb->sizlBitmap.cy <= 0) continue;
        LONG ox = g.ptl.x + gb->ptlOrigin.x - box.left, oy = g.ptl.y + gb->ptlOrigin.y - box.top;
        size_t stride = (static_cast<size_t>(gb->sizlBitmap.cx) + 7) / 8;
        for (LONG y = std::max<LONG>(0, -oy); y < gb->sizlBitmap.cy && oy + y < size.cy; ++y) {
            BYTE* row =
                static_cast<BYTE*>(wso->pvScan0) + static_cast<ptrdiff_t>(oy + y) * wso->lDelta;
            const BYTE* src = gb->aj + static_cast<size_t>(y) * stride;
            for (LONG x = std::max<LONG>(0, -ox); x < gb->sizlBitmap.cx && ox + x < size.cx; ++x)
                if (src[x / 8] & (0x80 >> (x % 8)))
                    row[(ox + x) / 8] |= static_cast<BYTE>(0x80 >> ((ox + x) % 8));
        }
    }
    const ROP4 rop = ROP4{kRopDestination} << 8 | kMixRop[mix & 0xF];
    const LONG steps = std::max(std::abs(n.x), std::abs(n.y));
    BOOL ok = TRUE;
    for (LONG k = 1; ok && k <= steps; ++k) {
        LONG dx = n.x * k / steps, dy = n.y * k / steps;
        RECTL dst{box.left + dx, box.top + dy, box.left + dx + size.cx, box.top + dy + size.cy};
        POINTL at{0, 0};
        ok = EngBitBlt(pso, nullptr, wso, pco, nullptr, &dst, nullptr, &at, fore, org, rop);
    }
    EngUnlockSurface(wso);
    EngDeleteSurface(work);
    return ok;
}

// --- vector text state -------------------------------------------------------------

constexpr DWORD kStrokeJoin = 3; // the line join of fonts drawn with the pen

// The text colour and modes of a run: the brush for glyphs that are filled,
// the pen (line join 3, no brush) for a font that returns strokes; raster
// operation 0xFC and the transfer modes, each sent only when changed.
BOOL SetTextDrawing(PDEV* pdev, ULONG fore, bool strokes) {
    if (strokes) {
        VectorState& v = Vector(pdev);
        if (v.join != kStrokeJoin) {
            TokenWriter t;
            t.b(stream::kUByte).b(static_cast<int>(kStrokeJoin)).attr(stream::kLineJoin);
            if (!t.b(stream::kSetLineJoin).send(pdev)) return FALSE;
            v.join = kStrokeJoin;
        }
        if (!SetPenColor(pdev, fore) || !SelectNoBrush(pdev)) return FALSE;
    } else if (!SetBrushColor(pdev, fore) || !SelectNoPen(pdev)) {
        return FALSE;
    }
    return SetRop(pdev, kRopText) &&
           SetTransferModes(pdev, /*paintTransparent=*/false, /*sourceTransparent=*/true);
}

// The opaque rectangle in the opaque brush with raster operation 0xF0: a
// solid colour, or the pattern (as the printer's pattern, or as its tiled
// image, which fills the rectangle itself).
BOOL PaintOpaqueRectangle(PDEV* pdev, const RECTL* rect, BRUSHOBJ* pbo) {
    if (pbo->iSolidColor != kPatternBrush)
        return SetSolidBrush(pdev, rect, pbo->iSolidColor, kRopPatCopy, false);
    if (!SelectBrushForFill(pdev, pbo, rect, kRopPatCopy, false)) return FALSE;
    if ((Vector(pdev).drawState & draw::BrushMask) == draw::NoBrush) return TRUE; // tiled
    return SelectNoPen(pdev) && SetRop(pdev, kRopPatCopy) && SetTransferModes(pdev, false) &&
           EmitRectangle(pdev, POINTL{rect->left, rect->top}, POINTL{rect->right, rect->bottom});
}

// The glyph index of glyph i of the string: the engine's handle; when that
// is 0, the text itself when it is given as glyph indices, else the
// character looked up in the font's "cmap" (0 without a font).
WORD MapGlyphIndex(STROBJ* pstro, const GLYPHPOS& g, size_t i, const SfntFont* font) {
    if (g.hg) return static_cast<WORD>(std::min<HGLYPH>(g.hg, 0xFFFF));
    WCHAR c = pstro->pwszOrg && i < pstro->cGlyphs ? pstro->pwszOrg[i] : 0;
    if (pstro->flAccel & SO_GLYPHINDEX_TEXT) return c;
    return font ? font->MapCharacter(c) : 0;
}

// The font file of a font object (for a collection, the member chosen by
// its PANOSE and unique name); false when it has none that reads.
bool OpenFontFile(FONTOBJ* pfo, IFIMETRICS* ifi, SfntFont* font) {
    ULONG size = 0;
    auto* file = static_cast<const BYTE*>(FONTOBJ_pvTrueTypeFontFile(pfo, &size));
    DWORD member = 0;
    const auto* unique = reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(ifi) +
                                                           ifi->dpwszUniqueName);
    return file &&
           SfntFont::ChooseMember(file, size, reinterpret_cast<const BYTE*>(&ifi->panose), unique,
                                  &member) &&
           font->ParseFontTable(file, size, member);
}

// The places of a printer font's glyphs: from the first glyph's place on,
// each the last one's plus its advance through the font transform: the
// fixed pitch of a fixed-pitch font, else the glyph's "hmtx" advance (back
// along the line for reversed text). Without a pitch or "hmtx" the engine's
// places stand.
std::vector<POINTL> DeviceFontPlaces(FONTOBJ* pfo, IFIMETRICS* ifi, STROBJ* pstro,
                                     const std::vector<GLYPHPOS>& glyphs, size_t first,
                                     size_t last) {
    std::vector<POINTL> pos;
    for (size_t i = first; i < last; ++i)
        pos.push_back(glyphs[i].ptl);
    if (pos.size() < 2) return pos;
    XFORMOBJ* xo = FONTOBJ_pxoGetXform(pfo);
    XFORML m{};
    if (!xo || XFORMOBJ_iGetXform(xo, &m) == DDI_ERROR) return pos;
    const bool fixed = (ifi->flInfo & FM_INFO_CONSTANT_WIDTH) && ifi->fwdAveCharWidth > 0;
    SfntFont font;
    const bool haveMetrics = !fixed && OpenFontFile(pfo, ifi, &font) &&
                             font.FindTrueTypeTable(SfntTag('h', 'm', 't', 'x'));
    if (!fixed && !haveMetrics) return pos;
    const double sign = (pstro->flAccel & SO_REVERSED) ? -1 : 1;
    double x = pos[0].x, y = pos[0].y;
    for (size_t k = 0; k + 1 < pos.size(); ++k) {
        double advance = ifi->fwdAveCharWidth;
        if (!fixed) {
            WORD a = 0;
            SHORT lsb = 0;
            if (!font.HorizontalMetrics(MapGlyphIndex(pstro, glyphs[first + k], first + k, &font),
                                        &a, &lsb))
                return pos;
            advance = a;
        }
        x += sign * advance * m.eM11;
        y += sign * advance * m.eM12;
        pos[k + 1] = POINTL{static_cast<LONG>(std::lround(std::clamp(x, -2e9, 2e9))),
                            static_cast<LONG>(std::lround(std::clamp(y, -2e9, 2e9)))};
    }
    return pos;
}

} // namespace

DWORD ClassifyRunCharacters(const WCHAR* text, ULONG count, BYTE charSet) {
    if (charSet == 2) return 4; // symbol
    bool latin = true, ascii = true;
    for (ULONG i = 0; i < count; ++i) {
        WCHAR c = text ? text[i] : 0;
        if (c >= 256 || (c >= 0x80 && LatinCode(c) == 0)) latin = false;
        if (!(c < 128 || (c >= 1024 && c <= 1279))) ascii = false;
    }
    return latin ? 1 : ascii ? 2 : 0;
}

bool MatchDeviceFont(PDEV* pdev, const WCHAR* faceName, DWORD needed, std::string* name,
                     WORD* symbolSet) {
    // The face in ANSI, as the substitution table and the font list hold it.
    char face[64] = {};
    for (size_t i = 0; i + 1 < sizeof face && faceName && faceName[i]; ++i)
        face[i] = faceName[i] < 0x80 ? static_cast<char>(faceName[i]) : '?';
    bool anyClass = false;
    for (DWORD i = 0; pdev->fontSubs && i < pdev->fontSubCount; ++i) {
        const BYTE* e = pdev->fontSubs + static_cast<size_t>(i) * kFontSubRecordSize;
        if (strncmp(reinterpret_cast<const char*>(e), face, 63) != 0) continue;
        // The replacement name at offset 64 of the entry, cut to its field.
        size_t n = strnlen(reinterpret_cast<const char*>(e + 64), 63);
        std::memcpy(face, e + 64, n);
        face[n] = 0;
        anyClass = true;
        break;
    }
    for (DWORD i = 0; pdev->trueTypeFonts && i < pdev->trueTypeCount; ++i) {
        const TrueTypeFont& f = pdev->trueTypeFonts[i];
        if (strncmp(f.faceName, face, sizeof f.faceName) != 0) continue;
        DWORD cls = SymbolSetClass(f.id);
        if (!anyClass && (needed == 0 || (cls & needed) == 0)) continue;
        *name = std::string(f.faceName, strnlen(f.faceName, sizeof f.faceName));
        *symbolSet = f.id;
        return true;
    }
    return false;
}

// --- public helpers ------------------------------------------------------------

LONG IntHypot(LONG a, LONG b) {
    double h = std::hypot(static_cast<double>(a), static_cast<double>(b));
    return h >= 2147483647.0 ? 2147483647 : static_cast<LONG>(std::lround(h));
}

LONG GetFontSize(FONTOBJ* pfo) {
    IFIMETRICS* ifi = FONTOBJ_pifi(pfo);
    XFORMOBJ* xo = FONTOBJ_pxoGetXform(pfo);
    XFORML m{};
    if (!ifi || !xo || XFORMOBJ_iGetXform(xo, &m) == DDI_ERROR) return 0;
    auto len = [](double v) { return static_cast<LONG>(std::lround(std::clamp(v, -2e9, 2e9))); };
    return IntHypot(len(m.eM21 * ifi->fwdUnitsPerEm), len(m.eM22 * ifi->fwdUnitsPerEm));
}

double VectorAngle(double x, double y) {
    double a = std::atan2(y, x) * 180.0 / M_PI;
    return a < 0 ? a + 360 : a;
}

FontXform DecomposeFontXform(FONTOBJ* pfo) {
    FontXform r{0, 1, 1, (pfo->flFontType & FO_SIM_ITALIC) ? kItalicShear : 0.0f, 0};
    XFORMOBJ* xo = FONTOBJ_pxoGetXform(pfo);
    XFORML m{};
    if (!xo || XFORMOBJ_iGetXform(xo, &m) == DDI_ERROR) return r;
    double ax = m.eM11 * 10000.0, ay = m.eM12 * 10000.0, bx = m.eM21 * 10000.0,
           by = m.eM22 * 10000.0;
    LONG sx = IntHypot(static_cast<LONG>(std::lround(ax)), static_cast<LONG>(std::lround(ay)));
    LONG sy = IntHypot(static_cast<LONG>(std::lround(bx)), static_cast<LONG>(std::lround(by)));
    if (sx == 0 || sy == 0) return r;
    // Angles measured with y pointing up on the page.
    double a1 = VectorAngle(ax, -ay), a2 = VectorAngle(bx, -by);
    double d = a1 - a2;
    if (d < 0) d += 360;
    double mirror = 1;
    double syd = sy;
    if (std::fabs(d - 90) > 0.1) {
        if (d - 180 > 0.1) {
            mirror = -1;
            a1 = 180 - a1;
            if (a1 < 0) a1 += 360;
            d -= 180;
        }
        if (d > 0.1 && SinDegrees(d) != 0) {
            syd = sy * SinDegrees(d);
            r.shearX = static_cast<float>(-CosDegrees(d) / SinDegrees(d));
        }
    }
    double angle = a1 == 0 ? 0 : 360 - a1;
    if (mirror < 0 && angle != 0) angle = 360 - angle;
    if (angle >= 360) angle -= 360;
    r.angle = static_cast<float>(angle);
    r.scaleX = sx == sy ? static_cast<float>(mirror) : static_cast<float>(mirror * sx / syd);
    r.scaleY = 1;
    return r;
}

DWORD SymbolSetClass(WORD s) {
    switch (s) {
    case 14:
    case 53:
    case 78:
    case 174:
    case 277:
    case 341:
    case 373:
    case 405:
    case 590:
    case 629:
        return 1;
    case 114:
    case 306:
    case 334:
        return 2;
    case 460:
    case 621:
    case 18540:
        return 4;
    default:
        return 0;
    }
}

FontTable* Fonts(PDEV* pdev) {
    if (pdev->fontTable) return pdev->fontTable;
    pdev->fontTable =
        static_cast<FontTable*>(EngAllocMem(FL_ZERO_MEMORY, sizeof(FontTable), kDownloadedFontTag));
    if (FontTable* ft = pdev->fontTable) {
        // Neither the device mode nor the model data says more of what a
        // printer wants of downloaded outline fonts than the graphics language
        // it speaks: from version 2.0 on the language has characters that
        // carry their own metrics and the "GC" segment, and such a printer
        // gets both; a 1.x printer knows only characters without metrics.
        const bool metrics = pdev->graphicsVersion >= kMetricsVersion;
        ft->glyphMetrics = metrics;
        ft->classSegment = metrics;
    }
    return pdev->fontTable;
}

void RetireDownloadedFonts(PDEV* pdev) {
    if (!pdev->fontTable) return;
    for (size_t i = 0; i < kFontTableSlots; ++i)
        DetachSlot(pdev->fontTable, i);
    pdev->fontTable->currentValid = false;
    pdev->fontTable->transformSent = pdev->fontTable->boldnessSent = false;
}

void FreeFontTable(PDEV* pdev) {
    RetireDownloadedFonts(pdev);
    if (!pdev->fontTable) return;
    for (DownloadedFont* r = pdev->fontTable->retired; r;) {
        DownloadedFont* next = r->nextRetired;
        FreeRecord(r);
        r = next;
    }
    EngFreeMem(pdev->fontTable);
    pdev->fontTable = nullptr;
}

void CarryFontTable(PDEV* from, PDEV* to) {
    if (from == to || !from->fontTable) return;
    FreeFontTable(to);
    to->fontTable = from->fontTable;
    from->fontTable = nullptr;
    FontTable* ft = to->fontTable;
    for (DownloadedFont* r : ft->slots)
        if (r) r->owner = to;
    for (DownloadedFont* r = ft->retired; r; r = r->nextRetired)
        r->owner = to;
    // The job commands go again on the next page: the font is selected anew.
    ft->currentValid = false;
    ft->transformSent = ft->boldnessSent = false;
}

bool IsDoubleByteCharSet(BYTE charSet) {
    return charSet == SHIFTJIS_CHARSET || charSet == HANGUL_CHARSET || charSet == kJohabCharSet ||
           charSet == GB2312_CHARSET || charSet == CHINESEBIG5_CHARSET;
}

LONG BitmapBoldPixels(LONG bold, LONG height, LONG dpi) {
    if (bold >= 1) return bold;
    // 84 rows at 600 dots per inch; a resolution below 8 has no divisor.
    LONG divisor = dpi > 0 ? dpi * 42 / 300 : 0;
    return divisor > 0 ? std::max<LONG>(height, 0) / divisor : 0;
}

std::vector<BYTE> WidenGlyphRows(const BYTE* rows, LONG width, LONG height, LONG n) {
    if (width < 0 || height < 0 || n < 0) return {};
    size_t src = (static_cast<size_t>(width) + 7) / 8;
    size_t dst = (static_cast<size_t>(width) + static_cast<size_t>(n) + 7) / 8;
    std::vector<BYTE> out(dst * static_cast<size_t>(height), 0);
    for (LONG y = 0; y < height; ++y) {
        const BYTE* in = rows + static_cast<size_t>(y) * src;
        BYTE* o = out.data() + static_cast<size_t>(y) * dst;
        for (LONG x = 0; x < width; ++x) {
            if (!(in[x / 8] & (0x80 >> (x % 8)))) continue;
            // The pixel and its copies 1 to n pixels to the right, in its row.
            for (LONG k = x; k <= x + n; ++k)
                o[k / 8] |= static_cast<BYTE>(0x80 >> (k % 8));
        }
    }
    return out;
}

// --- hooks ---------------------------------------------------------------------

ULONG APIENTRY DrvGetGlyphMode(DHPDEV, FONTOBJ*) {
    return FO_GLYPHBITS;
}

VOID APIENTRY DrvDestroyFont(FONTOBJ* pfo) {
    if (!pfo) return;
    auto* r = static_cast<DownloadedFont*>(pfo->pvConsumer);
    pfo->pvConsumer = nullptr;
    if (!r || r->tag != kDownloadedFontTag) return;
    bool held = false;
    for (ULONG& id : r->fontObjects) {
        if (id == pfo->iUniq) id = 0;
        held = held || id != 0;
    }
    if (held) return;
    if (PDEV* pdev = r->owner; pdev && pdev->fontTable) {
        if (r->retired) {
            Unretire(pdev->fontTable, r);
        } else {
            if ((pdev->jobFlags & job::Started) && (pdev->jobFlags & job::PageOpen))
                RemoveFont(pdev, r);
            for (DownloadedFont*& slot : pdev->fontTable->slots)
                if (slot == r) slot = nullptr;
        }
    }
    FreeRecord(r);
}

namespace {

// What every step of one text call shares.
struct TextCall {
    PDEV* pdev;
    SURFOBJ* pso;
    STROBJ* pstro;
    FONTOBJ* pfo;
    IFIMETRICS* ifi;
    std::vector<GLYPHPOS> glyphs;
    size_t first = 0, last = 0; // the glyphs from the first visible one to the last
    RECTL box{};                // the clip box, or the page
    ULONG fore = 0;             // the text colour
    bool strokes = false;       // the font returns strokes: drawn with the pen
};

const WCHAR* FaceName(IFIMETRICS* ifi) {
    return reinterpret_cast<const WCHAR*>(reinterpret_cast<const BYTE*>(ifi) + ifi->dpwszFaceName);
}

// A full-page raster device: the engine draws the text on the page bitmap;
// all-text-black keeps only white as it is (a pattern brush turns black
// too), and simulated-bold double-byte text is widened on the page.
BOOL RasterTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                   RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                   MIX mix, bool allBlack) {
    BRUSHOBJ black{};
    black.iSolidColor = kBlackColor;
    BRUSHOBJ* fore = pboFore;
    if (allBlack && (pboFore->iSolidColor == kPatternBrush ||
                     TextColor(pboFore->iSolidColor, true) != pboFore->iSolidColor))
        fore = &black;
    if (!EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, fore, pboOpaque, pptlOrg, mix))
        return FALSE;
    IFIMETRICS* ifi = FONTOBJ_pifi(pfo);
    if (!(pfo->flFontType & FO_SIM_BOLD) || !ifi || !IsDoubleByteCharSet(ifi->jWinCharSet))
        return TRUE;
    return EmboldenOnPage(pso, Glyphs(pstro), RasterBoldShift(pfo, FaceName(ifi)[0] == u'@'), pco,
                          fore, pptlOrg, mix);
}

// The method: a printer font that the face stands for and that holds the
// run's characters, else the text setting of the device mode.
DWORD ChooseTextMethod(const TextCall& call, std::string* deviceName, WORD* symbolSet) {
    const WORD textMode = PrivU16(call.pdev->devmode, priv::FontMode);
    DWORD method = (textMode & FONTMODE_TEXT_AS_IMAGES)    ? kGlyphImages
                   : (textMode & FONTMODE_TEXT_AS_BITMAPS) ? kBitmaps
                                                           : kOutlines;
    const WCHAR* face = FaceName(call.ifi);
    const bool vertical = face[0] == u'@';
    if (method == kOutlines && (vertical || (call.pfo->flFontType & FO_SIM_BOLD)))
        method = kBitmaps;
    if (PrinterFontStandsIn(call.pdev, call.pstro, call.pfo, call.ifi, deviceName, symbolSet))
        method = kDeviceFont;
    return method;
}

// Sends the clip and paints the opaque rectangle; *box gets the clip box,
// or the page when nothing clips.
BOOL ClipAndOpaque(PDEV* pdev, SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclOpaque, BRUSHOBJ* pboOpaque,
                   RECTL* box) {
    *box = RECTL{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    if (pco && pco->iDComplexity != DC_TRIVIAL) {
        *box = pco->rclBounds;
        if (!ClipToObject(pdev, pco) && !SetClipRect(pdev, &pco->rclBounds)) return FALSE;
    } else if (!SetClipRect(pdev, nullptr)) {
        return FALSE;
    }
    return !prclOpaque || !pboOpaque || PaintOpaqueRectangle(pdev, prclOpaque, pboOpaque);
}

BOOL GlyphImagesRun(const TextCall& call) {
    if (!SetTextDrawing(call.pdev, call.fore, call.strokes)) return FALSE;
    for (size_t i = call.first; i < call.last; ++i)
        if (!SendGlyphImage(call.pdev, call.glyphs[i], call.box, ImageCompression(call.pdev)))
            return FALSE;
    return TRUE;
}

// The printer's own font, its glyphs placed by the font's advances.
BOOL DeviceFontRun(const TextCall& call, const std::string& deviceName, WORD symbolSet) {
    if (!SetTextDrawing(call.pdev, call.fore, call.strokes)) return FALSE;
    std::vector<WORD> codes;
    const bool symbol = SymbolSetClass(symbolSet) == 4;
    for (size_t i = call.first; i < call.last; ++i) {
        WCHAR c = call.pstro->pwszOrg ? call.pstro->pwszOrg[i] : 0;
        codes.push_back(symbol ? static_cast<WORD>(c > 0xEFFF ? c - 0xF000 : c) : LatinCode(c));
    }
    std::vector<POINTL> pos =
        DeviceFontPlaces(call.pfo, call.ifi, call.pstro, call.glyphs, call.first, call.last);
    return SendCharTransform(call.pdev, FontXform{0, 1, 1, 0, 0}, 0) &&
           SelectFont(call.pdev, deviceName, static_cast<float>(GetFontSize(call.pfo)),
                      symbolSet) &&
           WriteTextRun(call.pdev, codes, pos);
}

// A run (or the piece of one) in a downloaded font: its transform, the font
// selected, the colour, then the codes.
BOOL SendDownloadedRun(const TextCall& call, DownloadedFont* r, bool outline,
                       const std::vector<WORD>& codes, const std::vector<POINTL>& pos) {
    PDEV* pdev = call.pdev;
    const FontXform x = outline ? DecomposeFontXform(call.pfo) : FontXform{0, 1, 1, 0, 0};
    const float bold = (outline && (call.pfo->flFontType & FO_SIM_BOLD)) ? kSimBoldness : 0.0f;
    const float size = outline ? static_cast<float>(GetFontSize(call.pfo))
                               : static_cast<float>(pdev->devmode.dm.dmPrintQuality > 0
                                                        ? pdev->devmode.dm.dmPrintQuality
                                                        : 600);
    return SendCharTransform(pdev, x, bold) && SelectFont(pdev, FontName(r), size, 0) &&
           SetTextDrawing(pdev, call.fore, call.strokes) && WriteTextRun(pdev, codes, pos);
}

// Takes a bitmap font off the printer and out of the device's table.
BOOL RetireBitmapFont(PDEV* pdev, DownloadedFont* r) {
    if (!RemoveFont(pdev, r)) return FALSE;
    for (size_t i = 0; i < kFontTableSlots; ++i)
        if (Fonts(pdev)->slots[i] == r) DetachSlot(Fonts(pdev), i);
    return TRUE;
}

// A font header anew: for a bitmap font, or for outlines with bitmaps as the
// fallback when the outline header cannot be made.
DownloadedFont* NewDownload(PDEV* pdev, FONTOBJ* pfo, const SfntFont* font, DWORD* method) {
    DownloadedFont* r = DownloadFontHeader(pdev, pfo, font, *method == kOutlines);
    if (!r && *method == kOutlines) {
        *method = kBitmaps;
        r = FindDownloadedFont(pdev, pfo, false);
        if (!r) r = DownloadFontHeader(pdev, pfo, font, false);
    }
    return r;
}

// Outlines or bitmaps in a font downloaded once per job. A bitmap font holds
// at most its glyph limit: a run whose glyphs would pass it goes out in
// pieces, each in a font that holds its glyphs. A glyph that cannot go as a
// character goes as a glyph image after the run; no run names a character
// that its font does not hold.
BOOL DownloadedFontRun(TextCall& call, DWORD method) {
    PDEV* pdev = call.pdev;
    FONTOBJ* pfo = call.pfo;
    STROBJ* pstro = call.pstro;
    // Outlines need the font's own tables; bitmaps read only its "cmap" for
    // the glyph count.
    SfntFont font;
    const bool haveFile = OpenFontFile(pfo, call.ifi, &font);
    if (method == kOutlines && !(haveFile && font.FindTrueTypeTable(SfntTag('c', 'm', 'a', 'p')) &&
                                 font.FindTrueTypeTable(SfntTag('h', 'e', 'a', 'd')) &&
                                 font.FindTrueTypeTable(SfntTag('m', 'a', 'x', 'p')) &&
                                 font.FindTrueTypeTable(SfntTag('g', 'l', 'y', 'f'))))
        method = kBitmaps;
    const SfntFont* file = haveFile ? &font : nullptr;
    // Bitmap glyphs are fetched by their handle; a handle of 0 in text given
    // as glyph indices fetches the index.
    auto bitmapHandle = [&](size_t i) -> HGLYPH {
        const GLYPHPOS& g = call.glyphs[i];
        if (g.hg || !(pstro->flAccel & SO_GLYPHINDEX_TEXT) || !pstro->pwszOrg) return g.hg;
        return pstro->pwszOrg[i];
    };
    auto bitmapCode = [&](size_t i) {
        return static_cast<WORD>(std::min<HGLYPH>(bitmapHandle(i), 0xFFFF));
    };
    DownloadedFont* r = FindDownloadedFont(pdev, pfo, method == kOutlines);
    if (r && method == kBitmaps) {
        // A bitmap font that the run's new glyphs would take past its limit
        // is removed and sent anew.
        std::vector<WORD> fresh;
        for (size_t i = call.first; i < call.last; ++i)
            if (!Sent(r, bitmapCode(i))) fresh.push_back(bitmapCode(i));
        std::sort(fresh.begin(), fresh.end());
        fresh.erase(std::unique(fresh.begin(), fresh.end()), fresh.end());
        if (r->glyphsSent + fresh.size() > kBitmapFontGlyphLimit) {
            if (!RetireBitmapFont(pdev, r)) return FALSE;
            r = nullptr;
        }
    }
    if (!r && !(r = NewDownload(pdev, pfo, file, &method))) return FALSE;
    pfo->pvConsumer = r;
    r->lastPage = pdev->pageCount;
    const bool outline = method == kOutlines;

    // Simulated bold of double-byte fonts: bitmap glyphs are widened by the
    // em height / 84 (or by their own height, when that rounds to 0).
    LONG bitmapBold = -1;
    if ((pfo->flFontType & FO_SIM_BOLD) && IsDoubleByteCharSet(call.ifi->jWinCharSet))
        bitmapBold =
            static_cast<LONG>((int64_t{GetFontSize(pfo)} + kBoldDivisor / 2) / kBoldDivisor);

    std::vector<WORD> codes;
    std::vector<POINTL> pos;
    std::vector<size_t> asImages;
    CharDownload cd;
    auto closeChars = [&]() -> BOOL {
        if (!cd.open) return TRUE;
        cd.open = false;
        return OutputByteList(pdev, {stream::kEndChar});
    };
    for (size_t i = call.first; i < call.last; ++i) {
        const GLYPHPOS& g = call.glyphs[i];
        WORD code;
        if (outline) {
            code = MapGlyphIndex(pstro, g, i, &font);
            const GlyphSend sent = DownloadGlyph(pdev, r, font, cd, code);
            if (sent == GlyphSend::Failed) return FALSE;
            if (sent == GlyphSend::AsImage) {
                asImages.push_back(i);
                continue;
            }
        } else {
            code = bitmapCode(i);
            if (!Sent(r, code) && r->glyphsSent >= kBitmapFontGlyphLimit) {
                // The font is full: the run so far goes out in it, the rest in a new one.
                if (!closeChars() ||
                    (!codes.empty() && !SendDownloadedRun(call, r, false, codes, pos)) ||
                    !RetireBitmapFont(pdev, r) || !(r = NewDownload(pdev, pfo, file, &method)))
                    return FALSE;
                pfo->pvConsumer = r;
                r->lastPage = pdev->pageCount;
                codes.clear();
                pos.clear();
            }
            GLYPHPOS byHandle = g;
            byHandle.hg = bitmapHandle(i);
            if (byHandle.hg != g.hg) byHandle.pgdf = nullptr; // the image of the index
            // Bitmap fonts number their characters in the order they are sent.
            const BitmapSend sent =
                DownloadBitmapGlyph(pdev, r, cd, byHandle, pfo, code, bitmapBold);
            if (sent == BitmapSend::Failed) return FALSE;
            if (sent == BitmapSend::NoImage) continue; // not visible
        }
        codes.push_back(code);
        pos.push_back(g.ptl);
    }
    if (!closeChars() || !SendDownloadedRun(call, r, outline, codes, pos)) return FALSE;
    for (size_t i : asImages)
        if (!SendGlyphImage(pdev, call.glyphs[i], call.box, ImageCompression(pdev))) return FALSE;
    return TRUE;
}

} // namespace

BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                         MIX mix) {
    PDEV* pdev = CheckedPdev(pso);
    if (!pdev || !pstro || !pfo || !pboFore) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool allBlack = AllTextBlack(pdev);
    if (pdev->banding)
        return RasterTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque,
                             pptlOrg, mix, allBlack);
    if (pdev->jobFlags & job::Cancelled) return FALSE;
    if (!(pdev->jobFlags & job::PageOpen)) return TRUE;
    if ((pdev->firstPageOnly & 1) && pdev->pageCount > 1) return TRUE;
    if (pdev->modeFlags & mode::SpoolSide) {
        if (RecordingPage(pdev))
            return RecordTextOut(pdev, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque,
                                 mix);
        return pdev->docStarted ? FALSE : TRUE;
    }
    if (!Fonts(pdev)) return FALSE;
    TextCall call{pdev, pso, pstro, pfo, FONTOBJ_pifi(pfo), {}};
    if (!call.ifi) return FALSE;

    std::string deviceName;
    WORD symbolSet = 0;
    const DWORD method = ChooseTextMethod(call, &deviceName, &symbolSet);
    if (!ClipAndOpaque(pdev, pso, pco, prclOpaque, pboOpaque, &call.box)) return FALSE;

    // Glyphs outside the clip are dropped only at the ends of the run.
    call.glyphs = Glyphs(pstro);
    call.first = 0;
    call.last = call.glyphs.size();
    while (call.first < call.last && Visibility(call.glyphs[call.first], call.box) == 2)
        ++call.first;
    while (call.last > call.first && Visibility(call.glyphs[call.last - 1], call.box) == 2)
        --call.last;
    call.fore =
        TextColor(pboFore->iSolidColor == kPatternBrush ? 0 : pboFore->iSolidColor, allBlack);
    call.strokes = (call.ifi->flInfo & FM_INFO_RETURNS_STROKES) != 0;

    const BOOL sent = method == kGlyphImages  ? GlyphImagesRun(call)
                      : method == kDeviceFont ? DeviceFontRun(call, deviceName, symbolSet)
                                              : DownloadedFontRun(call, method);
    if (!sent) return FALSE;
    // The extra rectangles (underline, strike-out) in the text colour.
    for (RECTL* e = prclExtra; e && (e->left || e->top || e->right || e->bottom); ++e)
        if (!SetSolidBrush(pdev, e, call.fore, kRopPatCopy, false)) return FALSE;
    return TRUE;
}

bool PrinterFontStandsIn(PDEV* pdev, STROBJ* pstro, FONTOBJ* pfo, IFIMETRICS* ifi,
                         std::string* name, WORD* symbolSet) {
    return !(pfo->flFontType & FO_TYPE_DEVICE) &&
           !(pstro->flAccel & (SO_GLYPHINDEX_TEXT | SO_DO_NOT_SUBSTITUTE_DEVICE_FONT)) &&
           MatchDeviceFont(pdev, FaceName(ifi),
                           ClassifyRunCharacters(pstro->pwszOrg, pstro->cGlyphs, ifi->jWinCharSet),
                           name, symbolSet);
}

} // namespace inkforge
