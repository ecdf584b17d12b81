// The "&Printer Status..." button of the document pages: the model's
// status-monitor library is asked to bring up the device's status monitor,
// and what it answers is told to the user.
#pragma once

#include "sheet_context.h"

namespace sheetwright {

// Runs the status monitor for the sheet's printer on `portPath`; every
// failure, a missing library included, ends in a message owned by `owner`.
void LaunchStatusMonitor(HWND owner, SheetContext* context, LPCWSTR portPath);

// The printer's driver name in ANSI within 128 bytes; 0 when it cannot be read.
BOOL GetPrinterDriverNameA(HANDLE printer, char out[128]);
// The driver name's first two words in ANSI within 256 bytes; 0 when the
// printer cannot be read.
BOOL GetDriverNameFirstWords(HANDLE printer, char out[256]);

} // namespace sheetwright
