// Text output and downloaded fonts: the records of TrueType fonts sent to
// the printer in a job (as outlines or bitmaps), their table in the physical
// device, and the text tokens.
#pragma once

#include <string>
#include <vector>

#include "win/winddi.h"

namespace inkforge {

class SfntFont;
struct SfntTable;

// The "GT" segment of a downloaded outline font: the table directory and the
// tables it lists, from the font file; `metrics` takes the list of fonts whose
// characters carry their own metrics (class 1). False when a table is missing.
bool WriteGtSegment(const SfntFont& font, std::vector<BYTE>* out, bool metrics);
// The directory's tables as the font has them, "gdir" among them, by tag.
bool BuildGtDirectory(const SfntFont& font, bool metrics, std::vector<SfntTable>* dir);

// An outline character (format 1): its head (class, size, with class 1 the
// glyph's side bearing and advance, the glyph index) and the glyph's "glyf"
// data. Blank: a glyph without data (a space) in class 0, where nothing is
// sent and the printer draws nothing for it, as the engine does. Missing: no
// such glyph in the font, or its "loca" entry does not lie in "glyf". TooBig:
// the size would not fit its 16-bit field. A missing or too big glyph goes
// another way.
enum class OutlineChar { Ready, Blank, Missing, TooBig };
OutlineChar OutlineCharacter(const SfntFont& font, WORD glyph, BYTE charClass,
                             std::vector<BYTE>* out);

struct PDEV;

constexpr DWORD kDownloadedFontTag = 0x544E4644; // "DFNT"
constexpr int kFontObjectSlots = 30;
constexpr size_t kFontTableSlots = 260;
constexpr DWORD kMaxGlyphs = 65536;
constexpr DWORD kBitmapFontGlyphLimit = 1024;

// Text methods.
enum TextMethod : DWORD { kOutlines = 1, kBitmaps = 2, kDeviceFont = 4, kGlyphImages = 8 };

struct DownloadedFont {
    DWORD tag;
    ULONG_PTR trueTypeFile;
    DWORD glyphCount;
    DWORD outline;
    BYTE charClass; // of outline characters: 1 carries the glyph's metrics
    BYTE* glyphMap; // glyphCount / 8 + 1 bytes
    ULONG fontObjects[kFontObjectSlots];
    WORD fontNumber;
    CHAR faceName[33];
    PDEV* owner;
    DWORD lastPage;
    DWORD glyphsSent;
    DWORD bytesSent;
    // Out of the table (evicted, retired or past the job) while font objects
    // still hold it: kept on the table's list of retired records.
    BOOL retired;
    DownloadedFont* nextRetired;
};

// The fonts of a physical device and its text state.
struct FontTable {
    DownloadedFont* slots[kFontTableSlots];
    DownloadedFont* retired;
    WORD nextFontNumber;
    // Font selected last, and the character state sent.
    CHAR currentName[48];
    float currentSize;
    bool currentValid;
    float angle, scaleX, scaleY, shearX, shearY, boldness;
    bool transformSent, boldnessSent;
    // What the device asks of downloaded outline fonts: characters with
    // their metrics (class 1), and the "GC" segment in the header; both set
    // for printers of graphics language 2.0 and later when the table is made.
    bool glyphMetrics, classSegment;
};

// Puts a new record into the device's font table, noting its page of last
// use: the first free slot, else the slot of the record used least recently
// (among equals the one with more glyphs sent, then the smaller font number),
// which is removed from the printer first. FALSE when that output failed.
BOOL RegisterDownloadedFont(PDEV* pdev, DownloadedFont* r);

// An open character download (begin-char sent, end-char not yet) of a run.
struct CharDownload {
    bool open = false;
};
// What became of an outline glyph: sent (or not needed), not sendable as a
// character (missing from the font's tables, or too big for the character's
// 16-bit size field: it and every composite that uses it go out as the
// engine's glyph image, so that no run names a character the printer lacks),
// or the output failed.
enum class GlyphSend { Done, AsImage, Failed };
// Sends an outline glyph that the record has not sent yet from the font's
// "glyf" data, a composite's components before it (nested at most 8 deep,
// a component already being walked not again), and notes it as sent.
GlyphSend DownloadGlyph(PDEV* pdev, DownloadedFont* r, const SfntFont& font, CharDownload& cd,
                        WORD glyph);

// A font header: the 8-byte descriptor (the glyph count for outlines, the
// bitmap glyph limit for bitmaps), then "GT" with `gt` and, when asked, "GC"
// for outlines, or "BR" with the resolution for bitmaps, and the null segment.
std::vector<BYTE> BuildFontHeader(const std::vector<BYTE>& gt, DWORD count, bool outline,
                                  bool classSegment, DWORD dpi);

// One read-font-header piece: a stretch of the header, sent with a one-byte
// (byteLength) or a four-byte data length.
struct FontHeaderPiece {
    DWORD offset;
    DWORD length;
    bool byteLength;
};
// The pieces a font header goes out in.
std::vector<FontHeaderPiece> SplitFontHeader(const std::vector<BYTE>& header);
// The read-font-header tokens of a header: per piece its length, the
// operator and the piece as embedded data.
std::vector<BYTE> FontHeaderTokens(const std::vector<BYTE>& header);

// The integer length of (a, b), never overflowing.
LONG IntHypot(LONG a, LONG b);
// The em height of the font through its transform, in device pixels.
LONG GetFontSize(FONTOBJ* pfo);
// The angle of a vector in degrees (0 to 360), y taken as pointing up.
double VectorAngle(double x, double y);

struct FontXform {
    float angle;
    float scaleX, scaleY;
    float shearX, shearY;
};
// The character transform of an outline font from its font transform.
FontXform DecomposeFontXform(FONTOBJ* pfo);

// Symbol-set classes of device fonts.
DWORD SymbolSetClass(WORD symbolSet);
// 4 for a symbol character set; else 1 when every character is in the
// Latin glyph set, 2 when every character is below 128 or in 1024-1279.
DWORD ClassifyRunCharacters(const WCHAR* text, ULONG count, BYTE charSet);

// The printer font for a face: the face after the substitution table (a hit
// admits every class), found in the device's font list with a symbol-set
// class the run needs.
bool MatchDeviceFont(PDEV* pdev, const WCHAR* faceName, DWORD needed, std::string* name,
                     WORD* symbolSet);

// Whether a run of a TrueType (or engine) font goes out in a printer font:
// its text is characters that do not forbid substitution and its face has a
// printer font (MatchDeviceFont). A run recorded for the spool side that
// does keeps its characters and its face's own name, so that the replay
// makes the same choice.
bool PrinterFontStandsIn(PDEV* pdev, STROBJ* pstro, FONTOBJ* pfo, IFIMETRICS* ifi,
                         std::string* name, WORD* symbolSet);

// Whether a character set is a double-byte one (Japanese, Korean, Chinese).
bool IsDoubleByteCharSet(BYTE charSet);
// Simulated bold of a double-byte bitmap glyph: the pixels it is widened by,
// the font's bold amount or, when that is below 1, its height / (dpi * 42 / 300).
LONG BitmapBoldPixels(LONG bold, LONG height, LONG dpi);
// 1-bit rows (whole bytes) widened by n pixels: each row or-ed with itself
// shifted right by 1 to n pixels, into rows of (width + n + 7) / 8 bytes.
std::vector<BYTE> WidenGlyphRows(const BYTE* rows, LONG width, LONG height, LONG n);

// The font table (made on first use), and its release at the end of a job.
FontTable* Fonts(PDEV* pdev);
void RetireDownloadedFonts(PDEV* pdev);
void FreeFontTable(PDEV* pdev);
// A job carried over to another physical device keeps the fonts that the
// printer holds: the table and its records move (the font objects keep
// pointing at the same records), owned by the new device from then on.
void CarryFontTable(PDEV* from, PDEV* to);

// The hooks.
BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                         MIX mix);
VOID APIENTRY DrvDestroyFont(FONTOBJ* pfo);
ULONG APIENTRY DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ* pfo);

} // namespace inkforge
