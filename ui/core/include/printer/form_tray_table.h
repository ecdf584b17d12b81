// The form-to-tray table: which paper size and media type an administrator
// says are loaded in each tray, kept per printer as the printer data
// "FormTrayEx" (16-byte records, `FormTrayRecord`). The sheet context holds
// the table while a sheet is open (`FormTrayTable`, read by
// `LoadFormTrayTable`); the Form / Tray and Device pages edit it and write it
// back on Apply, the custom paper list clears the papers it deletes.
#pragma once

#include "sheet_context.h"
#include "ui_entry_points.h"

namespace sheetwright {

class CInstallOption;
class CUserPaper;

// The marker every record the table writes carries in its first four bytes.
inline constexpr DWORD kFormTrayMarker = 7;
// The option id of optional input trays in the installed-option list.
inline constexpr WORD kOptionInputTray = 26;

// The record of a tray, or none.
FormTrayRecord* FindFormTrayRecord(FormTrayTable* table, WORD trayId);
// Copies the record over the one of the same tray, or appends it; the
// written record carries the marker. FALSE only when the table cannot grow.
BOOL SetFormTrayRecord(FormTrayTable* table, const FormTrayRecord& record);
// Drops the records of optional trays the list says are not installed;
// trays the list has no entry for stay.
void ReconcileFormTrayTable(FormTrayTable* table, const CInstallOption* options);
// Every record naming a user paper (456 and above) that the list no longer
// holds is set to "unspecified" (0) in memory; TRUE when a record changed.
BOOL FixFormTrayUserPapers(FormTrayTable* table, const CUserPaper* papers);
// The same over the printer's own user paper list (the per-user file of its
// model), for callers without a sheet.
BOOL FixFormTrayUserPapers(FormTrayTable* table, const ModelBlock* binding);
// Writes the table as "FormTrayEx" (count x 16 bytes). An empty table is
// written as an empty value, so trays that lost their records lose their
// assignments too. ERROR_SUCCESS or the printer-data error.
DWORD SaveFormTrayTable(const FormTrayTable* table);
// Frees the record block; the table is empty afterwards.
void FreeFormTrayTable(FormTrayTable* table);

} // namespace sheetwright
