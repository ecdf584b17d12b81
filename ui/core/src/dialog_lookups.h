// Look-ups the pages and dialogs share that need no window: duplex icons,
// page-order texts, the finishing position the finisher offers, the input
// rules of job information, tray counts and model values.
#pragma once

#include <string>

#include "driver_env.h"
#include "install_option.h"
#include "win/devmode_private.h"
#include "win/types.h"

namespace sheetwright {

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
// The output bin the model flags for its job separation; 0 when none.
WORD FindFlaggedOutputBinId(const ModelBlock* binding);
// Word 1 of a halftone record (model table 47), with the resource-table
// override of halftone 1.
WORD GetModelTable47Value(const ModelBlock* binding, WORD id);

} // namespace sheetwright
