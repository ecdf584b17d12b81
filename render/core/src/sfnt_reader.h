// The one reader of TrueType font files (and collections) that the text code
// downloads from: every table offset and length, every glyph offset of
// "loca" (short and long), every composite glyph record and every "cmap"
// subtable is checked against the file's real size before it is used. A
// font that fails the checks is sent as bitmaps instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "win/types.h"

namespace inkforge {

// Big-endian tag of four characters.
constexpr DWORD SfntTag(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<BYTE>(a)) << 24 |
           static_cast<DWORD>(static_cast<BYTE>(b)) << 16 |
           static_cast<DWORD>(static_cast<BYTE>(c)) << 8 | static_cast<BYTE>(d);
}

struct SfntTable {
    DWORD tag = 0;
    DWORD offset = 0; // from the start of the file
    DWORD length = 0;
};

class SfntFont {
  public:
    // Reads the table directory of the face at faceOffset (0 for a plain
    // font; a collection member's offset otherwise). False when the
    // directory or any table it lists lies outside the data.
    bool ParseFontTable(const BYTE* data, size_t size, DWORD faceOffset = 0);

    // The collection member: the first whose PANOSE bytes equal panose and
    // whose name table holds uniqueName (platform 3, name 3), else the first
    // whose PANOSE matches, else the first. Plain fonts: offset 0. False for
    // a collection whose header does not fit.
    static bool ChooseMember(const BYTE* data, size_t size, const BYTE panose[10],
                             const char16_t* uniqueName, DWORD* faceOffset);
    static bool IsCollection(const BYTE* data, size_t size);

    const SfntTable* FindTrueTypeTable(DWORD tag) const;
    const std::vector<SfntTable>& Tables() const { return tables_; }
    DWORD Version() const { return version_; }
    WORD SearchRange() const { return searchRange_; }
    WORD EntrySelector() const { return entrySelector_; }
    WORD RangeShift() const { return rangeShift_; }
    const BYTE* Data() const { return data_; }

    // Glyph count of "maxp"; long "loca" offsets (head indexToLocFormat).
    WORD NumGlyphs() const { return numGlyphs_; }
    // The glyph's data in "glyf" (empty for a glyph without outline). False
    // when the glyph index or its "loca" entries are out of range.
    bool GlyphData(WORD glyph, const BYTE** data, DWORD* length) const;
    // The component glyphs of a composite glyph (contour count -1), walking
    // its records; false when a record runs past the glyph's data.
    bool Components(const BYTE* glyph, DWORD length, std::vector<WORD>* components) const;
    // Advance width and left side bearing from "hmtx"; glyphs past the long
    // entries take the last advance.
    bool HorizontalMetrics(WORD glyph, WORD* advance, SHORT* lsb) const;
    // The glyph of a character through the platform 3 format-4 subtable
    // (0 when none); a symbol encoding whose first segment starts above
    // 0xEFFF adds 0xF000 to codes below 256.
    WORD MapCharacter(DWORD ch) const;
    // The largest glyph index reached by a symbol (platform 3, encoding 0)
    // format-4 subtable, or 0 when the first platform-3 record is not such
    // a subtable or its segments do not ascend.
    WORD GetCmapGlyphCount() const;

  private:
    bool ReadU16(size_t at, WORD* v) const;
    bool ReadU32(size_t at, DWORD* v) const;
    // The format-4 subtable of platform 3 (offset from the file's start) and
    // its encoding; false when there is none or it does not fit.
    bool Format4(DWORD* at, WORD* encoding) const;

    const BYTE* data_ = nullptr;
    size_t size_ = 0;
    DWORD version_ = 0;
    WORD searchRange_ = 0, entrySelector_ = 0, rangeShift_ = 0;
    std::vector<SfntTable> tables_;
    WORD numGlyphs_ = 0;
    bool longLoca_ = false;
    WORD longMetrics_ = 0;
};

// Reads big-endian numbers from bounded bytes.
inline WORD BigU16(const BYTE* p) {
    return static_cast<WORD>(p[0] << 8 | p[1]);
}
inline DWORD BigU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) << 24 | static_cast<DWORD>(p[1]) << 16 |
           static_cast<DWORD>(p[2]) << 8 | p[3];
}

} // namespace inkforge
