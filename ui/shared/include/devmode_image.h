// The driver's device modes as the printer holds them: the one reader of a
// device mode's private block into the 1320-byte image, and the printer's
// stored device mode read and written through PRINTER_INFO_2.
#pragma once

#include <cstddef>
#include <vector>

#include "devmode_private.h"
#include "win/types.h"

namespace sheetwright {

// The one reader of a device mode's private block. Fills a 1320-byte image
// from a device mode: the standard part within its dmSize, the private part
// within its dmDriverExtra when it is the driver's own (an older 908-byte
// block moved into the current layout); another driver's private part leaves
// the image's empty. `available` bounds what is read. FALSE, with the image
// untouched, when the device mode cannot hold its own header.
[[nodiscard]] BOOL LoadDevmodeImage(const DEVMODEW* devmode, size_t available,
                                    DEVMODE_IMAGEW* image);
// The bytes a device mode says it holds.
inline size_t DevmodeBytes(const DEVMODEW* devmode) {
    return devmode ? static_cast<size_t>(devmode->dmSize) + devmode->dmDriverExtra : 0;
}
// The printer's stored device mode into a zeroed, stamped image.
[[nodiscard]] BOOL ReadPrinterInfo2(HANDLE printer, DEVMODE_IMAGEW* image);
// The printer's PRINTER_INFO_2 in a block of its own; empty when it cannot be read.
std::vector<BYTE> PrinterInfo2(HANDLE printer);
// The bytes of a spooler answer's block from p to its end; 0 when p points
// outside it (the answer's pointers are checked before they are read).
size_t BytesFrom(const std::vector<BYTE>& block, const void* p);
[[nodiscard]] BOOL RewritePrinterInfo2(HANDLE printer, DEVMODEW* devmode);
// Stamps the 1320-byte image's header: spec and driver version, sizes.
void StampDevmodeHeader(DEVMODE_IMAGEW* image);
// Whether the device mode is the driver's own: sizes and signature.
BOOL IsOwnDevmode(const DEVMODEW* devmode);

} // namespace sheetwright
