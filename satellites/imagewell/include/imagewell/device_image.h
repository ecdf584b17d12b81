// The call of the device picture library (Imagewell.DLL): the record of the
// Device page's choices that `DrawDeviceImage` draws the printer from. The
// page's picture control fills it; the library reads only the fields below.
#pragma once

#include <cstddef>

#include "win/gdi.h"
#include "win/types.h"

namespace imagewell {

// Twenty 32-bit values, in this order.
struct DeviceImageInfo {
    DWORD fixedZero;     // 0
    DWORD fixedDpi;      // 96
    DWORD fewestTrays;   // the model's standard paper sources
    DWORD mostTrays;     // standard sources plus main optional trays
    DWORD trays;         // the page's tray count, at most mostTrays
    DWORD largeTray;     // 1: the large-capacity tray is fitted
    DWORD duplex;        // 1: the duplex unit is fitted
    DWORD hardDisk;      // 1: the hard disk is fitted
    DWORD memory;        // total memory in MB
    DWORD finisher;      // the finisher's id, 99 none
    DWORD punch;         // 1: the finisher's punch unit is fitted
    DWORD staple;        // 1: the finisher's stapler is fitted
    DWORD innerTray;     // 1: the inner tray is fitted
    DWORD counter;       // 1: department counter on
    DWORD changeTray;    // 1: auto select, 0: specified tray
    DWORD modelBody;     // the model's own pictures (0: none): body,
    DWORD modelTrays[3]; // and tray stacks for 2 (or another count), 3 and 4 trays
    DWORD spare;
};
static_assert(sizeof(DeviceImageInfo) == 20 * sizeof(DWORD));
static_assert(offsetof(DeviceImageInfo, trays) == 4 * sizeof(DWORD));
static_assert(offsetof(DeviceImageInfo, finisher) == 9 * sizeof(DWORD));
static_assert(offsetof(DeviceImageInfo, modelBody) == 15 * sizeof(DWORD));

inline constexpr char kDrawDeviceImage[] = "DrawDeviceImage";

} // namespace imagewell

// Imagewell's export, declared once: the library defines it against this
// declaration and the device page calls it through its type.
DLLEXPORT [[nodiscard]] BOOL WINAPI DrawDeviceImage(HDC dc, RECT* rect,
                                                    imagewell::DeviceImageInfo* info);

namespace imagewell {
typedef decltype(&::DrawDeviceImage) PFN_DrawDeviceImage;
} // namespace imagewell
