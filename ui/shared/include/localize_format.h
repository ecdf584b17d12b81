// The formats of the localisation files: the ".RCB" cache of translated
// dialog templates and strings, the INI-style ".RCT" text and ".RCP" geometry
// sections, and the conversion of one dialog template. Every reader here is
// bounds-checked: an offset or count that does not fit is refused.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "win/types.h"

namespace sheetwright {

inline constexpr char kRcbMagic[4] = {'L', 'C', 'B', 'N'};
inline constexpr DWORD kRcbFormat = 1;
inline constexpr size_t kRcbHeaderSize = 72;
inline constexpr size_t kRcbEntrySize = 12;
// Converted templates stream through a buffer of this size; a template that
// does not fit in it stays untranslated.
inline constexpr size_t kRcbStagingSize = 61440;

struct RcbHeader {
    char magic[4];
    DWORD format;
    DWORD textVersion;
    DWORD productVersionMS;
    DWORD productVersionLS;
    FILETIME moduleTime;
    FILETIME textTime;
    FILETIME geometryTime;
    DWORD languageId;
    DWORD dialogIndexOffset;
    DWORD dialogCount;
    DWORD stringIndexOffset;
    DWORD stringCount;
    DWORD dialogDataOffset;
    DWORD stringDataOffset;
};
static_assert(sizeof(RcbHeader) == kRcbHeaderSize);
static_assert(offsetof(RcbHeader, textVersion) == 8);
static_assert(offsetof(RcbHeader, moduleTime) == 20);
static_assert(offsetof(RcbHeader, textTime) == 28);
static_assert(offsetof(RcbHeader, geometryTime) == 36);
static_assert(offsetof(RcbHeader, languageId) == 44);
static_assert(offsetof(RcbHeader, dialogIndexOffset) == 48);
static_assert(offsetof(RcbHeader, stringDataOffset) == 68);

struct RcbEntry {
    DWORD id;
    DWORD offset; // from the start of its data area
    DWORD size;   // 0: no data, the module's own resource applies
};
static_assert(sizeof(RcbEntry) == kRcbEntrySize);

// A cache read whole and checked: the header, both indexes, and every entry's
// data within its area and the file.
struct RcbImage {
    RcbHeader header{};
    std::vector<RcbEntry> dialogs;
    std::vector<RcbEntry> strings;
    const BYTE* data = nullptr; // the file, for the lifetime of the caller's bytes
    size_t size = 0;
};

// FALSE for a header that is not a complete cache's of `fileSize` bytes:
// magic, format, and the fixed layout of indexes and data areas in the file.
BOOL CheckRcbHeader(const RcbHeader& header, ULONGLONG fileSize);
// FALSE when an entry's data passes its area [areaStart, areaEnd), or a
// string entry is no UTF-16 text with its terminator.
BOOL CheckRcbEntry(const RcbEntry& entry, bool isString, ULONGLONG areaStart, ULONGLONG areaEnd);
// FALSE for a file that is not a complete, consistent cache.
[[nodiscard]] BOOL ParseRcb(const BYTE* data, size_t size, RcbImage* out);
// TRUE when every template of the cache reads as a dialog template.
BOOL RcbTemplatesReadable(const RcbImage& image);
// The data of the first entry with the id and a non-zero size, or FALSE.
[[nodiscard]] BOOL RcbDialog(const RcbImage& image, DWORD id, const BYTE** data, DWORD* size);
[[nodiscard]] BOOL RcbString(const RcbImage& image, DWORD id, std::u16string* text);
// A string entry's bytes as text, up to its terminator.
std::u16string RcbStringText(const BYTE* data, DWORD size);

// The cache file of the given header fields (magic and offsets are filled).
struct RcbDialogData {
    DWORD id;
    std::vector<BYTE> bytes; // empty: untranslated
};
struct RcbStringData {
    DWORD id;
    bool present;
    std::u16string text;
};
std::vector<BYTE> BuildRcb(RcbHeader header, const std::vector<RcbDialogData>& dialogs,
                           const std::vector<RcbStringData>& strings);

// LanguageID, or (SubLanguageID << 10) | LanguageID when both are non-zero.
DWORD ComposeLanguageId(DWORD language, DWORD subLanguage);

// A section as GetPrivateProfileSection answers it ("key=value\0...\0\0"),
// widened, split at the first "=" (lines without one are skipped).
using SectionMap = std::map<std::u16string, std::u16string>;
SectionMap ParseSectionLines(const std::u16string& block);
// Quotes around the whole value removed, then the escapes \" \' \? \\ \n \r \t.
std::u16string UnquoteValue(const std::u16string& value);
// Splits at ","; fields from `first` on joined again with "," give the text.
std::vector<std::u16string> SplitFields(const std::u16string& value);
std::u16string JoinFrom(const std::vector<std::u16string>& fields, size_t first);

// Converts one dialog template (DLGTEMPLATE or DLGTEMPLATEEX) with the values
// of its "Dlg<id>" section. FALSE when the template is malformed; with
// *fits FALSE when the result would pass `room` bytes.
[[nodiscard]] BOOL ConvertDialogTemplate(const BYTE* tmpl, size_t size, const SectionMap& values,
                                         size_t room, std::vector<BYTE>* out, bool* fits);

// Bounds-checked reading of a dialog template, shared by the conversion and
// the tests: the caption, the font, and each item's id, rectangle and text.
struct DialogItemInfo {
    DWORD id = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    bool classIsOrdinal = false;
    WORD classOrdinal = 0;
    std::u16string className;
    bool titleIsOrdinal = false;
    WORD titleOrdinal = 0;
    std::u16string title;
    std::vector<BYTE> extra;
    DWORD helpId = 0;
    DWORD exStyle = 0;
};
struct DialogInfo {
    bool extended = false;
    WORD version = 0;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    SHORT x = 0, y = 0, cx = 0, cy = 0;
    bool menuIsOrdinal = false;
    WORD menuOrdinal = 0;
    std::u16string menu;
    bool classIsOrdinal = false;
    WORD classOrdinal = 0;
    std::u16string className;
    std::u16string caption;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::u16string face;
    std::vector<DialogItemInfo> items;
};
[[nodiscard]] BOOL ReadDialogTemplate(const BYTE* tmpl, size_t size, DialogInfo* out);
std::vector<BYTE> WriteDialogTemplate(const DialogInfo& dialog);

} // namespace sheetwright
