// Fonts of the stand-in graphics engine: a face of a font file drawn through
// FreeType under a transform, and the font and string objects that a text
// call hands to a driver. GDI realizes a logical font into a FontRealization
// and asks for the device's font object of it; the object lives until the
// device goes (the driver then gets DrvDestroyFont for it).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "win/winddi.h"

namespace platform::engine {

// The bytes of a font file, mapped whole once and shared (a collection holds
// several faces, and one file reached by two names is mapped once).
struct FontFileData {
    FontFileData() = default;
    FontFileData(const FontFileData&) = delete;
    FontFileData& operator=(const FontFileData&) = delete;
    ~FontFileData();

    std::string path;
    std::span<const BYTE> bytes;
    ULONG id = 0; // the engine's identifier of the file (never 0)

    // What `bytes` views: the file's read-only mapping, else a copy read in one call.
    void* mapped = nullptr;
    std::vector<BYTE> copy;
};
// nullptr when the file cannot be read.
std::shared_ptr<const FontFileData> LoadFontFile(const std::string& path);

// A face drawn at a transform. The transform maps notional space (font units,
// y down) to device pixels (y down): device = (x m11 + y m21, x m12 + y m22).
struct FontRealization {
    std::shared_ptr<const FontFileData> file;
    long faceIndex = 0;
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1;
    bool simBold = false;
    bool simItalic = false;
    // A vertical ("@") face: its full-width glyphs are turned a quarter
    // counterclockwise about their vertical origin and advance by their
    // vertical advance, so that in a run turned down the page they stand
    // upright; every other glyph lies along the run.
    bool vertical = false;
    std::u16string faceName; // what the font is called to the driver
    BYTE charSet = 0;
    ULONG styleSize = 0; // points
    SIZE dpi{600, 600};

    bool SameAs(const FontRealization& o) const;
};

// Metrics of a face in font units, and its names.
struct FaceInfo {
    long unitsPerEm = 2048;
    long ascender = 0, descender = 0; // Windows ascent and descent (both positive)
    long lineGap = 0;
    long avgCharWidth = 0, maxAdvance = 0;
    long xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    long capHeight = 0, xHeight = 0;
    long underlinePosition = 0, underlineThickness = 0;
    long strikeoutPosition = 0, strikeoutSize = 0;
    USHORT weight = 400;
    bool italic = false;
    bool fixedPitch = false;
    bool isTrueType = false;
    bool symbol = false;
    BYTE panose[10] = {};
    long numGlyphs = 0;
    std::u16string familyName, styleName, fullName, uniqueName;
};
bool QueryFace(const FontFileData& file, long faceIndex, FaceInfo* info);

// A glyph of a realization: advance and image (1 bit per pixel, rows of
// whole bytes, origin relative to the glyph's reference point).
struct GlyphImage {
    double advanceX = 0, advanceY = 0; // device pixels
    LONG left = 0, top = 0;            // image origin (top is y down)
    LONG width = 0, height = 0;
    std::vector<BYTE> rows;
};
// Glyph index of a character (0 when the face has none).
ULONG GlyphIndexOf(const FontRealization& r, ULONG ch);
bool RenderGlyph(const FontRealization& r, ULONG glyph, bool withImage, GlyphImage* out);
// The outline of a glyph at (0, 0) in device space: figures of points with
// PT_MOVETO / PT_LINETO / PT_BEZIERTO kinds and closing marks.
struct OutlinePoint {
    double x, y;
    BYTE type; // 1 move, 2 line, 4 bezier, | 1 << 7 when it closes the figure
};
bool GlyphOutline(const FontRealization& r, ULONG glyph, std::vector<OutlinePoint>* out);
// True when the glyph stands upright in the vertical face of r (one that a
// full-width East Asian character maps to); false in a horizontal face.
bool UprightInVertical(const FontRealization& r, ULONG glyph);
// Advance of a glyph along the baseline in font units, and its bearings
// across the run (FreeType's linear metrics; for a glyph standing upright in
// a vertical face its vertical advance, top bearing and height).
bool GlyphDesignMetrics(const FontRealization& r, ULONG glyph, long* advance, long* lsb,
                        long* width);

// A table of the face's font file (tag as big-endian bytes; 0: the whole
// file) from offset on, through FreeType's checked reader. With buf null,
// *len gets the bytes there are; else up to *len bytes are copied and *len
// is set to the count. False when there is no such table or the offset lies
// past it.
bool LoadSfntTable(const FontRealization& r, ULONG tag, ULONG offset, BYTE* buf, ULONG* len);

// One glyph of a text call, at its reference point on the device.
struct PlacedGlyph {
    HGLYPH hg;
    POINTL at;
};

// The font object of a realization on a device (made on first use).
FONTOBJ* AcquireFontObj(HDEV hdev, const FontRealization& r);
// How the glyphs of the font come in its string objects (FO_GLYPHBITS,
// FO_PATHOBJ or FO_HGLYPHS), as the device's driver asked.
ULONG FontGlyphMode(FONTOBJ* pfo);
// Gives every font object of the device to its driver's DrvDestroyFont and
// frees it (a device going away).
void ReleaseDeviceFonts(HDEV hdev);
long LiveFontObjCount();

// A string object of the glyphs (positions moved by (dx, dy)); positioned
// tells the driver the positions are given as an array (pgp set); else they
// come in batches through STROBJ_bEnum.
STROBJ* CreateStrObj(FONTOBJ* pfo, const std::vector<PlacedGlyph>& glyphs,
                     const std::u16string& text, LONG dx, LONG dy, bool positioned, FLONG accel,
                     ULONG charInc, DWORD codePage);
void DeleteStrObj(STROBJ* pstro);

} // namespace platform::engine
