// The checked TrueType reader.
#include "sfnt_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace inkforge {
namespace {

constexpr DWORD kCollectionTag = SfntTag('t', 't', 'c', 'f');
constexpr size_t kOffsetTable = 12;
constexpr size_t kDirEntry = 16;
constexpr size_t kPanoseAt = 32; // in "OS/2"
constexpr WORD kPlatformWindows = 3;
constexpr WORD kUniqueNameId = 3;
// Composite glyph flags.
constexpr WORD kArgsAreWords = 0x0001;
constexpr WORD kHaveScale = 0x0008;
constexpr WORD kMoreComponents = 0x0020;
constexpr WORD kHaveXYScale = 0x0040;
constexpr WORD kHaveTwoByTwo = 0x0080;

bool Inside(size_t size, size_t at, size_t length) {
    return at <= size && length <= size - at;
}

} // namespace

bool SfntFont::ReadU16(size_t at, WORD* v) const {
    if (!Inside(size_, at, 2)) return false;
    *v = BigU16(data_ + at);
    return true;
}

bool SfntFont::ReadU32(size_t at, DWORD* v) const {
    if (!Inside(size_, at, 4)) return false;
    *v = BigU32(data_ + at);
    return true;
}

bool SfntFont::IsCollection(const BYTE* data, size_t size) {
    return data && size >= 4 && BigU32(data) == kCollectionTag;
}

bool SfntFont::ParseFontTable(const BYTE* data, size_t size, DWORD faceOffset) {
    *this = SfntFont{};
    data_ = data;
    size_ = data ? size : 0;
    WORD count;
    if (!ReadU32(faceOffset, &version_) || !ReadU16(faceOffset + 4, &count) ||
        !ReadU16(faceOffset + 6, &searchRange_) || !ReadU16(faceOffset + 8, &entrySelector_) ||
        !ReadU16(faceOffset + 10, &rangeShift_) ||
        !Inside(size_, faceOffset + kOffsetTable, static_cast<size_t>(count) * kDirEntry))
        return false;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* e = data_ + faceOffset + kOffsetTable + static_cast<size_t>(i) * kDirEntry;
        SfntTable t{BigU32(e), BigU32(e + 8), BigU32(e + 12)};
        if (!Inside(size_, t.offset, t.length)) return false;
        tables_.push_back(t);
    }
    const SfntTable* maxp = FindTrueTypeTable(SfntTag('m', 'a', 'x', 'p'));
    const SfntTable* head = FindTrueTypeTable(SfntTag('h', 'e', 'a', 'd'));
    const SfntTable* hhea = FindTrueTypeTable(SfntTag('h', 'h', 'e', 'a'));
    if (maxp && maxp->length >= 6) numGlyphs_ = BigU16(data_ + maxp->offset + 4);
    if (head && head->length >= 52) longLoca_ = BigU16(data_ + head->offset + 50) != 0;
    if (hhea && hhea->length >= 36) longMetrics_ = BigU16(data_ + hhea->offset + 34);
    return true;
}

bool SfntFont::ChooseMember(const BYTE* data, size_t size, const BYTE panose[10],
                            const char16_t* uniqueName, DWORD* faceOffset) {
    *faceOffset = 0;
    if (!IsCollection(data, size)) return data != nullptr && size >= kOffsetTable;
    if (size < 12) return false;
    DWORD count = BigU32(data + 8);
    if (count == 0 || !Inside(size, 12, static_cast<size_t>(count) * 4)) return false;
    DWORD firstPanose = 0;
    bool havePanose = false;
    for (DWORD i = 0; i < count; ++i) {
        DWORD at = BigU32(data + 12 + static_cast<size_t>(i) * 4);
        SfntFont f;
        if (!f.ParseFontTable(data, size, at)) continue;
        const SfntTable* os2 = f.FindTrueTypeTable(SfntTag('O', 'S', '/', '2'));
        bool same = os2 && os2->length >= kPanoseAt + 10 && panose &&
                    std::memcmp(data + os2->offset + kPanoseAt, panose, 10) == 0;
        if (!same) continue;
        if (!havePanose) firstPanose = at, havePanose = true;
        // The unique name among the Windows names of the member.
        const SfntTable* name = f.FindTrueTypeTable(SfntTag('n', 'a', 'm', 'e'));
        WORD records, strings;
        if (!uniqueName || !name || !f.ReadU16(name->offset + 2, &records) ||
            !f.ReadU16(name->offset + 4, &strings))
            continue;
        for (WORD r = 0; r < records; ++r) {
            size_t rec = name->offset + 6 + static_cast<size_t>(r) * 12;
            WORD platform, id, length, offset;
            if (!f.ReadU16(rec, &platform) || !f.ReadU16(rec + 6, &id) ||
                !f.ReadU16(rec + 8, &length) || !f.ReadU16(rec + 10, &offset))
                break;
            if (platform != kPlatformWindows || id != kUniqueNameId) continue;
            size_t at2 = static_cast<size_t>(name->offset) + strings + offset;
            if (!Inside(name->offset + static_cast<size_t>(name->length), at2, length)) continue;
            size_t n = std::char_traits<char16_t>::length(uniqueName);
            if (n * 2 != length) continue;
            bool equal = true;
            for (size_t k = 0; k < n && equal; ++k)
                equal = BigU16(data + at2 + 2 * k) == uniqueName[k];
            if (equal) {
                *faceOffset = at;
                return true;
            }
        }
    }
    *faceOffset = havePanose ? firstPanose : BigU32(data + 12);
    return true;
}

const SfntTable* SfntFont::FindTrueTypeTable(DWORD tag) const {
    for (const SfntTable& t : tables_)
        if (t.tag == tag) return &t;
    return nullptr;
}

bool SfntFont::GlyphData(WORD glyph, const BYTE** data, DWORD* length) const {
    const SfntTable* loca = FindTrueTypeTable(SfntTag('l', 'o', 'c', 'a'));
    const SfntTable* glyf = FindTrueTypeTable(SfntTag('g', 'l', 'y', 'f'));
    if (!loca || !glyf || glyph >= numGlyphs_) return false;
    DWORD start, end;
    if (longLoca_) {
        size_t at = static_cast<size_t>(glyph) * 4;
        if (!Inside(loca->length, at, 8)) return false;
        start = BigU32(data_ + loca->offset + at);
        end = BigU32(data_ + loca->offset + at + 4);
    } else {
        size_t at = static_cast<size_t>(glyph) * 2;
        if (!Inside(loca->length, at, 4)) return false;
        start = BigU16(data_ + loca->offset + at) * 2u;
        end = BigU16(data_ + loca->offset + at + 2) * 2u;
    }
    if (end < start || !Inside(glyf->length, start, end - start)) return false;
    *data = data_ + glyf->offset + start;
    *length = end - start;
    return true;
}

bool SfntFont::Components(const BYTE* glyph, DWORD length, std::vector<WORD>* components) const {
    components->clear();
    size_t at = 10; // past the glyph header
    for (;;) {
        if (!Inside(length, at, 4)) return false;
        WORD flags = BigU16(glyph + at);
        components->push_back(BigU16(glyph + at + 2));
        at += 4 + ((flags & kArgsAreWords) ? 4 : 2);
        if (flags & kHaveScale)
            at += 2;
        else if (flags & kHaveXYScale)
            at += 4;
        else if (flags & kHaveTwoByTwo)
            at += 8;
        if (at > length) return false;
        if (!(flags & kMoreComponents)) return true;
    }
}

bool SfntFont::HorizontalMetrics(WORD glyph, WORD* advance, SHORT* lsb) const {
    const SfntTable* hmtx = FindTrueTypeTable(SfntTag('h', 'm', 't', 'x'));
    if (!hmtx || longMetrics_ == 0) return false;
    WORD longIndex = std::min<WORD>(glyph, static_cast<WORD>(longMetrics_ - 1));
    size_t at = static_cast<size_t>(longIndex) * 4;
    if (!Inside(hmtx->length, at, 4)) return false;
    *advance = BigU16(data_ + hmtx->offset + at);
    if (glyph < longMetrics_) {
        *lsb = static_cast<SHORT>(BigU16(data_ + hmtx->offset + at + 2));
        return true;
    }
    size_t lsbAt =
        static_cast<size_t>(longMetrics_) * 4 + static_cast<size_t>(glyph - longMetrics_) * 2;
    *lsb = Inside(hmtx->length, lsbAt, 2) ? static_cast<SHORT>(BigU16(data_ + hmtx->offset + lsbAt))
                                          : 0;
    return true;
}

bool SfntFont::Format4(DWORD* at, WORD* encoding) const {
    const SfntTable* cmap = FindTrueTypeTable(SfntTag('c', 'm', 'a', 'p'));
    WORD count;
    if (!cmap || !ReadU16(cmap->offset + 2, &count) ||
        !Inside(cmap->length, 4, static_cast<size_t>(count) * 8))
        return false;
    for (WORD i = 0; i < count; ++i) {
        size_t rec = cmap->offset + 4 + static_cast<size_t>(i) * 8;
        WORD platform = BigU16(data_ + rec), enc = BigU16(data_ + rec + 2);
        DWORD offset = BigU32(data_ + rec + 4);
        if (platform != kPlatformWindows || enc > 1) continue;
        WORD format, length;
        if (!Inside(cmap->length, offset, 4)) return false;
        DWORD sub = cmap->offset + offset;
        format = BigU16(data_ + sub);
        length = BigU16(data_ + sub + 2);
        if (format != 4 || length < 16 || !Inside(cmap->length, offset, length)) return false;
        WORD segX2 = BigU16(data_ + sub + 6);
        // Four arrays of segX2 bytes and the pad word after the header; an
        // odd segX2 would put every array a byte off and the last past the end.
        if (segX2 == 0 || segX2 % 2 != 0 || static_cast<size_t>(segX2) * 4 + 16 > length)
            return false;
        *at = sub;
        *encoding = enc;
        return true;
    }
    return false;
}

WORD SfntFont::MapCharacter(DWORD ch) const {
    DWORD sub;
    WORD enc;
    if (!Format4(&sub, &enc) || ch > 0xFFFF) return 0;
    WORD length = BigU16(data_ + sub + 2);
    WORD segX2 = BigU16(data_ + sub + 6);
    size_t ends = sub + 14, starts = ends + segX2 + 2, deltas = starts + segX2,
           ranges = deltas + segX2;
    if (enc == 0 && ch < 0x100 && BigU16(data_ + starts) > 0xEFFF) ch += 0xF000;
    for (size_t s = 0; s < segX2; s += 2) {
        WORD end = BigU16(data_ + ends + s);
        if (ch > end) continue;
        WORD start = BigU16(data_ + starts + s);
        if (ch < start) return 0;
        WORD delta = BigU16(data_ + deltas + s), range = BigU16(data_ + ranges + s);
        if (range == 0) return static_cast<WORD>(ch + delta);
        size_t at = ranges + s + range + (ch - start) * 2;
        if (!Inside(sub + static_cast<size_t>(length), at, 2)) return 0;
        WORD g = BigU16(data_ + at);
        return g ? static_cast<WORD>(g + delta) : 0;
    }
    return 0;
}

WORD SfntFont::GetCmapGlyphCount() const {
    DWORD sub;
    WORD enc;
    if (!Format4(&sub, &enc) || enc != 0) return 0;
    WORD length = BigU16(data_ + sub + 2);
    WORD segX2 = BigU16(data_ + sub + 6);
    size_t ends = sub + 14, starts = ends + segX2 + 2, deltas = starts + segX2,
           ranges = deltas + segX2;
    if (BigU16(data_ + ends) == 0xFFFF) return 0;
    WORD most = 0;
    // Segments cover ascending codes that do not overlap, so the walk visits
    // each of the 65,536 codes at most once; a subtable out of that order is
    // not one to count by, and the engine's count stands.
    DWORD next = 0;
    for (size_t s = 0; s < segX2; s += 2) {
        WORD end = BigU16(data_ + ends + s);
        if (end == 0xFFFF) break;
        WORD start = BigU16(data_ + starts + s);
        if (start < next || start > end) return 0;
        next = static_cast<DWORD>(end) + 1;
        WORD delta = BigU16(data_ + deltas + s), range = BigU16(data_ + ranges + s);
        if (range == 0) {
            most = std::max<WORD>(most, static_cast<WORD>(end + delta));
            continue;
        }
        for (DWORD c = start; c <= end; ++c) {
            size_t at = ranges + s + range + (c - start) * 2;
            if (!Inside(sub + static_cast<size_t>(length), at, 2)) break;
            most = std::max<WORD>(most, static_cast<WORD>(BigU16(data_ + at) + delta));
        }
    }
    return most;
}

} // namespace inkforge
