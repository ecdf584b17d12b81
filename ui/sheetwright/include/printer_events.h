// The printer events of Sheetwright's ui* exports: a new printer learns its
// installed options and takes the driver folder's default profiles, a
// configuration change asks the device-option module again, and an upgrade
// carries the printer's defaults over to this driver. They stand above the
// core because the option module and the profiles are the job and device
// pages' own.
#pragma once

#include "win/printer_interface.h"
#include "win/types.h"

namespace sheetwright {

BOOL UiDrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam);
BOOL UiDrvUpgradePrinter(DWORD level, LPBYTE upgradeInfo);

} // namespace sheetwright
