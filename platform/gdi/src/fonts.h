// Logical fonts realized on a device context: the face that the installed
// fonts give for a LOGFONT (fontconfig, with the metric-compatible faces
// standing in for the names documents use), its size and direction through
// the device context's transforms, and the engine realization that draws it.
#pragma once

#include <string>
#include <vector>

#include "dc_state.h"
#include "platform/engine_fonts.h"

namespace platform::gdi {

// The file and face of an installed font for a face name, weight and
// italic flag; the name as asked (after "@" for vertical faces) is kept.
struct FaceChoice {
    std::string path;
    long index = 0;
};
bool ChooseFace(const LOGFONTW& lf, FaceChoice* out);
// The face that draws a character the chosen face lacks: the first of
// fontconfig's faces for the font's family and style, in its order, that has
// it; false when none has.
bool LinkedFace(const LOGFONTW& lf, char32_t ch, FaceChoice* out);
// A face added from memory whose family is the LOGFONT's face name.
bool FindMemoryFace(const LOGFONTW& lf, FaceChoice* out);
// Loads fontconfig's configuration once; false when it cannot.
bool StartFontconfig();
// The families of the installed scalable faces, read once.
const std::vector<std::string>& InstalledFamilies();

// A font realized on a device context.
struct RealizedFont {
    engine::FontRealization r;
    engine::FaceInfo info;
    double scale = 1;      // device pixels per font unit along the em
    double toLogical = 1;  // logical units per device pixel (for metrics)
    PointD baseline{1, 0}; // device direction of the baseline (unit)
    PointD down{0, 1};     // device direction of the glyphs' down (unit)
    double widthScale = 1; // lfWidth's stretch of the glyphs
    bool vertical = false; // face name with "@"
    // Logical directions (unit) of the baseline and across it, by the
    // escapement; the glyphs follow the orientation where it differs.
    PointD baseLogical{1, 0}, downLogical{0, 1};
    bool escNotOrient = false;
    // The code page the font's character set reads bytes in (CP_SYMBOL for
    // a symbol font: bytes are its characters).
    UINT codePage = 1252;
    double emLogical = 0; // the em in logical units
};
// False (last error set) when no face can be found.
bool RealizeFont(const DcState& dc, RealizedFont* out);
// f in another face at the same size and direction, known to the driver by
// that face's family name (its glyphs are that face's); false when the face
// cannot be read.
bool RealizeLinked(const LOGFONTW& lf, const RealizedFont& f, const FaceChoice& face,
                   RealizedFont* out);

// The advance of a glyph along the baseline in logical units.
double AdvanceLogical(const RealizedFont& f, ULONG glyph);

// The code page of a character set: the system's ANSI page for the default
// set and for sets it has no page of.
constexpr UINT kSymbolCodePage = 42;
UINT CodePageOfCharSet(BYTE charSet);

// The text metrics of the font selected into dc, realized as f.
void FillTextMetrics(const DcState& dc, const RealizedFont& f, TEXTMETRICW* tm);
// Copies a name into a fixed field of size characters, cut to fit with its NUL.
void CopyName(WCHAR* field, size_t size, const std::u16string& s);

// The installed family a face name stands for: an alias of the names
// documents use, or an installed family (any case); false for other names.
bool FamilyOfName(const std::u16string& name, std::string* family);

// The names documents use that the font list shows as installed families,
// with the metric-compatible family whose members they list ("Arial" for
// "Liberation Sans"...).
struct ListedAlias {
    std::u16string name;
    std::string family;
};
std::vector<ListedAlias> ListedAliases();

// A face of an installed family as the font list shows it.
struct FamilyMember {
    std::string style;    // "Regular", "Bold Italic"...
    std::string fullName; // "Liberation Sans Bold"
    LONG weight = 400;    // FW_*
    bool italic = false;
    std::vector<BYTE> charSets; // the character sets it has the letters of, ANSI first
};
// The members of the normal width of an installed family, regular first.
std::vector<FamilyMember> FamilyMembers(const std::string& family);

// The face name with any "@" removed, cut to its field.
std::u16string FaceNameOf(const LOGFONTW& lf);

} // namespace platform::gdi
