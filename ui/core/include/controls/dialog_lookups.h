// Look-ups the pages and dialogs share that need no window: duplex icons,
// page-order texts, the finishing position the finisher offers, the input
// rules of job information, tray counts and model values.
#pragma once

#include <string>

#include "driver_env.h"
#include "install_option.h"
#include "devmode_private.h"
#include "win/types.h"
#include "win/user.h"

namespace sheetwright {

class CUserPaper;
struct InputRule;

// Strings of the resource library these look-ups use.
inline constexpr DWORD kStringForbiddenChars = 4000;
inline constexpr DWORD kStringInches = 4003;
inline constexpr DWORD kStringMillimetres = 4004;
inline constexpr DWORD kStringPaperSize = 6312;
inline constexpr DWORD kStringCustomPaper = 8100;

// The name of a paper: the model's, the user's, or "Custom Paper".
BOOL GetPaperName(std::u16string* out, const ModelBlock* binding, HMODULE resources, WORD paper,
                  const CUserPaper* papers);
// A paper's name and size as the paper boxes show it ("Letter   8.50 x
// 11.00 in."); empty when the paper is unknown.
std::u16string FormatPaperSizeText(const ModelBlock* binding, HMODULE resources,
                                   const CUserPaper* papers, WORD paper);
// Whether the text holds the model's name or one of its other names.
BOOL ContainsModelName(const ModelBlock* binding, LPCWSTR text);
// Whether the text holds a character that names may not hold.
BOOL HasForbiddenCharacters(HMODULE resources, LPCWSTR text);
// A typed text against an input rule: 1 empty, 2 shorter than the rule's
// minimum, 6 a character the rule refuses, else 0.
inline constexpr DWORD kInputEmpty = 1, kInputTooShort = 2, kInputRefusedChar = 6;
DWORD ValidateInputText(HWND edit, const char* text, const InputRule* rule);
// Whether the image's halftone allows colour bands (bit 27) and their kind (bit 18).
BOOL CheckTable47Bit27(const ModelBlock* binding, const DEVMODE_IMAGEW* image);
BOOL CheckTable47Bit18(const ModelBlock* binding, const DEVMODE_IMAGEW* image);

// The icon (2110 to 2119) of a duplex setting with or without a binding
// margin, turned for booklets and for 2, 6 or 8 pages per sheet.
DWORD GetDuplexIconId(const DEVMODE_IMAGEW* image, SHORT duplex, WORD binding);
// The string id of a page order (0 for an unknown order).
DWORD GetPageOrderStringId(SHORT orientation, WORD layoutKind, WORD order);
// 0 for a missing or empty text, 1 when it holds white space only, else 0.
BOOL IsBlankText(LPCWSTR text);
// Drive and folder, and name and extension, of a path.
void SplitFolderAndFileName(const std::u16string& path, std::u16string* folder,
                            std::u16string* file);

// The finishing position (2, 3 or 4) the fitted finisher offers for the
// image's paper at an edge; 0 when it offers none.
DWORD GetFinishingPositionCode(const ModelBlock* binding, const CInstallOption* options,
                               const DEVMODE_IMAGEW* image, WORD edge);

// The input rules of one kind of job information.
struct JobInputRule {
    DWORD firstFlag;
    DWORD firstLimit;
    DWORD firstCharFlags;
    DWORD secondFlag;
    DWORD secondLimit;
    DWORD secondCharFlags;
    char firstCharSet[32];
    char secondCharSet[32];
    DWORD flagWord;
};
static_assert(sizeof(JobInputRule) == 92);
BOOL FillJobInputRule(const ModelBlock* binding, DWORD kind, JobInputRule* rule);

// Trays: the model's paper sources other than manual feed and automatic
// selection, and the trays of every optional feeder.
DWORD CountPaperSources(const ModelBlock* binding);
DWORD GetTotalTrayCount(const ModelBlock* binding);
// The trays of the paper feeder units (feeder kinds 1 and 2): how many, and
// the id of the index-th in the model's order (0 when out of range).
DWORD CountMainTrays(const ModelBlock* binding);
WORD GetMainTrayId(const ModelBlock* binding, DWORD index);
// The index-th tray of the large-capacity feeders (kind 5); 0 when none.
WORD GetKind5TrayId(const ModelBlock* binding, DWORD index);
// The output bin the model flags for its job separation; 0 when none.
WORD FindFlaggedOutputBinId(const ModelBlock* binding);
// Word 1 of a halftone record (model table 47), with the resource-table
// override of halftone 1.
WORD GetModelTable47Value(const ModelBlock* binding, WORD id);

} // namespace sheetwright
