// The user's watermark list on disk: the watermark file in the per-user
// working folder, named by the model (a bare file name, else "BRVNWM.PWM"),
// restored from the copy shipped in the driver folder when the user has
// none. It is read with others reading at the same time, and written whole
// through the settings-file writer (locked, a temporary file renamed over
// the old one), so a failed write leaves the old file as it was.
#pragma once

#include <string>
#include <vector>

#include "sheet_context.h"
#include "watermark_record.h"

namespace sheetwright {

using print_effects::WatermarkRecord;

inline constexpr char kDefaultWatermarkFileName[] = "BRVNWM.PWM";
// No watermark file of a person's list is larger than this.
inline constexpr DWORD kMaxWatermarkFileSize = 24 + 216 * 4096;

struct WatermarkList {
    std::vector<WatermarkRecord> records;
    // False when a file was there but could not be read: such a list is
    // never written over the file, whose records it does not hold.
    bool loaded = false;
};

// An ANSI field of a record or device mode as wide text, read within its size.
std::u16string AnsiField(const CHAR* field, size_t size);
// Wide text into an ANSI field: whole characters only, zero-filled.
void PutAnsiField(CHAR* field, size_t size, const std::u16string& text);
// A localised message with its "%s" replaced by the argument ("%%" by "%"):
// a name or text from a file or device mode is never read as a format.
std::u16string WithTextArgument(const std::u16string& text, const std::u16string& argument);

// Whether two watermark names (64-byte fields) are the same key: the list
// ignores case.
BOOL SameWatermarkName(const CHAR* a, const CHAR* b);

// The file name the model gives, when it is a bare file name; the default
// name otherwise.
std::u16string WatermarkFileName(const ModelBlock* model);

// The watermark file of the sheet's user: working folder + file name.
std::u16string WatermarkFilePath(const SheetContext* context);

// Reads the list; a missing file is first restored from the driver folder.
// A missing file (and no shipped copy) gives an empty, loaded list.
void LoadWatermarkList(const SheetContext* context, WatermarkList* list);

// Writes the whole list; FALSE (the last error set) when it could not be
// written or the list never loaded. The list itself is left alone.
BOOL SaveWatermarkList(const SheetContext* context, const WatermarkList& list);

} // namespace sheetwright
